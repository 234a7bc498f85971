// The region "Active Variable Bounds": variables that rest on one of their
// own bounds or on an end of their step box, with a shadow price that is
// not negligible.
#include <cmath>
#include <cstring>

#include "output/markup.h"
#include "sections/details.h"
#include "sections/step_box.h"

namespace {

constexpr double kBoundTolerance = 1e-6;
constexpr char kActiveBoundRow[] = "%-22s%12.5g      %10s   %12.5g";

// The bound word of a row, or null when the row is not written.
const char* BoundWordOf(RunContext& run, const IVELDVariable& variable, const double* triple,
                        const std::string& name) {
    const double value = triple[0], step = triple[1], shadowPrice = triple[2];
    const double lower = variable.GetLowerBound(), upper = variable.GetUpperBound();
    const bool qVariable = IsQVariableName(name);
    if (qVariable && upper - lower < kBoundTolerance) return nullptr;

    const short status = variable.GetStatus();
    const ShownBounds bounds = ShownBoundsOf(lower, upper, status, value, step, shadowPrice);
    const bool stepMode = bounds.stepLimited && lower < value && value < upper;

    if (!(std::fabs(shadowPrice) > kBoundTolerance)) return nullptr;
    if (status == kStatusConstant) return nullptr;

    if (std::fabs(value - bounds.lower) < kBoundTolerance) {
        if (bounds.lower == 0.0 && !qVariable) return nullptr;
        return run.Text(stepMode ? kMsgBoundStepLower : kMsgBoundLower).c_str();
    }
    if (std::fabs(value - bounds.upper) < kBoundTolerance)
        return run.Text(stepMode ? kMsgBoundStepUpper : kMsgBoundUpper).c_str();
    return "";  // at neither end: the bound column stays blank
}

}  // namespace

bool IsQVariableName(const std::string& name) {
    if (name.empty() || (name[0] != 'Q' && name[0] != 'q')) return false;
    if (name.size() < 4) return true;
    const char* first = name.c_str() + 1;
    return std::strncmp(first, "VBL", 3) != 0 && std::strncmp(first, "WBL", 3) != 0;
}

void WriteActiveBounds(RunContext& run, const DetailsState& state, const IterationBlock& block) {
    if (block.current->GetIter() <= 0) return;
    OpenGreenTable(run, kMsgActiveBounds, kMsgActiveBoundsHeader);

    const Triples triples = VariableTriples(block.current);
    std::string name;
    for (IVELDVariable* variable : state.variablesInNameOrder) {
        const double* triple = triples.Of(variable->GetNumber());
        const char* itemName = variable->GetName();
        if (triple == nullptr || itemName == nullptr) continue;
        name.assign(itemName);
        const char* boundWord = BoundWordOf(run, *variable, triple, name);
        if (boundWord == nullptr) continue;
        FormatLine(run.lineA, kActiveBoundRow, itemName, triple[0], boundWord, triple[2]);
        run.Out() << run.lineA << "\n";
    }
    run.WriteRegionEnd();
}
