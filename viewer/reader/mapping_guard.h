// A report may be written again while it is read, and the writer
// truncates the file in place: a page of the old memory map past the new end
// of the file then raises SIGBUS when it is read, which would end the
// program. Guarded ranges instead get a page of zero bytes in place of the
// lost one, the range is marked damaged, and the reader of the file carries
// on until the report is reloaded.
#pragma once

#include <cstddef>

namespace tarnview {

struct GuardedRange;

class MappingGuard {
public:
    // Guards [data, data + size) while this object lives; any number of
    // ranges may be guarded at once.
    MappingGuard(const void* data, std::size_t size);
    ~MappingGuard();
    MappingGuard(const MappingGuard&) = delete;
    MappingGuard& operator=(const MappingGuard&) = delete;

    bool guarded() const { return range_ != nullptr; }
    // True once a read of the range found its file shorter than the map.
    bool damaged() const;

private:
    GuardedRange* range_ = nullptr;
};

}  // namespace tarnview
