// tarnview summary: the iteration summary as a table, CSV or JSON.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "report_compare.h"
#include "report_json.h"
#include "run_folder.h"

const char kSummaryHelp[] =
    "usage: tarnview summary REPORT.log... [--csv | --json] [--iteration N|initial | --facts]\n"
    "       tarnview summary --facts DIR [--csv | --json]\n"
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
    "  --facts          one line per report: how the run ended (status),\n"
    "                   final objective, major iterations, final total\n"
    "                   L-infeasibility (blank: none reported), then each\n"
    "                   option whose value differs between the reports\n"
    "                   ('-' where a report does not show it).  Of a folder\n"
    "                   DIR: one line per run or report under it, running\n"
    "                   or ended: its name, state (running, stopped without\n"
    "                   an end, report missing, ended, failed), status, major\n"
    "                   iterations, objective and total L-infeasibility (final\n"
    "                   or current), report size and last change (UTC), as\n"
    "                   tarnview serve DIR lists them; --json: a list of\n"
    "                   {\"name\",\"state\",\"status\",\"iterations\",...}\n"
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
    bool facts = false;
};

// The option's column heading: its key, and its display's title when two
// displays show the same key.
std::string OptionHeading(const std::vector<tarnview::OptionValue>& options, const tarnview::OptionValue& option) {
    const bool shared = std::count_if(options.begin(), options.end(), [&](const tarnview::OptionValue& other) {
                            return other.key == option.key;
                        }) > 1;
    return Visible(shared ? option.display + ": " + option.key : option.key);
}

// tarnview summary --facts DIR: one line per run or report under the folder.
int FolderFacts(const std::string& folder, Format format) {
    bool truncated = false;
    std::string error;
    const std::vector<tarnview::RunRow> runs = tarnview::RowsOfFolder(folder, truncated, error);
    if (!error.empty()) throw CommandFailure(error);
    if (truncated)
        std::fprintf(stderr, "tarnview summary: %s: more runs than %zu; the first listed\n", Visible(folder).c_str(),
                     tarnview::kMaxFolderRuns);
    if (format == Format::kJson) {
        tarnview::JsonText json;
        json.StartArray();
        for (const tarnview::RunRow& run : runs) tarnview::WriteRunRow(json, run, std::nullopt);
        json.EndArray();
        std::printf("%s\n", VisibleJson(json.Take()).c_str());
        return FinishOutput(stdout);
    }
    std::vector<std::vector<std::string>> rows = {{"Run", "State", "Status", "Major Iterations", "Objective",
                                                   "Total L-Infeasibility", "Report Size", "Changed"}};
    for (const tarnview::RunRow& run : runs) {
        const auto count = [](const auto& value) { return value ? std::to_string(*value) : std::string(); };
        rows.push_back({Visible(run.name), std::string(tarnview::StateText(run.state)), Visible(run.status.value_or("")),
                        count(run.iterations), NumberText(run.objective), NumberText(run.infeasibility),
                        count(run.reportSize), run.changed});
    }
    if (format == Format::kCsv) {
        for (const std::vector<std::string>& row : rows) std::fputs(CsvLine(row).c_str(), stdout);
    } else {
        WriteAlignedTable(stdout, rows, {false, false, false, true, true, true, true, false});
    }
    for (const tarnview::RunRow& run : runs)
        if (!run.problem.empty()) std::fprintf(stderr, "tarnview summary: %s\n", Visible(run.problem).c_str());
    return FinishOutput(stdout);
}

// tarnview summary --facts: one line per run.
int Facts(const SummaryArguments& arguments) {
    std::error_code problem;
    const bool folder = arguments.reports.size() == 1 && !arguments.reports[0].ends_with(".log") &&
                        std::filesystem::is_directory(arguments.reports[0], problem);
    if (folder) return FolderFacts(arguments.reports[0], arguments.format);
    std::vector<GuardedReport> reports;
    std::vector<const tarnview::Report*> read;
    for (const std::string& path : arguments.reports) {
        reports.push_back(OpenReport(path));
        read.push_back(reports.back().get());
    }
    const std::vector<tarnview::RunFactsLine> lines = tarnview::FactsOfRuns(read);
    if (arguments.format == Format::kJson) {
        tarnview::JsonText json;
        json.StartArray();
        for (std::size_t run = 0; run < lines.size(); ++run) {
            json.FactsLine(lines[run]);
        }
        json.EndArray();
        std::printf("%s\n", VisibleJson(json.Take()).c_str());
        return FinishOutput(stdout);
    }
    std::vector<std::vector<std::string>> rows = {
        {"Report", "Status", "Final Objective", "Major Iterations", "Final Total L-Infeasibility"}};
    std::vector<bool> rightAligned = {false, false, true, true, true};
    if (!lines.empty()) {
        for (const tarnview::OptionValue& option : lines.front().options) {
            rows[0].push_back(OptionHeading(lines.front().options, option));
            rightAligned.push_back(false);
        }
    }
    for (std::size_t run = 0; run < lines.size(); ++run) {
        const tarnview::RunFacts& facts = lines[run].facts;
        rows.push_back({Visible(arguments.reports[run]), Visible(facts.status), NumberText(facts.finalObjective),
                        std::to_string(facts.majorIterations), NumberText(facts.finalInfeasibility)});
        for (const tarnview::OptionValue& option : lines[run].options)
            rows.back().push_back(option.value ? Visible(*option.value) : arguments.format == Format::kCsv ? "" : "-");
    }
    if (arguments.format == Format::kCsv) {
        for (const std::vector<std::string>& row : rows) std::fputs(CsvLine(row).c_str(), stdout);
    } else {
        WriteAlignedTable(stdout, rows, rightAligned);
    }
    return FinishOutput(stdout);
}

// The rows of one report: its path as given and its summary rows (those of
// the asked iteration only, when one is asked for).
struct ReportRows {
    std::string path;
    std::vector<tarnview::SummaryRow> rows;
};

std::vector<ReportRows> ReadRows(const SummaryArguments& arguments) {
    std::vector<ReportRows> all;
    for (const std::string& path : arguments.reports) {
        const auto report = OpenReport(path);
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
    if (arguments.facts) return Facts(arguments);
    const std::vector<ReportRows> reports = ReadRows(arguments);
    // Rows of several reports say which report they are from.
    const bool named = reports.size() > 1;
    if (arguments.format == Format::kJson) {
        tarnview::JsonText json;
        json.StartObject().Key("columns").StartArray();
        if (named) json.Text("Report");
        for (const std::string& column : tarnview::SummaryColumns()) json.Text(column);
        json.EndArray().Key("rows").StartArray();
        for (const ReportRows& report : reports) {
            for (const tarnview::SummaryRow& row : report.rows) {
                json.StartArray();
                if (named) json.Text(report.path);
                WriteJsonRow(json, row);
                json.EndArray();
            }
        }
        json.EndArray().EndObject();
        std::printf("%s\n", VisibleJson(json.Take()).c_str());
        return FinishOutput(stdout);
    }
    std::vector<std::vector<std::string>> rows;
    if (arguments.format == Format::kCsv) {
        rows.push_back(tarnview::SummaryColumns());
    } else {
        rows.push_back({"Major Iteration", "Variable Conv.", "Residual Conv.", "Objective Conv.", "Objective",
                        "Non-Linearity", "Most L-Infeasible Equation", "Total L-Infeasible"});
    }
    if (named) rows[0].insert(rows[0].begin(), "Report");
    for (const ReportRows& report : reports) {
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
    return FinishOutput(stdout);
}

}  // namespace

CommandRun DeclareSummary(CLI::App& command) {
    const auto arguments = std::make_shared<SummaryArguments>();
    command.add_option("report", arguments->reports)->required();
    CLI::Option* csv = command.add_flag_callback("--csv", [arguments] { arguments->format = Format::kCsv; });
    command.add_flag_callback("--json", [arguments] { arguments->format = Format::kJson; })->excludes(csv);
    CLI::Option* iteration = AddIterationOption(command, arguments->iteration);
    command.add_flag("--facts", arguments->facts)->excludes(iteration);
    return [arguments] { return Summary(*arguments); };
}
