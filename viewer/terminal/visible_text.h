// Report text made safe for the terminal: every control character shown
// as a visible sign instead of being sent to the terminal.
#pragma once

#include <string>
#include <string_view>

namespace tarnview::terminal {

// C0 controls as ^@ ... ^_, DEL as ^?, C1 controls (U+0080 to U+009F) as
// <U+0085>, bytes that are not UTF-8 as <\xNN>; a tab becomes the blanks to
// the next multiple of eight columns (counted from the text's start).
std::string VisibleText(std::string_view text);

// The columns a shown text takes (one per code point).
std::size_t ColumnCount(std::string_view shown);
// The part of a shown text from column `first`, at most `width` columns.
std::string_view ColumnSlice(std::string_view shown, std::size_t first, std::size_t width);

}  // namespace tarnview::terminal
