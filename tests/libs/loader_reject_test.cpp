// Files the loader must refuse: one line on standard error naming the file,
// where the problem is and what it is; a non-zero result; nothing loaded.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "libs/tarn.h"
#include "run_file.h"

using libs_test::Load;
using libs_test::Replace;
using libs_test::ValidRun;

namespace {

struct RejectCase {
    const char* label;
    std::string content;
    std::string expected;  // part of the message after "FILE: "
};

std::string Deep(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

void ExpectRejected(const RejectCase& c) {
    SCOPED_TRACE(c.label);
    CTARNSolutionReporting reporting;
    const auto result = Load(reporting, c.content);
    EXPECT_NE(result.rc, 0);
    // Exactly one line, beginning with the file's name.
    ASSERT_FALSE(result.errorLine.empty());
    EXPECT_EQ(result.errorLine.find('\n'), std::string::npos) << result.errorLine;
    EXPECT_EQ(result.errorLine.rfind(result.path + ": ", 0), 0u) << result.errorLine;
    EXPECT_NE(result.errorLine.find(c.expected), std::string::npos)
        << "message: " << result.errorLine << "expected part: " << c.expected;
    // Nothing was loaded.
    IVELDVariableSet* variables = nullptr;
    reporting.GetModelManager()->GetVariableSet(&variables);
    EXPECT_EQ(variables->GetCount(), 0);
    EXPECT_EQ(reporting.GetIterationList()->GetCount(), 0);
    EXPECT_EQ(reporting.GetCaseNumber(), 0);
}

}  // namespace

TEST(LoaderReject, SyntaxAndEncoding) {
    const std::string valid = ValidRun();
    const std::vector<RejectCase> cases = {
        {"empty", "", "the file is empty"},
        {"blank", " \n\t\n", "the file holds no JSON document"},
        {"truncated", valid.substr(0, valid.size() - 20),
         "the file ends before the JSON document is complete"},
        {"syntax with position", "{\n  \"format\": \"tarn-vdr\",\n  x\n}", "line 3, column 3: "},
        {"text after the document", valid + "\n{}", "unexpected text after the end"},
        // Positions count the file's lines, not the line breaks its escapes stand for.
        {"position after escaped line breaks",
         "{\"case\": {\"description\": \"a\\nb\\u000a\",\n x}}", "line 2, column 2: "},
        {"position inside a text after an escaped line break",
         "{\"case\": {\"description\": \"a\\nb\\q\"}}", "line 1, column 31: invalid escape"},
        {"invalid UTF-8", Replace(valid, "\"name\": \"x\"", "\"name\": \"x\xff\""),
         "not valid UTF-8"},
        // Read past the end of the text without its padding (the sanitizer
        // build tells).
        {"cut inside a UTF-8 sequence", "{\"case\": {\"description\": \"\xF0",
         "line 1, column 27: the text is not valid UTF-8"},
        {"overlong UTF-8", Replace(valid, "\"name\": \"x\"", "\"name\": \"x\xc0\xaf\""),
         "not valid UTF-8"},
        {"NUL byte", Replace(valid, "\"case\"", std::string("\0\"case\"", 7)), "NUL byte"},
        {"top level array", "[1, 2]", "the top level must be an object"},
        {"top level number", "42", "the top level must be an object, not 42"},
        {"deep nesting at the top", Deep(200000), "the top level must be an object"},
        {"deep nesting inside", Replace(valid, "\"number\": 7", "\"number\": " + Deep(200000)),
         "case.number: an integer expected, found an array"},
        // Refused by the reader itself, still reported with the value's path.
        {"number too large for JSON", Replace(valid, "\"rhs\": 4", "\"rhs\": 1e999"),
         "model.equations[0].rhs: the number 1e999 is out of range"},
        {"number too large for JSON in an array", Replace(valid, "[2, 0, 0]", "[2, 0, -1e400]"),
         "iterations[0].variables[1][2]: the number -1e400 is out of range"},
        {"long number cut in the message",
         Replace(valid, "\"rhs\": 4", "\"rhs\": 1" + std::string(400, '0')),
         "model.equations[0].rhs: the number 1000000000000000000000000000000000000000... is out of range"},
        {"option number too large for a double",
         Replace(valid, "\"matrix\"", "\"options\": {\"A\": 1.8e308}, \"matrix\""),
         "model.options.A: the number 1.8e308 is out of range"},
        {"option number too large for JSON",
         Replace(valid, "\"matrix\"", "\"options\": {\"A\": 1e999}, \"matrix\""),
         "model.options.A: the number 1e999 is out of range"},
        // NaN and infinity literals, which JSON lacks: what to write instead.
        {"minus infinity literal", Replace(valid, "\"rhs\": 4", "\"rhs\": -Infinity"),
         "line 9, column 52: -Infinity is not a JSON value: write the text \"-inf\" instead"},
        {"infinity literal in lower case", Replace(valid, "\"rhs\": 4", "\"rhs\": inf"),
         "inf is not a JSON value: write the text \"inf\" instead"},
        {"word that only begins like NaN", Replace(valid, "\"rhs\": 4", "\"rhs\": NaNa"),
         "line 9, column 52: invalid JSON value"},
        {"lone high surrogate", Replace(valid, "\"name\": \"x\"", "\"name\": \"x\\ud800\""),
         "invalid surrogate pair"},
        // A lone low surrogate passes the reader but would leave bytes that are not UTF-8.
        {"lone low surrogate in a text", Replace(valid, "\"name\": \"x\"", "\"name\": \"x\\udc00\""),
         "model.variables[0].name: a text may not contain an unpaired surrogate escape"},
        {"lone low surrogate in a key", Replace(valid, "\"name\": \"x\"", "\"\\udfff\": \"x\""),
         "model.variables[0]: a text may not contain an unpaired surrogate escape"},
        {"number too large for a double", Replace(valid, "\"rhs\": 4", "\"rhs\": 1.8e308"),
         "model.equations[0].rhs: the number 1.8e308 is out of range"},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

// The error keeps where the problem is apart from what it is: a position
// for text that is not JSON, a value's path for JSON that breaks the format
// (the format and version named before any other), nothing for the file as
// a whole; the whole refusal still fits one line.
TEST(LoaderReject, ErrorNamesThePlaceApartFromTheProblem) {
    const std::string valid = ValidRun();
    struct PlaceCase {
        const char* label;
        std::string content;
        const char* place;
        const char* problem;
    };
    const std::vector<PlaceCase> cases = {
        {"syntax", "{\n  \"format\": \"tarn-vdr\",\n  x\n}", "line 3, column 3",
         "a key in double quotes expected"},
        {"value", Replace(valid, "\"name\": \"m\"", "\"name\": \"m\", \"name\": \"n\""),
         "model.name", "the key is given twice"},
        {"format", "{\"version\": 1, \"case\": 5, \"format\": \"csv\"}", "format",
         "\"csv\" is not a run-data file format (\"tarn-vdr\" expected)"},
        {"the whole file", "", "", "the file is empty"},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.label);
        CTARNSolutionReporting reporting;
        const auto result = Load(reporting, c.content);
        const tarn::LoadError& error = reporting.LoadProblem();
        EXPECT_EQ(error.file, result.path);
        EXPECT_EQ(error.place, c.place);
        EXPECT_EQ(error.problem, c.problem);
    }
}

TEST(LoaderReject, KeysAndTypes) {
    const std::string valid = ValidRun();
    const std::vector<RejectCase> cases = {
        {"unknown key", Replace(valid, "{\"name\": \"x\"}", "{\"name\": \"x\", \"lo\": 1}"),
         "model.variables[0]: unknown key \"lo\""},
        {"unknown top-level key", Replace(valid, "\"version\": 1,", "\"version\": 1, \"extra\": 0,"),
         "unknown key \"extra\""},
        {"key given twice", Replace(valid, "\"name\": \"m\"", "\"name\": \"m\", \"name\": \"n\""),
         "model.name: the key is given twice"},
        {"required key missing", Replace(valid, "\"name\": \"m\",", ""),
         "model: the required key \"name\" is missing"},
        {"iterations missing",
         "{\"format\": \"tarn-vdr\", \"version\": 1, \"case\": {},"
         " \"model\": {\"name\": \"m\", \"variables\": [], \"equations\": []}}",
         "the required key \"iterations\" is missing"},
        {"wrong type bool for number", Replace(valid, "\"lower\": -1", "\"lower\": true"),
         "model.variables[1].lower: a number expected, found true"},
        {"null", Replace(valid, "\"lower\": -1", "\"lower\": null"),
         "model.variables[1].lower: a number expected, found null"},
        {"text for number", Replace(valid, "\"lower\": -1", "\"lower\": \"Inf\""),
         "a number expected, found the text \"Inf\""},
        {"number as text", Replace(valid, "\"lower\": -1", "\"lower\": \"1.5\""),
         "a number expected, found the text \"1.5\""},
        {"object for text", Replace(valid, "\"status\": \"Successful\"", "\"status\": {}"),
         "case.status: a text expected, found an object"},
        {"integer with fraction", Replace(valid, "\"type\": 1", "\"type\": 1.0"),
         "model.equations[0].type: an integer expected, found 1.0"},
        {"integer with exponent", Replace(valid, "\"type\": 1", "\"type\": 1e0"),
         "an integer expected, found 1e0"},
        {"16-bit integer out of range", Replace(valid, "\"type\": 1", "\"type\": 32768"),
         "the integer 32768 is out of range (-32768 to 32767)"},
        {"32-bit integer out of range", Replace(valid, "\"number\": 7", "\"number\": 2147483648"),
         "case.number: the integer 2147483648 is out of range"},
        {"integer beyond 64 bits", Replace(valid, "\"number\": 7", "\"number\": -99999999999999999999"),
         "out of range"},
        {"nonlinear as a fraction",
         Replace(valid, "\"rhs\": 4", "\"rhs\": 4, \"nonlinear\": 0.5"),
         "model.equations[0].nonlinear: an integer expected"},
        {"feasible as an integer",
         Replace(valid, "{\"variables\": [[1", "{\"feasible\": 1, \"variables\": [[1"),
         "iterations[0].feasible: true or false expected, found 1"},
        {"option value true",
         Replace(valid, "\"matrix\"", "\"options\": {\"A\": true}, \"matrix\""),
         "model.options.A: a text or a number expected, found true"},
        {"option given twice",
         Replace(valid, "\"matrix\"", "\"options\": {\"A\": 1, \"A\": 2}, \"matrix\""),
         "model.options.A: the key is given twice"},
        {"NUL in option name",
         Replace(valid, "\"matrix\"", "\"options\": {\"A\\u0000B\": 1}, \"matrix\""),
         "may not contain a NUL"},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

TEST(LoaderReject, TextsAndNames) {
    const std::string valid = ValidRun();
    const std::string at199(199, 'n');
    const std::vector<RejectCase> cases = {
        {"NUL in a text", Replace(valid, "\"test case\"", "\"test\\u0000case\""),
         "case.description: a text may not contain a NUL character"},
        {"date of 31 bytes",
         Replace(valid, "\"Mon Jan 15 10:30:00 2024\"", "\"" + std::string(31, 'd') + '"'),
         "case.date: the date is 31 bytes long, at most 30 are allowed"},
        {"date with a line break", Replace(valid, "\"Mon Jan 15 10:30:00 2024\"", "\"Mon\\n\""),
         "the date may not contain a line break"},
        {"most infeasible of 200 bytes",
         Replace(valid, "{\"variables\": [[1", "{\"most_infeasible\": \"" + at199 + "x\", \"variables\": [[1"),
         "iterations[0].most_infeasible: the name is 200 bytes long, at most 199"},
        {"empty variable name", Replace(valid, "{\"name\": \"x\"}", "{\"name\": \"\"}"),
         "model.variables[0].name: a variable name may not be empty"},
        {"duplicate variable name", Replace(valid, "{\"name\": \"y\"", "{\"name\": \"x\""),
         "model.variables[1].name: the name \"x\" is already the name of model.variables[0]"},
        {"duplicate equation name",
         Replace(valid, "[{\"name\": \"e1\", \"type\": 1, \"rhs\": 4}]",
                 "[{\"name\": \"e1\", \"type\": 1, \"rhs\": 4}, {\"name\": \"e1\"}]"),
         "model.equations[1].name: the name \"e1\" is already the name of model.equations[0]"},
        // Names are identifiers: no control character anywhere, no markup
        // character first; other texts keep theirs.
        {"tab in an equation name", Replace(valid, "\"e1\"", "\"e\\t1\""),
         "model.equations[0].name: a name may not contain a control character"},
        {"unit separator in a variable name", Replace(valid, "{\"name\": \"y\"", "{\"name\": \"y\\u001f\""),
         "model.variables[1].name: a name may not contain a control character"},
        {"delete in the model name", Replace(valid, "\"name\": \"m\"", "\"name\": \"m\x7f\""),
         "model.name: a name may not contain a control character"},
        {"control bytes shown escaped",
         Replace(valid, "{\"name\": \"x\"}", "{\"name\": \"x\", \"a\\nb\": 1}"),
         "unknown key \"a\\nb\""},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

TEST(LoaderReject, ReferencesAndCounts) {
    const std::string valid = ValidRun();
    const std::vector<RejectCase> cases = {
        {"matrix equation out of range", Replace(valid, "[[1, 1, 2.5]]", "[[1, 1, 2.5], [2, 1, 1]]"),
         "model.matrix[1]: equation 2 does not exist (the model has 1 equations)"},
        {"matrix variable 0", Replace(valid, "[[1, 1, 2.5]]", "[[1, 0, 2.5]]"),
         "model.matrix[0]: variable 0 does not exist"},
        {"matrix pair twice",
         Replace(valid, "[[1, 1, 2.5]]", "[[1, 2, 1], [1, 1, 2.5], [1, 2, 3], [1, 1, 4]]"),
         "model.matrix[2]: equation 1 and variable 2 already have a coefficient in "
         "model.matrix[0]"},
        // Of two pairs given twice, the one repeated first in the file is
        // named, whichever pair sorts first.
        {"matrix pair twice, the lower pair first",
         Replace(valid, "[[1, 1, 2.5]]", "[[1, 1, 1], [1, 2, 2.5], [1, 1, 3], [1, 2, 4]]"),
         "model.matrix[2]: equation 1 and variable 1 already have a coefficient in "
         "model.matrix[0]"},
        {"matrix entry of two values", Replace(valid, "[[1, 1, 2.5]]", "[[1, 1]]"),
         "model.matrix[0]: 2 values, 3 expected"},
        {"matrix number as float", Replace(valid, "[[1, 1, 2.5]]", "[[1.0, 1, 2.5]]"),
         "model.matrix[0][0]: an integer expected"},
        {"triple of two numbers", Replace(valid, "[2, 0, 0]", "[2, 0]"),
         "iterations[0].variables[1]: 2 numbers, 3 expected"},
        {"triple of four numbers", Replace(valid, "[2, 0, 0]", "[2, 0, 0, 0]"),
         "iterations[0].variables[1]: 4 numbers, 3 expected"},
        {"too few variable triples", Replace(valid, "[[1, 0, 0], [2, 0, 0]]", "[[1, 0, 0]]"),
         "iterations[0].variables: 1 triples, 2 expected (one per variable)"},
        {"too many equation triples", Replace(valid, "[[0, 0, 0]]", "[[0, 0, 0], [0, 0, 0]]"),
         "iterations[0].equations: 2 triples, 1 expected (one per equation)"},
        {"triple counts checked when iterations come first",
         "{\"iterations\": [{\"variables\": [], \"equations\": [[0,0,0]]}],"
         " \"format\": \"tarn-vdr\", \"version\": 1, \"case\": {},"
         " \"model\": {\"name\": \"m\", \"variables\": [{\"name\": \"x\"}], \"equations\": [{\"name\": \"e\"}]}}",
         "iterations[0].variables: 0 triples, 1 expected"},
        {"iter out of order",
         Replace(valid, "{\"variables\": [[1", "{\"iter\": 1, \"variables\": [[1"),
         "iterations[0].iter: iteration 1 found where iteration 0 was expected"},
        {"diagnosis equation out of range",
         Replace(valid, "\"iterations\"", "\"lp\": {\"diagnosis\": {\"equations\": [1, 5]}}, \"iterations\""),
         "lp.diagnosis.equations[1]: equation 5 does not exist (the model has 1 equations)"},
        {"diagnosis variable 0",
         Replace(valid, "\"iterations\"", "\"lp\": {\"diagnosis\": {\"variables\": [0]}}, \"iterations\""),
         "lp.diagnosis.variables[0]: variable 0 does not exist"},
        {"diagnosis before the model",
         "{\"lp\": {\"diagnosis\": {\"variables\": [2]}}, \"format\": \"tarn-vdr\", \"version\": 1,"
         " \"case\": {}, \"iterations\": [],"
         " \"model\": {\"name\": \"m\", \"variables\": [{\"name\": \"x\"}], \"equations\": []}}",
         "lp.diagnosis.variables[0]: variable 2 does not exist (the model has 1 variables)"},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

// An equation's algebraic form is shown on one line of the report.
TEST(LoaderReject, EquationForms) {
    const std::string valid = Replace(ValidRun(), "\"version\": 1", "\"version\": 2");
    const auto withForm = [&](const std::string& form) {
        return Replace(valid, "\"rhs\": 4}", "\"rhs\": 4, \"form\": " + form + "}");
    };
    std::string tooLong(65537 + 2, 'x');
    tooLong.front() = tooLong.back() = '"';
    const std::vector<RejectCase> cases = {
        // Named at the form wherever the version stands in the file.
        {"form in a version 1 file",
         Replace(Replace(withForm("\"x <= 4\""), "\"version\": 2,", ""), "\"iterations\"",
                 "\"version\": 1, \"iterations\""),
         "model.equations[0].form: an equation's form needs version 2 or later; the file is of version 1"},
        {"form not a text", withForm("3"), "model.equations[0].form: a text expected, found 3"},
        {"form with a line break", withForm("\"x <= 4\\n#endregion\""),
         "model.equations[0].form: a form may not contain a control character"},
        {"form with an escape", withForm("\"x\\u001b[2J <= 4\""),
         "model.equations[0].form: a form may not contain a control character"},
        {"form with DEL", withForm("\"x\x7f <= 4\""), "a form may not contain a control character"},
        {"form too long", withForm(tooLong),
         "model.equations[0].form: the form is 65537 bytes long, at most 65536 are allowed"},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

TEST(LoaderReject, FormatAndVersion) {
    const std::string valid = ValidRun();
    const std::vector<RejectCase> cases = {
        {"other format", Replace(valid, "\"tarn-vdr\"", "\"other\""),
         "format: \"other\" is not a run-data file format (\"tarn-vdr\" expected)"},
        {"version 3", Replace(valid, "\"version\": 1", "\"version\": 3"),
         "version: version 3 is not supported; this library reads versions 1 to 2"},
        {"version 0", Replace(valid, "\"version\": 1", "\"version\": 0"),
         "version 0 is not supported"},
        {"version as text", Replace(valid, "\"version\": 1", "\"version\": \"1\""),
         "version: an integer expected, found the text \"1\""},
        // A newer file's other differences come second to its version.
        {"version named before earlier problems",
         "{\"format\": \"tarn-vdr\", \"case\": {\"new_key\": 1}, \"model\": [], \"version\": 3}",
         "version: version 3 is not supported"},
        {"format named before earlier problems",
         "{\"version\": 1, \"case\": 5, \"format\": \"csv\"}",
         "format: \"csv\" is not a run-data file format"},
        {"format missing", Replace(valid, "\"format\": \"tarn-vdr\",", ""),
         "the required key \"format\" is missing"},
    };
    for (const auto& c : cases) ExpectRejected(c);
}

// The problem of the file as a whole: no place in it.
void ExpectFileProblem(const tarn::LoadError& error, const std::string& file, const char* problem) {
    EXPECT_EQ(error.file, file);
    EXPECT_EQ(error.place, "");
    EXPECT_EQ(error.problem, problem);
    EXPECT_EQ(error.Line(), file + std::string(": ") + problem);
}

TEST(LoaderReject, FileProblems) {
    CTARNSolutionReporting reporting;
    const std::string missing =
        (std::filesystem::temp_directory_path() / "libs_test_no_such_file.vdr").string();
    EXPECT_NE(reporting.ReadReportFile(missing.c_str()), 0);
    ExpectFileProblem(reporting.LoadProblem(), missing, "cannot open the file");

    const std::string directory = std::filesystem::temp_directory_path().string();
    EXPECT_NE(reporting.ReadReportFile(directory.c_str()), 0);
    ExpectFileProblem(reporting.LoadProblem(), directory, "cannot read the file");

    EXPECT_NE(reporting.ReadReportFile(nullptr), 0);
    ExpectFileProblem(reporting.LoadProblem(), "(no file name)", "no file name given");
    EXPECT_NE(reporting.ReadReportFile(""), 0);
    ExpectFileProblem(reporting.LoadProblem(), "", "no file name given");

    // Refused by its size before it is read; the file is sparse, so this
    // costs no disk space.
    const std::string big =
        (std::filesystem::temp_directory_path() / "libs_test_too_large.vdr").string();
    { std::ofstream create(big, std::ios::binary); }
    std::error_code error;
    std::filesystem::resize_file(big, (std::uintmax_t{1} << 30) + 1, error);
    if (!error) {
        EXPECT_NE(reporting.ReadReportFile(big.c_str()), 0);
        ExpectFileProblem(reporting.LoadProblem(), big,
                          "the file is 1073741825 bytes long; run-data files of at most "
                          "1073741824 bytes are read");
    }
    std::filesystem::remove(big, error);
}

TEST(LoaderReject, FailedLoadKeepsThePreviousRun) {
    CTARNSolutionReporting reporting;
    ASSERT_EQ(Load(reporting, ValidRun()).rc, 0);
    IVELDVariableSet* variables = nullptr;
    reporting.GetModelManager()->GetVariableSet(&variables);
    ASSERT_EQ(variables->GetCount(), 2);

    // The model part of this file is complete and valid; the failure comes
    // after it.
    const auto result = Load(reporting, Replace(Replace(ValidRun(), "\"name\": \"x\"", "\"name\": \"z\""),
                                                "[[0, 0, 0]]", "[]"));
    EXPECT_NE(result.rc, 0);
    EXPECT_EQ(variables->GetCount(), 2);
    EXPECT_NE(variables->Find("x"), nullptr);
    EXPECT_EQ(variables->Find("z"), nullptr);
    EXPECT_EQ(reporting.GetIterationList()->GetCount(), 1);
    EXPECT_EQ(reporting.GetCaseNumber(), 7);
}

TEST(LoaderReject, EveryTruncationAndByteDamage) {
    const std::string valid = ValidRun();
    CTARNSolutionReporting reporting;
    // Every proper prefix of a valid file is refused with one line.
    for (size_t size = 0; size < valid.size(); ++size) {
        const auto result = Load(reporting, valid.substr(0, size));
        ASSERT_NE(result.rc, 0) << "prefix of " << size << " bytes";
        ASSERT_FALSE(result.errorLine.empty()) << size;
        ASSERT_EQ(result.errorLine.find('\n'), std::string::npos) << size;
    }
    // Damaged bytes: the load either succeeds or fails with one line, and a
    // success leaves a consistent run.
    const char replacements[] = {'\0', '"', '{', ']', '9', '\xff', ',', '-', 'e'};
    for (size_t at = 0; at < valid.size(); at += 3) {
        for (char c : replacements) {
            std::string damaged = valid;
            damaged[at] = c;
            const auto result = Load(reporting, damaged);
            if (result.rc == 0) {
                EXPECT_EQ(result.errorLine, "");
                IVELDVariableSet* variables = nullptr;
                reporting.GetModelManager()->GetVariableSet(&variables);
                CTARNIterationData* last = reporting.GetIterationList()->GetAt(
                    reporting.GetIterationList()->GetCount());
                if (last != nullptr) {
                    EXPECT_EQ(last->m_solution->GetVariableCount(), variables->GetCount());
                }
            } else {
                ASSERT_FALSE(result.errorLine.empty()) << at;
                ASSERT_EQ(result.errorLine.find('\n'), std::string::npos)
                    << at << ": " << result.errorLine;
            }
        }
    }
}
