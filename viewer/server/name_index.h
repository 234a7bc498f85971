// The names of a report, indexed once so that a search for a variable or
// an equation finds every line where it occurs at once: each line the
// reader's search would find for the name (report_search.h), and the
// region titles.  The index lives no longer than the report it was built
// from.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report_reader.h"
#include "report_search.h"

namespace tarnview::server {

class NameIndex {
public:
    // Reads every line once. Returns nullptr when `cancel` becomes true on
    // the way.
    static std::unique_ptr<NameIndex> Build(const Report& report, const std::atomic<bool>& cancel);

    // The lines where the name occurs, in document order.
    std::span<const LineNumber> LinesOf(std::string_view name) const;
    // The lines where any of the names occurs, in document order, once each.
    std::vector<LineNumber> LinesOfAny(const std::vector<const Name*>& names) const;
    // The regions titled `title` (as shown), in document order.
    std::span<const int> RegionsTitled(std::string_view title) const;
    // The histories of `name` (its rows in the details tables of the
    // iteration blocks), from the index rather than a scan of the tables.
    std::vector<History> HistoriesOf(const Report& report, std::string_view name) const;

    std::size_t NameCount() const { return names_.size(); }
    std::size_t LineCount() const { return lines_.size(); }

private:
    NameIndex() = default;

    std::unordered_map<std::string_view, std::uint32_t> names_;  // name -> its lines in lines_
    std::vector<std::uint64_t> firstLine_;  // per name, then one past the last
    std::vector<LineNumber> lines_;
    std::unordered_map<std::string_view, std::vector<int>> titles_;
};

}  // namespace tarnview::server
