// Times a whole report of a large synthetic run against a floor: the same
// number of detail rows formatted with snprintf and written through one
// buffered stream.  Runs alternate; medians are compared.  A second
// measurement takes the peak memory of a report in a child process.
//
//   report_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the report takes at most 1.5 times the floor and its
// peak memory stays within three times the run-data file's size.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TARNReport.h"
#include "bench_support.h"
#include "synthetic_run.h"

namespace {

constexpr double kTimeBound = 1.5;
constexpr double kMemoryBound = 3.0;

// The floor: every detail row of every iteration, formatted and written.
double TimeFloor(const SyntheticRunShape& shape, const std::string& path) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-10, 10);
    std::vector<double> numbers(4096);
    for (double& number : numbers) number = value(random);
    const BenchClock::time_point start = BenchClock::now();
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return -1;
    std::vector<char> buffer(1 << 16);
    std::setvbuf(out, buffer.data(), _IOFBF, buffer.size());
    char row[256];
    std::size_t n = 0;
    for (int k = 0; k < shape.iterations; ++k) {
        for (int j = 0; j < shape.variables; ++j, n += 5) {
            std::snprintf(row, sizeof row,
                          "V%07d              %12.5g %1s %12.5g   %12.5g %1s %12.5g   %12.5g    %10s     %-10s",
                          j, numbers[n % 4096], "S", numbers[(n + 1) % 4096], numbers[(n + 2) % 4096],
                          "S", numbers[(n + 3) % 4096], numbers[(n + 4) % 4096], "Optim", "Cont");
            std::fputs(row, out);
            std::fputs("\n", out);
        }
        for (int i = 0; i < shape.equations; ++i, n += 4) {
            std::snprintf(row, sizeof row, "E%07d              %12.5g   %12.5g   %12.5g   %12.5g       %s",
                          i, numbers[n % 4096], numbers[(n + 1) % 4096], numbers[(n + 2) % 4096],
                          numbers[(n + 3) % 4096], "linear");
            std::fputs(row, out);
            std::fputs("\n", out);
        }
    }
    std::fclose(out);
    return SecondsSince(start);
}

double TimeReport(const std::string& base) {
    const BenchClock::time_point start = BenchClock::now();
    if (CreateUQExecutionReport(base.c_str()) != 0) return -1;
    return SecondsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    int runs = 5;
    if (!ParseShapeArguments(argc, argv, shape, runs)) {
        std::fprintf(stderr, "usage: report_bench [--variables N] [--equations N] [--iterations N] [--runs N]\n");
        return 2;
    }
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("tarn-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    const std::string base = (directory / "synthetic").string();
    if (!WriteSyntheticRun(base + ".vdr", shape)) {
        std::fprintf(stderr, "report_bench: cannot write %s.vdr\n", base.c_str());
        return 2;
    }
    const double fileSize = static_cast<double>(std::filesystem::file_size(base + ".vdr"));
    std::printf("run: %d variables, %d equations, %d iterations, %.1f MB\n", shape.variables,
                shape.equations, shape.iterations, fileSize / 1e6);

    std::vector<double> reportTimes, floorTimes;
    for (int run = 0; run < runs; ++run) {
        reportTimes.push_back(TimeReport(base));
        floorTimes.push_back(TimeFloor(shape, (directory / "floor.txt").string()));
    }
    const long long peak =
        PeakMemoryOfChild([&base] { return CreateUQExecutionReport(base.c_str()) == 0; });
    std::filesystem::remove_all(directory);
    if (*std::min_element(reportTimes.begin(), reportTimes.end()) < 0 ||
        *std::min_element(floorTimes.begin(), floorTimes.end()) < 0 || peak < 0) {
        std::fprintf(stderr, "report_bench: a run failed\n");
        return 2;
    }

    const double report = Median(reportTimes), floor = Median(floorTimes);
    const double timeRatio = report / floor, memoryRatio = static_cast<double>(peak) / fileSize;
    std::printf("report (loading included): median %.3f s over %d runs\n", report, runs);
    std::printf("floor (snprintf rows):     median %.3f s over %d runs\n", floor, runs);
    std::printf("time ratio %.2f (bound %.1f), peak memory %.1f MB = %.2f x file size (bound %.1f)\n",
                timeRatio, kTimeBound, static_cast<double>(peak) / 1e6, memoryRatio, kMemoryBound);
    const bool met = timeRatio <= kTimeBound && memoryRatio <= kMemoryBound;
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
