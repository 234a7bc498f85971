// Search in the terminal view: the next line after (or before) a line
// that the reader's search finds for a query, going round the report's
// end.
#pragma once

#include <optional>
#include <string_view>

#include "report_reader.h"

namespace tarnview::terminal {

struct SearchQuery {
    std::string_view text;
    bool ignoreCase = false;
};

// The first hit after `line` (forward) or before it, wrapping round at the
// report's ends; `line` itself is a hit only when it is the only one.
std::optional<LineNumber> FindHit(const Report& report, const SearchQuery& query, LineNumber line, bool forward);

// Whether a line is a hit (shown text that holds the query).
bool IsHit(const Report& report, const SearchQuery& query, LineNumber line);

}  // namespace tarnview::terminal
