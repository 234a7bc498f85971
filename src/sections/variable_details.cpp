// The region "Variable Details": every variable with its bounds (or step
// box), value, step, shadow price, status and type.
#include "output/markup.h"
#include "sections/details.h"
#include "sections/step_box.h"

namespace {

unsigned StatusWordId(short status) {
    switch (status) {
        case VariableStatus::kOptimised: return kMsgStatusOptim;
        case VariableStatus::kConstant: return kMsgStatusConst;
        case VariableStatus::kIndependent: return kMsgStatusIndep;
        default: return kMsgStatusCalc;
    }
}

unsigned TypeWordId(short type) {
    switch (type) {
        case VariableType::kBinary: return kMsgTypeBinary;
        case VariableType::kInteger: return kMsgTypeInteger;
        case VariableType::kSemiContinuous: return kMsgTypeSemiCont;
        default: return kMsgTypeCont;
    }
}

void FormatVariableRow(TextBuffer& line, const char* name, const ShownBounds& bounds,
                       const VariableTriple& triple, const char* status, const char* type) {
    const double value = triple.value, step = triple.step, shadowPrice = triple.shadowPrice;
    const bool lowerFinite = bounds.lower > kMinusInfinity;
    const bool upperFinite = bounds.upper < kPlusInfinity;
    const bool lowerInfinite = bounds.lower <= kMinusInfinity;
    const bool upperInfinite = bounds.upper >= kPlusInfinity;
    if (bounds.stepLimited)
        FormatLine(line, report_layout::kVariableStepLimitedRow, name, bounds.lower, "S", value, bounds.upper, "S", step,
                   shadowPrice, status, type);
    else if (lowerInfinite && upperInfinite)
        FormatLine(line, report_layout::kVariableFreeRow, name, "-inf", value, "+inf", "", shadowPrice, status, type);
    else if (lowerFinite && upperInfinite)
        FormatLine(line, report_layout::kVariableUpperInfiniteRow, name, bounds.lower, value, "+inf", "", shadowPrice,
                   status, type);
    else if (lowerInfinite && upperFinite)
        FormatLine(line, report_layout::kVariableLowerInfiniteRow, name, "-inf", value, bounds.upper, "", shadowPrice,
                   status, type);
    else  // both finite, or a bound that is not a number
        FormatLine(line, report_layout::kVariableBoundedRow, name, bounds.lower, value, bounds.upper, "", shadowPrice,
                   status, type);
}

void FormatVariableDetailsRow(ReportWriter& writer, const IVELDVariable& variable,
                              const char* name, const VariableTriple& triple) {
    const short status = variable.GetStatus();
    const ShownBounds bounds =
        ShownBoundsOf(variable.GetLowerBound(), variable.GetUpperBound(), status, triple);
    FormatVariableRow(writer.Line(), name, bounds, triple, writer.Text(StatusWordId(status)).c_str(),
                      writer.Text(TypeWordId(variable.GetType())).c_str());
}

}  // namespace

void WriteVariableDetails(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    WriteItemTable(writer, report_layout::kVariableDetails, model.variablesInNameOrder,
                   VariableTriples(block.current),
                   FormatVariableDetailsRow);
}
