#include "navigation.h"

#include <charconv>

namespace tarnview::terminal {

namespace {

// The iteration block holding a line, as an index into IterationBlocks(),
// or -1.
int BlockOfLine(const Report& report, LineNumber line) {
    const auto& blocks = report.IterationBlocks();
    for (int region = report.RegionOfLine(line); region != kNoRegion; region = report.Regions()[region].parent) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (blocks[i].region == region) return static_cast<int>(i);
        }
    }
    return -1;
}

LineNumber BlockLine(const Report& report, std::size_t block) {
    return report.Regions()[report.IterationBlocks()[block].region].line;
}

}  // namespace

std::optional<LineNumber> AdjacentIteration(const Report& report, LineNumber line, bool forward) {
    const auto& blocks = report.IterationBlocks();
    if (forward) {
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (BlockLine(report, i) > line) return BlockLine(report, i);
        }
        return std::nullopt;
    }
    const int holding = BlockOfLine(report, line);
    for (std::size_t i = blocks.size(); i-- > 0;) {
        const LineNumber start = BlockLine(report, i);
        if (start < line && static_cast<int>(i) != holding) return start;
    }
    return std::nullopt;
}

std::optional<LineNumber> IterationLine(const Report& report, std::string_view typed) {
    int number = 0;
    if (typed == "init" || typed == "initial") {
        number = -1;
    } else {
        const auto result = std::from_chars(typed.data(), typed.data() + typed.size(), number);
        if (result.ec != std::errc() || result.ptr != typed.data() + typed.size()) return std::nullopt;
    }
    for (std::size_t i = 0; i < report.IterationBlocks().size(); ++i) {
        if (report.IterationBlocks()[i].number == number) return BlockLine(report, i);
    }
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
