// Small text services shared by the stand-in libraries.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "control_text.h"
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

std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    control_text::ForEachShownPiece(text, [&out](std::string_view piece) { out += piece; });
    return out;
}

void WriteOneLine(std::ostream& out, const std::string& text) {
    control_text::ForEachShownPiece(text, [&out](std::string_view piece) {
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
