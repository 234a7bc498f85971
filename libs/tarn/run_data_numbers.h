// Numbers of the run-data file: JSON number texts as doubles and integers,
// the texts that stand for the non-finite values, and numbers in messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// A JSON number's text as the nearest double.  False when the value is too
// large for a double; a value too small for one becomes zero (of its sign).
bool ParseDouble(std::string_view text, double& value);

enum class IntegerText { Valid, NotAnInteger, OutOfRange };

// A JSON number's text as an integer from min to max.  A fraction or an
// exponent makes it NotAnInteger, even when its value is whole (3.0, 3e0).
IntegerText ParseInteger(std::string_view text, std::int64_t min, std::int64_t max,
                         std::int64_t& value);

// "inf", "+inf", "-inf" and "nan", the texts that stand for the values JSON
// has no literal for.  False for any other text.
bool ParseNonFiniteText(std::string_view text, double& value);

// A number's text for a message, cut to a readable length.
std::string ShownNumber(std::string_view text);

}  // namespace tarn
