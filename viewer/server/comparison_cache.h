// Comparisons of two served reports kept for their versions: a compare of
// the same two versions (order and tolerance) is computed once, however many ask for
// it at once, and only the few last asked for are kept.
#pragma once

#include <cstddef>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>

#include "report_compare.h"

namespace tarnview::server {

class ServedReport;

class ComparisonCache {
public:
    explicit ComparisonCache(std::size_t capacity = 4) : capacity_(capacity) {}

    // The comparison of `a` with `b`, computed by `compute` unless it is kept
    // or being computed for another request (then waited for).
    std::shared_ptr<const Comparison> Get(const ServedReport& a, const ServedReport& b, DifferenceOrder order,
                                          double tolerance, const std::function<Comparison()>& compute);

private:
    struct Stamp {
        std::size_t id;
        int version;
        bool operator==(const Stamp&) const = default;
    };
    struct Entry {
        Stamp a, b;
        DifferenceOrder order;
        double tolerance;
        std::shared_future<std::shared_ptr<const Comparison>> result;
    };

    std::size_t capacity_;
    std::mutex mutex_;
    std::list<Entry> entries_;  // the last asked for first
};

}  // namespace tarnview::server
