// The report's opening: the notice line and the region "Model and Options
// Display" with the run's header lines and the libraries' own displays.
#include <cstring>

#include "output/markup.h"
#include "sections/sections.h"

const char kLegalNotice[] =
    "TARNReport execution report. Copyright (c) 2026 the TARNReport authors. "
    "Provided as is, without warranty of any kind.";

namespace {

constexpr int kCaseNumberLimit = 10000;  // from here on: no case line, no model
constexpr int kExecutionDateSize = 32;

// A header line that starts a new line of its own and is not ended.  (The
// date's text ends with its own line break, which the status line relies on.)
void WriteHeaderLine(RunContext& run) {
    FormatLine(run.lineA, markup::kHeaderLineNewBlock, run.messageBuffer.c_str());
    run.Out() << run.lineA;
}

// A header line with a text of the run, shown on one line.  The message is
// written from where it was expanded: a long text is not copied again.
void WriteHeaderText(RunContext& run, const char* format = markup::kHeaderLineNewBlock) {
    markup::WriteWithText(run.Out(), format, run.messageBuffer.view());
}

// The date line: the date's text shown on one line, then the line break
// that the library's date ends with.
void WriteDateLine(RunContext& run) {
    std::string_view message = run.messageBuffer.view();
    const bool endsLine = message.ends_with('\n');
    if (endsLine) message.remove_suffix(1);
    markup::WriteWithText(run.Out(), markup::kHeaderLineNewBlock, message);
    if (endsLine) run.Out() << "\n";
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

void OpenDisplayRegion(RunContext& run, unsigned titleId) {
    run.WriteLine(markup::kHeaderRegion, run.Text(titleId).c_str());
}

}  // namespace

void WriteHeaderSection(RunContext& run) {
    std::ostream& out = run.Out();
    out << kLegalNotice << "\n";
    out << markup::kModelRegionStart << run.Text(kMsgModelAndOptions) << "\n";

    run.modelManager->GetModelName(run.modelName);
    LoadMessage(run.module, kMsgModelName, &run.messageBuffer, run.modelName.c_str());
    WriteHeaderText(run);

    const int caseNumber = run.reporting->GetCaseNumber();
    const bool showsModel = caseNumber < kCaseNumberLimit;
    if (showsModel) {
        LoadMessage(run.module, kMsgCaseNumber, &run.messageBuffer, caseNumber);
        WriteHeaderLine(run);
    }

    LoadMessage(run.module, kMsgCaseDescription, &run.messageBuffer,
                TextOrEmpty(run.reporting->GetCaseDescription()));
    WriteHeaderText(run);

    char date[kExecutionDateSize] = {};
    run.reporting->GetExecutionDate(date);
    date[kExecutionDateSize - 1] = '\0';
    LoadMessage(run.module, kMsgExecutionDate, &run.messageBuffer, date);
    WriteDateLine(run);

    const char* status = TextOrEmpty(run.reporting->GetSolutionStatus());
    LoadMessage(run.module, kMsgSolutionStatus, &run.messageBuffer, status);
    const bool successful = std::strcmp(status, "Successful") == 0;
    WriteHeaderText(run, successful ? markup::kStatusSuccessful : markup::kStatusOther);
    out << "\n";

    OpenDisplayRegion(run, kMsgSolverOptions);
    if (run.optionTable != nullptr) run.optionTable->DisplayOptionTable(out);
    run.WriteRegionEnd();

    OpenDisplayRegion(run, kMsgLPOptions);
    if (run.lpOptions != nullptr) run.lpOptions->DisplayOptions(out);
    run.WriteRegionEnd();

    if (showsModel) {
        OpenDisplayRegion(run, kMsgAlgebraicModel);
        run.modelManager->DisplayAlgebraicModel(out);
        run.WriteRegionEnd();
    }
    run.WriteRegionEnd();
}
