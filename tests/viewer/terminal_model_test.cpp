// The terminal view's logic on the example reports: which lines show under
// any folding, moving over them both ways, search against the server's,
// jumps, the history's chart, the key table, the reload watch, and every
// control character kept off the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "document.h"
#include "file_watch.h"
#include "history_chart.h"
#include "keys.h"
#include "line_format.h"
#include "navigation.h"
#include "run_table.h"
#include "search.h"
#include "report_search.h"
#include "visible_text.h"

namespace {

using tarnview::LineNumber;
using tarnview::Report;
using namespace tarnview::terminal;

const std::vector<std::string> kExamples = {"blending", "refinery_infeasible", "refinery_unbounded"};

std::unique_ptr<Report> OpenExample(const std::string& name) {
    return Report::Open(std::string(TARN_SOURCE_DIR) + "/tests/report/golden/" + name + ".log");
}

// The lines shown, worked out from the definition: every line but region
// end lines and the lines strictly inside a closed region.
std::vector<LineNumber> ExpectedShown(const Report& report, const Document& document) {
    std::vector<bool> hidden(report.LineCount(), false);
    for (std::size_t id = 0; id < report.Regions().size(); ++id) {
        const tarnview::Region& region = report.Regions()[id];
        if (region.end < report.LineCount()) hidden[region.end] = true;
        if (document.IsOpen(static_cast<int>(id))) continue;
        for (LineNumber line = region.line + 1; line <= region.end && line < report.LineCount(); ++line) hidden[line] = true;
    }
    std::vector<LineNumber> shown;
    for (LineNumber line = 0; line < report.LineCount(); ++line) {
        if (!hidden[line]) shown.push_back(line);
    }
    return shown;
}

std::vector<LineNumber> WalkForward(const Document& document) {
    std::vector<LineNumber> lines;
    for (std::optional<LineNumber> line = document.FirstShown(); line; line = document.NextShown(*line)) lines.push_back(*line);
    return lines;
}

std::vector<LineNumber> WalkBackward(const Document& document) {
    std::vector<LineNumber> lines;
    for (std::optional<LineNumber> line = document.LastShown(); line; line = document.PreviousShown(*line)) lines.push_back(*line);
    std::reverse(lines.begin(), lines.end());
    return lines;
}

// Every way of folding tried: the default, all open, all closed, each
// level, and random flags.
std::vector<std::vector<bool>> Foldings(const Report& report) {
    Document document(report);
    std::vector<std::vector<bool>> foldings = {document.OpenFlags()};
    document.OpenAll();
    foldings.push_back(document.OpenFlags());
    for (int levels = 0; levels < 4; ++levels) {
        document.OpenToLevel(levels);
        foldings.push_back(document.OpenFlags());
    }
    std::mt19937 random(7);
    for (int i = 0; i < 20; ++i) {
        std::vector<bool> flags(report.Regions().size());
        for (std::size_t r = 0; r < flags.size(); ++r) flags[r] = random() % 2 == 0;
        foldings.push_back(flags);
    }
    return foldings;
}

TEST(TerminalDocument, ShowsTheSameLinesBothWaysUnderAnyFolding) {
    for (const std::string& name : kExamples) {
        const auto report = OpenExample(name);
        for (const std::vector<bool>& flags : Foldings(*report)) {
            Document document(*report);
            document.SetOpenFlags(flags);
            const std::vector<LineNumber> expected = ExpectedShown(*report, document);
            ASSERT_EQ(WalkForward(document), expected) << name;
            ASSERT_EQ(WalkBackward(document), expected) << name;
            // Every line stands for a shown line at or before it.
            for (LineNumber line = 0; line < report->LineCount(); ++line) {
                const LineNumber standing = document.ShownLineFor(line);
                ASSERT_TRUE(std::binary_search(expected.begin(), expected.end(), standing)) << name << " line " << line;
                ASSERT_LE(standing, std::max(line, expected.front())) << name << " line " << line;
            }
            // Steps of a screen land where single steps do.
            const LineNumber first = document.FirstShown();
            const std::size_t step = std::min<std::size_t>(23, expected.size() - 1);
            EXPECT_EQ(document.Step(first, 23), expected[step]) << name;
            EXPECT_EQ(document.Step(expected[step], -100), first) << name;
        }
    }
}

TEST(TerminalDocument, RevealShowsAnyLineAndKeepsTheRestFolded) {
    const auto report = OpenExample("refinery_infeasible");
    Document document(*report);
    for (LineNumber line = 0; line < report->LineCount(); line += 7) {
        document.OpenToLevel(0);
        if (report->LineAt(line).kind == tarnview::LineKind::kRegionEnd) continue;
        document.Reveal(line);
        ASSERT_TRUE(document.IsShown(line)) << line;
        // Only the regions around the line were opened.
        for (std::size_t id = 0; id < report->Regions().size(); ++id) {
            const tarnview::Region& region = report->Regions()[id];
            if (document.IsOpen(static_cast<int>(id))) {
                ASSERT_TRUE(region.line < line && line <= region.end) << line;
            }
        }
    }
}

TEST(TerminalDocument, AReportWithoutLinesOrEndedEarly) {
    const auto empty = Report::FromText("");
    Document nothing(*empty);
    EXPECT_TRUE(nothing.Empty());
    EXPECT_EQ(nothing.FirstShown(), 0u);
    EXPECT_FALSE(nothing.NextShown(0));

    const auto early = Report::FromText("#region 1, A\nx\n#region 4, B\ny\n");
    Document document(*early);
    document.SetOpen(0, true);
    EXPECT_EQ(WalkForward(document), (std::vector<LineNumber>{0, 1, 2}));
    EXPECT_EQ(WalkBackward(document), (std::vector<LineNumber>{0, 1, 2}));
    document.SetOpen(1, true);
    EXPECT_EQ(WalkBackward(document), (std::vector<LineNumber>{0, 1, 2, 3}));
}

// The hits of a query over the whole report, forward from its first line.
std::vector<LineNumber> AllHits(const Report& report, const SearchQuery& query, bool forward) {
    std::vector<LineNumber> hits;
    LineNumber from = forward ? report.LineCount() - 1 : 0;  // both go round to the start first
    while (auto hit = FindHit(report, query, from, forward)) {
        if (!hits.empty() && *hit == hits.front()) break;
        hits.push_back(*hit);
        from = *hit;
    }
    if (!forward) std::reverse(hits.begin(), hits.end());
    return hits;
}

TEST(TerminalSearch, FindsWhatTheServerFindsBothWays) {
    for (const std::string& name : kExamples) {
        const auto report = OpenExample(name);
        for (const std::string query : {"QSUL_POOL", "Variable", "Major Iteration 2", "0.5", "POOL", "S ", "e", "?000",
                                        "#region", "Infeasib", "no such text"}) {
            const auto server = tarnview::Search(*report, query, 0, {false, 100000, 1ull << 40});
            EXPECT_EQ(AllHits(*report, {query, false}, true), server.lines) << name << " " << query;
            EXPECT_EQ(AllHits(*report, {query, false}, false), server.lines) << name << " " << query;
        }
    }
}

TEST(TerminalSearch, IgnoringCaseFindsEveryCase) {
    const auto report = Report::FromText("abc\nQsUl_pool x\n?000128000}#region 1, qsul_POOL\nqsul\n#endregion\n");
    const auto hits = AllHits(*report, {"QSUL_POOL", true}, true);
    EXPECT_EQ(hits, (std::vector<LineNumber>{1, 2}));
    EXPECT_TRUE(AllHits(*report, {"QSUL_POOL", false}, true).empty());
    EXPECT_EQ(FindHit(*report, {"abc", false}, 0, true), LineNumber{0}) << "the only hit is found from itself";
}

// Whether a text holds a C0 or C1 control character (or DEL).
bool HasControl(const std::string& shown) {
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7f) return true;
        if (c == 0xc2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xa0) return true;
    }
    return false;
}

TEST(TerminalVisibleText, NoControlCharacterReachesTheTerminal) {
    const auto isControl = HasControl;
    for (int c = 0; c < 256; ++c) {
        const std::string byte(1, static_cast<char>(c));
        EXPECT_FALSE(isControl(VisibleText("a" + byte + "b"))) << c;
    }
    for (int c = 0x80; c < 0xa0; ++c) {
        const std::string shown = VisibleText(std::string("\xc2") + static_cast<char>(c));
        EXPECT_FALSE(isControl(shown)) << c;
    }
    EXPECT_EQ(VisibleText("\x1b[31mred"), "^[[31mred");
    EXPECT_EQ(VisibleText("a\tb"), "a       b");
    EXPECT_EQ(VisibleText("\x01\tb"), "^A      b") << "tab stops count what is shown";
    EXPECT_EQ(VisibleText("caf\xc3\xa9 \xe2\x96\xb8"), "caf\xc3\xa9 \xe2\x96\xb8");
    EXPECT_EQ(VisibleText("\xe2\x96"), "\\xE2\\x96") << "a cut sequence";
    EXPECT_EQ(VisibleText("\xc0\xaf"), "\\xC0\\xAF") << "an overlong form";
    EXPECT_EQ(ColumnCount(VisibleText("\xff\xc3\xa9")), 5u);
    EXPECT_EQ(ColumnSlice("caf\xc3\xa9 au lait", 3, 4), "\xc3\xa9 au");
}

// Columns as the terminal counts them, in a UTF-8 locale (the view's).
class TerminalColumns : public ::testing::Test {
protected:
    void SetUp() override {
        m_locale = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    }
    void TearDown() override { std::setlocale(LC_ALL, m_locale.c_str()); }
    std::string m_locale;
};

TEST_F(TerminalColumns, WideCharactersTakeTwoAndAreNeverCutInHalf) {
    const std::string wide = "\xe8\xa1\xa8";        // a CJK character, two columns
    const std::string combining = "e\xcc\x81";       // e and a combining acute: one column
    EXPECT_EQ(ColumnCount(wide + wide + "ab"), 6u);
    EXPECT_EQ(ColumnCount(combining), 1u);
    EXPECT_EQ(VisibleText(wide + "	x"), wide + "      x") << "a tab stop counts the wide character as two";
    // Slices never exceed their width and never hold half a character.
    const std::string line = "a" + wide + wide + combining + wide + "z";  // columns: a=0, 1-2, 3-4, e=5, 6-7, z=8
    for (std::size_t first = 0; first <= 9; ++first) {
        for (std::size_t width = 0; width <= 9; ++width) {
            const std::string_view part = ColumnSlice(line, first, width);
            const std::size_t lead = ColumnsBefore(line, part) - std::min(first, ColumnsBefore(line, part));
            EXPECT_LE(std::min(lead, width) + ColumnCount(part), width) << first << " " << width;
            EXPECT_LE(lead, 1u);
            EXPECT_EQ(VisibleText(part), std::string(part)) << "whole characters only: " << first << " " << width;
        }
    }
    EXPECT_EQ(ColumnSlice(line, 0, 2), "a") << "the second column holds half of a wide character";
    EXPECT_EQ(ColumnSlice(line, 2, 4), wide + combining) << "from the middle of one: the next";
}

TEST_F(TerminalColumns, ALongLineIsMadeVisibleForTheScreenOnly) {
    const std::string huge(4 << 20, 'x');
    EXPECT_LT(VisibleTextUpTo(huge, 100).size(), 4096u);
    EXPECT_GE(ColumnCount(VisibleTextUpTo(huge, 100)), 100u);
    // Controls, wide characters and characters of no width read further.
    std::string mixed;
    for (int i = 0; i < 5000; ++i) mixed += "\xcc\x81";  // combining marks: no columns
    mixed += "\x01\xe8\xa1\xa8 end";
    EXPECT_EQ(VisibleTextUpTo(mixed, 5), VisibleText(mixed));
    const std::string cut = VisibleTextUpTo(std::string(300, 'a') + "\xe8\xa1\xa8" + std::string(5000, 'b'), 299);
    EXPECT_EQ(cut.find("\\x"), std::string::npos) << "never a character cut in two";
}

TEST_F(TerminalColumns, TheStatusLineKeepsWhereAndTheMessageApart) {
    const std::string where = "refinery_infeasible.log  line 1234/56789  ... > Major Iteration 3 > Variable Details";
    const std::string message = "no variable or equation named QSUL_POOL4 in the iteration details";
    for (std::size_t width : {80u, 100u, 160u}) {
        const std::string line = StatusLine(where, message, width);
        EXPECT_EQ(ColumnCount(line), width);
        EXPECT_EQ(line.rfind("refinery_infeasible.log  line 1234/56789", 0), 0u) << line;
        const std::size_t at = line.find("no variable or equation named");
        ASSERT_NE(at, std::string::npos) << line;
        EXPECT_EQ(line.substr(at - kStatusGap, kStatusGap), std::string(kStatusGap, ' ')) << line;
        if (width >= 160) {
            EXPECT_NE(line.find(message), std::string::npos);
        }
    }
    EXPECT_EQ(StatusLine("left", "right", 20), "left           right");
    EXPECT_EQ(StatusLine(where, "", 20).size(), 20u);
    EXPECT_EQ(ColumnCount(StatusLine("\xe8\xa1\xa8\xe8\xa1\xa8\xe8\xa1\xa8", "\xe8\xa1\xa8\xe8\xa1\xa8\xe8\xa1\xa8", 9)), 9u);
}

TEST(TerminalNavigation, IterationBlocksInTurnAndByNumber) {
    const auto report = OpenExample("blending");
    std::vector<LineNumber> forward;
    for (auto line = tarnview::terminal::AdjacentIteration(*report, 0, true); line;
         line = tarnview::terminal::AdjacentIteration(*report, *line, true)) {
        forward.push_back(*line);
    }
    std::vector<LineNumber> blocks;
    for (const auto& block : report->IterationBlocks()) blocks.push_back(report->Regions()[block.region].line);
    EXPECT_EQ(forward, blocks);
    // Back from a line inside a block: the block before it, not its own.
    EXPECT_EQ(AdjacentIteration(*report, blocks[2] + 5, false), blocks[1]);
    EXPECT_EQ(IterationLine(*report, "init"), blocks[0]);
    EXPECT_EQ(IterationLine(*report, "2"), blocks[3]);
    EXPECT_FALSE(IterationLine(*report, "99"));
    EXPECT_FALSE(IterationLine(*report, "2x"));
}

TEST(TerminalNavigation, TablesOfAKindAndTheReportsParts) {
    const auto report = OpenExample("refinery_infeasible");
    const auto& tables = report->Tables();
    std::vector<LineNumber> details;
    for (const auto& table : tables) {
        if (table.kind == tarnview::TableKind::kVariableDetails) details.push_back(table.header);
    }
    ASSERT_GE(details.size(), 3u);
    const LineNumber row = details[1] + 1;
    EXPECT_FALSE(RowNameAt(*report, row).empty());
    EXPECT_TRUE(RowNameAt(*report, details[1]).empty()) << "a header is no row";
    EXPECT_EQ(AdjacentOfKind(*report, row, true), details[2]);
    EXPECT_EQ(AdjacentOfKind(*report, row, false), details[0]);
    ASSERT_TRUE(DiagnosisLine(*report));
    EXPECT_EQ(report->Regions()[report->RegionOfLine(*DiagnosisLine(*report))].title, "Infeasibility Diagnosis");
    ASSERT_TRUE(SummaryLine(*report));
    EXPECT_EQ(report->Regions()[report->RegionOfLine(*SummaryLine(*report))].kind, tarnview::RegionKind::kSummary);
    EXPECT_FALSE(DiagnosisLine(*OpenExample("blending")));
}

TEST(TerminalHistory, TableAndChartOfANameOverTheIterations) {
    const auto report = OpenExample("blending");
    const auto histories = tarnview::FindHistories(*report, "QSUL_POOL");
    ASSERT_EQ(histories.size(), 1u);
    const HistoryTable table = MakeHistoryTable(*report, histories[0], "QSUL_POOL");
    EXPECT_EQ(table.heading, "variable QSUL_POOL");
    EXPECT_EQ(table.rows.size(), report->IterationBlocks().size());
    EXPECT_EQ(table.iterationLabels.front(), "-1");  // numbered as in the summary
    const auto value = std::find(table.columns.begin(), table.columns.end(), "Value") - table.columns.begin();
    const auto values = ColumnValues(table, static_cast<std::size_t>(value));
    EXPECT_EQ(values.front(), 2.2);
    EXPECT_EQ(std::count(table.numericColumns.begin(), table.numericColumns.end(), 0u), 0) << "the iteration is no value";

    const Chart chart = ChartOf({1.0, std::nullopt, 3.0, 2.0}, {"0", "1", "2", "3"}, 20, 5, ChartScale::kAuto);
    ASSERT_EQ(chart.lines.size(), 7u);
    EXPECT_EQ(chart.lines[0], "3 |           *     ");
    EXPECT_EQ(chart.lines[2], "  |                *");
    EXPECT_EQ(chart.lines[4], "1 |*                ");
    EXPECT_EQ(chart.lines[5], "  +-----------------");
    EXPECT_EQ(chart.lines[6], "   0    1     2    3");
    EXPECT_EQ(chart.drawnRows, 6u);
    EXPECT_EQ(chart.plotColumn, 2u);
    EXPECT_TRUE(ChartOf({std::nullopt}, {"0"}, 20, 5, ChartScale::kAuto).lines.empty());
}

TEST(TerminalHistory, TheChartsScaleShowsEveryPartOfTheStory) {
    // The row of each point, the points in the order of their columns.
    const auto rowOf = [](const Chart& chart, std::size_t point, std::size_t) {
        std::vector<std::size_t> rows;
        for (std::size_t column = chart.plotColumn + 1; column < chart.lines[0].size(); ++column) {
            for (std::size_t row = 0; row + 1 < chart.drawnRows; ++row) {
                if (chart.lines[row][column] != ' ') rows.push_back(row);
            }
        }
        return point < rows.size() ? rows[point] : chart.drawnRows;
    };
    // A penalty build-up over seven decades: on a log scale each step a
    // row or more apart; linear, all but the last on the bottom row.
    const std::vector<std::optional<double>> penalty = {10.0, 100.0, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
    const std::vector<std::string> labels = {"0", "1", "2", "3", "4", "5", "6", "7"};
    const Chart log = ChartOf(penalty, labels, 60, 8, ChartScale::kAuto);
    ASSERT_TRUE(log.log);
    for (std::size_t i = 1; i < penalty.size(); ++i) EXPECT_LT(rowOf(log, i, 8), rowOf(log, i - 1, 8)) << i;
    EXPECT_EQ(log.lines[0].substr(0, 5), "1e+08") << "the sign of the exponent kept";
    const Chart linear = ChartOf(penalty, labels, 60, 8, ChartScale::kLinear);
    EXPECT_FALSE(linear.log);
    EXPECT_EQ(rowOf(linear, 3, 8), 7u);
    EXPECT_FALSE(ChartOf({-5.0, 1e6}, {"0", "1"}, 60, 8, ChartScale::kLog).log) << "no log of a negative value";
    EXPECT_FALSE(ChartOf({1.0, 500.0}, {"0", "1"}, 60, 8, ChartScale::kAuto).log) << "under three decades";

    // An objective from an initial 0 to about 486,000: the rest keep the rows.
    const std::vector<std::optional<double>> objective = {0.0, 485000.0, 485900.0, 485990.0, 485993.0};
    const Chart run = ChartOf(objective, {"-1", "0", "1", "2", "3"}, 60, 8, ChartScale::kLinear);
    EXPECT_EQ(run.lines[7][run.plotColumn + 1], 'v') << "the initial point at the edge";
    EXPECT_NE(run.note.find("initial point, 0,"), std::string::npos) << run.note;
    EXPECT_GT(rowOf(run, 1, 5), rowOf(run, 2, 5) + 3) << "the steps after it readable";

    // Negative values and small exponents: labels with their signs.
    const Chart negative = ChartOf({1e8, -1.4255e-12, 5e7}, {"0", "1", "2"}, 40, 5, ChartScale::kAuto);
    EXPECT_EQ(negative.lines[0].substr(0, 12), "      1e+08 ");
    EXPECT_EQ(negative.lines[4].substr(0, 12), "-1.4255e-12 ");

    // A constant series is said, not drawn.
    const Chart flat = ChartOf({4.0, 4.0, std::nullopt, 4.0}, {"-1", "0", "1", "2"}, 40, 5, ChartScale::kAuto);
    EXPECT_TRUE(flat.lines.empty());
    EXPECT_EQ(flat.note, "the same at every iteration: 4");
}

TEST(TerminalHistory, IterationLabelsUnderTheAxisNeverRunTogether) {
    std::vector<std::optional<double>> values;
    std::vector<std::string> labels;
    for (int i = -1; i < 120; ++i) {
        values.push_back(double(i % 7));
        labels.push_back(std::to_string(i));
    }
    const Chart chart = ChartOf(values, labels, 80, 6, ChartScale::kAuto);
    const std::string axis = chart.lines.back();
    EXPECT_EQ(axis.substr(chart.plotColumn + 1, 3), "-1 ") << axis;
    EXPECT_EQ(axis.substr(axis.size() - 4), " 119") << axis;
    EXPECT_LE(axis.size(), 80u);
    // Every label is one of the points' and stands apart from the next.
    std::istringstream words(axis);
    std::string word;
    int count = 0;
    while (words >> word) {
        EXPECT_NE(std::find(labels.begin(), labels.end(), word), labels.end()) << word;
        ++count;
    }
    EXPECT_GT(count, 5);
}

TEST(TerminalKeys, EachKeyHasOneMeaningAndEveryActionAKey) {
    std::set<int> seen;
    std::set<Action> actions;
    for (const KeyBinding& binding : KeyBindings()) {
        for (int key : binding.keys) EXPECT_TRUE(seen.insert(key).second) << "key " << key << " bound twice";
        actions.insert(binding.action);
        EXPECT_EQ(ActionOfKey(binding.keys.front()), binding.action);
    }
    for (int action = static_cast<int>(Action::kQuit); action <= static_cast<int>(Action::kIterationDiff); ++action) {
        EXPECT_TRUE(actions.count(static_cast<Action>(action))) << "action " << action << " has no key";
    }
    EXPECT_EQ(KeyListLines().size(), KeyBindings().size());
}

TEST(TerminalFileWatch, AChangeCountsOnceTheFileHasSettled) {
    using namespace std::chrono_literals;
    const FileWatch::Clock::time_point start{};
    const FileStamp shown{1, 2, 100, 5};
    FileWatch watch(shown, start);
    EXPECT_FALSE(watch.Changed(shown, start + 10s)) << "unchanged";
    FileStamp written = shown;
    written.size = 50;
    EXPECT_FALSE(watch.Changed(written, start + 10s)) << "just changed";
    written.size = 80;
    EXPECT_FALSE(watch.Changed(written, start + 10s + 400ms)) << "still being written";
    EXPECT_FALSE(watch.Changed(written, start + 10s + 800ms));
    EXPECT_TRUE(watch.Changed(written, start + 11s));
    watch.Shown(written);
    EXPECT_FALSE(watch.Changed(written, start + 20s)) << "read again";
    EXPECT_FALSE(watch.Changed(std::nullopt, start + 21s)) << "removed";
    EXPECT_FALSE(watch.Changed(std::nullopt, start + 30s)) << "a removed file is not read";
}

TEST(TerminalFileWatch, AFileThatKeepsGrowingIsReadAsItGrows) {
    using namespace std::chrono_literals;
    const FileWatch::Clock::time_point start{};
    FileStamp written{1, 2, 100, 5};
    FileWatch watch(written, start);
    // A line every 200 ms: never settled, read once a second at the latest.
    int reads = 0;
    for (int tick = 1; tick <= 20; ++tick) {
        written.size += 10;
        if (watch.Changed(written, start + tick * 200ms)) {
            ++reads;
            watch.Shown(written);
        }
    }
    EXPECT_GE(reads, 3);
    EXPECT_LE(reads, 4) << "not read at every change";
}

// A followed run: rows numbered as the report numbers its iterations, the
// run's own texts made safe for the terminal, whatever control character
// they hold.
TEST(TerminalRun, RowsNumberedAsTheReportAndEveryTextMadeVisible) {
    tarnview::RunProgress progress;
    for (int c = 0; c < 0xa0; ++c) {
        if (c >= 0x20 && c < 0x7f) continue;
        const std::string control = c < 0x80 ? std::string(1, static_cast<char>(c)) : std::string("\xc2") + static_cast<char>(c);
        progress.run = "run" + control + ".vdr";
        progress.model = "M" + control;
        progress.started = "d" + control;
        tarnview::ProgressIteration iteration;
        iteration.number = static_cast<int>(progress.iterations.size());
        iteration.mostInfeasible = "E" + control;
        progress.iterations.push_back(iteration);
        for (const auto state : {tarnview::RunState::kRunning, tarnview::RunState::kFailed}) {
            EXPECT_FALSE(HasControl(RunHeading(progress, state, "line 2: " + control))) << c;
        }
    }
    const std::vector<std::string> lines = RunTableLines(progress);
    ASSERT_EQ(lines.size(), progress.iterations.size() + 1);
    for (const std::string& line : lines) EXPECT_FALSE(HasControl(line)) << line;
    EXPECT_TRUE(lines[1].starts_with("       -1 ")) << lines[1] << ": the initial point is -1";
    EXPECT_TRUE(lines[2].starts_with("        0 ")) << lines[2];
}

TEST(TerminalRun, TheCursorKeepsToTheNewestRowUntilMoved) {
    RunTableCursor cursor;
    cursor.Resize(0, 5);
    EXPECT_FALSE(cursor.Row());
    cursor.Resize(10, 5);
    EXPECT_EQ(cursor.Row(), 9u);
    EXPECT_EQ(cursor.Top(), 5u);
    cursor.Move(-3);
    cursor.Resize(12, 5);
    EXPECT_EQ(cursor.Row(), 6u) << "moved away: stays";
    EXPECT_EQ(cursor.Top(), 5u);
    cursor.Move(-100);
    EXPECT_EQ(cursor.Row(), 0u);
    EXPECT_EQ(cursor.Top(), 0u);
    cursor.ToLast();
    cursor.Resize(13, 5);
    EXPECT_EQ(cursor.Row(), 12u) << "back on the newest row: follows again";
    EXPECT_EQ(cursor.Top(), 8u);
    cursor.Resize(13, 20);
    EXPECT_EQ(cursor.Top(), 0u) << "a taller screen shows every row";
    cursor.Resize(2, 5);
    EXPECT_EQ(cursor.Row(), 1u) << "fewer rows (a progress written anew)";
}

TEST(TerminalRun, InfeasibilityOnALogScaleWithoutItsZeros) {
    tarnview::RunProgress progress;
    const double infeasibilities[] = {20, 0.5, 1e-4, 0, 0};
    for (double infeasibility : infeasibilities) {
        tarnview::ProgressIteration iteration;
        iteration.number = static_cast<int>(progress.iterations.size());
        iteration.infeasibility = infeasibility;
        iteration.objective = -1000.0 - iteration.number;
        progress.iterations.push_back(iteration);
    }
    const RunChart infeasibility = RunChartOf(progress, RunChartKind::kInfeasibility, 60, 6);
    EXPECT_TRUE(infeasibility.chart.log);
    EXPECT_NE(infeasibility.chart.note.find("without infeasibility (0)"), std::string::npos) << infeasibility.chart.note;
    ASSERT_FALSE(infeasibility.chart.lines.empty());
    EXPECT_TRUE(infeasibility.chart.lines.front().starts_with("    20 |")) << infeasibility.chart.lines.front();
    EXPECT_TRUE(infeasibility.chart.lines[5].starts_with("0.0001 |")) << infeasibility.chart.lines[5];
    const RunChart objective = RunChartOf(progress, RunChartKind::kObjective, 60, 6);
    EXPECT_FALSE(objective.chart.log);
    EXPECT_TRUE(objective.chart.lines.front().starts_with("-1000 ")) << "signed labels: " << objective.chart.lines.front();
}

}  // namespace
