#include "line_format.h"

#include <algorithm>

#include "visible_text.h"

namespace tarnview::terminal {

ShownLine FormatLine(const Document& document, LineNumber line, bool unicode, std::size_t columns) {
    const Report& report = document.report();
    ShownLine shown;
    shown.text.assign(static_cast<std::size_t>(document.IndentLevel(line) * kIndentPerLevel), ' ');
    const std::size_t textColumns = columns > shown.text.size() ? columns - shown.text.size() : 0;
    if (!document.IsTitle(line)) {
        const Line text = report.LineAt(line);
        shown.colour = text.colour;
        shown.text += VisibleTextUpTo(text.text, textColumns);
        return shown;
    }
    const int id = document.RegionAt(line);
    const Region& region = report.Regions()[static_cast<std::size_t>(id)];
    const bool open = document.IsOpen(id);
    shown.title = true;
    shown.colour = region.colour;
    shown.text += open ? (unicode ? "\xe2\x96\xbe " : "- ") : (unicode ? "\xe2\x96\xb8 " : "+ ");
    shown.text += VisibleTextUpTo(region.title, textColumns);
    if (!open) {
        shown.noteColumn = ColumnCount(shown.text);
        shown.text += " (" + std::to_string(region.InnerLineCount()) + " lines)";
    }
    return shown;
}

namespace {

// A shown text cut to `width` columns, "..." at its end when it was longer.
std::string CutToWidth(std::string_view shown, std::size_t width) {
    if (ColumnCount(shown) <= width) return std::string(shown);
    if (width <= 3) return std::string(ColumnSlice(shown, 0, width));
    return std::string(ColumnSlice(shown, 0, width - 3)) + "...";
}

}  // namespace

std::size_t StatusMessageRoom(std::size_t width) { return width * 2 / 5; }

std::string StatusLine(std::string_view left, std::string_view right, std::size_t width) {
    const std::size_t leftColumns = ColumnCount(left), rightColumns = ColumnCount(right);
    std::size_t rightRoom = rightColumns;
    if (leftColumns + kStatusGap + rightColumns > width) {
        const std::size_t afterLeft = width > leftColumns + kStatusGap ? width - leftColumns - kStatusGap : 0;
        rightRoom = std::min(rightColumns, std::max(StatusMessageRoom(width), afterLeft));
    }
    const std::size_t gap = rightRoom > 0 && width > rightRoom ? std::min(kStatusGap, width - rightRoom) : 0;
    const std::string shownRight = CutToWidth(right, std::min(rightRoom, width));
    std::string line = CutToWidth(left, width - std::min(width, rightRoom + gap));
    line.append(width - std::min(width, ColumnCount(line) + ColumnCount(shownRight)), ' ');
    return line + shownRight;
}

}  // namespace tarnview::terminal
