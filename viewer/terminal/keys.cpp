#include "keys.h"

#include <curses.h>

namespace tarnview::terminal {

namespace {

constexpr int Control(char c) { return c & 0x1f; }

}  // namespace

const std::vector<KeyBinding>& KeyBindings() {
    static const std::vector<KeyBinding> bindings = {
        {{'j', KEY_DOWN, Control('n'), Control('e')}, Action::kDown, "j, Down", "one line down"},
        {{'k', KEY_UP, Control('p'), Control('y')}, Action::kUp, "k, Up", "one line up"},
        {{KEY_NPAGE, ' ', Control('f'), 'f'}, Action::kPageDown, "PgDn, Space, f", "one screen down"},
        {{KEY_PPAGE, 'b', Control('b')}, Action::kPageUp, "PgUp, b", "one screen up"},
        {{'d', Control('d')}, Action::kHalfPageDown, "d", "half a screen down"},
        {{'u', Control('u')}, Action::kHalfPageUp, "u", "half a screen up"},
        {{'g', KEY_HOME, '<'}, Action::kTop, "g, Home", "the first line"},
        {{'G', KEY_END, '>'}, Action::kBottom, "G, End", "the last line"},
        {{KEY_LEFT, 'h'}, Action::kLeft, "Left, h", "scroll left"},
        {{KEY_RIGHT, 'l'}, Action::kRight, "Right, l", "scroll right"},
        {{'\n', '\r', KEY_ENTER, 'z'}, Action::kToggleFold, "Enter, z", "fold or unfold the region at the cursor"},
        {{'+', 'o'}, Action::kOpenFold, "o, +", "unfold the region at the cursor"},
        {{'-', 'c'}, Action::kCloseFold, "c, -", "fold the region the cursor is in"},
        {{'O', '*'}, Action::kOpenAll, "O, *", "unfold every region"},
        {{'C'}, Action::kCloseAll, "C", "fold every region"},
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, Action::kOpenLevel, "1 ... 9",
         "unfold the regions of the first N levels, fold the deeper ones"},
        {{'Z'}, Action::kCloseLevel, "Z", "fold every region of the cursor's level"},
        {{'/'}, Action::kSearchForward, "/", "search forward (names, any text as written)"},
        {{'?'}, Action::kSearchBackward, "?", "search backward; ? then Enter lists the keys"},
        {{'n'}, Action::kNextHit, "n", "the next hit (in folded regions too: they unfold)"},
        {{'N'}, Action::kPreviousHit, "N", "the previous hit"},
        {{'I'}, Action::kIgnoreCase, "I", "searches ignore case, or not"},
        {{':'}, Action::kGoToLine, ":", "go to a line number"},
        {{'i'}, Action::kGoToIteration, "i", "go to an iteration (its number, or 'init')"},
        {{']'}, Action::kNextIteration, "]", "the next iteration block"},
        {{'['}, Action::kPreviousIteration, "[", "the previous iteration block"},
        {{'}'}, Action::kNextSameKind, "}", "the next table or region of the kind at the cursor"},
        {{'{'}, Action::kPreviousSameKind, "{", "the previous table or region of that kind"},
        {{'H'}, Action::kHistory, "H", "history of the name at the cursor (or one typed; Tab takes a suggestion)"},
        {{'w'}, Action::kNextTarget, "w", "the next name or iteration number on the line; Enter goes to it"},
        {{'x'}, Action::kIterationDiff, "x", "what changed from the iteration at the cursor to the next"},
        {{'s'}, Action::kSummary, "s", "the iteration summary"},
        {{'D'}, Action::kDiagnosis, "D", "the infeasibility diagnosis"},
        {{'\t'}, Action::kOutline, "Tab", "show or hide the outline"},
        {{KEY_F(1), 'K'}, Action::kHelp, "F1, K", "this list of keys"},
        {{Control('l')}, Action::kRedraw, "Ctrl-L", "draw the screen again"},
        {{'L'}, Action::kChartScale, "L", "in a history: its chart on a log or a linear scale"},
        {{'q', 'Q'}, Action::kQuit, "q", "quit (Escape or q leaves a list or a history)"},
    };
    return bindings;
}

Action ActionOfKey(int key) {
    for (const KeyBinding& binding : KeyBindings()) {
        for (int bound : binding.keys) {
            if (bound == key) return binding.action;
        }
    }
    return Action::kNone;
}

std::vector<std::string> KeyListLines() {
    std::vector<std::string> lines;
    for (const KeyBinding& binding : KeyBindings()) {
        std::string line = "  " + binding.keyNames;
        line.append(line.size() < 18 ? 18 - line.size() : 1, ' ');
        lines.push_back(line + binding.meaning);
    }
    return lines;
}

}  // namespace tarnview::terminal
