// Where the view's jumps lead: iteration blocks, tables and regions of a
// kind, the summary and the diagnosis.  Each answers a line of the report
// (the caller reveals it) or nothing.
#pragma once

#include <optional>
#include <string_view>

#include "report_reader.h"

namespace tarnview::terminal {

// The title line of the iteration block after (forward) or before the one
// holding `line`.
std::optional<LineNumber> AdjacentIteration(const Report& report, LineNumber line, bool forward);

// The number of the iteration block holding `line` (kInitialIteration for
// the initial conditions), when it is in a numbered one.
std::optional<int> IterationAt(const Report& report, LineNumber line);

// The iteration block of a number typed by the reader: "3", or "init" /
// "-1" for the initial conditions.
std::optional<LineNumber> IterationLine(const Report& report, std::string_view typed);

// The next or previous table of the kind of the table at `line`; outside a
// table, the next or previous region of the same title as the region at
// `line` (iteration blocks: the adjacent block).
std::optional<LineNumber> AdjacentOfKind(const Report& report, LineNumber line, bool forward);

// The title line of the iteration summary, and of the infeasibility
// diagnosis.
std::optional<LineNumber> SummaryLine(const Report& report);
std::optional<LineNumber> DiagnosisLine(const Report& report);

// The name of the table row at `line`, empty when it is not a row.
std::string_view RowNameAt(const Report& report, LineNumber line);

}  // namespace tarnview::terminal
