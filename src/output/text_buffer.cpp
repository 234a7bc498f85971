#include "output/text_buffer.h"

#include <cstdio>
#include <cstring>
#include <ostream>

TextBuffer::TextBuffer() : m_data(kLineSize, '\0') {}

void TextBuffer::Assign(const char* text, std::size_t length) {
    if (length + 1 > m_data.size()) m_data.resize(length + 1);
    std::memcpy(m_data.data(), text, length);
    m_data[length] = '\0';
    m_length = length;
}

void TextBuffer::VFormat(const char* format, va_list args) {
    va_list retry;
    va_copy(retry, args);
    int needed = std::vsnprintf(m_data.data(), m_data.size(), format, args);
    if (needed < 0) {
        m_data[0] = '\0';
        m_length = 0;
    } else if (static_cast<std::size_t>(needed) >= m_data.size()) {
        m_data.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(m_data.data(), m_data.size(), format, retry);
        m_length = static_cast<std::size_t>(needed);
    } else {
        m_length = static_cast<std::size_t>(needed);
    }
    va_end(retry);
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
