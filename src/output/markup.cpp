#include "output/markup.h"

#include <ostream>

namespace markup {
namespace {

constexpr char kBreaks[] = "\n\r";

void Write(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// How a line break or carriage return is shown.
std::string_view Shown(char c) { return c == '\n' ? "\\n" : "\\r"; }

// Calls `write` with the pieces of `text` as it is shown: the runs between
// line breaks and the shown form of each break.
template <typename Write>
void ForEachShownPiece(std::string_view text, Write write) {
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t lineBreak = text.find_first_of(kBreaks, start);
        if (lineBreak == std::string_view::npos) {
            write(text.substr(start));
            return;
        }
        write(text.substr(start, lineBreak - start));
        write(Shown(text[lineBreak]));
        start = lineBreak + 1;
    }
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    ForEachShownPiece(text, [&shown](std::string_view piece) { shown += piece; });
    return shown;
}

void WriteOneLine(std::ostream& out, std::string_view text) {
    ForEachShownPiece(text, [&out](std::string_view piece) { Write(out, piece); });
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
