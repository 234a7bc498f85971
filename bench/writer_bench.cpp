// The run-data writer on a generated run of 100,000 variables and 100,000
// equations: its peak memory when the run has 10 and when it has 100
// iterations (each in a child process), and its time to write the run
// against the loader's time to read the same file back.  Runs alternate;
// medians are compared.  The times compared are this process's processor
// time (user and system), which a machine shared with other work leaves
// alone; the wall-clock times are printed too.  The writer's wall-clock time
// includes the file reaching the disk (it is synced before it is renamed);
// the loader reads it from the page cache.
//
// The writer is timed with and without its progress written (a line a
// iteration beside the run, for those who follow it).
// Then the Python module against the C interface: the same run of N
// variables (at least 1,000,000, so that starting Python does not count)
// and 2 iterations written by a C program and by a Python one
// (the model in one call, each iteration from an array("d")), each in a
// child process whose processor time is compared (the issue's size is
// --variables 10000000).
//
//   writer_bench [--variables N] [--equations N] [--iterations N] [--runs N]
//   writer_bench --languages-only --variables N [--iterations N] [--runs N]
//
// --languages-only runs the language comparison alone, of N variables and
// 2 iterations unless told (10^7 variables and 2 iterations are above the
// format's size limit of 1 GiB; one iteration is not).
//
// --iterations sets the timed run's iterations (10).  Exit status 0 when the
// peak memory at 100 iterations is at most 1.1 times that at 10, the
// writer takes at most as long as the loader, at most 1.05 times as long
// with its progress as without, and Python at most twice as long as C.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "libs/tarn.h"
#include "synthetic_run.h"
#include "tarn/run_writer.h"
#include "tarn/run_writer.hpp"

namespace {

namespace fs = std::filesystem;
namespace rd = tarn::rundata;

constexpr double kMemoryGrowthBound = 1.1;
constexpr double kTimeBound = 1.0;
constexpr double kPythonBound = 2.0;
constexpr double kProgressBound = 1.05;  // the writer followed, over the writer alone
constexpr int kLanguageIterations = 2;
constexpr int kLeastLanguageVariables = 1000000;

char Digit(int j, int at) { return static_cast<char>('0' + (j / at) % 10); }

std::string Numbered(const char* prefix, int j) {
    std::string name = prefix;
    for (int at = 1000000; at >= 1; at /= 10) name += Digit(j, at);
    return name;
}

// A run of the synthetic run's shape, written as an optimiser would write
// it: the model first, then one iteration at a time from values that
// change.  The model is made before, so that writing it is what is timed.
class GeneratedRun {
public:
    explicit GeneratedRun(const SyntheticRunShape& shape) : m_shape(shape), m_random(shape.seed) {
        for (int j = 0; j < shape.variables; ++j) m_base.push_back(Thousandths(0, 10));
        MakeModel();
    }

    // False, with the writer's reason on standard error, when the writer
    // refuses the run (a file above the format's size limit, for one).
    bool Write(const std::string& path, int iterations, bool progress = false) const {
        try {
            WriteOrThrow(path, iterations, progress);
            return true;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "writer_bench: %s\n", error.what());
            return false;
        }
    }

private:
    void WriteOrThrow(const std::string& path, int iterations, bool progress) const {
        rd::RunWriter run(path);
        if (progress) run.WriteProgress();
        run.SetCase({12000, "generated run", "Thu Jan  1 00:00:00 2026", "Iteration limit"});
        run.SetModelName("GENERATED");
        AddModel(run);
        std::vector<rd::VariableTriple> variables(static_cast<size_t>(m_shape.variables));
        std::vector<rd::EquationTriple> equations(static_cast<size_t>(m_shape.equations));
        for (int k = 0; k < iterations; ++k) {
            const double shift = 0.25 * k;
            for (size_t j = 0; j < variables.size(); ++j)
                variables[j] = {m_base[j] + shift, j % 10 == 6 ? 1e20 : 0.5, j % 4 == 0 ? -shift : 0.0};
            for (size_t i = 0; i < equations.size(); ++i)
                equations[i] = {i % 3 == 0 ? 0.125 * k : 0.0, m_base[i % m_base.size()], 0.0};
            rd::Iteration iteration;
            iteration.objective = 1000.0 + k;
            iteration.infeasibility = k + 1 == iterations ? 0.5 : 10.0 / (1 + k);
            iteration.variables = variables;
            iteration.equations = equations;
            run.AddIteration(iteration);
        }
        run.SetLpStatus(rd::LpStatus::kInfeasible);
        run.Close();
    }

    double Thousandths(double low, double high) {
        return std::round(std::uniform_real_distribution<double>(low, high)(m_random) * 1000) / 1000;
    }

    void MakeModel() {
        for (int j = 0; j < m_shape.variables; ++j) {
            rd::Variable variable;
            variable.name = Numbered(j % 10 == 3 ? "QV" : "V", j);
            variable.upper = j % 10 == 2 ? rd::kInfinity : 10 + j % 90;
            m_variables.push_back(variable);
        }
        for (int i = 0; i < m_shape.equations; ++i) {
            rd::Equation equation;
            equation.name = Numbered("E", i);
            equation.type = 1 + i % 4;
            equation.nonlinear = i % 3 == 0 ? 1 : 0;
            m_equations.push_back(equation);
        }
        for (int i = 0; i < m_shape.equations && m_shape.variables > 0; ++i) {
            std::set<int> columns;
            for (int e = 0; e < m_shape.entriesPerEquation; ++e)
                columns.insert(1 + static_cast<int>(m_random() % static_cast<unsigned>(m_shape.variables)));
            for (int column : columns) m_matrix.push_back({i + 1, column, Thousandths(-5, 5)});
        }
    }

    void AddModel(rd::RunWriter& run) const {
        for (const rd::Variable& variable : m_variables) run.AddVariable(variable);
        for (const rd::Equation& equation : m_equations) run.AddEquation(equation);
        for (const Entry& entry : m_matrix) run.AddCoefficient(entry.equation, entry.variable, entry.value);
    }

    struct Entry {
        int equation, variable;
        double value;
    };

    SyntheticRunShape m_shape;
    std::mt19937 m_random;
    std::vector<double> m_base;
    std::vector<rd::Variable> m_variables;
    std::vector<rd::Equation> m_equations;
    std::vector<Entry> m_matrix;
};

long long PeakMemoryOfWriting(const SyntheticRunShape& shape, const std::string& path, int iterations) {
    const long long peak = PeakMemoryOfChild([&] { return GeneratedRun(shape).Write(path, iterations); });
    std::printf("%3d iterations: %.0f MB written, peak memory %.1f MB\n", iterations,
                fs::exists(path) ? static_cast<double>(fs::file_size(path)) / 1e6 : 0.0,
                static_cast<double>(peak) / 1e6);
    fs::remove(path);
    return peak;
}

// This process's processor time so far, in seconds.
double ProcessorSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Times {
    std::vector<double> processor, wall;
};

// Times work (false when it fails) into times.
template <typename Work>
bool Time(Times& times, const Work& work) {
    const double processor = ProcessorSeconds();
    const BenchClock::time_point start = BenchClock::now();
    const bool done = work();
    times.wall.push_back(SecondsSince(start));
    times.processor.push_back(ProcessorSeconds() - processor);
    return done;
}

// The processor time (user and system) of work run in a child process;
// below 0 when it fails.
double ProcessorSecondsOfChild(const std::function<bool()>& work) {
    struct rusage usage {};
    if (!UsageOfChild(work, usage)) return -1;
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The run of the language comparison through the C interface, as a C
// optimiser writes it: a variable a call, each iteration from its array.
bool WriteThroughC(const std::string& path, int count, int iterations) {
    tarn_run_writer* run = nullptr;
    bool ok = tarn_run_writer_open(path.c_str(), &run) == TARN_RUNDATA_OK;
    tarn_variable variable = tarn_variable_defaults();
    char name[24];
    for (int j = 0; ok && j < count; ++j) {
        std::snprintf(name, sizeof name, "V%07d", j);
        variable.name = name;
        variable.upper = 10 + j % 90;
        ok = tarn_run_writer_add_variable(run, &variable, nullptr) == TARN_RUNDATA_OK;
    }
    tarn_equation equation = tarn_equation_defaults();
    equation.name = "TOTAL";
    ok = ok && tarn_run_writer_add_equation(run, &equation, nullptr) == TARN_RUNDATA_OK;
    std::vector<double> values(3 * static_cast<size_t>(count));
    const double row[3] = {0, 1, 0};
    for (int k = 0; ok && k < iterations; ++k) {
        for (size_t j = 0; j < static_cast<size_t>(count); ++j) {
            values[3 * j] = static_cast<double>(j) * 0.001 + k;
            values[3 * j + 1] = 0.5;
        }
        tarn_iteration iteration = tarn_iteration_defaults();
        iteration.objective = k;
        iteration.variables = values.data();
        iteration.variable_count = static_cast<size_t>(count);
        iteration.equations = row;
        iteration.equation_count = 1;
        ok = tarn_run_writer_add_iteration(run, &iteration) == TARN_RUNDATA_OK;
    }
    ok = ok && tarn_run_writer_close(run) == TARN_RUNDATA_OK;
    if (!ok) std::fprintf(stderr, "writer_bench: C: %s\n", tarn_run_writer_error(run));
    tarn_run_writer_free(run);
    return ok;
}

// The same run through the Python module.
const char* const kPythonRun = R"(
import array, sys
import tarn_rundata as td
count, iterations, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
with td.RunWriter(path) as run:
    run.add_variables(["V%07d" % j for j in range(count)],
                      upper=array.array("d", [10 + j % 90 for j in range(count)]))
    run.add_equation("TOTAL")
    values = array.array("d", [0.5]) * (3 * count)
    for k in range(iterations):
        values[0::3] = array.array("d", [j * 0.001 + k for j in range(count)])
        run.add_iteration(values, [(0, 1, 0)], objective=k)
)";

bool WriteThroughPython(const std::string& path, int count, int iterationCount) {
    setenv("PYTHONPATH", TARN_PYTHON_MODULE_DIR, 1);
    const std::string variables = std::to_string(count), iterations = std::to_string(iterationCount);
    execlp("python3", "python3", "-c", kPythonRun, variables.c_str(), iterations.c_str(), path.c_str(),
           static_cast<char*>(nullptr));
    std::perror("writer_bench: python3");
    return false;
}

// Python's processor time over C's, the medians of `runs` alternating runs.
double PythonOverC(const std::string& path, int count, int iterations, int runs) {
    std::vector<double> c, python;
    for (int run = 0; run < runs; ++run) {
        c.push_back(ProcessorSecondsOfChild([&] { return WriteThroughC(path, count, iterations); }));
        const double bytes = fs::exists(path) ? static_cast<double>(fs::file_size(path)) : 0;
        python.push_back(ProcessorSecondsOfChild([&] { return WriteThroughPython(path, count, iterations); }));
        if (c.back() < 0 || python.back() < 0) return -1;
        if (run == 0) std::printf("language run: %d variables, %d iterations, %.0f MB\n", count,
                                  iterations, bytes / 1e6);
    }
    fs::remove(path);
    std::printf("C interface: median %.3f s processor time; Python module: median %.3f s\n", Median(c),
                Median(python));
    return Median(python) / Median(c);
}

// Whether the arguments hold flag; it is taken out of them.
bool TakeFlag(int& argc, char** argv, std::string_view flag) {
    char** end = std::remove_if(argv + 1, argv + argc, [&](const char* argument) { return argument == flag; });
    const bool found = end != argv + argc;
    argc = static_cast<int>(end - argv);
    return found;
}

// Python's time over C's on count variables, printed with its bound;
// below 0, said on standard error, when a run failed.
double ComparedLanguages(const std::string& path, const fs::path& directory, int count, int iterations,
                         int runs) {
    fs::create_directories(directory);
    const double ratio = PythonOverC(path, count, iterations, runs);
    fs::remove_all(directory);
    if (ratio < 0) std::fprintf(stderr, "writer_bench: the language runs failed\n");
    else std::printf("Python / C ratio %.2f (bound %.1f)\n", ratio, kPythonBound);
    return ratio;
}

}  // namespace

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    shape.variables = 100000;
    shape.equations = 100000;
    shape.iterations = 10;
    int runs = 5;
    const bool languagesOnly = TakeFlag(argc, argv, "--languages-only");
    if (languagesOnly) shape.iterations = kLanguageIterations;
    if (!ParseBenchArguments("writer_bench", argc, argv, shape, runs)) return 2;
    const fs::path directory = fs::temp_directory_path() / ("tarn-writer-bench-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const std::string path = (directory / "generated.vdr").string();
    if (languagesOnly) {
        // The generated run of 10^7 variables would be above the format's size limit.
        const double ratio = ComparedLanguages(path, directory, shape.variables, shape.iterations, runs);
        return ratio < 0 ? 2 : ratio <= kPythonBound ? 0 : 1;
    }
    std::printf("run: %d variables, %d equations\n", shape.variables, shape.equations);

    // First, while this process is still small.
    const long long peak10 = PeakMemoryOfWriting(shape, path, 10);
    const long long peak100 = PeakMemoryOfWriting(shape, path, 100);

    Times writerTimes, loaderTimes, progressTimes;
    double bytes = 0;
    bool done = true;
    const GeneratedRun generated(shape);
    for (int run = 0; run < runs; ++run) {
        done = Time(writerTimes, [&] { return generated.Write(path, shape.iterations); }) && done;
        bytes = fs::exists(path) ? static_cast<double>(fs::file_size(path)) : 0;
        done = Time(progressTimes, [&] { return generated.Write(path, shape.iterations, true); }) && done;
        auto reporting = std::make_unique<CTARNSolutionReporting>();
        done = Time(loaderTimes, [&] { return reporting->ReadReportFile(path.c_str()) == 0; }) && done;
    }
    fs::remove_all(directory);
    if (peak10 < 0 || peak100 < 0 || !done) {
        std::fprintf(stderr, "writer_bench: a run failed\n");
        return 2;
    }
    const double writer = Median(writerTimes.processor), loader = Median(loaderTimes.processor);
    const double growth = static_cast<double>(peak100) / static_cast<double>(peak10);
    std::printf("memory at 100 iterations / at 10: %.3f (bound %.1f)\n", growth, kMemoryGrowthBound);
    std::printf("writer, %d iterations, %.0f MB: median %.3f s processor time (%.0f MB/s, %.1f "
                "iterations/s), %.3f s wall clock (synced to disk)\n",
                shape.iterations, bytes / 1e6, writer, bytes / 1e6 / writer, shape.iterations / writer,
                Median(writerTimes.wall));
    std::printf("loader reading it back: median %.3f s processor time (%.0f MB/s), %.3f s wall clock\n",
                loader, bytes / 1e6 / loader, Median(loaderTimes.wall));
    const double withProgress = Median(progressTimes.processor);
    const double progressRatio = withProgress / writer;
    std::printf("writer with its progress followed: median %.3f s processor time (%.0f MB/s), %.3f s wall "
                "clock\n", withProgress, bytes / 1e6 / withProgress, Median(progressTimes.wall));
    std::printf("progress ratio %.3f (bound %.2f)\n", progressRatio, kProgressBound);
    const double timeRatio = writer / loader;
    std::printf("time ratio %.2f (bound %.1f)\n", timeRatio, kTimeBound);
    const double pythonRatio = ComparedLanguages(path, directory, std::max(shape.variables, kLeastLanguageVariables),
                                                 kLanguageIterations, std::min(runs, 3));
    if (pythonRatio < 0) return 2;
    const bool met = growth <= kMemoryGrowthBound && timeRatio <= kTimeBound && pythonRatio <= kPythonBound &&
                     progressRatio <= kProgressBound;
    std::printf("%s\n", met ? "bounds met" : "BOUNDS NOT MET");
    return met ? 0 : 1;
}
