#include "report_outcome.h"

#include <cstdio>
#include <filesystem>

namespace host {

std::string BaseOf(const std::string& run) {
    for (const std::string_view extension : {kRunDataExtension, kReportExtension}) {
        if (run.size() <= extension.size() || !run.ends_with(extension)) continue;
        if (extension == kReportExtension && std::filesystem::exists(run + std::string(kRunDataExtension)))
            return run;
        return run.substr(0, run.size() - extension.size());
    }
    return run;
}

void Tell(const std::string& problem) {
    std::fprintf(stderr, "tarnreport: %s\n", problem.c_str());
    std::fflush(stderr);
}

void PrintFailed(const std::string& base) {
    std::printf("report for %s failed\n", base.c_str());
}

bool Relay(const std::string& run, const ChildOutcome& outcome) {
    std::fwrite(outcome.err.data(), 1, outcome.err.size(), stderr);
    std::fflush(stderr);
    std::fwrite(outcome.out.data(), 1, outcome.out.size(), stdout);
    bool written = outcome.exitStatus == 0;
    if (outcome.exitStatus != 0 && outcome.exitStatus != 1) {
        std::string base = BaseOf(run);
        std::string how = !outcome.abnormal.empty()
                              ? outcome.abnormal
                              : "ended with exit status " + std::to_string(outcome.exitStatus);
        Tell("the report process for " + base + " " + how);
        PrintFailed(base);
    }
    std::fflush(stdout);
    return written;
}

}  // namespace host
