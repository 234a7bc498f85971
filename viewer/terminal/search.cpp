#include "search.h"

#include <string.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "markup.h"

namespace tarnview::terminal {

namespace {

// What a line shows to search: a region start's title, any other line's
// text without its colour prefix; region end lines show nothing.
std::string_view ShownText(const Report& report, LineNumber line) {
    const Line shown = report.LineAt(line);
    switch (shown.kind) {
        case LineKind::kRegionStart: return markup::ReadRegionStart(shown.text)->title;
        case LineKind::kRegionEnd: return {};
        case LineKind::kText:
        case LineKind::kStrayEnd: break;
    }
    return shown.text;
}

bool Holds(std::string_view text, const SearchQuery& query) {
    if (!query.ignoreCase) return text.find(query.text) != std::string_view::npos;
    const auto equal = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    return std::search(text.begin(), text.end(), query.text.begin(), query.text.end(), equal) != text.end();
}

// The first hit in the lines [begin, end), searching the map for the
// query's bytes (any case of its first letter when ignoring case).
std::optional<LineNumber> FirstHitIn(const Report& report, const SearchQuery& query, LineNumber begin, LineNumber end) {
    if (begin >= end) return std::nullopt;
    if (query.ignoreCase) {
        for (LineNumber line = begin; line < end; ++line) {
            if (IsHit(report, query, line)) return line;
        }
        return std::nullopt;
    }
    const std::string_view text = report.Text();
    const std::uint64_t stop = report.LineOffset(end);
    for (std::uint64_t at = report.LineOffset(begin); at < stop;) {
        const void* found = memmem(text.data() + at, stop - at, query.text.data(), query.text.size());
        if (found == nullptr) break;
        const LineNumber line = report.LineOfOffset(static_cast<std::uint64_t>(static_cast<const char*>(found) - text.data()));
        if (IsHit(report, query, line)) return line;
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
    return !query.text.empty() && Holds(ShownText(report, line), query);
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
