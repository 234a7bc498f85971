// The one reader of printf conversions ("%-22s", "%12.5g", "%03d", ...):
// the report's line formatter and the message table's inserts both parse
// their conversions here.
#pragma once

#include <cstddef>

namespace printf_format {

enum class LengthModifier {
    kNone,
    kChar,      // hh
    kShort,     // h
    kLong,      // l
    kLongLong,  // ll, or I64 as the Windows C runtime writes it
    kInt32,     // I32
};

struct Conversion {
    bool leftAlign = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;    // -1: none given
    int widthDigits = 0;   // digits written for the width and the precision
    int precisionDigits = 0;
    LengthModifier length = LengthModifier::kNone;
    char specifier = '\0';
};

// Parses the conversion that follows a '%': flags, width, precision, length
// modifier and conversion character.  Returns the character after it, or
// null when there is none of the C conversion characters there (a '*', an
// unknown character, or the end of the text).  Widths and precisions too
// large for an int are taken as the largest int.
const char* ParseConversion(const char* at, Conversion& conversion);

// Writes the conversion back as a printf format into `spec` (at most `size`
// characters with the terminator), with `length` as its length modifier
// ("", "h", "ll", ...).  Returns the format's length.
std::size_t WriteConversion(const Conversion& conversion, const char* length, char* spec,
                            std::size_t size);

}  // namespace printf_format
