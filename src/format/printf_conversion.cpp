#include "format/printf_conversion.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace printf_format {
namespace {

constexpr char kConversionCharacters[] = "diouxXcsfFeEgGaAp";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits into `value` (saturating at INT_MAX); returns how
// many there were.
int ReadNumber(const char*& at, int& value) {
    int digits = 0;
    for (; IsDigit(*at); ++at, ++digits) {
        const int digit = *at - '0';
        value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
    }
    return digits;
}

bool ReadFlag(char c, Conversion& conversion) {
    switch (c) {
        case '-': conversion.leftAlign = true; return true;
        case '+': conversion.plusSign = true; return true;
        case ' ': conversion.spaceSign = true; return true;
        case '#': conversion.alternate = true; return true;
        case '0': conversion.zeroPad = true; return true;
        default: return false;
    }
}

LengthModifier ReadLength(const char*& at) {
    struct Modifier {
        const char* text;
        LengthModifier length;
    };
    // Longer spellings first: "hh" before "h", "ll" before "l".
    static constexpr Modifier kModifiers[] = {
        {"hh", LengthModifier::kChar},      {"ll", LengthModifier::kLongLong},
        {"I64", LengthModifier::kLongLong}, {"I32", LengthModifier::kInt32},
        {"h", LengthModifier::kShort},      {"l", LengthModifier::kLong},
    };
    for (const Modifier& modifier : kModifiers) {
        const std::size_t length = std::strlen(modifier.text);
        if (std::strncmp(at, modifier.text, length) == 0) {
            at += length;
            return modifier.length;
        }
    }
    return LengthModifier::kNone;
}

}  // namespace

const char* ParseConversion(const char* at, Conversion& conversion) {
    while (ReadFlag(*at, conversion)) ++at;
    conversion.widthDigits = ReadNumber(at, conversion.width);
    if (*at == '.') {
        ++at;
        conversion.precision = 0;
        conversion.precisionDigits = ReadNumber(at, conversion.precision);
    }
    conversion.length = ReadLength(at);
    conversion.specifier = *at;
    if (*at == '\0' || std::strchr(kConversionCharacters, *at) == nullptr) return nullptr;
    return at + 1;
}

std::size_t WriteConversion(const Conversion& conversion, const char* length, char* spec,
                            std::size_t size) {
    char flags[6];
    std::size_t count = 0;
    if (conversion.leftAlign) flags[count++] = '-';
    if (conversion.plusSign) flags[count++] = '+';
    if (conversion.spaceSign) flags[count++] = ' ';
    if (conversion.alternate) flags[count++] = '#';
    if (conversion.zeroPad) flags[count++] = '0';
    flags[count] = '\0';
    char width[16] = "";
    if (conversion.width > 0) std::snprintf(width, sizeof width, "%d", conversion.width);
    char precision[16] = "";
    if (conversion.precision >= 0)
        std::snprintf(precision, sizeof precision, ".%d", conversion.precision);
    const int written = std::snprintf(spec, size, "%%%s%s%s%s%c", flags, width, precision, length,
                                      conversion.specifier);
    return written < 0 ? 0 : static_cast<std::size_t>(written);
}

}  // namespace printf_format
