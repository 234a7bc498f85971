// tarnreport: writes the execution report of one or more runs.
//
//   tarnreport [--long-lists] BASE...
//
// For each base path the report library reads BASE.vdr and writes BASE.log.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TARNReport.h"

namespace {

constexpr char kUsage[] =
    "usage: tarnreport [--long-lists] BASE...\n"
    "\n"
    "Writes the execution report BASE.log of the run whose data file is BASE.vdr,\n"
    "for each base path given.\n"
    "\n"
    "  --long-lists  list up to 100 equations in the largest-value lists instead of\n"
    "                10 (adds VDRLONGLIST to KORMOPTIONS for the run)\n"
    "  --help        show this text\n"
    "  --version     show the version\n"
    "\n"
    "Exit status: 0 when every report was written, 1 when one failed, 2 on a\n"
    "usage error.\n";

void AddLongListOption() {
    const char* current = std::getenv("KORMOPTIONS");
    std::string options = current != nullptr ? current : "";
    options += " VDRLONGLIST";
#if defined(_WIN32)
    _putenv_s("KORMOPTIONS", options.c_str());
#else
    setenv("KORMOPTIONS", options.c_str(), 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> bases;
    bool longLists = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!optionsEnded && std::strcmp(argument, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && std::strcmp(argument, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsEnded && std::strcmp(argument, "--version") == 0) {
            std::printf("tarnreport %s\n", TARNREPORT_VERSION);
            return 0;
        } else if (!optionsEnded && std::strcmp(argument, "--long-lists") == 0) {
            longLists = true;
        } else if (!optionsEnded && argument[0] == '-' && argument[1] != '\0') {
            std::fprintf(stderr, "tarnreport: unknown option %s\n%s", argument, kUsage);
            return 2;
        } else {
            bases.push_back(argument);
        }
    }
    if (bases.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (longLists) AddLongListOption();

    int failures = 0;
    for (const char* base : bases) {
        if (CreateUQExecutionReport(base) == 0) {
            std::printf("wrote %s.log\n", base);
        } else {
            std::printf("report for %s failed\n", base);
            ++failures;
        }
        std::fflush(stdout);
    }
    return failures == 0 ? 0 : 1;
}
