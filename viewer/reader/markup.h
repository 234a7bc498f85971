// The markup of a line and the report's own line forms, read from the
// text of one line.  Shared by the one-pass scan and by the accessors that
// read a line again when asked.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report_reader.h"

namespace tarnview::markup {

constexpr std::size_t kPrefixLength = 11;  // "?RRRGGGBBB}"
constexpr std::string_view kRegionEnd = "#endregion";

struct Prefixed {
    std::optional<Colour> colour;
    std::string_view text;  // after the prefix
};
// Splits a colour prefix off a line (without its line end).
Prefixed SplitPrefix(std::string_view line);

struct RegionStart {
    int level = 0;
    std::string_view title;
};
// "#region D, TITLE" (the text after any prefix).
std::optional<RegionStart> ReadRegionStart(std::string_view text);

// A region's title as shown and its kind; for an iteration block also its
// number (-1 for the initial conditions).
struct RegionName {
    std::string title;
    RegionKind kind = RegionKind::kSection;
    bool iterationBlock = false;
    std::optional<int> iteration;
};
RegionName NameRegion(int level, std::string_view title);

// A row of the iteration summary; nullopt for a line that is not one.
std::optional<SummaryRow> ReadSummaryRow(std::string_view text, LineNumber line);

// The fields of a header line " KEY : VALUE" appended to those of the
// lines before, each read by its position: a field is taken only with a
// key of the header that comes after the last one taken, and a line holds
// a second field only where the writer puts one (the status after the
// date), so that no text inside a value can stand for another field.
void ReadHeaderFields(std::string_view text, std::vector<std::pair<std::string, std::string>>& fields);

// Whether a line (after its prefix) is the header of a variable or
// equation table.
bool IsTableHeader(std::string_view text);

}  // namespace tarnview::markup
