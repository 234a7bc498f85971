#include "utf8.h"

#include "base/utf8.h"

namespace tarnview {

std::size_t Utf8SequenceLength(std::string_view text) { return utf8::SequenceLength(text); }

bool IsUtf8(std::string_view text) { return utf8::IsValid(text); }

}  // namespace tarnview
