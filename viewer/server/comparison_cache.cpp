#include "comparison_cache.h"

#include "report_library.h"

namespace tarnview::server {

std::shared_ptr<const Comparison> ComparisonCache::Get(const ServedReport& a, const ServedReport& b,
                                                       DifferenceOrder order, double tolerance,
                                                       const std::function<Comparison()>& compute) {
    const Stamp stampA{a.id(), a.version()}, stampB{b.id(), b.version()};
    std::promise<std::shared_ptr<const Comparison>> promise;
    std::shared_future<std::shared_ptr<const Comparison>> result, mine;
    {
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (!(it->a == stampA && it->b == stampB && it->order == order && it->tolerance == tolerance)) continue;
            entries_.splice(entries_.begin(), entries_, it);
            result = it->result;
            break;
        }
        if (!result.valid()) {
            mine = promise.get_future().share();
            entries_.push_front({stampA, stampB, order, tolerance, mine});
            if (entries_.size() > capacity_) entries_.pop_back();
        }
    }
    if (result.valid()) return result.get();
    try {
        promise.set_value(std::make_shared<const Comparison>(compute()));
    } catch (...) {
        // Those waiting get the failure too; it is not kept.
        promise.set_exception(std::current_exception());
        std::lock_guard lock(mutex_);
        entries_.remove_if([&](const Entry& entry) {
            return entry.a == stampA && entry.b == stampB && entry.order == order &&
                   entry.tolerance == tolerance;
        });
        throw;
    }
    return mine.get();
}

}  // namespace tarnview::server
