// tarnview history: the rows of one variable or equation in every
// iteration block's details.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "cli_support.h"
#include "commands.h"

const char kHistoryHelp[] =
    "usage: tarnview history REPORT.log NAME [--csv]\n"
    "\n"
    "The rows of the variable or equation NAME in the variable and equation\n"
    "details of every iteration block: how it moved over the run.  A name that\n"
    "is both a variable and an equation shows both.\n"
    "\n"
    "  --csv   comma-separated values: kind, iteration, line, then the columns\n"
    "  --help  show this text\n";

namespace {

std::string IterationText(const tarnview::IterationBlock& block) {
    if (block.number == -1) return "Initial Conditions";
    if (block.number) return std::to_string(*block.number);
    return Visible(block.title);
}

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

void WriteTables(const tarnview::Report& report, const std::vector<tarnview::History>& histories,
                 std::string_view name) {
    bool first = true;
    for (const tarnview::History& history : histories) {
        if (!first) std::fputs("\n", stdout);
        first = false;
        std::printf("%s %.*s\n\n", KindText(history), static_cast<int>(name.size()), name.data());
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

struct HistoryArguments {
    std::string report;
    std::string name;
    bool csv = false;
};

int History(const HistoryArguments& arguments) {
    const auto report = OpenReport("history", arguments.report);
    if (!report) return 1;
    const std::string& name = arguments.name;
    const std::vector<tarnview::History> histories = tarnview::FindHistories(*report, name);
    if (histories.empty()) {
        std::fprintf(stderr, "tarnview history: %s: no variable or equation named '%s' in the iteration details\n",
                     arguments.report.c_str(), name.c_str());
        return 1;
    }
    if (arguments.csv) {
        WriteCsv(*report, histories);
    } else {
        WriteTables(*report, histories, name);
    }
    return FinishOutput("history", stdout);
}

}  // namespace

CommandRun DeclareHistory(CLI::App& command) {
    const auto arguments = std::make_shared<HistoryArguments>();
    command.add_option("report", arguments->report)->required();
    command.add_option("name", arguments->name)->required();
    command.add_flag("--csv", arguments->csv);
    return [arguments] { return History(*arguments); };
}
