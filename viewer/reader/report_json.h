// The report model as JSON (docs/viewer-data.md): the shape the page
// reads, embedded by `tarnview html` and served by `tarnview serve`.
//
// Every text of the report is escaped for JSON; "<" is written as \u003c so
// that no text can close a <script> element, and bytes that are not UTF-8
// are replaced by U+FFFD.  Numbers are written as JSON numbers (shortest
// round trip), blanks as null, NaN and infinities as "nan", "inf", "-inf".
#pragma once

#include <string>
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
std::string HistoryJson(const Report& report, const History& history, std::string_view name);

// Text as a JSON string literal with the quotes, escaped as above.
std::string JsonString(std::string_view text);

}  // namespace tarnview
