// tarnslp: solves models with bilinear terms by successive linear
// programming on COIN-OR CLP, records each run through the run-data writer
// and writes its report.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <unistd.h>

#include "TARNReport.h"
#include "model.h"
#include "multistart.h"
#include "run_record.h"
#include "solver.h"

namespace {

namespace fs = std::filesystem;

// The signals that end a process by default and can be caught: each ends
// the run after its current LP, leaving the old files or a whole new run.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGPIPE, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF};
std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

void NoteSignal(int signal) {
    g_signal = signal;
    g_stop = true;
}

void CatchEndingSignals() {
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kEndingSignals) sigaction(signal, &action, nullptr);
}

// Ends the process by the signal that asked for it, as if uncaught.
[[noreturn]] void EndBySignal() {
    std::fflush(stdout);
    const int signal = g_signal;
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}

void Complain(const std::string& message) { std::cerr << "tarnslp: " << slp::VisibleText(message) << "\n"; }

// Removes BASE.vdr and BASE.log, the files of an unfinished run.
void RemoveRun(const std::string& base) {
    std::error_code ignored;
    fs::remove(base + ".vdr", ignored);
    fs::remove(base + ".log", ignored);
}

// Renames the finished run's files onto their names with every ending
// signal held, so that a signal leaves the old pair or the new one.
bool Publish(const std::string& temporary, const std::string& base, bool report) {
    sigset_t all, previous;
    sigemptyset(&all);
    for (int signal : kEndingSignals) sigaddset(&all, signal);
    sigprocmask(SIG_BLOCK, &all, &previous);
    std::error_code failed;
    if (!report) fs::remove(base + ".log", failed);
    fs::rename(temporary + ".vdr", base + ".vdr", failed);
    if (!failed && report) fs::rename(temporary + ".log", base + ".log", failed);
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (failed) Complain("cannot write " + base + ": " + failed.message());
    return !failed;
}

// The folder a run is written in before it is published: DIR/.tarnslp-PID,
// hidden (a watch of DIR passes over it), where the run keeps its own file
// names, NAME.vdr and NAME.vdr.progress, as its progress names it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& base)
        : m_path(fs::path(base).parent_path() / (".tarnslp-" + std::to_string(getpid()))) {
        std::error_code failed;
        fs::create_directory(m_path, failed);
        if (failed) throw std::runtime_error("cannot create " + m_path.string() + ": " + failed.message());
    }
    ~ScratchFolder() { Remove(); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Where the run of `base` is written first.
    std::string BaseFor(const std::string& base) const { return (m_path / fs::path(base).filename()).string(); }
    void Remove() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }

private:
    fs::path m_path;
};

// The run's progress under the run's own name, BASE.vdr.progress, for those
// who follow it (tarnview view BASE, tarnreport --watch): the writer starts
// it beside the temporary run and appends to it as the run goes; it is
// renamed at once, and removed once the run is published or given up (a
// run that stopped without an end, killed, leaves it).
class FollowedRun {
public:
    FollowedRun(slp::RunRecorder& recorder, const std::string& temporary, const std::string& base)
        : m_path(base + ".vdr.progress") {
        recorder.WriteProgress();
        std::error_code failed;
        fs::rename(temporary + ".vdr.progress", m_path, failed);
        if (!failed) return;
        Complain("cannot write " + m_path + ": " + failed.message() + "; the run cannot be followed");
        m_path.clear();
    }
    ~FollowedRun() { Remove(); }
    FollowedRun(const FollowedRun&) = delete;
    FollowedRun& operator=(const FollowedRun&) = delete;

    void Remove() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove(m_path, ignored);
        m_path.clear();
    }

private:
    std::string m_path;
};

// Solves one model into BASE.vdr and its report BASE.log, both written
// in a scratch folder first; false when the report cannot be written.
bool SolveInto(const slp::Model& model, const std::string& base, const slp::SolverOptions& options,
               int starts, bool report) {
    ScratchFolder scratch(base);
    const std::string temporary = scratch.BaseFor(base);
    slp::Result result;
    std::optional<FollowedRun> followed;
    {
        slp::RunRecorder recorder(temporary, model, options);
        followed.emplace(recorder, temporary, base);
        result = slp::SolveFromStarts(model, options, starts, recorder);
        // Interrupted, the recorder removes its temporary file as it goes.
        if (result.outcome != slp::Outcome::Interrupted && !g_stop) recorder.Finish(result);
    }
    if (g_stop) {
        followed->Remove();
        scratch.Remove();
        EndBySignal();
    }
    for (const std::string& line : result.startEnds) std::printf("%s: %s\n", slp::VisibleText(model.name).c_str(), line.c_str());
    std::printf("%s: %s\n", slp::VisibleText(model.name).c_str(), slp::OutcomeLine(result).c_str());
    if (report && CreateUQExecutionReport(temporary.c_str()) != 0) {
        RemoveRun(temporary);
        Complain("the report of " + base + " was not written");
        return false;
    }
    if (g_stop) {
        followed->Remove();
        scratch.Remove();
        EndBySignal();
    }
    if (!Publish(temporary, base, report)) {
        RemoveRun(temporary);
        return false;
    }
    if (report) std::printf("wrote %s.log\n", base.c_str());
    return true;
}

// A finite number in (0, 1e12]: a penalty CLP can carry.
std::string PenaltyProblem(const std::string& text) {
    double value = 0;
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        if (used != text.size()) return "--penalty: a number expected, not " + text;
    } catch (const std::exception&) {
        return "--penalty: a number expected, not " + text;
    }
    if (!std::isfinite(value) || value <= 0 || value > 1e12)
        return "--penalty: a number above 0 and at most 1e12 expected, not " + text;
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Solves models with bilinear terms by successive linear programming (COIN-OR CLP),\n"
                 "writes each run's run-data file DIRECTORY/NAME.vdr and its report NAME.log.",
                 "tarnslp"};
    std::vector<std::string> models;
    std::string directory = ".", refinery;
    int periods = 24, starts = 1;
    bool noReport = false;
    slp::SolverOptions options;
    app.add_option("MODEL", models, "model files (JSON, see slp/README.md)");
    app.add_option("-o,--output", directory, "the directory for the run-data files and reports (made if missing)")
        ->capture_default_str();
    app.add_option("--iterations", options.iterationLimit, "the major iteration limit")
        ->capture_default_str()->check(CLI::Range(1, 1000000));
    app.add_option("--penalty", options.penalty, "the first penalty on the rows' violation, in (0, 1e12]")
        ->capture_default_str()->check(CLI::Validator(PenaltyProblem, "PENALTY"));
    app.add_option("--starts", starts, "solve from N starts: the model's own and N-1 spread within the bounds "
                                       "(seeded, on every core); the best feasible end is kept")
        ->capture_default_str()->check(CLI::Range(1, 1000));
    app.add_flag("--no-report", noReport, "write the run-data files only");
    app.add_option("--write-refinery", refinery, "write the generated refinery model to FILE");
    app.add_option("--periods", periods, "the refinery model's periods (about 104 variables each)")
        ->capture_default_str()->check(CLI::Range(1, 10000));
    app.set_version_flag("-V,--version", "tarnslp " TARN_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);  // --help, --version
    } catch (const CLI::ParseError& error) {
        Complain(std::string(error.what()) + " (try 'tarnslp --help')");
        return 2;
    }
    if (models.empty() && refinery.empty()) {
        Complain("no model given (try 'tarnslp --help')");
        return 2;
    }
    CatchEndingSignals();
    options.stop = &g_stop;
    if (!refinery.empty()) {
        std::ofstream out(refinery);
        slp::WriteModel(slp::RefineryModel(periods), out);
        if (!out.flush()) {
            Complain("cannot write " + refinery);
            return 1;
        }
        std::printf("wrote %s\n", refinery.c_str());
    }
    std::error_code made;
    if (!models.empty() && (fs::create_directories(directory, made), made)) {
        Complain("cannot create the directory " + directory + ": " + made.message());
        return 1;
    }
    bool allWritten = true;
    for (const std::string& file : models) {
        if (g_stop) EndBySignal();
        try {
            const slp::Model model = slp::ReadModel(file);
            const std::string base = (fs::path(directory) / fs::path(file).stem()).string();
            allWritten = SolveInto(model, base, options, starts, !noReport) && allWritten;
        } catch (const tarn::rundata::RuleError& error) {
            // A name the run data cannot hold, in the words of the run data.
            Complain(file + ": " + error.what());
            allWritten = false;
        } catch (const std::exception& error) {
            Complain(error.what());
            allWritten = false;
        }
    }
    if (g_stop) EndBySignal();
    return allWritten ? 0 : 1;
}
