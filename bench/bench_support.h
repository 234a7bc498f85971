// What the benchmark programs share: the clock, medians, the peak memory of
// a child process, and the run-shape arguments.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "synthetic_run.h"

using BenchClock = std::chrono::steady_clock;

double SecondsSince(BenchClock::time_point start);
double Median(std::vector<double> values);

// The resource usage of a child process that runs `work`; false when the
// child cannot be started or `work` returns false.
bool UsageOfChild(const std::function<bool()>& work, struct rusage& usage);

// Peak resident memory, in bytes, of a child process that runs `work`; -1
// when the child cannot be started or `work` returns false.
long long PeakMemoryOfChild(const std::function<bool()>& work);

// A run-data file with one text of `bytes` bytes (a multiple of 64) in
// lines of 64, each ended by an escaped line break: `before`, the text, then
// `after`, written without holding the text in memory.  False when the file
// cannot be written.
bool WriteLongTextRun(const std::string& path, const std::string& before, size_t bytes,
                      const std::string& after);

// --variables, --equations, --iterations, --seed and --runs, each with a number.
bool ParseShapeArguments(int argc, char** argv, SyntheticRunShape& shape, int& runs);

// The same for a benchmark's command line; on a bad one it prints the usage
// line of the benchmark called name.
bool ParseBenchArguments(const char* name, int argc, char** argv, SyntheticRunShape& shape, int& runs);

// Runs a program (arguments[0], looked up on PATH unless it holds a slash)
// with its standard output read into `output`; false unless it exits with
// status 0.
bool RunProgram(const std::vector<std::string>& arguments, std::string& output);

// A synthetic run's report, written through the report library into a
// temporary directory of its own (the run-data file removed again); the
// directory goes with this object. Says on standard output what it
// writes, and on standard error, as `program`, when it cannot.
class SyntheticReport {
public:
    SyntheticReport(const char* program, const SyntheticRunShape& shape);
    ~SyntheticReport();
    SyntheticReport(const SyntheticReport&) = delete;
    SyntheticReport& operator=(const SyntheticReport&) = delete;

    bool written() const { return m_written; }
    const std::string& path() const { return m_path; }  // the report, BASE.log
    double bytes() const;

private:
    std::string m_directory, m_path;
    bool m_written = false;
};
