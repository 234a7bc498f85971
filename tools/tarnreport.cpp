// tarnreport: writes the execution report of one or more runs.
//
//   tarnreport [OPTION]... RUN...
//
// For each run (runs/x, runs/x.vdr or runs/x.log) the report library reads runs/x.vdr
// and writes runs/x.log.  One run is reported in this process; several are
// reported in processes of their own (report_process.h), up to --jobs at a
// time, and what each printed is passed on in the order the runs were given.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TARNReport.h"
#include "command_line.h"
#include "report_outcome.h"
#include "report_process.h"
#include "watch_folder.h"

namespace {

using host::BaseOf;
using host::PrintFailed;
using host::Relay;
using host::Tell;

constexpr char kUsage[] =
    "Usage: tarnreport [OPTION]... RUN...\n"
    "  or:  tarnreport --watch=DIR [--once] [OPTION]...\n"
    "Write the execution report of each run: for RUN, given as runs/x, as its\n"
    "run-data file runs/x.vdr or as its report runs/x.log, read runs/x.vdr and\n"
    "write the report runs/x.log.\n"
    "\n"
    "  -j, --jobs=N      write up to N reports at once, each in a process of its\n"
    "                    own (default: the number of processors)\n"
    "      --long-lists  list up to 100 equations in the largest-value lists\n"
    "                    instead of 10 (adds VDRLONGLIST to KORMOPTIONS)\n"
    "      --watch=DIR   watch the folder DIR and the folders below it, and write\n"
    "                    the report of each run there as soon as its run-data file\n"
    "                    is closed (renamed or linked into place, or closed after\n"
    "                    being written), until stopped; first, the report of each\n"
    "                    run there whose report is missing or not newer than its\n"
    "                    run-data file\n"
    "      --once        with --watch: write those first reports, then exit\n"
    "      --poll        with --watch: look at DIR every second instead of being\n"
    "                    told of changes (for a network filesystem)\n"
    "  -h, --help        show this text and exit\n"
    "  -V, --version     show the version and exit\n"
    "\n"
    "For each run, in the order given, a line \"wrote runs/x.log\" or \"report for\n"
    "runs/x failed\" follows what the report printed; the reason for a failure is\n"
    "on standard output or standard error.  With more than a few runs and standard\n"
    "error on a terminal, a progress line shows there.  A watch prints the same\n"
    "lines as each report ends, goes on after a failure, and passes over hidden\n"
    "files and folders (.x.vdr, .tmp/: programs' temporaries), what is no regular\n"
    "file, and a run that is still being written (x.vdr.progress, or x.vdr before\n"
    "it is closed).\n"
    "\n"
    "SIGTERM, SIGINT (Ctrl-C) or SIGHUP stop a batch: its report processes are\n"
    "ended (their reports left as far as they got), what they printed is passed\n"
    "on, no further run is started, and a line says so.  They end a watch once\n"
    "the reports it is writing are written.\n"
    "\n"
    "Exit status: 0 when every report was written, 1 when one failed, 2 on a\n"
    "usage error, 128 + N when the batch was stopped by signal N.  A watch\n"
    "stopped by a signal ends with 0; one that cannot watch DIR, or whose DIR\n"
    "went away, with 1.\n";

constexpr char kTryHelp[] = "Try 'tarnreport --help' for more information.\n";

// Up to this many runs the progress line would only flicker.
constexpr std::size_t kRunsWithoutProgress = 4;

struct Options {
    std::vector<std::string> runs;
    bool longLists = false;
    unsigned jobs = 0;  // 0: one per processor
    std::string watch;  // the folder to watch, or ""
    bool once = false;
    bool poll = false;
};

// The usage error "tarnreport: PROBLEM" and the hint; returns its status.
int UsageError(const std::string& problem) {
    Tell(problem);
    std::fputs(kTryHelp, stderr);
    return 2;
}

// What the options cannot be given with; "" when they agree.
std::string ConflictOf(const Options& options) {
    if (options.watch.empty()) {
        if (options.runs.empty()) return "no run given";
        if (options.once) return "option '--once' needs '--watch'";
        if (options.poll) return "option '--poll' needs '--watch'";
        return "";
    }
    if (!options.runs.empty()) return "no run may be given with '--watch': '" + options.runs.front() + "'";
    return "";
}

// Reads the command line into options; returns the exit status when the
// program is done with it (help, version, usage error).
std::optional<int> ParseArguments(int argc, char** argv, Options& options) {
    CLI::App app;
    command_line::Prepare(app);
    app.set_version_flag("-V,--version", std::string("tarnreport ") + TARNREPORT_VERSION);
    app.add_flag("--long-lists", options.longLists);
    app.add_option("-j,--jobs", options.jobs)
        ->check(command_line::WholeNumber(1, 100000, "invalid number of jobs"))
        ->type_name("a number");
    app.add_option("--watch", options.watch)->type_name("a folder");
    app.add_flag("--once", options.once);
    app.add_flag("--poll", options.poll);
    app.add_option("run", options.runs);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(kUsage, stdout);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        return UsageError(command_line::UsageProblem(error, app, argc, argv));
    }
    if (const std::string conflict = ConflictOf(options); !conflict.empty()) return UsageError(conflict);
    return std::nullopt;
}

void AddLongListOption() {
    const char* current = std::getenv("KORMOPTIONS");
    std::string options = current != nullptr ? current : "";
    options += " VDRLONGLIST";
#if defined(_WIN32)
    _putenv_s("KORMOPTIONS", options.c_str());
#else
    setenv("KORMOPTIONS", options.c_str(), 1);
#endif
}

// One report, here; returns whether it was written.
bool ReportHere(const std::string& run) {
    std::string base = BaseOf(run);
    bool written = CreateUQExecutionReport(base.c_str()) == 0;
    if (written) {
        std::printf("wrote %s.log\n", base.c_str());
    } else {
        PrintFailed(base);
    }
    std::fflush(stdout);
    return written;
}

// The line "tarnreport: 7 of 50 reports done" on a terminal's standard error.
class Progress {
public:
    explicit Progress(std::size_t total)
        : total_(total), shown_(total > kRunsWithoutProgress && host::IsTerminal(stderr)) {}

    void Show(std::size_t done) {
        if (!shown_) return;
        int width = std::fprintf(stderr, "\rtarnreport: %zu of %zu reports done", done, total_);
        width_ = width > 1 ? width - 1 : 0;
        std::fflush(stderr);
    }

    void Clear() {
        if (width_ == 0) return;
        std::fprintf(stderr, "\r%*s\r", width_, "");
        std::fflush(stderr);
        width_ = 0;
    }

private:
    std::size_t total_;
    bool shown_;
    int width_ = 0;
};

struct RunSlot {
    host::ChildHandle child;
    std::optional<host::ChildOutcome> outcome;
};

// Passes on the outcomes of the runs in order, as far as they are there;
// counts the reports not written.
void RelayInOrder(const std::vector<std::string>& runs, std::vector<RunSlot>& slots, std::size_t& relayed,
                  std::size_t& failures) {
    for (; relayed < runs.size() && slots[relayed].outcome; ++relayed) {
        if (!Relay(runs[relayed], *slots[relayed].outcome)) ++failures;
        slots[relayed].outcome.reset();
    }
}

// A stop asked for while the batch runs: the running report processes are
// ended and collected, what every run printed so far passed on, and no
// further run started.  Returns the exit status 128 + the signal.
int StopBatch(const std::vector<std::string>& runs, std::vector<RunSlot>& slots,
              const std::vector<std::size_t>& running, std::size_t started, std::size_t relayed,
              std::size_t failures) {
    for (std::size_t index : running) {
        host::EndChild(*slots[index].child);
        slots[index].outcome = host::CollectChild(*slots[index].child);
        slots[index].child.reset();
    }
    RelayInOrder(runs, slots, relayed, failures);
    const int signal = host::StopSignal();
    const std::size_t notStarted = runs.size() - started;
    Tell("stopped by signal " + host::SignalName(signal) + ": " + std::to_string(running.size()) + " report process" +
         (running.size() == 1 ? "" : "es") + " ended, " + std::to_string(notStarted) + " run" +
         (notStarted == 1 ? "" : "s") + " not started");
    std::fflush(stdout);
    return 128 + signal;
}

// Each run in a process of its own, up to `jobs` at once (fewer while the
// host is short of file descriptors or processes: a run then waits for one
// to end); what they print in the order of the runs.  Returns the exit
// status.
int ReportInChildren(const std::vector<std::string>& runs, unsigned jobs) {
    std::vector<RunSlot> slots(runs.size());
    std::vector<std::size_t> running;
    std::size_t started = 0, ended = 0, relayed = 0, failures = 0;
    Progress progress(runs.size());
    host::CatchStopRequests();
    while (relayed < runs.size()) {
        for (; running.size() < jobs && started < runs.size(); ++started) {
            host::StartFailure failure;
            slots[started].child = host::StartChild({"-j", "1", "--", runs[started]}, failure);
            if (slots[started].child) {
                running.push_back(started);
                continue;
            }
            if (failure.retry && !running.empty()) break;  // again once a running one has ended
            slots[started].outcome = host::ChildOutcome{{}, {}, -1, "was not started: " + failure.why};
            ++ended;
        }
        if (!running.empty()) {
            std::vector<host::ChildProcess*> processes;
            for (std::size_t index : running) processes.push_back(slots[index].child.get());
            std::size_t which = host::WaitForAnyChild(processes);
            if (which == host::kStopped) {
                progress.Clear();
                return StopBatch(runs, slots, running, started, relayed, failures);
            }
            RunSlot& slot = slots[running[which]];
            slot.outcome = host::CollectChild(*slot.child);
            slot.child.reset();
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(which));
            ++ended;
        }
        progress.Clear();
        RelayInOrder(runs, slots, relayed, failures);
        progress.Show(ended);
    }
    progress.Clear();
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (std::optional<int> status = ParseArguments(argc, argv, options)) return *status;
    if (options.longLists) AddLongListOption();

    unsigned jobs = options.jobs != 0 ? options.jobs : host::ProcessorCount();
    jobs = std::min(jobs, host::kMaxChildren);
    if (!options.watch.empty()) return host::WatchFolder({options.watch, jobs, options.once, options.poll});
    if (options.runs.size() == 1) return ReportHere(options.runs.front()) ? 0 : 1;
    return ReportInChildren(options.runs, jobs);
}
