// The rules of a run-data file's content and their messages.
#include "run_data_rules.h"

#include <algorithm>

namespace tarn::rules {
namespace {

void AppendQuoted(std::string& out, unsigned char c) {
    static const char hex[] = "0123456789abcdef";
    switch (c) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    if (c < 0x20 || c == 0x7f) {
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 15];
    } else {
        out += static_cast<char>(c);
    }
}

std::string TooLong(const char* what, size_t bytes, size_t maxBytes) {
    return std::string(what) + " is " + std::to_string(bytes) + " bytes long, at most " +
           std::to_string(maxBytes) + " are allowed";
}

}  // namespace

bool IsPlainWord(std::string_view key) {
    return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
}

// A C1 control character (U+0080 to U+009F) starts at text[at]: its UTF-8
// is 0xC2 and a byte from 0x80 to 0x9F.
bool IsC1ControlAt(std::string_view text, size_t at) {
    return at + 1 < text.size() && static_cast<unsigned char>(text[at]) == 0xC2 &&
           static_cast<unsigned char>(text[at + 1]) >= 0x80 && static_cast<unsigned char>(text[at + 1]) <= 0x9F;
}

std::string QuoteText(std::string_view text) {
    constexpr size_t kMaxShown = 60;
    size_t shown = text.size();
    // Cut never inside a UTF-8 sequence.
    if (shown > kMaxShown) {
        shown = kMaxShown;
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
    }
    std::string out = "\"";
    for (size_t i = 0; i < shown; ++i) {
        if (IsC1ControlAt(text, i)) {
            out += "\\u00";  // shown as the code point it encodes, as C0 controls are
            out += "0123456789abcdef"[(static_cast<unsigned char>(text[i + 1]) >> 4) & 15];
            out += "0123456789abcdef"[static_cast<unsigned char>(text[i + 1]) & 15];
            ++i;
            continue;
        }
        AppendQuoted(out, static_cast<unsigned char>(text[i]));
    }
    out += shown < text.size() ? "\"..." : "\"";
    return out;
}

// Names (of the model, its variables and equations) are identifiers: a
// control character would break the report's lines, and a leading '#' or
// '?' would read as the report's markup where a name starts a line.
std::string NameProblem(std::string_view name) {
    for (size_t at = 0; at < name.size(); ++at) {
        const auto c = static_cast<unsigned char>(name[at]);
        if (c < 0x20 || c == 0x7f || IsC1ControlAt(name, at))
            return "a name may not contain a control character (U+0000 to U+001F, U+007F to U+009F), "
                   "found " + QuoteText(name);
    }
    if (!name.empty() && (name[0] == '#' || name[0] == '?'))
        return "a name may not begin with '#' or '?', found " + QuoteText(name);
    return std::string();
}

std::string DateProblem(std::string_view date) {
    if (date.size() > kDateMaxBytes) return TooLong("the date", date.size(), kDateMaxBytes);
    if (date.find_first_of("\r\n") != std::string_view::npos)
        return "the date may not contain a line break";
    return std::string();
}

std::string FormProblem(std::string_view form) {
    if (form.size() > kFormMaxBytes) return TooLong("the form", form.size(), kFormMaxBytes);
    for (const char c : form) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "a form may not contain a control character (U+0000 to U+001F, U+007F), found " +
                   QuoteText(form);
    }
    return std::string();
}

std::string MostInfeasibleProblem(std::string_view name) {
    if (name.size() > kMostInfeasibleMaxBytes)
        return TooLong("the name", name.size(), kMostInfeasibleMaxBytes);
    return std::string();
}

std::string IntegerOutOfRange(std::string_view shown, IntegerRange range) {
    return "the integer " + std::string(shown) + " is out of range (" + std::to_string(range.min) +
           " to " + std::to_string(range.max) + ")";
}

std::string NoSuchItem(bool equation, std::int64_t number, size_t count, bool countKnown) {
    const char* kind = equation ? "equation" : "variable";
    std::string problem = std::string(kind) + " " + std::to_string(number) + " does not exist";
    if (countKnown)
        problem += " (the model has " + std::to_string(count) + " " + kind + "s)";
    return problem;
}

std::string NameTaken(std::string_view name, std::string_view list, size_t earlier) {
    return "the name " + QuoteText(name) + " is already the name of " + std::string(list) + "[" +
           std::to_string(earlier) + "]";
}

std::string CoefficientTwice(std::int64_t equation, std::int64_t variable, size_t earlier) {
    return "equation " + std::to_string(equation) + " and variable " + std::to_string(variable) +
           " already have a coefficient in model.matrix[" + std::to_string(earlier) + "]";
}

std::string TripleCount(size_t given, size_t expected, bool variables) {
    return std::to_string(given) + " triples, " + std::to_string(expected) + " expected (one per " +
           (variables ? "variable" : "equation") + ")";
}

std::string IterationOutOfOrder(std::int64_t found, size_t expected) {
    return "iteration " + std::to_string(found) + " found where iteration " +
           std::to_string(expected) + " was expected (iterations are listed in order from 0)";
}

std::string FileTooLarge(std::uint64_t bytes) {
    return "the file is " + std::to_string(bytes) + " bytes long; run-data files of at most " +
           std::to_string(kMaxFileBytes) + " bytes are read";
}

std::string FormatProblem(std::string_view format) {
    return QuoteText(format) + " is not a run-data file format (\"" + std::string(kFormatName) +
           "\" expected)";
}

std::string VersionProblem(std::string_view shown) {
    return "version " + std::string(shown) + " is not supported; this library reads versions " +
           std::to_string(kOldestVersion) + " to " + std::to_string(kVersion);
}

namespace {

std::string NeedsFormVersion(std::string_view what, std::int64_t version) {
    return std::string(what) + " needs version " + std::to_string(kFormVersion) +
           " or later; the file is of version " + std::to_string(version);
}

}  // namespace

std::string FormNeedsVersion(std::int64_t version) { return NeedsFormVersion("an equation's form", version); }

std::string LinearisedNeedsVersion(std::int64_t version) {
    return NeedsFormVersion("a linearised coefficient", version);
}

std::string NoCoefficientToMark(std::int64_t equation, std::int64_t variable) {
    return "equation " + std::to_string(equation) + " and variable " + std::to_string(variable) +
           " have no coefficient in model.matrix";
}

std::string MarkedTwice(std::int64_t equation, std::int64_t variable, size_t earlier) {
    return "equation " + std::to_string(equation) + " and variable " + std::to_string(variable) +
           " are already marked in model.linearised[" + std::to_string(earlier) + "]";
}

std::string OptionPath(std::string_view parent, std::string_view name) {
    if (IsPlainWord(name)) return std::string(parent) + "." + std::string(name);
    return std::string(parent) + "[" + QuoteText(name) + "]";
}

}  // namespace tarn::rules
