// The report's line formatter as built for Windows: the C99 printf family
// of the MinGW runtime, not the system C library's, so that numbers read
// the same as in the Linux build (two-digit exponents, "nan", "inf").
//
// Prints one line per failed case and exits 1 when any failed.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "output/text_buffer.h"

namespace {

int g_failures = 0;

void Expect(const TextBuffer& line, const std::string& expected, const char* what) {
    const std::string actual(line.c_str(), line.size());
    if (actual != expected || std::strlen(line.c_str()) != line.size()) {
        std::printf("FAIL %s: expected [%s], got [%s]\n", what, expected.c_str(), actual.c_str());
        ++g_failures;
    }
}

void Number(const char* format, double value, const char* expected) {
    TextBuffer line;
    FormatLine(line, format, value);
    std::string what = std::string(format) + " of " + expected;
    Expect(line, expected, what.c_str());
}

}  // namespace

int main() {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::copysign(std::numeric_limits<double>::quiet_NaN(), 1.0);

    // Widths and exponents of the summary and table columns.
    Number("%12.5g", 0.0, "           0");
    Number("%12.5g", -0.0, "          -0");
    Number("%12.5g", 1e-5, "       1e-05");
    Number("%12.5g", 123456.789, "  1.2346e+05");
    Number("%12.5g", 1.5e100, "    1.5e+100");
    Number("%12.5g", -2.5e-300, "   -2.5e-300");
    Number("%12.5g", 4.9e-324, " 4.9407e-324");
    Number("%12.5g", 1.7976931348623157e308, " 1.7977e+308");
    Number("%12.5g", 99999.95, "       1e+05");
    Number("% #8.4e", 0.0, " 0.0000e+00");
    Number("% #8.4e", -1.5, "-1.5000e+00");
    Number("% #8.4e", 1e-5, " 1.0000e-05");
    Number("% #8.4e", 1.5e100, " 1.5000e+100");
    Number("%#14.7g", 123456.789, "      123456.8");
    Number("%#14.7g", 999995.0, "      999995.0");
    Number("%#14.7g", 1e-5, "  1.000000e-05");
    Number("%10.3g", 123456.789, "  1.23e+05");
    Number("%9.3g", 0.1, "      0.1");

    // Not-a-number and infinities, as the run data spells them.
    Number("%12.5g", nan, "         nan");
    Number("%12.5g", inf, "         inf");
    Number("%12.5g", -inf, "        -inf");
    Number("% #8.4e", nan, "     nan");
    Number("% #8.4e", inf, "     inf");
    Number("% #8.4e", -inf, "    -inf");
    Number("%#14.7g", nan, "           nan");
    Number("%10.3g", -inf, "      -inf");

    // Text and integer fields, cut and padded.
    TextBuffer line;
    FormatLine(line, "%-22s|%7d|%s", "X1", -12, "end");
    Expect(line, "X1                    |    -12|end", "%-22s %7d %s");
    FormatLine(line, "[%-20.20s]", "A_NAME_LONGER_THAN_TWENTY_BYTES");
    Expect(line, "[A_NAME_LONGER_THAN_T]", "%-20.20s cuts");
    FormatLine(line, "[%12s][%1s][%10s]", "+inf", "S", "Optim");
    Expect(line, "[        +inf][S][     Optim]", "%12s %1s %10s");

    // A line longer than the buffer's first size is kept whole.
    const std::string longName(450, 'N');
    FormatLine(line, "%-22s%12.5g", longName.c_str(), 2.5);
    Expect(line, longName + "         2.5", "a 462-character line");
    FormatLine(line, "%s", "");
    Expect(line, "", "an empty line after a long one");

    if (g_failures == 0) std::printf("all formatting cases passed\n");
    return g_failures == 0 ? 0 : 1;
}
