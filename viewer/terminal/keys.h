// The keys of the terminal view: one table that both the key handling and
// the key list (the help screen, `tarnview view --help`) are made from.
#pragma once

#include <string>
#include <vector>

namespace tarnview::terminal {

enum class Action {
    kNone,
    kQuit,
    kDown,
    kUp,
    kPageDown,
    kPageUp,
    kHalfPageDown,
    kHalfPageUp,
    kTop,
    kBottom,
    kLeft,
    kRight,
    kToggleFold,
    kOpenFold,
    kCloseFold,
    kOpenAll,
    kCloseAll,
    kOpenLevel,   // the digit says how many levels
    kCloseLevel,  // closes every region as deep as the one at the cursor
    kSearchForward,
    kSearchBackward,
    kNextHit,
    kPreviousHit,
    kIgnoreCase,
    kGoToLine,
    kGoToIteration,
    kNextIteration,
    kPreviousIteration,
    kNextSameKind,
    kPreviousSameKind,
    kHistory,
    kSummary,
    kDiagnosis,
    kOutline,
    kHelp,
    kRedraw,
    kChartScale,  // in a history: log or linear
    kNextTarget,  // the next name or iteration number on the cursor's line
    kIterationDiff,
};

struct KeyBinding {
    std::vector<int> keys;  // curses key codes
    Action action;
    std::string keyNames;  // as listed: "j, Down"
    std::string meaning;
};

const std::vector<KeyBinding>& KeyBindings();

// The action of a key (kNone for a key without one).
Action ActionOfKey(int key);

// The key list, one line per binding: "  j, Down        one line down".
std::vector<std::string> KeyListLines();

}  // namespace tarnview::terminal
