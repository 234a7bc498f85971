// Each example run written again through the writers: the report of the
// copy must be the report of the original, byte for byte, and the copy of
// the original's version (each is of the oldest that holds what it has, so
// a reader of version 1 still reads a run without equation forms).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "replay.h"
#include "tarn/run_writer.h"

namespace writer_test {
namespace {

namespace fs = std::filesystem;
namespace rd = tarn::rundata;

class CppCalls : public RunCalls {
public:
    explicit CppCalls(const fs::path& target) : m_run(target) {}
    void SetCase(const rd::Case& header) override { m_run.SetCase(header); }
    void SetModelName(const std::string& name) override { m_run.SetModelName(name); }
    void AddVariable(const rd::Variable& variable) override { m_run.AddVariable(variable); }
    void AddEquation(const rd::Equation& equation) override { m_run.AddEquation(equation); }
    void SetEquationForm(int equation, const std::string& form) override {
        m_run.SetEquationForm(equation, form);
    }
    void AddCoefficient(int equation, int variable, double coefficient) override {
        m_run.AddCoefficient(equation, variable, coefficient);
    }
    void MarkLinearised(int equation, int variable) override { m_run.MarkLinearised(equation, variable); }
    void UseModelOptions() override { m_run.UseModelOptions(); }
    void AddOption(char set, const Option& option) override {
        const rd::OptionValue value = option.number ? rd::OptionValue::NumberAsWritten(option.text)
                                                    : rd::OptionValue(option.text);
        if (set == 'm') m_run.AddModelOption(option.name, value);
        if (set == 's') m_run.AddSolverOption(option.name, value);
        if (set == 'l') m_run.AddLpOption(option.name, value);
    }
    void SetTolerances(const rd::Tolerances& tolerances) override { m_run.SetTolerances(tolerances); }
    void SetLpStatus(int status) override { m_run.SetLpStatus(status); }
    void AddDiagnosisItem(bool equation, int number) override {
        if (equation) m_run.AddDiagnosisEquation(number);
        else m_run.AddDiagnosisVariable(number);
    }
    void AddIteration(const rd::Iteration& iteration) override { m_run.AddIteration(iteration); }
    void Close() override { m_run.Close(); }

private:
    rd::RunWriter m_run;
};

// Every call through the C interface; a failed one fails the test.
class CCalls : public RunCalls {
public:
    explicit CCalls(const fs::path& target) { Ok(tarn_run_writer_open(target.c_str(), &m_run)); }
    ~CCalls() override { tarn_run_writer_free(m_run); }
    void SetCase(const rd::Case& h) override {
        Ok(tarn_run_writer_set_case(m_run, h.number, h.description.c_str(), h.date ? h.date->c_str() : nullptr,
                                    h.status.c_str()));
    }
    void SetModelName(const std::string& name) override {
        Ok(tarn_run_writer_set_model_name(m_run, name.c_str()));
    }
    void AddVariable(const rd::Variable& v) override {
        tarn_variable variable = tarn_variable_defaults();
        variable.name = v.name.c_str();
        variable.lower = v.lower;
        variable.upper = v.upper;
        variable.type = v.type;
        variable.status = v.status;
        variable.has_value = v.value.has_value();
        variable.value = v.value.value_or(0);
        Ok(tarn_run_writer_add_variable(m_run, &variable, nullptr));
    }
    void AddEquation(const rd::Equation& e) override {
        tarn_equation equation = tarn_equation_defaults();
        equation.name = e.name.c_str();
        equation.type = e.type;
        equation.rhs = e.rhs;
        equation.value = e.value;
        equation.scale = e.scale;
        equation.diag = e.diag;
        equation.nonlinear = e.nonlinear;
        Ok(tarn_run_writer_add_equation(m_run, &equation, nullptr));
    }
    void SetEquationForm(int equation, const std::string& form) override {
        Ok(tarn_run_writer_set_equation_form(m_run, equation, form.c_str()));
    }
    void AddCoefficient(int equation, int variable, double coefficient) override {
        Ok(tarn_run_writer_add_coefficient(m_run, equation, variable, coefficient));
    }
    void MarkLinearised(int equation, int variable) override {
        Ok(tarn_run_writer_mark_linearised(m_run, equation, variable));
    }
    void UseModelOptions() override { Ok(tarn_run_writer_use_model_options(m_run)); }
    void AddOption(char set, const Option& option) override {
        const int which = set == 'm' ? TARN_OPTIONS_MODEL : set == 's' ? TARN_OPTIONS_SOLVER : TARN_OPTIONS_LP;
        Ok(option.number ? tarn_run_writer_add_option_number_text(m_run, which, option.name.c_str(),
                                                                  option.text.c_str())
                         : tarn_run_writer_add_option_text(m_run, which, option.name.c_str(),
                                                           option.text.c_str()));
    }
    void SetTolerances(const rd::Tolerances& t) override {
        Ok(tarn_run_writer_set_tolerances(m_run, t.feasibility, t.delta1, t.delta2));
    }
    void SetLpStatus(int status) override { Ok(tarn_run_writer_set_lp_status(m_run, status)); }
    void AddDiagnosisItem(bool equation, int number) override {
        Ok(equation ? tarn_run_writer_add_diagnosis_equation(m_run, number)
                    : tarn_run_writer_add_diagnosis_variable(m_run, number));
    }
    void AddIteration(const rd::Iteration& it) override {
        std::vector<const char*> errors, warnings, information;
        for (const auto& text : it.errors) errors.push_back(text.c_str());
        for (const auto& text : it.warnings) warnings.push_back(text.c_str());
        for (const auto& text : it.information) information.push_back(text.c_str());
        std::vector<double> variables, equations;
        for (const auto& t : it.variables) variables.insert(variables.end(), {t.value, t.step, t.shadowPrice});
        for (const auto& t : it.equations) equations.insert(equations.end(), {t.residual, t.shadowPrice, t.slack});
        const std::string mostInfeasible(it.mostInfeasible);
        tarn_iteration iteration = tarn_iteration_defaults();
        iteration.nl_variables = it.nlVariables;
        iteration.nl_equations = it.nlEquations;
        iteration.feasible = it.feasible;
        iteration.p_function = it.pFunction;
        iteration.nonlinearity_ratio = it.nonlinearityRatio;
        iteration.objective = it.objective;
        iteration.has_user_objective = it.userObjective.has_value();
        iteration.user_objective = it.userObjective.value_or(0);
        iteration.infeasibility = it.infeasibility;
        iteration.objective_convergence = it.objectiveConvergence;
        iteration.residual_convergence = it.residualConvergence;
        iteration.variable_convergence = it.variableConvergence;
        iteration.most_infeasible = mostInfeasible.c_str();
        iteration.errors = errors.data();
        iteration.error_count = errors.size();
        iteration.warnings = warnings.data();
        iteration.warning_count = warnings.size();
        iteration.information = information.data();
        iteration.information_count = information.size();
        iteration.variables = variables.data();
        iteration.variable_count = it.variables.size();
        iteration.equations = equations.data();
        iteration.equation_count = it.equations.size();
        Ok(tarn_run_writer_add_iteration(m_run, &iteration));
    }
    void Close() override { Ok(tarn_run_writer_close(m_run)); }

private:
    void Ok(int status) { EXPECT_EQ(status, TARN_RUNDATA_OK) << tarn_run_writer_error(m_run); }
    tarn_run_writer* m_run = nullptr;
};

std::vector<fs::path> ExampleRuns() {
    std::vector<fs::path> runs;
    for (const char* directory : {"examples", "tests/rundata/valid"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(TARN_SOURCE_DIR) / directory))
            if (entry.path().extension() == ".vdr") runs.push_back(entry.path());
    }
    std::sort(runs.begin(), runs.end());
    return runs;
}

std::string VersionOf(const fs::path& run) {
    std::ifstream file(run, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    std::smatch found;
    const std::string content = text.str();
    return std::regex_search(content, found, std::regex("\"version\"\\s*:\\s*(\\d+)")) ? found[1].str() : "none";
}

size_t FirstDifferentLine(const std::string& a, const std::string& b) {
    const size_t common = std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin();
    return 1 + std::count(a.begin(), a.begin() + common, '\n');
}

class RoundTrip : public ::testing::TestWithParam<fs::path> {
protected:
    fs::path Copy() const {
        return fs::temp_directory_path() /
               ("tarn-writer-copy-" + std::to_string(getpid()) + ".vdr");
    }
    void ExpectSameReport(const fs::path& copy) {
        EXPECT_EQ(VersionOf(copy), VersionOf(GetParam()));
        const std::string original = ReportOf(GetParam().string());
        const std::string copied = ReportOf(copy.string());
        EXPECT_TRUE(copied == original) << "the report of the copy " << copy << " differs from line "
                                        << FirstDifferentLine(copied, original) << " on";
        if (copied == original && !getenv("TARN_KEEP_COPIES")) fs::remove(copy);
    }
};

TEST_P(RoundTrip, CppWriterReproducesTheReport) {
    const fs::path copy = Copy();
    {
        CppCalls calls(copy);
        ASSERT_TRUE(Replay(GetParam().string(), calls));
    }
    ExpectSameReport(copy);
}

TEST_P(RoundTrip, CWriterReproducesTheReport) {
    const fs::path copy = Copy();
    {
        CCalls calls(copy);
        ASSERT_TRUE(Replay(GetParam().string(), calls));
    }
    ExpectSameReport(copy);
}

INSTANTIATE_TEST_SUITE_P(Examples, RoundTrip, ::testing::ValuesIn(ExampleRuns()),
                         [](const auto& info) { return info.param.stem().string(); });

}  // namespace
}  // namespace writer_test
