// Successive linear programming for models with bilinear terms, each LP
// solved by COIN-OR CLP's dual simplex.
//
// At the current point every nonlinear row is replaced by its first-order
// expansion, with elastic slacks (penalised in the objective) so that the
// LP stays feasible; the variables of nonlinear terms move within step
// boxes.  A step is taken when the merit function (objective plus penalty
// times the rows' violation) falls by at least a share of what the LP
// promised; boxes shrink for variables whose step changes direction and
// for poor or rejected steps, and grow for variables that met their box on
// a good step.  A point that converges with violated rows raises the
// penalty; at the largest penalty the model is declared infeasible.
#pragma once

#include <string>
#include <vector>

#include "model.h"

namespace slp {

struct SolverOptions {
    int iterationLimit = 200;
    double feasibilityTolerance = 1e-6;
    double convergenceTolerance = 1e-9;  // relative change of objective and point
    double penalty = 10;
    double maxPenalty = 1e8;
    double acceptRatio = 0.1;  // least share of the promised fall to take a step
    double poorRatio = 0.25;   // below: every box shrinks
    double goodRatio = 0.75;   // above: boxes met by the step grow
    double initialBoxShare = 0.25;  // of a variable's range (or of its size + 1)
};

enum class Outcome { Converged, Infeasible, LpInfeasible, Unbounded, IterationLimit, LpFailure };

// One entry of the run, as the report shows it.
struct IterationRecord {
    std::vector<double> values, steps, reducedCosts;      // per variable
    std::vector<double> residuals, duals, violations;     // per constraint
    double objective = 0, merit = 0, infeasibility = 0, ratio = 0;
    double objectiveChange = 0, maxViolation = 0, maxStep = 0;
    int mostInfeasible = -1;  // constraint index, or -1
    std::vector<std::string> errors, warnings, information;
};

struct Result {
    Outcome outcome = Outcome::IterationLimit;
    std::vector<double> x;
    double objective = 0;
    int majorIterations = 0;
    int lpStatus = 0;  // of the last LP: 0 optimal, 1 infeasible, 2 unbounded, other
    std::vector<double> rowDiagnosis;               // per constraint (LP infeasible)
    std::vector<int> blamedRows, blamedColumns;     // (LP unbounded), from 0
};

class IterationSink {
public:
    virtual ~IterationSink() = default;
    virtual void Record(const IterationRecord& record) = 0;
};

// Variables that appear in a bilinear term of the objective or a row.
std::vector<bool> NonlinearVariables(const Model& model);

Result Solve(const Model& model, const SolverOptions& options, IterationSink& sink);

const char* OutcomeText(Outcome outcome);

}  // namespace slp
