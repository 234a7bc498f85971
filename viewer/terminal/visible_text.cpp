#include "visible_text.h"

#include <cstdio>

#include "visible.h"

namespace tarnview::terminal {

namespace {

// The length of the UTF-8 sequence at the start of `text`, 0 when it is
// not one (overlong forms and surrogates included).
std::size_t Utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char first = byte(0);
    std::size_t length = 0;
    unsigned int low = 0x80, high = 0xbf;
    if (first >= 0xc2 && first <= 0xdf) {
        length = 2;
    } else if (first >= 0xe0 && first <= 0xef) {
        length = 3;
        if (first == 0xe0) low = 0xa0;
        if (first == 0xed) high = 0x9f;
    } else if (first >= 0xf0 && first <= 0xf4) {
        length = 4;
        if (first == 0xf0) low = 0x90;
        if (first == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
    }
    return length;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

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
        } else if (const std::size_t length = Utf8Length(std::string_view(visible).substr(i)); length > 0) {
            shown.append(visible, i, length);
            ++column;
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

std::size_t ColumnCount(std::string_view shown) {
    std::size_t columns = 0;
    for (char c : shown) columns += IsContinuation(c) ? 0 : 1;
    return columns;
}

std::string_view ColumnSlice(std::string_view shown, std::size_t first, std::size_t width) {
    std::size_t begin = 0, column = 0;
    while (begin < shown.size() && column < first) {
        ++begin;
        while (begin < shown.size() && IsContinuation(shown[begin])) ++begin;
        ++column;
    }
    std::size_t end = begin;
    for (column = 0; end < shown.size() && column < width; ++column) {
        ++end;
        while (end < shown.size() && IsContinuation(shown[end])) ++end;
    }
    return shown.substr(begin, end - begin);
}

}  // namespace tarnview::terminal
