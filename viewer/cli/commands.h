// The tarnview commands.  Each declares its operands and options on its
// own subcommand of the program (command_line.h) and returns what then
// runs it with the values read; that returns the program's exit status:
// 0 done, 1 the command failed (a file could not be read, a name is
// unknown), 2 a usage error.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"

using CommandRun = std::function<int()>;

CommandRun DeclareShow(CLI::App& command);
CommandRun DeclareSummary(CLI::App& command);
CommandRun DeclareHistory(CLI::App& command);
CommandRun DeclareHtml(CLI::App& command);
CommandRun DeclareServe(CLI::App& command);
CommandRun DeclareView(CLI::App& command);
CommandRun DeclareDiff(CLI::App& command);

// Declares --iteration N|initial: the iteration block numbered N (as the
// summary numbers it), or the initial conditions.
CLI::Option* AddIterationOption(CLI::App& command, std::optional<int>& iteration);

// Each command's help text: its usage line, what it does and its options.
// "tarnview COMMAND --help" shows one, "tarnview --help" all of them.
extern const char kShowHelp[];
extern const char kSummaryHelp[];
extern const char kHistoryHelp[];
extern const char kHtmlHelp[];
extern const char kServeHelp[];
extern const char kViewHelp[];
extern const char kDiffHelp[];
// The keys of view, which end its help text.
void PrintViewKeys(FILE* out);

// The whole report as show writes it with its defaults (view without a
// terminal that can show it).
int ShowWholeReport(const std::string& path);

namespace tarnview {
struct IterationDiff;
}
