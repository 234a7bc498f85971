#include "viewer.h"

#include <curses.h>

#include <cstdlib>
#include <string_view>
#include <memory>
#include <optional>

#include "document.h"
#include "report_diff.h"
#include "report_reader.h"
#include "report_search.h"
#include "shown_text.h"
#include "visible.h"
#include "file_watch.h"
#include "history_chart.h"
#include "keys.h"
#include "line_format.h"
#include "navigation.h"
#include "screen.h"
#include "search.h"
#include "terminal_session.h"
#include "visible_text.h"

namespace tarnview::terminal {

namespace {

constexpr int kEscape = 27;
constexpr std::size_t kHorizontalStep = 8;
constexpr int kChartHeight = 10;
constexpr std::size_t kSuggestions = 8;   // names listed above a prompt
constexpr std::size_t kDiffValues = 30;   // values that changed most, in a diff

// Rows as the commands align them (WriteAlignedTable), one line each.
std::vector<std::string> AlignedLines(const std::vector<std::vector<std::string>>& rows,
                                      const std::vector<bool>& rightAligned) {
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (out == nullptr) return {};
    WriteAlignedTable(out, rows, rightAligned);
    std::fclose(out);
    std::vector<std::string> lines;
    std::string_view all(text, size);
    while (!all.empty()) {
        const std::size_t end = all.find('\n');
        lines.emplace_back(all.substr(0, end));
        all = end == std::string_view::npos ? std::string_view() : all.substr(end + 1);
    }
    std::free(text);
    return lines;
}

class Viewer {
public:
    Viewer(std::string path, GuardedReport report, TerminalSession& session)
        : m_path(std::move(path)),
          m_report(std::move(report)),
          m_document(std::make_unique<Document>(*m_report)),
          m_session(session),
          m_watch(StampOf(m_path), FileWatch::Clock::now()) {
        m_pane.top = m_pane.cursor = m_document->FirstShown();
        m_outline = OutlineWidth(COLS) > 0 && COLS >= 120;
        if (m_report->EndedEarly()) m_message = "the report ended early: regions were still open at its end";
    }

    // A view left alone costs a look at the file's stamp per tick.
    void Run() {
        RunScreenLoop({[this] { Draw(); }, [this] { return CheckReload(); },
                       [this](int key) { m_list ? HandleListKey(key) : HandleKey(key); }, [this] { return m_quit; }});
    }

private:
    int PaneHeight() const { return std::max(LINES - 1, 1); }
    int PaneX() const { return m_outline ? OutlineWidth(COLS) : 0; }

    // ---- Drawing.
    void Draw() {
        erase();
        if (m_list) {
            DrawList(*m_list, PaneHeight());
            DrawStatus(m_list->title, m_message.empty() ? "q: back" : m_message);
        } else {
            KeepCursorInView();
            if (m_outline && OutlineWidth(COLS) > 0) DrawOutlinePane(m_session, *m_document, m_pane.cursor, PaneX(), PaneHeight());
            DrawReportPane(m_session, *m_document, m_pane, PaneX(), COLS - PaneX(), PaneHeight());
            const std::string right = m_message.empty() ? "?: keys  q: quit" : m_message;
            // The regions around the cursor in the room the message leaves.
            const std::size_t width = static_cast<std::size_t>(std::max(COLS, 0));
            const std::size_t message = std::min(ColumnCount(VisibleText(right)), StatusMessageRoom(width));
            DrawStatus(StatusText(width - std::min(width, message + kStatusGap)), right);
        }
        refresh();
    }

    // The file, the cursor's line and the regions around it, the inner
    // ones kept when the outer ones do not fit in `width`.
    std::string StatusText(std::size_t width) const {
        std::string text = m_report->FileName() + "  line " + std::to_string(m_pane.cursor + 1) + "/" +
                           std::to_string(m_report->LineCount());
        std::string path;
        for (int region = m_report->RegionOfLine(m_pane.cursor); region != kNoRegion;
             region = m_report->Regions()[region].parent) {
            std::string wider = VisibleTextUpTo(m_report->Regions()[region].title, width) + (path.empty() ? "" : " > ") + path;
            const bool outermost = m_report->Regions()[region].parent == kNoRegion;
            if (!path.empty() && ColumnCount(text + "  " + (outermost ? "" : "... > ") + wider) > width) {
                path = "... > " + path;
                break;
            }
            path = std::move(wider);
        }
        if (!path.empty()) text += "  " + path;
        return text;
    }

    // The last shown line on the screen when `top` is the first.
    LineNumber BottomFrom(LineNumber top) const { return m_document->Step(top, PaneHeight() - 1); }

    void KeepCursorInView() {
        m_pane.cursor = m_document->ShownLineFor(m_pane.cursor);
        m_pane.top = m_document->ShownLineFor(m_pane.top);
        if (m_pane.cursor < m_pane.top) m_pane.top = m_pane.cursor;
        if (m_pane.cursor > BottomFrom(m_pane.top)) m_pane.top = m_document->Step(m_pane.cursor, -(PaneHeight() - 1));
    }

    // ---- Moving.
    void MoveCursor(long count) {
        m_pane.cursor = m_document->Step(m_pane.cursor, count);
    }

    void Scroll(long count) {
        m_pane.top = m_document->Step(m_pane.top, count);
        m_pane.cursor = m_document->Step(m_pane.cursor, count);
    }

    // Shows a line: its regions unfolded, the cursor on it, a few lines of
    // context above it.
    void Jump(LineNumber line) {
        m_document->Reveal(line);
        m_pane.cursor = m_document->ShownLineFor(line);
        m_pane.top = m_document->Step(m_pane.cursor, -std::min(PaneHeight() / 3, 5));
    }

    void JumpOr(std::optional<LineNumber> line, const char* missing) {
        if (line) {
            Jump(*line);
        } else {
            m_message = missing;
        }
    }

    // ---- Folding.
    int RegionAtCursor() const { return m_document->RegionAt(m_pane.cursor); }

    void ToggleFold() {
        if (m_document->IsTitle(m_pane.cursor)) {
            const int region = RegionAtCursor();
            m_document->SetOpen(region, !m_document->IsOpen(region));
        } else {
            CloseFold();
        }
    }

    void OpenFold() {
        if (m_document->IsTitle(m_pane.cursor)) m_document->SetOpen(RegionAtCursor(), true);
    }

    void CloseFold() {
        const int region = RegionAtCursor();
        if (region == kNoRegion) return;
        int closing = region;
        // On a closed title, close the region around it.
        if (m_document->IsTitle(m_pane.cursor) && !m_document->IsOpen(region)) {
            closing = m_report->Regions()[region].parent;
            if (closing == kNoRegion) return;
        }
        m_document->SetOpen(closing, false);
        m_pane.cursor = m_report->Regions()[closing].line;
    }

    void CloseLevel() {
        const int region = RegionAtCursor();
        if (region == kNoRegion) return;
        const int depth = m_report->Regions()[region].depth;
        m_document->SetLevelOpen(depth, false);
        m_pane.cursor = m_document->ShownLineFor(m_pane.cursor);
    }

    // ---- Prompts.
    // The report's names that hold what was typed, best first.
    std::vector<std::string> NamesHolding(const std::string& typed) const {
        std::vector<std::string> names;
        if (typed.empty()) return names;
        for (const NameSuggestion& suggestion : SuggestNames(m_report->Names(), typed, kSuggestions)) {
            names.push_back(suggestion.name->text);
        }
        return names;
    }

    // A line typed at the bottom; none when Escape cancels it.  With
    // `suggestNames`, the names that hold what is typed are listed above
    // it as it is typed, and Tab takes them in turn.
    std::optional<std::string> Prompt(const std::string& label, bool suggestNames = false) {
        curs_set(1);
        std::string typed;
        std::optional<std::string> answer;
        std::vector<std::string> suggestions;
        std::size_t taken = 0;  // suggestions taken with Tab
        while (!TerminalSession::EndRequested()) {
            if (suggestNames && LINES > 2) {
                std::string hint = suggestions.empty() ? std::string(typed.empty() ? "" : "no name holds this")
                                                       : "Tab:";
                for (const std::string& name : suggestions) hint += "  " + name;
                DrawHint(LINES - 2, hint);
            }
            DrawStatus("", "");
            const std::string shown = VisibleText(label + typed);
            mvaddnstr(LINES - 1, 0, shown.c_str(), COLS - 1);
            refresh();
            const int key = getch();
            if (key == ERR || key == KEY_RESIZE) {
                if (key == KEY_RESIZE) Draw();
                continue;
            }
            if (key == kEscape || key == 7 /* Ctrl-G */) break;
            if (key == '\n' || key == '\r' || key == KEY_ENTER) {
                answer = typed;
                break;
            }
            if (key == '\t' && suggestNames) {
                if (!suggestions.empty()) typed = suggestions[taken++ % suggestions.size()];
                continue;  // the suggestions stay those of what was typed
            }
            if (key == KEY_BACKSPACE || key == 127 || key == 8) {
                // One UTF-8 character off the end.
                while (!typed.empty() && (static_cast<unsigned char>(typed.back()) & 0xc0) == 0x80) typed.pop_back();
                if (!typed.empty()) typed.pop_back();
                else if (key != 8) break;  // backspace on an empty line leaves, as in less
            } else if (key == 21 /* Ctrl-U */) {
                typed.clear();
            } else if (key >= 0x20 && key < 0x100 && key != 127) {
                typed.push_back(static_cast<char>(key));
            }
            if (suggestNames) {
                suggestions = NamesHolding(typed);
                taken = 0;
            }
        }
        curs_set(0);
        return answer;
    }

    // ---- Search.
    void Search(bool forward) {
        const auto typed = Prompt(forward ? "/" : "?", true);
        if (!typed) return;
        if (typed->empty()) {
            if (!forward) {
                ShowKeys();
                return;
            }
            if (m_query.empty()) return;
        } else {
            m_query = *typed;
        }
        m_forward = forward;
        NextHit(true);
    }

    void NextHit(bool sameDirection) {
        if (m_query.empty()) {
            m_message = "no search yet: / or ? first";
            return;
        }
        const bool forward = sameDirection == m_forward;
        DrawStatus("searching for " + m_query + " ...", "");
        refresh();
        const auto hit = FindHit(*m_report, {m_query, m_ignoreCase}, m_pane.cursor, forward);
        if (!hit) {
            m_message = "not found: " + m_query;
            return;
        }
        const bool wrapped = forward ? *hit <= m_pane.cursor : *hit >= m_pane.cursor;
        Jump(*hit);
        m_message = (wrapped ? "search went round: " : "found: ") + m_query;
    }

    // ---- Go to.
    void GoToLine() {
        const auto typed = Prompt("line: ");
        if (!typed || typed->empty()) return;
        char* end = nullptr;
        const unsigned long long number = std::strtoull(typed->c_str(), &end, 10);
        if (*end != '\0' || number == 0) {
            m_message = "not a line number: " + *typed;
            return;
        }
        Jump(std::min<LineNumber>(number, m_report->LineCount()) - 1);
    }

    void GoToIteration() {
        const auto typed = Prompt("iteration (a number or init): ");
        if (!typed || typed->empty()) return;
        JumpOr(IterationLine(*m_report, *typed), "no such iteration");
        OpenFold();  // the block itself, not only the regions around it
    }

    // ---- Names and iteration numbers on a line: w chooses, Enter goes.
    void ClearMark() { m_pane.markBegin = m_pane.markEnd = 0, m_mark.reset(); }

    // The span chosen on the cursor's line, when one is.
    std::optional<LineSpan> MarkedSpan() const {
        if (!m_mark || m_mark->line != m_pane.cursor) return std::nullopt;
        return m_mark->span;
    }

    std::string MarkedName() const {
        const auto span = MarkedSpan();
        return span && span->kind == SpanKind::kName && span->name != nullptr ? span->name->text : std::string();
    }

    void NextTarget() {
        std::string copy;
        const tarnview::ShownLine shown = m_report->ReadLine(m_pane.cursor, copy);
        // (A title line shows its region's title, not the line: no names there.)
        const std::vector<LineSpan> spans = m_document->IsTitle(m_pane.cursor)
                                                ? std::vector<LineSpan>()
                                                : SpansOfLine(*m_report, m_pane.cursor, shown);
        std::size_t next = 0;
        if (const auto marked = MarkedSpan()) {
            while (next < spans.size() && spans[next].begin <= marked->begin) ++next;
        }
        if (next >= spans.size()) {
            ClearMark();
            if (spans.empty()) m_message = "no name or iteration number on this line";
            return;
        }
        m_mark = Mark{m_pane.cursor, spans[next]};
        const std::size_t indent = static_cast<std::size_t>(m_document->IndentLevel(m_pane.cursor) * kIndentPerLevel);
        m_pane.markBegin = indent + ColumnCount(VisibleText(shown.text.substr(0, spans[next].begin)));
        m_pane.markEnd = indent + ColumnCount(VisibleText(shown.text.substr(0, spans[next].end)));
        const std::size_t width = static_cast<std::size_t>(std::max(COLS - PaneX(), 1));
        if (m_pane.markEnd > m_pane.left + width || m_pane.markBegin < m_pane.left) {
            m_pane.left = m_pane.markBegin > width / 2 ? m_pane.markBegin - width / 2 : 0;
        }
        m_message = (spans[next].kind == SpanKind::kName ? "Enter: the history of " + MarkedName()
                                                         : "Enter: iteration " + std::to_string(spans[next].iteration)) +
                    " (" + std::to_string(next + 1) + " of " + std::to_string(spans.size()) + ")";
    }

    // Enter on a chosen name shows its history, on an iteration number its block.
    bool GoToMark() {
        const auto span = MarkedSpan();
        if (!span) return false;
        ClearMark();
        if (span->kind == SpanKind::kName) {
            ShowHistoryOf(span->name->text);
        } else {
            GoToIterationNumber(span->iteration);
        }
        return true;
    }

public:
    void GoToIterationNumber(int number) {
        const auto block = m_report->BlockNumbered(number);
        if (!block) {
            m_message = "no iteration " + std::to_string(number) + " in the report";
            return;
        }
        Jump(m_report->Regions()[m_report->IterationBlocks()[*block].region].line);
        OpenFold();
    }

private:
    // ---- What changed from one iteration to the next.
    void ShowIterationDiff() {
        std::optional<int> from = IterationAt(*m_report, m_pane.cursor);
        if (!from) {
            const auto typed = Prompt("what changed from iteration (a number or init): ");
            if (!typed || typed->empty()) return;
            from = ReadIterationNumber(*typed);
            if (!from) {
                m_message = "not an iteration number: " + *typed;
                return;
            }
        }
        const std::optional<int> to = NextIteration(*m_report, *from);
        const std::optional<IterationDiff> diff = to ? DiffIterations(*m_report, *from, *to) : std::nullopt;
        if (!diff) {
            m_message = "no iteration after " + std::to_string(*from) + " to compare it with";
            return;
        }
        ListScreen list;
        list.title = "what changed from iteration " + std::to_string(diff->from) + " to " + std::to_string(diff->to) +
                     "  (q: back)";
        list.lines.push_back({"From iteration " + std::to_string(diff->from) + " to " + std::to_string(diff->to) + ": " +
                                  Counted(diff->values.size(), "variable", "variables") + " changed value, " +
                                  Counted(diff->bounds.size(), "bound change", "bound changes") + ", " +
                                  Counted(diff->infeasibility.size(), "infeasibility change", "infeasibility changes") +
                                  ", " + Counted(diff->statuses.size(), "status change", "status changes"),
                              true});
        for (const std::string& missing : diff->missing) {
            list.lines.push_back({"no " + missing + ": its changes are left out", false});
        }
        list.lines.push_back({"", false});
        std::vector<std::vector<std::string>> rows = {{"Change", "Name", "Before", "After", "Difference", "Relative"}};
        for (auto& row : ChangeRows(*diff, kDiffValues)) rows.push_back(std::move(row));
        const std::vector<std::string> table = AlignedLines(rows, {false, false, true, true, true, true});
        for (std::size_t i = 0; i < table.size(); ++i) list.lines.push_back({table[i], i == 0});
        m_list = std::move(list);
    }

    // ---- Lists: the keys, a history.
    void ShowKeys() {
        ListScreen list;
        list.title = "keys (q or Escape: back)";
        list.lines.push_back({"Keys of tarnview view", true});
        list.lines.push_back({"", false});
        for (const std::string& line : KeyListLines()) list.lines.push_back({line, false});
        list.lines.push_back({"", false});
        list.lines.push_back({"In a list: Up, Down, PgUp, PgDn, Home, End, Left, Right; q or Escape leaves.", false});
        list.lines.push_back({"In a history: c or Tab charts the next column, L switches its scale (log, linear).", false});
        m_list = std::move(list);
    }

    void ShowHistory() {
        std::string name = MarkedName();
        if (name.empty()) name = RowNameAt(*m_report, m_pane.cursor);
        if (name.empty()) {
            const auto typed = Prompt("history of: ", true);
            if (!typed || typed->empty()) return;
            name = *typed;
        }
        ShowHistoryOf(name);
    }

    void ShowHistoryOf(const std::string& name) {
        DrawStatus("reading the history of " + name + " ...", "");
        refresh();
        const std::vector<History> histories = FindHistories(*m_report, name);
        if (histories.empty()) {
            m_message = "no variable or equation named " + name + " in the iteration details";
            const std::vector<std::string> meant = NamesMeant(m_report->Names(), name, 3);
            for (std::size_t i = 0; i < meant.size(); ++i) m_message += (i == 0 ? "; did you mean " : ", ") + meant[i];
            if (!meant.empty()) m_message += "?";
            return;
        }
        m_histories.clear();
        for (const History& history : histories) m_histories.push_back(MakeHistoryTable(*m_report, history, name));
        m_chartColumn = 0;
        m_chartChosen = false;
        m_chartScale = ChartScale::kAuto;
        m_list = ListScreen{};
        m_list->title = "history of " + VisibleText(name) + "  (c: chart another column, q: back)";
        FillHistory();
    }

    // The history's tables, then the chart of one numeric column.
    void FillHistory() {
        std::vector<ListLine>& lines = m_list->lines;
        lines.clear();
        std::vector<std::pair<std::size_t, std::size_t>> charts;  // table, column
        for (std::size_t t = 0; t < m_histories.size(); ++t) {
            const HistoryTable& table = m_histories[t];
            lines.push_back({table.heading, true});
            const auto aligned = AlignedHistoryLines(table);
            for (std::size_t i = 0; i < aligned.size(); ++i) lines.push_back({aligned[i], i == 0});
            lines.push_back({"", false});
            for (std::size_t column : table.numericColumns) charts.emplace_back(t, column);
        }
        if (charts.empty()) return;
        // The value of a variable, the residual of an equation, first.
        for (std::size_t i = 0; i < charts.size() && !m_chartChosen; ++i) {
            const std::string& name = m_histories[charts[i].first].columns[charts[i].second];
            if (name == "Value" || name == "Residual") m_chartColumn = i;
        }
        m_chartChosen = true;
        const auto [t, column] = charts[m_chartColumn % charts.size()];
        const HistoryTable& table = m_histories[t];
        const Chart chart =
            ChartOf(ColumnValues(table, column), table.iterationLabels, std::min(COLS, 100), kChartHeight, m_chartScale);
        std::string heading = table.heading + ": " + table.columns[column] + " over the iterations " +
                              table.iterationLabels.front() + " to " + table.iterationLabels.back();
        m_chartLog = chart.log;
        if (!chart.lines.empty()) heading += chart.log ? " (log scale; L: linear)" : " (L: log scale)";
        lines.push_back({heading, true});
        if (!chart.note.empty()) lines.push_back({chart.note, false});
        for (std::size_t i = 0; i < chart.lines.size(); ++i) {
            lines.push_back({chart.lines[i], false, i < chart.drawnRows ? chart.plotColumn : std::string::npos});
        }
    }

    void HandleListKey(int key) {
        ListScreen& list = *m_list;
        const std::size_t page = static_cast<std::size_t>(PaneHeight());
        const std::size_t last = list.lines.size() > page ? list.lines.size() - page : 0;
        m_message.clear();
        switch (ActionOfKey(key)) {
            case Action::kDown: list.top = std::min(list.top + 1, last); break;
            case Action::kUp: list.top = list.top > 0 ? list.top - 1 : 0; break;
            case Action::kPageDown: list.top = std::min(list.top + page, last); break;
            case Action::kPageUp: list.top = list.top > page ? list.top - page : 0; break;
            case Action::kTop: list.top = 0; break;
            case Action::kBottom: list.top = last; break;
            case Action::kLeft: list.left = list.left > kHorizontalStep ? list.left - kHorizontalStep : 0; break;
            case Action::kRight: list.left += kHorizontalStep; break;
            case Action::kQuit: m_list.reset(); break;
            case Action::kChartScale:
                if (!m_histories.empty()) {
                    m_chartScale = m_chartLog ? ChartScale::kLinear : ChartScale::kLog;
                    FillHistory();
                }
                break;
            case Action::kCloseFold:
            case Action::kOutline:
                if (!m_histories.empty()) {
                    ++m_chartColumn;
                    FillHistory();
                }
                break;
            default:
                if (key == kEscape) m_list.reset();
                break;
        }
        if (!m_list) m_histories.clear();
    }

    // ---- The report pane's keys.
    void HandleKey(int key) {
        m_message.clear();
        const Action action = ActionOfKey(key);
        if (action != Action::kNextTarget && action != Action::kToggleFold && action != Action::kHistory) ClearMark();
        const long page = std::max(PaneHeight() - 1, 1);
        switch (ActionOfKey(key)) {
            case Action::kQuit: m_quit = true; break;
            case Action::kDown: MoveCursor(1); break;
            case Action::kUp: MoveCursor(-1); break;
            case Action::kPageDown: Scroll(page); break;
            case Action::kPageUp: Scroll(-page); break;
            case Action::kHalfPageDown: Scroll(page / 2); break;
            case Action::kHalfPageUp: Scroll(-page / 2); break;
            case Action::kTop: m_pane.top = m_pane.cursor = m_document->FirstShown(); break;
            case Action::kBottom: m_pane.cursor = m_document->LastShown(); break;
            case Action::kLeft: m_pane.left = m_pane.left > kHorizontalStep ? m_pane.left - kHorizontalStep : 0; break;
            case Action::kRight: m_pane.left += kHorizontalStep; break;
            case Action::kToggleFold:
                if (!GoToMark()) ToggleFold();
                break;
            case Action::kOpenFold: OpenFold(); break;
            case Action::kCloseFold: CloseFold(); break;
            case Action::kOpenAll: m_document->OpenAll(); break;
            case Action::kCloseAll: m_document->OpenToLevel(0); break;
            case Action::kOpenLevel: m_document->OpenToLevel(key - '0'); break;
            case Action::kCloseLevel: CloseLevel(); break;
            case Action::kSearchForward: Search(true); break;
            case Action::kSearchBackward: Search(false); break;
            case Action::kNextHit: NextHit(true); break;
            case Action::kPreviousHit: NextHit(false); break;
            case Action::kIgnoreCase:
                m_ignoreCase = !m_ignoreCase;
                m_message = m_ignoreCase ? "searches ignore case" : "searches match case";
                break;
            case Action::kGoToLine: GoToLine(); break;
            case Action::kGoToIteration: GoToIteration(); break;
            case Action::kNextIteration:
                JumpOr(AdjacentIteration(*m_report, m_pane.cursor, true), "no iteration block after this one");
                break;
            case Action::kPreviousIteration:
                JumpOr(AdjacentIteration(*m_report, m_pane.cursor, false), "no iteration block before this one");
                break;
            case Action::kNextSameKind: JumpOr(AdjacentOfKind(*m_report, m_pane.cursor, true), "no more of this kind"); break;
            case Action::kPreviousSameKind:
                JumpOr(AdjacentOfKind(*m_report, m_pane.cursor, false), "none of this kind before");
                break;
            case Action::kHistory: ShowHistory(); break;
            case Action::kSummary: JumpOr(SummaryLine(*m_report), "the report has no iteration summary"); OpenFold(); break;
            case Action::kDiagnosis: JumpOr(DiagnosisLine(*m_report), "the report has no diagnosis"); OpenFold(); break;
            case Action::kOutline:
                m_outline = !m_outline;
                if (m_outline && OutlineWidth(COLS) == 0) m_message = "the terminal is too narrow for the outline";
                break;
            case Action::kHelp: ShowKeys(); break;
            case Action::kRedraw: clearok(curscr, TRUE); break;
            case Action::kChartScale: m_message = "L switches the scale of a history's chart (H)"; break;
            case Action::kNextTarget: NextTarget(); break;
            case Action::kIterationDiff: ShowIterationDiff(); break;
            case Action::kNone: break;
        }
    }

    // ---- A report written again.
    // Whether the report was read again (or said that it cannot be).
    bool CheckReload() {
        const auto stamp = StampOf(m_path);
        if (!m_watch.Changed(stamp, FileWatch::Clock::now())) return false;
        m_watch.Shown(stamp);
        std::string error;
        auto report = ReadReport(m_path, error);
        if (!report) {
            m_message = "the report changed but cannot be read: " + error;
            return true;
        }
        const LineNumber cursor = m_pane.cursor, top = m_pane.top;
        const std::vector<bool> flags = m_document->OpenFlags();
        m_list.reset();
        m_histories.clear();
        m_document.reset();
        m_report = std::move(report);
        m_document = std::make_unique<Document>(*m_report);
        m_document->SetOpenFlags(flags);
        const LineNumber last = m_report->LineCount() == 0 ? 0 : m_report->LineCount() - 1;
        m_pane.cursor = m_document->ShownLineFor(std::min(cursor, last));
        m_pane.top = m_document->ShownLineFor(std::min(top, last));
        m_message = "the report was written again: reloaded";
        return true;
    }

    std::string m_path;
    GuardedReport m_report;
    std::unique_ptr<Document> m_document;
    TerminalSession& m_session;
    FileWatch m_watch;
    ReportPane m_pane;
    bool m_outline = false;
    bool m_quit = false;
    std::string m_message;
    std::string m_query;
    bool m_forward = true;
    bool m_ignoreCase = false;
    std::optional<ListScreen> m_list;
    std::vector<HistoryTable> m_histories;
    struct Mark {
        LineNumber line = 0;
        LineSpan span;
    };
    std::optional<Mark> m_mark;  // the name or iteration number chosen with w
    std::size_t m_chartColumn = 0;
    bool m_chartChosen = false;
    ChartScale m_chartScale = ChartScale::kAuto;
    bool m_chartLog = false;  // the chart shown is on a log scale
};

}  // namespace

GuardedReport ReadReport(const std::string& path, std::string& error) {
    try {
        return tarnview::Report::Open(path);
    } catch (const ReadError& problem) {
        error = problem.what();
    } catch (const std::bad_alloc&) {
        error = path + ": not enough memory to read the report";
    }
    return nullptr;
}

void ViewReportInSession(TerminalSession& session, const std::string& path, GuardedReport report,
                         std::optional<int> iteration) {
    Viewer viewer(path, std::move(report), session);
    if (iteration) viewer.GoToIterationNumber(*iteration);
    viewer.Run();
}

int RunViewer(const std::string& path, const ViewOptions& options) {
    InstallFatalSignalHandlers();
    std::string error;
    auto report = ReadReport(path, error);
    if (!report) throw ReadError(error);
    // (Only when opened: a report written again may be read half written.)
    if (const std::optional<std::string> why = NotAReport(*report)) throw ReadError(*why);
    try {
        TerminalSession session(options.colour);
        ViewReportInSession(session, path, std::move(report), std::nullopt);
    } catch (const std::exception& problem) {
        // The session has given the terminal back: the failure is told after.
        throw ViewFailure(path, problem);
    }
    return 0;
}

}  // namespace tarnview::terminal
