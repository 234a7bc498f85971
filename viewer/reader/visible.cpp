#include "visible.h"

#include <algorithm>
#include <cstdio>

#include "utf8.h"

namespace {

// The number of bytes at `at` that make a C1 control: two in UTF-8, one for
// a lone byte from 0x80 to 0x9F; 0 for none.
std::size_t C1Length(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == 0xC2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    return byte >= 0x80 && byte <= 0x9F ? 1 : 0;
}

void AppendHex(std::string& out, unsigned char byte, const char* form) {
    char text[8];
    std::snprintf(text, sizeof text, form, byte);
    out += text;
}

}  // namespace

std::string Visible(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if ((byte >= 0x20 && byte != 0x7F) || byte == '\t') {
                shown.push_back(static_cast<char>(byte));
            } else {
                shown.push_back('^');
                shown.push_back(byte == 0x7F ? '?' : static_cast<char>(byte + '@'));
            }
        } else if (const std::size_t c1 = C1Length(text, at); c1 > 0) {
            for (std::size_t i = 0; i < c1; ++i) AppendHex(shown, static_cast<unsigned char>(text[at + i]), "\\x%02X");
            at += c1 - 1;
        } else {
            const std::size_t length = std::max<std::size_t>(tarnview::Utf8SequenceLength(text.substr(at)), 1);
            shown.append(text.substr(at, length));
            at += length - 1;
        }
    }
    return shown;
}

std::string VisibleJson(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t at = 0; at < json.size(); ++at) {
        const auto byte = static_cast<unsigned char>(json[at]);
        if (byte == 0x7F) {
            out += "\\u007f";
        } else if (byte == 0xC2 && C1Length(json, at) == 2) {
            AppendHex(out, static_cast<unsigned char>(json[++at]), "\\u00%02x");
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}
