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

// A chart of `values` in `height` rows of plot and a row of axis: each
// value a '*' in its own column (spread over `width`), the rows labelled
// with the highest and lowest value, the axis '+' and '-' with '|' down
// the left side.  Rows are from the top.
std::vector<std::string> ChartLines(const std::vector<std::optional<double>>& values, int width, int height);

}  // namespace tarnview::terminal
