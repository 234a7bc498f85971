// tarnview summary: the iteration summary as a table, CSV or JSON.
#include <cstdio>
#include <memory>
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

struct SummaryArguments {
    std::string report;
    Format format = Format::kTable;
};

int Summary(const SummaryArguments& arguments) {
    const std::string& path = arguments.report;
    const Format format = arguments.format;
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

}  // namespace

CommandRun DeclareSummary(CLI::App& command) {
    const auto arguments = std::make_shared<SummaryArguments>();
    command.add_option("report", arguments->report)->required();
    CLI::Option* csv = command.add_flag_callback("--csv", [arguments] { arguments->format = Format::kCsv; });
    command.add_flag_callback("--json", [arguments] { arguments->format = Format::kJson; })->excludes(csv);
    return [arguments] { return Summary(*arguments); };
}
