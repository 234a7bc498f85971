// Where a text or a name occurs in a report: the one search that the
// terminal commands, the server and the page all answer with.
//
// A query that is a variable or equation name of the report finds every
// line where that name occurs as a whole name: the rows it names in every
// table, and any line whose shown text holds it between a line start, a
// blank or "*" (a coefficient) and a line end, a blank or ":" (an equation
// label): the algebraic model display, the iteration summary, the
// associated names of the infeasibility diagnosis.  A row of a table with
// fixed columns names its own item only (a status "S" or a type "Cont" is
// no occurrence of a variable named so).  Any other query is found as
// written in what the lines show.  Case counts unless the search is asked
// to ignore it (ASCII letters).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report_reader.h"
#include "word_finder.h"

namespace tarnview {

// A variable or equation name of the report.
struct Name {
    std::string text;
    bool variable = false;
    bool equation = false;
};

// The report's names: those of the rows of the first variable details and
// the first equation details table (every block lists every item).
class NameSet {
public:
    explicit NameSet(const Report& report);

    // The names equal to `text` (ignoring ASCII case when asked): at most
    // one unless case is ignored.
    std::vector<const Name*> Matching(std::string_view text, bool ignoreCase) const;
    const Name* Find(std::string_view text) const;
    const std::vector<Name>& All() const { return m_names; }
    std::size_t LongestName() const { return m_longest; }
    // The names found by part and by a few edits; its indexes are those of
    // All().
    const WordFinder& Finder() const { return m_finder; }

private:
    std::vector<Name> m_names;
    WordFinder m_finder;
    std::unordered_map<std::string_view, std::size_t> m_exact;
    std::unordered_map<std::string, std::vector<std::size_t>> m_folded;  // by the name in lower case
    std::size_t m_longest = 0;
};

// Whether a line, as read, holds the name (`byName`) or the text.
bool LineHolds(const ShownLine& line, std::string_view query, bool byName, bool ignoreCase);

// Every name of `names` that occurs in the line, each once, in no set order.
void ForEachNameIn(const ShownLine& line, const NameSet& names, const std::function<void(const Name&)>& visit);

// Where a line refers to something a reader may go to: a variable or an
// equation by its name, an iteration block by its number (the first field
// of an iteration summary row).  Offsets are bytes of the line's shown
// text (ShownLine::text); spans do not overlap and come in line order.
enum class SpanKind : std::uint8_t { kName, kIteration };
struct LineSpan {
    std::size_t begin = 0, end = 0;
    SpanKind kind = SpanKind::kName;
    const Name* name = nullptr;  // for a name: the report's name
    bool variable = false, equation = false;  // what the name refers to here (a row's name: its table's kind)
    int iteration = 0;           // for an iteration number: the block's number (kInitialIteration: the initial point)
};
// The spans of line `number`, read as `shown`.  A name is found where the
// search finds it (the rules above); where two names overlap, the one
// starting first and then the longest.  An iteration number counts when
// the report has that block.
std::vector<LineSpan> SpansOfLine(const Report& report, LineNumber number, const ShownLine& shown);

struct SearchOptions {
    bool ignoreCase = false;
    std::size_t hits = 200;               // hits per page
    std::uint64_t bytes = 256ull << 20;   // bytes of the file read per page
};

struct SearchHits {
    std::vector<LineNumber> lines;        // in line order
    std::optional<LineNumber> next;       // where the next page starts; none at the end
    bool byName = false;                  // the query is a name of the report
    bool variable = false, equation = false;  // what the names found are
};

// The lines from `from` on that hold the query, a page at a time.
SearchHits Search(const Report& report, std::string_view query, LineNumber from, const SearchOptions& options = {});

// The names a query for `query` matches (empty when it is no name), and
// their kinds, as Search would take them.
SearchHits NameQuery(const Report& report, std::string_view query, bool ignoreCase);

// Every line of [begin, end) where some name occurs, by name: calls
// `visit(name, line)` in line order. False when `cancel` became true.
bool ForEachNameOccurrence(const Report& report, LineNumber begin, LineNumber end, const std::atomic<bool>& cancel,
                           const std::function<void(const Name&, LineNumber)>& visit);

// Up to `count` names closest to a name not found: those equal but for
// case first, then those a few edits away, nearest first.  Bounded in time
// by the word finder's band (word_finder.h), whatever the names' lengths.
std::vector<std::string> ClosestNames(const NameSet& names, std::string_view wanted, std::size_t count = 5);

// The names that hold what was typed, ranked as the word finder ranks them.
struct NameSuggestion {
    const Name* name = nullptr;
    PartMatch match = PartMatch::kInside;
};
std::vector<NameSuggestion> SuggestNames(const NameSet& names, std::string_view typed, std::size_t count = 20);

// What a name not found may have been: the names holding it (up to
// `count`), else the closest names.
std::vector<std::string> NamesMeant(const NameSet& names, std::string_view wanted, std::size_t count = 5);

}  // namespace tarnview
