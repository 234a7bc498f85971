// A shared library holding its own copy of the platform layer, as the report
// library does: it finds its module from an internal function's address and
// loads messages through it.

#include "platform/platform.h"

namespace {

void Anchor() {}

platform::ModuleHandle ProbeModule() { return platform::ModuleOf(reinterpret_cast<const void*>(&Anchor)); }

}  // namespace

extern "C" __attribute__((visibility("default"))) platform::ModuleHandle ProbeGetModule() { return ProbeModule(); }

extern "C" __attribute__((visibility("default"))) int ProbeLoadString(unsigned id, char* buffer, int size) {
    return platform::LoadMessageText(ProbeModule(), id, buffer, size);
}
