// The message table as the library loads it: every text, exact to the blank.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

const std::map<unsigned, std::string>& ExpectedTexts() {
    static const std::map<unsigned, std::string> texts = {
        {101, "Error: File %1!s! was not found."},
        {102, "Model Name      : %1!s!"},
        {103, "Case Number     : %1!03d!"},
        {104, "Case Description: %1!s!"},
        {105, "Execution Date  : %1!s!"},
        {106, "Solution Status : %1!s!"},
        {107, "Model and Options Display"},
        {108, "TARN Solver Option Display"},
        {109, "LP Solver Option Display"},
        {110, "Algebraic Model Display"},
        {111, "Iteration Information"},
        {112, "Iteration Summary"},
        {113, "               Variable      Residual     Objective     Objective      Non          Most            Total "},
        {114, "   Major     Convergence   Convergence   Convergence     Function    Linearity   L-Infeasible   L-Infeasible"},
        {115, " Iteration     Function      Function      Function       Value        Ratio       Equation         Value"},
        {116, "Iteration Details"},
        {117, "Initial Conditions"},
        {118, "Major Iteration %1!d!"},
        {119, "Error List"},
        {120, "Warning List"},
        {121, "Information List"},
        {122, "Error"},
        {123, "Warning"},
        {124, "Information"},
        {125, "Largest Residuals"},
        {126, "Equation Name -------------- Value --- ShadowPrice --- Form"},
        {127, "non-linear"},
        {128, "linear"},
        {129, "Largest Equation Shadow Prices"},
        {130, "Equation Name -------- ShadowPrice --------- Value --- Form"},
        {131, "Largest Feasibility Slacks"},
        {132, "Equation Name ------ Infeasibility"},
        {133, "Largest Variable Change"},
        {134, "Variable Name ----- Relative Delta ----- New Value ---- Old Value"},
        {135, "Active Variable Bounds"},
        {136, "Variable Name -------------- Value --- ActiveBound -- ShadowPrice"},
        {137, "LOWER"},
        {138, "UPPER"},
        {139, "STEP LOWER"},
        {140, "STEP UPPER"},
        {141, "Variable Details"},
        {142, "Variable Name -------------- Lower -------- Value -------- Upper --------- Step ----- ShadowPrice --- Status --- Type --- "},
        {143, "Variable Name ----------------- Lower ----------- Value ----------- Upper --------- Step ----- ShadowPrice --- Status --- Type --- "},
        {144, "Const"},
        {145, "Optim"},
        {146, "Indep"},
        {147, "Calc"},
        {148, "Binary"},
        {149, "Integer"},
        {150, "Cont"},
        {151, "Semi-Cont"},
        {154, "Equation Details"},
        {155, "Equation Name ----------- Residual ----- ShadowPrice ----- InfSlack ----- Scale ----- Form --- "},
        {156, "Infeasibility Diagnosis"},
        {157, "Infeasible Non-linear Equations"},
        {158, "Infeasible"},
        {159, "Unbounded"},
        {160, "%s Linear Equations"},
        {161, "%s Variables"},
        {162, "No LP infeasibility entries were reported because the infeasibility comes from the linearization of nonlinear equations."},
        {163, "Turn on Infeasibility Breakers and try again"},
        {164, "Equation Name --------------- Value ------ Associated Variable Name ----- Lower ------- Value ------- Upper --- Shadow Price"},
        {165, "Equation Name ------- Infeasibility ------ Associated Variable Name ----- Lower ------- Value ------- Upper --- Shadow Price"},
        {166, "Variable Name --------------- Lower ----- Value ----- Upper ------ Associated Equation Name ----- Value ----- Shadow Price"},
        {167, "Qualities out of tolerance: %1!d!"},
        {168, "Error: Report file %1!s! could not be written."},
    };
    return texts;
}

using platform::LoadMessageText;
using platform::ModuleHandle;

ModuleHandle OwnModule() {
    static const int anchor = 0;
    return platform::ModuleOf(&anchor);
}

TEST(MessageTable, EveryTextExactAndNothingElse) {
    ModuleHandle module = OwnModule();
    ASSERT_NE(module, nullptr);
    char buffer[1000];
    for (unsigned id = 0; id <= 1000; ++id) {
        std::memset(buffer, 'x', sizeof buffer);
        int length = LoadMessageText(module, id, buffer, static_cast<int>(sizeof buffer));
        auto expected = ExpectedTexts().find(id);
        if (expected == ExpectedTexts().end()) {
            EXPECT_EQ(length, 0) << "unexpected message " << id << ": " << buffer;
            EXPECT_EQ(buffer[0], '\0') << id;
            continue;
        }
        EXPECT_EQ(std::string(buffer), expected->second) << "message " << id;
        EXPECT_EQ(length, static_cast<int>(expected->second.size())) << "message " << id;
    }
    // Every text fits the report's 200-character message buffer.
    for (const auto& [id, text] : ExpectedTexts()) EXPECT_LT(text.size(), 200u) << id;
    EXPECT_EQ(ExpectedTexts().count(153), 0u);
    EXPECT_EQ(ExpectedTexts().count(143), 1u);
    EXPECT_EQ(ExpectedTexts().count(168), 1u);
}

TEST(MessageTable, LoadTruncatesAndRejectsBadArguments) {
    ModuleHandle module = OwnModule();
    char buffer[8];
    // 107 "Model and Options Display": seven characters and the terminator.
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 8), 7);
    EXPECT_STREQ(buffer, "Model a");
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 0), 0);
    EXPECT_EQ(LoadMessageText(module, 107, buffer, -5), 0);
    EXPECT_EQ(LoadMessageText(module, 107, nullptr, 8), 0);
    EXPECT_EQ(LoadMessageText(nullptr, 107, buffer, 8), 0);
    EXPECT_STREQ(buffer, "");

    // The table belongs to this binary only: another module has no strings.
    ModuleHandle other = platform::ModuleOf(reinterpret_cast<const void*>(&std::fclose));
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, module);
    EXPECT_EQ(LoadMessageText(other, 107, buffer, 8), 0);
}

}  // namespace
