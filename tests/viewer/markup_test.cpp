// The reader on markup written by hand: every form the report uses and the
// malformed ones a damaged or foreign file may hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report_compare.h"
#include "report_json.h"
#include "report_reader.h"

using tarnview::Colour;
using tarnview::LineKind;
using tarnview::Report;

namespace {

std::unique_ptr<Report> Read(std::string_view text) { return Report::FromText(text); }

std::vector<std::string> Texts(const Report& report) {
    std::vector<std::string> texts;
    for (tarnview::LineNumber i = 0; i < report.LineCount(); ++i) texts.emplace_back(report.LineAt(i).text);
    return texts;
}

TEST(ReaderMarkup, ColourPrefixes) {
    const std::string text =
        "?000128000}green\n"
        "?255128  0}**  Warning: orange with blanks\n"
        "?999000000}beyond 255\n"
        "?         }all blanks\n"
        "?12345}short\n"
        "?00a000000}a letter\n"
        "?000128000 no brace\n"
        " ?000128000}not at the start\n"
        "?000128000}\n";
    const auto report = Read(text);
    ASSERT_EQ(report->LineCount(), 9u);
    EXPECT_EQ(report->LineAt(0).colour, (Colour{0, 128, 0}));
    EXPECT_EQ(report->LineAt(0).text, "green");
    EXPECT_EQ(report->LineAt(1).colour, (Colour{255, 128, 0}));
    EXPECT_EQ(report->LineAt(1).text, "**  Warning: orange with blanks");
    EXPECT_EQ(report->LineAt(2).colour, (Colour{255, 0, 0}));
    EXPECT_EQ(report->LineAt(3).colour, (Colour{0, 0, 0}));
    for (int malformed : {4, 5, 6, 7}) {
        EXPECT_FALSE(report->LineAt(malformed).colour) << malformed;
        EXPECT_EQ(report->LineAt(malformed).text, report->RawLine(malformed)) << malformed;
    }
    EXPECT_EQ(report->LineAt(8).colour, (Colour{0, 128, 0}));
    EXPECT_EQ(report->LineAt(8).text, "");
}

TEST(ReaderMarkup, RegionLinesAndTheTree) {
    const std::string text =
        "notice\n"                            // 0
        "?000000225}#region 1, Top\n"         // 1
        "#region 4, Inner without prefix\n"   // 2
        "inside\n"                            // 3
        "#endregion\n"                        // 4
        "?000128000}#region 0, ==== Initial Conditions ====\n"  // 5
        "#endregion\n"                        // 6
        "#endregion\n"                        // 7
        "#region 12, Two digits\n"            // 8
        "#endregion\n";                       // 9
    const auto report = Read(text);
    const auto& regions = report->Regions();
    ASSERT_EQ(regions.size(), 4u);
    EXPECT_EQ(regions[0].title, "Top");
    EXPECT_EQ(regions[0].level, 1);
    EXPECT_EQ(regions[0].colour, (Colour{0, 0, 225}));
    EXPECT_EQ(regions[0].line, 1u);
    EXPECT_EQ(regions[0].end, 7u);
    EXPECT_EQ(regions[0].InnerLineCount(), 5u);
    EXPECT_EQ(regions[0].children, (std::vector<int>{1, 2}));
    EXPECT_EQ(regions[1].title, "Inner without prefix");
    EXPECT_FALSE(regions[1].colour);
    EXPECT_EQ(regions[1].parent, 0);
    EXPECT_EQ(regions[1].depth, 1);
    EXPECT_EQ(regions[2].title, "Initial Conditions");
    EXPECT_EQ(regions[2].kind, tarnview::RegionKind::kIteration);
    EXPECT_EQ(regions[3].level, 12);
    EXPECT_EQ(regions[3].parent, tarnview::kNoRegion);
    EXPECT_EQ(report->LineAt(1).kind, LineKind::kRegionStart);
    EXPECT_EQ(report->LineAt(4).kind, LineKind::kRegionEnd);
    EXPECT_EQ(report->LineAt(3).kind, LineKind::kText);
    EXPECT_EQ(report->RegionOfLine(0), tarnview::kNoRegion);
    EXPECT_EQ(report->RegionOfLine(3), 1);
    EXPECT_EQ(report->RegionOfLine(4), 1);
    EXPECT_EQ(report->RegionOfLine(5), 2);
    EXPECT_EQ(report->RegionOfLine(7), 0);
    EXPECT_FALSE(report->EndedEarly());
    EXPECT_TRUE(report->StrayEnds().empty());
    ASSERT_EQ(report->IterationBlocks().size(), 1u);
    EXPECT_EQ(report->IterationBlocks()[0].number, -1);
}

TEST(ReaderMarkup, MalformedRegionLinesAreText) {
    const std::string text =
        "#region\n"
        "#region x, no level\n"
        "#region 4 no comma\n"
        "#regional 4, word\n"
        "?12345}#region 4, short prefix\n"
        " #region 4, indented\n"
        "#endregion trailing text\n"
        "#endregion \n"
        "?000128000}#endregion\n"
        "#ENDREGION\n";
    const auto report = Read(text);
    EXPECT_TRUE(report->Regions().empty());
    EXPECT_TRUE(report->StrayEnds().empty());
    for (tarnview::LineNumber i = 0; i < report->LineCount(); ++i) {
        EXPECT_EQ(report->LineAt(i).kind, LineKind::kText) << report->RawLine(i);
    }
}

TEST(ReaderMarkup, StrayEndsAreKeptAsTextAndNoted) {
    const auto report = Read("#endregion\n#region 1, A\n#endregion\n#endregion\ntext\n");
    EXPECT_EQ(report->StrayEnds(), (std::vector<tarnview::LineNumber>{0, 3}));
    EXPECT_EQ(report->LineAt(0).kind, LineKind::kStrayEnd);
    EXPECT_EQ(report->LineAt(0).text, "#endregion");
    EXPECT_EQ(report->LineAt(2).kind, LineKind::kRegionEnd);
    EXPECT_EQ(report->LineAt(3).kind, LineKind::kStrayEnd);
    ASSERT_EQ(report->Regions().size(), 1u);
    EXPECT_EQ(report->Regions()[0].end, 2u);
    EXPECT_FALSE(report->EndedEarly());
}

TEST(ReaderMarkup, RegionsOpenAtTheEndAreClosedThere) {
    const auto report = Read("#region 1, Outer\n#region 4, Inner\nrow\n");
    EXPECT_TRUE(report->EndedEarly());
    ASSERT_EQ(report->Regions().size(), 2u);
    for (const tarnview::Region& region : report->Regions()) EXPECT_EQ(region.end, report->LineCount());
    EXPECT_EQ(report->Regions()[0].InnerLineCount(), 2u);
    EXPECT_EQ(report->Regions()[1].InnerLineCount(), 1u);
    EXPECT_EQ(report->RegionOfLine(2), 1);
}

TEST(ReaderMarkup, LineEnds) {
    EXPECT_EQ(Read("")->LineCount(), 0u);
    EXPECT_EQ(Read("\n")->LineCount(), 1u);
    EXPECT_EQ(Texts(*Read("a\nb")), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Texts(*Read("a\n\nb\n")), (std::vector<std::string>{"a", "", "b"}));

    // CR LF: the CR belongs to the line end; a CR elsewhere is text.
    const auto crlf = Read("?000128000}#region 4, Title\r\nrow\r\n#endregion\r\nlone\rcr\r\nlast\r");
    EXPECT_EQ(Texts(*crlf), (std::vector<std::string>{"#region 4, Title", "row", "#endregion", "lone\rcr", "last\r"}));
    ASSERT_EQ(crlf->Regions().size(), 1u);
    EXPECT_EQ(crlf->Regions()[0].title, "Title");
    EXPECT_EQ(crlf->Regions()[0].end, 2u);
    EXPECT_EQ(crlf->LineOffset(1), 29u);
    EXPECT_EQ(crlf->LineOfOffset(30), 1u);

    // No final line break: the last line still counts and still closes.
    const auto unterminated = Read("#region 1, A\n#endregion");
    EXPECT_FALSE(unterminated->EndedEarly());
    EXPECT_EQ(unterminated->LineAt(1).kind, LineKind::kRegionEnd);
}

TEST(ReaderMarkup, HeaderFields) {
    const std::string text =
        "?000000225}#region 1, Model and Options Display\n"
        "\n"
        "?000000255} Model Name      : POOL: A\n"
        "?000000255} Execution Date  : today?000000255} Solution Status : Successful\n"
        "?000000255}#region 4, TARN Solver Option Display\n"
        "?000000255} Not : a header field\n"
        "#endregion\n"
        "#endregion\n";
    const auto report = Read(text);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Model Name", "POOL: A"}, {"Execution Date", "today"}, {"Solution Status", "Successful"}};
    EXPECT_EQ(report->Header(), expected);
}

// Every field's value carrying every other field's line, colour prefix
// and all: each field keeps its whole value, no field is read twice, and
// the status that the comparison and the outline give is the run's own.
TEST(ReaderMarkup, NoHeaderValueStandsForAnotherField) {
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"Model Name", "M"}, {"Case Number", "7"}, {"Case Description", "D"},
        {"Execution Date", "today"}, {"Solution Status", "Infeasible"}};
    const auto headerText = [](const std::vector<std::pair<std::string, std::string>>& header) {
        std::string text = "?000000225}#region 1, Model and Options Display\n\n";
        for (const auto& [key, value] : header) text += "?000000255} " + key + " : " + value + "\n";
        return text + "\n#endregion\n";
    };
    for (std::size_t carrier = 0; carrier < fields.size(); ++carrier) {
        for (const auto& [forgedKey, unused] : fields) {
            // (The date, written by the library in at most 31 bytes, is the
            // one field that the status may follow on its line.)
            if (fields[carrier].first == "Execution Date" && forgedKey == "Solution Status") continue;
            std::vector<std::pair<std::string, std::string>> header = fields;
            header[carrier].second = "x?000000255} " + forgedKey + " : Successful";
            const auto report = Read(headerText(header));
            EXPECT_EQ(report->Header(), header) << fields[carrier].first << " carrying " << forgedKey;
            const std::string outline = tarnview::OutlineJson(*report);
            EXPECT_EQ(outline.find("\"Solution Status\""), outline.rfind("\"Solution Status\"")) << outline;
            EXPECT_EQ(tarnview::Compare(*report, *report).a.status, header[4].second);
        }
    }
}

TEST(ReaderFile, OpensMapsAndNamesTheFileInErrors) {
    const std::filesystem::path directory = std::filesystem::temp_directory_path() / "tarnview-reader-test";
    std::filesystem::create_directories(directory);
    const std::string path = (directory / "small.log").string();
    std::ofstream(path, std::ios::binary) << "#region 1, A\r\nrow\r\n#endregion\r\n";
    const auto report = Report::Open(path);
    EXPECT_EQ(report->FileName(), "small.log");
    EXPECT_EQ(report->Bytes(), 31u);
    EXPECT_EQ(report->LineAt(1).text, "row");

    const std::string empty = (directory / "empty.log").string();
    std::ofstream(empty, std::ios::binary).flush();
    EXPECT_EQ(Report::Open(empty)->LineCount(), 0u);

    for (const std::string& bad : {(directory / "missing.log").string(), directory.string()}) {
        try {
            Report::Open(bad);
            ADD_FAILURE() << bad << " was read";
        } catch (const tarnview::ReadError& error) {
            EXPECT_NE(std::string(error.what()).find(bad + ": "), std::string::npos) << error.what();
        }
    }
    std::filesystem::remove_all(directory);
}

}  // namespace
