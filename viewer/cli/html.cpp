// tarnview html: one self-contained web page of a report.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "cli_support.h"
#include "commands.h"
#include "page_assets.h"
#include "report_json.h"
#include "report_reader.h"

const char kHtmlHelp[] =
    "usage: tarnview html REPORT.log [-o OUT.html]\n"
    "\n"
    "Writes one web page of the report that needs nothing else: open it from\n"
    "the disk in any browser.  It shows the outline of the report's regions,\n"
    "the text in its colours, a search over the whole report and the\n"
    "convergence charts of the iteration summary.  The report's lines are in\n"
    "the page compressed, a fraction of the report's size, and are decoded\n"
    "as they are shown (from 64 MB on, standard error says how far the\n"
    "writing is).  Above 1 GB the page is slow to open: 'tarnview\n"
    "serve REPORT.log' shows reports of any size.\n"
    "\n"
    "  -o, --output OUT.html  where to write the page (default: the report's\n"
    "                         path with the extension .html; - for standard\n"
    "                         output). A file is replaced only once the page\n"
    "                         is whole; a device, pipe or link is written to\n"
    "                         and left in place\n"
    "  --help                 show this text\n";

namespace {

// Above this a page opens slowly, and the command says so.
constexpr std::uintmax_t kSlowPageBytes = 1'000'000'000;
// From this size on, the command says how far it is.
constexpr std::uintmax_t kProgressBytes = 64ull << 20;

using Progress = std::function<void(double)>;

// "tarnview html: REPORT: 30% of the lines written" at each tenth.
Progress ProgressLines(const std::string& report) {
    return [report, shown = 0](double share) mutable {
        const int tenths = static_cast<int>(share * 10);
        if (tenths <= shown) return;
        shown = tenths;
        std::fprintf(stderr, "tarnview html: %s: %d%% of the lines written\n", report.c_str(), tenths * 10);
    };
}

struct Arguments {
    std::string report;
    std::string output;
};

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Writes the page to out; throws CommandFailure naming `output` when it
// cannot be written whole.
void WritePageTo(std::ostream& out, const std::string& output, const tarnview::Report& report,
                 const Progress& progress) {
    try {
        tarnview::WriteEmbeddedPage(out, report, progress);
    } catch (const std::exception& failure) {
        throw CommandFailure(output, failure.what());
    }
    out.flush();
    if (!out) throw CommandFailure(output, "the page could not be written in full");
}

std::string CannotBeWritten() { return std::string("cannot be written: ") + std::strerror(errno); }

// A regular file or a new name: the page is written beside it first and
// renamed over it, so that a failed write leaves no half page (and an
// older page stays as it was).
void ReplaceWithPage(const std::string& output, const tarnview::Report& report, const Progress& progress) {
    std::string partial = output + ".part-XXXXXX";
    const int file = mkstemp(partial.data());
    if (file < 0) throw CommandFailure(output, CannotBeWritten());
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file, 0666 & ~mask);  // as a new file would be; mkstemp makes it private
    close(file);
    std::error_code error;
    try {
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            if (!out) throw CommandFailure(output, CannotBeWritten());
            WritePageTo(out, output, report, progress);
        }
        std::filesystem::rename(partial, output, error);
        if (error) throw CommandFailure(output, error.message());
    } catch (...) {
        std::filesystem::remove(partial, error);
        throw;
    }
}

// Anything else that is there (a device such as /dev/null, /dev/stdout, a
// named pipe, a link) is written to as it is and never replaced.
void WriteInPlace(const std::string& output, const tarnview::Report& report, const Progress& progress) {
    std::ofstream out(output, std::ios::binary);
    if (!out) throw CommandFailure(output, CannotBeWritten());
    WritePageTo(out, output, report, progress);
}

bool IsReplaceable(const std::string& output) {
    struct stat status {};
    return lstat(output.c_str(), &status) != 0 || S_ISREG(status.st_mode);
}

void WritePage(const std::string& output, const tarnview::Report& report, const Progress& progress) {
    if (output == "-") return WritePageTo(std::cout, "standard output", report, progress);
    if (IsReplaceable(output)) return ReplaceWithPage(output, report, progress);
    WriteInPlace(output, report, progress);
}

// The page's path: the one given, or the report's with the extension .html.
std::string OutputOf(const Arguments& arguments) {
    if (!arguments.output.empty()) return arguments.output;
    return std::filesystem::path(arguments.report).replace_extension(".html").string();
}

int Html(Arguments arguments) {
    arguments.output = OutputOf(arguments);
    std::error_code error;
    const std::uintmax_t bytes = std::filesystem::file_size(arguments.report, error);
    if (!error && bytes > kSlowPageBytes) {
        std::fprintf(stderr,
                     "tarnview html: %s: the report has %.1f MB: its page will open slowly;\n"
                     "  'tarnview serve %s' shows it at once\n",
                     arguments.report.c_str(), bytes / 1e6, arguments.report.c_str());
    }
    if (arguments.output != "-" && IsSameFile(arguments.report, arguments.output))
        throw CommandFailure(arguments.output, "the page would overwrite the report");

    const GuardedReport report = OpenReport(arguments.report);
    const bool big = !error && bytes >= kProgressBytes;
    WritePage(arguments.output, *report, big ? ProgressLines(arguments.report) : Progress());
    if (arguments.output != "-") std::printf("wrote %s\n", arguments.output.c_str());
    return 0;
}

}  // namespace

CommandRun DeclareHtml(CLI::App& command) {
    const auto arguments = std::make_shared<Arguments>();
    command.add_option("report", arguments->report)->required();
    command.add_option("-o,--output", arguments->output)->type_name("a file name");
    return [arguments] { return Html(*arguments); };
}
