// The one search of a report: names as whole names, any other text as
// written.
#include "report_search.h"

#include <string.h>

#include <algorithm>
#include <functional>
#include <optional>

namespace tarnview {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string FoldedText(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = Folded(c);
    return folded;
}

bool SameText(std::string_view a, std::string_view b, bool ignoreCase) {
    if (!ignoreCase) return a == b;
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return Folded(x) == Folded(y);
           });
}

std::size_t FindIn(std::string_view text, std::string_view query, std::size_t from, bool ignoreCase) {
    if (!ignoreCase) return text.find(query, from);
    if (from > text.size()) return std::string_view::npos;
    const auto found = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), query.begin(),
                                   query.end(), [](char x, char y) { return Folded(x) == Folded(y); });
    return found == text.end() && !query.empty() ? std::string_view::npos
                                                 : static_cast<std::size_t>(found - text.begin());
}

// The bounds of a whole name: what may stand before and after it.
bool NameMayStartAt(std::string_view text, std::size_t at) {
    return at == 0 || text[at - 1] == ' ' || text[at - 1] == '*';
}
bool NameMayEndAt(std::string_view text, std::size_t end) {
    return end == text.size() || text[end] == ' ' || text[end] == ':';
}

// Finds the query in the file's bytes from `from` to `to`, case folded or
// not.
class ByteFinder {
public:
    ByteFinder(std::string_view query, bool ignoreCase)
        : m_query(query), m_ignoreCase(ignoreCase), m_folded(FoldedText(query)) {}

    // The offset of the first match starting in [from, to), or npos; a
    // match may run past `to` up to `limit`.
    std::size_t Next(std::string_view bytes, std::size_t from, std::size_t to) const {
        const std::size_t limit = std::min(bytes.size(), to + m_query.size() - 1);
        if (from >= to || limit - from < m_query.size()) return std::string_view::npos;
        if (!m_ignoreCase) {
            const void* found = memmem(bytes.data() + from, limit - from, m_query.data(), m_query.size());
            return found == nullptr ? std::string_view::npos
                                    : static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
        }
        // The first byte in either case, then the rest compared folded.
        const char lower = m_folded[0];
        const char upper = lower >= 'a' && lower <= 'z' ? static_cast<char>(lower - 'a' + 'A') : lower;
        for (std::size_t at = from; at + m_query.size() <= limit; ++at) {
            const char* const begin = bytes.data() + at;
            const std::size_t span = limit - at - m_query.size() + 1;
            const void* a = memchr(begin, lower, span);
            const void* b = upper != lower ? memchr(begin, upper, span) : nullptr;
            if (a == nullptr && b == nullptr) return std::string_view::npos;
            const char* first = static_cast<const char*>(a == nullptr ? b : b == nullptr ? a : std::min(a, b));
            at = static_cast<std::size_t>(first - bytes.data());
            if (SameText(bytes.substr(at, m_query.size()), m_folded, true)) return at;
        }
        return std::string_view::npos;
    }

private:
    std::string_view m_query;
    bool m_ignoreCase;
    std::string m_folded;
};

}  // namespace

NameSet::NameSet(const Report& report) {
    // The rows first, so that the map's keys point into names that no
    // longer move.
    std::vector<Name> names;
    std::unordered_map<std::string, std::size_t> byText;
    for (const TableKind kind : {TableKind::kVariableDetails, TableKind::kEquationDetails}) {
        const auto& tables = report.Tables();
        const auto first = std::find_if(tables.begin(), tables.end(), [kind](const Table& t) { return t.kind == kind; });
        if (first == tables.end()) continue;
        const bool variable = kind == TableKind::kVariableDetails;
        std::string copy;
        for (LineNumber line = first->header + 1; line < first->end; ++line) {
            const ShownLine shown = report.ReadLine(line, copy);
            if (!shown.row) continue;
            const auto [found, added] = byText.try_emplace(std::string(shown.row->name), names.size());
            if (added) names.push_back({found->first, false, false});
            (variable ? names[found->second].variable : names[found->second].equation) = true;
        }
    }
    m_names = std::move(names);
    std::vector<std::string_view> texts;
    texts.reserve(m_names.size());
    for (const Name& name : m_names) texts.push_back(name.text);
    m_finder = WordFinder(texts);
    m_exact.reserve(m_names.size());
    m_folded.reserve(m_names.size());
    for (std::size_t id = 0; id < m_names.size(); ++id) {
        m_exact.emplace(m_names[id].text, id);
        m_folded[FoldedText(m_names[id].text)].push_back(id);
        m_longest = std::max(m_longest, m_names[id].text.size());
    }
}

std::vector<const Name*> NameSet::Matching(std::string_view text, bool ignoreCase) const {
    std::vector<const Name*> found;
    if (!ignoreCase) {
        if (const Name* name = Find(text)) found.push_back(name);
        return found;
    }
    const auto folded = m_folded.find(FoldedText(text));
    if (folded != m_folded.end()) {
        for (const std::size_t id : folded->second) found.push_back(&m_names[id]);
    }
    return found;
}

const Name* NameSet::Find(std::string_view text) const {
    const auto found = m_exact.find(text);
    return found == m_exact.end() ? nullptr : &m_names[found->second];
}

bool LineHolds(const ShownLine& line, std::string_view query, bool byName, bool ignoreCase) {
    if (query.empty()) return false;
    if (!byName) return FindIn(line.text, query, 0, ignoreCase) != std::string_view::npos;
    if (line.row) {
        if (SameText(line.row->name, query, ignoreCase)) return true;
        if (HasFixedColumns(line.row->table)) return false;
    }
    for (std::size_t at = FindIn(line.text, query, 0, ignoreCase); at != std::string_view::npos;
         at = FindIn(line.text, query, at + 1, ignoreCase)) {
        if (NameMayStartAt(line.text, at) && NameMayEndAt(line.text, at + query.size())) return true;
    }
    return false;
}

void ForEachNameIn(const ShownLine& line, const NameSet& names, const std::function<void(const Name&)>& visit) {
    std::vector<const Name*> seen;
    const auto once = [&](const Name* name) {
        if (name == nullptr || std::find(seen.begin(), seen.end(), name) != seen.end()) return;
        seen.push_back(name);
        visit(*name);
    };
    if (line.row) {
        once(names.Find(line.row->name));
        if (HasFixedColumns(line.row->table)) return;
    }
    // Names are read from table rows with their blanks trimmed: none starts
    // or ends with a blank.
    const std::string_view text = line.text;
    std::vector<std::size_t> ends;
    for (std::size_t end = 1; end <= text.size(); ++end) {
        if (text[end - 1] != ' ' && NameMayEndAt(text, end)) ends.push_back(end);
    }
    const std::size_t longest = names.LongestName();
    for (std::size_t start = 0; start < text.size(); ++start) {
        if (text[start] == ' ' || !NameMayStartAt(text, start)) continue;
        for (auto end = std::upper_bound(ends.begin(), ends.end(), start); end != ends.end() && *end - start <= longest;
             ++end) {
            once(names.Find(text.substr(start, *end - start)));
        }
    }
}

namespace {

// Names that do not overlap, from `from` on: at each place a name may
// start, the longest name ending where a name may end.
void AddNameSpans(std::string_view text, std::size_t from, const NameSet& names, std::vector<LineSpan>& spans) {
    std::vector<std::size_t> ends;
    for (std::size_t end = from + 1; end <= text.size(); ++end) {
        if (text[end - 1] != ' ' && NameMayEndAt(text, end)) ends.push_back(end);
    }
    const std::size_t longest = names.LongestName();
    for (std::size_t start = from; start < text.size(); ++start) {
        if (text[start] == ' ' || !NameMayStartAt(text, start)) continue;
        const Name* found = nullptr;
        std::size_t foundEnd = 0;
        for (auto end = std::upper_bound(ends.begin(), ends.end(), start); end != ends.end() && *end - start <= longest;
             ++end) {
            if (const Name* name = names.Find(text.substr(start, *end - start))) {
                found = name;
                foundEnd = *end;
            }
        }
        if (found == nullptr) continue;
        spans.push_back({start, foundEnd, SpanKind::kName, found, found->variable, found->equation, 0});
        start = foundEnd - 1;
    }
}

// The iteration number that starts a summary row, when its block exists.
std::optional<LineSpan> IterationSpan(const Report& report, LineNumber number, std::string_view text) {
    const std::vector<SummaryRow>& rows = report.Summary();
    const auto row = std::lower_bound(rows.begin(), rows.end(), number,
                                      [](const SummaryRow& r, LineNumber line) { return r.line < line; });
    if (row == rows.end() || row->line != number || !row->majorIteration) return std::nullopt;
    const int iteration = static_cast<int>(*row->majorIteration);
    if (!report.BlockNumbered(iteration)) return std::nullopt;
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return std::nullopt;
    const std::size_t end = std::min(text.size(), text.find(' ', begin));
    return LineSpan{begin, end, SpanKind::kIteration, nullptr, false, false, iteration};
}

}  // namespace

std::vector<LineSpan> SpansOfLine(const Report& report, LineNumber number, const ShownLine& shown) {
    std::vector<LineSpan> spans;
    if (shown.kind != LineKind::kText) return spans;
    const NameSet& names = report.Names();
    const std::string_view text = shown.text;
    std::size_t from = 0;
    if (shown.row) {
        const std::size_t at = text.find(shown.row->name);
        const Name* name = names.Find(shown.row->name);
        if (at != std::string_view::npos && name != nullptr) {
            const bool variable = shown.row->kind == NameKind::kVariable;
            spans.push_back({at, at + shown.row->name.size(), SpanKind::kName, name, variable, !variable, 0});
            from = at + shown.row->name.size();
        }
        if (HasFixedColumns(shown.row->table)) return spans;
    } else if (const std::optional<LineSpan> iteration = IterationSpan(report, number, text)) {
        spans.push_back(*iteration);
        from = iteration->end;
    }
    AddNameSpans(text, from, names, spans);
    return spans;
}

SearchHits NameQuery(const Report& report, std::string_view query, bool ignoreCase) {
    SearchHits hits;
    for (const Name* name : report.Names().Matching(query, ignoreCase)) {
        hits.byName = true;
        hits.variable = hits.variable || name->variable;
        hits.equation = hits.equation || name->equation;
    }
    return hits;
}

SearchHits Search(const Report& report, std::string_view query, LineNumber from, const SearchOptions& options) {
    SearchHits hits = NameQuery(report, query, options.ignoreCase);
    if (query.empty() || from >= report.LineCount()) return hits;
    const std::string_view bytes = report.Text();
    const std::uint64_t begin = report.LineOffset(from);
    // A page reads at least its first line whole; matches that start before
    // `stop` are found on this page.
    const std::uint64_t stop =
        std::min<std::uint64_t>(bytes.size(), std::max(begin + options.bytes, report.LineOffset(from + 1)));
    const ByteFinder finder(query, options.ignoreCase);
    std::string copy;
    // The file is searched as a whole; a match counts when its line holds
    // the query by the rule above (not in a colour prefix or region markup).
    for (std::uint64_t at = begin; at < stop;) {
        const std::size_t found = finder.Next(bytes, at, stop);
        if (found == std::string_view::npos) break;
        const LineNumber line = report.LineOfOffset(found);
        if (LineHolds(report.ReadLine(line, copy), query, hits.byName, options.ignoreCase)) {
            if (hits.lines.size() == options.hits) {
                hits.next = line;
                return hits;
            }
            hits.lines.push_back(line);
        }
        at = report.LineOffset(line + 1);
    }
    if (stop < bytes.size()) {
        // The line holding `stop` was not searched to its end, unless it is
        // a hit already.
        LineNumber resume = report.LineOfOffset(stop);
        if (!hits.lines.empty() && hits.lines.back() >= resume) resume = hits.lines.back() + 1;
        if (resume < report.LineCount()) hits.next = resume;
    }
    return hits;
}

bool ForEachNameOccurrence(const Report& report, LineNumber begin, LineNumber end, const std::atomic<bool>& cancel,
                           const std::function<void(const Name&, LineNumber)>& visit) {
    const NameSet& names = report.Names();
    std::string copy;
    for (LineNumber line = begin; line < end && line < report.LineCount(); ++line) {
        if ((line & 0xFFFF) == 0 && cancel.load(std::memory_order_relaxed)) return false;
        ForEachNameIn(report.ReadLine(line, copy), names, [&](const Name& name) { visit(name, line); });
    }
    return true;
}

std::vector<std::string> ClosestNames(const NameSet& names, std::string_view wanted, std::size_t count) {
    std::vector<std::string> closest;
    for (const Name* name : names.Matching(wanted, true)) {
        if (closest.size() < count) closest.push_back(name->text);
    }
    for (const std::size_t id : names.Finder().Closest(wanted, count + closest.size())) {
        const std::string& text = names.All()[id].text;
        if (closest.size() < count && std::find(closest.begin(), closest.end(), text) == closest.end())
            closest.push_back(text);
    }
    return closest;
}

std::vector<NameSuggestion> SuggestNames(const NameSet& names, std::string_view typed, std::size_t count) {
    std::vector<NameSuggestion> suggestions;
    for (const FoundWord& found : names.Finder().Containing(typed, count))
        suggestions.push_back({&names.All()[found.word], found.match});
    return suggestions;
}

std::vector<std::string> NamesMeant(const NameSet& names, std::string_view wanted, std::size_t count) {
    std::vector<std::string> meant;
    for (const NameSuggestion& suggestion : SuggestNames(names, wanted, count)) meant.push_back(suggestion.name->text);
    return meant.empty() ? ClosestNames(names, wanted, count) : meant;
}

}  // namespace tarnview
