// Solving one model from several starts at once.
#pragma once

#include "solver.h"

namespace slp {

// The start of number `start` (from 1): each variable drawn within its
// bounds (within ten times its start's size where a bound is infinite) by a
// generator seeded with the number.
std::vector<double> SpreadStart(const Model& model, int start);

// Solves from the model's own start and `starts` - 1 spread ones, on every
// core; the best feasible end (or, without one, the first start's) is the
// result, its iterations are recorded into `sink`, and its last entry names
// every start's end.  One start is recorded as it runs.
Result SolveFromStarts(const Model& model, const SolverOptions& options, int starts, IterationSink& sink);

}  // namespace slp
