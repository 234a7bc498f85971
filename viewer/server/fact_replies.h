// The answers about names and runs: the names that hold a typed text, the
// facts of several runs side by side, and what changed between two
// iteration blocks of a run.  Routed by the server as
//   GET /api/suggest?report=ID&q=TEXT[&count=N]
//   GET /api/facts[?reports=ID,ID,...]
//   GET /api/diff?report=ID&from=K[&to=L][&limit=N]
// behind the same token and Host checks as every route.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "replies.h"

namespace tarnview::server {

// A request's query parameter, nullptr when absent.
using ParameterOf = std::function<const std::string*(const char* name)>;

constexpr std::size_t kDefaultSuggestions = 20;
constexpr std::size_t kMaxSuggestions = 200;

Reply SuggestReply(const ReportLibrary& reports, const ParameterOf& parameter);
Reply FactsReply(const ReportLibrary& reports, const ParameterOf& parameter);
Reply DiffReply(const ReportLibrary& reports, const ParameterOf& parameter);

// The reply of the route named `what` ("suggest", "facts" or "diff").
Reply FactReply(const ReportLibrary& reports, std::string_view what, const ParameterOf& parameter);

}  // namespace tarnview::server
