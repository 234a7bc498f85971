// The region "Iteration Summary".
#include <gtest/gtest.h>

#include <string>

#include "report_fixture.h"

namespace {

std::vector<std::string> SummaryRows(const std::string& iterations) {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R"})";
    run.iterations = iterations;
    ReportResult result = RunOnData(run.Json());
    std::vector<std::string> lines = RegionLines(result.log, "#region 4, Iteration Summary");
    // the empty line, three column headers, the rule line
    return lines.size() >= 5 ? std::vector<std::string>(lines.begin() + 5, lines.end()) : lines;
}

std::string Entry(const std::string& fields) {
    return Iteration("[0, 1e20, 0]", "[0, 0, 0]", ", " + fields);
}

TEST(Summary, HeaderAndRuleLine) {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R"})";
    run.iterations = Entry(R"("objective": 1)");
    ReportResult result = RunOnData(run.Json());
    const std::string expected =
        "\n?000096000}#region 1, Iteration Information\n"
        "\n?000128000}#region 4, Iteration Summary\n\n"
        "?000128000}               Variable      Residual     Objective     Objective      Non          Most            Total \n"
        "?000128000}   Major     Convergence   Convergence   Convergence     Function    Linearity   L-Infeasible   L-Infeasible\n"
        "?000128000} Iteration     Function      Function      Function       Value        Ratio       Equation         Value\n"
        "?000128000} =========   ===========   ===========   ===========   ===========   =========   ============   ============\n"
        "      -1     0.0000e+00   0.0000e+00   0.0000e+00      1.000000           0 \n"
        "\n#endregion\n";
    EXPECT_NE(result.log.find(expected), std::string::npos) << result.log;
}

TEST(Summary, LongAndShortRows) {
    std::vector<std::string> rows = SummaryRows(
        Entry(R"("infeasibility": 0.0, "objective": 12, "nonlinearity_ratio": 0.75)") + ", " +
        Entry(R"("infeasibility": -2.5, "variable_convergence": 1, "residual_convergence": 0.5)") + ", " +
        Entry(R"("infeasibility": 1e-300, "most_infeasible": "ROW7", "objective": -3.25, "user_objective": 4.5)") + ", " +
        Entry(R"("infeasibility": 12.5, "most_infeasible": "", "nonlinearity_ratio": 1234567)"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], "      -1     0.0000e+00   0.0000e+00   0.0000e+00      12.00000        0.75 ");
    EXPECT_EQ(rows[1], "       0     1.0000e+00   5.0000e-01   0.0000e+00      0.000000           0 ");
    EXPECT_EQ(rows[2], "       1     0.0000e+00   0.0000e+00   0.0000e+00      4.500000           0   ROW7             1e-300");
    EXPECT_EQ(rows[3], "       2     0.0000e+00   0.0000e+00   0.0000e+00      0.000000    1.23e+06                  12.5");
}

TEST(Summary, NotANumberValues) {
    std::vector<std::string> rows =
        SummaryRows(Entry(R"("infeasibility": "nan", "objective": "nan", "variable_convergence": "-inf")"));
    ASSERT_EQ(rows.size(), 1u);
    // Not a number is not above 0: the short row.
    EXPECT_EQ(rows[0], "      -1        -inf   0.0000e+00   0.0000e+00           nan           0 ");
}

}  // namespace
