// The run-data file's number texts: which a double holds, which become
// zero, which are refused; integers by their written form and range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "run_data_numbers.h"

using tarn::IntegerText;

namespace {

struct DoubleCase {
    const char* text;
    bool taken;
    double value;
};

}  // namespace

// Beyond the largest double is refused; below the smallest becomes zero of
// the number's sign, however the number is written.
TEST(RunDataNumbers, RangeOfADouble) {
    const double max = std::numeric_limits<double>::max();
    const DoubleCase cases[] = {
        {"1.7976931348623157e308", true, max},
        {"-1.7976931348623157e308", true, -max},
        {"1.7976931348623159e308", false, 0},
        {"1.8e308", false, 0},
        {"-1.8e308", false, 0},
        {"17976931348623159" "0000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "000000000000000000000000000000000000000000000000000000000000000000000000", false, 0},
        {"0.00000000000000000000001e331", true, 1e308},
        {"0.00000000000000000000001e332", false, 0},
        {"4.9e-324", true, std::numeric_limits<double>::denorm_min()},
        {"1e-400", true, 0.0},
        {"-1e-400", true, -0.0},
        {"123456e-99999999999", true, 0.0},
        {"0e99999999999", true, 0.0},
        {"-0", true, -0.0},
    };
    for (const DoubleCase& c : cases) {
        SCOPED_TRACE(c.text);
        double value = 12.5;
        ASSERT_EQ(tarn::ParseDouble(c.text, value), c.taken);
        if (!c.taken) continue;
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(std::signbit(value), std::signbit(c.value));
    }
}

TEST(RunDataNumbers, IntegersByFormAndRange) {
    std::int64_t value = 0;
    EXPECT_EQ(tarn::ParseInteger("-32768", -32768, 32767, value), IntegerText::Valid);
    EXPECT_EQ(value, -32768);
    EXPECT_EQ(tarn::ParseInteger("32768", -32768, 32767, value), IntegerText::OutOfRange);
    EXPECT_EQ(tarn::ParseInteger("-32769", -32768, 32767, value), IntegerText::OutOfRange);
    EXPECT_EQ(tarn::ParseInteger("3.0", 0, 9, value), IntegerText::NotAnInteger);
    EXPECT_EQ(tarn::ParseInteger("3e0", 0, 9, value), IntegerText::NotAnInteger);
    EXPECT_EQ(tarn::ParseInteger("3E0", 0, 9, value), IntegerText::NotAnInteger);
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(tarn::ParseInteger("-9223372036854775808", min, max, value), IntegerText::Valid);
    EXPECT_EQ(value, min);
    EXPECT_EQ(tarn::ParseInteger("9223372036854775808", min, max, value), IntegerText::OutOfRange);
    EXPECT_EQ(tarn::ParseInteger("-99999999999999999999", min, max, value), IntegerText::OutOfRange);
}

TEST(RunDataNumbers, NonFiniteTextsAndShownNumbers) {
    double value = 0;
    EXPECT_TRUE(tarn::ParseNonFiniteText("+inf", value));
    EXPECT_EQ(value, std::numeric_limits<double>::infinity());
    EXPECT_TRUE(tarn::ParseNonFiniteText("-inf", value));
    EXPECT_EQ(value, -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(tarn::ParseNonFiniteText("nan", value));
    EXPECT_TRUE(std::isnan(value));
    EXPECT_FALSE(std::signbit(value));
    for (const char* other : {"Inf", "infinity", "NaN", "-nan", "1", ""})
        EXPECT_FALSE(tarn::ParseNonFiniteText(other, value)) << other;

    EXPECT_EQ(tarn::ShownNumber(std::string(40, '9')), std::string(40, '9'));
    EXPECT_EQ(tarn::ShownNumber(std::string(41, '9')), std::string(40, '9') + "...");
}
