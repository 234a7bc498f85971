// The region "Active Variable Bounds": variables that rest on one of their
// own bounds or on an end of their step box, with a shadow price that is
// not negligible.
#include <cmath>
#include <cstring>
#include <optional>

#include "output/markup.h"
#include "sections/details.h"
#include "sections/step_box.h"

namespace {

// The bound word of a row, or null when the row is not written.
const char* BoundWordOf(ReportWriter& writer, const IVELDVariable& variable,
                        const VariableTriple& triple, const std::string& name) {
    const double value = triple.value, shadowPrice = triple.shadowPrice;
    const double lower = variable.GetLowerBound(), upper = variable.GetUpperBound();
    const bool qVariable = IsQVariableName(name);
    if (qVariable && upper - lower < kBoundTolerance) return nullptr;

    const short status = variable.GetStatus();
    const ShownBounds bounds = ShownBoundsOf(lower, upper, status, triple);
    const bool stepMode = bounds.stepLimited && lower < value && value < upper;

    if (!(std::fabs(shadowPrice) > kBoundTolerance)) return nullptr;
    if (status == VariableStatus::kConstant) return nullptr;

    if (std::fabs(value - bounds.lower) < kBoundTolerance) {
        if (bounds.lower == 0.0 && !qVariable) return nullptr;
        return writer.Text(stepMode ? kMsgBoundStepLower : kMsgBoundLower).c_str();
    }
    if (std::fabs(value - bounds.upper) < kBoundTolerance)
        return writer.Text(stepMode ? kMsgBoundStepUpper : kMsgBoundUpper).c_str();
    return "";  // at neither end: the bound column stays blank
}

}  // namespace

bool IsQVariableName(const std::string& name) {
    if (name.empty() || (name[0] != 'Q' && name[0] != 'q')) return false;
    if (name.size() < 4) return true;
    const char* first = name.c_str() + 1;
    return std::strncmp(first, "VBL", 3) != 0 && std::strncmp(first, "WBL", 3) != 0;
}

void WriteActiveBounds(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    if (block.current->GetIter() <= 0) return;
    Region table = OpenGreenTable(writer, report_layout::kActiveBounds);

    const TripleArray<VariableTriple> triples = VariableTriples(block.current);
    std::string name;
    for (IVELDVariable* variable : model.variablesInNameOrder) {
        const std::optional<VariableTriple> triple = triples.Of(variable->GetNumber());
        const char* itemName = variable->GetName();
        if (!triple || itemName == nullptr) continue;
        name.assign(itemName);
        const char* boundWord = BoundWordOf(writer, *variable, *triple, name);
        if (boundWord == nullptr) continue;
        FormatLine(writer.Line(), report_layout::kActiveBoundRow, itemName, triple->value, boundWord,
                   triple->shadowPrice);
        writer.WriteFormatted();
    }
}
