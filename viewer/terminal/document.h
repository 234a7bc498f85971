// The report as the terminal view shows it: every line but the region end
// lines, with regions folded into their title line.  Folding is one flag
// per region; which lines are shown follows from the flags and the
// region tree, so moving over a report of millions of lines only reads
// the lines it passes.
#pragma once

#include <optional>
#include <vector>

#include "report_reader.h"

namespace tarnview::terminal {

class Document {
public:
    explicit Document(const Report& report);

    const Report& report() const { return m_report; }
    bool Empty() const { return m_report.LineCount() == 0; }

    // Folding.  A closed region shows only its title line.
    bool IsOpen(int region) const { return m_open[static_cast<std::size_t>(region)]; }
    void SetOpen(int region, bool open) { m_open[static_cast<std::size_t>(region)] = open; }
    // The regions at the top open, except the iteration blocks; the rest closed.
    void OpenDefault();
    // Every region nested less than `levels` deep open, the deeper ones closed
    // (0 closes every region).
    void OpenToLevel(int levels);
    void OpenAll();
    // Opens or closes every region nested `depth` deep (0 for the top).
    void SetLevelOpen(int depth, bool open);
    // Opens every region that hides `line`.
    void Reveal(LineNumber line);
    // The open flags, to keep over a reload of a report with the same regions.
    const std::vector<bool>& OpenFlags() const { return m_open; }
    void SetOpenFlags(std::vector<bool> flags);

    // Shown lines.
    bool IsShown(LineNumber line) const;
    // The shown line that stands for `line`: itself, the title of the
    // outermost closed region that holds it, or for a region end line the
    // shown line before it.
    LineNumber ShownLineFor(LineNumber line) const;
    std::optional<LineNumber> NextShown(LineNumber line) const;
    std::optional<LineNumber> PreviousShown(LineNumber line) const;
    // Moves up to `count` shown lines forward (negative: back), stopping at the ends.
    LineNumber Step(LineNumber line, long count) const;
    LineNumber FirstShown() const;
    LineNumber LastShown() const;

    // The region a line belongs to as the view sees it: the region whose
    // title it is, or the innermost region holding it; kNoRegion outside all.
    int RegionAt(LineNumber line) const { return m_report.RegionOfLine(line); }
    // How many levels deep a line is shown: a title at its region's depth,
    // the lines inside one deeper.
    int IndentLevel(LineNumber line) const;
    bool IsTitle(LineNumber line) const;

private:
    bool IsRegionEnd(LineNumber line) const;
    // The region whose end line is `endLine`; `endingAfter` is the region
    // ending on the line after it when known (kNoRegion when not).
    int RegionEndingAt(LineNumber endLine, int endingAfter) const;

    const Report& m_report;
    std::vector<bool> m_open;
};

}  // namespace tarnview::terminal
