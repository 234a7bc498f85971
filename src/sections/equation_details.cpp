// The region "Equation Details": every equation with its residual, shadow
// price, infeasibility slack, scale and form.
#include "output/markup.h"
#include "sections/details.h"

namespace {

void FormatEquationRow(ReportWriter& writer, const IVELDEquation& equation, const char* name,
                       const EquationTriple& triple) {
    FormatLine(writer.Line(), report_layout::kEquationRow, name, triple.residual, triple.shadowPrice, triple.slack,
               equation.GetScale(), FormWord(writer, equation).c_str());
}

}  // namespace

void WriteEquationDetails(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    WriteItemTable(writer, report_layout::kEquationDetails, model.equationsInNameOrder,
                   EquationTriples(block.current), FormatEquationRow);
}
