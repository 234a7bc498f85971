// Whole reports of the example runs, byte for byte.  The expected files
// were checked line by line when they were made; a change to any of them is
// a change of the report and must be checked the same way.
#include <gtest/gtest.h>

#include <string>

#include "report_fixture.h"

namespace {

void ExpectReportMatches(const std::string& example) {
    TempDir dir;
    WriteText(dir.File(example + ".vdr"),
              ReadText(std::string(TARN_SOURCE_DIR) + "/examples/" + example + ".vdr"));
    ScopedEnv options("KORMOPTIONS", nullptr);
    ReportResult result = RunOnBase(dir.File(example));
    const std::string expected =
        ReadText(std::string(TARN_SOURCE_DIR) + "/tests/report/golden/" + example + ".log");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(result.rc, 0);
    EXPECT_EQ(result.stdoutText, "");
    EXPECT_TRUE(result.log == expected) << "the report of " << example
                                        << " differs from tests/report/golden/" << example << ".log";
}

TEST(GoldenReports, Blending) { ExpectReportMatches("blending"); }
TEST(GoldenReports, InfeasibleRefinery) { ExpectReportMatches("refinery_infeasible"); }
TEST(GoldenReports, UnboundedRefinery) { ExpectReportMatches("refinery_unbounded"); }

}  // namespace
