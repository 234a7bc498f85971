// The report model as JSON (docs/viewer-data.md): the shape the page
// reads, embedded by `tarnview html` and served by `tarnview serve`.
//
// Every text of the report is escaped for JSON; "<" is written as \u003c so
// that no text can close a <script> element, and bytes that are not UTF-8
// are replaced by U+FFFD.  Numbers are written as JSON numbers (shortest
// round trip), blanks as null, NaN and infinities as "nan", "inf", "-inf".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <string_view>

#include "report_reader.h"

namespace tarnview {

// The `report` object: file, bytes, lineCount, endedEarly, strayEnds,
// header, regions, summary.
std::string OutlineJson(const Report& report);
// `lines` from `from`, at most `count` of them: [[kind, colour, text], ...].
std::string LinesJson(const Report& report, LineNumber from, LineNumber count);
void AppendLinesJson(const Report& report, LineNumber from, LineNumber count, std::string& out);
// {"report":...,"lines":[...every line...]}: the embedded page's data.
std::string PageDataJson(const Report& report);
// The `summary` object alone: {"columns":[...],"rows":[[...],...]}.
std::string SummaryJson(const Report& report);
// {"name":..,"kind":"variable"|"equation","columns":[..],
//  "rows":[{"iteration":"Initial Conditions"|k,"line":L,"values":{..}}]}
// (`firstLine`: the number of the report's first line, 0 or 1)
std::string HistoryJson(const Report& report, const History& history, std::string_view name,
                        LineNumber firstLine = 0);

// At most `limit` bytes of a text, not cutting a UTF-8 sequence in two.
std::string_view CutAtCharacter(std::string_view text, std::size_t limit);

// Text as a JSON string literal with the quotes, escaped as above.
std::string JsonString(std::string_view text);

struct RunFacts;
struct RunFactsLine;
struct Difference;
struct OptionDifference;
struct IterationDiff;

// A JSON text written with RapidJSON's Writer, escaped as above: every
// JSON answer of the viewer is written through one.  Each call writes one
// value (or a key, or an object's or array's bracket).
class JsonText {
public:
    JsonText();
    ~JsonText();
    JsonText(const JsonText&) = delete;
    JsonText& operator=(const JsonText&) = delete;

    JsonText& StartObject();
    JsonText& EndObject();
    JsonText& StartArray();
    JsonText& EndArray();
    JsonText& Key(std::string_view key);
    JsonText& Text(std::string_view text);
    JsonText& Number(double value);  // as the report model writes numbers
    JsonText& Count(std::uint64_t value);
    JsonText& Integer(std::int64_t value);
    JsonText& Bool(bool value);
    JsonText& Null();

    // Parts of the report model.
    JsonText& Outline(const Report& report);
    JsonText& Lines(const Report& report, LineNumber from, LineNumber count);
    // One line as Lines writes it, `text` in place of what it shows (a part
    // of it).
    JsonText& Line(const ShownLine& line, std::string_view text);
    JsonText& Summary(const Report& report);
    // {"NAME": [line, ...], ...}: every line where each name occurs, as the
    // search finds it (report_search.h).
    JsonText& NameOccurrences(const Report& report);
    // The object HistoryJson writes.
    JsonText& HistoryEntry(const Report& report, const History& history, std::string_view name,
                           LineNumber firstLine = 0);
    // [{"line":L,"region":R,"text":"what the line shows"}, ...], each text
    // cut to at most `textLimit` bytes (not inside a UTF-8 sequence).
    JsonText& Hits(const Report& report, const std::vector<LineNumber>& lines, std::size_t textLimit);
    JsonText& Facts(const RunFacts& facts);
    // Facts' object with "options":[{"display","option","value"(null: not
    // shown)}, ...]: the options in which the run differs from the others.
    JsonText& FactsLine(const RunFactsLine& line);
    // {"from":K,"to":L,"valueCount":N,"values":[DifferenceEntry, ...at most
    //  `limit`], "bounds":[{"name","before","after"}] (null: not active),
    //  "infeasibility":[{"name","before","after","became"}],
    //  "statuses":[{"name","before","after"}], "missing":["TABLE of BLOCK"]}
    JsonText& Diff(const IterationDiff& diff, std::size_t limit);
    // {"name","kind","column","a","b","difference","relative"}; the
    // difference to 12 significant digits (its values carry no more).
    JsonText& DifferenceEntry(const Difference& difference);
    JsonText& OptionEntry(const OptionDifference& option);

    // The text written so far.
    std::string Take();

private:
    void FactsFields(const RunFacts& facts);
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace tarnview
