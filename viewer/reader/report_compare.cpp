// Two runs compared.
#include "report_compare.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <unordered_map>

namespace tarnview {

namespace {

std::string HeaderField(const Report& report, std::string_view key) {
    for (const auto& [name, value] : report.Header()) {
        if (name == key) return value;
    }
    return {};
}

std::optional<double> FiniteNumber(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

void AddFinalValues(const Report& report, TableKind kind, const char* column, std::vector<FinalValue>& values) {
    const auto& tables = report.Tables();
    const auto last = std::find_if(tables.rbegin(), tables.rend(),
                                   [kind](const Table& table) { return table.kind == kind && table.block >= 0; });
    if (last == tables.rend()) return;
    const std::vector<std::string>& columns = ColumnsOf(kind);
    const auto field = static_cast<std::size_t>(std::find(columns.begin(), columns.end(), column) - columns.begin());
    std::string copy;
    for (LineNumber line = last->header + 1; line < last->end; ++line) {
        const ShownLine shown = report.ReadLine(line, copy);
        if (!shown.row) continue;
        const TableRow row = ReadTableRow(kind, copy);
        if (field >= row.fields.size()) continue;
        if (const std::optional<double> value = FiniteNumber(row.fields[field]))
            values.push_back({std::string(row.name), NameKindOf(kind), *value});
    }
}

const char* ColumnOf(NameKind kind) { return kind == NameKind::kVariable ? "Value" : "Residual"; }

std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace

double Difference::Size() const { return std::fabs(b - a); }

double Difference::RelativeSize() const {
    const double scale = std::max(std::fabs(a), std::fabs(b));
    return scale > 0 ? Size() / scale : 0;
}

RunFacts FactsOf(const Report& report) {
    RunFacts facts;
    facts.file = report.FileName();
    facts.model = HeaderField(report, "Model Name");
    facts.status = HeaderField(report, "Solution Status");
    facts.endedEarly = report.EndedEarly();
    for (const SummaryRow& row : report.Summary()) {
        if (row.majorIteration && *row.majorIteration > kInitialIteration) ++facts.majorIterations;
    }
    if (!report.Summary().empty()) {
        const SummaryRow& last = report.Summary().back();
        if (last.majorIteration) facts.lastIteration = static_cast<int>(*last.majorIteration);
        facts.finalObjective = last.objectiveValue;
        facts.finalInfeasibility = last.totalInfeasibility;
    }
    return facts;
}

std::vector<OptionSetting> OptionsOf(const Report& report) {
    std::vector<OptionSetting> options;
    std::string copy;
    for (const Region& region : report.Regions()) {
        if (region.depth != 1 || !region.title.ends_with("Option Display")) continue;
        for (LineNumber line = region.line + 1; line < region.end; ++line) {
            const ShownLine shown = report.ReadLine(line, copy);
            if (shown.kind != LineKind::kText) continue;
            const std::size_t equals = shown.text.find(" = ");
            if (equals == std::string_view::npos) continue;
            options.push_back({region.title, Trimmed(shown.text.substr(0, equals)),
                               Trimmed(shown.text.substr(equals + 3))});
        }
    }
    return options;
}

std::vector<RunFactsLine> FactsOfRuns(const std::vector<const Report*>& reports) {
    std::vector<RunFactsLine> lines;
    std::vector<std::vector<OptionSetting>> settings;
    // Every option by display and key, in the order first shown.
    std::vector<std::pair<std::string, std::string>> keys;
    for (const Report* report : reports) {
        lines.push_back({FactsOf(*report), {}});
        settings.push_back(OptionsOf(*report));
        for (const OptionSetting& option : settings.back()) {
            const std::pair<std::string, std::string> key{option.display, option.key};
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
        }
    }
    const auto valueIn = [](const std::vector<OptionSetting>& options, const std::pair<std::string, std::string>& key) {
        const auto found = std::find_if(options.begin(), options.end(), [&](const OptionSetting& option) {
            return option.display == key.first && option.key == key.second;
        });
        return found == options.end() ? std::nullopt : std::optional<std::string>(found->value);
    };
    for (const auto& key : keys) {
        std::vector<std::optional<std::string>> values;
        for (const auto& options : settings) values.push_back(valueIn(options, key));
        if (std::all_of(values.begin(), values.end(), [&](const auto& value) { return value == values.front(); }))
            continue;
        for (std::size_t run = 0; run < lines.size(); ++run)
            lines[run].options.push_back({key.first, key.second, values[run]});
    }
    return lines;
}

std::vector<FinalValue> FinalValues(const Report& report) {
    std::vector<FinalValue> values;
    AddFinalValues(report, TableKind::kVariableDetails, ColumnOf(NameKind::kVariable), values);
    AddFinalValues(report, TableKind::kEquationDetails, ColumnOf(NameKind::kEquation), values);
    return values;
}

namespace {

void CompareOptions(const Report& a, const Report& b, Comparison& comparison) {
    std::map<std::pair<std::string, std::string>, OptionDifference> settings;
    for (const OptionSetting& option : OptionsOf(a)) {
        OptionDifference& entry = settings[{option.display, option.key}];
        entry.display = option.display;
        entry.key = option.key;
        entry.a = option.value;
    }
    for (const OptionSetting& option : OptionsOf(b)) {
        OptionDifference& entry = settings[{option.display, option.key}];
        entry.display = option.display;
        entry.key = option.key;
        entry.b = option.value;
    }
    for (auto& [key, entry] : settings) {
        if (entry.a != entry.b) comparison.options.push_back(std::move(entry));
    }
}

bool Differ(double a, double b, double tolerance) {
    return std::fabs(a - b) > tolerance * std::max({1.0, std::fabs(a), std::fabs(b)});
}

void CompareValues(const Report& a, const Report& b, DifferenceOrder order, double tolerance,
                   Comparison& comparison) {
    std::unordered_map<std::string, double> valuesOfB[2];
    for (const FinalValue& value : FinalValues(b)) valuesOfB[static_cast<int>(value.kind)].emplace(value.name, value.value);
    std::size_t matched[2] = {0, 0};
    for (const FinalValue& value : FinalValues(a)) {
        const auto& ofKind = valuesOfB[static_cast<int>(value.kind)];
        const auto found = ofKind.find(value.name);
        if (found == ofKind.end()) {
            ++comparison.onlyInA;
            continue;
        }
        ++matched[static_cast<int>(value.kind)];
        ++comparison.namesCompared;
        if (Differ(value.value, found->second, tolerance))
            comparison.differences.push_back({value.name, value.kind, ColumnOf(value.kind), value.value, found->second});
    }
    comparison.onlyInB = valuesOfB[0].size() - matched[0] + valuesOfB[1].size() - matched[1];
    const auto measure = [order](const Difference& difference) {
        return order == DifferenceOrder::kSize ? difference.Size() : difference.RelativeSize();
    };
    std::stable_sort(comparison.differences.begin(), comparison.differences.end(),
                     [&](const Difference& x, const Difference& y) { return measure(x) > measure(y); });
}

}  // namespace

Comparison Compare(const Report& a, const Report& b, DifferenceOrder order, double tolerance) {
    Comparison comparison;
    comparison.a = FactsOf(a);
    comparison.b = FactsOf(b);
    comparison.sameModel = !comparison.a.model.empty() && comparison.a.model == comparison.b.model;
    CompareOptions(a, b, comparison);
    CompareValues(a, b, order, tolerance, comparison);
    return comparison;
}

}  // namespace tarnview
