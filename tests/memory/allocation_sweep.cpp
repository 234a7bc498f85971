// Fails each allocation of a whole report run in turn, the first to the
// last, each in a child process of its own; then, in a second sweep, every
// allocation from the Nth on, as when memory runs out for good:
//
//     allocation_sweep RUN.vdr
//
// A run with a failed allocation must end normally (no signal, no abort,
// no hang) with either 0 and a report byte for byte that of the clean run,
// or -1 and a message on standard output or standard error.  The sweep ends
// with the first run that finishes before reaching its failing allocation;
// that run must succeed like the clean one.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TARNReport.h"
#include "failing_allocator.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kSecondsPerRun = 60;
constexpr int kFailuresShown = 20;

struct ChildResult {
    int rc = 0;
    long allocations = 0;
    bool injected = false;
};

struct Outcome {
    std::string problem;  // empty: the child ended normally and said how
    ChildResult result;
    std::string output;   // its standard output and standard error
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The child: standard output and error into files, one report run with the
// given allocation failing, its result through the pipe.
[[noreturn]] void Child(const std::string& base, const fs::path& dir, long failAt, bool onward,
                        int resultPipe) {
    const int out = open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(101);
    alarm(kSecondsPerRun);
    failing_allocator::Arm(failAt, onward);
    ChildResult result;
    result.rc = CreateUQExecutionReport(base.c_str());
    failing_allocator::Disarm();
    result.allocations = failing_allocator::Count();
    result.injected = failing_allocator::Injected();
    std::fflush(nullptr);
    if (write(resultPipe, &result, sizeof result) != static_cast<ssize_t>(sizeof result)) _exit(102);
    std::exit(0);  // through the exit handlers, so that a leak checker can speak
}

Outcome RunChild(const std::string& base, const fs::path& dir, long failAt, bool onward = false) {
    fs::remove(base + ".log");
    Outcome outcome;
    int channel[2];
    if (pipe(channel) != 0) {
        outcome.problem = "pipe failed";
        return outcome;
    }
    std::fflush(nullptr);  // nothing of this process's buffers into the child's files
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        Child(base, dir, failAt, onward, channel[1]);
    }
    close(channel[1]);
    ssize_t got = -1;
    if (pid > 0) got = read(channel[0], &outcome.result, sizeof outcome.result);
    close(channel[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        outcome.problem = "fork or wait failed";
        return outcome;
    }
    outcome.output = ReadFile(dir / "stdout") + ReadFile(dir / "stderr");
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        outcome.problem = signal == SIGALRM ? "hung (no end within " + std::to_string(kSecondsPerRun) + " s)"
                                            : std::string("killed by signal ") + strsignal(signal);
    } else if (WEXITSTATUS(status) != 0) {
        outcome.problem = "exit status " + std::to_string(WEXITSTATUS(status));
    } else if (got != static_cast<ssize_t>(sizeof outcome.result)) {
        outcome.problem = "no result from the child";
    }
    return outcome;
}

// What is wrong with a run whose allocation failAt failed; empty when
// nothing is.
std::string Judge(const Outcome& outcome, const std::string& base, const std::string& reference) {
    if (!outcome.problem.empty()) return outcome.problem;
    const int rc = outcome.result.rc;
    if (rc == 0) {
        if (!fs::exists(base + ".log")) return "returned 0 without a report";
        if (ReadFile(base + ".log") != reference) return "returned 0 with a report unlike the clean run's";
        return "";
    }
    if (rc != -1) return "returned " + std::to_string(rc);
    if (outcome.output.empty()) return "returned -1 without a message";
    return "";
}

std::string FirstLines(const std::string& text) {
    std::istringstream in(text);
    std::string line, shown;
    for (int i = 0; i < 3 && std::getline(in, line); ++i) shown += "\n    | " + line.substr(0, 200);
    return shown;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: allocation_sweep RUN.vdr\n");
        return 2;
    }
    char pattern[] = "/tmp/tarn-allocation-sweep.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return 2;
    const fs::path dir(pattern);
    const std::string base = (dir / "run").string();
    fs::copy_file(argv[1], base + ".vdr");

    const Outcome clean = RunChild(base, dir, 0);
    if (!clean.problem.empty() || clean.result.rc != 0) {
        std::fprintf(stderr, "%s: the clean run failed (%s, result %d)%s\n", argv[1],
                     clean.problem.c_str(), clean.result.rc, FirstLines(clean.output).c_str());
        fs::remove_all(dir);
        return 1;
    }
    const std::string reference = ReadFile(base + ".log");

    int failures = 0;
    for (bool onward : {false, true}) {
        int refused = 0, absorbed = 0, wrong = 0;
        long failAt = 1;
        for (;; ++failAt) {
            const Outcome outcome = RunChild(base, dir, failAt, onward);
            const std::string problem = Judge(outcome, base, reference);
            if (!problem.empty()) {
                ++wrong;
                if (++failures <= kFailuresShown)
                    std::printf("allocation %ld%s: %s%s\n", failAt, onward ? " and on" : "",
                                problem.c_str(), FirstLines(outcome.output).c_str());
            } else if (outcome.result.rc == 0) {
                ++absorbed;
            } else {
                ++refused;
            }
            if (outcome.problem.empty() && !outcome.result.injected) break;  // past the last allocation
            if (failAt > 4 * clean.result.allocations + 1000) {
                std::printf("the runs go on allocating far beyond the clean run's %ld allocations\n",
                            clean.result.allocations);
                ++failures;
                break;
            }
        }
        std::printf("%s: %ld allocations in the clean run; failing %s: %ld runs, %d failed with -1 "
                    "and a message, %d succeeded, %d wrong\n",
                    argv[1], clean.result.allocations, onward ? "every one from the Nth on" : "the Nth",
                    failAt, refused, absorbed, wrong);
    }
    fs::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
