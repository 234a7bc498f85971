// Values and tables as the commands and the terminal view show them: a
// number's shortest text, a count with its noun, rows aligned in columns and
// the rows of an iteration diff.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report_diff.h"

// The shortest text that reads back as the same double; "nan", "inf",
// "-inf"; empty for a blank.
std::string NumberText(const std::optional<double>& value);

// A count and its noun, singular for one: "1 line", "2 lines".
std::string Counted(std::uint64_t count, std::string_view singular, std::string_view plural);

// Rows of text in columns as wide as their widest cell; the first row is
// the heading, followed by a rule.  Columns flagged right-aligned are
// padded on the left.
void WriteAlignedTable(FILE* out, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& rightAligned);

// Every change of an iteration diff as the rows of `tarnview diff`'s table
// (change, name, before, after, difference, relative), the `limit` values
// that changed most (0: all) first; the terminal view shows the same.
std::vector<std::vector<std::string>> ChangeRows(const tarnview::IterationDiff& diff, std::size_t limit);

// An iteration number as a person gives it: N from -1, or 'initial'.
std::optional<int> ReadIterationNumber(std::string_view text);
