#include "search.h"

#include <string.h>

#include <algorithm>
#include <string>

#include "report_search.h"

namespace tarnview::terminal {

namespace {

// Whether the line holds the query by the reader's one search rule.
bool Holds(const Report& report, const SearchQuery& query, bool byName, LineNumber line) {
    std::string copy;
    return LineHolds(report.ReadLine(line, copy), query.text, byName, query.ignoreCase);
}

bool ByName(const Report& report, const SearchQuery& query) {
    return NameQuery(report, query.text, query.ignoreCase).byName;
}

// The first hit in the lines [begin, end), searching the map for the
// query's bytes (any case of its first letter when ignoring case).
std::optional<LineNumber> FirstHitIn(const Report& report, const SearchQuery& query, LineNumber begin, LineNumber end) {
    if (begin >= end) return std::nullopt;
    const bool byName = ByName(report, query);
    if (query.ignoreCase) {
        for (LineNumber line = begin; line < end; ++line) {
            if (Holds(report, query, byName, line)) return line;
        }
        return std::nullopt;
    }
    const std::string_view text = report.Text();
    const std::uint64_t stop = report.LineOffset(end);
    for (std::uint64_t at = report.LineOffset(begin); at < stop;) {
        const void* found = memmem(text.data() + at, stop - at, query.text.data(), query.text.size());
        if (found == nullptr) break;
        const LineNumber line = report.LineOfOffset(static_cast<std::uint64_t>(static_cast<const char*>(found) - text.data()));
        if (Holds(report, query, byName, line)) return line;
        at = report.LineOffset(line + 1);
    }
    return std::nullopt;
}

// The last hit in the lines [begin, end), searched a chunk at a time from
// the end.
std::optional<LineNumber> LastHitIn(const Report& report, const SearchQuery& query, LineNumber begin, LineNumber end) {
    constexpr LineNumber kChunkLines = 1 << 16;
    while (end > begin) {
        const LineNumber chunkBegin = end - begin > kChunkLines ? end - kChunkLines : begin;
        std::optional<LineNumber> last;
        for (auto hit = FirstHitIn(report, query, chunkBegin, end); hit; hit = FirstHitIn(report, query, *hit + 1, end)) {
            last = hit;
        }
        if (last) return last;
        end = chunkBegin;
    }
    return std::nullopt;
}

}  // namespace

bool IsHit(const Report& report, const SearchQuery& query, LineNumber line) {
    return !query.text.empty() && Holds(report, query, ByName(report, query), line);
}

std::optional<LineNumber> FindHit(const Report& report, const SearchQuery& query, LineNumber line, bool forward) {
    if (query.text.empty() || report.LineCount() == 0) return std::nullopt;
    const LineNumber count = report.LineCount();
    line = std::min(line, count - 1);
    if (forward) {
        if (auto hit = FirstHitIn(report, query, line + 1, count)) return hit;
        return FirstHitIn(report, query, 0, line + 1);
    }
    if (auto hit = LastHitIn(report, query, 0, line)) return hit;
    return LastHitIn(report, query, line, count);
}

}  // namespace tarnview::terminal
