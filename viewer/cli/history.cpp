// tarnview history: the rows of one variable or equation in every
// iteration block's details.
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "commands.h"
#include "report_json.h"
#include "report_search.h"

const char kHistoryHelp[] =
    "usage: tarnview history REPORT.log NAME [--csv | --json] [--iteration N|initial]\n"
    "\n"
    "The rows of the variable or equation NAME in the variable and equation\n"
    "details of every iteration block: how it moved over the run.  A name that\n"
    "is both a variable and an equation shows both.  Iterations are numbered\n"
    "as in the summary (the initial point is -1); lines from 1.  A name not\n"
    "found gets the names that hold it (ignoring case), else the closest\n"
    "names, as suggestions.\n"
    "\n"
    "  --csv            comma-separated values: kind, iteration, line, then the\n"
    "                   columns\n"
    "  --json           [{\"name\":..,\"kind\":..,\"columns\":[..],\n"
    "                   \"rows\":[{\"iteration\":k,\"line\":L,\"values\":{..}}]}]\n"
    "  --iteration N    only the row of iteration N ('initial' or -1: the\n"
    "                   initial point)\n"
    "  --help           show this text\n";

namespace {

std::string IterationText(const tarnview::IterationBlock& block) { return Visible(tarnview::IterationLabel(block)); }

const char* KindText(const tarnview::History& history) {
    return history.kind == tarnview::NameKind::kVariable ? "variable" : "equation";
}

void WriteCsv(const tarnview::Report& report, const std::vector<tarnview::History>& histories) {
    bool headingWritten = false;
    for (const tarnview::History& history : histories) {
        const std::vector<std::string>& columns = tarnview::ColumnsOf(history.table);
        // The two kinds have different columns: a heading for each.
        if (headingWritten) std::fputs("\n", stdout);
        std::vector<std::string> heading = {"Kind", "Iteration", "Line"};
        heading.insert(heading.end(), columns.begin(), columns.end());
        std::fputs(CsvLine(heading).c_str(), stdout);
        headingWritten = true;
        for (const tarnview::HistoryRow& row : history.rows) {
            std::vector<std::string> fields = {KindText(history), IterationText(report.IterationBlocks()[row.block]),
                                               std::to_string(row.line + 1)};
            for (std::string_view field : row.row.fields) fields.push_back(Visible(field));
            std::fputs(CsvLine(fields).c_str(), stdout);
        }
    }
}

void WriteJson(const tarnview::Report& report, const std::vector<tarnview::History>& histories,
               std::string_view name) {
    tarnview::JsonText json;
    json.StartArray();
    for (const tarnview::History& history : histories) json.HistoryEntry(report, history, name, 1);
    json.EndArray();
    std::printf("%s\n", VisibleJson(json.Take()).c_str());
}

void WriteTables(const tarnview::Report& report, const std::vector<tarnview::History>& histories,
                 std::string_view name) {
    bool first = true;
    for (const tarnview::History& history : histories) {
        if (!first) std::fputs("\n", stdout);
        first = false;
        std::printf("%s %s\n\n", KindText(history), Visible(name).c_str());
        const std::vector<std::string>& columns = tarnview::ColumnsOf(history.table);
        std::vector<std::vector<std::string>> rows(1, {"Iteration", "Line"});
        rows[0].insert(rows[0].end(), columns.begin(), columns.end());
        for (const tarnview::HistoryRow& row : history.rows) {
            std::vector<std::string> cells = {IterationText(report.IterationBlocks()[row.block]),
                                              std::to_string(row.line + 1)};
            for (std::string_view field : row.row.fields) cells.push_back(Visible(field));
            rows.push_back(std::move(cells));
        }
        std::vector<bool> rightAligned(rows[0].size(), true);
        rightAligned[0] = false;
        WriteAlignedTable(stdout, rows, rightAligned);
    }
}

enum class Format { kTable, kCsv, kJson };

struct HistoryArguments {
    std::string report;
    std::string name;
    Format format = Format::kTable;
    std::optional<int> iteration;
};

int History(const HistoryArguments& arguments) {
    const auto report = OpenReport(arguments.report);
    const std::string& name = arguments.name;
    std::vector<tarnview::History> histories = tarnview::FindHistories(*report, name);
    if (histories.empty())
        throw CommandFailure(arguments.report, "no variable or equation named '" + Visible(name) +
                                                   "' in the iteration details" +
                                                   DidYouMean(tarnview::NamesMeant(report->Names(), name)));
    if (arguments.iteration) {
        for (tarnview::History& history : histories) {
            std::erase_if(history.rows, [&](const tarnview::HistoryRow& row) {
                return report->IterationBlocks()[row.block].number != arguments.iteration;
            });
        }
    }
    if (arguments.format == Format::kCsv) {
        WriteCsv(*report, histories);
    } else if (arguments.format == Format::kJson) {
        WriteJson(*report, histories, name);
    } else {
        WriteTables(*report, histories, name);
    }
    return FinishOutput(stdout);
}

}  // namespace

CommandRun DeclareHistory(CLI::App& command) {
    const auto arguments = std::make_shared<HistoryArguments>();
    command.add_option("report", arguments->report)->required();
    command.add_option("name", arguments->name)->required();
    CLI::Option* csv = command.add_flag_callback("--csv", [arguments] { arguments->format = Format::kCsv; });
    command.add_flag_callback("--json", [arguments] { arguments->format = Format::kJson; })->excludes(csv);
    AddIterationOption(command, arguments->iteration);
    return [arguments] { return History(*arguments); };
}
