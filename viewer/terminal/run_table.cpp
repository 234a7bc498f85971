#include "run_table.h"

#include <algorithm>
#include <array>

#include "shown_text.h"
#include "visible_text.h"

namespace tarnview::terminal {

namespace {

constexpr std::array<const char*, 8> kColumns = {"Iteration",       "Feasible",        "Objective",
                                                 "Infeasibility",   "Obj. conv.", "Res. conv.",
                                                 "Var. conv.", "Most infeasible"};
constexpr std::size_t kNameColumn = kColumns.size() - 1;  // left-aligned; the numbers right-aligned

std::vector<std::string> RowOf(const ProgressIteration& iteration) {
    return {std::to_string(ReportIterationNumber(iteration)),
            iteration.feasible ? "yes" : "no",
            NumberText(iteration.objective),
            NumberText(iteration.infeasibility),
            NumberText(iteration.objectiveConvergence),
            NumberText(iteration.residualConvergence),
            NumberText(iteration.variableConvergence),
            VisibleText(iteration.mostInfeasible)};
}

std::string AlignedLine(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::string padding(widths[i] - std::min(widths[i], ColumnCount(cells[i])), ' ');
        if (i > 0) line += "  ";
        line += i == kNameColumn ? cells[i] + padding : padding + cells[i];
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::vector<std::string> IterationLabels(const RunProgress& progress) {
    std::vector<std::string> labels;
    for (const ProgressIteration& iteration : progress.iterations) {
        labels.push_back(std::to_string(ReportIterationNumber(iteration)));
    }
    return labels;
}

}  // namespace

std::string RunHeading(const RunProgress& progress, RunState state, const std::string& problem) {
    std::string heading = "run " + VisibleText(progress.run);
    if (!progress.model.empty()) heading += "  model " + VisibleText(progress.model);
    heading += "  " + std::string(StateText(state));
    if (!problem.empty()) heading += ": " + VisibleText(problem);
    if (state == RunState::kRunning) heading += "  pid " + std::to_string(progress.pid);
    if (!progress.started.empty()) heading += "  started " + VisibleText(progress.started);
    return heading;
}

std::vector<std::string> RunTableLines(const RunProgress& progress) {
    std::vector<std::vector<std::string>> rows = {std::vector<std::string>(kColumns.begin(), kColumns.end())};
    for (const ProgressIteration& iteration : progress.iterations) rows.push_back(RowOf(iteration));
    std::vector<std::size_t> widths(kColumns.size(), 0);
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], ColumnCount(row[i]));
    }
    std::vector<std::string> lines;
    for (const auto& row : rows) lines.push_back(AlignedLine(row, widths));
    return lines;
}

RunChart RunChartOf(const RunProgress& progress, RunChartKind kind, int width, int height) {
    std::vector<std::optional<double>> values;
    bool zeroLeftOut = false;
    for (const ProgressIteration& iteration : progress.iterations) {
        if (kind == RunChartKind::kObjective) {
            values.push_back(iteration.objective);
        } else if (iteration.infeasibility > 0) {
            values.push_back(iteration.infeasibility);
        } else {
            values.push_back(std::nullopt);
            zeroLeftOut = zeroLeftOut || iteration.infeasibility == 0;
        }
    }
    const bool objective = kind == RunChartKind::kObjective;
    RunChart run{objective ? "Objective" : "Infeasibility (log scale)",
                 ChartOf(values, IterationLabels(progress), width, height,
                         objective ? ChartScale::kAuto : ChartScale::kLog)};
    if (objective && run.chart.log) run.heading += " (log scale)";
    if (zeroLeftOut) {
        run.chart.note += std::string(run.chart.note.empty() ? "" : "; ") + "iterations without infeasibility (0) have no point";
    }
    return run;
}

void RunTableCursor::Resize(std::size_t rows, std::size_t shownRows) {
    m_rows = rows;
    m_shown = std::max<std::size_t>(shownRows, 1);
    if (m_rows == 0) {
        m_row = m_top = 0;
    } else if (m_following || m_row >= m_rows) {
        m_row = m_rows - 1;
    }
    KeepInView();
}

void RunTableCursor::Move(long count) {
    if (m_rows == 0) return;
    const long last = static_cast<long>(m_rows) - 1;
    m_row = static_cast<std::size_t>(std::clamp(static_cast<long>(m_row) + count, 0L, last));
    m_following = OnLast();
    KeepInView();
}

void RunTableCursor::KeepInView() {
    if (m_row < m_top) m_top = m_row;
    if (m_row >= m_top + m_shown) m_top = m_row + 1 - m_shown;
    // No empty rows below the last one while rows above are scrolled off.
    if (m_top + m_shown > m_rows) m_top = m_rows > m_shown ? m_rows - m_shown : 0;
}

}  // namespace tarnview::terminal
