#include "shown_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "visible.h"

std::string NumberText(const std::optional<double>& value) {
    if (!value) return {};
    if (std::isnan(*value)) return "nan";
    if (std::isinf(*value)) return *value > 0 ? "inf" : "-inf";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, *value);
    return std::string(text, result.ptr);
}

std::string Counted(std::uint64_t count, std::string_view singular, std::string_view plural) {
    return std::to_string(count) + " " + std::string(count == 1 ? singular : plural);
}

void WriteAlignedTable(FILE* out, const std::vector<std::vector<std::string>>& rows,
                       const std::vector<bool>& rightAligned) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    }
    const auto writeRow = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string padding(widths[i] - row[i].size(), ' ');
            const bool right = i < rightAligned.size() && rightAligned[i];
            if (i > 0) line += "  ";
            line += right ? padding + row[i] : row[i] + (i + 1 < row.size() ? padding : "");
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::fprintf(out, "%s\n", line.c_str());
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        writeRow(rows[r]);
        if (r == 0) {
            std::vector<std::string> rule;
            for (std::size_t width : widths) rule.emplace_back(width, '-');
            writeRow(rule);
        }
    }
}

namespace {

// A change to 12 significant digits: the report's values carry no more,
// and the rest is the noise of the subtraction.
std::string ChangeText(double change) {
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", change);
    return NumberText(std::strtod(text, nullptr));
}

std::string Shown(const std::optional<std::string>& bound) {
    return !bound ? "inactive" : bound->empty() ? "active" : Visible(*bound);
}

}  // namespace

std::vector<std::vector<std::string>> ChangeRows(const tarnview::IterationDiff& diff, std::size_t limit) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < diff.values.size() && (limit == 0 || i < limit); ++i) {
        const tarnview::Difference& value = diff.values[i];
        rows.push_back({"value", Visible(value.name), NumberText(value.a), NumberText(value.b),
                        ChangeText(value.Change()), ChangeText(value.RelativeSize())});
    }
    for (const tarnview::BoundChange& bound : diff.bounds)
        rows.push_back({"bound", Visible(bound.name), Shown(bound.before), Shown(bound.after), "", ""});
    for (const tarnview::InfeasibilityChange& change : diff.infeasibility)
        rows.push_back({change.Became() ? "became infeasible" : "became feasible", Visible(change.name),
                        NumberText(change.before), NumberText(change.after), "", ""});
    for (const tarnview::StatusChange& status : diff.statuses)
        rows.push_back({"status", Visible(status.name), Visible(status.before), Visible(status.after), "", ""});
    return rows;
}

std::optional<int> ReadIterationNumber(std::string_view text) {
    if (text == "initial") return tarnview::kInitialIteration;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        number < tarnview::kInitialIteration)
        return std::nullopt;
    return number;
}
