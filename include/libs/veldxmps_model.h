// How the solver library fills the model library's manager.
//
// Not part of the interface the report uses: the solver library's run-data
// loader collects a whole model in a ModelRecord and hands it over with
// ReplaceModel, which swaps it in only once every index has been built.
#pragma once

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
};

// One coefficient; equation and variable are item numbers from 1.
struct MatrixRecord {
    int equation;
    int variable;
    double coefficient;
};

struct ModelRecord {
    std::string name;
    std::vector<VariableRecord> variables;
    std::vector<EquationRecord> equations;
    std::vector<MatrixRecord> matrix;
    // False: the model has no option set (GetModelOptions hands out null).
    bool hasOptions = false;
    // (name, value text) in file order; names are unique.
    std::vector<std::pair<std::string, std::string>> options;
};

// A manager with an empty model.
VELD_API std::unique_ptr<IVELDMgr> CreateModelManager();

// Replaces the model of a manager made by CreateModelManager.  The record is
// consumed.  Throws std::invalid_argument (manager of another kind, empty or
// duplicate names, matrix references out of range or given twice) or
// std::bad_alloc; in both cases the manager keeps its previous model.
// Objects handed out before stay valid and show the new model.
VELD_API void ReplaceModel(IVELDMgr& manager, ModelRecord&& model);

// Shortest text that reads back as the same double: "inf", "-inf", "nan" for
// the non-finite values.  Independent of the C locale.
VELD_API std::string FormatNumber(double value);

// The text with line breaks shown as "\n" (and carriage returns as "\r"),
// so that it stays on one display line.
VELD_API std::string OneLine(const std::string& text);

// Test hook of the stand-in libraries.  When the environment variable
// TARN_STANDIN_FAULT holds the operation's name (or a comma-separated list
// containing it), the operation throws VELD_ExcpFileError instead of doing
// its work, so that tests of the report can check how a failing library
// call is handled.  Without the variable it does nothing.
VELD_API void FaultPoint(const char* operation);

}  // namespace veldxmps
