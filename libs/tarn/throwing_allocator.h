// The allocator of the run-data loader's RapidJSON reader.
//
// RapidJSON's own allocator returns a null pointer when memory runs out, and
// the reader's parse stack writes through whatever it is given.  This one
// throws std::bad_alloc instead, which the loader's caller turns into a
// failed load with a message.
#pragma once

#include <cstdlib>
#include <new>

#include <rapidjson/reader.h>

namespace tarn {

class ThrowingAllocator {
public:
    static const bool kNeedFree = true;

    void* Malloc(std::size_t size) {
        if (size == 0) return nullptr;
        return Checked(std::malloc(size));
    }

    void* Realloc(void* original, std::size_t, std::size_t newSize) {
        if (newSize == 0) {
            std::free(original);
            return nullptr;
        }
        // On failure the original block stays valid and owned by the caller.
        return Checked(std::realloc(original, newSize));
    }

    static void Free(void* block) { std::free(block); }

private:
    static void* Checked(void* block) {
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
};

using ThrowingReader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ThrowingAllocator>;

}  // namespace tarn
