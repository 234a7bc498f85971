// Helpers for tests that load run-data text through the reporting object.
#pragma once

#include <string>

#include "libs/tarn.h"

namespace libs_test {

// A small valid run: two variables, one equation, one matrix entry, one
// iteration.  Tests change it with Replace.
std::string ValidRun();

// text with the first occurrence of from replaced by to; fails the test
// when from does not occur.
std::string Replace(std::string text, const std::string& from, const std::string& to);

// A file in the temporary directory, removed when the object goes.
class TempFile {
public:
    explicit TempFile(const std::string& content);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

struct LoadResult {
    int rc;
    std::string errorLine;  // the load error's line, or empty when it loaded
    std::string path;
};

// Writes content to a temporary file and has reporting load it, which must
// print nothing.
LoadResult Load(CTARNSolutionReporting& reporting, const std::string& content);

}  // namespace libs_test
