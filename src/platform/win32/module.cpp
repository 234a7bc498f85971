// Modules and their string resources on Windows: the message table is
// compiled into the report DLL from resources/messages.rc.

#include "platform/platform.h"

#include <windows.h>

namespace platform {

ModuleHandle ModuleOf(const void* address) {
    if (address == nullptr) return nullptr;
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module)) return nullptr;
    return module;
}

int LoadMessageText(ModuleHandle module, unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    if (module == nullptr) return 0;
    HINSTANCE instance = static_cast<HINSTANCE>(const_cast<void*>(module));
    return LoadStringA(instance, id, buffer, size);
}

char* ExpandMessage(const char* text, va_list* inserts, std::size_t* length) {
    if (length != nullptr) *length = 0;
    if (text == nullptr || length == nullptr) return nullptr;
    char* block = nullptr;
    const DWORD expanded =
        FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, text, 0, 0,
                       reinterpret_cast<LPSTR>(&block), 0, inserts);
    if (expanded == 0 || block == nullptr) {
        if (block != nullptr) LocalFree(block);
        return nullptr;
    }
    *length = expanded;
    return block;
}

void ReleaseMessage(char* block) {
    if (block != nullptr) LocalFree(block);
}

}  // namespace platform
