#include "output/markup.h"

#include <ostream>

#include "control_text.h"

namespace markup {
namespace {

void Write(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    control_text::ForEachShownPiece(text, [&shown](std::string_view piece) { shown += piece; });
    return shown;
}

void WriteOneLine(std::ostream& out, std::string_view text) {
    control_text::ForEachShownPiece(text, [&out](std::string_view piece) { Write(out, piece); });
}

void WriteWithText(std::ostream& out, std::string_view format, std::string_view text) {
    const std::size_t conversion = format.find("%s");
    if (conversion == std::string_view::npos) {
        Write(out, format);
        return;
    }
    Write(out, format.substr(0, conversion));
    WriteOneLine(out, text);
    Write(out, format.substr(conversion + 2));
}

}  // namespace markup
