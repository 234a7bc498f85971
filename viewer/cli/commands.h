// The tarnview commands.  Each takes the arguments after the command name
// (argv[0] is the command itself) and returns the program's exit status:
// 0 done, 1 the command failed (a file could not be read, a name is
// unknown), 2 a usage error.
#pragma once

#include <cstdio>

int RunShow(int argc, char** argv);
int RunSummary(int argc, char** argv);
int RunHistory(int argc, char** argv);
int RunHtml(int argc, char** argv);
int RunServe(int argc, char** argv);
int RunView(int argc, char** argv);

// Each command's help text: its usage line, what it does and its options.
// "tarnview COMMAND --help" shows one, "tarnview --help" all of them.
extern const char kShowHelp[];
extern const char kSummaryHelp[];
extern const char kHistoryHelp[];
extern const char kHtmlHelp[];
extern const char kServeHelp[];
extern const char kViewHelp[];
// The keys of view, which end its help text.
void PrintViewKeys(FILE* out);
