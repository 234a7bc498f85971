// Whether TERM names a terminal curses knows, asked of the terminal
// database without starting curses (initscr ends the program on an unknown
// name).  Apart from the session: <term.h> defines a macro per capability.
#include <curses.h>
#include <term.h>
#include <unistd.h>

#include "viewer.h"

namespace tarnview::terminal {

bool TerminalKnown() {
    int error = 0;
    if (setupterm(nullptr, STDOUT_FILENO, &error) != OK) return false;
    del_curterm(cur_term);
    cur_term = nullptr;
    return true;
}

}  // namespace tarnview::terminal
