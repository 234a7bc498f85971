// Times a whole report of a large synthetic run against a floor: the same
// number of detail rows formatted with snprintf and written through one
// buffered stream.  Runs alternate; medians are compared.  A second
// measurement takes the peak memory of a report in a child process.
//
//   report_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Then, for each text of a run that may be long, a small run whose only
// large part is one such text of 200 MB with line breaks in it: the peak
// memory of its whole report, taken the same way.
//
// Exit status 0 when the report takes at most 1.5 times the floor and every
// peak memory stays under three times its run-data file's size.
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
constexpr size_t kLongTextBytes = 200000000;

// A run whose one large part is a text: the file up to the text and the
// file after it.
struct LongTextRun {
    const char* text;
    const char* before;
    const char* after;
};

#define TARN_HEADER R"({"format": "tarn-vdr", "version": 1, )"
#define TARN_MODEL R"("model": {"name": "LONG", "variables": [{"name": "X"}], "equations": []})"
#define TARN_ITERATIONS R"("iterations": [{"variables": [[1, 0, 0]], "equations": []}])"

const LongTextRun kLongTextRuns[] = {
    {"case description", TARN_HEADER R"("case": {"description": ")",
     R"("}, )" TARN_MODEL ", " TARN_ITERATIONS "}"},
    {"solution status", TARN_HEADER R"("case": {"status": ")",
     R"("}, )" TARN_MODEL ", " TARN_ITERATIONS "}"},
    {"solver option value", TARN_HEADER R"("solver": {"options": {"NOTE": ")",
     R"("}}, "case": {}, )" TARN_MODEL ", " TARN_ITERATIONS "}"},
    {"LP option value", TARN_HEADER R"("lp": {"options": {"NOTE": ")",
     R"("}}, "case": {}, )" TARN_MODEL ", " TARN_ITERATIONS "}"},
    {"iteration message", TARN_HEADER R"("case": {}, )" TARN_MODEL
     R"(, "iterations": [{"warnings": [")",
     R"("], "variables": [[1, 0, 0]], "equations": []}]})"},
};

#undef TARN_HEADER
#undef TARN_MODEL
#undef TARN_ITERATIONS

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

// Peak memory of a whole report of a run with one long text, as a multiple
// of its file's size; printed; negative when the report fails.
double LongTextMemoryRatio(const std::filesystem::path& directory, const LongTextRun& run) {
    const std::string base = (directory / "long_text").string();
    const bool written =
        WriteLongTextRun(base + ".vdr", run.before, kLongTextBytes, run.after);
    const double size = written ? static_cast<double>(std::filesystem::file_size(base + ".vdr")) : 0;
    const long long peak =
        written ? PeakMemoryOfChild([&base] { return CreateUQExecutionReport(base.c_str()) == 0; })
                : -1;
    std::filesystem::remove(base + ".vdr");
    std::filesystem::remove(base + ".log");
    if (peak < 0) {
        std::fprintf(stderr, "report_bench: the report with a long %s failed\n", run.text);
        return -1;
    }
    const double ratio = static_cast<double>(peak) / size;
    std::printf("one %s of %.0f MB: peak memory %.1f MB = %.2f x file size (bound %.1f)\n", run.text,
                size / 1e6, static_cast<double>(peak) / 1e6, ratio, kMemoryBound);
    return ratio;
}

// The largest of the long-text ratios; negative when a report fails.
double WorstLongTextMemoryRatio(const std::filesystem::path& directory) {
    double worst = 0;
    for (const LongTextRun& run : kLongTextRuns) {
        const double ratio = LongTextMemoryRatio(directory, run);
        if (ratio < 0) return -1;
        worst = std::max(worst, ratio);
    }
    return worst;
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    int runs = 5;
    if (!ParseBenchArguments("report_bench", argc, argv, shape, runs)) return 2;
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
    std::filesystem::remove(base + ".vdr");
    const double longTextRatio = WorstLongTextMemoryRatio(directory);
    std::filesystem::remove_all(directory);
    if (*std::min_element(reportTimes.begin(), reportTimes.end()) < 0 ||
        *std::min_element(floorTimes.begin(), floorTimes.end()) < 0 || peak < 0 || longTextRatio < 0) {
        std::fprintf(stderr, "report_bench: a run failed\n");
        return 2;
    }

    const double report = Median(reportTimes), floor = Median(floorTimes);
    const double timeRatio = report / floor, memoryRatio = static_cast<double>(peak) / fileSize;
    std::printf("report (loading included): median %.3f s over %d runs\n", report, runs);
    std::printf("floor (snprintf rows):     median %.3f s over %d runs\n", floor, runs);
    std::printf("time ratio %.2f (bound %.1f), peak memory %.1f MB = %.2f x file size (bound %.1f)\n",
                timeRatio, kTimeBound, static_cast<double>(peak) / 1e6, memoryRatio, kMemoryBound);
    const bool met = timeRatio <= kTimeBound && memoryRatio <= kMemoryBound && longTextRatio < kMemoryBound;
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
