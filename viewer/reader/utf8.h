// Which bytes of a report are UTF-8: the well-formed sequences of Unicode,
// so no overlong form, no surrogate (U+D800 to U+DFFF) and nothing above
// U+10FFFF.  The JSON the viewer writes, the text it shows and the columns
// it counts all take it from here; the rule itself is the one the report
// library and the writers keep in libs/base.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarnview {

// The length of the UTF-8 sequence at the start of `text`, 0 when no
// well-formed one starts there (a sequence cut short by the text's end
// included).
std::size_t Utf8SequenceLength(std::string_view text);

// Whether the whole text is UTF-8.
bool IsUtf8(std::string_view text);

}  // namespace tarnview
