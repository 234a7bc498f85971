// The writers where optimisers have tripped over them: several threads on
// one writer, NaN results, a writer dropped or killed, the run's date, the
// C interface's pointers and targets that are not plain files.  Each case is
// tried through the C++ writer and the C interface.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <latch>
#include <limits>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "tarn/run_writer.h"
#include "tarn/run_writer.hpp"

namespace writer_test {
namespace {

namespace fs = std::filesystem;
namespace rd = tarn::rundata;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A directory of its own for each test, so that whatever a writer leaves is seen.
class Scratch {
public:
    Scratch() {
        m_path = fs::temp_directory_path() / ("tarn-writer-faults-" + std::to_string(getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~Scratch() { fs::remove_all(m_path); }
    fs::path operator/(const char* name) const { return m_path / name; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_path)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path m_path;
};

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

rapidjson::Document Parsed(const fs::path& path) {
    rapidjson::Document document;
    document.Parse(ReadText(path).c_str());
    EXPECT_FALSE(document.HasParseError()) << path << " is not JSON";
    return document;
}

// A C writer with `variables` variables and one equation, ready for
// iterations.
tarn_run_writer* OpenC(const fs::path& target, int variables = 2) {
    tarn_run_writer* run = nullptr;
    EXPECT_EQ(tarn_run_writer_open(target.c_str(), &run), TARN_RUNDATA_OK);
    tarn_variable variable = tarn_variable_defaults();
    for (int j = 0; j < variables; ++j) {
        char name[16];
        std::snprintf(name, sizeof name, "X%d", j);
        variable.name = name;
        EXPECT_EQ(tarn_run_writer_add_variable(run, &variable, nullptr), TARN_RUNDATA_OK);
    }
    tarn_equation equation = tarn_equation_defaults();
    equation.name = "ROW";
    EXPECT_EQ(tarn_run_writer_add_equation(run, &equation, nullptr), TARN_RUNDATA_OK);
    return run;
}

// An iteration whose values are all its objective (the arrays are the
// caller's, to live through the call).
struct CValues {
    explicit CValues(double objective)
        : variables{objective, 0.5, 0, objective, 0.5, 0}, equations{objective, 1, 0} {}
    double variables[6], equations[3];
};

tarn_iteration CIteration(const CValues& values, double objective) {
    tarn_iteration iteration = tarn_iteration_defaults();
    iteration.objective = objective;
    iteration.variables = values.variables;
    iteration.variable_count = 2;
    iteration.equations = values.equations;
    iteration.equation_count = 1;
    return iteration;
}

void AddCppModel(rd::RunWriter& run) {
    rd::Variable variable;
    for (const char* name : {"X", "Y"}) {
        variable.name = name;
        run.AddVariable(variable);
    }
    rd::Equation equation;
    equation.name = "ROW";
    run.AddEquation(equation);
}

struct CppValues {
    explicit CppValues(double objective)
        : variables{{objective, 0.5, 0}, {objective, 0.5, 0}}, equations{{objective, 1, 0}} {}
    rd::VariableTriple variables[2];
    rd::EquationTriple equations[1];
};

rd::Iteration CppIteration(const CppValues& values, double objective) {
    rd::Iteration iteration;
    iteration.objective = objective;
    iteration.variables = values.variables;
    iteration.equations = values.equations;
    return iteration;
}

// Every iteration written once, numbered in order, as a loader reads them,
// and each whole: its values are all its objective.
void ExpectIterationsWhole(const fs::path& path, int count, unsigned variables = 2) {
    const rapidjson::Document document = Parsed(path);
    ASSERT_TRUE(document.IsObject() && document.HasMember("iterations"));
    const auto& iterations = document["iterations"];
    ASSERT_EQ(static_cast<int>(iterations.Size()), count);
    for (int k = 0; k < count; ++k) {
        EXPECT_EQ(iterations[k]["iter"].GetInt(), k);
        ASSERT_EQ(iterations[k]["variables"].Size(), variables);
        const double objective = iterations[k]["objective"].GetDouble();
        for (const auto& triple : iterations[k]["variables"].GetArray())
            ASSERT_EQ(triple[0].GetDouble(), objective) << "iteration " << k;
        EXPECT_EQ(iterations[k]["equations"][0][0].GetDouble(), objective) << "iteration " << k;
    }
}

constexpr int kThreads = 4, kIterationsEach = 300, kWide = 200;

// Several threads at once (they start together), each adding iterations
// whose values are all its own number.
template <typename AddIterations>
void FromThreads(const AddIterations& addIterations) {
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&start, &addIterations, t] {
            start.arrive_and_wait();
            addIterations(t);
        });
    for (auto& thread : threads) thread.join();
}

TEST(WriterThreads, CallsFromSeveralThreadsMakeOneWholeFile) {
    const Scratch dir;
    {
        rd::RunWriter run(dir / "cpp.vdr");
        rd::Variable variable;
        for (int j = 0; j < kWide; ++j) {
            char name[16];
            std::snprintf(name, sizeof name, "X%d", j);
            variable.name = name;
            run.AddVariable(variable);
        }
        rd::Equation equation;
        equation.name = "ROW";
        run.AddEquation(equation);
        FromThreads([&run](int t) {
            const std::vector<rd::VariableTriple> variables(kWide, {double(t), 0.5, 0});
            const CppValues values(t);
            rd::Iteration iteration = CppIteration(values, t);
            iteration.variables = variables;
            for (int k = 0; k < kIterationsEach; ++k) {
                run.AddIteration(iteration);
                run.SetStatus(std::string(static_cast<size_t>(k % 50), 'x'));
            }
        });
        run.Close();
    }
    ExpectIterationsWhole(dir / "cpp.vdr", kThreads * kIterationsEach, kWide);

    // Through C: each call copies the iteration first.
    tarn_run_writer* run = OpenC(dir / "c.vdr", kWide);
    FromThreads([run](int t) {
        const std::vector<double> variables(3 * kWide, t);
        const CValues values(t);
        tarn_iteration iteration = CIteration(values, t);
        iteration.variables = variables.data();
        iteration.variable_count = kWide;
        for (int k = 0; k < kIterationsEach; ++k)
            EXPECT_EQ(tarn_run_writer_add_iteration(run, &iteration), TARN_RUNDATA_OK);
    });
    EXPECT_EQ(tarn_run_writer_close(run), TARN_RUNDATA_OK) << tarn_run_writer_error(run);
    tarn_run_writer_free(run);
    ExpectIterationsWhole(dir / "c.vdr", kThreads * kIterationsEach, kWide);
}

TEST(WriterNumbers, NaNResultsAreRefusedByTheirField) {
    const Scratch dir;
    rd::RunWriter run(dir / "cpp.vdr");
    AddCppModel(run);
    const CppValues values(1);
    const auto refusedAt = [&run](const rd::Iteration& iteration) {
        try {
            run.AddIteration(iteration);
        } catch (const rd::RuleError& error) {
            EXPECT_NE(std::string(error.problem()).find("NaN"), std::string::npos);
            return error.path();
        }
        return std::string("nothing refused");
    };
    EXPECT_EQ(refusedAt(CppIteration(values, kNaN)), "iterations[0].objective");
    rd::Iteration iteration = CppIteration(values, 1);
    iteration.userObjective = kNaN;
    EXPECT_EQ(refusedAt(iteration), "iterations[0].user_objective");
    iteration = CppIteration(values, 1);
    iteration.infeasibility = kNaN;
    EXPECT_EQ(refusedAt(iteration), "iterations[0].infeasibility");
    const rd::VariableTriple nanValue[2] = {{1, 0, 0}, {kNaN, 0, 0}};
    iteration = CppIteration(values, 1);
    iteration.variables = nanValue;
    EXPECT_EQ(refusedAt(iteration), "iterations[0].variables[1][0]");
    const rd::EquationTriple nanResidual[1] = {{kNaN, 0, 0}};
    iteration = CppIteration(values, 1);
    iteration.equations = nanResidual;
    EXPECT_EQ(refusedAt(iteration), "iterations[0].equations[0][0]");
    EXPECT_THROW(run.SetVariableValue(1, kNaN), rd::RuleError);
    EXPECT_THROW(run.SetEquationValues(1, kNaN, 0), rd::RuleError);
    // Elsewhere NaN stays what the format allows (a convergence not measured).
    iteration = CppIteration(values, 1);
    iteration.variableConvergence = kNaN;
    EXPECT_NO_THROW(run.AddIteration(iteration));
    EXPECT_EQ(run.IterationCount(), 1);
    run.Close();

    tarn_run_writer* c = OpenC(dir / "c.vdr");
    const CValues cValues(1);
    const tarn_iteration nanObjective = CIteration(cValues, kNaN);
    EXPECT_EQ(tarn_run_writer_add_iteration(c, &nanObjective), TARN_RUNDATA_REFUSED);
    EXPECT_NE(std::string(tarn_run_writer_error(c)).find("iterations[0].objective"), std::string::npos);
    EXPECT_EQ(tarn_run_writer_close(c), TARN_RUNDATA_OK);
    tarn_run_writer_free(c);
}

TEST(WriterEnd, ADroppedRunSaysSoAndAnAbandonedOneDoesNot) {
    const Scratch dir;
    ::testing::internal::CaptureStderr();
    { rd::RunWriter run(dir / "dropped.vdr"); }
    const std::string dropped = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(dropped.find("never closed"), std::string::npos) << dropped;
    EXPECT_NE(dropped.find("dropped.vdr"), std::string::npos) << dropped;

    ::testing::internal::CaptureStderr();
    tarn_run_writer* c = OpenC(dir / "freed.vdr");
    tarn_run_writer_free(c);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("freed.vdr"), std::string::npos);

    ::testing::internal::CaptureStderr();
    {
        rd::RunWriter run(dir / "abandoned.vdr");
        run.Abandon();
        EXPECT_THROW(run.Close(), rd::RuleError);
    }
    c = OpenC(dir / "abandoned-c.vdr");
    EXPECT_EQ(tarn_run_writer_abandon(c), TARN_RUNDATA_OK);
    tarn_run_writer_free(c);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{}) << "a run without close left a file";
}

// A writer killed on its way (SIGKILL, which nothing can catch) leaves the
// earlier run as it was and nothing else: no temporary file.
template <typename WriteUntilKilled>
void ExpectKilledRunLeavesNothing(const WriteUntilKilled& write) {
    const Scratch dir;
    const fs::path target = dir / "run.vdr";
    { std::ofstream(target) << "earlier run"; }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        write(target);
        raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadText(target), "earlier run");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"run.vdr"});
}

TEST(WriterEnd, AKilledRunLeavesNothingBehind) {
    ExpectKilledRunLeavesNothing([](const fs::path& target) {
        rd::RunWriter run(target);
        AddCppModel(run);
        const CppValues values(1);
        for (int k = 0; k < 100; ++k) run.AddIteration(CppIteration(values, 1));
    });
    ExpectKilledRunLeavesNothing([](const fs::path& target) {
        tarn_run_writer* run = OpenC(target);
        const CValues values(1);
        const tarn_iteration iteration = CIteration(values, 1);
        for (int k = 0; k < 100; ++k) tarn_run_writer_add_iteration(run, &iteration);
    });
}

TEST(WriterEnd, ATemporaryOfAKilledProcessIsRemovedByTheNextRun) {
    const Scratch dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);  // a process id that no longer runs
    const std::string stale = "run.vdr.tmp-" + std::to_string(child) + "-0";
    const std::string live = "run.vdr.tmp-" + std::to_string(getpid()) + "-7";
    std::ofstream(dir / stale.c_str()) << "";
    std::ofstream(dir / live.c_str()) << "";
    rd::RunWriter run(dir / "run.vdr");
    run.Close();
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"run.vdr", live}));
}

// A final value set at the size limit needs its own room: the values that
// do not fit are refused, and Close stays within the limit.
TEST(WriterSize, FinalValuesAtTheSizeLimitAreRefused) {
    const Scratch dir;
    constexpr std::uint64_t kLargest = 8 * 1024;
    rd::RunWriter run(dir / "run.vdr", kLargest);
    int added = 0;
    for (; added < 10000; ++added) {
        rd::Variable variable;
        variable.name = std::to_string(added) + "V";
        try {
            run.AddVariable(variable);
        } catch (const rd::RuleError&) {
            break;
        }
    }
    int refused = 0;
    for (int j = 1; j <= added; ++j) {
        try {
            run.SetVariableValue(j, j / 3.0);
        } catch (const rd::RuleError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_NO_THROW(run.Close());
    EXPECT_LE(fs::file_size(dir / "run.vdr"), kLargest);
}

// At the size limit, iterations and items are refused but Close, which
// writes the model, still succeeds within the limit.
TEST(WriterSize, CloseSucceedsAtTheSizeLimit) {
    const Scratch dir;
    constexpr std::uint64_t kLargest = 64 * 1024;
    constexpr int kVariables = 40;
    rd::RunWriter run(dir / "run.vdr", kLargest);
    rd::Variable variable;
    for (int j = 0; j < kVariables; ++j) {
        variable.name = std::string(100, 'Q') + static_cast<char>('A' + j % 26) + static_cast<char>('A' + j / 26);
        run.AddVariable(variable);
    }
    const std::vector<rd::VariableTriple> triples(kVariables, {1.0 / 3, 2.0 / 3, -1.0 / 7});
    rd::Iteration iteration;
    iteration.variables = triples;
    int refusedAt = -1;
    for (int k = 0; k < 1000 && refusedAt < 0; ++k) {
        try {
            run.AddIteration(iteration);
        } catch (const rd::RuleError& error) {
            refusedAt = k;
            EXPECT_NE(std::string(error.what()).find("65536 bytes allowed"), std::string::npos) << error.what();
        }
    }
    ASSERT_GT(refusedAt, 0) << "the limit was never reached";
    // What would pass the limit after the iterations is refused too; what
    // fits is taken.
    for (int j = 1; j <= kVariables; ++j) {
        try {
            run.SetVariableValue(j, j);
            run.AddDiagnosisVariable(j);
            run.AddSolverOption(std::string(200, 'O') + std::to_string(j), std::string(200, 'v'));
        } catch (const rd::RuleError&) {
        }
    }
    EXPECT_NO_THROW(run.Close());
    EXPECT_LE(fs::file_size(dir / "run.vdr"), kLargest);
    const rapidjson::Document document = Parsed(dir / "run.vdr");
    EXPECT_EQ(static_cast<int>(document["iterations"].Size()), refusedAt);
    EXPECT_EQ(static_cast<int>(document["model"]["variables"].Size()), kVariables);
}

std::vector<rapidjson::Document> ProgressLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<rapidjson::Document> lines;
    for (std::string line; std::getline(in, line);) {
        lines.emplace_back();
        lines.back().Parse(line.c_str());
        EXPECT_FALSE(lines.back().HasParseError()) << line;
    }
    return lines;
}

// Each iteration is readable in the progress as soon as it is added; close
// removes the progress; a killed run leaves it, whole, without an end.
TEST(WriterProgress, EachIterationIsReadableAsItIsAdded) {
    const Scratch dir;
    const fs::path progress = dir / "run.vdr.progress";
    {
        rd::RunWriter run(dir / "run.vdr");
        run.WriteProgress();
        EXPECT_EQ(ProgressLines(progress).size(), 1u);
        AddCppModel(run);
        for (int k = 0; k < 3; ++k) {
            const CppValues values(k);
            run.AddIteration(CppIteration(values, 10.0 * k));
            const auto lines = ProgressLines(progress);
            ASSERT_EQ(lines.size(), static_cast<size_t>(k + 3));
            EXPECT_EQ(lines.back()["iter"].GetInt(), k);
            EXPECT_EQ(lines.back()["objective"].GetDouble(), 10.0 * k);
        }
        const auto lines = ProgressLines(progress);
        EXPECT_STREQ(lines[0]["format"].GetString(), "tarn-vdr-progress");
        EXPECT_EQ(lines[0]["version"].GetInt(), 1);
        EXPECT_STREQ(lines[1]["variables"][1].GetString(), "Y");
        run.Close();
    }
    EXPECT_FALSE(fs::exists(progress));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        tarn_run_writer* run = OpenC(dir / "killed.vdr");
        tarn_run_writer_write_progress(run);
        const CValues values(1);
        const tarn_iteration iteration = CIteration(values, 1);
        for (int k = 0; k < 5; ++k) tarn_run_writer_add_iteration(run, &iteration);
        raise(SIGKILL);
        _exit(0);
    }
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const auto lines = ProgressLines(dir / "killed.vdr.progress");
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines.back()["iter"].GetInt(), 4);
    EXPECT_FALSE(fs::exists(dir / "killed.vdr"));
}

TEST(WriterCase, TheDateIsTheOpeningTimeUnlessGiven) {
    const Scratch dir;
    const auto dateOf = [](const fs::path& path) { return std::string(Parsed(path)["case"]["date"].GetString()); };
    const std::regex asReportShows(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) [A-Z][a-z]{2} [ 1-3][0-9] \d\d:\d\d:\d\d \d{4})");
    {
        rd::RunWriter run(dir / "default.vdr");
        rd::Case header;
        header.description = "no date given";
        run.SetCase(header);
        run.Close();
    }
    EXPECT_TRUE(std::regex_match(dateOf(dir / "default.vdr"), asReportShows)) << dateOf(dir / "default.vdr");
    {
        rd::RunWriter run(dir / "none.vdr");
        rd::Case header;
        header.date = "";
        run.SetCase(header);
        run.Close();
    }
    EXPECT_EQ(dateOf(dir / "none.vdr"), "");
    tarn_run_writer* c = OpenC(dir / "c.vdr");
    EXPECT_EQ(tarn_run_writer_set_case(c, 4, NULL, NULL, NULL), TARN_RUNDATA_OK);
    EXPECT_EQ(tarn_run_writer_close(c), TARN_RUNDATA_OK);
    tarn_run_writer_free(c);
    EXPECT_TRUE(std::regex_match(dateOf(dir / "c.vdr"), asReportShows)) << dateOf(dir / "c.vdr");
}

// Every pointer the C interface documents, NULL: an error naming it, never
// a crash, and the run goes on.
TEST(WriterCInterface, EveryNullPointerIsRefusedByName) {
    const Scratch dir;
    tarn_run_writer* run = nullptr;
    EXPECT_EQ(tarn_run_writer_open(nullptr, &run), TARN_RUNDATA_NO_WRITER);
    EXPECT_NE(std::string(tarn_run_writer_error(run)).find("target"), std::string::npos);
    tarn_run_writer_free(run);
    EXPECT_EQ(tarn_run_writer_open((dir / "x.vdr").c_str(), nullptr), TARN_RUNDATA_NO_WRITER);

    run = OpenC(dir / "run.vdr");
    const auto refused = [run](int status, const char* named) {
        EXPECT_EQ(status, TARN_RUNDATA_NO_WRITER) << named;
        EXPECT_NE(std::string(tarn_run_writer_error(run)).find(named), std::string::npos)
            << tarn_run_writer_error(run);
    };
    tarn_variable variable = tarn_variable_defaults();
    refused(tarn_run_writer_add_variable(run, nullptr, nullptr), "variable");
    refused(tarn_run_writer_add_variable(run, &variable, nullptr), "name");
    tarn_equation equation = tarn_equation_defaults();
    refused(tarn_run_writer_add_equation(run, nullptr, nullptr), "equation");
    refused(tarn_run_writer_add_equation(run, &equation, nullptr), "name");
    refused(tarn_run_writer_set_model_name(run, nullptr), "model name");
    refused(tarn_run_writer_set_status(run, nullptr), "status");
    refused(tarn_run_writer_add_option_text(run, TARN_OPTIONS_SOLVER, nullptr, "on"), "option name");
    refused(tarn_run_writer_add_option_text(run, TARN_OPTIONS_SOLVER, "MODE", nullptr), "text");
    refused(tarn_run_writer_add_option_number_text(run, TARN_OPTIONS_LP, "TOL", nullptr), "number");
    refused(tarn_run_writer_add_iteration(run, nullptr), "iteration");
    const CValues values(1);
    const tarn_iteration whole = CIteration(values, 1);
    tarn_iteration iteration = whole;
    iteration.variables = nullptr;
    refused(tarn_run_writer_add_iteration(run, &iteration), "iteration.variables");
    iteration = whole;
    iteration.equations = nullptr;
    refused(tarn_run_writer_add_iteration(run, &iteration), "iteration.equations");
    const char* texts[] = {"fine", nullptr};
    for (const auto& [list, count, what] :
         {std::tuple{&tarn_iteration::errors, &tarn_iteration::error_count, "iteration.errors"},
          std::tuple{&tarn_iteration::warnings, &tarn_iteration::warning_count, "iteration.warnings"},
          std::tuple{&tarn_iteration::information, &tarn_iteration::information_count, "iteration.information"}}) {
        iteration = whole;
        iteration.*count = 2;
        refused(tarn_run_writer_add_iteration(run, &iteration), what);
        iteration.*list = texts;
        refused(tarn_run_writer_add_iteration(run, &iteration), (std::string(what) + "[1]").c_str());
    }
    EXPECT_EQ(tarn_run_writer_add_iteration(run, &whole), TARN_RUNDATA_OK);
    EXPECT_EQ(tarn_run_writer_close(run), TARN_RUNDATA_OK) << tarn_run_writer_error(run);
    tarn_run_writer_free(run);
    ExpectIterationsWhole(dir / "run.vdr", 1);
}

TEST(WriterCInterface, ManyVariablesInOneCallOrNone) {
    const Scratch dir;
    tarn_run_writer* run = OpenC(dir / "run.vdr", 0);
    const char names[] = "A\0B\0A";  // A twice: the call adds none
    const double upper[3] = {1, 2, 3};
    int first = 0;
    EXPECT_EQ(tarn_run_writer_add_variables(run, names, sizeof names - 1, 3, nullptr, upper, nullptr,
                                            nullptr, &first),
              TARN_RUNDATA_REFUSED);
    EXPECT_NE(std::string(tarn_run_writer_error(run)).find("model.variables[2].name"), std::string::npos)
        << tarn_run_writer_error(run);
    EXPECT_EQ(tarn_run_writer_add_variables(run, names, 4, 3, nullptr, upper, nullptr, nullptr, &first),
              TARN_RUNDATA_REFUSED) << "two names for three";
    EXPECT_EQ(tarn_run_writer_add_variables(run, names, 4, 1, nullptr, upper, nullptr, nullptr, &first),
              TARN_RUNDATA_REFUSED) << "two names for one";
    const int binary = TARN_VARIABLE_BINARY;
    ASSERT_EQ(tarn_run_writer_add_variables(run, names, 4, 2, nullptr, upper, &binary, nullptr, &first),
              TARN_RUNDATA_OK) << tarn_run_writer_error(run);
    EXPECT_EQ(first, 1);
    ASSERT_EQ(tarn_run_writer_add_variables(run, "C", 1, 1, nullptr, nullptr, nullptr, nullptr, &first),
              TARN_RUNDATA_OK) << tarn_run_writer_error(run);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(tarn_run_writer_close(run), TARN_RUNDATA_OK) << tarn_run_writer_error(run);
    tarn_run_writer_free(run);
    const rapidjson::Document document = Parsed(dir / "run.vdr");
    const auto& variables = document["model"]["variables"];
    ASSERT_EQ(variables.Size(), 3u);
    EXPECT_STREQ(variables[1]["name"].GetString(), "B");
    EXPECT_EQ(variables[1]["upper"].GetDouble(), 2);
    EXPECT_EQ(variables[1]["type"].GetInt(), TARN_VARIABLE_BINARY);
    EXPECT_STREQ(variables[2]["upper"].GetString(), "inf");
}

TEST(WriterTarget, ADirectoryOrSpecialFileIsRefusedAtOpen) {
    const Scratch dir;
    fs::create_directory(dir / "directory.vdr");
    ASSERT_EQ(mkfifo((dir / "fifo.vdr").c_str(), 0600), 0);
    for (const char* name : {"directory.vdr", "fifo.vdr"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(rd::RunWriter run(dir / name), rd::FileError);
        tarn_run_writer* run = nullptr;
        EXPECT_EQ(tarn_run_writer_open((dir / name).c_str(), &run), TARN_RUNDATA_FILE_ERROR);
        EXPECT_NE(std::string(tarn_run_writer_error(run)).find(name), std::string::npos);
        tarn_run_writer_free(run);
    }
    EXPECT_TRUE(fs::is_directory(dir / "directory.vdr"));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.vdr"));
}

TEST(WriterTarget, ASymbolicLinkGetsTheRunInTheFileItPointsTo) {
    const Scratch dir;
    fs::create_directory(dir / "runs");
    std::ofstream(dir / "runs/latest.vdr") << "earlier run";
    fs::create_symlink("runs/latest.vdr", dir / "link.vdr");
    fs::create_symlink("runs/new.vdr", dir / "dangling.vdr");
    for (const char* link : {"link.vdr", "dangling.vdr"}) {
        rd::RunWriter run(dir / link);
        AddCppModel(run);
        const CppValues values(3);
        run.AddIteration(CppIteration(values, 3));
        run.Close();
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link << " is no longer a link";
    }
    ExpectIterationsWhole(dir / "runs/latest.vdr", 1);
    ExpectIterationsWhole(dir / "runs/new.vdr", 1);
}

}  // namespace
}  // namespace writer_test
