// Terminal colours for the report's colour prefixes.  Each colour keeps its
// hue but is brought to a middle brightness, so that dark blue stays
// readable on a dark terminal and orange on a light one.
#pragma once

#include <string>

#include "report_reader.h"

enum class ColourDepth { kNone, k256, kTrueColour };

// The colour depth for a terminal: none when NO_COLOR is set (to anything
// but the empty text) or TERM is "dumb"; 24-bit when COLORTERM says
// "truecolor" or "24bit"; 256 colours otherwise.
ColourDepth TerminalColourDepth();

// The colour shown for a prefix's colour.
tarnview::Colour ReadableColour(tarnview::Colour colour);

// The xterm 256-colour index nearest to a colour.
int Nearest256(tarnview::Colour colour);

// The escape sequence that sets the foreground to the readable form of
// `colour` at the given depth (empty for kNone).
std::string ForegroundEscape(tarnview::Colour colour, ColourDepth depth);
