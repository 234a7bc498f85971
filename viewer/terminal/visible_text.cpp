#include "visible_text.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "utf8.h"
#include "visible.h"

namespace tarnview::terminal {

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// The code point of the (valid) UTF-8 sequence of `length` bytes at `text`.
char32_t CodePoint(std::string_view text, std::size_t length) {
    const auto byte = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(text[i])); };
    if (length == 1) return byte(0);
    char32_t point = byte(0) & (0xff >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) point = (point << 6) | (byte(i) & 0x3f);
    return point;
}

// The columns a code point takes on the terminal, as curses counts them
// (wcwidth in the terminal's locale); one for what the locale cannot say.
std::size_t CodePointWidth(char32_t point) {
    if (point < 0x80) return 1;
    const int width = wcwidth(static_cast<wchar_t>(point));
    return width < 0 ? 1 : static_cast<std::size_t>(width);
}

// The bytes of the character at `at` in a shown text, and its columns.
std::size_t CharLength(std::string_view shown, std::size_t at) {
    std::size_t end = at + 1;
    while (end < shown.size() && IsContinuation(shown[end])) ++end;
    return end - at;
}

std::size_t CharWidth(std::string_view shown, std::size_t at, std::size_t length) {
    return CodePointWidth(CodePoint(shown.substr(at), length));
}

}  // namespace

std::string VisibleText(std::string_view text) {
    const std::string visible = Visible(text);
    std::string shown;
    shown.reserve(visible.size());
    std::size_t column = 0;
    for (std::size_t i = 0; i < visible.size();) {
        const unsigned char c = static_cast<unsigned char>(visible[i]);
        if (c == '\t') {
            const std::size_t blanks = 8 - column % 8;
            shown.append(blanks, ' ');
            column += blanks;
            ++i;
        } else if (c < 0x80) {
            shown += static_cast<char>(c);
            ++column;
            ++i;
        } else if (const std::size_t length = Utf8SequenceLength(std::string_view(visible).substr(i)); length > 0) {
            shown.append(visible, i, length);
            column += CharWidth(visible, i, length);
            i += length;
        } else {
            char sign[8];
            std::snprintf(sign, sizeof sign, "\\x%02X", c);
            shown += sign;
            column += 4;
            ++i;
        }
    }
    return shown;
}

std::string VisibleTextUpTo(std::string_view text, std::size_t columns) {
    std::size_t bytes = std::max<std::size_t>(256, columns * 4 + 16);
    for (;;) {
        if (bytes >= text.size()) return VisibleText(text);
        // Cut where a character starts; a character cut in two would show as \xHH.
        std::size_t cut = bytes;
        while (cut > 0 && bytes - cut < 4 && IsContinuation(text[cut])) --cut;
        std::string shown = VisibleText(text.substr(0, cut));
        if (ColumnCount(shown) >= columns) return shown;
        bytes *= 4;  // mostly characters of no width: read further
    }
}

std::size_t ColumnCount(std::string_view shown) {
    std::size_t columns = 0;
    for (std::size_t at = 0; at < shown.size();) {
        const std::size_t length = CharLength(shown, at);
        columns += CharWidth(shown, at, length);
        at += length;
    }
    return columns;
}

std::string_view ColumnSlice(std::string_view shown, std::size_t first, std::size_t width) {
    std::size_t begin = 0, column = 0;
    // Past the columns before `first`, a wide character across it included,
    // and the characters of no width that belong to the last one passed.
    while (begin < shown.size()) {
        const std::size_t length = CharLength(shown, begin);
        const std::size_t columns = CharWidth(shown, begin, length);
        if (column >= first && (columns > 0 || begin == 0)) break;
        column += columns;
        begin += length;
    }
    std::size_t end = begin, used = column > first ? column - first : 0;
    while (end < shown.size()) {
        const std::size_t length = CharLength(shown, end);
        const std::size_t columns = CharWidth(shown, end, length);
        if (width != std::string_view::npos && used + columns > width) break;
        used += columns;
        end += length;
    }
    return shown.substr(begin, end - begin);
}

std::size_t ColumnsBefore(std::string_view shown, std::string_view part) {
    return ColumnCount(shown.substr(0, static_cast<std::size_t>(part.data() - shown.data())));
}

}  // namespace tarnview::terminal
