#include "screen.h"

#include <curses.h>

#include <algorithm>

#include "line_format.h"
#include "outline.h"
#include "visible_text.h"

namespace tarnview::terminal {

namespace {

// Writes a shown text at (row, x), from column `left`, in `width` columns,
// the rest of the width blank.
void PutText(int row, int x, std::string_view shown, std::size_t left, int width, int attribute) {
    const std::string_view part = ColumnSlice(shown, left, static_cast<std::size_t>(std::max(width, 0)));
    // A wide character across the left edge: a blank for its right half.
    const int lead = static_cast<int>(ColumnsBefore(shown, part) - std::min(left, ColumnsBefore(shown, part)));
    attron(attribute);
    move(row, x);
    for (int column = 0; column < lead && column < width; ++column) addch(' ');
    addnstr(part.data(), static_cast<int>(part.size()));
    const int used = lead + static_cast<int>(ColumnCount(part));
    for (int column = used; column < width; ++column) addch(' ');
    attroff(attribute);
}

// A chart line: from column `chartFrom` on, '|', '-', '+' and '*' as the
// terminal's line characters; the labels before it as they are written.
// (Chart lines are ASCII: a byte is a column.)
void PutChartLine(int row, std::string_view text, std::size_t chartFrom, std::size_t left, int width) {
    move(row, 0);
    const std::size_t end = std::min(text.size(), left + static_cast<std::size_t>(std::max(width, 0)));
    for (std::size_t column = left; column < end; ++column) {
        const char c = text[column];
        if (column < chartFrom) {
            addch(static_cast<unsigned char>(c));
            continue;
        }
        switch (c) {
            case '|': addch(ACS_VLINE); break;
            case '-': addch(ACS_HLINE); break;
            case '+': addch(ACS_LLCORNER); break;
            case '*': addch(ACS_DIAMOND | A_BOLD); break;
            default: addch(static_cast<unsigned char>(c)); break;
        }
    }
    clrtoeol();
}

}  // namespace

int OutlineWidth(int screenWidth) {
    if (screenWidth < 60) return 0;
    return std::clamp(screenWidth / 4, 24, 40);
}

void DrawReportPane(TerminalSession& session, const Document& document, const ReportPane& pane, int x, int width,
                    int height) {
    if (document.Empty()) {
        PutText(0, x, "(the report is empty)", 0, width, A_DIM);
        for (int row = 1; row < height; ++row) PutText(row, x, "", 0, width, 0);
        return;
    }
    std::optional<LineNumber> line = pane.top;
    for (int row = 0; row < height; ++row) {
        if (!line) {
            PutText(row, x, "~", 0, width, A_DIM);
            continue;
        }
        const ShownLine shown = FormatLine(document, *line, session.Unicode(), pane.left + static_cast<std::size_t>(width));
        int attribute = session.ColourAttribute(shown.colour);
        if (shown.title) attribute |= A_BOLD;
        if (*line == pane.cursor) attribute |= A_REVERSE;
        if (shown.noteColumn == std::string::npos || shown.noteColumn <= pane.left) {
            PutText(row, x, shown.text, pane.left, width, attribute);
            if (*line == pane.cursor && pane.markEnd > std::max(pane.markBegin, pane.left)) {
                const std::size_t from = std::max(pane.markBegin, pane.left) - pane.left;
                const std::size_t to = std::min(pane.markEnd - pane.left, static_cast<std::size_t>(std::max(width, 0)));
                if (to > from) mvchgat(row, x + static_cast<int>(from), static_cast<int>(to - from), A_BOLD | A_UNDERLINE, 0, nullptr);
            }
        } else {
            // The folded title, then its line count dimmed.
            const std::size_t titleColumns = shown.noteColumn - pane.left;
            const std::string_view text = shown.text;
            const std::string_view title = ColumnSlice(text, pane.left, titleColumns);
            const int titleWidth = std::min(width, static_cast<int>(titleColumns));
            PutText(row, x, title, 0, titleWidth, attribute);
            if (width > titleWidth) {
                const int noteAttribute = (*line == pane.cursor ? A_REVERSE : 0) | A_DIM;
                PutText(row, x + titleWidth, ColumnSlice(text, shown.noteColumn, std::string::npos), 0,
                        width - titleWidth, noteAttribute);
            }
        }
        line = document.NextShown(*line);
    }
}

void DrawOutlinePane(TerminalSession& session, const Document& document, LineNumber cursor, int width, int height) {
    const auto& regions = document.report().Regions();
    const int current = OutlineCurrent(document.report(), cursor);
    const std::size_t first = OutlineFirst(regions.size(), current, height);
    for (int row = 0; row < height; ++row) {
        const std::size_t entry = first + static_cast<std::size_t>(row);
        if (entry >= regions.size()) {
            PutText(row, 0, "", 0, width - 1, 0);
        } else {
            int attribute = session.ColourAttribute(regions[entry].colour);
            if (static_cast<int>(entry) == current) attribute |= A_REVERSE;
            PutText(row, 0, OutlineText(regions[entry], static_cast<std::size_t>(width)), 0, width - 1, attribute);
        }
        mvaddch(row, width - 1, ACS_VLINE);
    }
}

void DrawStatus(const std::string& left, const std::string& right) {
    const std::size_t width = static_cast<std::size_t>(std::max(COLS, 0));
    PutText(LINES - 1, 0, StatusLine(VisibleText(left), VisibleText(right), width), 0, COLS, A_REVERSE);
}

void DrawHint(int row, const std::string& text) { PutText(row, 0, VisibleText(text), 0, COLS, A_DIM); }

void DrawList(const ListScreen& list, int height) {
    for (int row = 0; row < height; ++row) {
        const std::size_t index = list.top + static_cast<std::size_t>(row);
        if (index >= list.lines.size()) {
            move(row, 0);
            clrtoeol();
            continue;
        }
        const ListLine& line = list.lines[index];
        if (line.chartFrom != std::string::npos) {
            PutChartLine(row, line.text, line.chartFrom, list.left, COLS);
        } else {
            PutText(row, 0, line.text, list.left, COLS, (line.heading ? A_BOLD : 0) | (line.chosen ? A_REVERSE : 0));
        }
    }
}

}  // namespace tarnview::terminal
