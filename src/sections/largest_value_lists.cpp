// The four short sorted lists of an iteration block: largest residuals,
// shadow prices, feasibility slacks and variable changes.  The solver
// library sorts; the report filters and formats.
#include <cmath>
#include <optional>
#include <vector>

#include "output/markup.h"
#include "sections/details.h"

namespace {

using EquationField = double EquationTriple::*;

struct EquationListStyle {
    const report_layout::Table* table;
    int criterion;             // a SortCriterion code
    EquationField sorted;      // the value sorted by, in the first number column
    EquationField other;       // the second number column, with the form; null: none
};

// Calls `visit(item, number)` for each item that a sorted index array
// names, in its order (the array holds 0-based positions, -1 where the
// library put none).
template <typename Item, typename Set, typename Visit>
void ForEachListedItem(Set* set, const std::vector<int>& index, Visit visit) {
    if (set == nullptr) return;
    for (const int position : index) {
        const int number = position + 1;
        Item* item = nullptr;
        if (number >= 1) set->GetAt(number, &item);
        if (item != nullptr) visit(*item, number);
    }
}

// Sorts by the style's criterion and writes one row per listed equation whose
// sorted quantity is not 0.
void WriteEquationList(const RunModel& model, ReportWriter& writer, const IterationBlock& block,
                       const EquationListStyle& style) {
    std::vector<int> index(static_cast<std::size_t>(model.equationListLength), -1);
    CTARN_Control::ReturnResidualSortedList(model.modelManager, block.current,
                                            model.equationListLength, index.data(),
                                            style.criterion);
    Region table = OpenGreenTable(writer, *style.table);

    const TripleArray<EquationTriple> triples = EquationTriples(block.current);
    ForEachListedItem<IVELDEquation>(model.equations, index, [&](IVELDEquation& equation, int number) {
        const std::optional<EquationTriple> triple = triples.Of(number);
        if (!triple) return;
        const double sorted = (*triple).*style.sorted;
        if (!(std::fabs(sorted) > 0)) return;
        const char* name = equation.GetName();
        if (style.other == nullptr)
            FormatLine(writer.Line(), report_layout::kSlackRow, name ? name : "", sorted);
        else
            FormatLine(writer.Line(), report_layout::kTwoValueRow, name ? name : "", sorted,
                       (*triple).*style.other, FormWord(writer, equation).c_str());
        writer.WriteFormatted();
    });
}

}  // namespace

void WriteLargestResiduals(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    WriteEquationList(model, writer, block,
                      {&report_layout::kLargestResiduals, SortCriterion::kResidual,
                       &EquationTriple::residual, &EquationTriple::shadowPrice});
}

void WriteLargestShadowPrices(const RunModel& model, ReportWriter& writer,
                              const IterationBlock& block) {
    WriteEquationList(model, writer, block,
                      {&report_layout::kLargestShadowPrices, SortCriterion::kShadowPrice,
                       &EquationTriple::shadowPrice, &EquationTriple::residual});
}

void WriteLargestFeasibilitySlacks(const RunModel& model, ReportWriter& writer,
                                   const IterationBlock& block) {
    WriteEquationList(model, writer, block,
                      {&report_layout::kLargestSlacks,
                       SortCriterion::kSlack, &EquationTriple::slack, nullptr});
}

void WriteLargestVariableChange(const RunModel& model, ReportWriter& writer,
                                const IterationBlock& block) {
    int outOfTolerance = 0;
    std::vector<int> index(static_cast<std::size_t>(model.variableListLength), -1);
    CTARN_Control::ReturnVariableDeltaSortedList(
        model.modelManager, block.current, block.previous, model.variableListLength, index.data(),
        &outOfTolerance, model.optionTable->GetDeltaTolerance1(),
        model.optionTable->GetDeltaTolerance2());

    Region region =
        writer.OpenRegion(markup::kGreenRegion, writer.Text(report_layout::kLargestVariableChange.title).c_str());
    writer.Out() << writer.Message(kMsgOutOfTolerance, outOfTolerance) << "\n";
    writer.WriteLine(markup::kGreenHeader, writer.Text(report_layout::kLargestVariableChange.header).c_str());

    const TripleArray<VariableTriple> current = VariableTriples(block.current);
    const TripleArray<VariableTriple> previous = VariableTriples(block.previous);
    ForEachListedItem<IVELDVariable>(model.variables, index, [&](IVELDVariable& variable, int number) {
        const std::optional<VariableTriple> newTriple = current.Of(number);
        const std::optional<VariableTriple> oldTriple = previous.Of(number);
        if (!newTriple || !oldTriple) return;
        const double newValue = newTriple->value;
        const double oldValue = oldTriple->value;
        const double relativeChange = std::fabs(newValue - oldValue) / (std::fabs(oldValue) + 1.0);
        if (!(relativeChange > 0)) return;
        const char* name = variable.GetName();
        FormatLine(writer.Line(), report_layout::kChangeRow, name ? name : "", relativeChange, newValue, oldValue);
        writer.WriteFormatted();
    });
}
