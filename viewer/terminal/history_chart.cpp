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
    std::snprintf(text, sizeof text, "%.6g", value);
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

std::vector<std::string> ChartLines(const std::vector<std::optional<double>>& values, int width, int height) {
    std::optional<double> low, high;
    for (const auto& value : values) {
        if (!value) continue;
        low = std::min(low.value_or(*value), *value);
        high = std::max(high.value_or(*value), *value);
    }
    if (!low || height < 2 || values.empty()) return {};
    const std::string highLabel = Label(*high), lowLabel = Label(*low);
    const int labelWidth = static_cast<int>(std::max(highLabel.size(), lowLabel.size()));
    const int plotWidth = width - labelWidth - 2;
    if (plotWidth < 1) return {};
    std::vector<std::string> plot(static_cast<std::size_t>(height), std::string(static_cast<std::size_t>(plotWidth), ' '));
    const int count = static_cast<int>(values.size());
    for (int i = 0; i < count; ++i) {
        if (!values[i]) continue;
        const int column = count == 1 ? 0 : static_cast<int>(std::lround(double(i) * (plotWidth - 1) / (count - 1)));
        const double share = *high == *low ? 0.5 : (*values[i] - *low) / (*high - *low);
        const int row = height - 1 - static_cast<int>(std::lround(share * (height - 1)));
        plot[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = '*';
    }
    std::vector<std::string> lines;
    for (int row = 0; row < height; ++row) {
        std::string label = row == 0 ? highLabel : row == height - 1 ? lowLabel : "";
        label.insert(0, static_cast<std::size_t>(labelWidth) - label.size(), ' ');
        lines.push_back(label + " |" + plot[static_cast<std::size_t>(row)]);
    }
    lines.push_back(std::string(static_cast<std::size_t>(labelWidth) + 1, ' ') + "+" +
                    std::string(static_cast<std::size_t>(plotWidth), '-'));
    return lines;
}

}  // namespace tarnview::terminal
