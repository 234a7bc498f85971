// The replacements forward to the next definitions in the process (the C
// library's, or the sanitizer runtime's in a sanitizer build), found with
// dlsym.  While dlsym itself needs memory, a small static arena serves it.
#include "failing_allocator.h"

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>

namespace {

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);
using AlignedAllocFn = void* (*)(std::size_t, std::size_t);

MallocFn realMalloc = nullptr;
CallocFn realCalloc = nullptr;
ReallocFn realRealloc = nullptr;
FreeFn realFree = nullptr;
AlignedAllocFn realAlignedAlloc = nullptr;
bool resolving = false;

alignas(std::max_align_t) char arena[1 << 16];
std::size_t arenaUsed = 0;

std::atomic<bool> armed{false};
std::atomic<long> counted{0};
long failingAllocation = 0;
bool failingOnward = false;
std::atomic<bool> injected{false};

bool InArena(const void* block) {
    return block >= static_cast<const void*>(arena) &&
           block < static_cast<const void*>(arena + sizeof arena);
}

void* FromArena(std::size_t size) {
    const std::size_t aligned = (size + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    if (arenaUsed + aligned > sizeof arena) return nullptr;
    void* block = arena + arenaUsed;
    arenaUsed += aligned;
    return block;
}

bool Resolve() {
    if (realFree != nullptr) return true;
    if (resolving) return false;
    resolving = true;
    realMalloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    realCalloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    realRealloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    realAlignedAlloc = reinterpret_cast<AlignedAllocFn>(dlsym(RTLD_NEXT, "aligned_alloc"));
    realFree = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    resolving = false;
    return realFree != nullptr;
}

// False when this allocation is the one to fail.
bool Admit() {
    if (!armed.load(std::memory_order_relaxed)) return true;
    const long number = counted.fetch_add(1) + 1;
    if (failingAllocation == 0 || number < failingAllocation) return true;
    if (number > failingAllocation && !failingOnward) return true;
    injected = true;
    return false;
}

void* NewBlock(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* NewAlignedBlock(std::size_t size, std::align_val_t alignment) {
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
    void* block = nullptr;
    if (Resolve() && Admit()) block = realAlignedAlloc(align, rounded);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

namespace failing_allocator {

void Arm(long failAt, bool onward) {
    Resolve();
    failingAllocation = failAt;
    failingOnward = onward;
    injected = false;
    counted = 0;
    armed = true;
}

void Disarm() { armed = false; }
long Count() { return counted; }
bool Injected() { return injected; }

}  // namespace failing_allocator

extern "C" {

void* malloc(std::size_t size) {
    if (!Resolve()) return FromArena(size);
    return Admit() ? realMalloc(size) : nullptr;
}

void* calloc(std::size_t count, std::size_t size) {
    if (!Resolve()) {
        if (size != 0 && count > sizeof arena / size) return nullptr;
        return FromArena(count * size);  // the arena is zero from the start
    }
    return Admit() ? realCalloc(count, size) : nullptr;
}

void* realloc(void* block, std::size_t size) {
    if (!Resolve()) return nullptr;
    if (InArena(block)) {
        void* moved = Admit() ? realMalloc(size) : nullptr;
        if (moved != nullptr) {
            const std::size_t available = static_cast<std::size_t>(arena + sizeof arena - static_cast<char*>(block));
            std::memcpy(moved, block, size < available ? size : available);
        }
        return moved;
    }
    return Admit() ? realRealloc(block, size) : nullptr;
}

void free(void* block) {
    if (block == nullptr || InArena(block)) return;
    if (Resolve()) realFree(block);
}

}  // extern "C"

void* operator new(std::size_t size) { return NewBlock(size); }
void* operator new[](std::size_t size) { return NewBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void* operator new(std::size_t size, std::align_val_t alignment) { return NewAlignedBlock(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return NewAlignedBlock(size, alignment); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
