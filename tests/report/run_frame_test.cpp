// The run frame: early exits, the report file's failures, the locale and
// failures thrown inside the libraries.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "report_fixture.h"
#include "model/run_model.h"
#include "run/create_report.h"

namespace {

RunData OneIteration() {
    RunData run;
    run.variables = R"({"name": "X", "upper": 10})";
    run.equations = R"({"name": "R"})";
    run.iterations = Iteration("[1, 1e20, 0]", "[0, 0, 0]");
    return run;
}

constexpr char kRuleLine[] =
    "?000128000} =========   ===========   ===========   ===========   ===========   "
    "=========   ============   ============\n";

TEST(RunFrame, MissingDataFileWritesMessage101Only) {
    TempDir dir;
    ReportResult result = RunOnBase(dir.File("absent"));
    EXPECT_EQ(result.rc, -1);
    EXPECT_EQ(result.stdoutText, WithInsert(kMsgFileNotFound, dir.File("absent") + ".vdr") + "\n");
    EXPECT_FALSE(result.logWritten);
}

// A data file that is there but cannot be opened is not "not found": the
// system's reason, on standard error (a loop of links for root, whom no
// permission stops, and a file without read permission for anyone else).
TEST(RunFrame, DataFileThatCannotBeOpenedSaysWhy) {
    struct Unreadable {
        const char* how;
        int error;
        void (*make)(const std::string& path);
    };
    const Unreadable kinds[] = {
        {"a loop of links", ELOOP, [](const std::string& path) { ASSERT_EQ(symlink(path.c_str(), path.c_str()), 0); }},
        {"no read permission", EACCES, [](const std::string& path) {
             WriteText(path, "{}");
             ASSERT_EQ(chmod(path.c_str(), 0), 0);
         }},
    };
    for (const Unreadable& kind : kinds) {
        SCOPED_TRACE(kind.how);
        if (kind.error == EACCES && geteuid() == 0) continue;
        TempDir dir;
        kind.make(dir.File("run.vdr"));
        ReportResult result = RunOnBase(dir.File("run"));
        EXPECT_EQ(result.rc, -1);
        EXPECT_EQ(result.stdoutText, "");
        EXPECT_EQ(result.stderrText,
                  "Error: " + dir.File("run.vdr") + " cannot be read: " + std::strerror(kind.error) + ".\n");
        EXPECT_FALSE(result.logWritten);
    }
}

// A base path that names no file says so in one line and writes nothing.
TEST(RunFrame, UnusableBasePathGivesOneLine) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunReport(nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: no base path was given (a null pointer).\n");

    ReportResult empty = RunOnBase("");
    EXPECT_EQ(empty.rc, -1);
    EXPECT_EQ(empty.stdoutText, "");
    EXPECT_EQ(empty.stderrText, "Error: the base path is empty.\n");

    TempDir dir;
    const std::string overLong = dir.File(std::string(300, 'x'));
    ReportResult tooLong = RunOnBase(overLong);
    EXPECT_EQ(tooLong.rc, -1);
    EXPECT_EQ(tooLong.stdoutText, "");
    EXPECT_EQ(tooLong.stderrText,
              "Error: the path " + overLong + ".vdr is too long for the file system.\n");

    // A path as given reaches standard error with its control characters
    // shown, never as a terminal's escape sequence.
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("a\x1b[31m.vdr")));
    ReportResult hostile = RunOnBase(dir.File("a\x1b[31m"));
    EXPECT_EQ(hostile.rc, -1);
    EXPECT_EQ(hostile.stderrText, "Error: " + dir.File("a\\x1B[31m") + ".vdr is a directory, not a regular file.\n");
}

// The solver library's reason is told once, as its one line: the file, the
// place in it and the problem.
TEST(RunFrame, RefusedDataFileWritesNoReport) {
    ReportResult result = RunOnData("{\"format\": \"tarn-vdr\", ");
    EXPECT_EQ(result.rc, -1);
    EXPECT_EQ(result.stdoutText, "");
    const std::string said =
        "run.vdr: line 1, column 24: the file ends before the JSON document is complete\n";
    ASSERT_GE(result.stderrText.size(), said.size()) << result.stderrText;
    EXPECT_EQ(result.stderrText.substr(result.stderrText.size() - said.size()), said);
    EXPECT_EQ(result.stderrText.find('\n'), result.stderrText.size() - 1);  // one line
    EXPECT_FALSE(result.logWritten);
}

TEST(RunFrame, EmptyIterationListEndsAfterTheRuleLine) {
    RunData run = OneIteration();
    run.iterations = "";
    ReportResult result = RunOnData(run.Json());
    EXPECT_EQ(result.rc, -1);
    ASSERT_TRUE(result.logWritten);
    ASSERT_GE(result.log.size(), sizeof kRuleLine - 1);
    EXPECT_EQ(result.log.substr(result.log.size() - (sizeof kRuleLine - 1)), kRuleLine);
    EXPECT_EQ(Occurrences(result.log, "#region"), 6u);
    EXPECT_EQ(Occurrences(result.log, "#endregion"), 4u);  // displays and model region only
    EXPECT_EQ(result.stdoutText, "");
    const std::string said =
        ": the run data holds no iterations; the report stops after the summary header.\n";
    ASSERT_GE(result.stderrText.size(), said.size());
    EXPECT_EQ(result.stderrText.substr(result.stderrText.size() - said.size()), said);
    EXPECT_EQ(result.stderrText.find('\n'), result.stderrText.size() - 1);  // one line
}

TEST(RunFrame, CompleteRunClosesEveryRegionAndReturnsZero) {
    ReportResult result = RunOnData(OneIteration().Json());
    EXPECT_EQ(result.rc, 0);
    EXPECT_EQ(result.stdoutText, "");
    EXPECT_EQ(Occurrences(result.log, "#region"), Occurrences(result.log, "#endregion"));
    const std::string ending = "\n#endregion\n\n#endregion\n";
    EXPECT_EQ(result.log.substr(result.log.size() - ending.size()), ending);
    EXPECT_EQ(result.log.find("Infeasibility Diagnosis"), std::string::npos);
}

TEST(RunFrame, UnwritableReportFileIsAnError) {
    {
        TempDir dir;
        WriteText(dir.File("run.vdr"), OneIteration().Json());
        std::filesystem::create_directory(dir.File("run.log"));
        ReportResult result = RunOnBase(dir.File("run"));
        EXPECT_EQ(result.rc, -1);
        EXPECT_EQ(result.stdoutText,
                  WithInsert(kMsgReportNotWritten, dir.File("run.log")) + "\n");
    }
    if (std::filesystem::exists("/dev/full")) {
        TempDir dir;
        WriteText(dir.File("run.vdr"), OneIteration().Json());
        std::filesystem::create_symlink("/dev/full", dir.File("run.log"));
        ReportResult result = RunOnBase(dir.File("run"));
        EXPECT_EQ(result.rc, -1);
        EXPECT_EQ(result.stdoutText,
                  WithInsert(kMsgReportNotWritten, dir.File("run.log")) + "\n");
    }
}

TEST(RunFrame, WorkingDirectoryIsDriveAndDirectoryOfTheBasePath) {
    EXPECT_EQ(WorkingDirectoryOf("run"), "");
    EXPECT_EQ(WorkingDirectoryOf("runs/case42"), "runs/");
    EXPECT_EQ(WorkingDirectoryOf("/data/runs/case.42"), "/data/runs/");
    const std::string longDirectory(400, 'd');
    EXPECT_EQ(WorkingDirectoryOf((longDirectory + "/run").c_str()), longDirectory + "/");
}

TEST(RunFrame, BreakersOffOnlyForValuesStartingWithNONE) {
    EXPECT_TRUE(BreakersOffValue("NONE"));
    EXPECT_TRUE(BreakersOffValue("NONEX"));
    EXPECT_FALSE(BreakersOffValue("none"));
    EXPECT_FALSE(BreakersOffValue("NON"));
    EXPECT_FALSE(BreakersOffValue(""));
    EXPECT_FALSE(BreakersOffValue(nullptr));
}

// A comma-decimal locale made at test time, so that the test can fail.
class CommaLocale : public testing::Test {
protected:
    void SetUp() override {
        const std::string command = "localedef -i de_DE -f UTF-8 " + m_dir.File("de_DE.UTF-8") +
                                    " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef not available";
        setenv("LOCPATH", m_dir.Path().c_str(), 1);
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
            GTEST_SKIP() << "comma locale could not be set";
    }
    void TearDown() override {
        std::setlocale(LC_NUMERIC, "C");
        unsetenv("LOCPATH");
    }
    TempDir m_dir;
};

TEST_F(CommaLocale, NumbersUseAPointDuringAndAfterTheRun) {
    char before[16];
    std::snprintf(before, sizeof before, "%.1f", 1.5);
    ASSERT_STREQ(before, "1,5");
    RunData run = OneIteration();
    run.iterations = Iteration("[1.5, 1e20, 0]", "[0.25, 0, 0]");
    ReportResult result = RunOnData(run.Json());
    EXPECT_EQ(result.rc, 0);
    EXPECT_NE(result.log.find("0.25"), std::string::npos);
    EXPECT_EQ(result.log.find("0,25"), std::string::npos);
    char after[16];
    std::snprintf(after, sizeof after, "%.1f", 1.5);
    EXPECT_STREQ(after, "1.5");
}

TEST(RunFrame, FailureThrownByALibraryReturnsMinusOne) {
    for (const char* operation : {"ReadReportFile", "GetIterationList", "GetVariableSet",
                                  "ReturnResidualSortedList"}) {
        ScopedEnv fault("TARN_STANDIN_FAULT", operation);
        ReportResult result = RunOnData(OneIteration().Json());
        EXPECT_EQ(result.rc, -1) << operation;
    }
}

}  // namespace
