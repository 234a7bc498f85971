// Recording the SLP run.
#include "run_record.h"

#include <ClpConfig.h>

#include <charconv>
#include <ctime>
#include <map>
#include <set>

namespace slp {
namespace {

namespace rd = tarn::rundata;

int EquationTypeOf(RowType type) {
    switch (type) {
        case RowType::LessEqual: return rd::EquationType::kLessEqual;
        case RowType::GreaterEqual: return rd::EquationType::kGreaterEqual;
        case RowType::Equal: return rd::EquationType::kEquality;
    }
    return rd::EquationType::kFree;
}

// The shortest text that reads back as the same double.
std::string NumberText(double value) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

// One term of an algebraic form, its sign joining it to the terms before:
// "0.5*C", " - 1.5*P", " + Q*P" (a coefficient of 1 is left out).
void AppendTerm(std::string& form, double coefficient, const std::string& factors) {
    if (form.empty()) {
        if (coefficient < 0) form += "-";
    } else {
        form += coefficient < 0 ? " - " : " + ";
    }
    const double size = coefficient < 0 ? -coefficient : coefficient;
    if (size != 1) form += NumberText(size) + "*";
    form += factors;
}

// The expression as the model file writes it, bilinear terms included.
std::string ExpressionForm(const Expression& expression, const std::vector<VariableSpec>& variables) {
    std::string form;
    for (const Term& term : expression.linear)
        AppendTerm(form, term.coefficient, variables[static_cast<size_t>(term.variable)].name);
    for (const Bilinear& term : expression.bilinear)
        AppendTerm(form, term.coefficient,
                   variables[static_cast<size_t>(term.first)].name + "*" +
                       variables[static_cast<size_t>(term.second)].name);
    return form.empty() ? "0" : form;
}

const char* RelationOf(RowType type) {
    switch (type) {
        case RowType::LessEqual: return " <= ";
        case RowType::GreaterEqual: return " >= ";
        case RowType::Equal: return " = ";
    }
    return " ? ";
}

std::string Now() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", std::localtime(&now));
    return text;
}

}  // namespace

RunRecorder::RunRecorder(const std::string& base, const Model& model, const SolverOptions& options)
    : m_model(model), m_run(base + ".vdr"), m_nonlinear(NonlinearVariables(model)) {
    m_run.SetCase({model.caseNumber, model.description, Now(), ""});
    m_run.SetModelName(model.name);
    AddModel();
    AddOptions(options);
}

void RunRecorder::AddModel() {
    for (size_t j = 0; j < m_model.variables.size(); ++j) {
        const VariableSpec& v = m_model.variables[j];
        rd::Variable variable;
        variable.name = v.name;
        variable.lower = v.lower;
        variable.upper = v.upper;
        variable.status = rd::VariableStatus::kOptimised;
        m_run.AddVariable(variable);
        m_nonlinearVariables += m_nonlinear[j] ? 1 : 0;
    }
    for (const Constraint& c : m_model.constraints) {
        rd::Equation equation;
        equation.name = c.name;
        equation.type = EquationTypeOf(c.type);
        equation.rhs = c.rhs;
        equation.nonlinear = c.expression.IsNonlinear() ? 1 : 0;
        const int number = m_run.AddEquation(equation);
        SetForm(number, ExpressionForm(c.expression, m_model.variables) + RelationOf(c.type) +
                            NumberText(c.rhs));
        m_nonlinearRows += c.expression.IsNonlinear() ? 1 : 0;
    }
    rd::Equation objective;
    objective.name = m_model.objectiveName;
    objective.type = rd::EquationType::kObjective;
    objective.nonlinear = m_model.objective.IsNonlinear() ? 1 : 0;
    const int number = m_run.AddEquation(objective);
    SetForm(number, std::string(m_model.maximize ? "maximize " : "minimize ") +
                        ExpressionForm(m_model.objective, m_model.variables));
}

// A row too long for a form is shown as its matrix row instead.
void RunRecorder::SetForm(int equation, const std::string& form) {
    if (form.size() <= rd::kFormMaxBytes) m_run.SetEquationForm(equation, form);
}

void RunRecorder::AddOptions(const SolverOptions& options) {
    m_run.AddModelOption("MININFTR", "AUTO");
    m_run.AddModelOption("SENSE", m_model.maximize ? "maximize" : "minimize");
    m_run.SetTolerances({options.feasibilityTolerance, 1e-3, 1e-4});
    m_run.AddSolverOption("ITERLIM", options.iterationLimit);
    m_run.AddSolverOption("CONVTOL", options.convergenceTolerance);
    m_run.AddSolverOption("PENALTY", options.penalty);
    m_run.AddSolverOption("MAXPENALTY", options.maxPenalty);
    m_run.AddSolverOption("STEPBOX", options.initialBoxShare);
    m_run.AddSolverOption("ACCEPT_RATIO", options.acceptRatio);
    m_run.AddLpOption("SOLVER", std::string("COIN-OR CLP ") + CLP_VERSION);
    m_run.AddLpOption("ALGORITHM", "dual simplex");
}

void RunRecorder::Record(const IterationRecord& record) {
    const size_t n = record.values.size(), m = record.residuals.size();
    std::vector<rd::VariableTriple> variables(n);
    for (size_t j = 0; j < n; ++j)
        variables[j] = {record.values[j], record.steps[j], record.reducedCosts[j]};
    std::vector<rd::EquationTriple> equations(m + 1);
    for (size_t i = 0; i < m; ++i) equations[i] = {record.residuals[i], record.duals[i], record.violations[i]};
    equations[m] = {0, 1, 0};  // the objective row
    rd::Iteration iteration;
    iteration.nlVariables = m_nonlinearVariables;
    iteration.nlEquations = m_nonlinearRows;
    iteration.feasible = record.feasible;
    iteration.pFunction = record.merit;
    iteration.nonlinearityRatio = record.ratio;
    iteration.objective = record.objective;
    iteration.infeasibility = record.infeasibility;
    iteration.objectiveConvergence = record.objectiveChange;
    iteration.residualConvergence = record.maxViolation;
    iteration.variableConvergence = record.maxStep;
    const std::string mostInfeasible =
        record.mostInfeasible >= 0 ? m_model.constraints[record.mostInfeasible].name : "";
    iteration.mostInfeasible = mostInfeasible;
    iteration.errors = record.errors;
    iteration.warnings = record.warnings;
    iteration.information = record.information;
    iteration.variables = variables;
    iteration.equations = equations;
    m_run.AddIteration(iteration);
}

void RunRecorder::Finish(const Result& result) {
    const int m = static_cast<int>(m_model.constraints.size());
    // The matrix of the expansion at the final point, objective row last;
    // the coefficients of bilinear terms marked as the linearisation's
    // (shown so where a row is too long for its form).
    auto addRow = [&](int row, const Expression& e) {
        std::map<int, double> coefficients;
        std::set<int> linearised;
        for (const Term& term : e.linear) coefficients[term.variable] += term.coefficient;
        for (const Bilinear& term : e.bilinear) {
            coefficients[term.first] += term.coefficient * result.x[term.second];
            coefficients[term.second] += term.coefficient * result.x[term.first];
            linearised.insert({term.first, term.second});
        }
        for (const auto& [variable, coefficient] : coefficients)
            m_run.AddCoefficient(row + 1, variable + 1, coefficient);
        for (const int variable : linearised) m_run.MarkLinearised(row + 1, variable + 1);
    };
    for (int i = 0; i < m; ++i) {
        const Constraint& c = m_model.constraints[i];
        addRow(i, c.expression);
        const double diag = result.rowDiagnosis.empty() ? 0 : result.rowDiagnosis[i];
        m_run.SetEquationValues(i + 1, c.expression.Value(result.x), diag);
    }
    addRow(m, m_model.objective);
    m_run.SetEquationValues(m + 1, m_model.objective.Value(result.x), 0);
    m_run.SetLpStatus(result.lpStatus);
    for (int row : result.blamedRows) m_run.AddDiagnosisEquation(row + 1);
    for (int column : result.blamedColumns) m_run.AddDiagnosisVariable(column + 1);
    m_run.SetStatus(OutcomeText(result.outcome));
    m_run.Close();
}

}  // namespace slp
