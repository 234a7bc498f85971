// The report as it is written: the stream, the messages of the table and
// the line buffers, and regions that close themselves.
#pragma once

#include <exception>
#include <ostream>
#include <string>
#include <type_traits>

#include "output/message_of.h"
#include "output/messages.h"
#include "output/text_buffer.h"
#include "platform/platform.h"

class ReportWriter;

// An open region of the report.  It writes its end line when it goes out of
// scope; a region left by a failure stays open (the report stops where the
// run failed).
class Region {
public:
    explicit Region(ReportWriter& writer)
        : m_writer(&writer), m_exceptions(std::uncaught_exceptions()) {}
    Region(Region&& other) noexcept
        : m_writer(other.m_writer), m_exceptions(other.m_exceptions) {
        other.m_writer = nullptr;
    }
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    Region& operator=(Region&&) = delete;
    ~Region();

private:
    ReportWriter* m_writer;
    int m_exceptions;
};

class ReportWriter {
public:
    ReportWriter(std::ostream& out, platform::ModuleHandle module) : m_out(out), m_messages(module) {}
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    std::ostream& Out() { return m_out; }

    // Message `id` without inserts, loaded once per run.
    const std::string& Text(unsigned id) { return m_messages.Text(id); }

    // The message with its inserts expanded; valid until the next call.  The
    // inserts must be those the message takes, checked as the call compiles.
    template <typename... Inserts>
    const MessageText& Message(MessageOf<std::type_identity_t<Inserts>...> message, Inserts... inserts) {
        LoadMessage(m_messages.Module(), message.Id(), &m_message, inserts...);
        return m_message;
    }

    // The line buffer, and a second one for a text that goes into a line.
    TextBuffer& Line() { return m_line; }
    TextBuffer& Insert() { return m_insert; }

    // Writes `format` with one text, then `after`.
    void WriteLine(const char* format, const char* text, const char* after = "\n");
    // Writes the line buffer, then "\n".
    void WriteFormatted() { m_out << m_line << "\n"; }
    // Writes a region end line and "\n".
    void WriteRegionEnd();

    // Writes a region start line (`format` with the title, then `after`) and
    // returns the region it opens.
    [[nodiscard]] Region OpenRegion(const char* format, const char* title, const char* after = "\n") {
        WriteLine(format, title, after);
        return Region(*this);
    }

private:
    std::ostream& m_out;
    MessageCache m_messages;
    MessageText m_message;
    TextBuffer m_line;
    TextBuffer m_insert;
};
