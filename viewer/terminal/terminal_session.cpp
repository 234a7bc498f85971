#include "terminal_session.h"

#include <curses.h>
#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "palette.h"

namespace tarnview::terminal {

namespace {

volatile std::sig_atomic_t g_endRequested = 0;
struct termios g_savedTerminal {};
bool g_terminalSaved = false;
const char* g_leaveScreen = nullptr;  // the terminal's exit_ca_mode and cursor_normal

void RequestEnd(int) { g_endRequested = 1; }

// What each fatal signal did before the view: its default, or a handler
// that was there first (a sanitizer's, say), which then still runs.
struct sigaction g_previousAction[NSIG];

// A signal that ends the process at once (a crash, or one whose default is
// to end it: SIGQUIT, SIGUSR1, SIGPIPE, ...): the terminal is given back
// first, then the signal does what it would have done without the view.
// (SIGBUS: the report's map guard, installed after this, hands on the
// faults outside its maps.)
void RestoreAndDie(int signal) {
    if (g_terminalSaved) tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    if (g_leaveScreen != nullptr) {
        const ssize_t ignored = write(STDOUT_FILENO, g_leaveScreen, std::strlen(g_leaveScreen));
        (void)ignored;
    }
    if (g_terminalSaved) {
        const char message[] = "tarnview view: ended by a signal\n";
        const ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
    }
    // The handler is not blocked (SA_NODEFER): the signal raised again goes
    // at once to what was there before.
    sigaction(signal, &g_previousAction[signal], nullptr);
    std::raise(signal);
}

// The signals the view ends on in order, at its next key or tick.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Every other signal whose default action ends the process.  SIGKILL and
// SIGSTOP cannot be caught; SIGTSTP, SIGTTIN and SIGTTOU stop it (curses
// gives the terminal back for those); the rest are ignored by default.
std::vector<int> FatalSignals() {
    std::vector<int> signals = {SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
                                SIGUSR2, SIGPIPE, SIGALRM, SIGXCPU, SIGXFSZ,   SIGVTALRM, SIGPROF, SIGSYS};
    for (int linux : {SIGSTKFLT, SIGPOLL, SIGPWR}) signals.push_back(linux);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
    return signals;
}

void InstallEndingSignals() {
    struct sigaction ending {};
    ending.sa_handler = RequestEnd;
    sigemptyset(&ending.sa_mask);
    for (int signal : kEndingSignals) sigaction(signal, &ending, nullptr);
}

void RemoveEndingSignals() {
    for (int signal : kEndingSignals) std::signal(signal, SIG_DFL);
}

// The eight basic colours for terminals without 256: the channels that
// stand out.
int BasicColour(Colour colour) {
    const int high = std::max({colour.red, colour.green, colour.blue});
    if (high == 0) return COLOR_WHITE;
    const auto on = [&](int channel) { return channel * 2 > high; };
    const int index = (on(colour.red) ? 1 : 0) | (on(colour.green) ? 2 : 0) | (on(colour.blue) ? 4 : 0);
    return index == 7 ? COLOR_WHITE : index;
}

}  // namespace

TerminalSession::TerminalSession(bool colour) {
    std::setlocale(LC_ALL, "");
    m_unicode = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
    g_endRequested = 0;
    InstallFatalSignalHandlers();
    g_terminalSaved = tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    InstallEndingSignals();
    initscr();
    static std::string leave;
    leave.clear();
    if (const char* exitScreen = tigetstr(const_cast<char*>("rmcup")); exitScreen != nullptr && exitScreen != (char*)-1) leave += exitScreen;
    if (const char* cursor = tigetstr(const_cast<char*>("cnorm")); cursor != nullptr && cursor != (char*)-1) leave += cursor;
    g_leaveScreen = leave.c_str();
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(50);
    curs_set(0);
    timeout(250);
    m_colour = colour && has_colors();
    if (m_colour) {
        start_color();
        use_default_colors();
    }
}

TerminalSession::~TerminalSession() {
    endwin();
    RemoveEndingSignals();
    g_leaveScreen = nullptr;
    g_terminalSaved = false;
}

void InstallFatalSignalHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction fatal {};
    fatal.sa_handler = RestoreAndDie;
    sigemptyset(&fatal.sa_mask);
    fatal.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int signal : FatalSignals()) {
        // A signal ignored when the view started (nohup, a shell's job
        // control) stays ignored; a handler that was there first runs after
        // the terminal is given back.
        struct sigaction& previous = g_previousAction[signal];
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &fatal, nullptr);
    }
}

bool TerminalSession::EndRequested() { return g_endRequested != 0; }

void RunScreenLoop(const ScreenLoop& loop) {
    bool changed = true;
    while (!loop.done() && !TerminalSession::EndRequested()) {
        if (changed) loop.draw();
        const int key = getch();
        if (TerminalSession::EndRequested()) break;
        if (key == ERR) {
            changed = loop.tick();
            continue;
        }
        changed = true;
        if (key != KEY_RESIZE) loop.key(key);
    }
}

int TerminalSession::ColourAttribute(const std::optional<Colour>& colour) {
    if (!m_colour || !colour) return 0;
    const Colour shown = ReadableColour(*colour);
    const int cursesColour = COLORS >= 256 ? Nearest256(shown) : BasicColour(shown);
    auto found = m_pairs.find(cursesColour);
    if (found == m_pairs.end()) {
        const int pair = static_cast<int>(m_pairs.size()) + 1;
        if (pair >= COLOR_PAIRS) return 0;
        init_pair(static_cast<short>(pair), static_cast<short>(cursesColour), -1);
        found = m_pairs.emplace(cursesColour, pair).first;
    }
    return static_cast<int>(COLOR_PAIR(found->second));
}

}  // namespace tarnview::terminal
