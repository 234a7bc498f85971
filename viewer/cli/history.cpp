// tarnview history: the rows of one variable or equation in every
// iteration block's details.
#include <cstdio>
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

}  // namespace

int RunHistory(int argc, char** argv) {
    bool csv = false;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && IsHelp(argument)) {
            std::fputs(kHistoryHelp, stdout);
            return 0;
        } else if (!optionsEnded && argument == "--csv") {
            csv = true;
        } else if (!optionsEnded && argument.starts_with('-') && argument.size() > 1 && operands.size() < 1) {
            return UsageError("history", "unknown option " + std::string(argument), kHistoryHelp);
        } else {
            operands.emplace_back(argument);
        }
    }
    if (operands.size() != 2) return UsageError("history", "a report and a name are needed", kHistoryHelp);
    const auto report = OpenReport("history", operands[0]);
    if (!report) return 1;
    const std::string& name = operands[1];
    const std::vector<tarnview::History> histories = tarnview::FindHistories(*report, name);
    if (histories.empty()) {
        std::fprintf(stderr, "tarnview history: %s: no variable or equation named '%s' in the iteration details\n",
                     operands[0].c_str(), name.c_str());
        return 1;
    }
    if (csv) {
        WriteCsv(*report, histories);
    } else {
        WriteTables(*report, histories, name);
    }
    return FinishOutput("history", stdout);
}
