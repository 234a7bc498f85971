// The report model as JSON: valid JSON whatever the report holds, every
// text escaped, "<" never written as itself.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "report_json.h"

namespace {

using tarnview::Report;

rapidjson::Document Parse(const std::string& json) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseValidateEncodingFlag>(json.c_str(), json.size());
    EXPECT_FALSE(document.HasParseError()) << json;
    return document;
}

std::string Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Formatted(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// Rows in the report's own layouts, with hostile texts in them.
const std::string kLongSummaryRow = Formatted(" %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g  %10.3g   %s       %12.5g", -1,
                                              0.0, 0.0, 0.0, -3900.0, 0.0, "</script><b>", 3.3);
const std::string kShortSummaryRow =
    Formatted(" %7d    %11s  %11s  % #8.4e%#14.7g   %9.3g ", 0, "nan", "-inf", 0.02, -4010.0, 0.54);
const std::string kEquationRow = Formatted("%-22s%12.5g   %12.5g   %12s   %12.5g       %s",
                                           "<img src=x onerror=alert(1)>", 0.01, 0.0, "nan", 10.0, "non-linear");

const std::string kReport =
    "?000000225}#region 1, Model and Options Display\n"
    "?000000255} Model Name      : <script>alert(1)</script>\n"
    "#endregion\n"
    "?000096000}#region 1, Iteration Information\n"
    "?000128000}#region 4, Iteration Summary\n" +
    kLongSummaryRow + "\n" + kShortSummaryRow +
    "\n"
    "#endregion\n"
    "?000128000}#region 0, ===== Initial Conditions =====\n"
    "?000128000}#region 4, Equation Details\n"
    "?000128000}Equation Name ----------- Residual ----- ShadowPrice ----- InfSlack ----- Scale ----- Form --- \n" +
    kEquationRow +
    "\n"
    "#endregion\n"
    "#endregion\n"
    "bytes \xff\xfe and \"quotes\" \\ and \x01 control\n"
    "#endregion\n"
    "#endregion\n";

TEST(ReportJson, TheWholePageDataIsValidAndEscaped) {
    const auto report = Report::FromText(kReport, "run <1>.log");
    const std::string json = tarnview::PageDataJson(*report);
    EXPECT_EQ(json.find('<'), std::string::npos);
    const rapidjson::Document document = Parse(json);

    const auto& outline = document["report"];
    EXPECT_STREQ(outline["file"].GetString(), "run <1>.log");
    EXPECT_EQ(outline["lineCount"].GetUint64(), report->LineCount());
    EXPECT_EQ(outline["bytes"].GetUint64(), kReport.size());
    EXPECT_FALSE(outline["endedEarly"].GetBool());
    ASSERT_EQ(outline["strayEnds"].Size(), 1u);
    EXPECT_EQ(outline["strayEnds"][0].GetUint64(), 16u);
    EXPECT_STREQ(outline["header"]["Model Name"].GetString(), "<script>alert(1)</script>");

    const auto& regions = outline["regions"];
    ASSERT_EQ(regions.Size(), 5u);
    EXPECT_STREQ(regions[0]["colour"].GetString(), "0000e1");
    EXPECT_EQ(regions[1]["children"].Size(), 2u);
    EXPECT_STREQ(regions[2]["kind"].GetString(), "summary");
    EXPECT_STREQ(regions[3]["kind"].GetString(), "iteration");
    EXPECT_STREQ(regions[3]["title"].GetString(), "Initial Conditions");
    EXPECT_STREQ(regions[4]["kind"].GetString(), "table");
    EXPECT_EQ(regions[1]["end"].GetUint64(), 15u);
    EXPECT_EQ(regions[1]["lineCount"].GetUint64(), 11u);

    const auto& rows = outline["summary"]["rows"];
    ASSERT_EQ(rows.Size(), 2u);
    EXPECT_EQ(rows[0][0].GetInt(), -1);
    EXPECT_EQ(rows[0][4].GetDouble(), -3900.0);
    EXPECT_STREQ(rows[0][6].GetString(), "</script><b>");
    EXPECT_EQ(rows[0][7].GetDouble(), 3.3);
    EXPECT_STREQ(rows[1][1].GetString(), "nan");
    EXPECT_STREQ(rows[1][2].GetString(), "-inf");
    EXPECT_TRUE(rows[1][6].IsNull());
    EXPECT_TRUE(rows[1][7].IsNull());

    const auto& lines = document["lines"];
    ASSERT_EQ(lines.Size(), report->LineCount());
    const auto expectLine = [&](rapidjson::SizeType i, const char* kind, const char* colour, const std::string& text) {
        EXPECT_STREQ(lines[i][0].GetString(), kind) << i;
        if (colour == nullptr) {
            EXPECT_TRUE(lines[i][1].IsNull()) << i;
        } else {
            EXPECT_STREQ(lines[i][1].GetString(), colour) << i;
        }
        EXPECT_EQ(std::string(lines[i][2].GetString(), lines[i][2].GetStringLength()), text) << i;
    };
    expectLine(0, "r", "0000e1", "Model and Options Display");
    expectLine(1, "t", "0000ff", " Model Name      : <script>alert(1)</script>");
    expectLine(2, "e", nullptr, "");  // a region end shows nothing
    expectLine(8, "r", "008000", "===== Initial Conditions =====");
    expectLine(11, "t", nullptr, kEquationRow);
    // A table row carries its name and what it names, and where the name
    // sits; other lines do not.
    ASSERT_EQ(lines[11].Size(), 6u);
    EXPECT_STREQ(lines[11][3].GetString(), "<img src=x onerror=alert(1)>");
    EXPECT_STREQ(lines[11][4].GetString(), "equation");
    ASSERT_EQ(lines[11][5].Size(), 1u);
    EXPECT_EQ(lines[11][5][0][0].GetUint64(), 0u);
    EXPECT_EQ(lines[11][5][0][1].GetUint64(), std::string("<img src=x onerror=alert(1)>").size());
    EXPECT_EQ(lines[10].Size(), 3u);  // the table's header
    // Where each name occurs, for the page's search.
    const auto& names = document["names"];
    ASSERT_TRUE(names.HasMember("<img src=x onerror=alert(1)>"));
    EXPECT_EQ(names["<img src=x onerror=alert(1)>"].Size(), 1u);
    EXPECT_EQ(names["<img src=x onerror=alert(1)>"][0].GetUint64(), 11u);
    expectLine(14, "t", nullptr, "bytes \xEF\xBF\xBD\xEF\xBF\xBD and \"quotes\" \\ and \x01 control");
    expectLine(16, "x", nullptr, "#endregion");
}

TEST(ReportJson, LinesFromAnywhereAndHistory) {
    const auto report = Report::FromText(kReport);
    EXPECT_EQ(Parse(tarnview::LinesJson(*report, 15, 100)).Size(), 2u);
    EXPECT_EQ(Parse(tarnview::LinesJson(*report, 400, 100)).Size(), 0u);

    const auto histories = tarnview::FindHistories(*report, "<img src=x onerror=alert(1)>");
    ASSERT_EQ(histories.size(), 1u);
    const std::string json = tarnview::HistoryJson(*report, histories[0], "<img src=x onerror=alert(1)>");
    EXPECT_EQ(json.find('<'), std::string::npos);
    const rapidjson::Document history = Parse(json);
    EXPECT_STREQ(history["kind"].GetString(), "equation");
    EXPECT_STREQ(history["name"].GetString(), "<img src=x onerror=alert(1)>");
    const auto& row = history["rows"][0];
    EXPECT_EQ(row["iteration"].GetInt(), -1);  // numbered as the summary numbers it
    EXPECT_EQ(row["line"].GetUint64(), 11u);
    EXPECT_EQ(row["values"]["Residual"].GetDouble(), 0.01);
    EXPECT_STREQ(row["values"]["InfSlack"].GetString(), "nan");
    EXPECT_STREQ(row["values"]["Form"].GetString(), "non-linear");
}

}  // namespace
