// Times the viewer's reader on a report of about 1 GB against `wc -l` on
// the same file.  The report is written through the report library from a
// synthetic run (100,000 variables, 100,000 equations, 51 iterations by
// default) in a temporary directory, which is removed at the end.  Runs
// alternate after one warm-up of each, with the file in the page cache;
// medians are compared.
//
//   reader_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the reader takes at most three times as long as
// `wc -l` and counts the same lines.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TARNReport.h"
#include "bench_support.h"
#include "report_reader.h"
#include "synthetic_run.h"

extern char** environ;

namespace {

constexpr double kTimeBound = 3.0;

struct Counted {
    double seconds = -1;
    unsigned long long lines = 0;
};

// `wc -l PATH` in a child process, its output read from a pipe.
Counted TimeWordCount(const std::string& path) {
    Counted counted;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return counted;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    const char* arguments[] = {"wc", "-l", path.c_str(), nullptr};
    const BenchClock::time_point start = BenchClock::now();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "wc", &actions, nullptr, const_cast<char**>(arguments), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string output;
    char buffer[256];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) output.append(buffer, got);
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return counted;
    }
    counted.seconds = SecondsSince(start);
    counted.lines = std::strtoull(output.c_str(), nullptr, 10);
    return counted;
}

// The reader: map, one pass, release.
Counted TimeReader(const std::string& path, std::size_t& regions) {
    Counted counted;
    const BenchClock::time_point start = BenchClock::now();
    try {
        const auto report = tarnview::Report::Open(path);
        counted.lines = report->LineCount();
        regions = report->Regions().size();
    } catch (const tarnview::ReadError& error) {
        std::fprintf(stderr, "reader_bench: %s\n", error.what());
        return counted;
    }
    counted.seconds = SecondsSince(start);
    return counted;
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    shape.variables = 100000;
    shape.equations = 100000;
    shape.iterations = 51;
    int runs = 5;
    if (!ParseShapeArguments(argc, argv, shape, runs)) {
        std::fprintf(stderr, "usage: reader_bench [--variables N] [--equations N] [--iterations N] [--runs N]\n");
        return 2;
    }
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("tarn-reader-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    const std::string base = (directory / "synthetic").string(), path = base + ".log";
    std::printf("writing the run and its report (%d variables, %d equations, %d iterations)...\n", shape.variables,
                shape.equations, shape.iterations);
    std::fflush(stdout);
    const bool written = WriteSyntheticRun(base + ".vdr", shape) && CreateUQExecutionReport(base.c_str()) == 0;
    std::error_code ignored;
    std::filesystem::remove(base + ".vdr", ignored);
    if (!written) {
        std::fprintf(stderr, "reader_bench: cannot write the report in %s\n", directory.string().c_str());
        std::filesystem::remove_all(directory, ignored);
        return 2;
    }
    const double fileSize = static_cast<double>(std::filesystem::file_size(path));
    std::printf("report: %.1f MB\n", fileSize / 1e6);

    std::size_t regions = 0;
    TimeWordCount(path);  // warm-up: the file into the page cache
    TimeReader(path, regions);
    std::vector<double> readerTimes, countTimes;
    Counted reader, count;
    for (int run = 0; run < runs; ++run) {
        reader = TimeReader(path, regions);
        count = TimeWordCount(path);
        readerTimes.push_back(reader.seconds);
        countTimes.push_back(count.seconds);
    }
    std::filesystem::remove_all(directory, ignored);
    if (reader.seconds < 0 || count.seconds < 0) {
        std::fprintf(stderr, "reader_bench: a run failed\n");
        return 2;
    }

    const double readerMedian = Median(readerTimes), countMedian = Median(countTimes);
    const double ratio = readerMedian / countMedian;
    std::printf("reader (map, one pass, release): median %.3f s over %d runs, %llu lines, %zu regions, %.0f MB/s\n",
                readerMedian, runs, reader.lines, regions, fileSize / 1e6 / readerMedian);
    std::printf("wc -l:                           median %.3f s over %d runs, %llu lines\n", countMedian, runs,
                count.lines);
    std::printf("time ratio %.2f (bound %.1f)\n", ratio, kTimeBound);
    const bool met = ratio <= kTimeBound && reader.lines == count.lines;
    if (reader.lines != count.lines) std::printf("the line counts differ\n");
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
