#include "navigation.h"

#include <algorithm>
#include <charconv>

namespace tarnview::terminal {

namespace {

LineNumber BlockLine(const Report& report, std::size_t block) {
    return report.Regions()[report.IterationBlocks()[block].region].line;
}

// The iteration block of a region, as an index into IterationBlocks(), or
// -1 (the blocks are in the order of their regions).
int BlockOfRegion(const Report& report, int region) {
    const auto& blocks = report.IterationBlocks();
    const auto found = std::lower_bound(blocks.begin(), blocks.end(), region,
                                        [](const IterationBlock& block, int id) { return block.region < id; });
    return found != blocks.end() && found->region == region ? static_cast<int>(found - blocks.begin()) : -1;
}

// The iteration block holding a line, as an index into IterationBlocks(),
// or -1: one look per region around the line.
int BlockOfLine(const Report& report, LineNumber line) {
    for (int region = report.RegionOfLine(line); region != kNoRegion; region = report.Regions()[region].parent) {
        if (const int block = BlockOfRegion(report, region); block >= 0) return block;
    }
    return -1;
}

// How many blocks start before `line` (the blocks are in line order).
std::size_t BlocksStartingBefore(const Report& report, LineNumber line) {
    std::size_t low = 0, high = report.IterationBlocks().size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (BlockLine(report, middle) < line) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

}  // namespace

std::optional<LineNumber> AdjacentIteration(const Report& report, LineNumber line, bool forward) {
    const auto& blocks = report.IterationBlocks();
    if (forward) {
        const std::size_t after = BlocksStartingBefore(report, line + 1);
        if (after < blocks.size()) return BlockLine(report, after);
        return std::nullopt;
    }
    const int holding = BlockOfLine(report, line);
    for (std::size_t i = BlocksStartingBefore(report, line); i-- > 0;) {
        if (static_cast<int>(i) != holding) return BlockLine(report, i);
    }
    return std::nullopt;
}

std::optional<int> IterationAt(const Report& report, LineNumber line) {
    const int block = BlockOfLine(report, line);
    if (block < 0) return std::nullopt;
    return report.IterationBlocks()[static_cast<std::size_t>(block)].number;
}

std::optional<LineNumber> IterationLine(const Report& report, std::string_view typed) {
    int number = 0;
    if (typed == "init" || typed == "initial") {
        number = -1;
    } else {
        const auto result = std::from_chars(typed.data(), typed.data() + typed.size(), number);
        if (result.ec != std::errc() || result.ptr != typed.data() + typed.size()) return std::nullopt;
    }
    if (const auto block = report.BlockNumbered(number)) return BlockLine(report, *block);
    return std::nullopt;
}

std::optional<LineNumber> AdjacentOfKind(const Report& report, LineNumber line, bool forward) {
    if (const Table* table = report.TableOfLine(line)) {
        const auto& tables = report.Tables();
        const std::size_t at = static_cast<std::size_t>(table - tables.data());
        if (forward) {
            for (std::size_t i = at + 1; i < tables.size(); ++i) {
                if (tables[i].kind == table->kind) return tables[i].header;
            }
        } else {
            for (std::size_t i = at; i-- > 0;) {
                if (tables[i].kind == table->kind) return tables[i].header;
            }
        }
        return std::nullopt;
    }
    const int id = report.RegionOfLine(line);
    if (id == kNoRegion) return std::nullopt;
    const auto& regions = report.Regions();
    if (regions[id].kind == RegionKind::kIteration) return AdjacentIteration(report, line, forward);
    const std::string& title = regions[id].title;
    if (forward) {
        for (std::size_t i = static_cast<std::size_t>(id) + 1; i < regions.size(); ++i) {
            if (regions[i].title == title) return regions[i].line;
        }
    } else {
        for (std::size_t i = static_cast<std::size_t>(id); i-- > 0;) {
            if (regions[i].title == title) return regions[i].line;
        }
    }
    return std::nullopt;
}

std::optional<LineNumber> SummaryLine(const Report& report) {
    for (const Region& region : report.Regions()) {
        if (region.kind == RegionKind::kSummary) return region.line;
    }
    return std::nullopt;
}

std::optional<LineNumber> DiagnosisLine(const Report& report) {
    const auto& regions = report.Regions();
    for (const Table& table : report.Tables()) {
        if (table.kind != TableKind::kDiagnosisEquations && table.kind != TableKind::kDiagnosisVariables) continue;
        int top = table.region;
        while (top != kNoRegion && regions[top].parent != kNoRegion) top = regions[top].parent;
        if (top != kNoRegion) return regions[top].line;
    }
    // A diagnosis that blames nothing has no tables.
    for (const Region& region : regions) {
        if (region.title == "Infeasibility Diagnosis") return region.line;
    }
    return std::nullopt;
}

std::string_view RowNameAt(const Report& report, LineNumber line) {
    const Table* table = report.TableOfLine(line);
    if (table == nullptr || !report.IsTableRow(*table, line)) return {};
    return TableRowName(table->kind, report.LineAt(line).text);
}

}  // namespace tarnview::terminal
