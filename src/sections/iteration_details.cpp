// The region "Iteration Details": one block per iteration with its message
// lists and tables.
#include "output/markup.h"
#include "sections/details.h"
#include "sections/sections.h"

namespace {

constexpr int kHeaderPeriod = 52;

struct MessageListStyle {
    unsigned titleId;
    const char* regionFormat;
    unsigned labelId;
    const char* prefixFormat;
};

constexpr MessageListStyle kErrorStyle{kMsgErrorList, markup::kRedRegion, kMsgErrorLabel,
                                       markup::kErrorPrefix};
constexpr MessageListStyle kWarningStyle{kMsgWarningList, markup::kOrangeRegion,
                                         kMsgWarningLabel, markup::kWarningPrefix};
constexpr MessageListStyle kInformationStyle{kMsgInformationList, markup::kGreenRegion,
                                             kMsgInformationLabel, markup::kInformationPrefix};

void WriteMessageList(ReportWriter& writer, CTARNMessageList& list, const MessageListStyle& style) {
    const int count = list.GetCount();
    if (count <= 0) return;
    Region region = writer.OpenRegion(style.regionFormat, writer.Text(style.titleId).c_str());
    TextBuffer& prefix = writer.Insert();
    FormatLine(prefix, style.prefixFormat, writer.Text(style.labelId).c_str());
    std::string message = list.GetFirst();
    for (int written = 1;; ++written) {
        writer.Out() << prefix;
        markup::WriteOneLine(writer.Out(), message);
        writer.Out() << "\n";
        if (written >= count) break;
        message = list.GetNext();
    }
}

Region OpenBlock(ReportWriter& writer, CTARNIterationData& data) {
    const int iteration = data.GetIter();
    if (iteration == 0)
        return writer.OpenRegion(markup::kBlockRegion, writer.Text(kMsgInitialConditions).c_str());
    return writer.OpenRegion(markup::kBlockRegion,
                             writer.Message(kMsgMajorIteration, iteration - 1).c_str());
}

void WriteBlock(const RunModel& model, ReportWriter& writer, const IterationBlock& block) {
    CTARNIterationData& data = *block.current;
    Region region = OpenBlock(writer, data);
    WriteMessageList(writer, data.errorMessages, kErrorStyle);
    WriteMessageList(writer, data.warningMessages, kWarningStyle);
    WriteMessageList(writer, data.infoMessages, kInformationStyle);

    WriteLargestResiduals(model, writer, block);
    if (data.GetIter() > 0) WriteLargestShadowPrices(model, writer, block);
    if (data.GetFeasValue() > 0) WriteLargestFeasibilitySlacks(model, writer, block);
    if (block.previous != nullptr) WriteLargestVariableChange(model, writer, block);
    if (data.GetIter() > 0) WriteActiveBounds(model, writer, block);
    WriteVariableDetails(model, writer, block);
    WriteEquationDetails(model, writer, block);
}

}  // namespace

TripleArray<VariableTriple> VariableTriples(const CTARNIterationData* data) {
    return VariableTriplesOf(data != nullptr ? data->m_solution : nullptr);
}

TripleArray<EquationTriple> EquationTriples(const CTARNIterationData* data) {
    return EquationTriplesOf(data != nullptr ? data->m_solution : nullptr);
}

const std::string& FormWord(ReportWriter& writer, const IVELDEquation& equation) {
    return writer.Text(equation.IsNonlinear() > 0 ? kMsgNonLinear : kMsgLinear);
}

void RepeatHeaderBefore(ReportWriter& writer, int rowCount, unsigned headerId) {
    if (rowCount > 1 && rowCount % kHeaderPeriod == 0)
        writer.WriteLine(markup::kGreenHeader, writer.Text(headerId).c_str());
}

Region OpenGreenTable(ReportWriter& writer, const report_layout::Table& table) {
    Region region = writer.OpenRegion(markup::kGreenRegion, writer.Text(table.title).c_str());
    writer.WriteLine(markup::kGreenHeader, writer.Text(table.header).c_str());
    return region;
}

void WriteIterationDetails(const RunModel& model, ReportWriter& writer) {
    Region details =
        writer.OpenRegion(markup::kGreenRegion, writer.Text(kMsgIterationDetails).c_str());
    IterationBlock block;
    CTARNIterationList& iterations = *model.iterationList;
    block.current = iterations.GetFirst();
    while (block.current != nullptr) {
        WriteBlock(model, writer, block);
        block.previous = block.current;
        block.current = iterations.GetNext();
    }
}
