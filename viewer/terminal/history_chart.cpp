#include "history_chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "visible_text.h"

namespace tarnview::terminal {

namespace {

std::optional<double> Number(std::string_view field) {
    const std::optional<double> value = FieldNumber(field);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return value;
}

std::string Label(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.5g", value);
    return text;
}

}  // namespace

HistoryTable MakeHistoryTable(const Report& report, const History& history, std::string_view name) {
    HistoryTable table;
    table.heading = std::string(history.kind == NameKind::kVariable ? "variable " : "equation ") + VisibleText(name);
    table.columns.push_back("Iteration");
    for (const std::string& column : ColumnsOf(history.table)) table.columns.push_back(column);
    for (const HistoryRow& row : history.rows) {
        table.iterationLabels.push_back(IterationLabel(report.IterationBlocks()[row.block]));
        std::vector<std::string> cells = {table.iterationLabels.back()};
        for (std::string_view field : row.row.fields) cells.push_back(VisibleText(field));
        cells.resize(table.columns.size());
        table.rows.push_back(std::move(cells));
    }
    for (std::size_t column = 1; column < table.columns.size(); ++column) {
        const bool numeric = std::any_of(table.rows.begin(), table.rows.end(),
                                         [&](const auto& row) { return Number(row[column]).has_value(); });
        if (numeric) table.numericColumns.push_back(column);
    }
    return table;
}

std::vector<std::string> AlignedHistoryLines(const HistoryTable& table) {
    std::vector<std::size_t> widths(table.columns.size());
    for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = ColumnCount(table.columns[i]);
        for (const auto& row : table.rows) widths[i] = std::max(widths[i], ColumnCount(row[i]));
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string padding(widths[i] - ColumnCount(cells[i]), ' ');
            if (i > 0) text += "  ";
            text += i == 0 ? cells[i] + padding : padding + cells[i];
        }
        return text;
    };
    std::vector<std::string> lines = {line(table.columns)};
    for (const auto& row : table.rows) lines.push_back(line(row));
    return lines;
}

std::vector<std::optional<double>> ColumnValues(const HistoryTable& table, std::size_t column) {
    std::vector<std::optional<double>> values;
    for (const auto& row : table.rows) values.push_back(column < row.size() ? Number(row[column]) : std::nullopt);
    return values;
}

namespace {

constexpr double kLogSpan = 1e3;  // more than three decades: a log scale

// The column of point `index` of `count` in a plot `width` wide.
std::size_t PointColumn(std::size_t index, std::size_t count, std::size_t width) {
    if (count < 2) return 0;
    return static_cast<std::size_t>(std::lround(double(index) * double(width - 1) / double(count - 1)));
}

// The iteration labels under the axis, each at its point's column from
// `start`, the first and the last always, the others where they fit with a
// blank on each side.
std::string IterationAxis(const std::vector<std::string>& labels, std::size_t start, std::size_t plotWidth) {
    std::string line(start + plotWidth, ' ');
    const auto put = [&](std::size_t index, std::size_t from, std::size_t limit) {
        const std::string& label = labels[index];
        std::size_t at = start + PointColumn(index, labels.size(), plotWidth);
        if (at + label.size() > line.size()) at = line.size() - std::min(line.size(), label.size());
        if (at < from || at + label.size() > limit) return from;
        line.replace(at, label.size(), label);
        return at + label.size() + 1;
    };
    if (labels.empty()) return line;
    std::size_t free = put(0, start, line.size());
    if (labels.size() == 1) return line;
    const std::string& lastLabel = labels.back();
    const std::size_t lastAt = std::min(start + PointColumn(labels.size() - 1, labels.size(), plotWidth),
                                        line.size() - std::min(line.size(), lastLabel.size()));
    for (std::size_t i = 1; i + 1 < labels.size(); ++i) free = put(i, free, lastAt > 0 ? lastAt - 1 : 0);
    put(labels.size() - 1, free, line.size());
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

Chart ChartOf(const std::vector<std::optional<double>>& values, const std::vector<std::string>& iterations, int width,
              int height, ChartScale scale) {
    Chart chart;
    std::vector<std::size_t> points;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i]) points.push_back(i);
    }
    if (points.empty() || height < 2) {
        chart.note = "no number to chart";
        return chart;
    }
    double low = *values[points.front()], high = low;
    for (std::size_t i : points) low = std::min(low, *values[i]), high = std::max(high, *values[i]);
    if (low == high) {
        chart.note = "the same at every iteration: " + Label(low);
        return chart;
    }
    const bool positive = low > 0;
    chart.log = scale == ChartScale::kLog ? positive : scale == ChartScale::kAuto && positive && high / low > kLogSpan;
    if (scale == ChartScale::kLog && !positive) chart.note = "a log scale needs values above 0: linear";
    const auto place = [&](double value) { return chart.log ? std::log10(value) : value; };

    // The range, without the initial point when it lies further from the
    // others than their own span (an objective starting at 0): it is then
    // drawn at the edge, ^ above or v below.
    std::optional<std::size_t> initial;
    if (points.size() > 2 && iterations.size() == values.size() && iterations[points.front()] == "-1") {
        initial = points.front();
    }
    double bottom = place(*values[points.back()]), top = bottom;
    for (std::size_t i : points) {
        if (i == initial) continue;
        bottom = std::min(bottom, place(*values[i]));
        top = std::max(top, place(*values[i]));
    }
    bool initialOff = false;
    if (initial) {
        const double at = place(*values[*initial]), span = top - bottom;
        initialOff = span > 0 && (at < bottom - span || at > top + span);
        if (!initialOff) bottom = std::min(bottom, at), top = std::max(top, at);
        if (initialOff) chart.note = "the initial point, " + Label(*values[*initial]) + ", is off the chart (" +
                                     (at > top ? "^" : "v") + ")";
    }
    if (top == bottom) {
        const double pad = bottom != 0 ? std::fabs(bottom) / 2 : 1;
        bottom -= pad;
        top += pad;
    }
    const auto unplace = [&](double at) { return chart.log ? std::pow(10.0, at) : at; };
    const std::string highLabel = Label(unplace(top)), lowLabel = Label(unplace(bottom));
    const std::size_t labelWidth = std::max(highLabel.size(), lowLabel.size());
    if (width < 0 || static_cast<std::size_t>(width) < labelWidth + 3) return chart;
    const std::size_t plotWidth = static_cast<std::size_t>(width) - labelWidth - 2;
    const std::size_t rows = static_cast<std::size_t>(height);
    std::vector<std::string> plot(rows, std::string(plotWidth, ' '));
    for (std::size_t i : points) {
        const std::size_t column = PointColumn(i, values.size(), plotWidth);
        const double at = place(*values[i]);
        if (i == initial && initialOff) {
            plot[at > top ? 0 : rows - 1][column] = at > top ? '^' : 'v';
            continue;
        }
        const double share = (at - bottom) / (top - bottom);
        plot[rows - 1 - static_cast<std::size_t>(std::lround(share * double(rows - 1)))][column] = '*';
    }
    for (std::size_t row = 0; row < rows; ++row) {
        std::string label = row == 0 ? highLabel : row == rows - 1 ? lowLabel : "";
        label.insert(0, labelWidth - label.size(), ' ');
        chart.lines.push_back(label + " |" + plot[row]);
    }
    chart.lines.push_back(std::string(labelWidth + 1, ' ') + "+" + std::string(plotWidth, '-'));
    chart.plotColumn = labelWidth + 1;
    chart.drawnRows = chart.lines.size();
    if (iterations.size() == values.size()) chart.lines.push_back(IterationAxis(iterations, labelWidth + 2, plotWidth));
    return chart;
}

}  // namespace tarnview::terminal
