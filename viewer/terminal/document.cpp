#include "document.h"

namespace tarnview::terminal {

Document::Document(const Report& report) : m_report(report), m_open(report.Regions().size(), false) {
    OpenDefault();
}

void Document::OpenDefault() {
    const auto& regions = m_report.Regions();
    for (std::size_t i = 0; i < regions.size(); ++i) {
        m_open[i] = regions[i].depth == 0 && regions[i].kind != RegionKind::kIteration;
    }
}

void Document::OpenToLevel(int levels) {
    const auto& regions = m_report.Regions();
    for (std::size_t i = 0; i < regions.size(); ++i) m_open[i] = regions[i].depth < levels;
}

void Document::OpenAll() { m_open.assign(m_open.size(), true); }

void Document::SetLevelOpen(int depth, bool open) {
    const auto& regions = m_report.Regions();
    for (std::size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].depth == depth) m_open[i] = open;
    }
}

void Document::Reveal(LineNumber line) {
    int region = m_report.RegionOfLine(line);
    if (region != kNoRegion && m_report.Regions()[region].line == line) region = m_report.Regions()[region].parent;
    for (; region != kNoRegion; region = m_report.Regions()[region].parent) SetOpen(region, true);
}

void Document::SetOpenFlags(std::vector<bool> flags) {
    if (flags.size() == m_open.size()) m_open = std::move(flags);
}

bool Document::IsRegionEnd(LineNumber line) const { return m_report.LineAt(line).kind == LineKind::kRegionEnd; }

bool Document::IsTitle(LineNumber line) const {
    const int region = m_report.RegionOfLine(line);
    return region != kNoRegion && m_report.Regions()[region].line == line;
}

bool Document::IsShown(LineNumber line) const {
    return line < m_report.LineCount() && !IsRegionEnd(line) && ShownLineFor(line) == line;
}

LineNumber Document::ShownLineFor(LineNumber line) const {
    if (Empty()) return 0;
    line = std::min(line, m_report.LineCount() - 1);
    const auto& regions = m_report.Regions();
    std::optional<LineNumber> outermostClosed;
    for (int region = m_report.RegionOfLine(line); region != kNoRegion; region = regions[region].parent) {
        if (regions[region].line != line && !IsOpen(region)) outermostClosed = regions[region].line;
    }
    if (outermostClosed) return *outermostClosed;
    if (!IsRegionEnd(line)) return line;
    if (const auto before = PreviousShown(line)) return *before;
    return NextShown(line).value_or(line);
}

std::optional<LineNumber> Document::NextShown(LineNumber line) const {
    const auto& regions = m_report.Regions();
    LineNumber next = line + 1;
    if (IsTitle(line)) {
        const int region = m_report.RegionOfLine(line);
        if (!IsOpen(region)) next = regions[region].end + 1;
    }
    while (next < m_report.LineCount() && IsRegionEnd(next)) ++next;
    if (next >= m_report.LineCount()) return std::nullopt;
    return next;
}

std::optional<LineNumber> Document::PreviousShown(LineNumber line) const {
    const auto& regions = m_report.Regions();
    LineNumber before = std::min(line, m_report.LineCount());
    // The region whose end line is `before` once the walk is on end lines:
    // an end line just before another one closes the last child of the
    // region that one closes, so a run of end lines is walked down the tree
    // one step each, not searched for from the top every time.
    int ending = kNoRegion;
    while (before > 0) {
        --before;
        if (!IsRegionEnd(before)) return ShownLineFor(before);
        ending = RegionEndingAt(before, ending);
        // The end line of a closed region stands for its title; of an open
        // one for the lines inside, which the loop goes on to.
        if (!IsOpen(ending)) return ShownLineFor(regions[ending].line);
    }
    return std::nullopt;
}

int Document::RegionEndingAt(LineNumber endLine, int endingAfter) const {
    const auto& regions = m_report.Regions();
    if (endingAfter != kNoRegion && !regions[endingAfter].children.empty()) {
        const int last = regions[endingAfter].children.back();
        if (regions[last].end == endLine) return last;
    }
    return m_report.RegionOfLine(endLine);
}

LineNumber Document::Step(LineNumber line, long count) const {
    for (; count > 0; --count) {
        const auto next = NextShown(line);
        if (!next) break;
        line = *next;
    }
    for (; count < 0; ++count) {
        const auto before = PreviousShown(line);
        if (!before) break;
        line = *before;
    }
    return line;
}

LineNumber Document::FirstShown() const {
    if (Empty()) return 0;
    return IsRegionEnd(0) ? NextShown(0).value_or(0) : 0;
}

LineNumber Document::LastShown() const {
    if (Empty()) return 0;
    return ShownLineFor(m_report.LineCount() - 1);
}

int Document::IndentLevel(LineNumber line) const {
    const int region = m_report.RegionOfLine(line);
    if (region == kNoRegion) return 0;
    const Region& holding = m_report.Regions()[region];
    return holding.line == line ? holding.depth : holding.depth + 1;
}

}  // namespace tarnview::terminal
