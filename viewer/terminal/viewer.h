// The interactive terminal view of a report (`tarnview view`).
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tarnview {
class Report;
}

namespace tarnview::terminal {

struct ViewOptions {
    bool colour = true;  // false for NO_COLOR
};

// Whether TERM names a terminal the view can drive (curses would end the
// program on an unknown one).
bool TerminalKnown();

// Shows the report at `path` until the reader quits; returns the exit
// status (1 after an error message when the report cannot be read).
int RunViewer(const std::string& path, const ViewOptions& options);

// The report with its map guarded (by Report::Open): a report cut short
// while it is shown reads as zero bytes where it lost its end until it is
// read again.
using GuardedReport = std::unique_ptr<const tarnview::Report>;

// The report at `path`, or none with `error` set.
GuardedReport ReadReport(const std::string& path, std::string& error);

class TerminalSession;

// Shows a report already read and checked in a session already started
// until the reader quits, first at the block of iteration `iteration` (as
// the report numbers them) when it has one.
void ViewReportInSession(TerminalSession& session, const std::string& path, GuardedReport report,
                         std::optional<int> iteration);

}  // namespace tarnview::terminal
