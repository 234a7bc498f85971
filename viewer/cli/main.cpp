// tarnview: reads a TARNReport report and shows it in the terminal, as data
// or as a web page.
//
//   tarnview COMMAND [OPTIONS] REPORT.log ...
#include <cstdio>
#include <cstring>
#include <string_view>

#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
    const char* help;
};

constexpr Command kCommands[] = {
    {"view", RunView, "the report in the terminal to fold, search and follow a name in", kViewHelp},
    {"show", RunShow, "the report in the terminal, in colour, regions folded to a depth", kShowHelp},
    {"summary", RunSummary, "the iteration summary as a table, CSV or JSON", kSummaryHelp},
    {"history", RunHistory, "the rows of one variable or equation over every iteration", kHistoryHelp},
    {"html", RunHtml, "one self-contained web page of the report", kHtmlHelp},
    {"serve", RunServe, "serve reports of any size to the browser", kServeHelp},
};

// The commands in one line each.
void PrintUsage(FILE* out) {
    std::fputs("Usage: tarnview COMMAND [OPTIONS] REPORT.log ...\n"
               "  or:  tarnview REPORT.log   (the same as tarnview view REPORT.log)\n\nCommands:\n",
               out);
    for (const Command& command : kCommands) std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
    std::fputs("\nOptions:\n"
               "  -h, --help  show this text\n"
               "  --version   show the program's version\n"
               "\n'tarnview COMMAND --help' shows the options of a command.\n"
               "Exit status: 0 done, 1 the command failed, 2 a usage error.\n",
               out);
}

// The commands, then each command's own help text under a heading of its
// name (the manual page is made from this text).
void PrintHelp() {
    PrintUsage(stdout);
    for (const Command& command : kCommands) {
        std::printf("\ntarnview %s:\n  %s", command.name, command.help);
        if (command.run == RunView) PrintViewKeys(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp();
        return 0;
    }
    if (name == "--version") {
        std::printf("tarnview %s\n", TARNVIEW_VERSION);
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name == command.name) return command.run(argc - 1, argv + 1);
    }
    // A report named without a command is viewed.
    if (!name.starts_with('-') && name.find_first_of("./") != std::string_view::npos) return RunView(argc, argv);
    std::fprintf(stderr, "tarnview: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
