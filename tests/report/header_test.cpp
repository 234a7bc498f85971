// The notice line and the region "Model and Options Display".
#include <gtest/gtest.h>

#include <string>

#include "report_fixture.h"

namespace {

ReportResult RunWithCase(const std::string& caseFields) {
    RunData run;
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration("[0, 1e20, 0]", "[0, 0, 0]");
    run.caseFields = caseFields;
    return RunOnData(run.Json());
}

std::string HeaderOf(const std::string& log) {
    return log.substr(0, log.find("\n?000096000}#region 1, "));
}

TEST(Header, LinesInOrderWithTheirMarkup) {
    ReportResult result = RunWithCase(
        R"("number": 7, "description": "test run", "date": "Mon Jan 15 10:30:00 2024", "status": "Successful")");
    ASSERT_EQ(result.rc, 0);
    const std::string header = HeaderOf(result.log);
    const std::size_t firstBreak = header.find('\n');
    ASSERT_NE(firstBreak, std::string::npos);
    EXPECT_EQ(header.find("#region"), header.find("\n\n?000000225}#region 1, Model and Options Display\n") + 13);
    const std::string lines =
        "\n?000000255} Model Name      : demo"
        "\n?000000255} Case Number     : 007"
        "\n?000000255} Case Description: test run"
        "\n?000000255} Execution Date  : Mon Jan 15 10:30:00 2024"
        "\n?000000255} Solution Status : Successful\n"
        "\n?000000255}#region 4, TARN Solver Option Display\n";
    EXPECT_NE(header.find(lines), std::string::npos) << header;
    EXPECT_NE(header.find("\n?000000255}#region 4, LP Solver Option Display\n"), std::string::npos);
    EXPECT_NE(header.find("\n?000000255}#region 4, Algebraic Model Display\n"), std::string::npos);
    // Three display regions, each closed, then the model region closed.
    EXPECT_EQ(Occurrences(header, "\n#endregion\n"), 4u);
    const std::string closing = "\n#endregion\n\n#endregion\n";
    EXPECT_EQ(header.substr(header.size() - closing.size()), closing);
}

TEST(Header, CaseNumberDecidesCaseLineAndAlgebraicModel) {
    struct Case {
        const char* number;
        const char* shown;  // null: no case line
        bool model;
    };
    for (const Case& c : {Case{"7", "007", true}, Case{"1234", "1234", true},
                          Case{"9999", "9999", true}, Case{"-5", "-05", true},
                          Case{"10000", nullptr, false}, Case{"2147483647", nullptr, false}}) {
        ReportResult result = RunWithCase(std::string("\"number\": ") + c.number);
        const std::string header = HeaderOf(result.log);
        if (c.shown != nullptr)
            EXPECT_NE(header.find(std::string("Case Number     : ") + c.shown + "\n"), std::string::npos)
                << c.number;
        else
            EXPECT_EQ(header.find("Case Number"), std::string::npos) << c.number;
        EXPECT_EQ(header.find("Algebraic Model Display") != std::string::npos, c.model) << c.number;
        EXPECT_NE(header.find("LP Solver Option Display"), std::string::npos);
    }
}

TEST(Header, AlgebraicModelShowsTheOptimisersForm) {
    RunData run;
    run.variables = R"({"name": "X"}, {"name": "Y"})";
    run.equations = R"({"name": "R", "type": 1, "form": "X*Y - 2*X <= 0"}, {"name": "S", "type": 2, "rhs": 1})";
    run.matrix = "[1, 1, -1.5], [1, 2, 0.5], [2, 2, 1]";
    run.iterations = Iteration("[1, 1e20, 0], [0.5, 1e20, 0]", "[0, 0, 0], [0, 0, 0]");
    run.caseFields = R"("number": 7)";
    std::string json = run.Json();
    json.replace(json.find("\"version\": 1"), 12, "\"version\": 2");
    const ReportResult result = RunOnData(json);
    ASSERT_EQ(result.rc, 0);
    const std::string header = HeaderOf(result.log);
    EXPECT_NE(header.find("\n  R: X*Y - 2*X <= 0\n  S: 1*Y >= 1\n"), std::string::npos) << header;
}

TEST(Header, OnlyExactlySuccessfulIsBlue) {
    for (const char* status : {"Successful", "successful", "Successful ", "Infeasible", ""}) {
        ReportResult result = RunWithCase(std::string("\"status\": \"") + status + "\"");
        const bool blue = std::string(status) == "Successful";
        const std::string line = std::string(blue ? "?000000255}" : "?255000000}") +
                                 " Solution Status : " + status + "\n";
        EXPECT_NE(result.log.find(line), std::string::npos) << '"' << status << '"';
    }
}

TEST(Header, EmptyTextsStillGiveTheirLines) {
    ReportResult result = RunWithCase(R"("number": 0)");
    const std::string header = HeaderOf(result.log);
    EXPECT_NE(header.find("\n?000000255} Case Number     : 000"), std::string::npos);
    EXPECT_NE(header.find("\n?000000255} Case Description: \n"), std::string::npos);
    // An empty date still ends with its line break, so the status starts a line.
    EXPECT_NE(header.find("\n?000000255} Execution Date  : \n?255000000} Solution Status : \n"),
              std::string::npos);
}

TEST(Header, LongModelNameIsWrittenWhole) {
    RunData run;
    const std::string name(300, 'M');
    run.variables = R"({"name": "X"})";
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration("[0, 1e20, 0]", "[0, 0, 0]");
    std::string json = run.Json();
    json.replace(json.find("\"name\": \"demo\""), 14, "\"name\": \"" + name + "\"");
    ReportResult result = RunOnData(json);
    EXPECT_NE(result.log.find("Model Name      : " + name + "\n"), std::string::npos);
}

}  // namespace
