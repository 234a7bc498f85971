// Times `tarnview view` in a real terminal (a tmux pane) on a report of
// about 1.2 GB: from the start of the program to its first screen, and from
// the key that asks for a name's history to the history on the screen.
// Beside them, in the same process: `wc -l` on the same file (the floor)
// and, when lnav is installed, the time lnav takes from its start to the
// report's first line on its screen.  The report is written through the
// report library from a synthetic run (100,000 variables, 100,000
// equations, 51 iterations by default) in a temporary directory, removed
// at the end; the file is in the page cache after a warm-up.
//
//   view_bench TARNVIEW [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the first screen comes within 1 s and the history
// within 10 s (medians).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "synthetic_run.h"

namespace {

constexpr double kFirstScreenGoalSeconds = 1.0;
constexpr double kHistoryGoalSeconds = 10.0;
constexpr double kGiveUpSeconds = 120.0;

// A tmux server of its own with one pane of 100 by 30.
class Pane {
public:
    explicit Pane(const std::string& command) : m_socket("view-bench-" + std::to_string(getpid())) {
        std::string ignored;
        Tmux({"new-session", "-d", "-x", "100", "-y", "30", "-e", "LANG=C.UTF-8", command}, ignored);
    }
    ~Pane() {
        std::string ignored;
        Tmux({"kill-server"}, ignored);
    }
    std::string Screen() {
        std::string shown;
        Tmux({"capture-pane", "-p", "-t", "0"}, shown);
        return shown;
    }
    void Keys(const std::vector<std::string>& keys) {
        std::vector<std::string> arguments = {"send-keys", "-t", "0"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        std::string ignored;
        Tmux(arguments, ignored);
    }
    // Seconds from `start` until `text` is on the screen; -1 after kGiveUpSeconds.
    double SecondsUntil(const std::string& text, BenchClock::time_point start) {
        while (SecondsSince(start) < kGiveUpSeconds) {
            if (Screen().find(text) != std::string::npos) return SecondsSince(start);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

private:
    bool Tmux(std::vector<std::string> arguments, std::string& output) {
        arguments.insert(arguments.begin(), {"tmux", "-L", m_socket, "-f", "/dev/null"});
        return RunProgram(arguments, output);
    }
    std::string m_socket;
};

struct ViewTimes {
    double firstScreen = -1, history = -1;
};

ViewTimes TimeView(const std::string& tarnview, const std::string& path, const std::string& name) {
    ViewTimes times;
    const BenchClock::time_point start = BenchClock::now();
    Pane pane(tarnview + " view " + path);
    times.firstScreen = pane.SecondsUntil("line 1/", start);
    if (times.firstScreen < 0) return times;
    pane.Keys({"/"});
    pane.Keys({"-l", name});
    pane.Keys({"Enter"});
    if (pane.SecondsUntil("found: " + name, BenchClock::now()) < 0) return times;
    const BenchClock::time_point asked = BenchClock::now();
    pane.Keys({"H"});
    times.history = pane.SecondsUntil("variable " + name, asked);
    return times;
}

double TimeLnav(const std::string& path, const std::string& firstLineText) {
    const BenchClock::time_point start = BenchClock::now();
    Pane pane("lnav " + path);
    return pane.SecondsUntil(firstLineText, start);
}

double TimeWordCount(const std::string& path) {
    std::string output;
    const BenchClock::time_point start = BenchClock::now();
    return RunProgram({"wc", "-l", path}, output) ? SecondsSince(start) : -1;
}

bool Installed(const char* program) {
    std::string output;
    return RunProgram({"sh", "-c", std::string("command -v ") + program}, output);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs("usage: view_bench TARNVIEW [--variables N] [--equations N] [--iterations N] [--runs N]\n", stderr);
        return 2;
    }
    const std::string tarnview = argv[1];
    SyntheticRunShape shape;
    shape.variables = 100000;
    shape.equations = 100000;
    shape.iterations = 51;
    int runs = 3;
    if (!ParseBenchArguments("view_bench", argc - 1, argv + 1, shape, runs)) return 2;
    if (!Installed("tmux")) {
        std::fputs("view_bench: tmux is needed (scripts/install-deps.sh)\n", stderr);
        return 2;
    }
    const SyntheticReport report("view_bench", shape);
    if (!report.written()) return 2;
    const std::string& path = report.path();
    const std::string name = "QV0000003";  // a variable of every synthetic run

    TimeWordCount(path);  // warm-up: the file into the page cache
    std::vector<double> firstScreens, histories, counts;
    for (int run = 0; run < runs; ++run) {
        const ViewTimes times = TimeView(tarnview, path, name);
        firstScreens.push_back(times.firstScreen);
        histories.push_back(times.history);
        counts.push_back(TimeWordCount(path));
        if (times.firstScreen < 0 || times.history < 0) {
            std::fprintf(stderr, "view_bench: the view did not show its %s\n",
                         times.firstScreen < 0 ? "first screen" : "history");
            return 1;
        }
    }
    const double firstScreen = Median(firstScreens), history = Median(histories), count = Median(counts);
    std::printf("report: %.0f MB\n", report.bytes() / 1e6);
    std::printf("tarnview view, start to first screen: median %.3f s over %d runs (%.1f times wc -l; goal %.1f s)\n",
                firstScreen, runs, firstScreen / count, kFirstScreenGoalSeconds);
    std::printf("tarnview view, H to the history of %s over %zu iterations: median %.3f s (goal %.1f s)\n", name.c_str(),
                static_cast<std::size_t>(shape.iterations), history, kHistoryGoalSeconds);
    std::printf("wc -l:                                median %.3f s\n", count);
    if (Installed("lnav")) {
        const double lnav = TimeLnav(path, "TARNReport execution report");
        if (lnav < 0) {
            std::printf("lnav, start to the report's first line: more than %.0f s\n", kGiveUpSeconds);
        } else {
            std::printf("lnav, start to the report's first line: %.3f s (one run)\n", lnav);
        }
    } else {
        std::printf("lnav is not installed: no comparison\n");
    }
    const bool met = firstScreen <= kFirstScreenGoalSeconds && history <= kHistoryGoalSeconds;
    std::printf("%s\n", met ? "goals met" : "GOALS NOT MET");
    return met ? 0 : 1;
}
