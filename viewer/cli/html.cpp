// tarnview html: one self-contained web page of a report.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
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
    "as they are shown.  Above 1 GB the page is slow to open: 'tarnview\n"
    "serve REPORT.log' shows reports of any size.\n"
    "\n"
    "  -o, --output OUT.html  where to write the page (default: the report's\n"
    "                         path with the extension .html)\n"
    "  --help                 show this text\n";

namespace {

// Above this a page opens slowly, and the command says so.
constexpr std::uintmax_t kSlowPageBytes = 1'000'000'000;

struct Arguments {
    std::string report;
    std::string output;
};

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Writes the page beside OUT first and renames it, so that a failed write
// leaves no half page (and an older page stays as it was).
bool WritePage(const std::string& output, const tarnview::Report& report) {
    const std::string partial = output + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) {
            std::fprintf(stderr, "tarnview html: %s: cannot be written: %s\n", output.c_str(), std::strerror(errno));
            return false;
        }
        try {
            tarnview::WriteEmbeddedPage(out, report);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "tarnview html: %s: %s\n", output.c_str(), failure.what());
            out.close();
            std::filesystem::remove(partial);
            return false;
        }
        out.close();
        if (!out) {
            std::fprintf(stderr, "tarnview html: %s: the page could not be written in full\n", output.c_str());
            std::filesystem::remove(partial);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, output, error);
    if (error) {
        std::fprintf(stderr, "tarnview html: %s: %s\n", output.c_str(), error.message().c_str());
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
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
    if (IsSameFile(arguments.report, arguments.output)) {
        std::fprintf(stderr, "tarnview html: %s: the page would overwrite the report\n", arguments.output.c_str());
        return 1;
    }

    const std::unique_ptr<tarnview::Report> report = OpenReport("html", arguments.report);
    if (!report) return 1;
    if (!WritePage(arguments.output, *report)) return 1;
    std::printf("wrote %s\n", arguments.output.c_str());
    return 0;
}

}  // namespace

CommandRun DeclareHtml(CLI::App& command) {
    const auto arguments = std::make_shared<Arguments>();
    command.add_option("report", arguments->report)->required();
    command.add_option("-o,--output", arguments->output)->type_name("a file name");
    return [arguments] { return Html(*arguments); };
}
