// What the tarnview commands share: opening a report with a clear error,
// numbers and CSV fields as text, aligned tables, and the end of output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_failure.h"
#include "report_reader.h"
#include "shown_text.h"
#include "visible.h"

// A report read by a command. Its map is guarded while it lives: a report
// truncated while it is read or shown (the run repeated) reads as zero
// bytes where it lost its end, instead of ending the command with SIGBUS.
using GuardedReport = std::unique_ptr<const tarnview::Report>;

// The report at `path`, guarded; throws tarnview::ReadError naming the file
// and the problem, or std::bad_alloc.  (A report read again may be anything
// its writer left: this takes it as it is.)
GuardedReport ReadGuardedReport(const std::string& path);

// The report at `path`; throws CommandFailure "PATH: problem" when it
// cannot be read or is no report (tarnview::NotAReport).
GuardedReport OpenReport(const std::string& path);

// "; did you mean A, B or C?" with what may have been meant (each shown
// with Visible), or nothing when there is none.
std::string DidYouMean(const std::vector<std::string>& meant);

// A CSV field, quoted when it holds a comma, a quote or a line break.  A
// text that a spreadsheet would read as a formula (it starts with =, +, -,
// @, a tab or a carriage return and is not a number) gets a leading '.
std::string CsvField(std::string_view text);
std::string CsvLine(const std::vector<std::string>& fields);

// Flushes the output and returns 0 (the exit status); throws
// CommandFailure on a write error.
int FinishOutput(FILE* out);
