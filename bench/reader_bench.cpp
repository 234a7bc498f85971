// Times the viewer's reader on a report of about 1 GB against `wc -l` on
// the same file.  The report is written through the report library from a
// synthetic run (100,000 variables, 100,000 equations, 51 iterations by
// default) in a temporary directory, which is removed at the end.  Runs
// alternate after one warm-up of each, with the file in the page cache;
// medians are compared.
//
//   reader_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//
// Then suggestions of names by part and a misspelling's closest names on
// the same report.
//
// Exit status 0 when the reader takes at most three times as long as
// `wc -l` and counts the same lines, and a suggestion and a misspelling's
// closest names take at most 100 ms each.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "report_reader.h"
#include "report_search.h"
#include "synthetic_run.h"

namespace {

constexpr double kTimeBound = 3.0;
constexpr double kSuggestionBound = 0.1;       // seconds: one query, one misspelling's closest names
constexpr double kSuggestionRatioBound = 20;  // a query against one search of the names' bytes

struct Counted {
    double seconds = -1;
    unsigned long long lines = 0;
};

// `wc -l PATH` in a child process, its output read from a pipe.
Counted TimeWordCount(const std::string& path) {
    Counted counted;
    std::string output;
    const BenchClock::time_point start = BenchClock::now();
    if (!RunProgram({"wc", "-l", path}, output)) return counted;
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

// Names found by part on the report: the name set read once (as the
// first request for a suggestion reads it), then the median of the
// queries a user types, each over every name, against the floor of one
// search of the names' bytes for a text they do not hold (a name followed
// by a byte no name has).
struct SuggestionTimes {
    double firstRead = -1, median = -1, floor = -1, closest = -1;
    std::size_t names = 0;
};

SuggestionTimes TimeSuggestions(const std::string& path) {
    SuggestionTimes times;
    try {
        const auto report = tarnview::Report::Open(path);
        BenchClock::time_point start = BenchClock::now();
        const tarnview::NameSet& names = report->Names();
        times.firstRead = SecondsSince(start);
        times.names = names.All().size();
        if (names.All().empty()) return times;
        const std::string& sample = names.All()[names.All().size() / 2].text;
        std::string joined;
        for (const tarnview::Name& name : names.All()) joined += name.text + '\n';
        std::vector<double> floors, queries, closest;
        for (int run = 0; run < 5; ++run) {
            start = BenchClock::now();
            volatile bool found = joined.find(sample + "\x01") != std::string::npos;
            (void)found;
            floors.push_back(SecondsSince(start));
            for (const std::string& typed : {sample.substr(0, 2), sample.substr(1, 4), sample}) {
                start = BenchClock::now();
                tarnview::SuggestNames(names, typed, 20);
                queries.push_back(SecondsSince(start));
            }
            std::string misspelt = sample;
            misspelt[misspelt.size() / 2] ^= 1;
            misspelt += "x";
            start = BenchClock::now();
            tarnview::NamesMeant(names, misspelt, 5);
            closest.push_back(SecondsSince(start));
        }
        times.floor = Median(floors);
        times.median = Median(queries);
        times.closest = Median(closest);
    } catch (const tarnview::ReadError& error) {
        std::fprintf(stderr, "reader_bench: %s\n", error.what());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    shape.variables = 100000;
    shape.equations = 100000;
    shape.iterations = 51;
    int runs = 5;
    if (!ParseBenchArguments("reader_bench", argc, argv, shape, runs)) return 2;
    const SyntheticReport report("reader_bench", shape);
    if (!report.written()) return 2;
    const std::string& path = report.path();

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
    if (reader.seconds < 0 || count.seconds < 0) {
        std::fprintf(stderr, "reader_bench: a run failed\n");
        return 2;
    }

    const double readerMedian = Median(readerTimes), countMedian = Median(countTimes);
    const double ratio = readerMedian / countMedian;
    std::printf("reader (map, one pass, release): median %.3f s over %d runs, %llu lines, %zu regions, %.0f MB/s\n",
                readerMedian, runs, reader.lines, regions, report.bytes() / 1e6 / readerMedian);
    std::printf("wc -l:                           median %.3f s over %d runs, %llu lines\n", countMedian, runs,
                count.lines);
    std::printf("time ratio %.2f (bound %.1f)\n", ratio, kTimeBound);
    const SuggestionTimes suggestions = TimeSuggestions(path);
    const double suggestionRatio = suggestions.floor > 0 ? suggestions.median / suggestions.floor : 0;
    std::printf("suggestions over %zu names: names read in %.3f s; a query %.4f s, a misspelling %.4f s "
                "(bound %.3f s); %.1f times one search of the names' bytes (bound %.0f)\n",
                suggestions.names, suggestions.firstRead, suggestions.median, suggestions.closest,
                kSuggestionBound, suggestionRatio, kSuggestionRatioBound);
    // (The names are read once per report, as it is loaded or at the first
    // suggestion; every keystroke after pays a query.)
    const bool suggestionsMet = suggestions.median >= 0 && suggestions.median <= kSuggestionBound &&
                                suggestions.closest <= kSuggestionBound && suggestionRatio <= kSuggestionRatioBound;
    const bool met = ratio <= kTimeBound && reader.lines == count.lines && suggestionsMet;
    if (reader.lines != count.lines) std::printf("the line counts differ\n");
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
