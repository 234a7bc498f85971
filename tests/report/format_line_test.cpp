// FormatLine gives exactly what the C library's vsnprintf gives, for every
// conversion the report uses, and never cuts a line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "output/text_buffer.h"

namespace {

std::string Printf(const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

TEST(FormatLine, NumbersMatchTheCLibrary) {
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 0.5, 12.0, 1e-300, -2.5e-310, 1e20, -1e20,
                                  9.99e19, 123456.5, 99999.5, 999995.0, 1.23456789e-5, 0.0001,
                                  0.00001, 1e100, -1.7976931348623157e308,
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN()};
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> exponent(-30, 30), mantissa(-10, 10);
    for (int i = 0; i < 2000; ++i) values.push_back(mantissa(random) * std::pow(10.0, exponent(random)));
    const char* formats[] = {"%12.5g", "%10.3g", "%9.3g", "%#14.7g", "% #8.4e", "%g", "%.0g",
                             "%-12.5g|", "%12.5e", "%8.2f"};
    TextBuffer line;
    for (const char* format : formats)
        for (double value : values) {
            FormatLine(line, format, value);
            ASSERT_EQ(std::string(line.c_str(), line.size()), Printf(format, value))
                << format << " of " << value;
        }
}

TEST(FormatLine, TextsIntegersAndMixedRows) {
    TextBuffer line;
    FormatLine(line, "%-22s%12.5g %1s|%10s|%-10s|%s", "NAME", 3.0, "S", "Optim", "Cont", "");
    EXPECT_STREQ(line.c_str(), "NAME                             3 S|     Optim|Cont      |");
    FormatLine(line, "%-20.20s|%12s|%7d|%d|%5d", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "-inf", -1, 2147483647, -42);
    EXPECT_STREQ(line.c_str(), "ABCDEFGHIJKLMNOPQRST|        -inf|     -1|2147483647|  -42");
    FormatLine(line, "100%% %s %03d %+d %ld", "done", 7, 5, 123456789L);  // through the C library
    EXPECT_STREQ(line.c_str(), "100% done 007 +5 123456789");
    FormatLine(line, "no conversions");
    EXPECT_STREQ(line.c_str(), "no conversions");
    EXPECT_EQ(line.size(), 14u);
}

TEST(FormatLine, LongLinesAreWrittenWhole) {
    const std::string name(450, 'n');
    TextBuffer line;
    FormatLine(line, "%-22s%12.5g", name.c_str(), 1.5);
    EXPECT_EQ(std::string(line.c_str(), line.size()), name + "         1.5");
    FormatLine(line, "%s %ld", name.c_str(), 5L);  // the C library's path grows too
    EXPECT_EQ(std::string(line.c_str(), line.size()), name + " 5");
    FormatLine(line, "%s", "short");  // a grown buffer holds a short line again
    EXPECT_STREQ(line.c_str(), "short");
}

}  // namespace
