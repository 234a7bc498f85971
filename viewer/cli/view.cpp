// tarnview view: the report in the terminal, interactive (regions folded
// and unfolded, search, an outline, the history of a name), or a run still
// being written, followed until its report is there.  Without a terminal
// that can show it (TERM=dumb, output not a terminal) it is `tarnview
// show`, or the run's table as it is.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "command_failure.h"
#include "commands.h"
#include "keys.h"
#include "palette.h"
#include "run_progress.h"
#include "run_view.h"
#include "viewer.h"

const char kViewHelp[] =
    "usage: tarnview view REPORT.log   (or: tarnview REPORT.log)\n"
    "       tarnview view RUN           (BASE, BASE.vdr or BASE.vdr.progress)\n"
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
    "A run still being written (its optimiser keeps BASE.vdr.progress) is\n"
    "followed: its name, model and state (running, stopped without an end,\n"
    "report missing, ended), a row per iteration (feasible, objective, total\n"
    "infeasibility, the three convergence measures, the most infeasible\n"
    "equation) and the charts of the objective and of the infeasibility on\n"
    "a log scale (on a short screen one, c switching), updated as iterations\n"
    "arrive.  The cursor stays on the newest row until it is moved.  Once\n"
    "the report BASE.log is written (tarnreport BASE, tarnreport --watch),\n"
    "it is shown at the iteration the cursor was on.  Without a terminal,\n"
    "the run's table as it is now.\n"
    "\n"
    "  --help  show this text\n"
    "\n"
    "Keys (a followed run's first, then the report's):\n";

void PrintViewKeys(FILE* out) {
    std::fprintf(out, "  In a followed run: %s\n", tarnview::terminal::kRunViewKeys);
    for (const std::string& line : tarnview::terminal::KeyListLines()) std::fprintf(out, "%s\n", line.c_str());
}

namespace {

bool TerminalCanView() {
    const char* term = std::getenv("TERM");
    if (term == nullptr || term[0] == '\0' || std::string_view(term) == "dumb") return false;
    return isatty(STDIN_FILENO) != 0 && isatty(STDOUT_FILENO) != 0;
}

// A run rather than a report: its run-data or progress file, or a base
// that is no file itself with a run's files beside it.
bool NamesRun(const std::string& given) {
    const tarnview::RunFiles files = tarnview::FilesOfRun(given);
    const std::filesystem::path path(given);
    if (path == files.runData || path == files.progress) return true;
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, error))) return false;
    return std::filesystem::exists(files.progress, error) || std::filesystem::exists(files.runData, error);
}

// Without a terminal: the run's table as it is now (or its report).
int PrintRun(const tarnview::RunFiles& files) {
    std::string error;
    const auto lines = tarnview::terminal::RunAsItIs(files, error);
    if (!error.empty()) throw CommandFailure(error);
    if (!lines) return ShowWholeReport(files.report.string());
    for (const std::string& line : *lines) std::printf("%s\n", line.c_str());
    return 0;
}

// The view's options when the terminal can show it; none when it cannot
// (after a note naming what is shown `instead` when TERM is not known).
std::optional<tarnview::terminal::ViewOptions> ViewableTerminal(const char* instead) {
    if (!TerminalCanView()) return std::nullopt;
    if (!tarnview::terminal::TerminalKnown()) {
        std::fprintf(stderr, "tarnview view: the terminal %s is not known here (TERM): %s\n",
                     Visible(std::getenv("TERM")).c_str(), instead);
        return std::nullopt;
    }
    tarnview::terminal::ViewOptions options;
    options.colour = TerminalColourDepth() != ColourDepth::kNone;
    return options;
}

int View(const std::string& path) {
    if (NamesRun(path)) {
        const tarnview::RunFiles files = tarnview::FilesOfRun(path);
        const auto options = ViewableTerminal("the run as it is now");
        return options ? tarnview::terminal::FollowRun(files, *options) : PrintRun(files);
    }
    const auto options = ViewableTerminal("the report as show writes it");
    return options ? tarnview::terminal::RunViewer(path, *options) : ShowWholeReport(path);
}

}  // namespace

CommandRun DeclareView(CLI::App& command) {
    const auto path = std::make_shared<std::string>();
    command.add_option("report", *path)->required();
    return [path] { return View(*path); };
}
