// Which bytes are UTF-8: the well-formed sequences of Unicode, so no
// overlong form, no surrogate (U+D800 to U+DFFF) and nothing above
// U+10FFFF, as the run-data loader's JSON reader takes them.  The one copy
// of this rule for the report and model libraries, the run-data writer and
// the viewer.
#pragma once

#include <cstddef>
#include <string_view>

namespace utf8 {

// The length of the sequence at the start of `text`, 0 when no
// well-formed one starts there (a sequence cut short by the text's end
// included).
inline std::size_t SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // below: overlong
        if (lead == 0xED) high = 0x9F;  // above: a surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // below: overlong
        if (lead == 0xF4) high = 0x8F;  // above: beyond U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// Whether the whole text is UTF-8.
inline bool IsValid(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = SequenceLength(text.substr(at));
        if (length == 0) return false;
        at += length;
    }
    return true;
}

}  // namespace utf8
