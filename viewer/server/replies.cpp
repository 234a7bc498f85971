#include "replies.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

#include "report_json.h"
#include "report_library.h"
#include "report_compare.h"
#include "report_search.h"

namespace tarnview::server {

std::optional<std::uint64_t> ReadNumber(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

Reply BadParameter(const char* name, const char* expected) {
    return ErrorReply(400, std::string("parameter '") + name + "' must be " + expected);
}

namespace {

// A parameter that may be absent (then `fallback`); nullopt when malformed.
std::optional<std::uint64_t> NumberOr(const std::string* text, std::uint64_t fallback) {
    return text == nullptr ? std::optional<std::uint64_t>(fallback) : ReadNumber(*text);
}

std::optional<std::size_t> ReportIdOf(const ReportLibrary& reports, const std::string* text) {
    if (text == nullptr) return std::nullopt;
    const std::optional<std::uint64_t> id = ReadNumber(*text);
    if (!id || *id >= reports.size()) return std::nullopt;
    return static_cast<std::size_t>(*id);
}

}  // namespace

Reply ErrorReply(int status, std::string_view message) {
    JsonText json;
    json.StartObject().Key("error").Text(message).EndObject();
    return {status, json.Take()};
}

Reply ReportListReply(const ReportLibrary& reports) {
    JsonText json;
    json.StartArray();
    for (std::size_t id = 0; id < reports.size(); ++id) {
        const std::shared_ptr<const ServedReport> served = reports.Current(id);
        const Report& report = served->report();
        json.StartObject();
        json.Key("id").Count(id);
        json.Key("file").Text(report.FileName());
        json.Key("bytes").Count(report.Bytes());
        json.Key("lineCount").Count(report.LineCount());
        json.Key("version").Integer(served->version());
        json.Key("indexed").Bool(served->Index() != nullptr);
        json.EndObject();
    }
    json.EndArray();
    return {200, json.Take()};
}

Reply OutlineReply(const ServedReport& report) { return {200, OutlineJson(report.report())}; }

Reply VersionReply(const ServedReport& report) {
    JsonText json;
    json.StartObject().Key("version").Integer(report.version()).EndObject();
    return {200, json.Take()};
}

namespace {

std::uint64_t LineBytes(const Report& report, LineNumber line) {
    return report.LineOffset(line + 1) - report.LineOffset(line);
}

// The piece of at most kMaxLinePieceBytes of a line's shown text from byte
// `offset` on, ending where a UTF-8 character ends (but never empty while
// text is left).
Reply LinePieceReply(const Report& report, LineNumber line, std::uint64_t offset) {
    std::string copy;
    const ShownLine shown = report.ReadLine(line, copy);
    if (offset > shown.text.size()) return BadParameter("offset", "a byte offset within the line");
    std::string_view piece = CutAtCharacter(shown.text.substr(offset), kMaxLinePieceBytes);
    if (piece.empty() && offset < shown.text.size()) piece = shown.text.substr(offset, 4);  // a cut inside a character
    const std::uint64_t end = offset + piece.size();
    JsonText json;
    json.StartObject().Key("from").Count(line);
    json.Key("lines").StartArray().Line(shown, piece).EndArray();
    json.Key("piece").StartObject().Key("offset").Count(offset).Key("bytes").Count(shown.text.size()).Key("next");
    if (end < shown.text.size()) json.Count(end); else json.Null();
    json.EndObject().EndObject();
    return {200, json.Take()};
}

}  // namespace

Reply LinesReply(const ServedReport& served, const std::string* fromText, const std::string* countText,
                 const std::string* offsetText) {
    const Report& report = served.report();
    const std::optional<std::uint64_t> from = NumberOr(fromText, 0);
    const std::optional<std::uint64_t> asked = NumberOr(countText, kDefaultLinesPerReply);
    const std::optional<std::uint64_t> offset = NumberOr(offsetText, 0);
    if (!from) return BadParameter("from", "a line number");
    if (!asked) return BadParameter("count", "a number of lines");
    if (!offset) return BadParameter("offset", "a byte offset within the line");
    // A line too long for one answer goes alone, a piece at a time.
    if (*from < report.LineCount() && LineBytes(report, *from) > kMaxLinePieceBytes)
        return LinePieceReply(report, *from, *offset);
    if (*offset != 0) return BadParameter("offset", "0 but for a line sent in pieces");
    std::uint64_t count = std::min(*asked, kMaxLinesPerReply);
    if (*from < report.LineCount() && report.LineOffset(*from) + kMaxLineBytesPerReply < report.Bytes()) {
        // Only whole lines within the byte limit, but at least one.
        const LineNumber limit = report.LineOfOffset(report.LineOffset(*from) + kMaxLineBytesPerReply);
        count = std::min(count, std::max<std::uint64_t>(1, limit - *from));
    }
    // A long line comes first in an answer of its own.
    for (LineNumber line = *from + 1; line < *from + count && line < report.LineCount(); ++line) {
        if (LineBytes(report, line) > kMaxLinePieceBytes) {
            count = line - *from;
            break;
        }
    }
    JsonText json;
    json.StartObject().Key("from").Count(*from).Key("lines").Lines(report, *from, count).EndObject();
    return {200, json.Take()};
}

Reply SearchReply(const ServedReport& served, const std::string* query, const std::string* fromText,
                  const std::string* caseText) {
    if (query == nullptr || query->empty()) return BadParameter("q", "the text to search for");
    if (query->size() > kMaxQueryBytes) return BadParameter("q", "at most 1000 bytes long");
    const std::optional<std::uint64_t> from = NumberOr(fromText, 0);
    if (!from) return BadParameter("from", "a line number");
    if (caseText != nullptr && *caseText != "0" && *caseText != "1") return BadParameter("icase", "0 or 1");
    const bool ignoreCase = caseText != nullptr && *caseText == "1";
    const Report& report = served.report();
    const std::shared_ptr<const NameIndex> index = served.Index();
    SearchHits hits;
    if (index && (hits = NameQuery(report, *query, ignoreCase)).byName) {
        // A name: its lines from the index at once, a page at a time as a
        // search of the file.
        const std::vector<LineNumber> lines = index->LinesOfAny(report.Names().Matching(*query, ignoreCase));
        for (auto line = std::lower_bound(lines.begin(), lines.end(), *from); line != lines.end(); ++line) {
            if (hits.lines.size() == SearchOptions{}.hits) {
                hits.next = *line;
                break;
            }
            hits.lines.push_back(*line);
        }
    } else {
        SearchOptions options;
        options.ignoreCase = ignoreCase;
        hits = Search(report, *query, *from, options);
    }
    JsonText json;
    json.StartObject();
    json.Key("hits").Hits(report, hits.lines, kMaxHitTextBytes);
    json.Key("next");
    if (hits.next) json.Count(*hits.next); else json.Null();
    json.Key("indexed").Bool(index != nullptr);
    json.Key("name").Bool(hits.byName);
    json.Key("kinds").StartArray();
    if (hits.variable) json.Text("variable");
    if (hits.equation) json.Text("equation");
    json.EndArray().EndObject();
    return {200, json.Take()};
}

Reply HistoryReply(const ServedReport& served, const std::string* name, const std::string* kind) {
    if (name == nullptr || name->empty()) return BadParameter("name", "a variable or equation name");
    if (name->size() > kMaxQueryBytes) return BadParameter("name", "at most 1000 bytes long");
    if (kind != nullptr && *kind != "variable" && *kind != "equation")
        return BadParameter("kind", "'variable' or 'equation'");
    const Report& report = served.report();
    const std::shared_ptr<const NameIndex> index = served.Index();
    const std::vector<History> histories =
        index ? index->HistoriesOf(report, *name) : FindHistories(report, *name);
    // A name that is both a variable and an equation: the variable unless
    // the equation is asked for.
    const NameKind wanted = kind != nullptr && *kind == "equation" ? NameKind::kEquation : NameKind::kVariable;
    const auto found = std::find_if(histories.begin(), histories.end(), [&](const History& history) {
        return kind == nullptr || history.kind == wanted;
    });
    if (found == histories.end()) {
        std::string message =
            "no " + (kind != nullptr ? *kind : std::string("variable or equation")) + " named " + *name;
        const std::vector<std::string> closest = ClosestNames(report.Names(), *name);
        JsonText json;
        json.StartObject().Key("error").Text(message).Key("suggestions").StartArray();
        for (const std::string& suggestion : closest) json.Text(suggestion);
        json.EndArray().EndObject();
        return {404, json.Take()};
    }
    return {200, HistoryJson(report, *found, *name)};
}

Reply CompareReply(const ReportLibrary& reports, const std::string* aText, const std::string* bText,
                   const std::string* limitText, const std::string* orderText, const std::string* toleranceText) {
    const std::optional<std::size_t> aId = ReportIdOf(reports, aText), bId = ReportIdOf(reports, bText);
    if (!aId || !bId) return ErrorReply(404, "parameters 'a' and 'b' must be ids of served reports");
    const std::optional<std::uint64_t> asked = NumberOr(limitText, kDefaultDifferences);
    if (!asked) return BadParameter("limit", "a number of differences");
    if (orderText != nullptr && *orderText != "size" && *orderText != "relative")
        return BadParameter("order", "'size' or 'relative'");
    const DifferenceOrder order =
        orderText != nullptr && *orderText == "relative" ? DifferenceOrder::kRelativeSize : DifferenceOrder::kSize;
    const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(*asked, kMaxDifferences));
    double tolerance = kDefaultTolerance;
    if (toleranceText != nullptr) {
        const auto [end, error] =
            std::from_chars(toleranceText->data(), toleranceText->data() + toleranceText->size(), tolerance);
        if (toleranceText->empty() || error != std::errc() || end != toleranceText->data() + toleranceText->size() ||
            !(tolerance >= 0 && tolerance < 1))
            return BadParameter("tolerance", "a number from 0 to below 1");
    }
    const std::shared_ptr<const ServedReport> servedA = reports.Current(*aId), servedB = reports.Current(*bId);
    const Comparison comparison = Compare(servedA->report(), servedB->report(), order, tolerance);

    JsonText json;
    json.StartObject();
    json.Key("summary").StartArray();
    for (const auto& [id, served] : {std::pair{*aId, &servedA}, std::pair{*bId, &servedB}}) {
        json.StartObject();
        json.Key("id").Count(id);
        json.Key("file").Text((*served)->report().FileName());
        json.Key("version").Integer((*served)->version());
        json.Key("summary").Summary((*served)->report());
        json.EndObject();
    }
    json.EndArray();
    json.Key("runs").StartArray().Facts(comparison.a).Facts(comparison.b).EndArray();
    json.Key("sameModel").Bool(comparison.sameModel);
    json.Key("namesCompared").Count(comparison.namesCompared);
    json.Key("onlyInA").Count(comparison.onlyInA);
    json.Key("onlyInB").Count(comparison.onlyInB);
    json.Key("order").Text(order == DifferenceOrder::kSize ? "size" : "relative");
    json.Key("differenceCount").Count(comparison.differences.size());
    json.Key("differences").StartArray();
    for (std::size_t i = 0; i < comparison.differences.size() && i < limit; ++i)
        json.DifferenceEntry(comparison.differences[i]);
    json.EndArray();
    json.Key("options").StartArray();
    for (const OptionDifference& option : comparison.options) json.OptionEntry(option);
    json.EndArray();
    json.Key("tolerance").Number(tolerance);
    json.EndObject();
    return {200, json.Take()};
}

}  // namespace tarnview::server
