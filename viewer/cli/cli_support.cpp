#include "cli_support.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

GuardedReport ReadGuardedReport(const std::string& path) {
    return tarnview::Report::Open(path);
}

GuardedReport OpenReport(const char* command, const std::string& path) {
    try {
        GuardedReport report = ReadGuardedReport(path);
        if (const std::optional<std::string> why = tarnview::NotAReport(*report)) throw tarnview::ReadError(*why);
        return report;
    } catch (const tarnview::ReadError& error) {
        std::fprintf(stderr, "tarnview %s: %s\n", command, error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "tarnview %s: %s: not enough memory to read the report\n", command, path.c_str());
    }
    return nullptr;
}

std::string NumberText(const std::optional<double>& value) {
    if (!value) return {};
    if (std::isnan(*value)) return "nan";
    if (std::isinf(*value)) return *value > 0 ? "inf" : "-inf";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, *value);
    return std::string(text, result.ptr);
}

namespace {

bool IsNumber(std::string_view text) { return tarnview::FieldNumber(text).has_value(); }

}  // namespace

std::string CsvField(std::string_view text) {
    const bool formula = !text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos &&
                         !IsNumber(text);
    if (formula) {
        std::string guarded(1, '\'');
        guarded.append(text);
        return CsvField(guarded);
    }
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line.push_back(',');
        line += CsvField(fields[i]);
    }
    line.push_back('\n');
    return line;
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

int FinishOutput(const char* command, FILE* out) {
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(stderr, "tarnview %s: cannot write the output: %s\n", command, std::strerror(errno));
        return 1;
    }
    return 0;
}

std::string DidYouMean(const std::vector<std::string>& meant) {
    std::string text;
    for (std::size_t i = 0; i < meant.size(); ++i) {
        text += i == 0 ? "; did you mean " : i + 1 == meant.size() ? " or " : ", ";
        text += Visible(meant[i]);
    }
    return text.empty() ? text : text + "?";
}

std::string Counted(std::uint64_t count, std::string_view singular, std::string_view plural) {
    return std::to_string(count) + " " + std::string(count == 1 ? singular : plural);
}
