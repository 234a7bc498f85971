// The four short sorted lists of an iteration block: largest residuals,
// shadow prices, feasibility slacks and variable changes.  The solver
// library sorts; the report filters and formats.
#include <cmath>
#include <optional>

#include "output/markup.h"
#include "sections/details.h"

namespace {

constexpr char kTwoValueRow[] = "%-22s%12.5g    %12.5g     %s";
constexpr char kSlackRow[] = "%-22s%12.5g";
constexpr char kChangeRow[] = "%-22s%12.5g    %12.5g   %12.5g";

using EquationField = double EquationTriple::*;

struct EquationListStyle {
    unsigned titleId;
    unsigned headerId;
    int criterion;             // a SortCriterion code
    EquationField sorted;      // the value sorted by, in the first number column
    EquationField other;       // the second number column, with the form; null: none
};

// Sorts by the style's criterion and writes one row per listed equation whose
// sorted quantity is not 0.
void WriteEquationList(RunContext& run, DetailsState& state, const IterationBlock& block,
                       const EquationListStyle& style) {
    std::vector<int>& index = run.equationIndex;
    std::fill(index.begin(), index.end(), -1);
    CTARN_Control::ReturnResidualSortedList(run.modelManager, block.current,
                                            state.equationListLength, index.data(),
                                            style.criterion);
    OpenGreenTable(run, style.titleId, style.headerId);

    const TripleArray<EquationTriple> triples = EquationTriples(block.current);
    for (int position = 0; position < state.equationListLength; ++position) {
        const int number = index[static_cast<std::size_t>(position)] + 1;
        IVELDEquation* equation = nullptr;
        if (number < 1 || state.equations == nullptr) continue;
        state.equations->GetAt(number, &equation);
        const std::optional<EquationTriple> triple = triples.Of(number);
        if (equation == nullptr || !triple) continue;
        const double sorted = (*triple).*style.sorted;
        if (!(std::fabs(sorted) > 0)) continue;
        const char* name = equation->GetName();
        if (style.other == nullptr)
            FormatLine(run.lineA, kSlackRow, name ? name : "", sorted);
        else
            FormatLine(run.lineA, kTwoValueRow, name ? name : "", sorted, (*triple).*style.other,
                       FormWord(run, *equation).c_str());
        run.Out() << run.lineA << "\n";
    }
    run.WriteRegionEnd();
}

}  // namespace

void WriteLargestResiduals(RunContext& run, DetailsState& state, const IterationBlock& block) {
    WriteEquationList(run, state, block,
                      {kMsgLargestResiduals, kMsgResidualsHeader, SortCriterion::kResidual,
                       &EquationTriple::residual, &EquationTriple::shadowPrice});
}

void WriteLargestShadowPrices(RunContext& run, DetailsState& state, const IterationBlock& block) {
    WriteEquationList(run, state, block,
                      {kMsgLargestShadowPrices, kMsgShadowPricesHeader, SortCriterion::kShadowPrice,
                       &EquationTriple::shadowPrice, &EquationTriple::residual});
}

void WriteLargestFeasibilitySlacks(RunContext& run, DetailsState& state,
                                   const IterationBlock& block) {
    CTARNIterationData& data = *block.current;
    if (data.GetIter() == run.lastIteration &&
        data.GetFeasValue() > run.optionTable->GetFeasTolerance())
        run.infeasibilityState = kNonlinearPart;
    WriteEquationList(run, state, block,
                      {kMsgLargestFeasibilitySlacks, kMsgFeasibilitySlacksHeader,
                       SortCriterion::kSlack, &EquationTriple::slack, nullptr});
}

void WriteLargestVariableChange(RunContext& run, DetailsState& state,
                                const IterationBlock& block) {
    int outOfTolerance = 0;
    CTARN_Control::ReturnVariableDeltaSortedList(
        run.modelManager, block.current, block.previous, state.variableListLength,
        run.variableIndex.data(), &outOfTolerance, run.optionTable->GetDeltaTolerance1(),
        run.optionTable->GetDeltaTolerance2());

    run.WriteLine(markup::kGreenRegion, run.Text(kMsgLargestVariableChange).c_str());
    LoadMessage(run.module, kMsgOutOfTolerance, &run.messageBuffer, outOfTolerance);
    run.Out() << run.messageBuffer << "\n";
    run.WriteLine(markup::kGreenHeader, run.Text(kMsgVariableChangeHeader).c_str());

    const TripleArray<VariableTriple> current = VariableTriples(block.current);
    const TripleArray<VariableTriple> previous = VariableTriples(block.previous);
    for (int position = 0; position < state.variableListLength; ++position) {
        const int number = run.variableIndex[static_cast<std::size_t>(position)] + 1;
        IVELDVariable* variable = nullptr;
        if (number < 1 || state.variables == nullptr) continue;
        state.variables->GetAt(number, &variable);
        const std::optional<VariableTriple> newTriple = current.Of(number);
        const std::optional<VariableTriple> oldTriple = previous.Of(number);
        if (variable == nullptr || !newTriple || !oldTriple) continue;
        const double newValue = newTriple->value;
        const double oldValue = oldTriple->value;
        const double relativeChange = std::fabs(newValue - oldValue) / (std::fabs(oldValue) + 1.0);
        if (!(relativeChange > 0)) continue;
        const char* name = variable->GetName();
        FormatLine(run.lineA, kChangeRow, name ? name : "", relativeChange, newValue, oldValue);
        run.Out() << run.lineA << "\n";
    }
    run.WriteRegionEnd();
}
