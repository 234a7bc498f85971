#include "output/messages.h"

#include <cstdarg>
#include <cstring>

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

void LoadMessage(HMODULE module, unsigned id, TextBuffer* out, ...) {
    char pattern[kMessageBufferSize];
    if (LoadStringA(module, id, pattern, kMessageBufferSize) <= 0) {
        out->Assign("", 0);
        return;
    }
    va_list inserts;
    va_start(inserts, out);
    char* expanded = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  pattern, 0, 0, reinterpret_cast<LPSTR>(&expanded), 0, &inserts);
    va_end(inserts);
    if (length > 0 && expanded != nullptr)
        out->Assign(expanded, length);
    else
        out->Assign("", 0);
    if (expanded != nullptr) LocalFree(expanded);
}

std::string LoadPlainMessage(HMODULE module, unsigned id) {
    char text[kMessageBufferSize];
    int length = LoadStringA(module, id, text, kMessageBufferSize);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

const std::string& MessageCache::Text(unsigned id) {
    static const std::string kNone;
    if (id < kFirstId || id > kLastId) return kNone;
    std::size_t slot = id - kFirstId;
    if (!m_loaded[slot]) {
        m_texts[slot] = LoadPlainMessage(m_module, id);
        m_loaded[slot] = true;
    }
    return m_texts[slot];
}
