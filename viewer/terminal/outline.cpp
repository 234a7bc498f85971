#include "outline.h"

#include <algorithm>

#include "visible_text.h"

namespace tarnview::terminal {

int OutlineCurrent(const Report& report, LineNumber line) { return report.RegionOfLine(line); }

std::size_t OutlineFirst(std::size_t entries, int current, int height) {
    if (height <= 0 || entries <= static_cast<std::size_t>(height) || current < 0) return 0;
    const std::size_t half = static_cast<std::size_t>(height) / 2;
    const std::size_t wanted = static_cast<std::size_t>(current) > half ? static_cast<std::size_t>(current) - half : 0;
    return std::min(wanted, entries - static_cast<std::size_t>(height));
}

std::string OutlineText(const Region& region, std::size_t columns) {
    const std::size_t indent = std::min(static_cast<std::size_t>(region.depth), columns);
    return std::string(indent, ' ') + VisibleTextUpTo(region.title, columns - indent);
}

}  // namespace tarnview::terminal
