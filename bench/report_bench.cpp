// Times a whole report of a large synthetic run against a floor: the same
// number of detail rows formatted with snprintf and written through one
// buffered stream.  Runs alternate; medians are compared.  A second
// measurement takes the peak memory of a report in a child process.
//
//   report_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Exit status 0 when the report takes at most 1.5 times the floor and its
// peak memory stays within three times the run-data file's size.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "TARNReport.h"
#include "synthetic_run.h"

namespace {

constexpr double kTimeBound = 1.5;
constexpr double kMemoryBound = 3.0;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The floor: every detail row of every iteration, formatted and written.
double TimeFloor(const SyntheticRunShape& shape, const std::string& path) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-10, 10);
    std::vector<double> numbers(4096);
    for (double& number : numbers) number = value(random);
    const Clock::time_point start = Clock::now();
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
    const Clock::time_point start = Clock::now();
    if (CreateUQExecutionReport(base.c_str()) != 0) return -1;
    return SecondsSince(start);
}

// Peak resident memory, in bytes, of a child process that writes the report.
long long ReportPeakMemory(const std::string& base) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) _exit(CreateUQExecutionReport(base.c_str()) == 0 ? 0 : 1);
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return static_cast<long long>(usage.ru_maxrss) * 1024;
}

bool ParseArguments(int argc, char** argv, SyntheticRunShape& shape, int& runs) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const int number = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--variables") == 0) shape.variables = number;
        else if (std::strcmp(argv[i], "--equations") == 0) shape.equations = number;
        else if (std::strcmp(argv[i], "--iterations") == 0) shape.iterations = number;
        else if (std::strcmp(argv[i], "--runs") == 0) runs = number;
        else return false;
    }
    return argc % 2 == 1 && runs > 0 && shape.iterations > 0;
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    int runs = 5;
    if (!ParseArguments(argc, argv, shape, runs)) {
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
    const long long peak = ReportPeakMemory(base);
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
