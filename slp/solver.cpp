// The SLP iteration on CLP.
#include "solver.h"

#include <ClpSimplex.hpp>
#include <CoinPackedMatrix.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace slp {
namespace {

// The first-order expansion of an expression at a point: its value there
// and its gradient, as (variable, coefficient) pairs with each variable once.
struct Expansion {
    double value = 0;
    std::vector<Term> gradient;
};

Expansion Expand(const Expression& expression, const std::vector<double>& x, std::vector<double>& dense,
                 std::vector<int>& touched) {
    auto add = [&](int variable, double coefficient) {
        if (dense[variable] == 0 && std::find(touched.begin(), touched.end(), variable) == touched.end())
            touched.push_back(variable);
        dense[variable] += coefficient;
    };
    touched.clear();
    for (const Term& term : expression.linear) add(term.variable, term.coefficient);
    for (const Bilinear& term : expression.bilinear) {
        add(term.first, term.coefficient * x[term.second]);
        add(term.second, term.coefficient * x[term.first]);
    }
    Expansion expansion;
    expansion.value = expression.Value(x);
    for (int variable : touched) {
        expansion.gradient.push_back({variable, dense[variable]});
        dense[variable] = 0;
    }
    return expansion;
}

double Violation(RowType type, double activity, double rhs) {
    switch (type) {
        case RowType::LessEqual: return std::max(0.0, activity - rhs);
        case RowType::GreaterEqual: return std::max(0.0, rhs - activity);
        case RowType::Equal: return std::fabs(activity - rhs);
    }
    return 0;
}

class SlpRun {
public:
    SlpRun(const Model& model, const SolverOptions& options, IterationSink& sink)
        : m_model(model), m_options(options), m_sink(sink), m_nonlinear(NonlinearVariables(model)),
          m_dense(model.variables.size(), 0.0) {
        const size_t n = model.variables.size();
        m_x.resize(n);
        m_box.resize(n);
        m_lastStep.assign(n, 0.0);
        for (size_t j = 0; j < n; ++j) {
            const VariableSpec& v = model.variables[j];
            m_x[j] = std::clamp(v.start, v.lower, v.upper);
            m_box[j] = InitialBox(v);
        }
        m_sign = model.maximize ? -1.0 : 1.0;
        m_penalty = options.penalty;
    }

    Result Run();

private:
    double InitialBox(const VariableSpec& v) const {
        const double range = v.upper - v.lower;
        if (std::isfinite(range) && range > 0) return m_options.initialBoxShare * range;
        return m_options.initialBoxShare * (std::fabs(v.start) + 1) * 4;
    }
    double Objective(const std::vector<double>& x) const { return m_model.objective.Value(x); }
    double TotalViolation(const std::vector<double>& x, double* largest = nullptr, int* row = nullptr) const;
    // Minimised: the objective (as minimised) plus the penalised violation.
    double Merit(const std::vector<double>& x) const {
        return m_sign * Objective(x) + m_penalty * TotalViolation(x);
    }
    IterationRecord Describe(const std::vector<double>& x) const;
    void Solved(ClpSimplex& lp, Result& result);
    int SolveLp(std::unique_ptr<ClpSimplex>& lp, double& predictedMerit);
    bool TakeStep(const std::vector<double>& candidate, double predictedMerit, IterationRecord& record);
    void Diagnose(ClpSimplex& lp, int status, Result& result) const;

    const Model& m_model;
    const SolverOptions& m_options;
    IterationSink& m_sink;
    std::vector<bool> m_nonlinear;
    std::vector<double> m_x, m_box, m_lastStep, m_dense;
    std::vector<int> m_touched;
    double m_sign = 1, m_penalty = 0;
    // From the last LP.
    std::vector<double> m_duals, m_reducedCosts;
    bool m_converged = false;
};

double SlpRun::TotalViolation(const std::vector<double>& x, double* largest, int* row) const {
    double total = 0, worst = 0;
    int worstRow = -1;
    for (size_t i = 0; i < m_model.constraints.size(); ++i) {
        const Constraint& c = m_model.constraints[i];
        const double violation = Violation(c.type, c.expression.Value(x), c.rhs);
        total += violation;
        if (violation > worst) {
            worst = violation;
            worstRow = static_cast<int>(i);
        }
    }
    if (largest != nullptr) *largest = worst;
    if (row != nullptr) *row = worstRow;
    return total;
}

IterationRecord SlpRun::Describe(const std::vector<double>& x) const {
    IterationRecord record;
    const size_t n = x.size(), m = m_model.constraints.size();
    record.values = x;
    record.steps.resize(n);
    for (size_t j = 0; j < n; ++j) record.steps[j] = m_nonlinear[j] ? m_box[j] : 1e20;
    record.reducedCosts = m_reducedCosts.empty() ? std::vector<double>(n, 0.0) : m_reducedCosts;
    record.duals = m_duals.empty() ? std::vector<double>(m, 0.0) : m_duals;
    for (size_t i = 0; i < m; ++i) {
        const Constraint& c = m_model.constraints[i];
        const double activity = c.expression.Value(x);
        record.residuals.push_back(activity - c.rhs);
        record.violations.push_back(Violation(c.type, activity, c.rhs));
    }
    record.objective = Objective(x);
    record.infeasibility = TotalViolation(x, &record.maxViolation, &record.mostInfeasible);
    if (record.maxViolation <= m_options.feasibilityTolerance) record.mostInfeasible = -1;
    record.merit = Merit(x);
    return record;
}

// The LP at m_x: columns are the variables, then the elastic slacks of the
// nonlinear rows; rows are the constraints, expanded at m_x.  Returns CLP's
// status; predictedMerit is the merit the LP's solution promises.
int SlpRun::SolveLp(std::unique_ptr<ClpSimplex>& lp, double& predictedMerit) {
    const int n = static_cast<int>(m_x.size()), m = static_cast<int>(m_model.constraints.size());
    std::vector<int> rows, columns;
    std::vector<double> elements, columnLower, columnUpper, cost, rowLower, rowUpper;
    for (int j = 0; j < n; ++j) {
        const VariableSpec& v = m_model.variables[j];
        columnLower.push_back(m_nonlinear[j] ? std::max(v.lower, m_x[j] - m_box[j]) : v.lower);
        columnUpper.push_back(m_nonlinear[j] ? std::min(v.upper, m_x[j] + m_box[j]) : v.upper);
        cost.push_back(0);
    }
    const Expansion objective = Expand(m_model.objective, m_x, m_dense, m_touched);
    double objectiveConstant = objective.value;
    for (const Term& term : objective.gradient) {
        cost[term.variable] = m_sign * term.coefficient;
        objectiveConstant -= term.coefficient * m_x[term.variable];
    }
    auto addSlack = [&](int row, double sign) {
        rows.push_back(row);
        columns.push_back(static_cast<int>(columnLower.size()));
        elements.push_back(sign);
        columnLower.push_back(0);
        columnUpper.push_back(COIN_DBL_MAX);
        cost.push_back(m_penalty);
    };
    for (int i = 0; i < m; ++i) {
        const Constraint& c = m_model.constraints[i];
        const Expansion row = Expand(c.expression, m_x, m_dense, m_touched);
        double rhs = c.rhs - row.value;
        for (const Term& term : row.gradient) {
            rows.push_back(i);
            columns.push_back(term.variable);
            elements.push_back(term.coefficient);
            rhs += term.coefficient * m_x[term.variable];
        }
        rowLower.push_back(c.type == RowType::LessEqual ? -COIN_DBL_MAX : rhs);
        rowUpper.push_back(c.type == RowType::GreaterEqual ? COIN_DBL_MAX : rhs);
        if (!c.expression.IsNonlinear()) continue;
        if (c.type != RowType::LessEqual) addSlack(i, 1.0);
        if (c.type != RowType::GreaterEqual) addSlack(i, -1.0);
    }
    for (double& bound : columnLower) bound = std::isinf(bound) ? -COIN_DBL_MAX : bound;
    for (double& bound : columnUpper) bound = std::isinf(bound) ? COIN_DBL_MAX : bound;
    const int columnCount = static_cast<int>(columnLower.size());
    CoinPackedMatrix matrix(true, rows.data(), columns.data(), elements.data(),
                            static_cast<CoinBigIndex>(elements.size()));
    matrix.setDimensions(m, columnCount);
    lp = std::make_unique<ClpSimplex>();
    lp->setLogLevel(0);
    lp->loadProblem(matrix, columnLower.data(), columnUpper.data(), cost.data(), rowLower.data(),
                    rowUpper.data());
    lp->dual();
    const int status = lp->status();
    if (status != 0) return status;
    const double* solution = lp->primalColumnSolution();
    predictedMerit = m_sign * objectiveConstant;
    for (int j = 0; j < columnCount; ++j) predictedMerit += cost[j] * solution[j];
    return 0;
}

bool SlpRun::TakeStep(const std::vector<double>& candidate, double predictedMerit,
                      IterationRecord& record) {
    const double current = Merit(m_x);
    const double predicted = current - predictedMerit;
    const double actual = current - Merit(candidate);
    const double scale = 1 + std::fabs(current);
    if (predicted <= m_options.convergenceTolerance * scale) {
        // The LP finds nothing better within the boxes: a stationary point.
        record.ratio = 1;
        m_converged = true;
        return false;
    }
    const double ratio = actual / predicted;
    record.ratio = ratio;
    int grown = 0, shrunk = 0;
    if (ratio < m_options.acceptRatio) {
        for (size_t j = 0; j < m_x.size(); ++j) {
            if (m_nonlinear[j]) m_box[j] *= 0.5;
        }
        record.warnings.push_back("step rejected (it achieved " + std::to_string(ratio) +
                                  " of the predicted fall); step boxes halved");
        return false;
    }
    for (size_t j = 0; j < m_x.size(); ++j) {
        if (!m_nonlinear[j]) continue;
        const double step = candidate[j] - m_x[j];
        if (step * m_lastStep[j] < 0) {
            m_box[j] *= 0.5;
            ++shrunk;
        } else if (ratio < m_options.poorRatio) {
            m_box[j] *= 0.5;
        } else if (ratio > m_options.goodRatio && std::fabs(step) >= 0.999 * m_box[j]) {
            const VariableSpec& v = m_model.variables[j];
            const double range = v.upper - v.lower;
            m_box[j] = std::isfinite(range) ? std::min(2 * m_box[j], range) : 2 * m_box[j];
            ++grown;
        }
        if (step != 0) m_lastStep[j] = step;
    }
    if (shrunk > 0)
        record.warnings.push_back("step boxes halved on " + std::to_string(shrunk) +
                                  " oscillating variables");
    if (grown > 0)
        record.information.push_back("step boxes doubled on " + std::to_string(grown) + " variables");
    if (ratio < m_options.poorRatio) record.warnings.push_back("poor step: every step box halved");
    return true;
}

void SlpRun::Diagnose(ClpSimplex& lp, int status, Result& result) const {
    const int n = static_cast<int>(m_x.size()), m = static_cast<int>(m_model.constraints.size());
    result.lpStatus = status == 1 ? 1 : status == 2 ? 2 : 3;
    result.rowDiagnosis.assign(m, 0.0);
    if (status == 1) {
        std::unique_ptr<double[]> ray(lp.infeasibilityRay());
        if (ray)
            for (int i = 0; i < m; ++i) result.rowDiagnosis[i] = ray[i];
    } else if (status == 2) {
        std::unique_ptr<double[]> ray(lp.unboundedRay());
        if (!ray) {
            lp.primal();
            ray.reset(lp.unboundedRay());
        }
        std::vector<bool> blamed(m, false);
        for (int j = 0; ray && j < n; ++j) {
            if (std::fabs(ray[j]) <= 1e-9) continue;
            result.blamedColumns.push_back(j);
            for (int i = 0; i < m; ++i) {
                const Expression& e = m_model.constraints[i].expression;
                for (const Term& term : e.linear)
                    if (term.variable == j) blamed[i] = true;
            }
        }
        for (int i = 0; i < m; ++i)
            if (blamed[i]) result.blamedRows.push_back(i);
    }
}

Result SlpRun::Run() {
    Result result;
    IterationRecord initial = Describe(m_x);
    initial.information.push_back("initial point: the model's start values within their bounds");
    m_sink.Record(initial);
    double lastObjective = initial.objective;
    for (int iteration = 0; iteration < m_options.iterationLimit; ++iteration) {
        std::unique_ptr<ClpSimplex> lp;
        double predictedMerit = 0;
        const int status = SolveLp(lp, predictedMerit);
        ++result.majorIterations;
        if (status != 0) {
            Diagnose(*lp, status, result);
            result.outcome = status == 1 ? Outcome::LpInfeasible : status == 2 ? Outcome::Unbounded
                                                                               : Outcome::LpFailure;
            IterationRecord failed = Describe(m_x);
            failed.errors.push_back(std::string("the LP is ") +
                                    (status == 1 ? "infeasible" : status == 2 ? "unbounded"
                                                                              : "not solved") +
                                    " (CLP status " + std::to_string(status) + ")");
            m_sink.Record(failed);
            break;
        }
        const size_t n = m_x.size();
        const double* solution = lp->primalColumnSolution();
        std::vector<double> candidate(solution, solution + n);
        for (size_t j = 0; j < n; ++j)
            candidate[j] = std::clamp(candidate[j], m_model.variables[j].lower, m_model.variables[j].upper);
        const double* duals = lp->dualRowSolution();
        const double* reduced = lp->dualColumnSolution();
        m_duals.assign(duals, duals + m_model.constraints.size());
        m_reducedCosts.assign(reduced, reduced + n);
        // Shadow prices of the user's objective.
        for (double& dual : m_duals) dual *= m_sign;
        for (double& cost : m_reducedCosts) cost *= m_sign;

        IterationRecord record;
        std::vector<double> before = m_x;
        m_converged = false;
        const bool taken = TakeStep(candidate, predictedMerit, record);
        if (taken) m_x = candidate;
        IterationRecord described = Describe(m_x);
        described.ratio = record.ratio;
        described.warnings = record.warnings;
        described.information = record.information;
        double maxStep = 0;
        for (size_t j = 0; j < n; ++j)
            maxStep = std::max(maxStep, std::fabs(m_x[j] - before[j]) / (1 + std::fabs(before[j])));
        described.maxStep = maxStep;
        described.objectiveChange =
            std::fabs(described.objective - lastObjective) / (1 + std::fabs(lastObjective));
        lastObjective = described.objective;
        const bool small = taken && maxStep <= m_options.convergenceTolerance * 1e3 &&
                           described.objectiveChange <= m_options.convergenceTolerance;
        bool boxesGone = true;
        for (size_t j = 0; j < n; ++j)
            if (m_nonlinear[j] && m_box[j] > m_options.convergenceTolerance * (1 + std::fabs(m_x[j])))
                boxesGone = false;
        const bool settled = m_converged || small || boxesGone;
        const bool feasible = described.maxViolation <= m_options.feasibilityTolerance;
        if (settled && !feasible && m_penalty < m_options.maxPenalty) {
            m_penalty *= 10;
            for (size_t j = 0; j < n; ++j) m_box[j] = std::max(m_box[j], InitialBox(m_model.variables[j]));
            described.information.push_back("the point is not feasible: penalty raised to " +
                                            std::to_string(m_penalty));
            described.merit = Merit(m_x);
            m_sink.Record(described);
            continue;
        }
        if (settled) described.information.push_back(feasible ? "converged" : "converged to an infeasible point");
        m_sink.Record(described);
        if (settled) {
            result.outcome = feasible ? Outcome::Converged : Outcome::Infeasible;
            break;
        }
    }
    result.x = m_x;
    result.objective = Objective(m_x);
    return result;
}

}  // namespace

std::vector<bool> NonlinearVariables(const Model& model) {
    std::vector<bool> nonlinear(model.variables.size(), false);
    auto mark = [&](const Expression& e) {
        for (const Bilinear& term : e.bilinear) nonlinear[term.first] = nonlinear[term.second] = true;
    };
    mark(model.objective);
    for (const Constraint& c : model.constraints) mark(c.expression);
    return nonlinear;
}

Result Solve(const Model& model, const SolverOptions& options, IterationSink& sink) {
    return SlpRun(model, options, sink).Run();
}

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Converged: return "Successful";
        case Outcome::Infeasible: return "Infeasible";
        case Outcome::LpInfeasible: return "LP infeasible";
        case Outcome::Unbounded: return "Unbounded";
        case Outcome::IterationLimit: return "Iteration limit";
        case Outcome::LpFailure: return "LP failure";
    }
    return "";
}

}  // namespace slp
