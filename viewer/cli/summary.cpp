// tarnview summary: the iteration summary as a table, CSV or JSON.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "report_json.h"

const char kSummaryHelp[] =
    "usage: tarnview summary REPORT.log... [--csv | --json] [--iteration N|initial]\n"
    "\n"
    "The iteration summary of the report: one row per entry with every column\n"
    "(major iteration, the three convergence functions, the objective, the\n"
    "non-linearity ratio, the most L-infeasible equation and the total\n"
    "L-infeasibility).  Blank fields stay blank (null in JSON).  The initial\n"
    "point is iteration -1, as in every other extract.  Of several reports,\n"
    "one table whose first column, Report, names the report of each row.  A\n"
    "report without summary rows (a run that stopped before its first\n"
    "iteration) adds no rows and is named on standard error.\n"
    "\n"
    "  --csv            comma-separated values with a heading line\n"
    "  --json           {\"columns\":[...],\"rows\":[[...],...]}\n"
    "  --iteration N    only the row of iteration N ('initial' or -1: the\n"
    "                   initial point)\n"
    "  --help           show this text\n";

namespace {

std::vector<std::string> RowTexts(const tarnview::SummaryRow& row) {
    return {NumberText(row.majorIteration),      NumberText(row.variableConvergence),
            NumberText(row.residualConvergence), NumberText(row.objectiveConvergence),
            NumberText(row.objectiveValue),      NumberText(row.nonLinearityRatio),
            Visible(row.mostInfeasibleEquation.value_or("")), NumberText(row.totalInfeasibility)};
}

void WriteJsonRow(tarnview::JsonText& json, const tarnview::SummaryRow& row) {
    for (const auto* number : {&row.majorIteration, &row.variableConvergence, &row.residualConvergence,
                               &row.objectiveConvergence, &row.objectiveValue, &row.nonLinearityRatio}) {
        if (*number) json.Number(**number); else json.Null();
    }
    if (row.mostInfeasibleEquation) json.Text(*row.mostInfeasibleEquation); else json.Null();
    if (row.totalInfeasibility) json.Number(*row.totalInfeasibility); else json.Null();
}

enum class Format { kTable, kCsv, kJson };

struct SummaryArguments {
    std::vector<std::string> reports;
    Format format = Format::kTable;
    std::optional<int> iteration;
};

// The rows of one report: its path as given and its summary rows (those of
// the asked iteration only, when one is asked for).
struct ReportRows {
    std::string path;
    std::vector<tarnview::SummaryRow> rows;
};

std::optional<std::vector<ReportRows>> ReadRows(const SummaryArguments& arguments) {
    std::vector<ReportRows> all;
    for (const std::string& path : arguments.reports) {
        const auto report = OpenReport("summary", path);
        if (!report) return std::nullopt;
        if (report->Summary().empty())
            std::fprintf(stderr, "tarnview summary: %s: the report has no iteration summary rows\n", path.c_str());
        ReportRows rows{path, {}};
        for (const tarnview::SummaryRow& row : report->Summary()) {
            if (!arguments.iteration || row.majorIteration == static_cast<double>(*arguments.iteration))
                rows.rows.push_back(row);
        }
        all.push_back(std::move(rows));
    }
    return all;
}

int Summary(const SummaryArguments& arguments) {
    const std::optional<std::vector<ReportRows>> reports = ReadRows(arguments);
    if (!reports) return 1;
    // Rows of several reports say which report they are from.
    const bool named = reports->size() > 1;
    if (arguments.format == Format::kJson) {
        tarnview::JsonText json;
        json.StartObject().Key("columns").StartArray();
        if (named) json.Text("Report");
        for (const std::string& column : tarnview::SummaryColumns()) json.Text(column);
        json.EndArray().Key("rows").StartArray();
        for (const ReportRows& report : *reports) {
            for (const tarnview::SummaryRow& row : report.rows) {
                json.StartArray();
                if (named) json.Text(report.path);
                WriteJsonRow(json, row);
                json.EndArray();
            }
        }
        json.EndArray().EndObject();
        std::printf("%s\n", VisibleJson(json.Take()).c_str());
        return FinishOutput("summary", stdout);
    }
    std::vector<std::vector<std::string>> rows;
    if (arguments.format == Format::kCsv) {
        rows.push_back(tarnview::SummaryColumns());
    } else {
        rows.push_back({"Major Iteration", "Variable Conv.", "Residual Conv.", "Objective Conv.", "Objective",
                        "Non-Linearity", "Most L-Infeasible Equation", "Total L-Infeasible"});
    }
    if (named) rows[0].insert(rows[0].begin(), "Report");
    for (const ReportRows& report : *reports) {
        for (const tarnview::SummaryRow& row : report.rows) {
            rows.push_back(RowTexts(row));
            if (named) rows.back().insert(rows.back().begin(), Visible(report.path));
        }
    }
    if (arguments.format == Format::kCsv) {
        for (const std::vector<std::string>& row : rows) std::fputs(CsvLine(row).c_str(), stdout);
    } else {
        std::vector<bool> rightAligned = {true, true, true, true, true, true, false, true};
        if (named) rightAligned.insert(rightAligned.begin(), false);
        WriteAlignedTable(stdout, rows, rightAligned);
    }
    return FinishOutput("summary", stdout);
}

}  // namespace

CommandRun DeclareSummary(CLI::App& command) {
    const auto arguments = std::make_shared<SummaryArguments>();
    command.add_option("report", arguments->reports)->required();
    CLI::Option* csv = command.add_flag_callback("--csv", [arguments] { arguments->format = Format::kCsv; });
    command.add_flag_callback("--json", [arguments] { arguments->format = Format::kJson; })->excludes(csv);
    AddIterationOption(command, arguments->iteration);
    return [arguments] { return Summary(*arguments); };
}
