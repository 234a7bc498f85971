#include "output/markup.h"

namespace markup {

std::string OneLine(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (char c : text) {
        if (c == '\n') shown += "\\n";
        else if (c == '\r') shown += "\\r";
        else shown += c;
    }
    return shown;
}

}  // namespace markup
