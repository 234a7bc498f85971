// Modules and their message table on systems with dlfcn.
//
// A module handle is the load address of the shared object (or program) as
// dladdr reports it.  The message table is linked into the same binary as
// this file, so LoadMessageText serves the handle of that binary and no
// other.

#include "platform/message_table.h"
#include "platform/platform.h"

#include <dlfcn.h>

#include <cstring>

namespace platform {
namespace {

// An object of this binary; its address identifies the binary's module.
const char kModuleAnchor = 0;

ModuleHandle OwnModule() {
    static const ModuleHandle module = ModuleOf(&kModuleAnchor);
    return module;
}

}  // namespace

ModuleHandle ModuleOf(const void* address) {
    if (address == nullptr) return nullptr;
    Dl_info info;
    if (dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

int LoadMessageText(ModuleHandle module, unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    if (module == nullptr || module != OwnModule()) return 0;
    const MessageText* message = FindMessage(id);
    if (message == nullptr) return 0;
    std::size_t length = message->length;
    if (length > static_cast<std::size_t>(size - 1)) length = static_cast<std::size_t>(size - 1);
    std::memcpy(buffer, message->text, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

}  // namespace platform
