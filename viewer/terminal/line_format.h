// One line of the report as the terminal view writes it: indented by its
// nesting, a region as its title with a fold sign, control characters
// shown visibly.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document.h"

namespace tarnview::terminal {

struct ShownLine {
    std::string text;                 // indentation and sign included
    std::optional<Colour> colour;     // the line's (or its region's) colour prefix
    bool title = false;
    std::size_t noteColumn = std::string::npos;  // where a folded title's " (N lines)" starts
};

constexpr int kIndentPerLevel = 2;

// `unicode`: the fold signs ▾ and ▸ (else - and +).  The text is made for
// its first `columns` columns at least (a line of 10 MB costs a screen's
// width), the note of a folded title always.
ShownLine FormatLine(const Document& document, LineNumber line, bool unicode, std::size_t columns);


// The status line of `width` columns: `left` (where the cursor is) at the
// start, `right` (a message, or the key hints) at the end, at least
// kStatusGap blanks between them.  When both do not fit, the right part
// keeps at least StatusMessageRoom columns, and each part cut short ends
// in "...".
constexpr std::size_t kStatusGap = 2;
std::size_t StatusMessageRoom(std::size_t width);
std::string StatusLine(std::string_view left, std::string_view right, std::size_t width);

}  // namespace tarnview::terminal
