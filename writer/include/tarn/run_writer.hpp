// Writing a run-data file (.vdr) from an optimiser, one iteration at a time.
//
//     tarn::rundata::RunWriter run("runs/case42.vdr");
//     run.SetCase({.number = 42, .description = "winter grade"});
//     run.SetModelName("BLEND");
//     int x = run.AddVariable({.name = "X", .upper = 100});
//     int total = run.AddEquation({.name = "TOTAL", .type = tarn::rundata::EquationType::kLessEqual});
//     run.AddCoefficient(total, x, 1.0);
//     ... for each iteration: run.AddIteration(iteration);
//     run.SetStatus(tarn::rundata::kSuccessful);
//     run.Close();
//
// Each call is checked against the format's rules and a call that breaks
// one throws RuleError, saying where and what, before it changes anything:
// the run can go on.  The file is written without a name (or under a
// temporary name) beside the target and given the target's name by Close,
// so a run that ends early, even killed, never leaves a damaged file under
// the target's name.  Iterations go to that file as they are added; memory
// does not grow with their number.  A writer may be called from several
// threads: each call is made whole before the next begins.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__)
#define TARN_RUNDATA_API __attribute__((visibility("default")))
#else
#define TARN_RUNDATA_API
#endif

namespace tarn::rundata {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();
// A step at least this large means the variable had no step box.
inline constexpr double kNoStepBox = 1e20;
// The longest equation form taken, in bytes.
inline constexpr size_t kFormMaxBytes = 65536;
// The case status the report shows as a run that ended well.
inline constexpr std::string_view kSuccessful = "Successful";

// Variable types (any other 16-bit value is continuous).
struct VariableType {
    static constexpr int kContinuous = 1, kBinary = 2, kInteger = 3, kSemiContinuous = 4;
};
// Variable statuses (any other 16-bit value is calculated).
struct VariableStatus {
    static constexpr int kOptimised = 1, kCalculated = 2, kConstant = 3, kIndependent = 203;
};
struct EquationType {
    static constexpr int kLessEqual = 1, kGreaterEqual = 2, kEquality = 3, kFree = 4,
                         kObjective = 5;
};
// The LP solver's status (any other value is another outcome).
struct LpStatus {
    static constexpr int kOptimal = 0, kInfeasible = 1, kUnbounded = 2;
};

// A call that breaks a rule of the format: where in the file (for example
// "model.variables[3].name") and what is wrong.
class TARN_RUNDATA_API RuleError : public std::invalid_argument {
public:
    RuleError(std::string path, std::string problem);
    const std::string& path() const noexcept { return m_path; }
    const std::string& problem() const noexcept { return m_problem; }

private:
    std::string m_path, m_problem;
};

// The file could not be created, written or renamed; the message names it.
class TARN_RUNDATA_API FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Case {
    std::int64_t number = 0;      // 32-bit
    std::string description;
    // At most 30 bytes, no line break; when not given, the time the writer
    // was opened ("Mon Jan 15 10:30:00 2024", local time).
    std::optional<std::string> date;
    std::string status;           // kSuccessful, or how the run ended
};

struct Variable {
    std::string name;             // not empty, unique among the variables
    double lower = 0;
    double upper = kInfinity;
    int type = VariableType::kContinuous;
    int status = VariableStatus::kOptimised;
    std::optional<double> value;  // the final value; else the last iteration's
};

struct Equation {
    std::string name;             // not empty, unique among the equations
    int type = EquationType::kEquality;
    double rhs = 0;
    double value = 0;             // row activity
    double scale = 1;
    double diag = 0;              // value in the LP solver's diagnosis
    std::int64_t nonlinear = 0;   // above 0: a nonlinear row (32-bit)
};

// An option's value: a text, a number, or a number kept as written
// ("2.50" stays "2.50" in the report).
class TARN_RUNDATA_API OptionValue {
public:
    OptionValue(std::string_view text) : m_text(text) {}
    OptionValue(const char* text) : m_text(text) {}
    OptionValue(const std::string& text) : m_text(text) {}
    OptionValue(double number);
    OptionValue(int number) : OptionValue(static_cast<double>(number)) {}
    static OptionValue NumberAsWritten(std::string_view jsonNumber);

    bool IsNumber() const { return m_number; }
    const std::string& Text() const { return m_text; }

private:
    OptionValue() = default;
    std::string m_text;
    bool m_number = false;
};

struct Tolerances {
    double feasibility = 1e-6;
    double delta1 = 1e-3;         // absolute change tolerance
    double delta2 = 1e-4;         // relative change tolerance
};

struct VariableTriple {
    double value = 0, step = 0, shadowPrice = 0;
};
struct EquationTriple {
    double residual = 0, shadowPrice = 0, slack = 0;
};

// One entry of the iteration list: the first is the initial conditions,
// each further one a major iteration.
struct Iteration {
    std::int64_t nlVariables = 0, nlEquations = 0;  // 32-bit
    bool feasible = false;
    double pFunction = 0;
    double nonlinearityRatio = 0;
    double objective = 0;
    std::optional<double> userObjective;            // else the objective
    double infeasibility = 0;
    double objectiveConvergence = 0, residualConvergence = 0, variableConvergence = 0;
    std::string_view mostInfeasible;                // at most 199 bytes
    std::span<const std::string> errors, warnings, information;
    std::span<const VariableTriple> variables;      // one per variable, in order
    std::span<const EquationTriple> equations;      // one per equation, in order
};

class TARN_RUNDATA_API RunWriter {
public:
    // Starts the run-data file `target` (normally BASE.vdr); nothing appears
    // under that name until Close.  A symbolic link is followed; a target
    // that is a directory or another kind of file than a regular one is
    // refused.  Throws FileError.  largestFile, when above 0, lowers the
    // largest file written below the loader's limit (1 GiB; 256 MiB for a
    // 32-bit loader): a call that would pass it is refused, and room is
    // always kept for what Close must write, so Close never is.
    explicit RunWriter(const std::filesystem::path& target, std::uint64_t largestFile = 0);
    // Without Close (or Abandon), no file is written, and standard error
    // says so.
    ~RunWriter();
    RunWriter(const RunWriter&) = delete;
    RunWriter& operator=(const RunWriter&) = delete;

    void SetCase(const Case& header);
    void SetStatus(std::string_view status);
    void SetModelName(std::string_view name);

    // Each returns the item's number (from 1).  Every variable and equation
    // is added before the first iteration.
    int AddVariable(const Variable& variable);
    // Adds the variables in order and returns the first's number (the
    // others follow it); a refused one refuses the call, which adds none.
    int AddVariables(std::span<const Variable> variables);
    int AddEquation(const Equation& equation);
    // Item numbers from 1; each (equation, variable) pair at most once.
    void AddCoefficient(int equation, int variable, double coefficient);
    // Marks the pair's coefficient, added before, as that of a nonlinear
    // term, which the matrix holds at the linearisation's value: the
    // report's model display shows it in brackets where the equation has
    // no form.  Each pair at most once.
    void MarkLinearised(int equation, int variable);

    // The model's options (the report shows that a model has an option set
    // once one is added, or after UseModelOptions).
    void UseModelOptions();
    void AddModelOption(std::string_view name, const OptionValue& value);
    void SetTolerances(const Tolerances& tolerances);
    void AddSolverOption(std::string_view name, const OptionValue& value);
    void AddLpOption(std::string_view name, const OptionValue& value);

    // The final LP: its status and, for an unbounded one, the rows and
    // columns its solver blames.
    void SetLpStatus(std::int64_t status);
    void AddDiagnosisEquation(std::int64_t equation);
    void AddDiagnosisVariable(std::int64_t variable);

    // Final values, known at the end of the run.
    void SetVariableValue(int variable, double value);
    void SetEquationValues(int equation, double value, double diag);

    // The equation as the optimiser writes it, such as "0.5*C - 1.5*P +
    // Q*P <= 0": the report's model display shows it instead of the
    // linearised row.  One line, at most kFormMaxBytes; empty for none.
    void SetEquationForm(int equation, std::string_view form);

    // Written at once; the model's items are then fixed.
    void AddIteration(const Iteration& iteration);

    // From now on, others can follow the run: TARGET.progress, beside the
    // target, gets a line of JSON at once, one with the model's names when
    // the first iteration fixes them, and one per iteration as it is added
    // (its summary numbers), each written whole; Close and Abandon remove
    // it.  A run that stopped without either leaves it readable, without
    // an end.  The form is in docs/writing-run-data.md.  Throws FileError.
    void WriteProgress();

    // Writes the rest and gives the file the target's name.  Throws
    // FileError; afterwards no other call may be made.
    void Close();
    // Ends the run without a file, silently (as when the optimiser failed);
    // afterwards no other call may be made.
    void Abandon();

    int VariableCount() const;
    int EquationCount() const;
    int IterationCount() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace tarn::rundata
