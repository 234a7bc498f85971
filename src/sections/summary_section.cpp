// The region "Iteration Summary": one row per iteration with its
// convergence measures, objective, non-linearity ratio and infeasibility.
#include "output/markup.h"
#include "sections/sections.h"

namespace {

constexpr char kRuleLine[] =
    "?000128000} =========   ===========   ===========   ===========   ===========   "
    "=========   ============   ============";
constexpr char kLongRow[] =
    " %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g  %10.3g   %s       %12.5g";
constexpr char kShortRow[] = " %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g   %9.3g ";

void WriteSummaryRow(RunContext& run, CTARNIterationData& entry) {
    const double infeasibility = entry.GetFeasValue();
    if (infeasibility > 0.0) {
        const char* rowName = entry.GetFeasRowName();
        run.rowName = markup::OneLine(rowName != nullptr ? rowName : "");
        FormatLine(run.lineA, kLongRow, entry.GetIter() - 1, entry.GetVarConvFunc(),
                   entry.GetResConvFunc(), entry.GetObjConvFunc(), entry.GetUserObj(),
                   entry.GetNonLinRatio(), run.rowName.c_str(), infeasibility);
    } else {
        FormatLine(run.lineA, kShortRow, entry.GetIter() - 1, entry.GetVarConvFunc(),
                   entry.GetResConvFunc(), entry.GetObjConvFunc(), entry.GetUserObj(),
                   entry.GetNonLinRatio());
    }
    run.Out() << run.lineA << "\n";
}

}  // namespace

bool WriteIterationSummary(RunContext& run) {
    std::ostream& out = run.Out();
    run.WriteLine(markup::kInformationRegion, run.Text(kMsgIterationInformation).c_str());
    run.WriteLine(markup::kGreenRegion, run.Text(kMsgIterationSummary).c_str(), "\n\n");
    for (unsigned id : {kMsgSummaryHeader1, kMsgSummaryHeader2, kMsgSummaryHeader3})
        run.WriteLine(markup::kGreenLine, run.Text(id).c_str());
    FormatLine(run.lineA, "%s", kRuleLine);
    out << run.lineA << "\n";
    out.flush();

    CTARNIterationList& iterations = *run.iterationList;
    run.lastIteration = iterations.GetCount() - 1;
    CTARNIterationData* entry = iterations.GetFirst();
    if (entry == nullptr) return false;

    run.rowName.clear();
    for (; entry != nullptr; entry = iterations.GetNext()) WriteSummaryRow(run, *entry);
    run.WriteRegionEnd();
    return true;
}
