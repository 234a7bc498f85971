// What the host says of each run: its base path, and the lines that tell
// whether its report was written.  One place for the batch and the watch.
#pragma once

#include <string>
#include <string_view>

#include "report_process.h"

namespace host {

// A run's files: its run data BASE.vdr and its report BASE.log.
inline constexpr std::string_view kRunDataExtension = ".vdr";
inline constexpr std::string_view kReportExtension = ".log";

// "runs/x.vdr" names the run whose base path is "runs/x", and so does its
// report "runs/x.log" (unless a run "runs/x.log" has data of its own).
std::string BaseOf(const std::string& run);

// The one place the host tells a problem of its own: "tarnreport: PROBLEM"
// on standard error.  (A report's own problems are told by the library.)
void Tell(const std::string& problem);

// "report for runs/x failed"
void PrintFailed(const std::string& base);

// Passes on what a run's report process printed; returns whether the
// report was written.  A process that did not end by itself printed no
// line of its own: the host says how it ended and prints the failure line.
bool Relay(const std::string& run, const ChildOutcome& outcome);

}  // namespace host
