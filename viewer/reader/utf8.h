// Which bytes of a report are UTF-8: the well-formed sequences of Unicode,
// so no overlong form, no surrogate (U+D800 to U+DFFF) and nothing above
// U+10FFFF.  The viewer's one copy of this rule: the JSON it writes, the
// text it shows and the columns it counts all take it from here.
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
