// The interactive terminal view of a report (`tarnview view`).
#pragma once

#include <string>

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

}  // namespace tarnview::terminal
