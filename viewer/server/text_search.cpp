#include "text_search.h"

#include <string.h>

#include "markup.h"

namespace tarnview::server {

std::string_view ShownText(const Report& report, LineNumber line, std::string& copy) {
    const Line shown = report.LineAt(line, copy);
    switch (shown.kind) {
        case LineKind::kRegionStart: return markup::ReadRegionStart(shown.text).value_or(markup::RegionStart{}).title;
        case LineKind::kRegionEnd: return {};
        case LineKind::kText:
        case LineKind::kStrayEnd: break;
    }
    return shown.text;
}

TextHits FindText(const Report& report, std::string_view query, LineNumber from, const SearchLimits& limits) {
    TextHits hits;
    if (query.empty() || from >= report.LineCount()) return hits;
    const std::string_view text = report.Text();
    const std::uint64_t begin = report.LineOffset(from);
    // A page reads at least its first line whole.
    const std::uint64_t stop =
        std::min<std::uint64_t>(text.size(), std::max(begin + limits.bytes, report.LineOffset(from + 1)));
    // Matches that start before `stop` are found on this page.
    const std::uint64_t searchEnd = std::min<std::uint64_t>(text.size(), stop + query.size() - 1);
    // The file is searched as a whole; a match counts when it lies in what
    // its line shows (not in a colour prefix or the region markup).
    std::string copy;
    for (std::uint64_t at = begin; at < stop;) {
        const void* found = memmem(text.data() + at, searchEnd - at, query.data(), query.size());
        if (found == nullptr) break;
        const LineNumber line =
            report.LineOfOffset(static_cast<std::uint64_t>(static_cast<const char*>(found) - text.data()));
        if (ShownText(report, line, copy).find(query) != std::string_view::npos) {
            if (hits.lines.size() == limits.hits) {
                hits.next = line;
                return hits;
            }
            hits.lines.push_back(line);
        }
        at = report.LineOffset(line + 1);
    }
    if (stop < text.size()) {
        // The line holding `stop` was not searched to its end, unless it
        // is a hit already.
        LineNumber resume = report.LineOfOffset(stop);
        if (!hits.lines.empty() && hits.lines.back() >= resume) resume = hits.lines.back() + 1;
        if (resume < report.LineCount()) hits.next = resume;
    }
    return hits;
}

}  // namespace tarnview::server
