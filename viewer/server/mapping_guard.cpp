#include "mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tarnview::server {

namespace {

// The signal handler reads these, so they are plain atomics in a fixed table.
struct GuardedRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};

constexpr int kSlots = 1024;
GuardedRange guardedRanges[kSlots];
std::mutex slotMutex;  // taken by constructors and destructors, never by the handler
struct sigaction previousAction {};
std::uintptr_t pageSize = 4096;  // set before the handler is installed

void ReplaceLostPage(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardedRange& range : guardedRanges) {
        if (address < range.begin.load() || address >= range.end.load()) continue;
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
        range.damaged.store(true);
        return;  // the read is retried and finds zeros
    }
    // Not ours: whatever would have happened without the guard.
    if (previousAction.sa_flags & SA_SIGINFO) {
        if (previousAction.sa_sigaction != nullptr) return previousAction.sa_sigaction(signal, info, context);
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        return previousAction.sa_handler(signal);
    }
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void InstallHandlerOnce() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = ReplaceLostPage;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousAction);
    });
}

}  // namespace

MappingGuard::MappingGuard(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) return;
    InstallHandlerOnce();
    std::lock_guard lock(slotMutex);
    for (int slot = 0; slot < kSlots; ++slot) {
        GuardedRange& range = guardedRanges[slot];
        if (range.end.load() != 0) continue;
        const auto begin = reinterpret_cast<std::uintptr_t>(data);
        range.damaged.store(false);
        range.begin.store(begin);
        range.end.store(begin + size);
        slot_ = slot;
        return;
    }
}

MappingGuard::~MappingGuard() {
    if (slot_ < 0) return;
    std::lock_guard lock(slotMutex);
    guardedRanges[slot_].end.store(0);
    guardedRanges[slot_].begin.store(0);
}

bool MappingGuard::damaged() const { return slot_ >= 0 && guardedRanges[slot_].damaged.load(); }

}  // namespace tarnview::server
