// Runs the report on run-data text written to a fresh temporary directory.
#pragma once

#include <string>
#include <vector>

#include "message_ids.h"

struct ReportResult {
    int rc = 0;
    std::string stdoutText;
    std::string stderrText;
    std::string log;      // empty when no report file was written
    bool logWritten = false;
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// Runs the report for base path `base` (without extension), capturing
// standard output and standard error.
ReportResult RunOnBase(const std::string& base);

// Writes `runData` as run.vdr in a new temporary directory and runs it.
ReportResult RunOnData(const std::string& runData);

// A run-data document from its parts: JSON texts of the variables and
// equations arrays' contents and of the iterations array's contents; `extra`
// adds top-level or model members (a JSON text starting with ", ").
struct RunData {
    std::string variables;       // e.g. R"({"name": "X", "upper": 10})"
    std::string equations;
    std::string matrix;          // contents of the matrix array
    std::string iterations;      // contents of the iterations array
    std::string caseFields = R"("number": 7, "description": "test run", "date": "Mon Jan 15 10:30:00 2024", "status": "Successful")";
    std::string modelExtra;      // e.g. R"(, "options": {"MININFTR": "NONE"})"
    std::string topExtra;        // e.g. R"(, "lp": {"status": 1})"
    std::string Json() const;
};

// One iteration object: the triples as JSON texts and extra fields.
std::string Iteration(const std::string& variableTriples, const std::string& equationTriples,
                      const std::string& extra = "");

// The lines of `text` between the line holding `start` and the next line
// "#endregion" (exclusive, without the empty line before it), or the empty list when `start` is not found.
std::vector<std::string> RegionLines(const std::string& text, const std::string& start,
                                     std::size_t from = 0);

// The number of times `needle` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& needle);

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    bool m_had = false;
    std::string m_old;
};

// Message `id` of the table with `insert` in place of its one text insert.
std::string WithInsert(MessageId id, const std::string& insert);
