#include "run_view.h"

#include <curses.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "file_watch.h"
#include "keys.h"
#include "report_reader.h"
#include "run_table.h"
#include "screen.h"
#include "terminal_session.h"
#include "visible.h"
#include "visible_text.h"

namespace tarnview::terminal {

const char kRunViewKeys[] = "j/k, PgUp/PgDn, g/G: rows  c: chart  h/l: scroll  q: quit";

namespace {

namespace fs = std::filesystem;

constexpr int kChartRows = 8;
constexpr int kLeastTableRows = 3;
constexpr int kChartFrame = 4;  // a chart's lines besides its rows: heading, note, axis, labels
constexpr std::size_t kHorizontalStep = 8;

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error)) && !error;
}

// What the follower hands on when the run's report is there and read.
struct EndedRun {
    GuardedReport report;
    std::optional<int> iteration;  // the report's number of the row under the cursor
};

class RunFollower {
public:
    RunFollower(RunFiles files, std::optional<RunProgress> progress, ProgressCursor cursor)
        : m_files(std::move(files)),
          m_progress(progress ? std::move(*progress) : RunProgress{}),
          m_cursor(cursor),
          m_reportWatch(std::nullopt, FileWatch::Clock::now()) {
        if (m_progress.run.empty()) m_progress.run = m_files.runData.filename().string();
        m_state = StateNow();
    }

    // Until the reader quits (none) or the report is there and read.
    std::optional<EndedRun> Run() {
        RunScreenLoop({[this] { Draw(); }, [this] { return Poll(); }, [this](int key) { HandleKey(key); },
                       [this] { return m_quit || m_ended.has_value(); }});
        return std::move(m_ended);
    }

private:
    // ---- Reading the run's files.
    bool ProgressKnown() const { return m_cursor.lines > 0; }

    RunState StateNow() const {
        const RunState state = StateOfFollowedRun(m_files, ProgressKnown() ? &m_progress : nullptr);
        if (!m_reportProblem.empty() && state == RunState::kEnded) return RunState::kFailed;
        if (!m_progressProblem.empty() && (state == RunState::kRunning || state == RunState::kStopped)) {
            return RunState::kFailed;
        }
        return state;
    }

    // Whether anything shown changed.
    bool Poll() {
        bool changed = ReadNewProgress();
        const RunState state = StateNow();
        changed = changed || state != m_state;
        m_state = state;
        // (A report of an earlier run of the case is not this run's end.)
        const fs::path report = FilesOfThisRun(m_files).report;
        if (!report.empty() && Exists(report)) changed = CheckReport() || changed;
        return changed;
    }

    // (The cursor tells whether anything was written since the last look.)
    bool ReadNewProgress() {
        if (!Exists(m_files.progress)) {
            // Closed or abandoned: the run's other files tell the rest.
            const bool hadProblem = !m_progressProblem.empty();
            m_progressProblem.clear();
            return hadProblem;
        }
        const ProgressCursor before = m_cursor;
        std::string error;
        if (!ReadRunProgressFrom(m_files.progress, m_progress, m_cursor, error)) {
            if (!Exists(m_files.progress)) return false;  // removed while read: closed
            const bool news = error != m_progressProblem;
            m_progressProblem = error;
            return news;
        }
        const bool hadProblem = !m_progressProblem.empty();
        m_progressProblem.clear();
        const bool anew = m_cursor.rereads != before.rereads;
        const bool moved = anew || m_cursor.offset != before.offset || m_cursor.lines != before.lines;
        if (anew) m_message = m_files.progress.filename().string() + " was written anew: read again from its start";
        if (moved) ++m_progressVersion;
        return moved || hadProblem;
    }

    // Once the report has stayed the same for a moment: read it, and hand
    // it on unless it is refused (then the state says why, until it is
    // written again).
    bool CheckReport() {
        const std::string path = m_files.report.string();
        const auto stamp = StampOf(path);
        if (!m_reportWatch.Changed(stamp, FileWatch::Clock::now())) return false;
        m_reportWatch.Shown(stamp);
        std::string error;
        GuardedReport report = ReadReport(path, error);
        if (report) {
            if (const std::optional<std::string> why = NotAReport(*report)) error = *why;
        }
        if (!error.empty()) {
            m_reportProblem = error;
            m_state = StateNow();
            return true;
        }
        // (The rows may have changed since they were drawn: the cursor's row
        // as far as there are rows now.)
        std::optional<int> iteration;
        if (const auto row = m_rows.Row(); row && !m_progress.iterations.empty()) {
            iteration = ReportIterationNumber(m_progress.iterations[std::min(*row, m_progress.iterations.size() - 1)]);
        }
        m_ended = EndedRun{std::move(report), iteration};
        return true;
    }

    // ---- Drawing.
    // A third of the screen on a tall one, kChartRows at least, as long
    // as the table keeps a few rows.
    int ChartRows(int tableRoom) const {
        const int rows = std::min(std::max(kChartRows, tableRoom / 3), tableRoom - kLeastTableRows - kChartFrame);
        return rows >= 3 ? rows : 0;
    }

    // The charts' lines: both, one under the other, where the screen has
    // room for them and a table of a few rows more; else the one chosen
    // with c.
    std::vector<ListLine> ChartLines(int tableRoom) const {
        std::vector<ListLine> lines;
        if (m_progress.iterations.empty()) return lines;
        const RunChartKind other =
            m_chart == RunChartKind::kObjective ? RunChartKind::kInfeasibility : RunChartKind::kObjective;
        const bool both = tableRoom - 2 * (kChartRows + kChartFrame) >= 3 * kLeastTableRows;
        const int rows = both ? kChartRows : ChartRows(tableRoom);
        if (rows == 0) return lines;
        for (const RunChartKind kind : {m_chart, other}) {
            const RunChart chart = RunChartOf(m_progress, kind, std::min(COLS, 120), rows);
            const std::string hint = kind == RunChartKind::kObjective ? "  (c: the infeasibility)" : "  (c: the objective)";
            lines.push_back({both ? chart.heading : chart.heading + hint, true});
            if (!chart.chart.note.empty()) lines.push_back({chart.chart.note, false});
            for (std::size_t i = 0; i < chart.chart.lines.size(); ++i) {
                lines.push_back({chart.chart.lines[i], false,
                                 i < chart.chart.drawnRows ? chart.chart.plotColumn : std::string::npos});
            }
            if (!both) break;
        }
        return lines;
    }

    void Draw() {
        erase();
        const int room = std::max(LINES - 1, 1);  // above the status line
        ListScreen screen;
        screen.left = m_left;
        const std::string problem = m_state == RunState::kFailed
                                        ? (m_reportProblem.empty() ? m_progressProblem : m_reportProblem)
                                        : std::string();
        screen.lines.push_back({RunHeading(m_progress, m_state, problem), true});
        const std::vector<std::string>& table = TableLines();
        screen.lines.push_back({table.front(), true});

        std::vector<ListLine> chartLines = ChartLines(room - 2);
        const int tableRows = std::max(room - 2 - static_cast<int>(chartLines.size()), 1);
        m_tableRows = tableRows;
        m_rows.Resize(table.size() - 1, static_cast<std::size_t>(tableRows));
        for (int shown = 0; shown < tableRows; ++shown) {
            const std::size_t row = m_rows.Top() + static_cast<std::size_t>(shown);
            if (row + 1 >= table.size()) {
                screen.lines.push_back({shown == 0 ? EmptyTableText() : "", false});
                continue;
            }
            ListLine line{table[row + 1], false};
            line.chosen = m_rows.Row() == row;
            screen.lines.push_back(std::move(line));
        }
        for (ListLine& line : chartLines) screen.lines.push_back(std::move(line));
        DrawList(screen, room);
        DrawStatus(StatusText(), m_message.empty() ? "?: keys  q: quit" : m_message);
        refresh();
    }

    // The table as last read: aligned again only when the progress grew
    // (a key costs the rows it shows, not every row).
    const std::vector<std::string>& TableLines() {
        if (m_tableVersion != m_progressVersion || m_table.empty()) {
            m_table = RunTableLines(m_progress);
            m_tableVersion = m_progressVersion;
        }
        return m_table;
    }

    // What stands for the rows while there are none.
    std::string EmptyTableText() const {
        if (m_state != RunState::kReportMissing) return "(no iteration yet)";
        return "(the run is closed, its report not yet written: tarnreport " +
               VisibleText(m_files.base.filename().string()) + " writes it)";
    }

    std::string StatusText() const {
        std::string text = m_files.progress.filename().string();
        const std::size_t count = m_progress.iterations.size();
        if (const auto row = m_rows.Row()) {
            text += "  iteration " + std::to_string(ReportIterationNumber(m_progress.iterations[*row])) + "  (" +
                    std::to_string(*row + 1) + "/" + std::to_string(count) + ")";
        }
        return text;
    }

    // ---- Keys.
    void HandleKey(int key) {
        m_message.clear();
        const long page = std::max(m_tableRows - 1, 1L);
        switch (ActionOfKey(key)) {
            case Action::kQuit: m_quit = true; break;
            case Action::kDown: m_rows.Move(1); break;
            case Action::kUp: m_rows.Move(-1); break;
            case Action::kPageDown: m_rows.Move(page); break;
            case Action::kPageUp: m_rows.Move(-page); break;
            case Action::kHalfPageDown: m_rows.Move(page / 2); break;
            case Action::kHalfPageUp: m_rows.Move(-page / 2); break;
            case Action::kTop: m_rows.ToFirst(); break;
            case Action::kBottom: m_rows.ToLast(); break;
            case Action::kLeft: m_left = m_left > kHorizontalStep ? m_left - kHorizontalStep : 0; break;
            case Action::kRight: m_left += kHorizontalStep; break;
            case Action::kCloseFold:
            case Action::kOutline:
                m_chart = m_chart == RunChartKind::kObjective ? RunChartKind::kInfeasibility : RunChartKind::kObjective;
                break;
            case Action::kRedraw: clearok(curscr, TRUE); break;
            case Action::kHelp:
            case Action::kSearchBackward: m_message = kRunViewKeys; break;
            default: break;
        }
    }

    RunFiles m_files;
    RunProgress m_progress;
    ProgressCursor m_cursor;
    FileWatch m_reportWatch;
    RunState m_state = RunState::kRunning;
    std::string m_progressProblem, m_reportProblem;  // a line refused; a report refused
    std::string m_message;
    RunTableCursor m_rows;
    std::vector<std::string> m_table;
    std::uint64_t m_progressVersion = 0, m_tableVersion = 0;  // reads that changed the progress; the table's
    RunChartKind m_chart = RunChartKind::kObjective;
    std::size_t m_left = 0;
    long m_tableRows = 1;  // the table's rows on the screen, as last drawn
    bool m_quit = false;
    std::optional<EndedRun> m_ended;
};

}  // namespace

std::string IrregularRunFile(const RunFiles& files) {
    for (const fs::path& path : {files.progress, files.runData, files.report}) {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (error || !fs::exists(status) || fs::is_regular_file(status)) continue;
        return Visible(path.string()) + ": not a regular file";
    }
    return {};
}

namespace {

// The run as the view starts on it: its progress read when it has one, or
// a message.
struct RunAtStart {
    std::string error;
    bool reportOnly = false;  // no progress, a report: the report's view
    std::optional<RunProgress> progress;
    ProgressCursor cursor;
};

RunAtStart ReadRunAtStart(const RunFiles& files) {
    RunAtStart run;
    run.error = IrregularRunFile(files);
    if (!run.error.empty()) return run;
    const bool progressThere = Exists(files.progress);
    run.reportOnly = !progressThere && Exists(files.report);
    if (run.reportOnly) return run;
    if (!progressThere && !Exists(files.runData)) {
        run.error = "no run at " + Visible(files.base.string()) + ": none of " +
                    Visible(files.progress.filename().string()) + ", " + Visible(files.runData.filename().string()) +
                    ", " + Visible(files.report.filename().string()) + " is there";
        return run;
    }
    if (!progressThere) return run;
    RunProgress read;
    if (!ReadRunProgressFrom(files.progress, read, run.cursor, run.error)) {
        run.error = Visible(run.error);
        return run;
    }
    run.progress = std::move(read);
    return run;
}

}  // namespace

int FollowRun(const RunFiles& files, const ViewOptions& options) {
    InstallFatalSignalHandlers();
    RunAtStart run = ReadRunAtStart(files);
    if (!run.error.empty()) throw ReadError(run.error);
    if (run.reportOnly) return RunViewer(files.report.string(), options);
    try {
        TerminalSession session(options.colour);
        RunFollower follower(files, std::move(run.progress), run.cursor);
        std::optional<EndedRun> ended = follower.Run();
        if (ended) ViewReportInSession(session, files.report.string(), std::move(ended->report), ended->iteration);
    } catch (const std::exception& problem) {
        // The session has given the terminal back: the failure is told after.
        throw ViewFailure(files.base.string(), problem);
    }
    return 0;
}

std::optional<std::vector<std::string>> RunAsItIs(const RunFiles& files, std::string& error) {
    RunAtStart run = ReadRunAtStart(files);
    error = run.error;
    if (!error.empty() || run.reportOnly) return std::nullopt;
    RunProgress progress = run.progress ? std::move(*run.progress) : RunProgress{};
    if (progress.run.empty()) progress.run = files.runData.filename().string();
    std::vector<std::string> lines = {RunHeading(progress, StateOfRun(files, run.progress), "")};
    for (std::string& line : RunTableLines(progress)) lines.push_back(std::move(line));
    return lines;
}

}  // namespace tarnview::terminal
