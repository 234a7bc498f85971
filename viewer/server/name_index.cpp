#include "name_index.h"

#include <algorithm>

namespace tarnview::server {

std::unique_ptr<NameIndex> NameIndex::Build(const Report& report, const std::atomic<bool>& cancel) {
    std::unique_ptr<NameIndex> index(new NameIndex());
    // One pass: each occurrence's name (a number: its place in the report's
    // names) and line; then the lines grouped by name (a counting sort).
    const std::vector<Name>& all = report.Names().All();
    std::vector<std::uint32_t> occurrenceNames;
    std::vector<LineNumber> occurrenceLines;
    std::vector<std::uint64_t> counts(all.size(), 0);
    const bool complete =
        ForEachNameOccurrence(report, 0, report.LineCount(), cancel, [&](const Name& name, LineNumber line) {
            const auto id = static_cast<std::uint32_t>(&name - all.data());
            ++counts[id];
            occurrenceNames.push_back(id);
            occurrenceLines.push_back(line);
        });
    if (!complete) return nullptr;

    std::vector<std::uint32_t> slot(all.size(), 0);
    index->firstLine_.push_back(0);
    for (std::size_t id = 0; id < all.size(); ++id) {
        if (counts[id] == 0) continue;
        slot[id] = static_cast<std::uint32_t>(index->names_.size());
        index->names_.emplace(all[id].text, slot[id]);
        index->firstLine_.push_back(index->firstLine_.back() + counts[id]);
    }
    std::vector<std::uint64_t> next(index->firstLine_.begin(), index->firstLine_.end() - 1);
    index->lines_.resize(occurrenceLines.size());
    for (std::size_t at = 0; at < occurrenceLines.size(); ++at)
        index->lines_[next[slot[occurrenceNames[at]]]++] = occurrenceLines[at];

    const std::vector<Region>& regions = report.Regions();
    for (std::size_t id = 0; id < regions.size(); ++id)
        index->titles_[regions[id].title].push_back(static_cast<int>(id));
    return index;
}

std::span<const LineNumber> NameIndex::LinesOf(std::string_view name) const {
    const auto found = names_.find(name);
    if (found == names_.end()) return {};
    return std::span<const LineNumber>(lines_).subspan(firstLine_[found->second],
                                                         firstLine_[found->second + 1] - firstLine_[found->second]);
}

std::vector<LineNumber> NameIndex::LinesOfAny(const std::vector<const Name*>& names) const {
    std::vector<LineNumber> lines;
    for (const Name* name : names) {
        const std::span<const LineNumber> of = LinesOf(name->text);
        lines.insert(lines.end(), of.begin(), of.end());
    }
    if (names.size() > 1) {
        std::sort(lines.begin(), lines.end());
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    }
    return lines;
}

std::span<const int> NameIndex::RegionsTitled(std::string_view title) const {
    const auto found = titles_.find(title);
    if (found == titles_.end()) return {};
    return found->second;
}

std::vector<History> NameIndex::HistoriesOf(const Report& report, std::string_view name) const {
    const std::span<const LineNumber> lines = LinesOf(name);
    return HistoriesAt(report, name, std::vector<LineNumber>(lines.begin(), lines.end()));
}

}  // namespace tarnview::server
