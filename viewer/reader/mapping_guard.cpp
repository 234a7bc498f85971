#include "mapping_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tarnview {

// One guarded range; the signal handler reads it.
struct GuardedRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> damaged{false};
};

namespace {

// The signal handler reads these, so they are plain atomics in blocks that
// are never freed: a list that grows by a block when every range of the
// blocks so far is taken, so there is no limit on how many are guarded.
struct RangeBlock {
    static constexpr int kRanges = 1024;
    GuardedRange ranges[kRanges];
    std::atomic<RangeBlock*> next{nullptr};
};

RangeBlock firstBlock;
std::mutex slotMutex;  // taken by constructors and destructors, never by the handler
struct sigaction previousAction {};
std::uintptr_t pageSize = 4096;  // set before the handler is installed

// A free range, in a new block when every block is full (under slotMutex).
GuardedRange& FreeRange() {
    RangeBlock* block = &firstBlock;
    for (;;) {
        for (GuardedRange& range : block->ranges) {
            if (range.end.load() == 0) return range;
        }
        RangeBlock* next = block->next.load();
        if (next == nullptr) {
            next = new RangeBlock;
            block->next.store(next);
        }
        block = next;
    }
}

void ReplaceLostPage(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (RangeBlock* block = &firstBlock; block != nullptr; block = block->next.load()) {
        for (GuardedRange& range : block->ranges) {
            if (address < range.begin.load() || address >= range.end.load()) continue;
            void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
            if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
                break;
            range.damaged.store(true);
            return;  // the read is retried and finds zeros
        }
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
    GuardedRange& range = FreeRange();
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    range.damaged.store(false);
    range.begin.store(begin);
    range.end.store(begin + size);
    range_ = &range;
}

MappingGuard::~MappingGuard() {
    if (range_ == nullptr) return;
    std::lock_guard lock(slotMutex);
    range_->end.store(0);
    range_->begin.store(0);
}

bool MappingGuard::damaged() const { return range_ != nullptr && range_->damaged.load(); }

}  // namespace tarnview
