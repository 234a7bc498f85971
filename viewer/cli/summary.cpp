// tarnview summary: the iteration summary as a table, CSV or JSON.
#include <cstdio>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "commands.h"
#include "report_json.h"

const char kSummaryHelp[] =
    "usage: tarnview summary REPORT.log [--csv | --json]\n"
    "\n"
    "The iteration summary of the report: one row per entry with every column\n"
    "(major iteration, the three convergence functions, the objective, the\n"
    "non-linearity ratio, the most L-infeasible equation and the total\n"
    "L-infeasibility).  Blank fields stay blank (null in JSON).\n"
    "\n"
    "  --csv   comma-separated values with a heading line\n"
    "  --json  {\"columns\":[...],\"rows\":[[...],...]}\n"
    "  --help  show this text\n";

namespace {

std::vector<std::string> RowTexts(const tarnview::SummaryRow& row) {
    return {NumberText(row.majorIteration),      NumberText(row.variableConvergence),
            NumberText(row.residualConvergence), NumberText(row.objectiveConvergence),
            NumberText(row.objectiveValue),      NumberText(row.nonLinearityRatio),
            Visible(row.mostInfeasibleEquation.value_or("")), NumberText(row.totalInfeasibility)};
}

enum class Format { kTable, kCsv, kJson };

}  // namespace

int RunSummary(int argc, char** argv) {
    Format format = Format::kTable;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (IsHelp(argument)) {
            std::fputs(kSummaryHelp, stdout);
            return 0;
        } else if (argument == "--csv") {
            format = Format::kCsv;
        } else if (argument == "--json") {
            format = Format::kJson;
        } else if (argument.starts_with('-') && argument.size() > 1) {
            return UsageError("summary", "unknown option " + std::string(argument), kSummaryHelp);
        } else if (!path.empty()) {
            return UsageError("summary", "one report at a time", kSummaryHelp);
        } else {
            path = argument;
        }
    }
    if (path.empty()) return UsageError("summary", "no report given", kSummaryHelp);
    const auto report = OpenReport("summary", path);
    if (!report) return 1;
    if (report->Summary().empty()) {
        std::fprintf(stderr, "tarnview summary: %s: the report has no iteration summary rows\n", path.c_str());
        return 1;
    }
    if (format == Format::kJson) {
        std::printf("%s\n", VisibleJson(tarnview::SummaryJson(*report)).c_str());
    } else if (format == Format::kCsv) {
        std::fputs(CsvLine(tarnview::SummaryColumns()).c_str(), stdout);
        for (const tarnview::SummaryRow& row : report->Summary()) std::fputs(CsvLine(RowTexts(row)).c_str(), stdout);
    } else {
        std::vector<std::vector<std::string>> rows = {{"Major Iteration", "Variable Conv.", "Residual Conv.",
                                                       "Objective Conv.", "Objective", "Non-Linearity",
                                                       "Most L-Infeasible Equation", "Total L-Infeasible"}};
        for (const tarnview::SummaryRow& row : report->Summary()) rows.push_back(RowTexts(row));
        WriteAlignedTable(stdout, rows, {true, true, true, true, true, true, false, true});
    }
    return FinishOutput("summary", stdout);
}
