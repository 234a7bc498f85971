// The interactive terminal view of a report (`tarnview view`).
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
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

// Why the view stopped once it had the terminal: "SUBJECT: PROBLEM",
// thrown after the session gave the terminal back.
class ViewFailure : public std::runtime_error {
public:
    ViewFailure(const std::string& subject, const std::exception& problem)
        : std::runtime_error(subject + ": " + problem.what()) {}
};

// Shows the report at `path` until the reader quits; returns 0.  A report
// that cannot be read or is no report throws the reader's ReadError before
// the terminal is taken; a failure while shown throws ViewFailure.
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
