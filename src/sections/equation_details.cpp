// The region "Equation Details": every equation with its residual, shadow
// price, infeasibility slack, scale and form.
#include <optional>

#include "output/markup.h"
#include "sections/details.h"

namespace {

constexpr char kEquationRow[] = "%-22s%12.5g   %12.5g   %12.5g   %12.5g       %s";

}  // namespace

void WriteEquationDetails(RunContext& run, const DetailsState& state, const IterationBlock& block) {
    OpenGreenTable(run, kMsgEquationDetails, kMsgEquationDetailsHeader);
    const TripleArray<EquationTriple> triples = EquationTriples(block.current);
    int rowCount = 0;
    for (IVELDEquation* equation : state.equationsInNameOrder) {
        const std::optional<EquationTriple> triple = triples.Of(equation->GetNumber());
        const char* name = equation->GetName();
        if (!triple || name == nullptr) continue;
        ++rowCount;
        RepeatHeaderBefore(run, rowCount, kMsgEquationDetailsHeader);
        FormatLine(run.lineA, kEquationRow, name, triple->residual, triple->shadowPrice,
                   triple->slack, equation->GetScale(), FormWord(run, *equation).c_str());
        run.Out() << run.lineA << "\n";
    }
    run.WriteRegionEnd();
}
