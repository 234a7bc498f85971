// Times `tarnview view` in a real terminal (a tmux pane) on a report of
// about 1.2 GB: from the start of the program to its first screen, and from
// the key that asks for a name's history to the history on the screen.
// Beside them, in the same process: `wc -l` on the same file (the floor)
// and, when lnav is installed, the time lnav takes from its start to the
// report's last line on its screen (it opens at a file's end).  The report is written through the
// report library from a synthetic run (100,000 variables, 100,000
// equations, 51 iterations by default) in a temporary directory, removed
// at the end; the file is in the page cache after a warm-up.
//
//   view_bench TARNVIEW [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the first screen comes within 3 times and the history
// within 5 times the time of `wc -l` (medians).
//
//   view_bench TARNVIEW --navigation
//
// The navigation keys on a report of 100,000 nested regions (O, G, k, g)
// and on one of 100,000 iteration blocks (G, [, ], i N): from each key to
// its answer on the screen, beside the floor of the same in-process round
// trip through tmux (j on a report of three lines).  Exit status 0 when
// every key is answered within kNavigationBound times the floor.
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "synthetic_run.h"

namespace {

// Bounds as multiples of `wc -l` on the same file, measured alongside.
constexpr double kFirstScreenBound = 3.0;
constexpr double kHistoryBound = 5.0;
constexpr double kGiveUpSeconds = 120.0;

// A text as one word of the shell.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A tmux server of its own with one pane of 100 by 30.
class Pane {
public:
    explicit Pane(const std::string& command) : m_socket("view-bench-" + std::to_string(getpid())) {
        // The server tmux starts keeps the descriptors it was given open:
        // not a pipe that RunProgram reads to its end.
        const std::string start = "tmux -L " + m_socket + " -f /dev/null new-session -d -x 100 -y 30 -e LANG=C.UTF-8 " +
                                  Quoted(command) + " > /dev/null 2>&1";
        if (std::system(start.c_str()) != 0) std::fprintf(stderr, "view_bench: tmux did not start\n");
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

// ---- Navigation on deep and wide reports.

constexpr double kNavigationBound = 20.0;
constexpr int kNavigationDepth = 100000;

// A file in a directory of its own, removed with it.
class ScratchFile {
public:
    ScratchFile(const std::string& name, const std::string& text) {
        char directory[] = "/tmp/view-bench-XXXXXX";
        if (mkdtemp(directory) != nullptr) m_directory = directory;
        m_path = m_directory + "/" + name;
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~ScratchFile() {
        std::remove(m_path.c_str());
        rmdir(m_directory.c_str());
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_directory, m_path;
};

std::string NestedReport() {
    std::string text;
    for (int level = 0; level < kNavigationDepth; ++level) text += "#region 1, Level " + std::to_string(level) + "\n";
    text += "the innermost line\n";
    for (int level = 0; level < kNavigationDepth; ++level) text += "#endregion\n";
    return text + "after the nest\n";
}

std::string BlocksReport() {
    std::string text = "#region 1, Iteration Details\n";
    for (int block = 0; block < kNavigationDepth; ++block) {
        const std::string number = std::to_string(block);
        text += "#region 0, ===== Major Iteration " + number + " =====\nstep " + number + "\n#endregion\n";
    }
    return text + "#endregion\n";
}

struct KeyStep {
    std::vector<std::string> keys;  // tmux send-keys arguments
    std::string answer;             // on the screen once the key is answered
    std::string name;
};

// Seconds from each step's keys to its answer; -1 for one not answered.
std::vector<double> TimeKeys(const std::string& tarnview, const std::string& path, const std::vector<KeyStep>& steps) {
    std::vector<double> times;
    Pane pane(tarnview + " view " + path);
    if (pane.SecondsUntil("line 1/", BenchClock::now()) < 0) return std::vector<double>(steps.size(), -1);
    for (const KeyStep& step : steps) {
        const BenchClock::time_point sent = BenchClock::now();
        pane.Keys(step.keys);
        times.push_back(pane.SecondsUntil(step.answer, sent));
    }
    return times;
}

int RunNavigationBench(const std::string& tarnview) {
    const ScratchFile tiny("tiny.log", "TARNReport execution report.\none\ntwo\n");
    const ScratchFile nested("nested.log", NestedReport());
    const ScratchFile blocks("blocks.log", BlocksReport());
    const std::string nestedLines = std::to_string(2 * kNavigationDepth + 2);
    const auto blockLine = [](int block) { return "line " + std::to_string(2 + 3 * block) + "/"; };
    const int last = kNavigationDepth - 1;
    const std::vector<KeyStep> nestedSteps = {
        {{"O"}, "\u25be Level 20", "O (unfold all)"},
        {{"G"}, "line " + nestedLines + "/", "G (the last line)"},
        {{"k"}, "line " + std::to_string(kNavigationDepth + 1) + "/", "k (back over the end lines)"},
        {{"g"}, "line 1/" + nestedLines, "g (the first line)"},
        {{"G"}, "line " + nestedLines + "/", "G again"},
    };
    const std::vector<KeyStep> blockSteps = {
        {{"G"}, blockLine(last), "G (the last block)"},
        {{"["}, blockLine(last - 1), "[ (the block before)"},
        {{"["}, blockLine(last - 2), "[ again"},
        {{"]"}, blockLine(last - 1), "] (the block after)"},
        {{"i", "5", "0", "0", "0", "0", "Enter"}, blockLine(50000), "i 50000"},
    };
    std::vector<double> floors;
    for (int run = 0; run < 5; ++run) {
        const auto times = TimeKeys(tarnview, tiny.path(), {{{"j"}, "line 2/", "j"}});
        if (times[0] >= 0) floors.push_back(times[0]);
    }
    if (floors.empty()) {
        std::fprintf(stderr, "view_bench: the view did not answer j on a report of three lines\n");
        return 1;
    }
    const double floor = Median(floors);
    std::printf("floor: j on a report of three lines, median %.4f s\n", floor);
    bool met = true;
    const auto report = [&](const char* title, const std::vector<KeyStep>& steps, const std::vector<double>& times) {
        std::printf("%s\n", title);
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (times[i] < 0) {
                std::printf("  %-28s no answer within %.0f s\n", steps[i].name.c_str(), kGiveUpSeconds);
                met = false;
                continue;
            }
            std::printf("  %-28s %.4f s (%.1f times the floor)\n", steps[i].name.c_str(), times[i], times[i] / floor);
            met = met && times[i] <= kNavigationBound * floor;
        }
    };
    report("100,000 nested regions:", nestedSteps, TimeKeys(tarnview, nested.path(), nestedSteps));
    report("100,000 iteration blocks:", blockSteps, TimeKeys(tarnview, blocks.path(), blockSteps));
    std::printf("%s (bound: %.0f times the floor per key)\n", met ? "bounds met" : "BOUNDS NOT MET", kNavigationBound);
    return met ? 0 : 1;
}

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

// Some text of the report's last line of text (lnav opens at the end of a
// file): its first 30 characters after any colour prefix.
std::string LastTextOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(std::max<std::streamoff>(0, size - 8192));
    std::string line, last;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 11 && line[0] == '?' && line[10] == '}') line.erase(0, 11);
        if (line.find_first_not_of(' ') != std::string::npos && line != "#endregion") last = line;
    }
    return last.substr(0, 30);
}

bool Installed(const char* program) {
    std::string output;
    return RunProgram({"sh", "-c", std::string("command -v ") + program}, output);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        std::fputs("usage: view_bench TARNVIEW [--variables N] [--equations N] [--iterations N] [--runs N]\n"
                   "       view_bench TARNVIEW --navigation\n", stderr);
        return 2;
    }
    const std::string tarnview = argv[1];
    if (argc == 3 && std::string(argv[2]) == "--navigation") {
        if (!Installed("tmux")) {
            std::fputs("view_bench: tmux is needed (scripts/install-deps.sh)\n", stderr);
            return 2;
        }
        return RunNavigationBench(tarnview);
    }
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
    std::printf("tarnview view, start to first screen: median %.3f s over %d runs (%.1f times wc -l; bound %.1f)\n",
                firstScreen, runs, firstScreen / count, kFirstScreenBound);
    std::printf("tarnview view, H to the history of %s over %zu iterations: median %.3f s (%.1f times wc -l; bound %.1f)\n",
                name.c_str(), static_cast<std::size_t>(shape.iterations), history, history / count, kHistoryBound);
    std::printf("wc -l:                                median %.3f s\n", count);
    if (Installed("lnav")) {
        const double lnav = TimeLnav(path, LastTextOf(path));
        if (lnav < 0) {
            std::printf("lnav, start to the report's last line on its screen: more than %.0f s\n", kGiveUpSeconds);
        } else {
            std::printf("lnav, start to the report's last line on its screen: %.3f s (one run; %.1f times wc -l)\n",
                        lnav, lnav / count);
        }
    } else {
        std::printf("lnav is not installed: no comparison\n");
    }
    const bool met = firstScreen <= kFirstScreenBound * count && history <= kHistoryBound * count;
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
