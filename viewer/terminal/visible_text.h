// Report text made safe for the terminal view: control characters shown
// as the other commands show them, and columns counted for scrolling.
#pragma once

#include <string>
#include <string_view>

namespace tarnview::terminal {

// The text as the commands show it (Visible: ^X, ^?, \xHH for C1), any
// other byte that is not UTF-8 also as \xHH, and a tab as the blanks to the
// next multiple of eight columns (counted from the text's start).
std::string VisibleText(std::string_view text);

// The columns a shown text takes (one per code point).
std::size_t ColumnCount(std::string_view shown);
// The part of a shown text from column `first`, at most `width` columns.
std::string_view ColumnSlice(std::string_view shown, std::size_t first, std::size_t width);

}  // namespace tarnview::terminal
