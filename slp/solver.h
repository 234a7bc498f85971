// Successive linear programming for models with bilinear terms, each LP
// solved by COIN-OR CLP's dual simplex on one model per run, updated in
// place and re-solved from the previous basis.
//
// The model is first scaled (columns by their magnitude, rows and the
// objective by their largest coefficient, all by powers of two) so that
// tolerances and penalties are relative to its magnitudes.  At the current
// point every row is replaced by its first-order expansion; every row that
// holds a variable of a nonlinear term gets bounded elastic slacks,
// penalised in the LP's objective, so that the step boxes of those
// variables never make an LP infeasible.  The penalty is raised relative to
// the LP's row multipliers whenever the LP would rather pay for a slack at
// its bound.  A step is taken when the merit function (objective plus
// penalty times the rows' violation) falls by at least a share of what the
// LP promised, above a noise floor.  A point that settles with violated rows
// starts a feasibility phase that minimises the violation alone: it returns
// to the objective with a larger penalty once the point is feasible, and the
// model is declared locally infeasible when the violation stalls above the
// tolerance.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "model.h"

namespace slp {

struct SolverOptions {
    int iterationLimit = 200;
    double feasibilityTolerance = 1e-6;  // of the scaled rows
    double convergenceTolerance = 1e-9;  // relative change of objective and point
    double penalty = 10;                 // the first, in the scaled objective's units
    double maxPenalty = 1e8;
    double acceptRatio = 0.1;  // least share of the promised fall to take a step
    double poorRatio = 0.25;   // below: every box shrinks
    double goodRatio = 0.75;   // above: boxes met by the step grow
    double initialBoxShare = 0.25;  // of a variable's range (or of its size + 1)
    double toBoundShare = 0.5;      // the most of its distance to a bound a boxed variable goes in one step
    // Set from elsewhere (a signal handler) to end the run after the current LP.
    const std::atomic<bool>* stop = nullptr;
};

enum class Outcome { Converged, Infeasible, LpInfeasible, Unbounded, IterationLimit, LpFailure, Interrupted };

// One entry of the run, as the report shows it.
struct IterationRecord {
    std::vector<double> values, steps, reducedCosts;      // per variable
    std::vector<double> residuals, duals, violations;     // per constraint
    double objective = 0, merit = 0, infeasibility = 0, ratio = 0;
    double objectiveChange = 0, maxViolation = 0, maxStep = 0;
    bool feasible = true;     // every scaled row within the feasibility tolerance
    int mostInfeasible = -1;  // constraint index, or -1
    std::vector<std::string> errors, warnings, information;
};

struct Result {
    Outcome outcome = Outcome::IterationLimit;
    std::vector<double> x;
    double objective = 0;
    double violation = 0;  // the rows' largest violation at x
    int majorIterations = 0;
    int lpStatus = 0;  // of the last LP: 0 optimal, 1 infeasible, 2 unbounded, other
    std::vector<double> rowDiagnosis;               // per constraint (LP infeasible)
    std::vector<int> blamedRows, blamedColumns;     // (LP unbounded), from 0
    std::vector<int> conflictRows;                  // an infeasible set (infeasible end)
    bool conflictIrreducible = true;                // no row of it can be left out
    std::vector<std::string> startEnds;             // each start's end, when there were several
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

// The run's end in one line: "Successful after 3 major iterations, objective 400".
std::string OutcomeLine(const Result& result);

}  // namespace slp
