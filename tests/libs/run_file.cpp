#include "run_file.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

namespace libs_test {

std::string ValidRun() {
    return R"({
  "format": "tarn-vdr",
  "version": 1,
  "case": {"number": 7, "description": "test case", "date": "Mon Jan 15 10:30:00 2024",
           "status": "Successful"},
  "model": {
    "name": "m",
    "variables": [{"name": "x"}, {"name": "y", "lower": -1, "upper": 10}],
    "equations": [{"name": "e1", "type": 1, "rhs": 4}],
    "matrix": [[1, 1, 2.5]]
  },
  "iterations": [
    {"variables": [[1, 0, 0], [2, 0, 0]], "equations": [[0, 0, 0]]}
  ]
})";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "test text lacks: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TempFile::TempFile(const std::string& content) {
    static std::atomic<int> counter{0};
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string("libs_test_") + (info ? info->name() : "x") + "_" +
                             std::to_string(++counter) + ".vdr";
    m_path = (std::filesystem::temp_directory_path() / name).string();
    std::ofstream out(m_path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

TempFile::~TempFile() {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
}

LoadResult Load(CTARNSolutionReporting& reporting, const std::string& content) {
    TempFile file(content);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int rc = reporting.ReadReportFile(file.Path().c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const tarn::LoadError& error = reporting.LoadProblem();
    EXPECT_EQ(error.Failed(), rc != 0);
    return {rc, error.Failed() ? error.Line() : std::string(), file.Path()};
}

}  // namespace libs_test
