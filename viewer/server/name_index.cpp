#include "name_index.h"

namespace tarnview::server {

namespace {

// Calls `visit(table, row, name, line)` for every row of every table, in
// document order (`row` counts the table's rows from 0); false when
// cancelled.
template <typename Visit>
bool ForEachTableRow(const Report& report, const std::atomic<bool>& cancel, Visit&& visit) {
    for (const Table& table : report.Tables()) {
        if (cancel.load(std::memory_order_relaxed)) return false;
        std::size_t row = 0;
        for (LineNumber line = table.header + 1; line < table.end; ++line) {
            if (!report.IsTableRow(table, line)) continue;
            const std::string_view name = TableRowName(table.kind, report.RawLine(line));
            if (!name.empty()) visit(table, row++, name, line);
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<NameIndex> NameIndex::Build(const Report& report, const std::atomic<bool>& cancel) {
    std::unique_ptr<NameIndex> index(new NameIndex());
    // First pass: a number per name and the count of its rows. A table
    // mostly lists the names of the table of its kind before it in the same
    // order, so a row's name is first compared with the name at its place
    // there, and looked up only when it differs.
    std::vector<std::uint32_t> rowNames;
    std::vector<std::uint64_t> counts;
    std::vector<std::string_view> nameOf;
    std::vector<std::vector<std::uint32_t>> lastTableOfKind(static_cast<std::size_t>(TableKind::kOther) + 1);
    const Table* current = nullptr;
    std::vector<std::uint32_t> currentNames;
    const auto finishTable = [&] {
        if (current != nullptr) lastTableOfKind[static_cast<std::size_t>(current->kind)].swap(currentNames);
        currentNames.clear();
    };
    const bool complete =
        ForEachTableRow(report, cancel, [&](const Table& table, std::size_t row, std::string_view name, LineNumber) {
            if (&table != current) {
                finishTable();
                current = &table;
            }
            const std::vector<std::uint32_t>& before = lastTableOfKind[static_cast<std::size_t>(table.kind)];
            std::uint32_t id = 0;
            if (row < before.size() && nameOf[before[row]] == name) {
                id = before[row];
            } else {
                const auto [found, added] = index->names_.try_emplace(name, static_cast<std::uint32_t>(nameOf.size()));
                if (added) {
                    nameOf.push_back(name);
                    counts.push_back(0);
                }
                id = found->second;
            }
            ++counts[id];
            rowNames.push_back(id);
            currentNames.push_back(id);
        });
    if (!complete) return nullptr;

    // Second pass: the lines, grouped by name (a counting sort).
    index->firstRow_.resize(counts.size() + 1);
    for (std::size_t name = 0; name < counts.size(); ++name)
        index->firstRow_[name + 1] = index->firstRow_[name] + counts[name];
    std::vector<std::uint64_t> next(index->firstRow_.begin(), index->firstRow_.end() - 1);
    index->rows_.resize(rowNames.size());
    std::size_t row = 0;
    ForEachTableRow(report, cancel, [&](const Table&, std::size_t, std::string_view, LineNumber line) {
        index->rows_[next[rowNames[row++]]++] = line;
    });
    if (cancel.load()) return nullptr;

    const std::vector<Region>& regions = report.Regions();
    for (std::size_t id = 0; id < regions.size(); ++id)
        index->titles_[regions[id].title].push_back(static_cast<int>(id));
    return index;
}

std::span<const LineNumber> NameIndex::RowsOf(std::string_view name) const {
    const auto found = names_.find(name);
    if (found == names_.end()) return {};
    return std::span<const LineNumber>(rows_).subspan(firstRow_[found->second],
                                                        firstRow_[found->second + 1] - firstRow_[found->second]);
}

std::span<const int> NameIndex::RegionsTitled(std::string_view title) const {
    const auto found = titles_.find(title);
    if (found == titles_.end()) return {};
    return found->second;
}

std::vector<History> NameIndex::HistoriesOf(const Report& report, std::string_view name) const {
    History variable{NameKind::kVariable, TableKind::kVariableDetails, {}};
    History equation{NameKind::kEquation, TableKind::kEquationDetails, {}};
    for (const LineNumber line : RowsOf(name)) {
        const Table* table = report.TableOfLine(line);
        if (table == nullptr || table->block < 0) continue;
        History* history = table->kind == TableKind::kVariableDetails   ? &variable
                            : table->kind == TableKind::kEquationDetails ? &equation
                                                                          : nullptr;
        if (history != nullptr)
            history->rows.push_back({table->block, line, ReadTableRow(table->kind, report.RawLine(line))});
    }
    std::vector<History> histories;
    for (History* history : {&variable, &equation}) {
        if (!history->rows.empty()) histories.push_back(std::move(*history));
    }
    return histories;
}

}  // namespace tarnview::server
