// A run followed while it goes, as the terminal view shows it: the run's
// heading line, its iteration table (one row per iteration, numbered as the
// report numbers them), a chart of the objective or of the infeasibility,
// and the cursor over the rows, which stays on the newest row while the
// reader has not moved it away.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "history_chart.h"
#include "run_progress.h"

namespace tarnview::terminal {

// "run x.vdr  model BLEND  running  pid 4711  started 2026-..."; `problem`
// (a line refused, a report that cannot be read) follows the state.
std::string RunHeading(const RunProgress& progress, RunState state, const std::string& problem);

// The table's lines, aligned: the column headings first, then a row per
// iteration.
std::vector<std::string> RunTableLines(const RunProgress& progress);

enum class RunChartKind { kObjective, kInfeasibility };

// The objective (its scale as a history's chart takes it), or the total
// infeasibility on a log scale (an iteration without infeasibility, 0, has
// no point there: the note says so), with the heading that names it.
struct RunChart {
    std::string heading;
    Chart chart;
};
RunChart RunChartOf(const RunProgress& progress, RunChartKind kind, int width, int height);

// The cursor over the table's rows and the first row shown.
class RunTableCursor {
public:
    // The rows now in the table and the rows the screen shows; a cursor
    // on the last row moves on to the new last row.
    void Resize(std::size_t rows, std::size_t shownRows);
    void Move(long count);
    void ToFirst() { Move(-static_cast<long>(m_rows)); }
    void ToLast() { Move(static_cast<long>(m_rows)); }

    std::optional<std::size_t> Row() const { return m_rows == 0 ? std::nullopt : std::optional(m_row); }
    std::size_t Top() const { return m_top; }
    bool OnLast() const { return m_rows == 0 || m_row + 1 == m_rows; }

private:
    void KeepInView();

    std::size_t m_rows = 0, m_shown = 1;
    std::size_t m_row = 0, m_top = 0;
    bool m_following = true;  // on the newest row, and staying there
};

}  // namespace tarnview::terminal
