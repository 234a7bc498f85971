// Times the run-data loader on a large synthetic run against RapidJSON
// parsing the same bytes into a document and nothing more.  Runs alternate;
// medians are compared.  The loader's time includes reading the file (from
// the page cache), the document's does not.  The loader's peak memory is
// taken in a child process forked before this process holds anything large.
//
//   loader_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// A second file holds a small run whose case description is one text of
// 200 MB; the loader's peak memory on it is taken the same way.
//
// Exit status 0 when the loader takes at most twice as long as the document
// parse and its peak memory stays under three times the file's size, for
// both files.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <rapidjson/document.h>

#include "libs/tarn.h"
#include "bench_support.h"
#include "synthetic_run.h"

namespace {

constexpr double kTimeBound = 2.0;
constexpr double kMemoryBound = 3.0;
constexpr size_t kLongTextBytes = 200000000;

// A small valid run whose case description is one text of kLongTextBytes
// bytes in lines of 64.
bool WriteLongDescriptionRun(const std::string& path) {
    return WriteLongTextRun(
        path, R"({"format": "tarn-vdr", "version": 1, "case": {"description": ")", kLongTextBytes,
        R"("}, "model": {"name": "LONG", "variables": [{"name": "X"}], "equations": []},)"
        R"( "iterations": [{"variables": [[1, 0, 0]], "equations": []}]})");
}

// Peak memory of a child process that loads the file at path.
long long PeakMemoryOfLoad(const std::string& path) {
    return PeakMemoryOfChild([&path] {
        CTARNSolutionReporting reporting;
        return reporting.ReadReportFile(path.c_str()) == 0;
    });
}

// Seconds to load the file; the loaded run is released after the clock stops.
double TimeLoader(const std::string& path) {
    auto reporting = std::make_unique<CTARNSolutionReporting>();
    const BenchClock::time_point start = BenchClock::now();
    const int rc = reporting->ReadReportFile(path.c_str());
    const double seconds = SecondsSince(start);
    return rc == 0 ? seconds : -1;
}

// Seconds to parse bytes into a RapidJSON document (default flags).
double TimeDocument(const std::string& bytes) {
    auto document = std::make_unique<rapidjson::Document>();
    const BenchClock::time_point start = BenchClock::now();
    document->Parse(bytes.data(), bytes.size());
    const double seconds = SecondsSince(start);
    return document->HasParseError() ? -1 : seconds;
}

// Peak memory of loading the small run with one long text, as a multiple
// of its file's size; printed; negative when the run fails.
double LongTextMemoryRatio(const std::filesystem::path& directory) {
    const std::string path = (directory / "long_text.vdr").string();
    const bool written = WriteLongDescriptionRun(path);
    const double size = written ? static_cast<double>(std::filesystem::file_size(path)) : 0;
    const long long peak = written ? PeakMemoryOfLoad(path) : -1;
    std::filesystem::remove(path);
    if (peak < 0) return -1;
    const double ratio = static_cast<double>(peak) / size;
    std::printf("one text of %.0f MB: peak memory %.1f MB = %.2f x file size (bound %.1f)\n",
                size / 1e6, static_cast<double>(peak) / 1e6, ratio, kMemoryBound);
    return ratio;
}

// Medians of alternating loads and document parses of the file at path;
// false when a run fails.
bool TimeRuns(const std::string& path, int runs, double& loader, double& document) {
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::vector<double> loaderTimes, documentTimes;
    for (int run = 0; run < runs; ++run) {
        loaderTimes.push_back(TimeLoader(path));
        documentTimes.push_back(TimeDocument(bytes));
    }
    loader = Median(loaderTimes);
    document = Median(documentTimes);
    return *std::min_element(loaderTimes.begin(), loaderTimes.end()) >= 0 &&
           *std::min_element(documentTimes.begin(), documentTimes.end()) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    // About 100 MB of run data.
    SyntheticRunShape shape;
    shape.variables = 40000;
    shape.equations = 30000;
    shape.iterations = 53;
    int runs = 5;
    if (!ParseBenchArguments("loader_bench", argc, argv, shape, runs)) return 2;
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("tarn-loader-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "synthetic.vdr").string();
    if (!WriteSyntheticRun(path, shape)) {
        std::fprintf(stderr, "loader_bench: cannot write %s\n", path.c_str());
        std::filesystem::remove_all(directory);
        return 2;
    }
    const double fileSize = static_cast<double>(std::filesystem::file_size(path));
    std::printf("run: %d variables, %d equations, %d iterations, %.1f MB\n", shape.variables,
                shape.equations, shape.iterations, fileSize / 1e6);

    // First, while this process is still small.
    const long long peak = PeakMemoryOfLoad(path);
    const double longTextRatio = LongTextMemoryRatio(directory);
    double loader = 0, document = 0;
    const bool timed = TimeRuns(path, runs, loader, document);
    std::filesystem::remove_all(directory);
    if (!timed || peak < 0 || longTextRatio < 0) {
        std::fprintf(stderr, "loader_bench: a run failed\n");
        return 2;
    }

    const double timeRatio = loader / document, memoryRatio = static_cast<double>(peak) / fileSize;
    std::printf("loader (file read included): median %.3f s over %d runs\n", loader, runs);
    std::printf("RapidJSON document parse:    median %.3f s over %d runs\n", document, runs);
    std::printf("time ratio %.2f (bound %.1f), peak memory %.1f MB = %.2f x file size (bound %.1f)\n",
                timeRatio, kTimeBound, static_cast<double>(peak) / 1e6, memoryRatio, kMemoryBound);
    const bool met = timeRatio <= kTimeBound && memoryRatio < kMemoryBound &&
                     longTextRatio < kMemoryBound;
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
