// tarnview: reads a TARNReport report and shows it in the terminal, as data
// or as a web page.
//
//   tarnview COMMAND [OPTIONS] REPORT.log ...
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "word_finder.h"

namespace {

struct Command {
    const char* name;
    CommandRun (*declare)(CLI::App& command);
    const char* summary;
    const char* help;
};

constexpr Command kCommands[] = {
    {"view", DeclareView, "the report in the terminal to fold, search and follow a name in; a run as it goes", kViewHelp},
    {"show", DeclareShow, "the report in the terminal, in colour, regions folded to a depth", kShowHelp},
    {"summary", DeclareSummary, "the iteration summary as a table, CSV or JSON", kSummaryHelp},
    {"history", DeclareHistory, "the rows of one variable or equation over every iteration", kHistoryHelp},
    {"diff", DeclareDiff, "what changed in a run from one iteration to another", kDiffHelp},
    {"html", DeclareHtml, "one self-contained web page of the report", kHtmlHelp},
    {"serve", DeclareServe, "serve reports, runs as they go and folders of runs to the browser", kServeHelp},
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
        if (command.declare == DeclareView) PrintViewKeys(stdout);
    }
}

// "tarnview REPORT.log" is "tarnview view REPORT.log": a first argument
// that is no command nor option but names a file (it has a dot or a slash).
std::vector<char*> WithViewCommand(int argc, char** argv) {
    std::vector<char*> arguments(argv, argv + argc);
    if (argc < 2) return arguments;
    const std::string_view first = argv[1];
    if (first.starts_with('-') || first == "help" || first.find_first_of("./") == std::string_view::npos) return arguments;
    for (const Command& command : kCommands) {
        if (first == command.name) return arguments;
    }
    static char view[] = "view";
    arguments.insert(arguments.begin() + 1, view);
    return arguments;
}

const Command* GivenCommand(const CLI::App& app) {
    const std::string& name = command_line::GivenCommand(app).get_name();
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

// A usage error: the problem in one line, then the command's usage line
// (the first of its help) or, with no command given, the list of commands.
int UsageError(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv) {
    std::string problem = command_line::UsageProblem(error, app, argc, argv);
    const Command* command = GivenCommand(app);
    if (command == nullptr && argc > 1 && !std::string_view(argv[1]).starts_with('-')) {
        // A first word that is no command: the commands it may have meant.
        std::vector<std::string_view> names = {"help"};
        for (const Command& known : kCommands) names.push_back(known.name);
        const std::string_view given = argv[1];
        if (std::find(names.begin(), names.end(), given) == names.end())
            problem = "unknown command '" + Visible(given) + "'" +
                      DidYouMean(tarnview::WordFinder(names).DidYouMean(given, 3));
    }
    if (command == nullptr) {
        std::fprintf(stderr, "tarnview: %s\n\n", problem.c_str());
        PrintUsage(stderr);
    } else {
        const std::string_view help = command->help;
        const std::string_view usage = help.substr(0, help.find('\n') + 1);
        std::fprintf(stderr, "tarnview %s: %s\n%.*s", command->name, problem.c_str(), static_cast<int>(usage.size()),
                     usage.data());
    }
    return 2;
}

}  // namespace

int main(int originalArgc, char** originalArgv) {
    std::vector<char*> arguments = WithViewCommand(originalArgc, originalArgv);
    const int argc = static_cast<int>(arguments.size());
    char** argv = arguments.data();
    CLI::App app;
    command_line::Prepare(app);
    app.set_version_flag("--version", std::string("tarnview ") + TARNVIEW_VERSION);
    app.require_subcommand(1);
    bool helpAsked = false;
    app.add_subcommand("help")->callback([&helpAsked] { helpAsked = true; });
    std::vector<CommandRun> runs;
    for (const Command& command : kCommands) runs.push_back(command.declare(*app.add_subcommand(command.name)));
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        const Command* command = GivenCommand(app);
        if (command == nullptr) {
            PrintHelp();
        } else {
            std::fputs(command->help, stdout);
            if (command->declare == DeclareView) PrintViewKeys(stdout);
        }
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        return UsageError(app, error, argc, argv);
    }
    if (helpAsked) {
        PrintHelp();
        return 0;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (app.got_subcommand(kCommands[i].name)) return runs[i]();
    }
    return 2;
}
