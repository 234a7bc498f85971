// The run-data file's JSON, written by RapidJSON's writer: values made in a
// buffer of their own and put, each on a line of its own, into the value
// that holds them, so a file of many items reads a line per item.
#pragma once

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tarn::rundata::json {

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

// A number: JSON's for a finite one, the texts "nan", "inf" and "-inf" for
// the others (JSON has no literal for them).
void Number(Writer& out, double value);
void Text(Writer& out, std::string_view text);
void Integer(Writer& out, std::int64_t value);
void Key(Writer& out, std::string_view key);
void Texts(Writer& out, std::span<const std::string> texts);

// The most bytes Text writes for a text of `bytes` bytes (every byte a
// control character, six bytes each, and the quotes), and Number for any
// number.
constexpr std::uint64_t TextBytes(std::uint64_t bytes) { return 6 * bytes + 2; }
inline constexpr std::uint64_t kNumberBytes = 26;
inline constexpr std::uint64_t kIntegerBytes = 21;

// One value on a line of its own inside `into` (an array or, after a key,
// an object): `make` writes it with a writer of its own.
class Line {
public:
    template <typename Fill>
    void Write(Fill&& make) {
        m_buffer.Clear();
        m_buffer.Put('\n');
        m_writer.Reset(m_buffer);
        make(m_writer);
    }
    // Puts the value made last into `into`.
    void PutInto(Writer& into, rapidjson::Type type) {
        into.RawValue(m_buffer.GetString(), static_cast<rapidjson::SizeType>(m_buffer.GetSize()), type);
    }
    template <typename Fill>
    void Put(Writer& into, rapidjson::Type type, Fill&& make) {
        Write(std::forward<Fill>(make));
        PutInto(into, type);
    }
    size_t Size() const { return m_buffer.GetSize(); }

private:
    rapidjson::StringBuffer m_buffer;
    Writer m_writer;
};

}  // namespace tarn::rundata::json
