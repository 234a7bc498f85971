// tarnview view on a run that is still being written: its heading and
// state, the iteration table and a chart, following the progress file as
// it grows; once the report is written, the report's view at the iteration
// the cursor was on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run_progress.h"
#include "viewer.h"

namespace tarnview::terminal {

// The keys of a followed run, in one line (its '?' and view's help).
extern const char kRunViewKeys[];

// Follows the run until the reader quits; returns 0.  A run that cannot be
// read when the view starts throws ReadError before the terminal is taken;
// a failure while shown throws ViewFailure.
int FollowRun(const RunFiles& files, const ViewOptions& options);

// The run's heading and table as they are now, for a view without a
// terminal; none when the run has only its report (the report is then
// shown), or with `error` set.
std::optional<std::vector<std::string>> RunAsItIs(const RunFiles& files, std::string& error);

// The run's files that are there but no regular file (a FIFO, a folder,
// a device): a message naming the first, or empty.
std::string IrregularRunFile(const RunFiles& files);

}  // namespace tarnview::terminal
