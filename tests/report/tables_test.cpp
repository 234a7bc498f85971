// The per-iteration tables: largest-value lists, active bounds, variable
// and equation details.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message_ids.h"
#include "report_fixture.h"
#include "report_texts.h"

namespace {

// A green column header as the report writes it.
std::string GreenHeader(MessageId id) { return "?000128000}" + std::string(report_text::Text(id)); }

struct Var {
    std::string name;
    std::string fields;   // JSON members after the name, e.g. R"("upper": 10)"
    std::string triple;   // the value triple of the second iteration
};

// A run of two iterations: the initial conditions with zero triples and a
// major iteration with the given triples.
ReportResult RunVariables(const std::vector<Var>& variables) {
    RunData run;
    std::string initial, major;
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const Var& v = variables[i];
        run.variables += (i ? ", " : "") + std::string("{\"name\": \"") + v.name + "\"" +
                         (v.fields.empty() ? "" : ", " + v.fields) + "}";
        initial += (i ? ", " : "") + std::string("[0, 1e20, 0]");
        major += (i ? ", [" : "[") + v.triple + "]";
    }
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration(initial, "[0, 0, 0]") + ", " + Iteration(major, "[0, 0, 0]");
    return RunOnData(run.Json());
}

// The row of `name` in the region after `from`, or "" when it has none.
std::string RowOf(const std::string& log, const std::string& region, const std::string& name,
                  std::size_t from = 0) {
    for (const std::string& row : RegionLines(log, region, from))
        if (row.compare(0, name.size() + 1, name + " ") == 0) return row;
    return "";
}

std::string BoundWord(const std::string& row) {
    if (row.size() < 50) return "<no row>";
    std::string word = row.substr(40, 10);
    return word.substr(word.find_first_not_of(' ') == std::string::npos ? 10 : word.find_first_not_of(' '));
}

TEST(ActiveBounds, EveryBoundWordCase) {
    ReportResult result = RunVariables({
        {"X1", R"("upper": 10)", "0, 1e20, 3"},
        {"QVBL2", R"("upper": 10)", "0, 1e20, 3"},
        {"QX", R"("upper": 10)", "0, 1e20, 3"},
        {"qual", R"("upper": 10)", "0, 1e20, 3"},
        {"P1", R"("upper": 10)", "10, 1e20, 1e-6"},
        {"P2", R"("upper": 10)", "10, 1e20, -1e-6"},
        {"P3", R"("upper": 10)", "10, 1e20, 2e-6"},
        {"QEQ", R"("lower": 5, "upper": 5)", "5, 1e20, 3"},
        {"XEQ", R"("lower": 5, "upper": 5)", "5, 1e20, 3"},
        {"XMID", R"("upper": 10)", "5, 1e20, 3"},
        {"XCONST", R"("upper": 10, "status": 3)", "10, 1e20, 3"},
        {"XS20", R"("upper": 10)", "10, 1e20, 3"},
        {"XSU", R"("upper": 10)", "4, 1, 2"},
        {"XSL", R"("upper": 10)", "4, 1, -2"},
        {"XS0", R"("upper": 10)", "4, 0, 2"},
        {"XTU", R"("upper": 10)", "10, 1, 2"},
        {"XTL", R"("upper": 10)", "10, 1, -2"},
        {"X0", R"("upper": 10)", "0, 1, -2"},
        {"Q1", R"("upper": 10)", "0, 1, -2"},
        {"QSPAN", R"("upper": 1e-6)", "0, 1e20, 3"},
    });
    const std::string region = "#region 4, Active Variable Bounds";
    auto word = [&](const char* name) { return BoundWord(RowOf(result.log, region, name)); };
    EXPECT_EQ(word("X1"), "<no row>");
    EXPECT_EQ(word("QVBL2"), "<no row>");
    EXPECT_EQ(word("QX"), "LOWER");
    EXPECT_EQ(word("qual"), "LOWER");
    EXPECT_EQ(word("P1"), "<no row>");
    EXPECT_EQ(word("P2"), "<no row>");
    EXPECT_EQ(word("P3"), "UPPER");
    EXPECT_EQ(word("QEQ"), "<no row>");
    EXPECT_EQ(word("XEQ"), "LOWER");
    EXPECT_EQ(word("XMID"), "");  // at neither end: blank, nothing left over from XEQ
    EXPECT_EQ(word("XCONST"), "<no row>");
    EXPECT_EQ(word("XS20"), "UPPER");
    EXPECT_EQ(word("XSU"), "STEP UPPER");
    EXPECT_EQ(word("XSL"), "STEP LOWER");
    EXPECT_EQ(word("XS0"), "STEP LOWER");
    EXPECT_EQ(word("XTU"), "UPPER");
    EXPECT_EQ(word("XTL"), "LOWER");
    EXPECT_EQ(word("X0"), "<no row>");
    EXPECT_EQ(word("Q1"), "LOWER");
    EXPECT_EQ(word("QSPAN"), "LOWER");  // a span of exactly 1e-6 is listed
    EXPECT_EQ(RowOf(result.log, region, "XSU"),
              "XSU                              4      STEP UPPER              2");
    // Header and region lines; the initial conditions have no such region.
    EXPECT_EQ(Occurrences(result.log, region), 1u);
    EXPECT_NE(result.log.find("\n?000128000}#region 4, Active Variable Bounds\n\n" +
                              GreenHeader(kMsgActiveBoundsHeader) + "\n"),
              std::string::npos);
}

TEST(VariableDetails, LayoutsStepBoxesAndInfiniteBounds) {
    ReportResult result = RunVariables({
        {"A_STEP0", R"("upper": 10)", "4, 1, 0"},
        {"A_STEPP", R"("upper": 10)", "4, 1, 2"},
        {"A_STEPM", R"("upper": 10)", "4, 1, -2"},
        {"A_CUT", R"("upper": 10)", "9.5, 1, 0"},
        {"B_CONST", R"("upper": 10, "status": 3)", "4, 1, 0"},
        {"B_EQUAL", R"("lower": 2, "upper": 2)", "2, 1, 0"},
        {"C_FREE", R"("lower": -1e20, "upper": 1e20)", "1.5, 1e20, 0.25"},
        {"C_UPINF", R"("lower": -9.99e19)", "1, 1e20, 0"},
        {"C_LOINF", R"("lower": "-inf", "upper": 9.99e19)", "1, 1e20, 0"},
        {"D_NAN", R"("upper": 10)", "\"nan\", 1e20, \"nan\""},
    });
    const std::string region = "#region 4, Variable Details";
    const std::size_t major = result.log.find("Major Iteration 0");
    auto row = [&](const char* name) { return RowOf(result.log, region, name, major); };
    EXPECT_EQ(row("A_STEP0"), "A_STEP0                          3 S            4              5 S            1              0         Optim     Cont      ");
    EXPECT_EQ(row("A_STEPP"), "A_STEPP                          3 S            4              4 S            1              2         Optim     Cont      ");
    EXPECT_EQ(row("A_STEPM"), "A_STEPM                          4 S            4              5 S            1             -2         Optim     Cont      ");
    EXPECT_EQ(row("A_CUT"),   "A_CUT                          8.5 S          9.5             10 S            1              0         Optim     Cont      ");
    EXPECT_EQ(row("B_CONST"), "B_CONST                          0              4             10                             0         Const     Cont      ");
    EXPECT_EQ(row("B_EQUAL"), "B_EQUAL                          2              2              2                             0         Optim     Cont      ");
    EXPECT_EQ(row("C_FREE"),  "C_FREE                        -inf            1.5           +inf                          0.25         Optim     Cont      ");
    EXPECT_EQ(row("C_UPINF"), "C_UPINF                  -9.99e+19              1           +inf                             0         Optim     Cont      ");
    EXPECT_EQ(row("C_LOINF"), "C_LOINF                       -inf              1       9.99e+19                             0         Optim     Cont      ");
    EXPECT_EQ(row("D_NAN"),   "D_NAN                            0            nan             10                           nan         Optim     Cont      ");
    EXPECT_EQ(row("A_STEP0").size(), 123u);
}

TEST(VariableDetails, StatusAndTypeWords) {
    ReportResult result = RunVariables({
        {"S0", R"("status": 0, "type": 0)", "0, 1e20, 0"},
        {"S1", R"("status": 1, "type": 1)", "0, 1e20, 0"},
        {"S2", R"("status": 2, "type": 2)", "0, 1e20, 0"},
        {"S203", R"("status": 203, "type": 3)", "0, 1e20, 0"},
        {"S204", R"("status": 204, "type": 4)", "0, 1e20, 0"},
        {"S3", R"("status": 3, "type": 5)", "0, 1e20, 0"},
    });
    const std::string region = "#region 4, Variable Details";
    auto words = [&](const char* name) { return RowOf(result.log, region, name).substr(98); };
    EXPECT_EQ(words("S0"), "      Calc     Cont      ");
    EXPECT_EQ(words("S1"), "     Optim     Cont      ");
    EXPECT_EQ(words("S2"), "      Calc     Binary    ");
    EXPECT_EQ(words("S203"), "     Indep     Integer   ");
    EXPECT_EQ(words("S204"), "      Calc     Semi-Cont ");
    EXPECT_EQ(words("S3"), "     Const     Cont      ");
}

std::vector<Var> NumberedVariables(int count) {
    std::vector<Var> variables;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "V%03d", i);
        variables.push_back({name, "", "1, 1e20, 0"});
    }
    return variables;
}

TEST(VariableDetails, HeaderRepeatsEvery52Rows) {
    const std::string header = GreenHeader(kMsgVariableDetailsHeader);
    for (int count : {51, 52, 104}) {
        ReportResult result = RunVariables(NumberedVariables(count));
        std::vector<std::string> lines = RegionLines(result.log, "#region 4, Variable Details");
        std::vector<std::size_t> headerAt;
        std::size_t rows = 0;
        for (const std::string& line : lines) {
            if (line == header) headerAt.push_back(rows);
            else if (line.compare(0, 1, "V") == 0) ++rows;
        }
        EXPECT_EQ(rows, static_cast<std::size_t>(count));
        std::vector<std::size_t> expected{0};
        if (count >= 52) expected.push_back(51);
        if (count >= 104) expected.push_back(103);
        EXPECT_EQ(headerAt, expected) << count;
    }
}

ReportResult RunEquations(const std::string& equations, const std::string& triples,
                          const std::string& extra = "") {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = equations;
    run.iterations = Iteration("[0, 1e20, 0]", triples, extra) + ", " +
                     Iteration("[0, 1e20, 0]", triples, extra);
    return RunOnData(run.Json());
}

TEST(EquationDetails, RowsFormsAndWidths) {
    ReportResult result = RunEquations(
        R"({"name": "NAME_OF_22_CHARACTERS_", "nonlinear": 2}, {"name": "LIN0", "nonlinear": 0}, {"name": "LINM", "nonlinear": -1, "scale": 0.5}, {"name": "ZERO"})",
        "[1.5, -2, 0.001], [0, 0, 0], [\"nan\", 1e-300, 3], [0, 0, 0]");
    const std::string region = "#region 4, Equation Details";
    EXPECT_EQ(RowOf(result.log, region, "NAME_OF_22_CHARACTERS_"),
              "NAME_OF_22_CHARACTERS_         1.5             -2          0.001              1       non-linear");
    EXPECT_EQ(RowOf(result.log, region, "LIN0").size(), 92u);
    EXPECT_EQ(RowOf(result.log, region, "LINM"),
              "LINM                           nan         1e-300              3            0.5       linear");
    EXPECT_NE(RowOf(result.log, region, "ZERO"), "");
}

TEST(LargestLists, FiltersAndFormats) {
    ReportResult result = RunEquations(
        R"({"name": "RZERO"}, {"name": "RNEG", "nonlinear": 1}, {"name": "RNAN"}, {"name": "RMZERO"},)"
        R"({"name": "RFLAGNEG", "nonlinear": -1})",
        "[0, 5, 0], [-0.25, 0, 2], [\"nan\", -3, \"nan\"], [-0.0, 0, 0], [0.125, 0, 0]",
        R"(, "infeasibility": 2)");
    const std::size_t major = result.log.find("Major Iteration 0");
    std::vector<std::string> residuals = RegionLines(result.log, "#region 4, Largest Residuals", major);
    ASSERT_EQ(residuals.size(), 4u);
    EXPECT_EQ(residuals[0], "");
    EXPECT_EQ(residuals[1], GreenHeader(kMsgResidualsHeader));
    EXPECT_EQ(residuals[2], "RNEG                         -0.25               0     non-linear");
    EXPECT_EQ(residuals[3], "RFLAGNEG                     0.125               0     linear");
    std::vector<std::string> prices = RegionLines(result.log, "#region 4, Largest Equation Shadow Prices", major);
    ASSERT_EQ(prices.size(), 4u);
    EXPECT_EQ(prices[2], "RZERO                            5               0     linear");
    EXPECT_EQ(prices[3], "RNAN                            -3             nan     linear");
    std::vector<std::string> slacks = RegionLines(result.log, "#region 4, Largest Feasibility Slacks", major);
    ASSERT_EQ(slacks.size(), 3u);
    EXPECT_EQ(slacks[1], GreenHeader(kMsgFeasibilitySlacksHeader));
    EXPECT_EQ(slacks[2], "RNEG                             2");
}

TEST(LargestLists, RelativeChangeAndCounter) {
    RunData run;
    run.variables = R"({"name": "UP"}, {"name": "FROMZERO"}, {"name": "SAME"})";
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration("[2, 1e20, 0], [0, 1e20, 0], [7, 1e20, 0]", "[0, 0, 0]") + ", " +
                     Iteration("[5, 1e20, 0], [0.5, 1e20, 0], [7, 1e20, 0]", "[0, 0, 0]");
    ReportResult result = RunOnData(run.Json());
    std::vector<std::string> lines = RegionLines(result.log, "#region 4, Largest Variable Change");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Qualities out of tolerance: 2");
    EXPECT_EQ(lines[2], GreenHeader(kMsgVariableChangeHeader));
    EXPECT_EQ(lines[3], "UP                               1               5              2");
    EXPECT_EQ(lines[4], "FROMZERO                       0.5             0.5              0");
}

TEST(LargestLists, InfeasibilityStateOnlyFromTheLastIteration) {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R", "nonlinear": true})";
    run.matrix = "[1, 1, 1.0]";
    const std::string infeasible = Iteration("[0, 1e20, 0]", "[0, 0, 0.5]", R"(, "infeasibility": 0.5)");
    const std::string feasible = Iteration("[0, 1e20, 0]", "[0, 0, 0]");
    run.iterations = infeasible + ", " + feasible;
    EXPECT_EQ(RunOnData(run.Json()).log.find("Infeasibility Diagnosis"), std::string::npos);
    run.iterations = feasible + ", " + infeasible;
    EXPECT_NE(RunOnData(run.Json()).log.find("Infeasibility Diagnosis"), std::string::npos);
    // Above 0 but within the tolerance: the slack list, no diagnosis.
    run.iterations = feasible + ", " + Iteration("[0, 1e20, 0]", "[0, 0, 1e-7]", R"(, "infeasibility": 1e-7)");
    ReportResult withinTolerance = RunOnData(run.Json());
    EXPECT_NE(withinTolerance.log.find("Largest Feasibility Slacks"), std::string::npos);
    EXPECT_EQ(withinTolerance.log.find("Infeasibility Diagnosis"), std::string::npos);
    // Exactly at the tolerance: still feasible.
    run.topExtra = R"(, "solver": {"feasibility_tolerance": 0.5})";
    run.iterations = feasible + ", " + infeasible;
    ReportResult atTolerance = RunOnData(run.Json());
    EXPECT_NE(atTolerance.log.find("Largest Feasibility Slacks"), std::string::npos);
    EXPECT_EQ(atTolerance.log.find("Infeasibility Diagnosis"), std::string::npos);
}

TEST(LargestLists, NoFeasibilitySlacksForANegativeTotal) {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration("[0, 1e20, 0]", "[0, 0, 0.5]", R"(, "infeasibility": -1)");
    EXPECT_EQ(RunOnData(run.Json()).log.find("Largest Feasibility Slacks"), std::string::npos);
}

TEST(LargestLists, VariableChangeListsFiveVariables) {
    RunData run;
    run.equations = R"({"name": "R"})";
    std::string before, after;
    for (int i = 1; i <= 7; ++i) {
        run.variables += (i > 1 ? ", " : "") + std::string("{\"name\": \"V") + std::to_string(i) + "\"}";
        before += (i > 1 ? ", " : "") + std::string("[0, 1e20, 0]");
        after += (i > 1 ? ", [" : "[") + std::to_string(i) + ", 1e20, 0]";
    }
    run.iterations = Iteration(before, "[0, 0, 0]") + ", " + Iteration(after, "[0, 0, 0]");
    std::vector<std::string> lines =
        RegionLines(RunOnData(run.Json()).log, "#region 4, Largest Variable Change");
    ASSERT_EQ(lines.size(), 8u);  // counter, blank, header and five rows
    EXPECT_EQ(lines[3].substr(0, 3), "V7 ");
    EXPECT_EQ(lines[7].substr(0, 3), "V3 ");
}

}  // namespace
