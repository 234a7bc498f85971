// Small text services shared by the stand-in libraries.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "libs/veldxmps.h"
#include "libs/veldxmps_model.h"

namespace veldxmps {

std::string FormatNumber(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc()) return "nan";  // cannot happen with 64 bytes
    return std::string(buffer, result.ptr);
}

namespace {

// The number of bytes at `at` that make one control character (0 for
// none): a C0 control other than the tab, DEL, or a C1 control (U+0080 to
// U+009F, two bytes in UTF-8).
size_t ControlLength(std::string_view text, size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == '\t') return 0;
    if (byte < 0x20 || byte == 0x7F) return 1;
    if (byte != 0xC2 || at + 1 == text.size()) return 0;
    const auto next = static_cast<unsigned char>(text[at + 1]);
    return next >= 0x80 && next <= 0x9F ? 2 : 0;
}

// "\n", "\r", or "\xHH" for any other byte of a control character.
std::string_view Shown(unsigned char byte, char (&buffer)[4]) {
    if (byte == '\n') return "\\n";
    if (byte == '\r') return "\\r";
    constexpr char kHex[] = "0123456789ABCDEF";
    buffer[0] = '\\';
    buffer[1] = 'x';
    buffer[2] = kHex[byte >> 4];
    buffer[3] = kHex[byte & 0xF];
    return std::string_view(buffer, sizeof buffer);
}

// Calls `write` with the pieces of `text` as OneLine shows it: the runs
// between control characters and the shown form of each of their bytes.
template <typename Write>
void ForEachShownPiece(std::string_view text, Write write) {
    size_t start = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        const size_t length = ControlLength(text, at);
        if (length == 0) continue;
        write(text.substr(start, at - start));
        char buffer[4];
        for (size_t i = 0; i < length; ++i) write(Shown(static_cast<unsigned char>(text[at + i]), buffer));
        at += length - 1;
        start = at + 1;
    }
    write(text.substr(start));
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    ForEachShownPiece(text, [&out](std::string_view piece) { out += piece; });
    return out;
}

void WriteOneLine(std::ostream& out, const std::string& text) {
    ForEachShownPiece(text, [&out](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    });
}

void FaultPoint(const char* operation) {
    const char* setting = std::getenv("TARN_STANDIN_FAULT");
    if (setting == nullptr || *setting == '\0' || operation == nullptr) return;
    const std::string_view wanted(operation);
    std::string_view rest(setting);
    while (true) {
        const size_t comma = rest.find(',');
        if (rest.substr(0, comma) == wanted)
            throw VELD_ExcpFileError(operation, "", "failure injected by TARN_STANDIN_FAULT", 0);
        if (comma == std::string_view::npos) return;
        rest.remove_prefix(comma + 1);
    }
}

}  // namespace veldxmps
