// What changed in a run from one iteration block to another, read from the
// two blocks' own tables: the variables' values (Variable Details), the
// active bounds (Active Variable Bounds), the equations' infeasibility
// (InfSlack of Equation Details) and the variables' status (Variable
// Details).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report_compare.h"
#include "report_reader.h"

namespace tarnview {

// A variable's active bound in a block: the ActiveBound field ("STEP
// LOWER", ...; empty when the row leaves it blank).
struct BoundChange {
    std::string name;
    std::optional<std::string> before, after;  // none: not in that block's active bounds
};

// An equation whose infeasibility (InfSlack) became or stopped being
// non-zero.
struct InfeasibilityChange {
    std::string name;
    double before = 0, after = 0;
    bool Became() const { return before == 0 && after != 0; }
};

struct StatusChange {
    std::string name;
    std::string before, after;
};

struct IterationDiff {
    int from = 0, to = 0;  // the blocks' numbers, as the summary numbers them
    // Every variable whose value differs, largest change first (by the
    // order asked for); Difference::column is "Value".
    std::vector<Difference> values;
    std::vector<BoundChange> bounds;                 // by name
    std::vector<InfeasibilityChange> infeasibility;  // by name
    std::vector<StatusChange> statuses;              // by name
    // The tables a block lacks ("Variable Details of Major Iteration 3"):
    // what they would have told is left out.
    std::vector<std::string> missing;
};

// The change from block `from` to block `to`; nullopt when the report has
// no block of one of these numbers.
std::optional<IterationDiff> DiffIterations(const Report& report, int from, int to,
                                            DifferenceOrder order = DifferenceOrder::kSize);

// The number of the block after block `number`, when there is one.
std::optional<int> NextIteration(const Report& report, int number);

}  // namespace tarnview
