#include "cli_support.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

GuardedReport ReadGuardedReport(const std::string& path) {
    std::unique_ptr<tarnview::Report> report = tarnview::Report::Open(path);
    auto guard = std::make_shared<tarnview::server::MappingGuard>(report->Text().data(), report->Bytes());
    return GuardedReport(report.release(), ReleaseGuardedReport{std::move(guard)});
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

// The length of the UTF-8 character whose lead byte is at `at` (its
// continuation bytes present), 0 when no character starts there.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// The number of bytes at `at` that make a C1 control: two in UTF-8, one for
// a lone byte from 0x80 to 0x9F; 0 for none.
std::size_t C1Length(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte == 0xC2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        if (next >= 0x80 && next <= 0x9F) return 2;
    }
    return byte >= 0x80 && byte <= 0x9F ? 1 : 0;
}

void AppendHex(std::string& out, unsigned char byte, const char* form) {
    char text[8];
    std::snprintf(text, sizeof text, form, byte);
    out += text;
}

bool IsNumber(std::string_view text) {
    if (text.starts_with('+')) text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string Visible(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if ((byte >= 0x20 && byte != 0x7F) || byte == '\t') {
                shown.push_back(static_cast<char>(byte));
            } else {
                shown.push_back('^');
                shown.push_back(byte == 0x7F ? '?' : static_cast<char>(byte + '@'));
            }
        } else if (const std::size_t c1 = C1Length(text, at); c1 > 0) {
            for (std::size_t i = 0; i < c1; ++i) AppendHex(shown, static_cast<unsigned char>(text[at + i]), "\\x%02X");
            at += c1 - 1;
        } else {
            const std::size_t length = std::max<std::size_t>(Utf8Length(text, at), 1);
            shown.append(text.substr(at, length));
            at += length - 1;
        }
    }
    return shown;
}

std::string VisibleJson(std::string_view json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t at = 0; at < json.size(); ++at) {
        const auto byte = static_cast<unsigned char>(json[at]);
        if (byte == 0x7F) {
            out += "\\u007f";
        } else if (byte == 0xC2 && C1Length(json, at) == 2) {
            AppendHex(out, static_cast<unsigned char>(json[++at]), "\\u00%02x");
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

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
