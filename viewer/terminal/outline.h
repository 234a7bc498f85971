// The outline pane: every region in document order, indented by depth,
// the one holding the cursor marked, the list scrolled to keep it in view.
#pragma once

#include <string>
#include <vector>

#include "report_reader.h"

namespace tarnview::terminal {

// The region whose title the outline marks for a line: the innermost
// region holding it (kNoRegion before the first).
int OutlineCurrent(const Report& report, LineNumber line);

// The first entry to show so that `current` sits in the middle of
// `height` rows where it can (entries are the regions' indexes).
std::size_t OutlineFirst(std::size_t entries, int current, int height);

// An entry's text: indentation and title, control characters visible,
// made for its first `columns` columns.
std::string OutlineText(const Region& region, std::size_t columns);

}  // namespace tarnview::terminal
