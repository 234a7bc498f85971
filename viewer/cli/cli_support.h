// What the tarnview commands share: opening a report with a clear error,
// numbers and CSV fields as text, aligned tables, and the end of output.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report_reader.h"

// The report at `path`, or nullptr after "tarnview COMMAND: PATH: problem"
// on standard error.
std::unique_ptr<tarnview::Report> OpenReport(const char* command, const std::string& path);

// The shortest text that reads back as the same double; "nan", "inf",
// "-inf"; empty for a blank.
std::string NumberText(const std::optional<double>& value);

// A CSV field, quoted when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);
std::string CsvLine(const std::vector<std::string>& fields);

// Rows of text in columns as wide as their widest cell; the first row is
// the heading, followed by a rule.  Columns flagged right-aligned are
// padded on the left.
void WriteAlignedTable(FILE* out, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& rightAligned);

// Flushes the output; on a write error says so and returns 1, else 0.
int FinishOutput(const char* command, FILE* out);
