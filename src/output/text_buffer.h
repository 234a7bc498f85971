// A line of the report, formatted printf-style.
//
// Lines hold up to 199 characters in the common case; a longer line grows
// the buffer and is kept whole, never cut.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <iosfwd>
#include <vector>

#if defined(__GNUC__)
#define TARN_PRINTF_FORMAT(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define TARN_PRINTF_FORMAT(fmt, first)
#endif

class TextBuffer {
public:
    static constexpr std::size_t kLineSize = 200;

    TextBuffer();

    const char* c_str() const { return m_data.data(); }
    std::size_t size() const { return m_length; }

    // Replaces the text with the given one.
    void Assign(const char* text, std::size_t length);

    // Formats with C99 vsnprintf semantics: measured first, grown as needed.
    void VFormat(const char* format, va_list args);

private:
    std::vector<char> m_data;
    std::size_t m_length = 0;
};

// Formats a line into the buffer.
void FormatLine(TextBuffer& line, const char* format, ...) TARN_PRINTF_FORMAT(2, 3);

// Writes the buffer's text to the report stream.
std::ostream& operator<<(std::ostream& out, const TextBuffer& line);
