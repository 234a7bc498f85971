#include "line_format.h"

#include "visible_text.h"

namespace tarnview::terminal {

ShownLine FormatLine(const Document& document, LineNumber line, bool unicode) {
    const Report& report = document.report();
    ShownLine shown;
    shown.text.assign(static_cast<std::size_t>(document.IndentLevel(line) * kIndentPerLevel), ' ');
    if (!document.IsTitle(line)) {
        const Line text = report.LineAt(line);
        shown.colour = text.colour;
        shown.text += VisibleText(text.text);
        return shown;
    }
    const int id = document.RegionAt(line);
    const Region& region = report.Regions()[static_cast<std::size_t>(id)];
    const bool open = document.IsOpen(id);
    shown.title = true;
    shown.colour = region.colour;
    shown.text += open ? (unicode ? "\xe2\x96\xbe " : "- ") : (unicode ? "\xe2\x96\xb8 " : "+ ");
    shown.text += VisibleText(region.title);
    if (!open) {
        shown.noteColumn = ColumnCount(shown.text);
        shown.text += " (" + std::to_string(region.InnerLineCount()) + " lines)";
    }
    return shown;
}

}  // namespace tarnview::terminal
