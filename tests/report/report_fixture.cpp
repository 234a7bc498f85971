#include "report_fixture.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "report_texts.h"
#include "run/create_report.h"

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarn-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ReportResult RunOnBase(const std::string& base) {
    ReportResult result;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    result.rc = RunReport(base.c_str());
    result.stderrText = testing::internal::GetCapturedStderr();
    result.stdoutText = testing::internal::GetCapturedStdout();
    const std::string logPath = base + ".log";
    std::error_code unreadable;  // a path too long to look at holds no report either
    result.logWritten = std::filesystem::is_regular_file(logPath, unreadable);
    if (result.logWritten) result.log = ReadText(logPath);
    return result;
}

ReportResult RunOnData(const std::string& runData) {
    TempDir dir;
    WriteText(dir.File("run.vdr"), runData);
    return RunOnBase(dir.File("run"));
}

std::string RunData::Json() const {
    std::ostringstream json;
    json << R"({"format": "tarn-vdr", "version": 1, "case": {)" << caseFields << "}, "
         << R"("model": {"name": "demo", "variables": [)" << variables << R"(], "equations": [)"
         << equations << R"(], "matrix": [)" << matrix << "]" << modelExtra << "}, "
         << R"("iterations": [)" << iterations << "]" << topExtra << "}";
    return json.str();
}

std::string Iteration(const std::string& variableTriples, const std::string& equationTriples,
                      const std::string& extra) {
    return R"({"variables": [)" + variableTriples + R"(], "equations": [)" + equationTriples +
           "]" + extra + "}";
}

std::vector<std::string> RegionLines(const std::string& text, const std::string& start,
                                     std::size_t from) {
    std::vector<std::string> lines;
    std::size_t at = text.find(start, from);
    if (at == std::string::npos) return lines;
    std::size_t lineStart = text.find('\n', at);
    while (lineStart != std::string::npos) {
        std::size_t lineEnd = text.find('\n', lineStart + 1);
        std::string line = text.substr(lineStart + 1, lineEnd == std::string::npos
                                                          ? std::string::npos
                                                          : lineEnd - lineStart - 1);
        if (line == "#endregion") break;
        lines.push_back(line);
        lineStart = lineEnd;
    }
    if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the line before "#endregion"
    return lines;
}

std::size_t Occurrences(const std::string& text, const std::string& needle) {
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) {
        m_had = true;
        m_old = old;
    }
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

std::string WithInsert(MessageId id, const std::string& insert) {
    std::string text(report_text::Text(id));
    const std::size_t at = text.find("%1!s!");
    return at == std::string::npos ? text : text.replace(at, 5, insert);
}
