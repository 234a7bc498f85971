#include "output/text_buffer.h"

#include "format/printf_conversion.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <ostream>

// The report formats millions of numbers for a large run.  FormatLine
// therefore expands the conversions the report uses itself: "s" and "d"
// directly and "g" through std::to_chars, which is specified to give exactly
// what printf gives in the "C" locale.  Every other conversion (and "g" with
// the "#" flag) is handed to vsnprintf one at a time.  Widths, precisions
// and flags follow C99 printf.

namespace {

using printf_format::Conversion;

// Parses the conversion after a '%'; returns the character after it, or null
// when the conversion is one this formatter does not expand itself (a
// length modifier, '*', or a conversion the report does not use).
const char* ParseOwnConversion(const char* at, Conversion& conversion) {
    const char* next = printf_format::ParseConversion(at, conversion);
    if (next == nullptr || conversion.length != printf_format::LengthModifier::kNone) return nullptr;
    return std::strchr("sdgeEfGx", conversion.specifier) != nullptr ? next : nullptr;
}

class Output {
public:
    explicit Output(std::vector<char>& data) : m_data(data) {}

    void Append(const char* text, std::size_t length) {
        Reserve(length);
        std::memcpy(m_data.data() + m_length, text, length);
        m_length += length;
    }
    void Pad(std::size_t count, char fill = ' ') {
        Reserve(count);
        std::memset(m_data.data() + m_length, fill, count);
        m_length += count;
    }
    // Appends `text` in a field of `width`, blanks before it or after it.
    void Field(const char* text, std::size_t length, const Conversion& conversion) {
        const std::size_t width = static_cast<std::size_t>(conversion.width);
        const std::size_t padding = length < width ? width - length : 0;
        if (!conversion.leftAlign) Pad(padding);
        Append(text, length);
        if (conversion.leftAlign) Pad(padding);
    }
    std::size_t Length() const { return m_length; }
    void Terminate() {
        Reserve(1);
        m_data[m_length] = '\0';
    }

private:
    void Reserve(std::size_t more) {
        if (m_length + more + 1 > m_data.size()) m_data.resize(2 * (m_length + more + 1));
    }
    std::vector<char>& m_data;
    std::size_t m_length = 0;
};

void AppendText(Output& out, const char* text, const Conversion& conversion) {
    if (text == nullptr) text = "(null)";
    std::size_t length = std::strlen(text);
    if (conversion.precision >= 0 && static_cast<std::size_t>(conversion.precision) < length)
        length = static_cast<std::size_t>(conversion.precision);
    out.Field(text, length, conversion);
}

// One conversion through the C library, for what is not expanded here.
template <typename Value>
void AppendThroughPrintf(Output& out, const Conversion& conversion, Value value) {
    char spec[48];
    printf_format::WriteConversion(conversion, "", spec, sizeof spec);
    char small[128];
    const int length = std::snprintf(small, sizeof small, spec, value);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) < sizeof small) {
        out.Append(small, static_cast<std::size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<std::size_t>(length) + 1);
    std::snprintf(large.data(), large.size(), spec, value);
    out.Append(large.data(), static_cast<std::size_t>(length));
}

void AppendInteger(Output& out, int value, const Conversion& conversion) {
    if (conversion.plusSign || conversion.spaceSign || conversion.zeroPad || conversion.precision >= 0) {
        AppendThroughPrintf(out, conversion, value);
        return;
    }
    char digits[16];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
    out.Field(digits, static_cast<std::size_t>(result.ptr - digits), conversion);
}

void AppendGeneral(Output& out, double value, const Conversion& conversion) {
    if (conversion.alternate || conversion.zeroPad || conversion.plusSign || conversion.spaceSign) {
        AppendThroughPrintf(out, conversion, value);
        return;
    }
    const int precision = conversion.precision < 0 ? 6 : conversion.precision;
    char digits[64];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value,
                                                      std::chars_format::general, precision);
    if (result.ec != std::errc()) {
        AppendThroughPrintf(out, conversion, value);
        return;
    }
    out.Field(digits, static_cast<std::size_t>(result.ptr - digits), conversion);
}

// The whole line through vsnprintf, measured first and grown as needed.
void FormatWithVsnprintf(std::vector<char>& data, std::size_t& length, const char* format,
                         va_list args) {
    va_list retry;
    va_copy(retry, args);
    const int needed = std::vsnprintf(data.data(), data.size(), format, args);
    if (needed < 0) {
        data[0] = '\0';
        length = 0;
    } else {
        if (static_cast<std::size_t>(needed) >= data.size()) {
            data.resize(static_cast<std::size_t>(needed) + 1);
            std::vsnprintf(data.data(), data.size(), format, retry);
        }
        length = static_cast<std::size_t>(needed);
    }
    va_end(retry);
}

}  // namespace

TextBuffer::TextBuffer() : m_data(kLineSize, '\0') {}

void TextBuffer::Assign(const char* text, std::size_t length) {
    if (length + 1 > m_data.size()) m_data.resize(length + 1);
    std::memcpy(m_data.data(), text, length);
    m_data[length] = '\0';
    m_length = length;
}

void TextBuffer::VFormat(const char* format, va_list args) {
    va_list original;
    va_copy(original, args);
    Output out(m_data);
    const char* at = format;
    while (*at != '\0') {
        const char* percent = std::strchr(at, '%');
        if (percent == nullptr) {
            out.Append(at, std::strlen(at));
            break;
        }
        out.Append(at, static_cast<std::size_t>(percent - at));
        if (percent[1] == '%') {
            out.Append("%", 1);
            at = percent + 2;
            continue;
        }
        Conversion conversion;
        const char* next = ParseOwnConversion(percent + 1, conversion);
        if (next == nullptr) {  // a conversion the report does not use: all through the C library
            FormatWithVsnprintf(m_data, m_length, format, original);
            va_end(original);
            return;
        }
        switch (conversion.specifier) {
            case 's': AppendText(out, va_arg(args, const char*), conversion); break;
            case 'd': AppendInteger(out, va_arg(args, int), conversion); break;
            case 'x': AppendThroughPrintf(out, conversion, va_arg(args, unsigned)); break;
            case 'g': AppendGeneral(out, va_arg(args, double), conversion); break;
            default: AppendThroughPrintf(out, conversion, va_arg(args, double)); break;
        }
        at = next;
    }
    out.Terminate();
    m_length = out.Length();
    va_end(original);
}

void FormatLine(TextBuffer& line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    line.VFormat(format, args);
    va_end(args);
}

std::ostream& operator<<(std::ostream& out, const TextBuffer& line) {
    return out.write(line.c_str(), static_cast<std::streamsize>(line.size()));
}
