// The answers of the JSON API, built from a report's current version and
// the request's parameters (as given, or nullptr when absent). Every
// parameter is checked here: a bad one gets a 400 answer naming it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnview::server {

class ReportLibrary;
class ServedReport;

struct Reply {
    int status = 200;
    std::string body;  // JSON
};

// Limits of one answer.
constexpr std::uint64_t kMaxLinesPerReply = 5000;
constexpr std::uint64_t kDefaultLinesPerReply = 1000;
constexpr std::uint64_t kMaxLineBytesPerReply = 16ull << 20;  // at least one line is always sent
constexpr std::uint64_t kMaxLinePieceBytes = 1ull << 20;       // a longer line is sent in pieces
constexpr std::size_t kMaxQueryBytes = 1000;
constexpr std::size_t kMaxHitTextBytes = 1000;
constexpr std::size_t kMaxDifferences = 1000;
constexpr std::size_t kDefaultDifferences = 100;

Reply ErrorReply(int status, std::string_view message);
// A whole number parameter: digits only; nullopt when malformed.
std::optional<std::uint64_t> ReadNumber(const std::string& text);
// 400: "parameter 'NAME' must be EXPECTED".
Reply BadParameter(const char* name, const char* expected);
Reply ReportListReply(const ReportLibrary& reports);
Reply OutlineReply(const ServedReport& report);
Reply VersionReply(const ServedReport& report);
Reply LinesReply(const ServedReport& report, const std::string* from, const std::string* count,
                 const std::string* offset = nullptr);
// `icase` 1 ignores case; a name is answered from the index once it is built.
Reply SearchReply(const ServedReport& report, const std::string* query, const std::string* from,
                  const std::string* icase = nullptr);
Reply HistoryReply(const ServedReport& report, const std::string* name, const std::string* kind);
// `order` is "size" (the default) or "relative"; `tolerance` the relative
// tolerance within which final values count as equal (report_compare.h).
Reply CompareReply(const ReportLibrary& reports, const std::string* a, const std::string* b,
                   const std::string* limit, const std::string* order = nullptr,
                   const std::string* tolerance = nullptr);

}  // namespace tarnview::server
