// The region "Equation Details": every equation with its residual, shadow
// price, infeasibility slack, scale and form.
#include "output/markup.h"
#include "sections/details.h"

namespace {

constexpr char kEquationRow[] = "%-22s%12.5g   %12.5g   %12.5g   %12.5g       %s";

void FormatEquationRow(ReportWriter& writer, const IVELDEquation& equation, const char* name,
                       const EquationTriple& triple) {
    FormatLine(writer.Line(), kEquationRow, name, triple.residual, triple.shadowPrice, triple.slack,
               equation.GetScale(), FormWord(writer, equation).c_str());
}

}  // namespace

void WriteEquationDetails(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    WriteItemTable(writer, kMsgEquationDetails, kMsgEquationDetailsHeader,
                   model.equationsInNameOrder, EquationTriples(block.current), FormatEquationRow);
}
