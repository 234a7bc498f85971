// The SLP iteration on CLP.
#include "solver.h"

#include <ClpSimplex.hpp>
#include <CoinPackedMatrix.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "linearisation.h"

namespace slp {
namespace {

double PowerOfTwoNear(double magnitude) {
    if (!(magnitude > 0) || !std::isfinite(magnitude)) return 1;
    return std::ldexp(1.0, std::ilogb(magnitude));
}

double LargestCoefficient(const Expression& e) {
    double largest = 0;
    for (const Term& term : e.linear) largest = std::max(largest, std::fabs(term.coefficient));
    for (const Bilinear& term : e.bilinear) largest = std::max(largest, std::fabs(term.coefficient));
    return largest;
}

// Expresses e in the scaled columns (x = column * x') and multiplies it by factor.
void ScaleExpression(Expression& e, const std::vector<double>& column, double factor) {
    for (Term& term : e.linear) term.coefficient *= column[term.variable] * factor;
    for (Bilinear& term : e.bilinear) term.coefficient *= column[term.first] * column[term.second] * factor;
}

// The model in scaled units: x = column * x', each row multiplied by
// row[i], the objective by objective.
struct Scaling {
    std::vector<double> column, row;
    double objective = 1;
};

Model ScaledModel(const Model& model, Scaling& scaling) {
    Model scaled = model;
    const size_t n = model.variables.size();
    scaling.column.assign(n, 1.0);
    for (size_t j = 0; j < n; ++j) {
        VariableSpec& v = scaled.variables[j];
        double magnitude = 0;
        for (double bound : {v.lower, v.upper, v.start})
            if (std::isfinite(bound)) magnitude = std::max(magnitude, std::fabs(bound));
        const double s = PowerOfTwoNear(magnitude);
        scaling.column[j] = s;
        v.lower /= s;
        v.upper /= s;
        v.start /= s;
    }
    ScaleExpression(scaled.objective, scaling.column, 1.0);
    scaling.objective = 1 / PowerOfTwoNear(LargestCoefficient(scaled.objective));
    ScaleExpression(scaled.objective, std::vector<double>(n, 1.0), scaling.objective);
    scaling.row.resize(model.constraints.size());
    for (size_t i = 0; i < model.constraints.size(); ++i) {
        Constraint& c = scaled.constraints[i];
        ScaleExpression(c.expression, scaling.column, 1.0);
        const double factor = 1 / PowerOfTwoNear(LargestCoefficient(c.expression));
        ScaleExpression(c.expression, std::vector<double>(n, 1.0), factor);
        c.rhs *= factor;
        scaling.row[i] = factor;
    }
    return scaled;
}

double Violation(RowType type, double activity, double rhs) {
    switch (type) {
        case RowType::LessEqual: return std::max(0.0, activity - rhs);
        case RowType::GreaterEqual: return std::max(0.0, rhs - activity);
        case RowType::Equal: return std::fabs(activity - rhs);
    }
    return 0;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

enum class Phase { Optimality, Feasibility };

class SlpRun {
public:
    SlpRun(const Model& model, const SolverOptions& options, IterationSink& sink)
        : m_original(model), m_model(ScaledModel(model, m_scaling)), m_options(options), m_sink(sink),
          m_nonlinear(NonlinearVariables(model)), m_lp(m_model, m_nonlinear) {
        const size_t n = model.variables.size();
        m_x.resize(n);
        m_box.resize(n);
        m_lastStep.assign(n, 0.0);
        for (size_t j = 0; j < n; ++j) {
            const VariableSpec& v = m_model.variables[j];
            m_x[j] = std::clamp(v.start, v.lower, v.upper);
            m_box[j] = InitialBox(v);
        }
        m_sign = model.maximize ? -1.0 : 1.0;
        m_penalty = std::min(options.penalty, options.maxPenalty);
    }

    Result Run();

private:
    double InitialBox(const VariableSpec& v) const {
        const double range = v.upper - v.lower;
        if (std::isfinite(range) && range > 0) return m_options.initialBoxShare * range;
        return m_options.initialBoxShare * (std::fabs(v.start) + 1) * 4;
    }
    double ObjectiveWeight() const { return m_phase == Phase::Optimality ? 1.0 : 0.0; }
    double SlackCost() const { return m_phase == Phase::Optimality ? m_penalty : 1.0; }
    // The scaled rows' total and largest violation.
    double TotalViolation(const std::vector<double>& x, double* largest = nullptr) const;
    // Minimised: the phase's objective plus the penalised violation, scaled.
    double Merit(const std::vector<double>& x) const {
        return ObjectiveWeight() * m_sign * m_model.objective.Value(x) + SlackCost() * TotalViolation(x);
    }
    std::vector<double> Unscaled(const std::vector<double>& x) const;
    IterationRecord Describe(const std::vector<double>& x) const;
    void SetBounds(bool partwayToBounds = true);
    int SolveLp(IterationRecord& record);
    int RaisePenaltyForSlacks(int status, IterationRecord& record);
    int RaisePenaltyToMultipliers(int status, IterationRecord& record);
    std::vector<double> Candidate() const;
    bool CorrectStep(std::vector<double>& candidate, double predictedMerit);
    bool TakeStep(const std::vector<double>& candidate, double predictedMerit, IterationRecord& record);
    bool Stationary() const;
    bool PerturbZeroGradients(IterationRecord& record);
    void Diagnose(int status, Result& result);
    void FindConflict(Result& result);
    std::string ConflictText(const std::vector<int>& rows, bool irreducible) const;
    void KeepMultipliers();

    const Model& m_original;
    Scaling m_scaling;
    Model m_model;  // scaled
    const SolverOptions& m_options;
    IterationSink& m_sink;
    std::vector<bool> m_nonlinear;
    Linearisation m_lp;
    std::vector<double> m_x, m_box, m_lastStep;
    double m_sign = 1, m_penalty = 0;
    Phase m_phase = Phase::Optimality;
    int m_perturbations = 0;
    // From the last LP, in the original units.
    std::vector<double> m_duals, m_reducedCosts;
    // The last LP's point and reduced costs, scaled.
    std::vector<double> m_lpSolution, m_lpReducedCosts;
    bool m_stalled = false;
};

double SlpRun::TotalViolation(const std::vector<double>& x, double* largest) const {
    double total = 0, worst = 0;
    for (const Constraint& c : m_model.constraints) {
        const double violation = Violation(c.type, c.expression.Value(x), c.rhs);
        total += violation;
        worst = std::max(worst, violation);
    }
    if (largest != nullptr) *largest = worst;
    return total;
}

std::vector<double> SlpRun::Unscaled(const std::vector<double>& x) const {
    std::vector<double> values(x.size());
    for (size_t j = 0; j < x.size(); ++j) values[j] = x[j] * m_scaling.column[j];
    return values;
}

IterationRecord SlpRun::Describe(const std::vector<double>& scaledX) const {
    IterationRecord record;
    const std::vector<double> x = Unscaled(scaledX);
    const size_t n = x.size(), m = m_original.constraints.size();
    record.values = x;
    record.steps.resize(n);
    for (size_t j = 0; j < n; ++j) record.steps[j] = m_nonlinear[j] ? m_box[j] * m_scaling.column[j] : 1e20;
    record.reducedCosts = m_reducedCosts.empty() ? std::vector<double>(n, 0.0) : m_reducedCosts;
    record.duals = m_duals.empty() ? std::vector<double>(m, 0.0) : m_duals;
    double worst = 0;
    for (size_t i = 0; i < m; ++i) {
        const Constraint& c = m_original.constraints[i];
        const double activity = c.expression.Value(x);
        const double violation = Violation(c.type, activity, c.rhs);
        record.residuals.push_back(activity - c.rhs);
        record.violations.push_back(violation);
        record.infeasibility += violation;
        if (violation > worst) {
            worst = violation;
            record.mostInfeasible = static_cast<int>(i);
        }
    }
    record.maxViolation = worst;
    double scaledWorst = 0;
    TotalViolation(scaledX, &scaledWorst);
    record.feasible = scaledWorst <= m_options.feasibilityTolerance;
    if (record.feasible) record.mostInfeasible = -1;
    record.objective = m_original.objective.Value(x);
    record.merit = Merit(scaledX) / m_scaling.objective;
    return record;
}

// The columns' bounds of the next LP: each nonlinear variable within its
// step box, the slacks within ten times the violation they could need.
void SlpRun::SetBounds(bool partwayToBounds) {
    for (size_t j = 0; j < m_x.size(); ++j) {
        const VariableSpec& v = m_model.variables[j];
        double lower = m_nonlinear[j] ? std::max(v.lower, m_x[j] - m_box[j]) : v.lower;
        double upper = m_nonlinear[j] ? std::min(v.upper, m_x[j] + m_box[j]) : v.upper;
        if (m_nonlinear[j] && partwayToBounds) {
            // A bound reached in one step can hold a factor where its
            // partners' gradients vanish (a pool's flows at zero leave its
            // quality free and unpriced), and the LPs stay there: a step goes
            // only part of the way to a bound it starts away from.
            const double share = 1 - m_options.toBoundShare;
            if (m_x[j] > v.lower) lower = std::max(lower, v.lower + share * (m_x[j] - v.lower));
            if (m_x[j] < v.upper) upper = std::min(upper, v.upper - share * (v.upper - m_x[j]));
        }
        m_lp.SetColumnBounds(static_cast<int>(j), lower, upper);
    }
    for (int k = 0; k < m_lp.SlackCount(); ++k) {
        const Constraint& c = m_model.constraints[m_lp.SlackRow(k)];
        const double violation = Violation(c.type, c.expression.Value(m_x), c.rhs);
        m_lp.SetSlackBound(k, 10 * (violation + 1 + std::fabs(c.rhs)));
    }
}

// While the LP would rather pay the penalty than meet a row (a slack at its
// bound), the penalty rises above the row's multiplier and the LP is solved
// again.  An infeasible LP has its slacks freed; what remains infeasible is
// in the rows without nonlinear variables, the model's own.
int SlpRun::RaisePenaltyForSlacks(int status, IterationRecord& record) {
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (status == 1 && m_lp.SlacksBounded()) {
            m_lp.FreeSlacks();
            status = m_lp.Solve();
            continue;
        }
        if (status != 0 || m_phase != Phase::Optimality || m_penalty >= m_options.maxPenalty) return status;
        const double multiplier = m_lp.LargestMultiplierAtSlackBound();
        if (multiplier <= 0) return status;
        m_penalty = std::min(m_options.maxPenalty, std::max(10 * m_penalty, 2 * multiplier));
        record.information.push_back("penalty raised to " + Number(m_penalty) +
                                     " above the rows' multipliers");
        m_lp.SetSlackCosts(m_penalty);
        status = m_lp.Solve();
    }
    return status;
}

// A row the LP meets, but whose multiplier has reached the penalty, is met
// only while meeting it costs no more than paying for its violation: the
// merit is not yet exact, and the steps trade the rows' curvature for
// objective, drifting off the rows.  While the point is off them, the
// penalty rises tenfold, once an iteration.
int SlpRun::RaisePenaltyToMultipliers(int status, IterationRecord& record) {
    if (status != 0 || m_phase != Phase::Optimality || m_penalty >= m_options.maxPenalty) return status;
    if (m_lp.LargestMetRowMultiplier(m_options.feasibilityTolerance) < m_penalty * (1 - 1e-7)) return status;
    double worst = 0;
    TotalViolation(m_x, &worst);
    if (worst <= m_options.feasibilityTolerance) return status;  // on the rows: nothing traded yet
    m_penalty = std::min(m_options.maxPenalty, 10 * m_penalty);
    record.information.push_back("penalty raised to " + Number(m_penalty) + ": a row's multiplier reached it");
    m_lp.SetSlackCosts(m_penalty);
    return RaisePenaltyForSlacks(m_lp.Solve(), record);
}

int SlpRun::SolveLp(IterationRecord& record) {
    SetBounds();
    m_lp.Expand(m_model, m_x, ObjectiveWeight() * m_sign, SlackCost());
    return RaisePenaltyToMultipliers(RaisePenaltyForSlacks(m_lp.Solve(), record), record);
}

void SlpRun::KeepMultipliers() {
    const size_t n = m_x.size(), m = m_model.constraints.size();
    const double* duals = m_lp.Duals();
    const double* reduced = m_lp.ReducedCosts();
    m_lpSolution.assign(m_lp.Solution(), m_lp.Solution() + n);
    m_lpReducedCosts.assign(reduced, reduced + n);
    // Shadow prices of the user's objective, in its units.
    m_duals.resize(m);
    for (size_t i = 0; i < m; ++i) m_duals[i] = m_sign * duals[i] * m_scaling.row[i] / m_scaling.objective;
    m_reducedCosts.resize(n);
    for (size_t j = 0; j < n; ++j)
        m_reducedCosts[j] = m_sign * reduced[j] / (m_scaling.column[j] * m_scaling.objective);
}

// No boxed variable is held by its box against a reduced cost: the LP's
// multipliers show no reason to move further.
bool SlpRun::Stationary() const {
    const std::vector<double>& solution = m_lpSolution;
    const std::vector<double>& reduced = m_lpReducedCosts;
    for (size_t j = 0; j < m_x.size(); ++j) {
        if (!m_nonlinear[j]) continue;
        const VariableSpec& v = m_model.variables[j];
        const double margin = 1e-9 * (1 + std::fabs(m_x[j]));
        const bool heldBelow = m_x[j] - m_box[j] > v.lower + margin && solution[j] <= m_x[j] - m_box[j] + margin;
        const bool heldAbove = m_x[j] + m_box[j] < v.upper - margin && solution[j] >= m_x[j] + m_box[j] - margin;
        if ((heldBelow || heldAbove) && std::fabs(reduced[j]) > 1e-7) return false;
    }
    return true;
}

// The LP's point, within the variables' bounds.
std::vector<double> SlpRun::Candidate() const {
    const double* solution = m_lp.Solution();
    std::vector<double> candidate(solution, solution + m_x.size());
    for (size_t j = 0; j < candidate.size(); ++j)
        candidate[j] = std::clamp(candidate[j], m_model.variables[j].lower, m_model.variables[j].upper);
    return candidate;
}

// A step that falls short of the LP's promise leaves the rows by what the
// expansion omits: each bilinear term's coefficient times the product of
// its factors' steps.  That remainder is moved into the rows' right-hand
// sides and the same LP solved again (a second-order correction), so the
// step follows the curved rows; the corrected point replaces the
// candidate when its merit is lower.  Without it the violation the step
// makes is as large as the one it removes, and the boxes cannot grow.
bool SlpRun::CorrectStep(std::vector<double>& candidate, double predictedMerit) {
    const double current = Merit(m_x), candidateMerit = Merit(candidate);
    if (current - candidateMerit >= m_options.goodRatio * (current - predictedMerit)) return false;
    std::vector<double> remainder(m_model.constraints.size(), 0.0);
    bool curved = false;
    for (size_t i = 0; i < remainder.size(); ++i) {
        for (const Bilinear& term : m_model.constraints[i].expression.bilinear) {
            const double product = (candidate[static_cast<size_t>(term.first)] - m_x[static_cast<size_t>(term.first)]) *
                                   (candidate[static_cast<size_t>(term.second)] - m_x[static_cast<size_t>(term.second)]);
            remainder[i] += term.coefficient * product;
            curved = curved || product != 0;
        }
    }
    if (!curved) return false;
    m_lp.ShiftRows(remainder);  // until the next expansion
    if (m_lp.Solve() != 0) return false;
    std::vector<double> corrected = Candidate();
    if (Merit(corrected) >= candidateMerit) return false;
    candidate = std::move(corrected);
    return true;
}

bool SlpRun::TakeStep(const std::vector<double>& candidate, double predictedMerit,
                      IterationRecord& record) {
    const double current = Merit(m_x);
    const double predicted = current - predictedMerit;
    const double actual = current - Merit(candidate);
    // Rounding in the merit's sums: differences below it are noise.
    const double noise = 1e-11 * (1 + std::fabs(current));
    if (predicted <= std::max(m_options.convergenceTolerance * (1 + std::fabs(current)), noise)) {
        // The LP finds nothing better within the boxes: a stationary point.
        record.ratio = 1;
        m_stalled = true;
        return false;
    }
    const double ratio = actual / predicted;
    record.ratio = ratio;
    if (actual < m_options.acceptRatio * predicted - noise) {
        for (size_t j = 0; j < m_x.size(); ++j) {
            if (m_nonlinear[j]) m_box[j] *= 0.5;
            m_lastStep[j] = 0;
        }
        record.warnings.push_back("step rejected (it achieved " + Number(ratio) +
                                  " of the predicted fall); step boxes halved");
        return false;
    }
    int grown = 0, shrunk = 0;
    for (size_t j = 0; j < m_x.size(); ++j) {
        if (!m_nonlinear[j]) continue;
        const double step = candidate[j] - m_x[j];
        const bool significant = std::fabs(step) > 1e-3 * m_box[j];
        if (significant && step * m_lastStep[j] < 0 && ratio <= m_options.goodRatio) {
            m_box[j] *= 0.5;
            ++shrunk;
        } else if (ratio < m_options.poorRatio) {
            m_box[j] *= 0.5;
        } else if (std::fabs(step) >= 0.999 * m_box[j] && (ratio > m_options.goodRatio || step * m_lastStep[j] > 0)) {
            // Met on a good step, or met again in the same direction: the box holds the variable back.
            const VariableSpec& v = m_model.variables[j];
            const double range = v.upper - v.lower;
            m_box[j] = std::isfinite(range) ? std::min(2 * m_box[j], range) : 2 * m_box[j];
            ++grown;
        }
        m_lastStep[j] = significant ? step : 0;
    }
    if (shrunk > 0)
        record.warnings.push_back("step boxes halved on " + std::to_string(shrunk) +
                                  " oscillating variables");
    if (grown > 0)
        record.information.push_back("step boxes doubled on " + std::to_string(grown) + " variables");
    if (ratio < m_options.poorRatio) record.warnings.push_back("poor step: every step box halved");
    return true;
}

// Where a violated row's bilinear term has a factor at zero, the other
// factor's gradient vanishes and no LP can move it: such variables are moved
// half their box into their range, a few times per run.
bool SlpRun::PerturbZeroGradients(IterationRecord& record) {
    if (m_perturbations >= 3) return false;
    std::vector<bool> moved(m_x.size(), false);
    int count = 0;
    for (const Constraint& c : m_model.constraints) {
        if (Violation(c.type, c.expression.Value(m_x), c.rhs) <= m_options.feasibilityTolerance) continue;
        for (const Bilinear& term : c.expression.bilinear) {
            for (auto [variable, partner] : {std::pair{term.first, term.second}, std::pair{term.second, term.first}}) {
                if (m_x[partner] != 0 || moved[partner]) continue;
                const VariableSpec& v = m_model.variables[partner];
                const double box = std::max(m_box[partner], InitialBox(v));
                const double target = m_x[partner] + 0.5 * box <= v.upper ? m_x[partner] + 0.5 * box
                                                                            : m_x[partner] - 0.5 * box;
                m_x[partner] = std::clamp(target, v.lower, v.upper);
                moved[partner] = true;
                count += m_x[partner] != 0 ? 1 : 0;
                (void)variable;
            }
        }
    }
    if (count == 0) return false;
    ++m_perturbations;
    record.information.push_back("the violation's gradient vanishes: " + std::to_string(count) +
                                 " variables at zero moved into their range");
    return true;
}

void SlpRun::Diagnose(int status, Result& result) {
    const int n = static_cast<int>(m_x.size()), m = static_cast<int>(m_model.constraints.size());
    result.lpStatus = status == 1 ? 1 : status == 2 ? 2 : 3;
    result.rowDiagnosis.assign(m, 0.0);
    if (status == 1) {
        const std::vector<double> ray = m_lp.FarkasRay();
        for (int i = 0; i < m && i < static_cast<int>(ray.size()); ++i) result.rowDiagnosis[i] = ray[i];
    } else if (status == 2) {
        const std::vector<double> ray = m_lp.PrimalRay();
        std::vector<bool> blamed(m, false);
        for (int j = 0; j < n && j < static_cast<int>(ray.size()); ++j) {
            if (std::fabs(ray[j]) <= 1e-9) continue;
            result.blamedColumns.push_back(j);
            for (int i = 0; i < m; ++i) {
                for (const Term& term : m_model.constraints[i].expression.linear)
                    if (term.variable == j) blamed[i] = true;
            }
        }
        for (int i = 0; i < m; ++i)
            if (blamed[i]) result.blamedRows.push_back(i);
    }
}

// An irreducible infeasible set of rows of the last linearisation (its
// slacks held at zero): the rows the LP's Farkas ray uses, then a deletion
// filter that frees each in turn and keeps it freed while the rest stay
// infeasible.
void SlpRun::FindConflict(Result& result) {
    const int m = static_cast<int>(m_model.constraints.size());
    SetBounds(false);  // the model's bounds within the boxes, not the steps' rule
    m_lp.Expand(m_model, m_x, 0.0, 1.0);
    std::vector<double> weights;
    result.conflictRows = m_lp.IrreducibleInfeasibleRows(weights, result.conflictIrreducible);
    result.rowDiagnosis.assign(m, 0.0);
    for (int row : result.conflictRows) {
        const double weight = weights[static_cast<size_t>(row)] * m_scaling.row[static_cast<size_t>(row)];
        result.rowDiagnosis[static_cast<size_t>(row)] = std::fabs(weight) > 1e-12 ? weight : 1;
    }
    if (!result.conflictRows.empty()) result.lpStatus = 1;
}

// "rows R1, R2 of the last linearisation conflict (variables X, Y)".
std::string SlpRun::ConflictText(const std::vector<int>& rows, bool irreducible) const {
    std::string names, variables;
    std::vector<bool> listed(m_x.size(), false);
    for (int row : rows) {
        const Constraint& c = m_original.constraints[static_cast<size_t>(row)];
        names += (names.empty() ? "" : ", ") + c.name;
        auto list = [&](int variable) {
            if (listed[static_cast<size_t>(variable)]) return;
            listed[static_cast<size_t>(variable)] = true;
            variables += (variables.empty() ? "" : ", ") + m_original.variables[static_cast<size_t>(variable)].name;
        };
        for (const Term& term : c.expression.linear) list(term.variable);
        for (const Bilinear& term : c.expression.bilinear) {
            list(term.first);
            list(term.second);
        }
    }
    const std::string set = irreducible ? "an irreducible infeasible set"
                                        : "an infeasible set (its first " + std::to_string(Linearisation::kConflictSolves) +
                                              " rows tested one by one, the rest kept untested)";
    return set + " of the last linearisation: " + names + " (variables " + variables + ")";
}

Result SlpRun::Run() {
    Result result;
    IterationRecord initial = Describe(m_x);
    initial.information.push_back("initial point: the model's start values within their bounds");
    m_sink.Record(initial);
    double lastObjective = initial.objective;
    std::vector<double> recentObjectives;
    for (int iteration = 0; iteration < m_options.iterationLimit; ++iteration) {
        if (m_options.stop != nullptr && m_options.stop->load()) {
            result.outcome = Outcome::Interrupted;
            break;
        }
        IterationRecord record;
        const int status = SolveLp(record);
        ++result.majorIterations;
        if (status != 0) {
            Diagnose(status, result);
            result.outcome = status == 1 ? Outcome::LpInfeasible : status == 2 ? Outcome::Unbounded
                                                                               : Outcome::LpFailure;
            IterationRecord failed = Describe(m_x);
            failed.information = record.information;
            failed.errors.push_back(status == 1 ? "the rows without nonlinear variables are infeasible (CLP status 1)"
                                    : status == 2 ? "the LP is unbounded with its slacks bounded (CLP status 2)"
                                                  : "the LP is not solved (CLP status " + std::to_string(status) + ")");
            m_sink.Record(failed);
            break;
        }
        const size_t n = m_x.size();
        std::vector<double> candidate = Candidate();
        const double predictedMerit = m_lp.PredictedMerit();
        KeepMultipliers();
        if (CorrectStep(candidate, predictedMerit)) record.information.push_back("second-order correction of the step");

        const std::vector<double> before = m_x;
        m_stalled = false;
        const bool taken = TakeStep(candidate, predictedMerit, record);
        if (taken) m_x = candidate;
        IterationRecord described = Describe(m_x);
        described.ratio = record.ratio;
        described.warnings = record.warnings;
        described.information = record.information;
        double maxStep = 0;  // over the boxed variables: the others follow them
        for (size_t j = 0; j < n; ++j)
            if (m_nonlinear[j]) maxStep = std::max(maxStep, std::fabs(m_x[j] - before[j]) / (1 + std::fabs(before[j])));
        described.maxStep = maxStep;
        described.objectiveChange =
            std::fabs(described.objective - lastObjective) / (1 + std::fabs(lastObjective));
        lastObjective = described.objective;
        const bool small = taken && maxStep <= m_options.convergenceTolerance * 1e3 &&
                           described.objectiveChange <= m_options.convergenceTolerance && Stationary();
        bool boxesGone = true;
        for (size_t j = 0; j < n; ++j)
            if (m_nonlinear[j] && m_box[j] > m_options.convergenceTolerance * (1 + std::fabs(m_x[j])))
                boxesGone = false;
        // Feasible steps whose objective moves less than the feasibility
        // tolerance over five taken steps: a crawl along the rows, not progress.
        if (taken) recentObjectives.push_back(described.objective);
        const bool crawling = taken && recentObjectives.size() > 5 && described.feasible && m_phase == Phase::Optimality &&
                              std::fabs(described.objective - recentObjectives[recentObjectives.size() - 6]) <=
                                  m_options.feasibilityTolerance * (1 + std::fabs(described.objective));
        const bool settled = m_stalled || small || boxesGone || crawling;
        const bool feasible = described.feasible;
        if (m_phase == Phase::Feasibility && feasible) {
            m_phase = Phase::Optimality;
            m_penalty = std::min(m_options.maxPenalty, 10 * m_penalty);
            described.information.push_back("feasible again: back to the objective with the penalty " +
                                            Number(m_penalty));
            described.merit = Merit(m_x) / m_scaling.objective;
            m_sink.Record(described);
            continue;
        }
        if (settled && !feasible && m_phase == Phase::Optimality) {
            m_phase = Phase::Feasibility;
            described.information.push_back("the point is not feasible: minimising the violation");
            described.merit = Merit(m_x) / m_scaling.objective;
            m_sink.Record(described);
            continue;
        }
        if (settled && !feasible && PerturbZeroGradients(described)) {
            m_sink.Record(described);
            continue;
        }
        if (settled && !feasible) {
            described.information.push_back("locally infeasible: the violation stalls at " +
                                            Number(described.maxViolation));
            FindConflict(result);
            if (!result.conflictRows.empty())
                described.errors.push_back(ConflictText(result.conflictRows, result.conflictIrreducible));
        } else if (settled) {
            described.information.push_back("converged");
        }
        m_sink.Record(described);
        if (settled) {
            result.outcome = feasible ? Outcome::Converged : Outcome::Infeasible;
            break;
        }
    }
    result.x = Unscaled(m_x);
    result.objective = m_original.objective.Value(result.x);
    for (const Constraint& c : m_original.constraints)
        result.violation = std::max(result.violation, Violation(c.type, c.expression.Value(result.x), c.rhs));
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
        case Outcome::Interrupted: return "Interrupted";
    }
    return "";
}

std::string OutcomeLine(const Result& result) {
    std::string line = OutcomeText(result.outcome);
    if (result.outcome == Outcome::Infeasible) line += " (locally: the violation stalls at " + Number(result.violation) + ")";
    line += " after " + std::to_string(result.majorIterations) + " major iterations, objective ";
    char objective[32];
    std::snprintf(objective, sizeof objective, "%.10g", result.objective);
    return line + objective;
}

}  // namespace slp
