#include "output/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace {

constexpr int kMessageBufferSize = 200;

// An address inside this library, for finding its module.
void ModuleAnchor() {}

}  // namespace

bool FindReportModule(platform::ModuleHandle& module) {
    module = platform::ModuleOf(reinterpret_cast<const void*>(&ModuleAnchor));
    return module != nullptr;
}

void MessageText::Adopt(char* block, std::size_t length) {
    m_text.reset(block);
    m_length = length;
}

std::ostream& operator<<(std::ostream& out, const MessageText& message) {
    return out.write(message.c_str(), static_cast<std::streamsize>(message.size()));
}

void LoadMessage(platform::ModuleHandle module, unsigned id, MessageText* out, ...) {
    char pattern[kMessageBufferSize];
    if (platform::LoadMessageText(module, id, pattern, kMessageBufferSize) <= 0)
        throw MessageFailure(id, false);
    va_list inserts;
    va_start(inserts, out);
    std::size_t length = 0;
    char* expanded = platform::ExpandMessage(pattern, &inserts, &length);
    va_end(inserts);
    // Every message has text of its own, so an empty expansion is a failure
    // (on both systems, for lack of memory).
    if (expanded == nullptr) throw MessageFailure(id, true);
    out->Adopt(expanded, length);
}

std::string LoadPlainMessage(platform::ModuleHandle module, unsigned id) {
    char text[kMessageBufferSize];
    int length = platform::LoadMessageText(module, id, text, kMessageBufferSize);
    if (length <= 0) throw MessageFailure(id, false);
    return std::string(text, static_cast<std::size_t>(length));
}

MessageFailure::MessageFailure(unsigned id, bool expanding) {
    if (expanding)
        std::snprintf(m_text, sizeof m_text, "not enough memory to expand message %u", id);
    else
        std::snprintf(m_text, sizeof m_text, "message %u is missing from the message table", id);
}

const std::string& MessageCache::Text(unsigned id) {
    if (id < kFirstId || id > kLastId) throw MessageFailure(id, false);
    std::size_t slot = id - kFirstId;
    if (!m_loaded[slot]) {
        m_texts[slot] = LoadPlainMessage(m_module, id);
        m_loaded[slot] = true;
    }
    return m_texts[slot];
}
