// A shared library holding its own copy of the platform layer, as the report
// library does: it finds its module from an internal function's address and
// loads messages through it.

#include "platform/win_api.h"

namespace {

void Anchor() {}

HMODULE ProbeModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&Anchor), &module);
    return module;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HMODULE ProbeGetModule() { return ProbeModule(); }

extern "C" __attribute__((visibility("default"))) int ProbeLoadString(unsigned id, char* buffer, int size) {
    return LoadStringA(ProbeModule(), id, buffer, size);
}
