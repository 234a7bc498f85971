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

#include "mapping_guard.h"
#include "report_reader.h"

// A report read by a command, its map guarded while it lives: a report
// truncated while it is shown (the run repeated) reads as zero bytes where
// it lost its end, instead of ending the command with SIGBUS.
struct ReleaseGuardedReport {
    std::shared_ptr<tarnview::server::MappingGuard> guard;
    void operator()(const tarnview::Report* report) {
        guard.reset();  // before the map goes
        delete report;
    }
};
using GuardedReport = std::unique_ptr<const tarnview::Report, ReleaseGuardedReport>;

// The report at `path`, guarded; throws tarnview::ReadError naming the file
// and the problem, or std::bad_alloc.  (A report read again may be anything
// its writer left: this takes it as it is.)
GuardedReport ReadGuardedReport(const std::string& path);

// The report at `path`, or nullptr after "tarnview COMMAND: PATH: problem"
// on standard error; a file that is no report (tarnview::NotAReport) is
// refused so.
GuardedReport OpenReport(const char* command, const std::string& path);

// The shortest text that reads back as the same double; "nan", "inf",
// "-inf"; empty for a blank.
std::string NumberText(const std::optional<double>& value);

// Text of a report as every command shows it, so that none reaches a
// terminal as a control sequence: a C0 control but the tab as ^@ to ^_, DEL
// as ^?, a C1 control (U+0080 to U+009F, two bytes in UTF-8, or a lone byte
// 0x80 to 0x9F that starts no UTF-8 character) as \xHH for each byte.
std::string Visible(std::string_view text);

// A JSON text whose strings keep DEL and the C1 controls as \u escapes
// (the writer already escapes C0): the same data, safe on a terminal.
std::string VisibleJson(std::string_view json);

// "; did you mean A, B or C?" with what may have been meant (each shown
// with Visible), or nothing when there is none.
std::string DidYouMean(const std::vector<std::string>& meant);

// A count and its noun, singular for one: "1 line", "2 lines".
std::string Counted(std::uint64_t count, std::string_view singular, std::string_view plural);

// A CSV field, quoted when it holds a comma, a quote or a line break.  A
// text that a spreadsheet would read as a formula (it starts with =, +, -,
// @, a tab or a carriage return and is not a number) gets a leading '.
std::string CsvField(std::string_view text);
std::string CsvLine(const std::vector<std::string>& fields);

// Rows of text in columns as wide as their widest cell; the first row is
// the heading, followed by a rule.  Columns flagged right-aligned are
// padded on the left.
void WriteAlignedTable(FILE* out, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& rightAligned);

// Flushes the output; on a write error says so and returns 1, else 0.
int FinishOutput(const char* command, FILE* out);
