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

// The same for the first `columns` columns at least: a line of any length
// costs what the screen shows of it.
std::string VisibleTextUpTo(std::string_view text, std::size_t columns);

// The columns a shown text takes on the terminal: two for a wide (CJK)
// character, none for a combining one, as the locale's wcwidth says.
std::size_t ColumnCount(std::string_view shown);
// The part of a shown text from column `first`, at most `width` columns
// (npos: to the end), never half a wide character: one across `first` is
// left out (the part then starts a column later, see ColumnsBefore), one
// across the width's end too.
std::string_view ColumnSlice(std::string_view shown, std::size_t first, std::size_t width);
// The columns of `shown` before `part`, a part of it.
std::size_t ColumnsBefore(std::string_view shown, std::string_view part);

}  // namespace tarnview::terminal
