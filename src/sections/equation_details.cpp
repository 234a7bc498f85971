// The region "Equation Details": every equation with its residual, shadow
// price, infeasibility slack, scale and form.
#include "output/markup.h"
#include "sections/details.h"

namespace {

constexpr char kEquationRow[] = "%-22s%12.5g   %12.5g   %12.5g   %12.5g       %s";

}  // namespace

void WriteEquationDetails(RunContext& run, const DetailsState& state, const IterationBlock& block) {
    OpenGreenTable(run, kMsgEquationDetails, kMsgEquationDetailsHeader);
    const Triples triples = EquationTriples(block.current);
    int rowCount = 0;
    for (IVELDEquation* equation : state.equationsInNameOrder) {
        const double* triple = triples.Of(equation->GetNumber());
        const char* name = equation->GetName();
        if (triple == nullptr || name == nullptr) continue;
        ++rowCount;
        RepeatHeaderBefore(run, rowCount, kMsgEquationDetailsHeader);
        const unsigned formId = equation->IsNonlinear() > 0 ? kMsgNonLinear : kMsgLinear;
        FormatLine(run.lineA, kEquationRow, name, triple[0], triple[1], triple[2],
                   equation->GetScale(), run.Text(formId).c_str());
        run.Out() << run.lineA << "\n";
    }
    run.WriteRegionEnd();
}
