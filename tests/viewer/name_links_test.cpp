// Names found by part and by a few edits, and where a line refers to a name
// or an iteration block, on the example reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report_json.h"
#include "report_reader.h"
#include "report_search.h"
#include "word_finder.h"

namespace {

using tarnview::Report;

std::string Golden(const std::string& name) {
    std::ifstream file(std::string(TARN_SOURCE_DIR) + "/tests/report/golden/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

const char* const kExamples[] = {"blending.log", "refinery_infeasible.log", "refinery_unbounded.log"};

std::vector<std::string_view> Titles(const Report& report) {
    std::vector<std::string_view> titles;
    for (const tarnview::Region& region : report.Regions()) {
        if (std::find(titles.begin(), titles.end(), region.title) == titles.end()) titles.push_back(region.title);
    }
    return titles;
}

// What a user typed, among which words, and what must be offered first (or
// not at all): names, commands and region titles alike.
struct Case {
    const char* what;
    std::vector<std::string_view> words;
    const char* typed;
    std::vector<std::string> first;  // the first suggestions, in this order
    std::vector<std::string> absent;
};

TEST(WordsFoundByPart, PrefixSubstringCaseAndMisspellingOnNamesCommandsAndTitles) {
    const std::string text = Golden("refinery_infeasible.log");
    const auto report = Report::FromText(text);
    std::vector<std::string_view> names;
    for (const tarnview::Name& name : report->Names().All()) names.push_back(name.text);
    const std::vector<std::string_view> commands = {"view", "show", "summary", "history", "diff", "html", "serve"};
    const std::vector<std::string_view> parts = {"XPOOLY", "POOL", "F_POOL", "POOLING_UNIT", "A_POOL_B"};
    const std::vector<Case> cases = {
        {"name prefix", names, "QSUL_CDU", {"QSUL_CDU_P1", "QSUL_CDU_P2", "QSUL_CDU_P3"}, {"SUL_BAL_P1"}},
        {"name by part, any case", names, "sul_cdu_p2", {"QSUL_CDU_P2"}, {"QSUL_CDU_P1"}},
        {"name misspelt", names, "QSUL_CUD_P1", {"QSUL_CDU_P1"}, {}},
        {"ranks: whole, prefix, word start (shorter first), inside", parts, "pool",
         {"POOL", "POOLING_UNIT", "F_POOL", "A_POOL_B", "XPOOLY"}, {}},
        {"command misspelt", commands, "histroy", {"history"}, {"show"}},
        {"command prefix", commands, "sum", {"summary"}, {"serve"}},
        {"title in another case", Titles(*report), "information list", {"Information List"}, {}},
        {"title misspelt", Titles(*report), "Infomation Lst", {"Information List"}, {}},
        {"title by part", Titles(*report), "slack", {"Largest Feasibility Slacks"}, {"Largest Residuals"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> meant = tarnview::WordFinder(c.words).DidYouMean(c.typed, 10);
        ASSERT_GE(meant.size(), c.first.size()) << c.what;
        for (std::size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(meant[i], c.first[i]) << c.what << " #" << i;
        for (const std::string& absent : c.absent)
            EXPECT_EQ(std::find(meant.begin(), meant.end(), absent), meant.end()) << c.what << ": " << absent;
    }
    // A misspelling of a long name is found within the band, and one too
    // far from every name finds nothing.
    const std::string longName(600, 'Q');
    std::string misspelt = longName;
    misspelt[100] = 'X';
    const tarnview::WordFinder longWords({longName, std::string(600, 'R')});
    EXPECT_EQ(longWords.Closest(misspelt, 5), std::vector<std::size_t>{0});
    EXPECT_TRUE(longWords.Closest(std::string(600, 'Z'), 5).empty());
    EXPECT_TRUE(tarnview::WordFinder(names).Containing("QSUL\nQSUL", 5).empty());
}

// The words of a line that are names, found here by the line's own layout
// (a coefficient's "*", an equation label's ":", a row's leading name, the
// diagnosis's columns), with their byte offsets.
struct Word {
    std::size_t begin;
    std::string text;
};
std::vector<Word> WordsOf(std::string_view text) {
    std::vector<Word> words;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t begin = text.find_first_not_of(' ', at);
        if (begin == std::string_view::npos) break;
        const std::size_t end = std::min(text.find(' ', begin), text.size());
        std::string_view word = text.substr(begin, end - begin);
        std::size_t offset = begin;
        if (const std::size_t star = word.find('*'); star != std::string_view::npos) {
            offset += star + 1;
            word.remove_prefix(star + 1);
        }
        if (word.ends_with(':')) word.remove_suffix(1);
        const bool identifier = !word.empty() && std::isalpha(static_cast<unsigned char>(word[0])) != 0 &&
                                std::all_of(word.begin(), word.end(), [](char c) {
                                    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
                                });
        if (identifier && word != "rhs" && word != "linear" && word != "nan" && word != "inf")
            words.push_back({offset, std::string(word)});
        at = end;
    }
    return words;
}

bool RegionNamed(const Report& report, tarnview::LineNumber line, const std::vector<std::string>& titles) {
    const int region = report.RegionOfLine(line);
    return region != tarnview::kNoRegion &&
           std::find(titles.begin(), titles.end(), report.Regions()[region].title) != titles.end();
}

TEST(LineSpans, EveryNameInTheModelDisplayDiagnosisListsAndSummaryIsALink) {
    // Every word of these regions' lines is a name; of the largest-value
    // lists' rows, the first.
    const std::vector<std::string> allWords = {"Algebraic Model Display", "Iteration Summary",
                                               "Infeasible Non-linear Equations", "Infeasible Linear Equations",
                                               "Infeasible Variables"};
    const std::vector<std::string> firstWord = {"Largest Residuals", "Largest Equation Shadow Prices",
                                                "Largest Feasibility Slacks", "Largest Variable Change",
                                                "Active Variable Bounds"};
    for (const char* example : kExamples) {
        const std::string text = Golden(example);
        const auto report = Report::FromText(text, example);
        std::size_t checked = 0, iterations = 0;
        std::string copy;
        for (tarnview::LineNumber line = 0; line < report->LineCount(); ++line) {
            const tarnview::ShownLine shown = report->ReadLine(line, copy);
            if (shown.kind != tarnview::LineKind::kText || shown.text.find("---") != std::string_view::npos ||
                shown.colour)
                continue;
            const bool summary = RegionNamed(*report, line, {"Iteration Summary"});
            const bool all = RegionNamed(*report, line, allWords);
            const tarnview::Table* table = report->TableOfLine(line);
            const bool row = table != nullptr && report->IsTableRow(*table, line);
            if (!all && !(row && RegionNamed(*report, line, firstWord))) continue;
            std::vector<Word> words = WordsOf(shown.text);
            if (!all && words.size() > 1) words.resize(1);
            const std::vector<tarnview::LineSpan> spans = tarnview::SpansOfLine(*report, line, shown);
            const auto spanAt = [&](std::size_t begin, std::size_t size) {
                return std::find_if(spans.begin(), spans.end(), [&](const tarnview::LineSpan& span) {
                    return span.begin == begin && span.end == begin + size;
                });
            };
            for (const Word& word : words) {
                const auto span = spanAt(word.begin, word.text.size());
                ASSERT_NE(span, spans.end()) << example << " line " << line + 1 << ": " << word.text;
                EXPECT_EQ(span->kind, tarnview::SpanKind::kName);
                ASSERT_NE(span->name, nullptr);
                EXPECT_EQ(span->name->text, word.text);
                ++checked;
            }
            if (summary && !shown.text.empty()) {
                // The first field, the iteration number, goes to its block.
                const std::size_t begin = shown.text.find_first_not_of(' ');
                const std::string number(shown.text.substr(begin, shown.text.find(' ', begin) - begin));
                const auto span = spanAt(begin, number.size());
                ASSERT_NE(span, spans.end()) << example << " line " << line + 1;
                EXPECT_EQ(span->kind, tarnview::SpanKind::kIteration);
                EXPECT_EQ(span->iteration, std::stoi(number));
                ++iterations;
            }
        }
        EXPECT_GT(checked, 40u) << example;
        EXPECT_EQ(iterations, report->Summary().size()) << example;
    }
}

TEST(LineSpans, TheLinesJsonCountsOffsetsAsThePageDoes) {
    // A name after characters of two, three and four UTF-8 bytes and a byte
    // that is no UTF-8: offsets in UTF-16 code units of the text as sent.
    std::string text = Golden("blending.log");
    const std::string before = "*   Information: Scaling applied to 2 rows";
    const std::string after = "* \xC3\xBC \xE2\x86\x92 \xF0\x9F\x98\x80 \xFF QSUL_POOL and F_C3_GAS";
    text.replace(text.find(before), before.size(), after);
    const auto report = Report::FromText(text);
    tarnview::LineNumber line = 0;
    while (report->RawLine(line).find("QSUL_POOL and") == std::string_view::npos) ++line;
    const std::string json = tarnview::LinesJson(*report, line, 1);
    // "* ü → 😀 � " is 2 + 2 + 2 + 3 + 2 = 11 code units.
    EXPECT_NE(json.find("[[11,20,\"variable\"],[25,33,\"variable\"]]"), std::string::npos) << json;
    // A summary row: its iteration number goes to its block.
    const std::string row = tarnview::LinesJson(*report, report->Summary()[1].line, 1);
    EXPECT_NE(row.find("[7,8,\"iteration\",0]"), std::string::npos) << row;
}

}  // namespace
