// The history of a variable or an equation as the terminal view shows it:
// a table of its rows over the iteration blocks, and a chart of one
// column's values drawn with characters.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report_reader.h"

namespace tarnview::terminal {

struct HistoryTable {
    std::string heading;                     // "variable QSUL_POOL"
    std::vector<std::string> columns;        // "Iteration", then the table's columns
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> iterationLabels;  // "-1" (the initial point), "0", "1", ...
    std::vector<std::size_t> numericColumns;   // indexes into columns with a number in some row
};

HistoryTable MakeHistoryTable(const Report& report, const History& history, std::string_view name);

// The table's rows as aligned lines, the heading line first.
std::vector<std::string> AlignedHistoryLines(const HistoryTable& table);

// A column's values, one per row (none where the field is blank or not a number).
std::vector<std::optional<double>> ColumnValues(const HistoryTable& table, std::size_t column);

enum class ChartScale { kAuto, kLinear, kLog };

// A chart of a column's values drawn with characters, the lines from the
// top: `height` rows of plot, each labelled part (the highest and the
// lowest value at the left edge, sign and exponent as written) plain text
// and the rest drawn; the axis; the iteration labels under it.
struct Chart {
    std::vector<std::string> lines;
    std::size_t plotColumn = 0;  // where the drawn part of a line starts (its '|' or '+')
    std::size_t drawnRows = 0;   // the first lines that have a drawn part (the plot and the axis)
    bool log = false;            // the rows are powers of ten apart
    std::string note;            // why there is no chart (a constant series), or what is off it
};

// Each value a '*' in its own column (spread over `width`), `iterations`
// the label of each value.  kAuto takes a log scale for positive values
// that span more than three decades.  The initial point (labelled "-1") is
// left out of the range when it lies further from the others than their
// span, and drawn at the edge as ^ or v.  A series with one value all
// through gets no chart, a note instead.
Chart ChartOf(const std::vector<std::optional<double>>& values, const std::vector<std::string>& iterations, int width,
              int height, ChartScale scale);

}  // namespace tarnview::terminal
