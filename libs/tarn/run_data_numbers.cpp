// Numbers of the run-data file.
#include "run_data_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tarn {
namespace {

// The exponent written after 'e', held within +-1000000.
std::int64_t WrittenExponent(std::string_view text) {
    const size_t e = text.find_first_of("eE");
    if (e == std::string_view::npos) return 0;
    std::string_view digits = text.substr(e + 1);
    const bool negative = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.remove_prefix(1);
    std::int64_t exponent = 0;
    for (const char c : digits) exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), 1000000);
    return negative ? -exponent : exponent;
}

// For a number out of a double's range: whether it is too large (rather
// than too small), from the power of ten of its first non-zero digit.
bool BeyondTheLargestDouble(std::string_view text) {
    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::string_view mantissa = text.substr(start, text.find_first_of("eE") - start);
    const size_t point = std::min(mantissa.find('.'), mantissa.size());
    const size_t lead = mantissa.find_first_of("123456789");
    if (lead == std::string_view::npos) return false;
    const std::int64_t power = lead < point ? static_cast<std::int64_t>(point - lead - 1)
                                            : -static_cast<std::int64_t>(lead - point);
    return power + WrittenExponent(text) >= 0;
}

}  // namespace

// std::from_chars gives the nearest double; it leaves the value alone when
// the number is out of range, either way.
bool ParseDouble(std::string_view text, double& value) {
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(text.data(), last, value);
    if (result.ec == std::errc() && result.ptr == last) return true;
    if (result.ec != std::errc::result_out_of_range || BeyondTheLargestDouble(text)) return false;
    value = !text.empty() && text[0] == '-' ? -0.0 : 0.0;
    return true;
}

IntegerText ParseInteger(std::string_view text, std::int64_t min, std::int64_t max,
                         std::int64_t& value) {
    if (text.find_first_of(".eE") != std::string_view::npos) return IntegerText::NotAnInteger;
    const char* last = text.data() + text.size();
    const auto result = std::from_chars(text.data(), last, value);
    if (result.ec != std::errc() || result.ptr != last || value < min || value > max)
        return IntegerText::OutOfRange;
    return IntegerText::Valid;
}

bool ParseNonFiniteText(std::string_view text, double& value) {
    if (text == "inf" || text == "+inf") value = std::numeric_limits<double>::infinity();
    else if (text == "-inf") value = -std::numeric_limits<double>::infinity();
    else if (text == "nan") value = std::copysign(std::numeric_limits<double>::quiet_NaN(), 1.0);
    else return false;
    return true;
}

std::string ShownNumber(std::string_view text) {
    constexpr size_t kMaxShown = 40;
    if (text.size() <= kMaxShown) return std::string(text);
    return std::string(text.substr(0, kMaxShown)) + "...";
}

}  // namespace tarn
