// The run-data file's JSON, written by RapidJSON's writer into a stream
// that can start a value on a line of its own, so a file of many items
// reads a line per item.
#pragma once

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarn::rundata::json {

// A RapidJSON output stream over a buffer: after BreakLine, the next value
// starts a new line (after the comma that separates it from the one
// before, when there is one).
class LineStream {
public:
    using Ch = char;
    void Put(char c) {
        if (m_break) {
            m_break = false;
            if (c == ',') {
                m_buffer.Put(',');
                m_buffer.Put('\n');
                return;
            }
            m_buffer.Put('\n');
        }
        m_buffer.Put(c);
    }
    void Flush() {}
    void BreakLine() { m_break = true; }
    std::string_view Text() const { return {m_buffer.GetString(), m_buffer.GetSize()}; }
    size_t Size() const { return m_buffer.GetSize(); }
    void Clear() {
        m_buffer.Clear();
        m_break = false;
    }

private:
    rapidjson::StringBuffer m_buffer;
    bool m_break = false;
};

using Writer = rapidjson::Writer<LineStream>;

// The most bytes Text writes for a text of `bytes` bytes (every byte a
// control character, six bytes each, and the quotes), and Number for any
// number.
constexpr std::uint64_t TextBytes(std::uint64_t bytes) { return 6 * bytes + 2; }
inline constexpr std::uint64_t kNumberBytes = 26;
inline constexpr std::uint64_t kIntegerBytes = 21;

// A number: the shortest JSON text of a finite one (std::to_chars, which
// reads back as the same double), the texts "nan", "inf" and "-inf" for the
// others (JSON has no literal for them).
template <typename Out>
void Number(Out& out, double value) {
    if (std::isfinite(value)) {
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, value);
        out.RawValue(digits, static_cast<rapidjson::SizeType>(written.ptr - digits), rapidjson::kNumberType);
    } else if (std::isnan(value)) {
        out.String("nan", 3);
    } else if (value > 0) {
        out.String("inf", 3);
    } else {
        out.String("-inf", 4);
    }
}

template <typename Out>
void Text(Out& out, std::string_view text) {
    out.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

template <typename Out>
void Integer(Out& out, std::int64_t value) {
    out.Int64(value);
}

template <typename Out>
void Key(Out& out, std::string_view key) {
    out.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
}

// A member of an object: its key and value.
template <typename Out>
void NumberMember(Out& out, std::string_view key, double value) {
    Key(out, key);
    Number(out, value);
}
template <typename Out>
void IntegerMember(Out& out, std::string_view key, std::int64_t value) {
    Key(out, key);
    Integer(out, value);
}
template <typename Out>
void TextMember(Out& out, std::string_view key, std::string_view value) {
    Key(out, key);
    Text(out, value);
}

template <typename Out>
void Texts(Out& out, std::span<const std::string> texts) {
    out.StartArray();
    for (const std::string& text : texts) Text(out, text);
    out.EndArray();
}

// The bytes a value takes, counted as the document writer writes it,
// without keeping them.
class Counter {
public:
    template <typename Fill>
    std::uint64_t BytesOf(Fill&& make) {
        m_stream.count = 0;
        m_writer.Reset(m_stream);
        make(m_writer);
        return m_stream.count;
    }

private:
    struct CountingStream {
        using Ch = char;
        void Put(char) { ++count; }
        void Flush() {}
        std::uint64_t count = 0;
    };
    CountingStream m_stream;
    rapidjson::Writer<CountingStream> m_writer;
};

// One value made apart, on a line of its own, so that its size is known
// before it goes into the file.
class Line {
public:
    using Writer = rapidjson::Writer<rapidjson::StringBuffer>;
    template <typename Fill>
    void Write(Fill&& make) {
        m_buffer.Clear();
        m_buffer.Put('\n');
        m_writer.Reset(m_buffer);
        make(m_writer);
    }
    std::string_view Text() const { return {m_buffer.GetString(), m_buffer.GetSize()}; }
    size_t Size() const { return m_buffer.GetSize(); }

private:
    rapidjson::StringBuffer m_buffer;
    Writer m_writer;
};

}  // namespace tarn::rundata::json
