#include "cli_support.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

GuardedReport ReadGuardedReport(const std::string& path) {
    return tarnview::Report::Open(path);
}

GuardedReport OpenReport(const std::string& path) {
    try {
        GuardedReport report = ReadGuardedReport(path);
        if (const std::optional<std::string> why = tarnview::NotAReport(*report)) throw CommandFailure(*why);
        return report;
    } catch (const tarnview::ReadError& error) {
        throw CommandFailure(error.what());
    } catch (const std::bad_alloc&) {
        throw CommandFailure(path, "not enough memory to read the report");
    }
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


int FinishOutput(FILE* out) {
    if (std::fflush(out) != 0 || std::ferror(out))
        throw CommandFailure(std::string("cannot write the output: ") + std::strerror(errno));
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

