#include "fact_replies.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>
#include <optional>

#include "report_compare.h"
#include "report_diff.h"
#include "report_json.h"
#include "report_library.h"
#include "report_search.h"

namespace tarnview::server {

namespace {

// The served report a parameter names, or nullptr.
std::shared_ptr<const ServedReport> ReportNamed(const ReportLibrary& reports, const std::string* text) {
    if (text == nullptr) return nullptr;
    const std::optional<std::uint64_t> id = ReadNumber(*text);
    if (!id || *id >= reports.size()) return nullptr;
    return reports.Current(static_cast<std::size_t>(*id));
}

const char* MatchText(PartMatch match) {
    switch (match) {
        case PartMatch::kWhole: return "whole";
        case PartMatch::kPrefix: return "prefix";
        case PartMatch::kWordStart: return "wordStart";
        case PartMatch::kInside: return "inside";
    }
    return "inside";
}

void WriteSuggestion(JsonText& json, const Name& name, const char* match) {
    json.StartObject();
    json.Key("name").Text(name.text);
    json.Key("variable").Bool(name.variable);
    json.Key("equation").Bool(name.equation);
    json.Key("match").Text(match);
    json.EndObject();
}

}  // namespace

Reply SuggestReply(const ReportLibrary& reports, const ParameterOf& parameter) {
    const std::shared_ptr<const ServedReport> served = ReportNamed(reports, parameter("report"));
    if (!served) return ErrorReply(404, "parameter 'report' must be the id of a served report");
    const std::string* query = parameter("q");
    if (query == nullptr || query->empty()) return BadParameter("q", "the text typed");
    if (query->size() > kMaxQueryBytes) return BadParameter("q", "at most 1000 bytes long");
    const std::string* countText = parameter("count");
    const std::optional<std::uint64_t> asked = countText == nullptr ? kDefaultSuggestions : ReadNumber(*countText);
    if (!asked || *asked == 0) return BadParameter("count", "a number of suggestions from 1");
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(*asked, kMaxSuggestions));

    const NameSet& names = served->report().Names();
    JsonText json;
    json.StartObject().Key("query").Text(*query).Key("suggestions").StartArray();
    const std::vector<NameSuggestion> found = SuggestNames(names, *query, count);
    for (const NameSuggestion& suggestion : found) WriteSuggestion(json, *suggestion.name, MatchText(suggestion.match));
    if (found.empty()) {
        // Nothing holds it: the names a few edits away.
        for (const std::string& close : ClosestNames(names, *query, count))
            WriteSuggestion(json, *names.Find(close), "close");
    }
    json.EndArray().EndObject();
    return {200, json.Take()};
}

Reply FactsReply(const ReportLibrary& reports, const ParameterOf& parameter) {
    // The reports named, each once in the order given; all of them when
    // none is named.
    std::vector<std::shared_ptr<const ServedReport>> served;
    if (const std::string* list = parameter("reports"); list != nullptr && !list->empty()) {
        for (std::size_t at = 0; at <= list->size();) {
            const std::size_t comma = std::min(list->find(',', at), list->size());
            const std::string id = list->substr(at, comma - at);
            std::shared_ptr<const ServedReport> report = ReportNamed(reports, &id);
            if (!report) return ErrorReply(404, "parameter 'reports' must list ids of served reports");
            served.push_back(std::move(report));
            at = comma + 1;
        }
    } else {
        for (std::size_t id = 0; id < reports.size(); ++id) served.push_back(reports.Current(id));
    }
    std::vector<const Report*> read;
    for (const auto& report : served) read.push_back(&report->report());
    const std::vector<RunFactsLine> lines = FactsOfRuns(read);
    JsonText json;
    json.StartObject().Key("runs").StartArray();
    for (std::size_t run = 0; run < lines.size(); ++run) {
        json.StartObject().Key("id").Count(served[run]->id()).Key("version").Integer(served[run]->version());
        json.Key("facts").FactsLine(lines[run]).EndObject();
    }
    json.EndArray().EndObject();
    return {200, json.Take()};
}

namespace {

// An iteration number parameter: digits, or -1 for the initial point.
std::optional<int> IterationParameter(const std::string& text) {
    if (text == "-1" || text == "initial") return kInitialIteration;
    const std::optional<std::uint64_t> number = ReadNumber(text);
    if (!number || *number > 1000000000) return std::nullopt;
    return static_cast<int>(*number);
}

}  // namespace

Reply DiffReply(const ReportLibrary& reports, const ParameterOf& parameter) {
    const std::shared_ptr<const ServedReport> served = ReportNamed(reports, parameter("report"));
    if (!served) return ErrorReply(404, "parameter 'report' must be the id of a served report");
    const Report& report = served->report();
    const std::string* fromText = parameter("from");
    const std::optional<int> from = fromText == nullptr ? std::nullopt : IterationParameter(*fromText);
    if (!from) return BadParameter("from", "an iteration number (-1: the initial point)");
    const std::string* toText = parameter("to");
    std::optional<int> to = toText == nullptr ? NextIteration(report, *from) : IterationParameter(*toText);
    if (toText != nullptr && !to) return BadParameter("to", "an iteration number (-1: the initial point)");
    const std::string* limitText = parameter("limit");
    const std::optional<std::uint64_t> limit = limitText == nullptr ? kDefaultDifferences : ReadNumber(*limitText);
    if (!limit) return BadParameter("limit", "a number of values");
    const std::string* orderText = parameter("order");
    if (orderText != nullptr && *orderText != "size" && *orderText != "relative")
        return BadParameter("order", "'size' or 'relative'");
    const DifferenceOrder order =
        orderText != nullptr && *orderText == "relative" ? DifferenceOrder::kRelativeSize : DifferenceOrder::kSize;
    const std::optional<IterationDiff> diff = to ? DiffIterations(report, *from, *to, order) : std::nullopt;
    if (!diff) return ErrorReply(404, "no such iteration in the report");
    JsonText json;
    json.Diff(*diff, static_cast<std::size_t>(std::min<std::uint64_t>(*limit, kMaxDifferences)));
    return {200, json.Take()};
}

Reply FactReply(const ReportLibrary& reports, std::string_view what, const ParameterOf& parameter) {
    if (what == "suggest") return SuggestReply(reports, parameter);
    if (what == "facts") return FactsReply(reports, parameter);
    return DiffReply(reports, parameter);
}

}  // namespace tarnview::server
