// Loading texts from the report library's message table.
#pragma once

#include <array>
#include <cstddef>
#include <exception>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "message_ids.h"
#include "output/text_buffer.h"
#include "platform/platform.h"

// Finds the report library's own module (for its message table).
bool FindReportModule(platform::ModuleHandle& module);

// A message that the table does not hold, or that could not be expanded.
// It fails the run: a report line is never left blank.  Its text is made
// without allocating, so that it can be thrown when memory has run out.
class MessageFailure : public std::exception {
public:
    MessageFailure(unsigned id, bool expanding);
    const char* what() const noexcept override { return m_text; }

private:
    char m_text[80];
};

// An expanded message: the block the platform's expansion allocated for it,
// held as it is (a long insert is not copied again) until the next message replaces
// it.
class MessageText {
public:
    const char* c_str() const { return m_text ? m_text.get() : ""; }
    std::size_t size() const { return m_length; }
    std::string_view view() const { return {c_str(), m_length}; }

    // Takes over a block of `length` characters and a terminator, allocated
    // by platform::ExpandMessage; the block held so far is released.
    void Adopt(char* block, std::size_t length);

private:
    struct ReleasesBlock {
        void operator()(char* block) const { platform::ReleaseMessage(block); }
    };
    std::unique_ptr<char, ReleasesBlock> m_text;
    std::size_t m_length = 0;
};

// Writes the message's text to the report stream.
std::ostream& operator<<(std::ostream& out, const MessageText& message);

// Loads message `id` and expands its inserts (texts for "%n!s!", ints for
// "%n!d!" and "%n!03d!") into `out`.  A long insert expands whole.  Throws
// MessageFailure when the message is missing or cannot be expanded.
void LoadMessage(platform::ModuleHandle module, unsigned id, MessageText* out, ...);

// Loads message `id` without inserts.  Throws MessageFailure when the table
// does not hold it.
std::string LoadPlainMessage(platform::ModuleHandle module, unsigned id);

// The plain messages of one run, each loaded once on first use.
class MessageCache {
public:
    explicit MessageCache(platform::ModuleHandle module = nullptr) : m_module(module) {}
    void SetModule(platform::ModuleHandle module) { m_module = module; }
    platform::ModuleHandle Module() const { return m_module; }
    const std::string& Text(unsigned id);

private:
    static constexpr unsigned kFirstId = 100;
    static constexpr unsigned kLastId = 199;
    platform::ModuleHandle m_module;
    std::array<std::string, kLastId - kFirstId + 1> m_texts{};
    std::array<bool, kLastId - kFirstId + 1> m_loaded{};
};
