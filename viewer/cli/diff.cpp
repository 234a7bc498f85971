// tarnview diff: what changed in a run from one iteration block to another.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "report_diff.h"
#include "report_json.h"

const char kDiffHelp[] =
    "usage: tarnview diff REPORT.log K [L] [--csv | --json] [--order size|relative] [--limit N]\n"
    "\n"
    "What changed from iteration K to iteration L (by default the iteration\n"
    "after K), read from the two blocks' own tables: the variables whose value\n"
    "changed most (Variable Details), the bounds that became active or\n"
    "inactive (Active Variable Bounds), the equations that became or stopped\n"
    "being infeasible (InfSlack of Equation Details) and the variables whose\n"
    "status changed.  Iterations are numbered as in the summary ('initial' or\n"
    "-1: the initial point).\n"
    "\n"
    "  --order WHAT     size (default): the largest change first; relative: the\n"
    "                   largest change over the larger of the two values first\n"
    "  --limit N        the N values that changed most (default 20; 0: all)\n"
    "  --csv            comma-separated values: change, name, before, after,\n"
    "                   difference, relative\n"
    "  --json           {\"from\":K,\"to\":L,\"valueCount\":N,\"values\":[..],\n"
    "                   \"bounds\":[..],\"infeasibility\":[..],\"statuses\":[..],\n"
    "                   \"missing\":[..]}\n"
    "  --help           show this text\n";

namespace {

enum class Format { kTable, kCsv, kJson };

struct DiffArguments {
    std::string report;
    std::string from, to;
    Format format = Format::kTable;
    std::string order = "size";
    std::size_t limit = 20;
};



}  // namespace


namespace {

void WriteTable(const tarnview::IterationDiff& diff, const std::vector<std::vector<std::string>>& changes) {
    std::printf("From iteration %d to %d: %s changed value, %s, %s, %s\n\n", diff.from, diff.to,
                Counted(diff.values.size(), "variable", "variables").c_str(),
                Counted(diff.bounds.size(), "bound change", "bound changes").c_str(),
                Counted(diff.infeasibility.size(), "infeasibility change", "infeasibility changes").c_str(),
                Counted(diff.statuses.size(), "status change", "status changes").c_str());
    std::vector<std::vector<std::string>> rows = {{"Change", "Name", "Before", "After", "Difference", "Relative"}};
    rows.insert(rows.end(), changes.begin(), changes.end());
    WriteAlignedTable(stdout, rows, {false, false, true, true, true, true});
}

int Diff(const DiffArguments& arguments) {
    const auto report = OpenReport(arguments.report);
    const std::optional<int> from = ReadIterationNumber(arguments.from);
    if (!from)
        throw CommandFailure("K must be a number from -1 or 'initial', not '" + Visible(arguments.from) + "'",
                             CommandFailure::kUsage);
    std::optional<int> to = arguments.to.empty() ? tarnview::NextIteration(*report, *from)
                                                 : ReadIterationNumber(arguments.to);
    if (!arguments.to.empty() && !to)
        throw CommandFailure("L must be a number from -1 or 'initial', not '" + Visible(arguments.to) + "'",
                             CommandFailure::kUsage);
    if (!to && report->BlockNumbered(*from))
        throw CommandFailure(arguments.report,
                             "iteration " + std::to_string(*from) + " is the report's last: no iteration after it");
    if (!to) to = *from + 1;
    const auto order =
        arguments.order == "relative" ? tarnview::DifferenceOrder::kRelativeSize : tarnview::DifferenceOrder::kSize;
    const std::optional<tarnview::IterationDiff> diff = tarnview::DiffIterations(*report, *from, *to, order);
    if (!diff) {
        const int absent = report->BlockNumbered(*from) ? *to : *from;
        throw CommandFailure(arguments.report, "no iteration " + std::to_string(absent) + " in the report");
    }
    for (const std::string& missing : diff->missing)
        std::fprintf(stderr, "tarnview diff: %s: no %s: its changes are left out\n", arguments.report.c_str(),
                     missing.c_str());
    if (arguments.format == Format::kJson) {
        tarnview::JsonText json;
        json.Diff(*diff, arguments.limit == 0 ? diff->values.size() : arguments.limit);
        std::printf("%s\n", VisibleJson(json.Take()).c_str());
    } else if (arguments.format == Format::kCsv) {
        std::fputs(CsvLine({"Change", "Name", "Before", "After", "Difference", "Relative"}).c_str(), stdout);
        for (const std::vector<std::string>& row : ChangeRows(*diff, arguments.limit))
            std::fputs(CsvLine(row).c_str(), stdout);
    } else {
        WriteTable(*diff, ChangeRows(*diff, arguments.limit));
    }
    return FinishOutput(stdout);
}

}  // namespace

CommandRun DeclareDiff(CLI::App& command) {
    const auto arguments = std::make_shared<DiffArguments>();
    command.add_option("report", arguments->report)->required();
    command.add_option("from", arguments->from)->required()->type_name("K");
    command.add_option("to", arguments->to)->type_name("L");
    CLI::Option* csv = command.add_flag_callback("--csv", [arguments] { arguments->format = Format::kCsv; });
    command.add_flag_callback("--json", [arguments] { arguments->format = Format::kJson; })->excludes(csv);
    command.add_option("--order", arguments->order)
        ->check(command_line::OneOf({"size", "relative"}, "--order takes size or relative, not"))
        ->type_name("size or relative");
    command.add_option("--limit", arguments->limit)
        ->check(command_line::WholeNumber(0, 1000000000, "--limit takes a number from 0, not"))
        ->type_name("a number");
    return [arguments] { return Diff(*arguments); };
}
