// The region "Infeasibility Diagnosis" and its entry tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message_ids.h"
#include "report_fixture.h"
#include "report_texts.h"

namespace {

// The entry tables' headers and the advice, as the message table words them.
std::string Red(MessageId id) { return "?255000000}" + std::string(report_text::Text(id)); }
const std::string kEqnHeaderInfeasible = Red(kMsgEqnEntryHeaderInfeasible);
const std::string kEqnHeaderUnbounded = Red(kMsgEqnEntryHeaderUnbounded);
const std::string kVarHeader = Red(kMsgVarEntryHeader);
const std::string kAdvice = "\n?255000000} *** " + std::string(report_text::Text(kMsgAdviceNoEntries)) +
                            "\n\n?255000000}     " + std::string(report_text::Text(kMsgAdviceBreakers)) + "\n";

struct Model {
    std::string variables;
    std::string equations;
    std::string matrix;
    std::string variableTriples;
    std::string equationTriples;
    std::string lastExtra;      // members of the last iteration
    std::string modelExtra;     // e.g. the model options
    std::string lp = R"("status": 1)";
};

std::string Diagnosis(const Model& model) {
    RunData run;
    run.variables = model.variables;
    run.equations = model.equations;
    run.matrix = model.matrix;
    run.modelExtra = model.modelExtra;
    run.topExtra = ", \"lp\": {" + model.lp + "}";
    run.iterations = Iteration(model.variableTriples, model.equationTriples) + ", " +
                     Iteration(model.variableTriples, model.equationTriples, model.lastExtra);
    ReportResult result = RunOnData(run.Json());
    EXPECT_EQ(result.rc, 0);
    const std::size_t at = result.log.find("\n?225000000}#region 1, Infeasibility Diagnosis\n");
    return at == std::string::npos ? std::string() : result.log.substr(at);
}

// One linear equation L (diag 1) with variable V, and one non-linear N.
Model Basic() {
    Model model;
    model.variables = R"({"name": "V", "upper": 10, "value": 1})";
    model.equations = R"({"name": "L", "diag": 1, "value": 2}, {"name": "N", "nonlinear": true, "diag": 3})";
    model.matrix = "[1, 1, 1.0], [2, 1, 2.0]";
    model.variableTriples = "[1, 1e20, 0.5]";
    model.equationTriples = "[0, 1.5, 0], [0, 2.5, 0.25]";
    return model;
}

const std::string kEnd = "\n#endregion\n";

TEST(Diagnosis, StateOneHoldsOnlyTheNonlinearRegion) {
    Model model = Basic();
    model.lp = R"("status": 0)";
    model.lastExtra = R"(, "infeasibility": 0.25)";
    model.modelExtra = R"(, "options": {"MININFTR": "NONE"})";
    EXPECT_EQ(Diagnosis(model),
              "\n?225000000}#region 1, Infeasibility Diagnosis\n"
              "\n?255000000}#region 4, Infeasible Non-linear Equations\n"
              "\n" + std::string(kEqnHeaderInfeasible) + "\n"
              "N                              0.25        V                                  0             1            10          0.5\n" +
              kEnd + kEnd);
}

TEST(Diagnosis, StateTwoInfeasibleLP) {
    Model model = Basic();
    EXPECT_EQ(Diagnosis(model),
              "\n?225000000}#region 1, Infeasibility Diagnosis\n"
              "\n?255000000}#region 4, Infeasible Linear Equations\n"
              "\n" + std::string(kEqnHeaderInfeasible) + "\n"
              "L                                 1        V                                  0             1            10          0.5\n" +
              kEnd + kEnd);
}

TEST(Diagnosis, NegativeLPStatusAsksForNoLPPart) {
    Model model = Basic();
    model.lp = R"("status": -1)";
    EXPECT_EQ(Diagnosis(model), "");
}

TEST(Diagnosis, NonlinearPartListsANegativeSlack) {
    Model model = Basic();
    model.lp = R"("status": 0)";
    model.equationTriples = "[0, 1.5, 0], [0, 2.5, -0.25]";
    model.lastExtra = R"(, "infeasibility": 0.25)";
    EXPECT_NE(Diagnosis(model).find("\nN                             -0.25        V "),
              std::string::npos);
}

TEST(Diagnosis, StateThreeHasBothParts) {
    Model model = Basic();
    model.lastExtra = R"(, "infeasibility": 0.25)";
    const std::string text = Diagnosis(model);
    const std::size_t nonlinear = text.find("Infeasible Non-linear Equations");
    const std::size_t linear = text.find("Infeasible Linear Equations");
    EXPECT_NE(nonlinear, std::string::npos);
    EXPECT_NE(linear, std::string::npos);
    EXPECT_LT(nonlinear, linear);
}

TEST(Diagnosis, StatusWordsAndTitles) {
    Model model = Basic();
    model.variables = R"({"name": "V", "upper": 10, "value": 11})";
    model.lp = R"("status": 7)";
    std::string text = Diagnosis(model);
    EXPECT_NE(text.find("\n?255000000}#region 4,  Linear Equations\n"), std::string::npos);
    EXPECT_NE(text.find("\n?255000000}#region 4,  Variables\n"), std::string::npos);

    model.lp = R"("status": 2, "diagnosis": {"equations": [2], "variables": [1]})";
    text = Diagnosis(model);
    EXPECT_NE(text.find("\n?255000000}#region 4, Unbounded Linear Equations\n\n" +
                        std::string(kEqnHeaderUnbounded) + "\nN "),
              std::string::npos) << text;
    EXPECT_NE(text.find("\n?255000000}#region 4, Unbounded Variables\n\n" + std::string(kVarHeader)),
              std::string::npos);
}

TEST(Diagnosis, AdviceDependsOnBreakers) {
    Model model = Basic();
    model.equations = R"({"name": "L", "diag": 1e-5}, {"name": "N", "nonlinear": true, "diag": 3})";
    struct Case {
        const char* options;
        bool advice;
    };
    for (const Case& c : {Case{R"(, "options": {"MININFTR": "NONE"})", true},
                          Case{R"(, "options": {"MININFTR": "NONEX"})", true},
                          Case{R"(, "options": {"MININFTR": "none"})", false},
                          Case{R"(, "options": {"MININFTR": "NON"})", false},
                          Case{R"(, "options": {"OTHER": 1})", false}, Case{"", false}}) {
        model.modelExtra = c.options;
        const std::string text = Diagnosis(model);
        const std::string expected = "\n?225000000}#region 1, Infeasibility Diagnosis\n" +
                                     std::string(c.advice ? kAdvice : "") + kEnd;
        EXPECT_EQ(text, expected) << c.options;
    }
    // An unbounded LP with empty lists gets the advice too when breakers are off.
    model.lp = R"("status": 2)";
    model.modelExtra = R"(, "options": {"MININFTR": "NONE"})";
    EXPECT_EQ(Diagnosis(model), "\n?225000000}#region 1, Infeasibility Diagnosis\n" +
                                    std::string(kAdvice) + kEnd);
}

TEST(Diagnosis, MarginsAndBinaries) {
    Model model;
    model.variables =
        R"({"name": "LOW_EXACT", "value": -1e-6}, {"name": "LOW_MORE", "value": -1.5e-6},)"
        R"({"name": "UP_EXACT", "upper": 0, "value": 1e-6}, {"name": "UP_MORE", "upper": 0, "value": 2e-6},)"
        R"({"name": "BIN0", "upper": 1, "type": 2, "value": 0}, {"name": "BIN1", "upper": 1, "type": 2, "value": 1},)"
        R"({"name": "BINHALF", "upper": 1, "type": 2, "value": 0.5})";
    model.equations =
        R"({"name": "EXACT", "diag": -1e-5}, {"name": "ABOVE", "diag": -1.1e-5}, {"name": "NLBIG", "nonlinear": -1, "diag": 50})";
    model.matrix = "[1, 1, 1], [1, 2, 1], [1, 3, 1], [1, 4, 1], [1, 5, 1], [1, 6, 1], [1, 7, 1], [2, 1, 1], [3, 7, 1]";
    model.variableTriples = "[0, 1e20, 0], [0, 1e20, 0], [0, 1e20, 0], [0, 1e20, 0], [0, 1e20, 0], [0, 1e20, 0], [0, 1e20, 0]";
    model.equationTriples = "[0, 0, 0], [0, 0, 0], [0, 0, 0]";
    const std::string text = Diagnosis(model);
    EXPECT_EQ(text.find("\nEXACT "), std::string::npos);
    EXPECT_NE(text.find("\nABOVE "), std::string::npos);
    EXPECT_EQ(text.find("\nNLBIG "), std::string::npos);
    EXPECT_EQ(text.find("\nLOW_EXACT "), std::string::npos);
    EXPECT_NE(text.find("\nLOW_MORE "), std::string::npos);
    EXPECT_EQ(text.find("\nUP_EXACT "), std::string::npos);
    EXPECT_NE(text.find("\nUP_MORE "), std::string::npos);
    EXPECT_EQ(text.find("\nBIN0 "), std::string::npos);
    EXPECT_EQ(text.find("\nBIN1 "), std::string::npos);
    EXPECT_NE(text.find("\nBINHALF "), std::string::npos);
}

TEST(Diagnosis, EntryTablesColumnsAndCuts) {
    Model model;
    const std::string longEquation(30, 'E');
    const std::string longVariable = "VARIABLE_NAME_OF_30_CHARACTERS";
    model.variables = "{\"name\": \"" + longVariable + "\", \"lower\": -1e20, \"upper\": 9.9999e19, \"value\": 1e25}, "
                      R"({"name": "W", "lower": -9.9999e19, "upper": 1e20, "value": 2}, {"name": "OBJONLY", "value": -5}, {"name": "FREE", "value": -1})";
    model.equations = "{\"name\": \"" + longEquation + "\", \"diag\": 2, \"value\": 4}, " +
                      R"({"name": "EMPTY", "diag": 3}, {"name": "OBJ", "type": 5, "value": 9}, {"name": "ROW_WITH_A_LONG_NAME_X", "value": 6})";
    model.matrix = "[1, 2, 1], [1, 1, 1], [3, 3, 1], [4, 1, 1], [3, 4, 1], [4, 4, 1]";
    model.variableTriples = "[0, 1e20, 0.125], [0, 1e20, -7], [0, 1e20, 0], [0, 1e20, 0]";
    model.equationTriples = "[0, 1.5, 0], [0, 0, 0], [0, 9, 0], [0, -2, 0]";
    const std::string text = Diagnosis(model);
    // The row walk goes by ascending variable number; names cut to 20.
    const std::string eqnFirst = longEquation + "            2        VARIABLE_NAME_OF_30_" +
                                 "            -inf         1e+25    9.9999e+19        0.125";
    EXPECT_NE(text.find("\n" + eqnFirst + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n" + std::string(43, ' ') + "W                        -9.9999e+19" +
                        "             2          +inf           -7\n"),
              std::string::npos);
    // An equation without entries: its header line only.
    EXPECT_NE(text.find("\n" + std::string(kEqnHeaderInfeasible) + "\n\n#endregion\n"), std::string::npos);
    // Variable entries: the objective row is passed over; a variable with
    // entries only there writes nothing.
    const std::string varFirst = "FREE                              0          -1        +inf" +
                                 std::string(8, ' ') + "ROW_WITH_A_LONG_NAME               6" +
                                 "                 -2";
    EXPECT_NE(text.find("\n" + std::string(kVarHeader) + "\n" + varFirst + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nOBJONLY "), std::string::npos);
    EXPECT_EQ(text.find("OBJ   "), std::string::npos);
    EXPECT_EQ(varFirst.size(), 122u);
    EXPECT_EQ(eqnFirst.size(), 128u);  // 30-character name: 8 columns further
    EXPECT_NE(text.find("\nVARIABLE_NAME_OF_30_CHARACTERS         -inf       1e+25  9.9999e+19" +
                        std::string(8, ' ') + "EEEEEEEEEEEEEEEEEEEE               4                1.5\n" +
                        std::string(67, ' ') + "ROW_WITH_A_LONG_NAME"),
              std::string::npos);
}

// Both kinds of entry with a continuation line; every associated name has
// 21 characters.
TEST(Diagnosis, AssociatedNamesAreCutAt20Characters) {
    Model model;
    model.variables = R"({"name": "VARIABLE_NUMBER_ONE_1", "upper": 10, "value": 11},)"
                      R"({"name": "VARIABLE_NUMBER_TWO_2", "upper": 10, "value": 3})";
    model.equations = R"({"name": "EQUATION_NUMBER_ONE_1", "diag": 1, "value": 4},)"
                      R"({"name": "EQUATION_NUMBER_TWO_2", "value": 6})";
    model.matrix = "[1, 1, 1], [1, 2, 1], [2, 1, 1]";
    model.variableTriples = "[11, 1e20, 0.25], [3, 1e20, -0.75]";
    model.equationTriples = "[0, 1.5, 0], [0, -2, 0]";
    const std::string text = Diagnosis(model);
    EXPECT_NE(text.find("\n" + std::string(kEqnHeaderInfeasible) + "\n"
                        "EQUATION_NUMBER_ONE_1             1        VARIABLE_NUMBER_ONE_"
                        "               0            11            10         0.25\n" +
                        std::string(43, ' ') + "VARIABLE_NUMBER_TWO_"
                        "               0             3            10        -0.75\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\n" + std::string(kVarHeader) + "\n"
                        "VARIABLE_NUMBER_ONE_1             0          11          10"
                        "        EQUATION_NUMBER_ONE_               4                1.5\n" +
                        std::string(67, ' ') + "EQUATION_NUMBER_TWO_"
                        "               6                 -2\n"),
              std::string::npos)
        << text;
}

TEST(Diagnosis, VariableEntryContinuationLinesShowTheirOwnEquation) {
    Model model;
    model.variables = R"({"name": "V", "upper": 10, "value": 11})";
    model.equations = R"({"name": "E1", "value": 4}, {"name": "E2", "value": 6}, {"name": "E3", "value": 8})";
    model.matrix = "[1, 1, 1], [2, 1, 1], [3, 1, 1]";
    model.variableTriples = "[11, 1e20, 0]";
    model.equationTriples = "[0, 1.5, 0], [0, -2, 0], [0, 3, 0]";
    const std::string text = Diagnosis(model);
    EXPECT_NE(text.find("        E1                                 4                1.5\n" +
                        std::string(67, ' ') + "E2                                 6                 -2\n" +
                        std::string(67, ' ') + "E3                                 8                  3\n"),
              std::string::npos)
        << text;
}

// The earlier iterations hold other prices: the entries of the LP part show
// the last iteration's.
TEST(Diagnosis, LPPartTakesThePricesOfTheLastIteration) {
    RunData run;
    run.variables = R"({"name": "V", "upper": 10, "value": 11})";
    run.equations = R"({"name": "L", "diag": 1, "value": 2})";
    run.matrix = "[1, 1, 1.0]";
    run.topExtra = R"(, "lp": {"status": 1})";
    const std::string earlier = Iteration("[11, 1e20, 111]", "[0, 222, 0]");
    run.iterations = earlier + ", " + earlier + ", " + Iteration("[11, 1e20, 0.5]", "[0, 1.5, 0]");
    const std::string log = RunOnData(run.Json()).log;
    EXPECT_NE(log.find("\nL                                 1        V                   "
                       "               0            11            10          0.5\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nV                                 0          11          10        "
                       "L                                  2                1.5\n"),
              std::string::npos)
        << log;
}

}  // namespace
