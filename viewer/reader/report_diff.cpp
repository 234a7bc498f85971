// What changed between two iteration blocks.
#include "report_diff.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace tarnview {

namespace {

std::optional<double> NumberIn(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The rows of the tables of one kind in a block (a long table may be
// written as several), each name's fields by column name.
using Rows = std::map<std::string, std::vector<std::string>>;

struct BlockTables {
    bool found = false;
    Rows rows;
};

BlockTables RowsOf(const Report& report, std::size_t block, TableKind kind) {
    BlockTables tables;
    std::string copy;
    for (const Table& table : report.Tables()) {
        if (table.kind != kind || table.block != static_cast<int>(block)) continue;
        tables.found = true;
        for (LineNumber line = table.header + 1; line < table.end; ++line) {
            if (!report.IsTableRow(table, line)) continue;
            const TableRow row = ReadTableRow(kind, report.ReadLine(line, copy).text);
            if (row.name.empty()) continue;
            std::vector<std::string>& fields = tables.rows[std::string(row.name)];
            fields.assign(row.fields.begin(), row.fields.end());
        }
    }
    return tables;
}

std::size_t ColumnIndex(TableKind kind, std::string_view column) {
    const std::vector<std::string>& columns = ColumnsOf(kind);
    return static_cast<std::size_t>(std::find(columns.begin(), columns.end(), column) - columns.begin());
}

std::string_view FieldOf(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? std::string_view(fields[index]) : std::string_view();
}

// Calls `visit(name, before, after)` for each name in both tables.
template <typename Visit>
void ForEachShared(const Rows& before, const Rows& after, Visit visit) {
    for (const auto& [name, fields] : before) {
        const auto found = after.find(name);
        if (found != after.end()) visit(name, fields, found->second);
    }
}

void DiffVariables(const BlockTables& before, const BlockTables& after, DifferenceOrder order, IterationDiff& diff) {
    const std::size_t value = ColumnIndex(TableKind::kVariableDetails, "Value");
    const std::size_t status = ColumnIndex(TableKind::kVariableDetails, "Status");
    ForEachShared(before.rows, after.rows, [&](const std::string& name, const auto& a, const auto& b) {
        const std::optional<double> x = NumberIn(FieldOf(a, value)), y = NumberIn(FieldOf(b, value));
        if (x && y && *x != *y && !(std::isnan(*x) && std::isnan(*y)))
            diff.values.push_back({name, NameKind::kVariable, "Value", *x, *y});
        if (FieldOf(a, status) != FieldOf(b, status))
            diff.statuses.push_back({name, std::string(FieldOf(a, status)), std::string(FieldOf(b, status))});
    });
    const auto measure = [order](const Difference& d) {
        const double size = order == DifferenceOrder::kSize ? d.Size() : d.RelativeSize();
        return std::isnan(size) ? -1.0 : size;
    };
    std::stable_sort(diff.values.begin(), diff.values.end(),
                     [&](const Difference& x, const Difference& y) { return measure(x) > measure(y); });
}

void DiffBounds(const BlockTables& before, const BlockTables& after, IterationDiff& diff) {
    const std::size_t bound = ColumnIndex(TableKind::kActiveBounds, "ActiveBound");
    std::map<std::string, BoundChange> changes;
    for (const auto& [name, fields] : before.rows) changes[name].before = std::string(FieldOf(fields, bound));
    for (const auto& [name, fields] : after.rows) changes[name].after = std::string(FieldOf(fields, bound));
    for (auto& [name, change] : changes) {
        if (change.before == change.after) continue;
        change.name = name;
        diff.bounds.push_back(std::move(change));
    }
}

void DiffInfeasibility(const BlockTables& before, const BlockTables& after, IterationDiff& diff) {
    const std::size_t slack = ColumnIndex(TableKind::kEquationDetails, "InfSlack");
    ForEachShared(before.rows, after.rows, [&](const std::string& name, const auto& a, const auto& b) {
        const double x = NumberIn(FieldOf(a, slack)).value_or(0), y = NumberIn(FieldOf(b, slack)).value_or(0);
        if ((x == 0) != (y == 0)) diff.infeasibility.push_back({name, x, y});
    });
}

}  // namespace

std::optional<int> NextIteration(const Report& report, int number) {
    const std::optional<std::size_t> index = report.BlockNumbered(number);
    if (!index) return std::nullopt;
    const std::vector<IterationBlock>& blocks = report.IterationBlocks();
    for (std::size_t next = *index + 1; next < blocks.size(); ++next) {
        if (blocks[next].number) return blocks[next].number;
    }
    return std::nullopt;
}

std::optional<IterationDiff> DiffIterations(const Report& report, int from, int to, DifferenceOrder order) {
    const std::optional<std::size_t> a = report.BlockNumbered(from), b = report.BlockNumbered(to);
    if (!a || !b) return std::nullopt;
    IterationDiff diff;
    diff.from = from;
    diff.to = to;
    const auto tables = [&](TableKind kind, const char* title) {
        std::pair<BlockTables, BlockTables> both{RowsOf(report, *a, kind), RowsOf(report, *b, kind)};
        for (const auto& [block, found] : {std::pair{*a, both.first.found}, std::pair{*b, both.second.found}}) {
            if (!found) diff.missing.push_back(std::string(title) + " of " + report.IterationBlocks()[block].title);
        }
        return both;
    };
    const auto variables = tables(TableKind::kVariableDetails, "Variable Details");
    DiffVariables(variables.first, variables.second, order, diff);
    const auto bounds = tables(TableKind::kActiveBounds, "Active Variable Bounds");
    DiffBounds(bounds.first, bounds.second, diff);
    const auto equations = tables(TableKind::kEquationDetails, "Equation Details");
    DiffInfeasibility(equations.first, equations.second, diff);
    return diff;
}

}  // namespace tarnview
