// How a text's control characters are shown where a text must stay on one
// line and reach no terminal as a control sequence: a line break as "\n", a
// carriage return as "\r", every other byte of a C0 control (but the tab),
// of DEL or of a C1 control (U+0080 to U+009F, two bytes in UTF-8) as
// "\xHH".  The one copy of this rule, for the report library and the model
// library alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace control_text {

// The number of bytes at `at` that make one control character (0 for none).
inline std::size_t ControlLength(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '\t') return 0;
    if (byte < 0x20 || byte == 0x7F) return 1;
    if (byte != 0xC2 || at + 1 == text.size()) return 0;
    const auto next = static_cast<unsigned char>(text[at + 1]);
    return next >= 0x80 && next <= 0x9F ? 2 : 0;
}

// How one byte of a control character is shown.
inline std::string_view Shown(unsigned char byte, char (&buffer)[4]) {
    if (byte == '\n') return "\\n";
    if (byte == '\r') return "\\r";
    constexpr char kHex[] = "0123456789ABCDEF";
    buffer[0] = '\\';
    buffer[1] = 'x';
    buffer[2] = kHex[byte >> 4];
    buffer[3] = kHex[byte & 0xF];
    return std::string_view(buffer, sizeof buffer);
}

// Calls `write` with the pieces of `text` as it is shown: the runs between
// control characters and the shown form of each of their bytes.
template <typename Write>
void ForEachShownPiece(std::string_view text, Write write) {
    std::size_t start = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::size_t length = ControlLength(text, at);
        if (length == 0) continue;
        write(text.substr(start, at - start));
        char buffer[4];
        for (std::size_t i = 0; i < length; ++i) write(Shown(static_cast<unsigned char>(text[at + i]), buffer));
        at += length - 1;
        start = at + 1;
    }
    write(text.substr(start));
}

}  // namespace control_text
