// The names of a report, indexed once so that a search for a variable or
// an equation finds its row in every table of every iteration at once: the
// names of the table rows (variables and equations) and the region titles.
// Names are views into the report's map: the index lives no longer than
// the report it was built from.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report_reader.h"

namespace tarnview::server {

class NameIndex {
public:
    // Reads every row of every table once. Returns nullptr when `cancel`
    // becomes true on the way.
    static std::unique_ptr<NameIndex> Build(const Report& report, const std::atomic<bool>& cancel);

    // The lines of the table rows named `name`, in document order.
    std::span<const LineNumber> RowsOf(std::string_view name) const;
    // The regions titled `title` (as shown), in document order.
    std::span<const int> RegionsTitled(std::string_view title) const;
    // The histories of `name` (its rows in the details tables of the
    // iteration blocks), from the index rather than a scan of the tables.
    std::vector<History> HistoriesOf(const Report& report, std::string_view name) const;

    std::size_t NameCount() const { return names_.size(); }
    std::size_t RowCount() const { return rows_.size(); }

private:
    NameIndex() = default;

    std::unordered_map<std::string_view, std::uint32_t> names_;  // name -> its rows in rows_
    std::vector<std::uint64_t> firstRow_;  // per name, then one past the last
    std::vector<LineNumber> rows_;
    std::unordered_map<std::string_view, std::vector<int>> titles_;
};

}  // namespace tarnview::server
