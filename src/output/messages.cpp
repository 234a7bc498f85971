#include "output/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kMessageBufferSize = 200;

// An address inside this library, for finding its module.
void ModuleAnchor() {}

struct ReleasesLocal {
    void operator()(char* block) const { LocalFree(block); }
};

}  // namespace

bool FindReportModule(HMODULE& module) {
    module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&ModuleAnchor), &module) &&
           module != nullptr;
}

void LoadMessage(HMODULE module, unsigned id, TextBuffer* out, ...) {
    char pattern[kMessageBufferSize];
    if (LoadStringA(module, id, pattern, kMessageBufferSize) <= 0) throw MessageFailure(id, false);
    va_list inserts;
    va_start(inserts, out);
    char* expanded = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  pattern, 0, 0, reinterpret_cast<LPSTR>(&expanded), 0, &inserts);
    va_end(inserts);
    const std::unique_ptr<char, ReleasesLocal> owned(expanded);
    // Every message has text of its own, so an empty expansion is a failure
    // (on both systems, for lack of memory).
    if (length == 0 || owned == nullptr) throw MessageFailure(id, true);
    out->Assign(owned.get(), length);
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
