// How the solver library fills the model library's manager.
//
// Not part of the interface the report uses: the solver library's run-data
// loader collects a whole model in a ModelRecord and hands it over with
// ReplaceModel, which swaps it in only once every index has been built.
#pragma once

#include <iosfwd>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "libs/export.h"
#include "libs/veldxmps.h"

namespace veldxmps {

struct VariableRecord {
    std::string name;
    double lower = 0.0;
    double upper = std::numeric_limits<double>::infinity();
    double value = 0.0;
    short type = VariableType::kContinuous;
    short status = VariableStatus::kOptimised;
};

struct EquationRecord {
    std::string name;
    double rhs = 0.0;
    double value = 0.0;
    double scale = 1.0;
    double diag = 0.0;
    int nonlinear = 0;
    short type = RowKind::kEquality;
    std::string form;  // the equation as the optimiser writes it; empty when not given
};

// One coefficient; equation and variable are item numbers from 1.
struct MatrixRecord {
    int equation;
    int variable;
    double coefficient;
};

// A coefficient of a nonlinear term, which the matrix holds as the
// linearisation's value at the point the optimiser wrote it: item numbers
// from 1 of a pair that has a coefficient.
struct LinearisedRecord {
    int equation;
    int variable;
};

struct ModelRecord {
    std::string name;
    std::vector<VariableRecord> variables;
    std::vector<EquationRecord> equations;
    std::vector<MatrixRecord> matrix;
    std::vector<LinearisedRecord> linearised;  // each pair at most once
    // False: the model has no option set (GetModelOptions hands out null).
    bool hasOptions = false;
    // (name, value text) in file order; names are unique.
    std::vector<std::pair<std::string, std::string>> options;
};

// The first problem of a coefficient list for a model of the given numbers
// of variables and equations: the first entry naming an item the model does
// not have (its equation looked at before its variable); failing that, the
// first entry whose (equation, variable) pair an earlier entry already has.
struct MatrixProblem {
    enum class Kind { None, NoSuchEquation, NoSuchVariable, PairRepeated };
    Kind kind = Kind::None;
    size_t entry = 0;    // position of the entry in the list
    size_t earlier = 0;  // PairRepeated: the first entry with the same pair
};
VELD_API MatrixProblem FindMatrixProblem(const std::vector<MatrixRecord>& matrix,
                                         size_t variables, size_t equations);

// A manager with an empty model.
VELD_API std::unique_ptr<IVELDMgr> CreateModelManager();

// Replaces the model of a manager made by CreateModelManager.  The record is
// consumed.  Throws std::invalid_argument (manager of another kind, a
// problem FindMatrixProblem finds, or a linearised pair without a
// coefficient) or std::bad_alloc; in both cases the
// manager keeps its previous model.  Objects handed out before stay valid
// and show the new model.  Names are taken as they are: the run-data loader
// refuses empty names, names given twice and options given twice; where a
// name is given twice all the same, Find returns the first item of that
// name, and GetOptionValue the first value.
VELD_API void ReplaceModel(IVELDMgr& manager, ModelRecord&& model);

// Shortest text that reads back as the same double: "inf", "-inf", "nan" for
// the non-finite values.  Independent of the C locale.
VELD_API std::string FormatNumber(double value);

// The text with line breaks shown as "\n" (and carriage returns as "\r"),
// so that it stays on one display line, and every other control character
// but the tab (C0, DEL, and C1 as its two UTF-8 bytes) as "\xHH".
VELD_API std::string OneLine(const std::string& text);

// Writes the text as OneLine shows it, straight to the stream: a long text
// is never copied.
VELD_API void WriteOneLine(std::ostream& out, const std::string& text);

// Test hook of the stand-in libraries.  When the environment variable
// TARN_STANDIN_FAULT holds the operation's name (or a comma-separated list
// containing it), the operation throws VELD_ExcpFileError instead of doing
// its work, so that tests of the report can check how a failing library
// call is handled.  Without the variable it does nothing.
VELD_API void FaultPoint(const char* operation);

}  // namespace veldxmps
