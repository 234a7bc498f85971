// The shared run-data files (valid/, invalid/ and the examples) through the
// whole report: a refused file makes the report fail with one line on
// standard error that names the file and where the problem is, and leaves
// no report file behind; every valid file loads and gets its report.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "libs/tarn.h"
#include "run/create_report.h"
#include "run_data_loader.h"

namespace fs = std::filesystem;

namespace {

const fs::path kFiles = fs::path(TARN_SOURCE_DIR) / "tests" / "rundata";

struct InvalidCase {
    std::string file;
    std::string check;     // json, schema or loader
    std::string expected;  // part of the message after "FILE: "
};

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last = text.find_last_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::vector<InvalidCase> ReadCases() {
    std::ifstream in(kFiles / "invalid" / "cases.txt");
    std::vector<InvalidCase> cases;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find(" | ");
        const size_t second = first == std::string::npos ? first : line.find(" | ", first + 3);
        if (second == std::string::npos) throw std::runtime_error("malformed line: " + line);
        cases.push_back({Trim(line.substr(0, first)), Trim(line.substr(first + 3, second - first - 3)),
                         Trim(line.substr(second + 3))});
    }
    return cases;
}

std::vector<fs::path> Files(const fs::path& directory) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(directory))
        if (entry.path().extension() == ".vdr") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "tarn-rundata.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
};

struct ReportOutcome {
    int rc = 0;
    std::string out, err;
    bool logWritten = false;
    std::string dataPath;
};

// Runs the report on base path dir/run, after prepare has written run.vdr.
template <class Prepare>
ReportOutcome RunOn(const TempDir& dir, Prepare prepare) {
    ReportOutcome outcome;
    outcome.dataPath = dir.File("run.vdr");
    prepare(outcome.dataPath);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    outcome.rc = RunReport(dir.File("run").c_str());
    outcome.err = testing::internal::GetCapturedStderr();
    outcome.out = testing::internal::GetCapturedStdout();
    outcome.logWritten = fs::exists(dir.File("run.log"));
    return outcome;
}

ReportOutcome RunOnBytes(const std::string& bytes) {
    TempDir dir;
    return RunOn(dir, [&](const std::string& path) {
        std::ofstream(path, std::ios::binary) << bytes;
    });
}

// The report failed because the file was refused: -1, nothing on standard
// output, no report file, and exactly one line on standard error that starts
// with the file's name and holds the expected problem.
void ExpectRefused(const ReportOutcome& outcome, const std::string& expected) {
    EXPECT_EQ(outcome.rc, -1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_FALSE(outcome.logWritten);
    ASSERT_FALSE(outcome.err.empty());
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    EXPECT_EQ(outcome.err.rfind(outcome.dataPath + ": ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(": " + expected), std::string::npos)
        << "message:  " << outcome.err << "expected: " << expected;
}

}  // namespace

TEST(RunDataFiles, EveryInvalidFileIsListedOnce) {
    const auto cases = ReadCases();
    std::set<std::string> listed;
    std::map<std::string, int> perCheck;
    for (const auto& c : cases) {
        EXPECT_TRUE(listed.insert(c.file).second) << c.file << " listed twice";
        EXPECT_TRUE(c.check == "json" || c.check == "schema" || c.check == "loader") << c.file;
        EXPECT_FALSE(c.expected.empty()) << c.file;
        ++perCheck[c.check];
    }
    std::set<std::string> present;
    for (const auto& path : Files(kFiles / "invalid")) present.insert(path.filename().string());
    EXPECT_EQ(listed, present);
    EXPECT_GT(perCheck["json"], 0);
    EXPECT_GT(perCheck["schema"], 0);
    EXPECT_GT(perCheck["loader"], 0);
}

TEST(RunDataFiles, EachInvalidFileFailsTheReport) {
    const auto cases = ReadCases();
    ASSERT_GE(cases.size(), 40u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir dir;
        const ReportOutcome outcome = RunOn(dir, [&](const std::string& path) {
            fs::copy_file(kFiles / "invalid" / c.file, path);
        });
        ExpectRefused(outcome, c.expected);
    }
}

TEST(RunDataFiles, ValidFilesAndExamplesLoadAndReport) {
    std::vector<fs::path> files = Files(kFiles / "valid");
    const auto examples = Files(fs::path(TARN_SOURCE_DIR) / "examples");
    ASSERT_FALSE(files.empty());
    ASSERT_FALSE(examples.empty());
    files.insert(files.end(), examples.begin(), examples.end());
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        CTARNSolutionReporting reporting;
        testing::internal::CaptureStderr();
        EXPECT_EQ(reporting.ReadReportFile(file.string().c_str()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        const bool hasIterations = reporting.GetIterationList()->GetCount() > 0;

        TempDir dir;
        const ReportOutcome outcome = RunOn(dir, [&](const std::string& path) {
            fs::copy_file(file, path);
        });
        EXPECT_TRUE(outcome.logWritten);
        // A run without iterations ends its report early and says so: -1
        // and one line.
        EXPECT_EQ(outcome.rc, hasIterations ? 0 : -1);
        if (hasIterations)
            EXPECT_EQ(outcome.err, "");
        else
            EXPECT_NE(outcome.err.find(": the run data holds no iterations; the report stops after "
                                       "the summary header.\n"),
                      std::string::npos)
                << outcome.err;
    }
}

// Nesting far deeper than any stack could recurse: refused with the path of
// the first value of the wrong type, without a crash.
TEST(RunDataGenerated, DeepNestingFailsTheReportWithoutRecursion) {
    const std::string deep = std::string(300000, '[') + std::string(300000, ']');
    ExpectRefused(RunOnBytes(deep), "the top level must be an object, not an array");

    std::string text = ReadBytes(kFiles / "valid" / "two_tanks.vdr");
    const std::string from = "\"number\": 3";
    ASSERT_NE(text.find(from), std::string::npos);
    text.replace(text.find(from), from.size(), "\"number\": " + std::string(300000, '{'));
    ExpectRefused(RunOnBytes(text), "case.number: an integer expected, found an object");
}

// A file over the size limit is refused by its size before it is read, with
// its own message; the file is sparse, so this costs no disk space.
TEST(RunDataGenerated, FileOverTheSizeLimitFailsTheReport) {
    TempDir dir;
    bool created = false;
    const ReportOutcome outcome = RunOn(dir, [&](const std::string& path) {
        std::ofstream(path, std::ios::binary) << "{";
        std::error_code error;
        fs::resize_file(path, tarn::kMaxRunDataFileBytes + 1, error);
        created = !error;
    });
    if (!created) GTEST_SKIP() << "no sparse file of that size here";
    ExpectRefused(outcome, "the file is " + std::to_string(tarn::kMaxRunDataFileBytes + 1) +
                               " bytes long; run-data files of at most " +
                               std::to_string(tarn::kMaxRunDataFileBytes) + " bytes are read");
}

// A file that is correct up to its very last value is refused whole: no
// report, even though everything before the problem was loadable.
TEST(RunDataGenerated, ProblemInTheLastValueWritesNoReport) {
    std::string text = ReadBytes(kFiles / "valid" / "two_tanks.vdr");
    const size_t last = text.rfind("[0, 1.5, 0]");
    ASSERT_NE(last, std::string::npos);
    text.replace(last, 11, "[0, 1.5, \"x\"]");
    ExpectRefused(RunOnBytes(text), "iterations[1].equations[1][2]: a number expected");
}

// The complete example of the format's documentation is a run the report
// takes as it is.
TEST(RunDataFiles, DocumentationExampleReports) {
    const std::string page = ReadBytes(fs::path(TARN_SOURCE_DIR) / "docs" / "run-data-format.md");
    const size_t start = page.find("\n```json\n");
    ASSERT_NE(start, std::string::npos);
    const size_t end = page.find("\n```", start + 9);
    ASSERT_NE(end, std::string::npos);
    const ReportOutcome outcome = RunOnBytes(page.substr(start + 9, end + 1 - (start + 9)));
    EXPECT_EQ(outcome.rc, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_TRUE(outcome.logWritten);
}
