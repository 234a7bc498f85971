// One line of the report as the terminal view writes it: indented by its
// nesting, a region as its title with a fold sign, control characters
// shown visibly.
#pragma once

#include <optional>
#include <string>

#include "document.h"

namespace tarnview::terminal {

struct ShownLine {
    std::string text;                 // indentation and sign included
    std::optional<Colour> colour;     // the line's (or its region's) colour prefix
    bool title = false;
    std::size_t noteColumn = std::string::npos;  // where a folded title's " (N lines)" starts
};

constexpr int kIndentPerLevel = 2;

// `unicode`: the fold signs ▾ and ▸ (else - and +).
ShownLine FormatLine(const Document& document, LineNumber line, bool unicode);

}  // namespace tarnview::terminal
