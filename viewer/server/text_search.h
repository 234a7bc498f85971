// Any text searched in the report's map, a page of hits at a time: each
// request goes on from where the last one stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report_reader.h"

namespace tarnview::server {

struct SearchLimits {
    std::size_t hits = 200;                 // hits per page
    std::uint64_t bytes = 256ull << 20;     // bytes of the file read per page
};

struct TextHits {
    std::vector<LineNumber> lines;          // lines whose shown text holds the query
    std::optional<LineNumber> next;         // where the next page starts; none at the end
};

// The text a line shows: a region start's title, any other line's text
// without its colour prefix; region end lines show nothing.  Read from a
// copy of the line made in `copy` (the file may change while served).
std::string_view ShownText(const Report& report, LineNumber line, std::string& copy);

// The lines from `from` on whose shown text contains `query` (bytes as they
// are, case included), at most `limits.hits` of them.
TextHits FindText(const Report& report, std::string_view query, LineNumber from, const SearchLimits& limits = {});

}  // namespace tarnview::server
