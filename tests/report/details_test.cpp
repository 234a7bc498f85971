// The iteration blocks: titles, message lists, name order, list limit.
#include <gtest/gtest.h>

#include <string>

#include "report_fixture.h"
#include "sections/details.h"

namespace {

std::string Messages(const std::string& kind, int count, const std::string& stem = "text ") {
    std::string list = ", \"" + kind + "\": [";
    for (int i = 1; i <= count; ++i) list += (i > 1 ? ", \"" : "\"") + stem + std::to_string(i) + "\"";
    return list + "]";
}

RunData SmallRun(int iterations) {
    RunData run;
    run.variables = R"({"name": "X", "upper": 10})";
    run.equations = R"({"name": "R"})";
    for (int i = 0; i < iterations; ++i)
        run.iterations += (i ? ", " : "") + Iteration("[1, 1e20, 0]", "[0, 0, 0]");
    return run;
}

TEST(IterationDetails, BlockTitlesAndSectionsPerBlock) {
    ReportResult result = RunOnData(SmallRun(4).Json());
    ASSERT_EQ(result.rc, 0);
    const std::string bar = "==============================================";
    std::size_t at = 0;
    for (const std::string title : {"Initial Conditions", "Major Iteration 0", "Major Iteration 1",
                                    "Major Iteration 2"}) {
        const std::string line =
            "\n\n?000128000}#region 0, " + bar + " " + title + " " + bar + "\n\n";
        at = result.log.find(line, at);
        ASSERT_NE(at, std::string::npos) << title;
    }
    EXPECT_EQ(Occurrences(result.log, "#region 4, Largest Residuals"), 4u);
    EXPECT_EQ(Occurrences(result.log, "#region 4, Largest Equation Shadow Prices"), 3u);
    EXPECT_EQ(Occurrences(result.log, "#region 4, Largest Variable Change"), 3u);
    EXPECT_EQ(Occurrences(result.log, "#region 4, Active Variable Bounds"), 3u);
    EXPECT_EQ(Occurrences(result.log, "#region 4, Variable Details"), 4u);
    EXPECT_EQ(Occurrences(result.log, "#region 4, Equation Details"), 4u);
    EXPECT_EQ(Occurrences(result.log, "Largest Feasibility Slacks"), 0u);
    // Only the initial conditions: no shadow prices, changes or active bounds.
    ReportResult initial = RunOnData(SmallRun(1).Json());
    EXPECT_EQ(initial.log.find("Shadow Prices"), std::string::npos);
    EXPECT_EQ(initial.log.find("Variable Change"), std::string::npos);
    EXPECT_EQ(initial.log.find("Active Variable Bounds"), std::string::npos);
}

TEST(IterationDetails, MessageListsInOrderWithTheirPrefixes) {
    RunData run = SmallRun(1);
    const std::string longText(250, 'w');
    run.iterations = Iteration("[1, 1e20, 0]", "[0, 0, 0]",
                               Messages("errors", 1) + Messages("warnings", 3) +
                                   ", \"information\": [\"" + longText + "\"]");
    ReportResult result = RunOnData(run.Json());
    const std::string expected =
        "\n?255000000}#region 4, Error List\n"
        "?255000000}*** Error: text 1\n"
        "\n#endregion\n"
        "\n?255128000}#region 4, Warning List\n"
        "?255128  0}**  Warning: text 1\n"
        "?255128  0}**  Warning: text 2\n"
        "?255128  0}**  Warning: text 3\n"
        "\n#endregion\n"
        "\n?000128000}#region 4, Information List\n"
        "?000128000}*   Information: " + longText + "\n"
        "\n#endregion\n"
        "\n?000128000}#region 4, Largest Residuals\n";
    EXPECT_NE(result.log.find(expected), std::string::npos) << result.log;

    ReportResult quiet = RunOnData(SmallRun(1).Json());
    EXPECT_EQ(quiet.log.find(" List\n"), std::string::npos);
    EXPECT_NE(quiet.log.find("Initial Conditions =====" + std::string(41, '=') + "\n\n\n?000128000}#region 4, Largest Residuals"),
              std::string::npos);
}

TEST(IterationDetails, NamesInPlainByteOrder) {
    RunData run;
    run.variables = R"({"name": "b"}, {"name": "B"}, {"name": "A2"}, {"name": "A10"}, {"name": "\u00e9"}, {"name": "AB"}, {"name": "ABC"})";
    run.equations = R"({"name": "r"}, {"name": "R1"})";
    run.iterations = Iteration("[1, 1e20, 0], [2, 1e20, 0], [3, 1e20, 0], [4, 1e20, 0], [5, 1e20, 0], [6, 1e20, 0], [7, 1e20, 0]",
                               "[0, 0, 0], [0, 0, 0]");
    ReportResult result = RunOnData(run.Json());
    std::vector<std::string> rows = RegionLines(result.log, "#region 4, Variable Details");
    ASSERT_EQ(rows.size(), 9u);
    std::string order;
    for (std::size_t i = 2; i < rows.size(); ++i) order += rows[i].substr(0, rows[i].find(' ')) + ",";
    EXPECT_EQ(order, "A10,A2,AB,ABC,B,b,\xc3\xa9,");
    std::vector<std::string> equations = RegionLines(result.log, "#region 4, Equation Details");
    ASSERT_EQ(equations.size(), 4u);
    EXPECT_EQ(equations[2].substr(0, 2), "R1");
    EXPECT_EQ(equations[3].substr(0, 2), "r ");
}

// The number of rows of the first "Largest Residuals" for 12 equations that all
// have a residual.
std::size_t ResidualRows(const char* options) {
    ScopedEnv env("KORMOPTIONS", options);
    RunData run;
    run.variables = R"({"name": "X"})";
    std::string triples;
    for (int i = 1; i <= 12; ++i) {
        run.equations += (i > 1 ? ", " : "") + std::string("{\"name\": \"E") + std::to_string(i) + "\"}";
        triples += (i > 1 ? ", [" : "[") + std::to_string(i) + ", 0, 0]";
    }
    run.iterations = Iteration("[0, 1e20, 0]", triples);
    ReportResult result = RunOnData(run.Json());
    return RegionLines(result.log, "#region 4, Largest Residuals").size() - 2;
}

TEST(IterationDetails, ListLimitFromKORMOPTIONS) {
    EXPECT_EQ(ResidualRows(nullptr), 10u);
    EXPECT_EQ(ResidualRows(""), 10u);
    EXPECT_EQ(ResidualRows("-fast VDRLONGLIST -trace"), 12u);
    EXPECT_EQ(ResidualRows("vdrlonglist"), 10u);
    EXPECT_EQ(ResidualRows("VDRLONG"), 10u);
    const std::string longValue = std::string(300, 'x') + " VDRLONGLIST";
    EXPECT_EQ(ResidualRows(longValue.c_str()), 12u);
    EXPECT_EQ(ListLimitFor("VDRLONGLIST"), 100);
    EXPECT_EQ(ListLimitFor(nullptr), 10);
}

TEST(IterationDetails, QVariableNames) {
    for (const char* name : {"Q", "q", "QX", "qual", "QvBL1", "QVB", "Qwbl", "QVBX"})
        EXPECT_TRUE(IsQVariableName(name)) << name;
    for (const char* name : {"", "X1", "QVBL2", "QWBL", "qVBL", "qWBL9", "aQ"})
        EXPECT_FALSE(IsQVariableName(name)) << name;
}

}  // namespace
