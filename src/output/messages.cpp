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

bool FindReportModule(HMODULE& module) {
    module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&ModuleAnchor), &module) &&
           module != nullptr;
}

void MessageText::Adopt(char* block, std::size_t length) {
    m_text.reset(block);
    m_length = length;
}

std::ostream& operator<<(std::ostream& out, const MessageText& message) {
    return out.write(message.c_str(), static_cast<std::streamsize>(message.size()));
}

void LoadMessage(HMODULE module, unsigned id, MessageText* out, ...) {
    char pattern[kMessageBufferSize];
    if (LoadStringA(module, id, pattern, kMessageBufferSize) <= 0) throw MessageFailure(id, false);
    va_list inserts;
    va_start(inserts, out);
    char* expanded = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  pattern, 0, 0, reinterpret_cast<LPSTR>(&expanded), 0, &inserts);
    va_end(inserts);
    // Every message has text of its own, so an empty expansion is a failure
    // (on both systems, for lack of memory).
    if (length == 0 || expanded == nullptr) {
        if (expanded != nullptr) LocalFree(expanded);
        throw MessageFailure(id, true);
    }
    out->Adopt(expanded, length);
}

std::string LoadPlainMessage(HMODULE module, unsigned id) {
    char text[kMessageBufferSize];
    int length = LoadStringA(module, id, text, kMessageBufferSize);
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
