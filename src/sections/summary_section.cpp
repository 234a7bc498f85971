// The region "Iteration Summary": one row per iteration with its
// convergence measures, objective, non-linearity ratio and infeasibility.
#include "model/run_failure.h"
#include "output/markup.h"
#include "sections/sections.h"

namespace {

constexpr char kRuleLine[] =
    "?000128000} =========   ===========   ===========   ===========   ===========   "
    "=========   ============   ============";
constexpr char kLongRow[] =
    " %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g  %10.3g   %s       %12.5g";
constexpr char kShortRow[] = " %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g   %9.3g ";

void WriteSummaryRow(ReportWriter& writer, CTARNIterationData& entry, std::string& rowName) {
    const double infeasibility = entry.GetFeasValue();
    if (infeasibility > 0.0) {
        const char* name = entry.GetFeasRowName();
        rowName = markup::OneLine(name != nullptr ? name : "");
        FormatLine(writer.Line(), kLongRow, entry.GetIter() - 1, entry.GetVarConvFunc(),
                   entry.GetResConvFunc(), entry.GetObjConvFunc(), entry.GetUserObj(),
                   entry.GetNonLinRatio(), rowName.c_str(), infeasibility);
    } else {
        FormatLine(writer.Line(), kShortRow, entry.GetIter() - 1, entry.GetVarConvFunc(),
                   entry.GetResConvFunc(), entry.GetObjConvFunc(), entry.GetUserObj(),
                   entry.GetNonLinRatio());
    }
    writer.WriteFormatted();
}

void WriteColumnHeaders(ReportWriter& writer) {
    for (unsigned id : {kMsgSummaryHeader1, kMsgSummaryHeader2, kMsgSummaryHeader3})
        writer.WriteLine(markup::kGreenLine, writer.Text(id).c_str());
    FormatLine(writer.Line(), "%s", kRuleLine);
    writer.WriteFormatted();
    writer.Out().flush();
}

}  // namespace

void WriteIterationSummary(const RunModel& model, ReportWriter& writer) {
    Region summary =
        writer.OpenRegion(markup::kGreenRegion, writer.Text(kMsgIterationSummary).c_str(), "\n\n");
    WriteColumnHeaders(writer);
    if (!model.hasIterations)
        throw RunFailure(model.dataFilePath +
                         ": the run data holds no iterations; the report stops after the summary "
                         "header.");

    CTARNIterationList& iterations = *model.iterationList;
    std::string rowName;
    for (CTARNIterationData* entry = iterations.GetFirst(); entry != nullptr;
         entry = iterations.GetNext())
        WriteSummaryRow(writer, *entry, rowName);
}
