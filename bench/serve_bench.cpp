// Serves a report of about 1.2 GB with `tarnview serve`'s server and
// measures what a reader of the page waits for: the time from the start
// until the outline can be served, the server-side time of a name search
// that returns the name's row in every iteration, and the server's memory
// beyond the mapped file. The report is written through the report library
// from a synthetic run (100,000 variables, 100,000 equations, 51 iterations
// by default) in a temporary directory, which is removed at the end.
//
// Each run serves the report from a fresh process (this program again, with
// --serve), so that its memory is its own; the file is in the page cache
// after a warm-up. Medians over the runs are compared with the goals, and
// the outline's time also with a floor in the same process: the lines of
// the file counted with memchr.
//
//   serve_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the outline comes within 1 s, a name search within
// 100 ms, and the memory stays under half the file's size.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "http_server.h"
#include "replies.h"
#include "report_library.h"
#include "synthetic_run.h"

namespace {

constexpr double kOutlineGoalSeconds = 1.0;
constexpr double kSearchGoalSeconds = 0.1;
constexpr double kMemoryGoal = 0.5;  // of the file's size
constexpr int kSearches = 101;

// A field of /proc/self/status in bytes ("RssAnon", "RssFile").
long long StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    long long kilobytes = 0;
    while (status >> key) {
        if (key.size() == std::strlen(field) + 1 && key.starts_with(field)) {
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
}

// The largest anonymous resident memory seen while it lives.
class AnonymousPeak {
public:
    AnonymousPeak() : sampler_([this] { Sample(); }) {}
    ~AnonymousPeak() { Stop(); }
    long long Stop() {
        stop_ = true;
        if (sampler_.joinable()) sampler_.join();
        return peak_;
    }

private:
    void Sample() {
        while (!stop_) {
            peak_ = std::max(peak_.load(), StatusBytes("RssAnon"));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        peak_ = std::max(peak_.load(), StatusBytes("RssAnon"));
    }
    std::atomic<bool> stop_{false};
    std::atomic<long long> peak_{0};
    std::thread sampler_;
};

volatile std::size_t lineCountSink = 0;

// The floor: the file's lines counted with memchr over a map of it.
double TimeLineCountFloor(const std::string& path) {
    const BenchClock::time_point start = BenchClock::now();
    const int file = open(path.c_str(), O_RDONLY);
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(path));
    void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
    close(file);
    if (map == MAP_FAILED) return -1;
    const char* at = static_cast<const char*>(map);
    const char* const end = at + size;
    std::size_t lines = 0;
    while (const void* newline = std::memchr(at, '\n', static_cast<std::size_t>(end - at))) {
        ++lines;
        at = static_cast<const char*>(newline) + 1;
    }
    munmap(map, size);
    lineCountSink = lines;
    return SecondsSince(start);
}

// Names of rows spread over the last table of each kind: variables and
// equations.
std::vector<std::string> NamesToSearch(const tarnview::Report& report) {
    std::vector<std::string> names;
    for (const tarnview::TableKind kind : {tarnview::TableKind::kVariableDetails, tarnview::TableKind::kEquationDetails}) {
        const auto& tables = report.Tables();
        const auto last = std::find_if(tables.rbegin(), tables.rend(),
                                       [kind](const tarnview::Table& table) { return table.kind == kind; });
        if (last == tables.rend()) continue;
        std::mt19937 random(11);
        std::uniform_int_distribution<tarnview::LineNumber> pick(last->header + 1, last->end - 1);
        while (names.size() < (kind == tarnview::TableKind::kVariableDetails ? kSearches / 2 : kSearches)) {
            const tarnview::LineNumber line = pick(random);
            if (report.IsTableRow(*last, line))
                names.emplace_back(tarnview::TableRowName(kind, report.RawLine(line)));
        }
    }
    return names;
}

std::size_t HitCount(const std::string& reply) {
    std::size_t hits = 0;
    for (std::size_t at = reply.find("{\"line\":"); at != std::string::npos; at = reply.find("{\"line\":", at + 1))
        ++hits;
    return hits;
}

// One run in this process, started afresh: prints one line of figures
// "outline search memory fileSize" (seconds, seconds, bytes, bytes) on
// standard output.
int Serve(const std::string& path, int iterations) {
    const BenchClock::time_point start = BenchClock::now();
    const long long baseline = StatusBytes("RssAnon");
    AnonymousPeak peak;
    tarnview::server::ReportLibrary reports;
    std::string error;
    if (!reports.Open({path}, error, nullptr)) {
        std::fprintf(stderr, "serve_bench: %s\n", error.c_str());
        return 2;
    }
    tarnview::server::ViewerServer server(reports, {}, "<!DOCTYPE html>");
    if (!server.Bind(error)) {
        std::fprintf(stderr, "serve_bench: %s\n", error.c_str());
        return 2;
    }
    server.RunInBackground();
    reports.StartBackgroundWork();
    httplib::Client client("127.0.0.1", server.port());
    const httplib::Result outline = client.Get("/api/reports/0/outline?token=" + server.token());
    const double outlineSeconds = SecondsSince(start);
    if (!outline || outline->status != 200) {
        std::fprintf(stderr, "serve_bench: the outline was not served\n");
        return 2;
    }
    const BenchClock::time_point indexStart = BenchClock::now();
    if (!reports.WaitUntilIndexed(std::chrono::minutes(5))) {
        std::fprintf(stderr, "serve_bench: the index was not built\n");
        return 2;
    }
    const double indexSeconds = SecondsSince(indexStart);

    const std::shared_ptr<const tarnview::server::ServedReport> served = reports.Current(0);
    std::vector<double> searchTimes, roundTrips;
    for (const std::string& name : NamesToSearch(served->report())) {
        const BenchClock::time_point searchStart = BenchClock::now();
        const tarnview::server::Reply reply = tarnview::server::SearchReply(*served, &name, nullptr);
        searchTimes.push_back(SecondsSince(searchStart));
        if (reply.status != 200 || HitCount(reply.body) < static_cast<std::size_t>(iterations)) {
            std::fprintf(stderr, "serve_bench: the search for %s found %zu rows\n", name.c_str(),
                         HitCount(reply.body));
            return 2;
        }
        const BenchClock::time_point tripStart = BenchClock::now();
        const httplib::Result answer =
            client.Get("/api/reports/0/search?token=" + server.token() + "&q=" + name);
        roundTrips.push_back(SecondsSince(tripStart));
        if (!answer || answer->body != reply.body) {
            std::fprintf(stderr, "serve_bench: the served search for %s differs\n", name.c_str());
            return 2;
        }
    }
    server.Stop();
    reports.StopBackgroundWork();
    const long long memory = peak.Stop() - baseline;
    std::printf("%.6f %.6f %lld %llu %.6f %.6f\n", outlineSeconds, Median(searchTimes), memory,
                static_cast<unsigned long long>(served->report().Bytes()), indexSeconds, Median(roundTrips));
    return 0;
}

struct RunFigures {
    double outline = -1, search = -1, index = -1, roundTrip = -1;
    double memory = -1, fileSize = -1;
};

// This program again with --serve, its one line of figures read back.
RunFigures RunServer(const char* self, const std::string& path, int iterations) {
    RunFigures figures;
    std::string output;
    if (RunProgram({self, "--serve", path, std::to_string(iterations)}, output))
        std::sscanf(output.c_str(), "%lf %lf %lf %lf %lf %lf", &figures.outline, &figures.search, &figures.memory,
                    &figures.fileSize, &figures.index, &figures.roundTrip);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--serve") == 0) return Serve(argv[2], std::atoi(argv[3]));
    SyntheticRunShape shape;
    shape.variables = 100000;
    shape.equations = 100000;
    shape.iterations = 51;
    int runs = 3;
    if (!ParseBenchArguments("serve_bench", argc, argv, shape, runs)) return 2;
    const SyntheticReport report("serve_bench", shape);
    if (!report.written()) return 2;
    const std::string& path = report.path();
    const double fileSize = report.bytes();

    TimeLineCountFloor(path);  // warm-up: the file into the page cache
    std::vector<double> outlines, searches, memories, indexes, roundTrips, floors;
    bool failed = false;
    for (int run = 0; run < runs && !failed; ++run) {
        const RunFigures figures = RunServer(argv[0], path, shape.iterations);
        floors.push_back(TimeLineCountFloor(path));
        failed = figures.outline < 0;
        outlines.push_back(figures.outline);
        searches.push_back(figures.search);
        memories.push_back(figures.memory);
        indexes.push_back(figures.index);
        roundTrips.push_back(figures.roundTrip);
    }
    if (failed) {
        std::fprintf(stderr, "serve_bench: a run failed\n");
        return 2;
    }

    const double outline = Median(outlines), search = Median(searches), memory = Median(memories);
    std::printf("outline served after:  median %.3f s over %d runs (goal %.1f s); %.2f x the line count floor "
                "(%.3f s)\n",
                outline, runs, kOutlineGoalSeconds, outline / Median(floors), Median(floors));
    std::printf("name search (server):  median %.2f ms over %d names, each row of every iteration (goal %.0f ms); "
                "over HTTP %.2f ms\n",
                search * 1e3, kSearches, kSearchGoalSeconds * 1e3, Median(roundTrips) * 1e3);
    std::printf("name index built in:   median %.2f s after the outline\n", Median(indexes));
    std::printf("memory beyond the map: peak %.1f MB = %.2f x file size (goal under %.1f)\n", memory / 1e6,
                memory / fileSize, kMemoryGoal);
    const bool met = outline < kOutlineGoalSeconds && search < kSearchGoalSeconds && memory < kMemoryGoal * fileSize;
    std::printf("%s\n", met ? "goals met" : "GOALS NOT MET");
    return met ? 0 : 1;
}
