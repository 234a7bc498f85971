// The terminal while the view runs: curses started and always ended, the
// terminal given back as it was on a quit, an error, SIGINT, SIGTERM or
// SIGHUP (which end the view at its next key or tick) and on every other
// signal that ends a process (a crash, SIGQUIT, SIGUSR1, ...); Ctrl-Z and
// fg are curses' own.  Colours: one pair per shown
// colour of the report's colour prefixes.
#pragma once

#include <functional>
#include <map>
#include <optional>

#include "report_reader.h"

namespace tarnview::terminal {

// Installs the handlers that give the terminal back before a signal ends
// the process (once; they do nothing else while no session runs).  Called
// before the report is read, so that the report's map guard, installed
// then, hands the faults outside its maps on to them.
void InstallFatalSignalHandlers();

class TerminalSession {
public:
    // `colour`: false for NO_COLOR.
    explicit TerminalSession(bool colour);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Whether a signal asked the view to end.
    static bool EndRequested();
    // Whether the terminal shows UTF-8.
    bool Unicode() const { return m_unicode; }
    // The attribute that shows a report colour (0 without colours).
    int ColourAttribute(const std::optional<Colour>& colour);

private:
    bool m_unicode = false;
    bool m_colour = false;
    std::map<int, int> m_pairs;  // curses colour -> pair
};

// What a screen of the view does in its loop.
struct ScreenLoop {
    std::function<void()> draw;
    std::function<bool()> tick;      // no key this tick: whether anything changed
    std::function<void(int)> key;    // a key (not a resize)
    std::function<bool()> done;      // whether the loop ends
};

// Draws only after a change (a key, a resize, what a tick found), waits a
// tick for a key (the session's timeout), until `done` or a signal asks
// the view to end.
void RunScreenLoop(const ScreenLoop& loop);

}  // namespace tarnview::terminal
