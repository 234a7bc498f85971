// The report's opening: the notice line and the region "Model and Options
// Display" with the run's header lines and the libraries' own displays.
#include <cstring>
#include <string_view>

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
void WriteHeaderLine(ReportWriter& writer, const MessageText& message) {
    FormatLine(writer.Line(), markup::kHeaderLineNewBlock, message.c_str());
    writer.Out() << writer.Line();
}

// A header line with a text of the run, shown on one line.  The message is
// written from where it was expanded: a long text is not copied again.
void WriteHeaderText(ReportWriter& writer, const MessageText& message,
                     const char* format = markup::kHeaderLineNewBlock) {
    markup::WriteWithText(writer.Out(), format, message.view());
}

// The date line: the date's text shown on one line, then the line break
// that the library's date ends with.
void WriteDateLine(ReportWriter& writer, const MessageText& message) {
    std::string_view text = message.view();
    const bool endsLine = text.ends_with('\n');
    if (endsLine) text.remove_suffix(1);
    markup::WriteWithText(writer.Out(), markup::kHeaderLineNewBlock, text);
    if (endsLine) writer.Out() << "\n";
}

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

// A region in which a library writes its own display.
template <typename Display>
void WriteDisplayRegion(ReportWriter& writer, unsigned titleId, Display display) {
    Region region = writer.OpenRegion(markup::kHeaderRegion, writer.Text(titleId).c_str());
    display(writer.Out());
}

void WriteHeaderLines(const RunModel& model, ReportWriter& writer, int caseNumber) {
    CTARNSolutionReporting& reporting = *model.reporting;
    std::string modelName;
    model.modelManager->GetModelName(modelName);
    WriteHeaderText(writer, writer.Message(kMsgModelName, modelName.c_str()));

    if (caseNumber < kCaseNumberLimit)
        WriteHeaderLine(writer, writer.Message(kMsgCaseNumber, caseNumber));

    WriteHeaderText(writer, writer.Message(kMsgCaseDescription,
                                           TextOrEmpty(reporting.GetCaseDescription())));

    char date[kExecutionDateSize] = {};
    reporting.GetExecutionDate(date);
    date[kExecutionDateSize - 1] = '\0';
    WriteDateLine(writer, writer.Message(kMsgExecutionDate, static_cast<const char*>(date)));

    const char* status = TextOrEmpty(reporting.GetSolutionStatus());
    const bool successful = std::strcmp(status, "Successful") == 0;
    WriteHeaderText(writer, writer.Message(kMsgSolutionStatus, status),
                    successful ? markup::kStatusSuccessful : markup::kStatusOther);
    writer.Out() << "\n";
}

}  // namespace

void WriteHeaderSection(const RunModel& model, ReportWriter& writer) {
    std::ostream& out = writer.Out();
    out << kLegalNotice << "\n";
    out << markup::kModelRegionStart << writer.Text(kMsgModelAndOptions) << "\n";
    Region modelRegion(writer);

    const int caseNumber = model.reporting->GetCaseNumber();
    WriteHeaderLines(model, writer, caseNumber);
    WriteDisplayRegion(writer, kMsgSolverOptions, [&](std::ostream& display) {
        model.optionTable->DisplayOptionTable(display);
    });
    WriteDisplayRegion(writer, kMsgLPOptions, [&](std::ostream& display) {
        if (model.lpOptions != nullptr) model.lpOptions->DisplayOptions(display);
    });
    if (caseNumber < kCaseNumberLimit)
        WriteDisplayRegion(writer, kMsgAlgebraicModel, [&](std::ostream& display) {
            model.modelManager->DisplayAlgebraicModel(display);
        });
}
