// A study of runs served as one table: a folder of 1,000 runs (700 ended,
// their reports written through the report library from small generated
// runs, and 300 still going, their progress files of the model's names and
// a dozen iterations) served by `tarnview serve`'s server, and the time a
// page waits for the table: from the server's start to the whole first
// answer of /api/runs.  Also a poll that finds one run advanced, and one
// that finds nothing changed.  Each is compared with a floor in the same
// process: the folder listed, every entry's kind and time looked up.
//
//   runs_bench [--runs N] [--reports N] [--progress N]
//
// Exit status 0 when the first answer comes within 2 s.
#include <unistd.h>

#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "http_server.h"
#include "report_library.h"
#include "run_library.h"

namespace {

namespace fs = std::filesystem;

constexpr double kFirstAnswerGoalSeconds = 2.0;
constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

std::string ProgressText(int names, int iterations) {
    std::string text = R"({"format":"tarn-vdr-progress","version":1,"run":"case.vdr","pid":)" +
                       std::to_string(getpid()) + R"(,"started":"Tue Dec  8 12:00:00 2026"})" "\n";
    text += R"({"model":"STUDY","variables":[)";
    for (int k = 0; k < names; ++k) text += (k ? ",\"X" : "\"X") + std::to_string(k) + "\"";
    text += R"(],"equations":[)";
    for (int k = 0; k < names; ++k) text += (k ? ",\"E" : "\"E") + std::to_string(k) + "\"";
    text += "]}\n";
    for (int k = 0; k < iterations; ++k)
        text += R"({"iter":)" + std::to_string(k) + R"(,"feasible":false,"objective":)" + std::to_string(100.0 / (k + 1)) +
                R"(,"infeasibility":0.5,"objective_convergence":0.1,"residual_convergence":0.01,)"
                R"("variable_convergence":"inf","most_infeasible":"E1"})" "\n";
    return text;
}

// The study: reports and progress files spread over ten sub-folders.
bool WriteStudy(const std::string& folder, const std::string& report, int reports, int progress) {
    std::ifstream source(report, std::ios::binary);
    const std::string reportText((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    const std::string progressText = ProgressText(50, 12);
    std::error_code error;
    for (int k = 0; k < reports + progress; ++k) {
        const std::string sub = folder + "/group" + std::to_string(k % 10);
        fs::create_directories(sub, error);
        const bool ended = k < reports;
        std::ofstream out(sub + "/case" + std::to_string(k) + (ended ? ".log" : ".vdr.progress"), std::ios::binary);
        out << (ended ? reportText : progressText);
        if (!out) return false;
    }
    return true;
}

// The floor: the folder listed with every entry's kind and time.
double ListingFloor(const std::string& folder) {
    const BenchClock::time_point start = BenchClock::now();
    std::size_t seen = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        std::error_code error;
        seen += fs::is_regular_file(entry.symlink_status(error)) ? 1 : 0;
        (void)fs::last_write_time(entry.path(), error);
    }
    const double seconds = SecondsSince(start);
    return seen > 0 ? seconds : -1;
}

struct Figures {
    double first = -1, advanced = -1, unchanged = -1;
    std::size_t rows = 0;
};

// One served study: the first answer, a poll after one run advanced, a poll
// with nothing changed.
Figures ServeOnce(const std::string& folder, const std::string& advancing) {
    Figures figures;
    const BenchClock::time_point start = BenchClock::now();
    tarnview::server::ReportLibrary reports;
    tarnview::server::RunLibrary runs(reports, std::chrono::milliseconds(0));
    std::string error;
    if (!runs.AddFolder(folder, error)) {
        std::fprintf(stderr, "runs_bench: %s\n", error.c_str());
        return figures;
    }
    tarnview::server::ViewerServer server(reports, {"127.0.0.1", 0, kToken}, "page", &runs);
    if (!server.Bind(error)) {
        std::fprintf(stderr, "runs_bench: %s\n", error.c_str());
        return figures;
    }
    server.RunInBackground();
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(60);
    const std::string path = std::string("/api/runs?token=") + kToken;
    const httplib::Result first = client.Get(path);
    figures.first = SecondsSince(start);
    if (!first || first->status != 200) return std::fprintf(stderr, "runs_bench: no first answer\n"), Figures{};
    for (std::size_t at = 0; (at = first->body.find("\"state\":", at)) != std::string::npos; ++at) ++figures.rows;
    const std::string generation = first->body.substr(14, first->body.find(',') - 14);

    static int next = 12;  // the advancing run's next iteration, run after run
    std::ofstream(advancing, std::ios::app) << R"({"iter":)" << next++ << R"(,"feasible":true,"objective":1,"infeasibility":0,)"
                                               R"("objective_convergence":0,"residual_convergence":0,)"
                                               R"("variable_convergence":0,"most_infeasible":""})" "\n";
    BenchClock::time_point poll = BenchClock::now();
    const httplib::Result advanced = client.Get(path + "&since=" + generation);
    figures.advanced = SecondsSince(poll);
    if (!advanced || advanced->body.find("\"unchanged\"") != std::string::npos)
        return std::fprintf(stderr, "runs_bench: the run that advanced was not seen\n"), Figures{};
    const std::string now = advanced->body.substr(14, advanced->body.find(',') - 14);
    poll = BenchClock::now();
    const httplib::Result unchanged = client.Get(path + "&since=" + now);
    figures.unchanged = SecondsSince(poll);
    if (!unchanged || unchanged->body.find("\"unchanged\":true") == std::string::npos)
        return std::fprintf(stderr, "runs_bench: a poll of nothing changed was answered in full\n"), Figures{};
    server.Stop();
    return figures;
}

int Count(const char* name, int argc, char** argv, int fallback) {
    for (int k = 1; k + 1 < argc; ++k)
        if (std::strcmp(argv[k], name) == 0) return std::atoi(argv[k + 1]);
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = Count("--runs", argc, argv, 3), reports = Count("--reports", argc, argv, 700),
              progress = Count("--progress", argc, argv, 300);
    if (runs < 1 || reports < 1 || progress < 1) {
        std::fprintf(stderr, "usage: runs_bench [--runs N] [--reports N] [--progress N]\n");
        return 2;
    }
    SyntheticRunShape shape;
    shape.variables = 50;
    shape.equations = 50;
    shape.iterations = 12;
    const SyntheticReport report("runs_bench", shape);
    if (!report.written()) return 2;
    const std::string folder = fs::path(report.path()).parent_path().string() + "/study";
    if (!WriteStudy(folder, report.path(), reports, progress)) {
        std::fprintf(stderr, "runs_bench: cannot write the study in %s\n", folder.c_str());
        return 2;
    }
    const std::string advancing = folder + "/group" + std::to_string(reports % 10) + "/case" +
                                  std::to_string(reports) + ".vdr.progress";
    ListingFloor(folder);  // warm-up: the folder into the cache
    std::vector<double> firsts, advances, unchangeds, floors;
    for (int run = 0; run < runs; ++run) {
        const Figures figures = ServeOnce(folder, advancing);
        if (figures.first < 0 || figures.rows != static_cast<std::size_t>(reports + progress)) {
            std::fprintf(stderr, "runs_bench: the table was not served whole (%zu rows)\n", figures.rows);
            return 2;
        }
        floors.push_back(ListingFloor(folder));
        firsts.push_back(figures.first);
        advances.push_back(figures.advanced);
        unchangeds.push_back(figures.unchanged);
    }
    fs::remove_all(folder);
    const double floor = Median(floors), first = Median(firsts);
    std::printf("folder of %d runs (%d reports, %d in progress); floor: listed in %.2f ms\n", reports + progress,
                reports, progress, floor * 1e3);
    std::printf("first /api/runs answer: median %.3f s over %d runs (goal %.1f s) = %.1f x the floor\n", first, runs,
                kFirstAnswerGoalSeconds, first / floor);
    std::printf("poll, one run advanced: median %.2f ms = %.1f x the floor\n", Median(advances) * 1e3,
                Median(advances) / floor);
    std::printf("poll, nothing changed:  median %.2f ms = %.1f x the floor\n", Median(unchangeds) * 1e3,
                Median(unchangeds) / floor);
    const bool met = first < kFirstAnswerGoalSeconds;
    std::printf("%s\n", met ? "goals met" : "GOALS NOT MET");
    return met ? 0 : 1;
}
