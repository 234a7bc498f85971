// tarnview view: the report in the terminal, interactive (regions folded
// and unfolded, search, an outline, the history of a name).  Without a
// terminal that can show it (TERM=dumb, output not a terminal) it is
// `tarnview show`.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "commands.h"
#include "keys.h"
#include "palette.h"
#include "viewer.h"

const char kViewHelp[] =
    "usage: tarnview view REPORT.log   (or: tarnview REPORT.log)\n"
    "\n"
    "The report in the terminal to move about in: regions as a tree that\n"
    "folds and unfolds, an outline, search, the history of a variable or an\n"
    "equation with a chart, all on any size of report.  Colours as show draws\n"
    "them, none when NO_COLOR is set.  With TERM=dumb, or when the output is\n"
    "not a terminal, the report is shown as 'tarnview show' shows it; so it is\n"
    "too, with a note, when TERM names a terminal that is not known here.  A\n"
    "report written again while shown is read again, and one that grows is\n"
    "shown as it grows.\n"
    "\n"
    "  --help  show this text\n"
    "\n"
    "Keys:\n";

void PrintViewKeys(FILE* out) {
    for (const std::string& line : tarnview::terminal::KeyListLines()) std::fprintf(out, "%s\n", line.c_str());
}

namespace {

bool TerminalCanView() {
    const char* term = std::getenv("TERM");
    if (term == nullptr || term[0] == '\0' || std::string_view(term) == "dumb") return false;
    return isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
}

int View(const std::string& path) {
    if (!TerminalCanView()) return ShowWholeReport(path);
    if (!tarnview::terminal::TerminalKnown()) {
        std::fprintf(stderr, "tarnview view: the terminal %s is not known here (TERM): the report as show writes it\n",
                     Visible(std::getenv("TERM")).c_str());
        return ShowWholeReport(path);
    }
    tarnview::terminal::ViewOptions options;
    options.colour = TerminalColourDepth() != ColourDepth::kNone;
    return tarnview::terminal::RunViewer(path, options);
}

}  // namespace

CommandRun DeclareView(CLI::App& command) {
    const auto path = std::make_shared<std::string>();
    command.add_option("report", *path)->required();
    return [path] { return View(*path); };
}
