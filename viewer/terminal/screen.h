// Drawing the terminal view with curses: the report pane, the outline
// pane, the status line, and a full-screen list (the keys, a history).
#pragma once

#include <string>
#include <vector>

#include "document.h"
#include "terminal_session.h"

namespace tarnview::terminal {

struct ReportPane {
    LineNumber top = 0;
    LineNumber cursor = 0;
    std::size_t left = 0;  // columns scrolled off to the left
    // A part of the cursor's line marked (a name chosen with w), in
    // columns of the shown line; none when markEnd is 0.
    std::size_t markBegin = 0, markEnd = 0;
};

struct ListLine {
    std::string text;
    bool heading = false;
    // From this column on, a chart line drawn with the terminal's line
    // characters; npos: plain text.
    std::size_t chartFrom = std::string::npos;
    bool chosen = false;  // shown reversed (the row under a cursor)
};

struct ListScreen {
    std::string title;
    std::vector<ListLine> lines;
    std::size_t top = 0;
    std::size_t left = 0;
};

// The outline's width for a screen width (0: too narrow for one).
int OutlineWidth(int screenWidth);

void DrawReportPane(TerminalSession& session, const Document& document, const ReportPane& pane, int x, int width,
                    int height);
void DrawOutlinePane(TerminalSession& session, const Document& document, LineNumber cursor, int width, int height);
// The status line at the bottom: left-aligned `left`, right-aligned `right`.
void DrawStatus(const std::string& left, const std::string& right);
void DrawList(const ListScreen& list, int height);
// A line of text across the screen at `row`, dimmed (hints above a prompt).
void DrawHint(int row, const std::string& text);

}  // namespace tarnview::terminal
