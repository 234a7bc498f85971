#include "replies.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <vector>

#include "markup.h"
#include "report_json.h"
#include "report_library.h"
#include "text_search.h"

namespace tarnview::server {

namespace {

// A whole number parameter: digits only. nullopt when malformed.
std::optional<std::uint64_t> ReadNumber(const std::string& text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A parameter that may be absent (then `fallback`); nullopt when malformed.
std::optional<std::uint64_t> NumberOr(const std::string* text, std::uint64_t fallback) {
    return text == nullptr ? std::optional<std::uint64_t>(fallback) : ReadNumber(*text);
}

Reply BadParameter(const char* name, const char* expected) {
    return ErrorReply(400, std::string("parameter '") + name + "' must be " + expected);
}

void AppendNumber(std::string& out, std::uint64_t value) { out += std::to_string(value); }

// Shortest round trip, or `digits` significant digits (a difference of two
// values read from the report carries no more than they do); infinities as
// the report model writes them.
void AppendDouble(std::string& out, double value, int digits = 0) {
    if (std::isinf(value)) {
        out += value > 0 ? "\"inf\"" : "\"-inf\"";
        return;
    }
    char text[32];
    const auto result = digits > 0 ? std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits)
                                   : std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

// At most `limit` bytes, not cutting a UTF-8 sequence in two.
std::string_view Shortened(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void AppendHit(std::string& out, const Report& report, LineNumber line, std::string& copy) {
    if (out.back() != '[') out += ',';
    out += "{\"line\":";
    AppendNumber(out, line);
    out += ",\"region\":";
    out += std::to_string(report.RegionOfLine(line));
    out += ",\"text\":";
    out += JsonString(Shortened(ShownText(report, line, copy), kMaxHitTextBytes));
    out += '}';
}

void AppendNext(std::string& out, const std::optional<LineNumber>& next) {
    if (next) {
        AppendNumber(out, *next);
    } else {
        out += "null";
    }
}

// The hits of a name or region title known to the index, from line `from`
// on, a page at a time as a search of the file, and the kinds of the name
// ("variable", "equation").
std::optional<Reply> IndexedSearch(const Report& report, const NameIndex& index, std::string_view query,
                                   LineNumber from) {
    const std::span<const LineNumber> rows = index.RowsOf(query);
    const std::span<const int> regions = index.RegionsTitled(query);
    if (rows.empty() && regions.empty()) return std::nullopt;
    std::vector<LineNumber> lines(rows.begin(), rows.end());
    for (int region : regions) lines.push_back(report.Regions()[region].line);
    std::sort(lines.begin(), lines.end());
    bool variable = false, equation = false;
    for (const LineNumber line : rows) {
        const Table* table = report.TableOfLine(line);
        (table != nullptr && NameKindOf(table->kind) == NameKind::kEquation ? equation : variable) = true;
    }
    std::string body = "{\"hits\":[";
    std::string copy;
    std::optional<LineNumber> next;
    std::size_t hits = 0;
    for (auto line = std::lower_bound(lines.begin(), lines.end(), from); line != lines.end(); ++line) {
        if (hits++ == SearchLimits{}.hits) {
            next = *line;
            break;
        }
        AppendHit(body, report, *line, copy);
    }
    body += "],\"next\":";
    AppendNext(body, next);
    body += ",\"indexed\":true,\"kinds\":[";
    if (variable) body += equation ? "\"variable\",\"equation\"" : "\"variable\"";
    else if (equation) body += "\"equation\"";
    body += "]}";
    return Reply{200, std::move(body)};
}

struct FinalValue {
    std::string_view name;
    double value;
};

// The values of one column in the last details table of a kind inside the
// iteration blocks: the run's final values. Blank or non-numeric fields
// and NaN or infinite values are left out.
std::vector<FinalValue> FinalValues(const Report& report, TableKind kind, std::string_view column) {
    const auto& tables = report.Tables();
    const auto last = std::find_if(tables.rbegin(), tables.rend(),
                                   [kind](const Table& table) { return table.kind == kind && table.block >= 0; });
    std::vector<FinalValue> values;
    if (last == tables.rend()) return values;
    const std::vector<std::string>& columns = ColumnsOf(kind);
    const auto field = static_cast<std::size_t>(std::find(columns.begin(), columns.end(), column) - columns.begin());
    for (LineNumber line = last->header + 1; line < last->end; ++line) {
        if (!report.IsTableRow(*last, line)) continue;
        const TableRow row = ReadTableRow(kind, report.RawLine(line));
        if (field >= row.fields.size()) continue;
        std::string_view text = row.fields[field];
        if (text.starts_with('+')) text.remove_prefix(1);
        double value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (!text.empty() && error == std::errc() && end == text.data() + text.size() && std::isfinite(value))
            values.push_back({row.name, value});
    }
    return values;
}

struct Difference {
    std::string_view name;
    const char* kind;
    const char* column;
    double a, b;
    double Size() const { return std::fabs(b - a); }
};

void CollectDifferences(const Report& a, const Report& b, TableKind table, const char* kind, const char* column,
                        std::vector<Difference>& differences) {
    std::unordered_map<std::string_view, double> valuesOfB;
    for (const FinalValue& value : FinalValues(b, table, column)) valuesOfB.emplace(value.name, value.value);
    for (const FinalValue& value : FinalValues(a, table, column)) {
        const auto found = valuesOfB.find(value.name);
        if (found != valuesOfB.end() && found->second != value.value)
            differences.push_back({value.name, kind, column, value.value, found->second});
    }
}

std::string HeaderField(const Report& report, std::string_view key) {
    for (const auto& [name, value] : report.Header()) {
        if (name == key) return value;
    }
    return {};
}

std::optional<std::size_t> ReportIdOf(const ReportLibrary& reports, const std::string* text) {
    if (text == nullptr) return std::nullopt;
    const std::optional<std::uint64_t> id = ReadNumber(*text);
    if (!id || *id >= reports.size()) return std::nullopt;
    return static_cast<std::size_t>(*id);
}

}  // namespace

Reply ErrorReply(int status, std::string_view message) {
    return {status, "{\"error\":" + JsonString(message) + "}"};
}

Reply ReportListReply(const ReportLibrary& reports) {
    std::string body = "[";
    for (std::size_t id = 0; id < reports.size(); ++id) {
        const std::shared_ptr<const ServedReport> served = reports.Current(id);
        const Report& report = served->report();
        if (id > 0) body += ',';
        body += "{\"id\":" + std::to_string(id) + ",\"file\":" + JsonString(report.FileName()) + ",\"bytes\":";
        AppendNumber(body, report.Bytes());
        body += ",\"lineCount\":";
        AppendNumber(body, report.LineCount());
        body += ",\"version\":" + std::to_string(served->version());
        body += served->Index() ? ",\"indexed\":true}" : ",\"indexed\":false}";
    }
    body += ']';
    return {200, std::move(body)};
}

Reply OutlineReply(const ServedReport& report) { return {200, OutlineJson(report.report())}; }

Reply VersionReply(const ServedReport& report) {
    return {200, "{\"version\":" + std::to_string(report.version()) + "}"};
}

namespace {

std::uint64_t LineBytes(const Report& report, LineNumber line) {
    return report.LineOffset(line + 1) - report.LineOffset(line);
}

const char* KindLetter(LineKind kind) {
    switch (kind) {
        case LineKind::kRegionStart: return "r";
        case LineKind::kRegionEnd: return "e";
        case LineKind::kStrayEnd: return "x";
        case LineKind::kText: break;
    }
    return "t";
}

// The piece of at most kMaxLinePieceBytes of a line's shown text from byte
// `offset` on, ending where a UTF-8 character ends (but never empty while
// text is left).
Reply LinePieceReply(const Report& report, LineNumber line, std::uint64_t offset) {
    std::string copy;
    const Line shownLine = report.LineAt(line, copy);
    std::string_view shown = shownLine.text;
    if (shownLine.kind == LineKind::kRegionStart)
        shown = markup::ReadRegionStart(shown).value_or(markup::RegionStart{}).title;
    if (shownLine.kind == LineKind::kRegionEnd) shown = {};
    if (offset > shown.size()) return BadParameter("offset", "a byte offset within the line");
    std::string_view piece = Shortened(shown.substr(offset), kMaxLinePieceBytes);
    if (piece.empty() && offset < shown.size()) piece = shown.substr(offset, 4);  // a cut inside a character
    std::string body = "{\"from\":";
    AppendNumber(body, line);
    body += ",\"lines\":[[\"";
    body += KindLetter(shownLine.kind);
    body += "\",";
    if (shownLine.colour) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\"%02x%02x%02x", shownLine.colour->red, shownLine.colour->green,
                      shownLine.colour->blue);
        body += hex;
        body += '"';
    } else {
        body += "null";
    }
    body += ',' + JsonString(piece) + "]],\"piece\":{\"offset\":";
    AppendNumber(body, offset);
    body += ",\"bytes\":";
    AppendNumber(body, shown.size());
    body += ",\"next\":";
    const std::uint64_t end = offset + piece.size();
    AppendNext(body, end < shown.size() ? std::optional<LineNumber>(end) : std::nullopt);
    body += "}}";
    return {200, std::move(body)};
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
    std::string body = "{\"from\":";
    AppendNumber(body, *from);
    body += ",\"lines\":";
    AppendLinesJson(report, *from, count, body);
    body += '}';
    return {200, std::move(body)};
}

Reply SearchReply(const ServedReport& served, const std::string* query, const std::string* fromText) {
    if (query == nullptr || query->empty()) return BadParameter("q", "the text to search for");
    if (query->size() > kMaxQueryBytes) return BadParameter("q", "at most 1000 bytes long");
    const std::optional<std::uint64_t> from = NumberOr(fromText, 0);
    if (!from) return BadParameter("from", "a line number");
    const Report& report = served.report();
    const std::shared_ptr<const NameIndex> index = served.Index();
    if (index) {
        if (std::optional<Reply> reply = IndexedSearch(report, *index, *query, *from)) return std::move(*reply);
    }
    const TextHits found = FindText(report, *query, *from);
    std::string body = "{\"hits\":[";
    std::string copy;
    for (const LineNumber line : found.lines) AppendHit(body, report, line, copy);
    body += "],\"next\":";
    AppendNext(body, found.next);
    body += index ? ",\"indexed\":true,\"kinds\":[]}" : ",\"indexed\":false,\"kinds\":[]}";
    return {200, std::move(body)};
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
    if (found == histories.end())
        return ErrorReply(404, "no " + (kind != nullptr ? *kind : std::string("variable or equation")) + " named " +
                                   *name);
    return {200, HistoryJson(report, *found, *name)};
}

Reply CompareReply(const ReportLibrary& reports, const std::string* aText, const std::string* bText,
                   const std::string* limitText) {
    const std::optional<std::size_t> aId = ReportIdOf(reports, aText), bId = ReportIdOf(reports, bText);
    if (!aId || !bId) return ErrorReply(404, "parameters 'a' and 'b' must be ids of served reports");
    const std::optional<std::uint64_t> asked = NumberOr(limitText, kDefaultDifferences);
    if (!asked) return BadParameter("limit", "a number of differences");
    const std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(*asked, kMaxDifferences));
    const std::shared_ptr<const ServedReport> servedA = reports.Current(*aId), servedB = reports.Current(*bId);
    const Report &a = servedA->report(), &b = servedB->report();

    std::vector<Difference> differences;
    CollectDifferences(a, b, TableKind::kVariableDetails, "variable", "Value", differences);
    CollectDifferences(a, b, TableKind::kEquationDetails, "equation", "Residual", differences);
    const auto largestFirst = [](const Difference& x, const Difference& y) { return x.Size() > y.Size(); };
    const std::size_t kept = std::min(limit, differences.size());
    std::partial_sort(differences.begin(), differences.begin() + static_cast<std::ptrdiff_t>(kept),
                      differences.end(), largestFirst);

    std::string body = "{\"summary\":[";
    for (const auto& [id, served] : {std::pair{*aId, &servedA}, std::pair{*bId, &servedB}}) {
        if (body.back() != '[') body += ',';
        body += "{\"id\":" + std::to_string(id) + ",\"file\":" + JsonString((*served)->report().FileName()) +
                ",\"version\":" + std::to_string((*served)->version()) +
                ",\"summary\":" + SummaryJson((*served)->report()) + "}";
    }
    const std::string modelA = HeaderField(a, "Model Name");
    body += "],\"sameModel\":";
    body += !modelA.empty() && modelA == HeaderField(b, "Model Name") ? "true" : "false";
    body += ",\"differences\":[";
    for (std::size_t i = 0; i < kept; ++i) {
        const Difference& difference = differences[i];
        if (i > 0) body += ',';
        body += "{\"name\":" + JsonString(difference.name) + ",\"kind\":\"" + difference.kind +
                "\",\"column\":\"" + difference.column + "\",\"a\":";
        AppendDouble(body, difference.a);
        body += ",\"b\":";
        AppendDouble(body, difference.b);
        body += ",\"difference\":";
        AppendDouble(body, difference.b - difference.a, 12);
        body += '}';
    }
    body += "]}";
    return {200, std::move(body)};
}

}  // namespace tarnview::server
