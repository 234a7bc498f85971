// Module handles and string resources on systems with dlfcn.
//
// A module handle is the load address of the shared object (or program) as
// dladdr reports it.  The message table is linked into the same binary as
// this file, so LoadStringA serves the handle of that binary and no other.

#include "platform/message_table.h"
#include "platform/win_api.h"

#include <dlfcn.h>

#include <cstring>

namespace {

// An object of this binary; its address identifies the binary's module.
const char kModuleAnchor = 0;

HMODULE ModuleOfAddress(const void* address) {
    if (address == nullptr) return nullptr;
    Dl_info info;
    if (dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

HMODULE OwnModule() {
    static const HMODULE module = ModuleOfAddress(&kModuleAnchor);
    return module;
}

}  // namespace

BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    if (phModule == nullptr) return 0;
    *phModule = nullptr;
    const DWORD known = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if ((dwFlags & ~known) != 0) return 0;
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) && (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))
        return 0;
    // Lookup by module name is not offered: the report only asks by address.
    // Objects found by address stay loaded for the life of the process, so
    // there is no reference count to keep.
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) return 0;
    HMODULE module = ModuleOfAddress(lpModuleName);
    if (module == nullptr) return 0;
    *phModule = module;
    return 1;
}

int LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    // cchBufferMax 0 asks Windows for a read-only pointer to the resource;
    // that form is not offered.
    if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
    lpBuffer[0] = '\0';
    if (hInstance == nullptr || hInstance != OwnModule()) return 0;
    const tarnreport_platform::MessageText* message = tarnreport_platform::FindMessage(uID);
    if (message == nullptr) return 0;
    std::size_t length = message->length;
    if (length > static_cast<std::size_t>(cchBufferMax - 1)) length = static_cast<std::size_t>(cchBufferMax - 1);
    std::memcpy(lpBuffer, message->text, length);
    lpBuffer[length] = '\0';
    return static_cast<int>(length);
}
