// The model library's objects: sets, matrix walks, displays, the model
// builder, exceptions and the fault hook.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "libs/tarn.h"
#include "libs/veldxmps.h"
#include "libs/veldxmps_model.h"
#include "run_file.h"

using libs_test::Load;
using libs_test::Replace;
using libs_test::ValidRun;

namespace {

// Three variables and two equations with the matrix
//   e1: 2 a + 3 c      (entries given out of order in the file)
//   e2: 5 a - 1 c + 4 b
// Variable "b" appears only in e2; equation e3 is empty.
const char* kMatrixRun = R"({"format": "tarn-vdr", "version": 1, "case": {},
  "model": {"name": "m",
            "variables": [{"name": "a"}, {"name": "b"}, {"name": "c"}, {"name": "d"}],
            "equations": [{"name": "e1", "type": 1, "rhs": 4},
                          {"name": "e2", "type": 2, "rhs": -1.5},
                          {"name": "e3", "type": 4}],
            "matrix": [[2, 3, -1], [1, 3, 3], [2, 1, 5], [1, 1, 2], [2, 2, 4]]},
  "iterations": []})";

std::vector<std::string> RowWalk(IVELDMatrix* matrix, int row) {
    std::vector<std::string> names;
    for (IVELDMatrixEntry* e = matrix->GetFirstInRow(row); e != nullptr; e = matrix->GetNextInRow())
        names.push_back(std::string(e->GetVariable()->GetName()) + "@" + e->GetEquation()->GetName());
    return names;
}

std::vector<std::string> ColumnWalk(IVELDMatrix* matrix, int column) {
    std::vector<std::string> names;
    for (IVELDMatrixEntry* e = matrix->GetFirstInColumn(column); e != nullptr;
         e = matrix->GetNextInColumn())
        names.push_back(std::string(e->GetEquation()->GetName()) + "@" + e->GetVariable()->GetName());
    return names;
}

using Names = std::vector<std::string>;

// The display of a model built directly (not loaded) with one equation.
std::string DisplayOfOneEquation(const std::string& name, const std::string& form = "") {
    auto manager = veldxmps::CreateModelManager();
    veldxmps::ModelRecord record;
    record.equations.resize(1);
    record.equations[0].name = name;
    record.equations[0].form = form;
    veldxmps::ReplaceModel(*manager, std::move(record));
    std::ostringstream display;
    manager->DisplayAlgebraicModel(display);
    return display.str();
}

}  // namespace

TEST(Model, MatrixWalks) {
    CTARNSolutionReporting reporting;
    ASSERT_EQ(Load(reporting, kMatrixRun).rc, 0);
    IVELDMatrix* matrix = nullptr;
    reporting.GetModelManager()->GetMatrix(&matrix);
    ASSERT_NE(matrix, nullptr);

    EXPECT_EQ(RowWalk(matrix, 1), (Names{"a@e1", "c@e1"}));
    EXPECT_EQ(RowWalk(matrix, 2), (Names{"a@e2", "b@e2", "c@e2"}));
    EXPECT_EQ(RowWalk(matrix, 3), Names{});
    EXPECT_EQ(ColumnWalk(matrix, 1), (Names{"e1@a", "e2@a"}));
    EXPECT_EQ(ColumnWalk(matrix, 2), Names{"e2@b"});
    EXPECT_EQ(ColumnWalk(matrix, 3), (Names{"e1@c", "e2@c"}));
    EXPECT_EQ(ColumnWalk(matrix, 4), Names{});
    // Outside the model, one past the last row and column included.
    for (int outside : {0, -1, 4, 1 << 30}) EXPECT_EQ(matrix->GetFirstInRow(outside), nullptr);
    for (int outside : {0, -1, 5}) EXPECT_EQ(matrix->GetFirstInColumn(outside), nullptr);

    // The two kinds of walk have their own cursors: a column walk inside a
    // row walk does not disturb it.
    std::vector<double> coefficients;
    int inner = 0;
    for (IVELDMatrixEntry* e = matrix->GetFirstInRow(2); e != nullptr; e = matrix->GetNextInRow()) {
        coefficients.push_back(e->GetCoefficient());
        for (IVELDMatrixEntry* c = matrix->GetFirstInColumn(e->GetVariable()->GetNumber());
             c != nullptr; c = matrix->GetNextInColumn())
            ++inner;
    }
    EXPECT_EQ(coefficients, (std::vector<double>{5, 4, -1}));
    EXPECT_EQ(inner, 5);
    // Past the end the walk stays at its end.
    EXPECT_EQ(matrix->GetNextInRow(), nullptr);
    EXPECT_EQ(matrix->GetNextInRow(), nullptr);
}

TEST(Model, ZeroCoefficientsInTheAlgebraicModel) {
    auto manager = veldxmps::CreateModelManager();
    veldxmps::ModelRecord record;
    record.variables.resize(2);
    record.variables[0].name = "a";
    record.variables[1].name = "b";
    record.equations.resize(1);
    record.equations[0].name = "r";
    record.matrix = {{1, 1, 0.0}, {1, 2, 0.0}};
    veldxmps::ReplaceModel(*manager, std::move(record));
    std::ostringstream model;
    manager->DisplayAlgebraicModel(model);
    EXPECT_EQ(model.str(), "  r: 0*a + 0*b = 0\n");
}

TEST(Model, SetsFindAndGetAt) {
    CTARNSolutionReporting reporting;
    ASSERT_EQ(Load(reporting, kMatrixRun).rc, 0);
    IVELDVariableSet* variables = nullptr;
    IVELDEquationSet* equations = nullptr;
    reporting.GetModelManager()->GetVariableSet(&variables);
    reporting.GetModelManager()->GetEquationSet(&equations);
    ASSERT_EQ(variables->GetCount(), 4);
    ASSERT_EQ(equations->GetCount(), 3);

    std::string order;
    for (IVELDVariable* v = variables->GetFirst(); v != nullptr; v = variables->GetNext())
        order += std::string(v->GetName()) + std::to_string(v->GetNumber());
    EXPECT_EQ(order, "a1b2c3d4");
    EXPECT_EQ(variables->GetNext(), nullptr);
    EXPECT_STREQ(variables->GetFirst()->GetName(), "a");

    for (int number = 1; number <= 4; ++number) {
        IVELDVariable* v = nullptr;
        variables->GetAt(number, &v);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->GetNumber(), number);
        EXPECT_EQ(variables->Find(v->GetName()), v);
    }
    for (int outside : {0, -1, 5, 1 << 30}) {
        IVELDVariable* v = reinterpret_cast<IVELDVariable*>(1);
        variables->GetAt(outside, &v);
        EXPECT_EQ(v, nullptr) << outside;
        IVELDEquation* e = reinterpret_cast<IVELDEquation*>(1);
        equations->GetAt(outside == 5 ? 4 : outside, &e);
        EXPECT_EQ(e, nullptr) << outside;
    }
    EXPECT_EQ(variables->GetAt(1, nullptr), 0);  // no out-parameter: no crash

    // Names are compared byte by byte, whole.
    EXPECT_EQ(variables->Find("A"), nullptr);
    EXPECT_EQ(variables->Find("a "), nullptr);
    EXPECT_EQ(variables->Find(""), nullptr);
    EXPECT_EQ(variables->Find(nullptr), nullptr);
    EXPECT_EQ(equations->Find("e2")->GetNumber(), 2);
    EXPECT_EQ(equations->Find("a"), nullptr);

    // Preparing the indexes changes nothing visible.
    IVELDAuxiliary* auxiliary = nullptr;
    reporting.GetModelManager()->GetAuxiliaryObject(&auxiliary);
    ASSERT_NE(auxiliary, nullptr);
    auxiliary->Prepare();
    EXPECT_EQ(variables->Find("c")->GetNumber(), 3);
}

// The optimiser's own form replaces the linearised row; rows without one,
// and files without any, show the coefficients as before.
TEST(Model, EquationFormsInTheAlgebraicModel) {
    CTARNSolutionReporting reporting;
    const std::string run = Replace(
        Replace(Replace(ValidRun(), "\"version\": 1", "\"version\": 2"), "\"equations\": [[0, 0, 0]]",
                "\"equations\": [[0, 0, 0], [0, 0, 0]]"),
        R"("equations": [{"name": "e1", "type": 1, "rhs": 4}])",
        R"("equations": [{"name": "e1", "type": 1, "rhs": 4, "form": "0.5*x - 1.5*y + q*y \u00e9 <= 4"},
                         {"name": "e2", "form": ""}])");
    ASSERT_EQ(Load(reporting, run).rc, 0);
    std::ostringstream algebraic;
    reporting.GetModelManager()->DisplayAlgebraicModel(algebraic);
    EXPECT_EQ(algebraic.str(), "  e1: 0.5*x - 1.5*y + q*y \xC3\xA9 <= 4\n  e2: 0 = 0\n");
    // A model built directly may hold a form with a line break: it stays on its line.
    EXPECT_EQ(DisplayOfOneEquation("e", "x <= 1\n#endregion"), "  e: x <= 1\\n#endregion\n");
}

// Linearised coefficients are bracketed, whatever their place and sign in
// a row without a form, and a last line says what the brackets mean; a row
// with a form shows the form.
TEST(Model, LinearisedCoefficientsInTheAlgebraicModel) {
    CTARNSolutionReporting reporting;
    std::string run = Replace(kMatrixRun, "\"version\": 1", "\"version\": 2");
    run = Replace(run, "[2, 2, 4]]", "[2, 2, 4]], \"linearised\": [[2, 3], [1, 1], [2, 2]]");
    ASSERT_EQ(Load(reporting, run).errorLine, "");
    std::ostringstream model;
    reporting.GetModelManager()->DisplayAlgebraicModel(model);
    EXPECT_EQ(model.str(),
              "  e1: [2]*a + 3*c <= 4\n"
              "  e2: 5*a + [4]*b - [1]*c >= -1.5\n"
              "  e3: 0 (free row) rhs 0\n"
              "  [c]: the coefficient of a nonlinear term, the linearisation's value at the final point\n");

    run = Replace(run, "{\"name\": \"e1\", \"type\": 1, \"rhs\": 4}", "{\"name\": \"e1\", \"form\": \"a*a <= 4\"}");
    run = Replace(run, "[[2, 3], [1, 1], [2, 2]]", "[[1, 1]]");
    ASSERT_EQ(Load(reporting, run).errorLine, "");
    model.str("");
    reporting.GetModelManager()->DisplayAlgebraicModel(model);
    EXPECT_EQ(model.str(),
              "  e1: a*a <= 4\n"
              "  e2: 5*a + 4*b - 1*c >= -1.5\n"
              "  e3: 0 (free row) rhs 0\n");
}

TEST(Model, Displays) {
    CTARNSolutionReporting reporting;
    ASSERT_EQ(Load(reporting, kMatrixRun).rc, 0);
    std::ostringstream model;
    reporting.GetModelManager()->DisplayAlgebraicModel(model);
    EXPECT_EQ(model.str(),
              "  e1: 2*a + 3*c <= 4\n"
              "  e2: 5*a + 4*b - 1*c >= -1.5\n"
              "  e3: 0 (free row) rhs 0\n");

    // Option names and values that could break a line, or start one with a
    // region marker.
    const std::string run = Replace(
        Replace(ValidRun(), "\"matrix\"", R"("options": {"X": 1}, "matrix")"),
        "\"iterations\"",
        R"("solver": {"feasibility_tolerance": 1e-8,
                     "options": {"LOG": "a\nb", "#region 1, x": 2.50, "Z": "-inf"}},
           "lp": {"options": {"Crash": "on", "scale\r": "1"}},
           "iterations")");
    ASSERT_EQ(Load(reporting, run).rc, 0);
    std::ostringstream algebraic, solver, lp;
    reporting.GetModelManager()->DisplayAlgebraicModel(algebraic);
    reporting.GetOptionTable()->DisplayOptionTable(solver);
    reporting.GetLPOptions()->DisplayOptions(lp);
    EXPECT_EQ(algebraic.str(), "  e1: 2.5*x <= 4\n");
    // The loader refuses such item names; a model built directly may hold one.
    EXPECT_EQ(DisplayOfOneEquation("e\n#endregion"), "  e\\n#endregion: 0 = 0\n");
    EXPECT_EQ(solver.str(),
              "  feasibility_tolerance = 1e-08\n"
              "  delta_tolerance_1 = 0.001\n"
              "  delta_tolerance_2 = 1e-04\n"
              "  LOG = a\\nb\n"
              "  #region 1, x = 2.50\n"
              "  Z = -inf\n");
    EXPECT_EQ(lp.str(), "  Crash = on\n  scale\\r = 1\n");
    for (const std::string& text : {algebraic.str(), solver.str(), lp.str()}) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            EXPECT_NE(line.rfind("#region", 0), 0u) << line;
            EXPECT_NE(line.rfind("#endregion", 0), 0u) << line;
        }
    }
}

TEST(Model, ReplaceModelIsAllOrNothing) {
    auto manager = veldxmps::CreateModelManager();
    veldxmps::ModelRecord first;
    first.name = "first";
    first.variables.resize(2);
    first.variables[0].name = "u";
    first.variables[1].name = "v";
    first.equations.resize(1);
    first.equations[0].name = "r";
    first.matrix = {{1, 2, 1.0}};
    veldxmps::ReplaceModel(*manager, std::move(first));

    auto broken = [](auto change) {
        veldxmps::ModelRecord record;
        record.name = "broken";
        record.variables.resize(2);
        record.variables[0].name = "p";
        record.variables[1].name = "q";
        record.equations.resize(1);
        record.equations[0].name = "s";
        change(record);
        return record;
    };
    const std::vector<veldxmps::ModelRecord> faults = [&] {
        std::vector<veldxmps::ModelRecord> list;
        // Names and options are the loader's to check (LoaderReject).
        list.push_back(broken([](veldxmps::ModelRecord& r) { r.matrix = {{1, 3, 1.0}}; }));
        list.push_back(broken([](veldxmps::ModelRecord& r) { r.matrix = {{0, 1, 1.0}}; }));
        list.push_back(broken([](veldxmps::ModelRecord& r) { r.matrix = {{1, 1, 1.0}, {1, 1, 2.0}}; }));
        return list;
    }();
    for (auto record : faults) {
        EXPECT_THROW(veldxmps::ReplaceModel(*manager, std::move(record)), std::invalid_argument);
        std::string name;
        manager->GetModelName(name);
        EXPECT_EQ(name, "first");
        IVELDVariableSet* variables = nullptr;
        manager->GetVariableSet(&variables);
        EXPECT_NE(variables->Find("u"), nullptr);
        IVELDMatrix* matrix = nullptr;
        manager->GetMatrix(&matrix);
        IVELDMatrixEntry* entry = matrix->GetFirstInRow(1);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(entry->GetVariable()->GetName(), "v");
    }

    // A manager of another kind is refused.
    class Foreign : public IVELDMgr {
    public:
        void GetModelName(std::string&) const override {}
        int GetVariableSet(IVELDVariableSet**) override { return 0; }
        int GetEquationSet(IVELDEquationSet**) override { return 0; }
        int GetMatrix(IVELDMatrix**) override { return 0; }
        void DisplayAlgebraicModel(std::ostream&) override {}
        int GetModelOptions(IVELDOptionSet**) override { return 0; }
        void SetWorkingDirectory(const char*) override {}
        int GetAuxiliaryObject(IVELDAuxiliary**) override { return 0; }
        const char* GetWorkingDirectory() const override { return ""; }
    } foreign;
    EXPECT_THROW(veldxmps::ReplaceModel(foreign, veldxmps::ModelRecord{}), std::invalid_argument);

    manager->SetWorkingDirectory(nullptr);
    EXPECT_STREQ(manager->GetWorkingDirectory(), "");
}

TEST(Model, Exceptions) {
    VELD_ExcpFileError file("ReadModel", "model.mps", "unexpected end", 12);
    EXPECT_STREQ(file.what(), "model.mps, line 12: unexpected end");
    char buffer[8];
    file.GetExcpName(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "VELD_Ex");  // cut to the buffer, terminated
    file.GetExcpRoutine(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "ReadMod");
    file.GetExcpReason(nullptr, 10);
    file.GetExcpReason(buffer, 0);
    std::ostringstream shown;
    file.Display(shown);
    EXPECT_EQ(shown.str(), "VELD_ExcpFileError in ReadModel: model.mps, line 12: unexpected end\n");

    VELD_Exception empty(0, "", "", "");
    EXPECT_STREQ(empty.what(), "Unknown exception");

    VELD_ExcpBadAllocation allocation("Build", "matrix", 4096);
    std::ostringstream dumped;
    allocation.DumpErrorBuf(dumped);
    EXPECT_EQ(dumped.str(), "VELD_ExcpBadAllocation in Build: cannot allocate 4096 bytes for matrix\n");
    allocation.DumpErrorBuf(static_cast<FILE*>(nullptr));
}

TEST(Model, FaultHook) {
    CTARNSolutionReporting reporting;
    ASSERT_EQ(Load(reporting, ValidRun()).rc, 0);
    IVELDMgr* manager = reporting.GetModelManager();
    IVELDVariableSet* variables = nullptr;

    ASSERT_EQ(setenv("TARN_STANDIN_FAULT", "GetIterationList", 1), 0);
    EXPECT_THROW(reporting.GetIterationList(), VELD_ExcpFileError);
    EXPECT_NO_THROW(manager->GetVariableSet(&variables));

    setenv("TARN_STANDIN_FAULT", "Other,GetVariableSet", 1);
    try {
        manager->GetVariableSet(&variables);
        ADD_FAILURE() << "no exception";
    } catch (const VELD_Exception& e) {
        EXPECT_NE(std::string(e.what()).find("TARN_STANDIN_FAULT"), std::string::npos);
    }
    EXPECT_NO_THROW(reporting.GetIterationList());

    setenv("TARN_STANDIN_FAULT", "ReadReportFile", 1);
    EXPECT_THROW(reporting.ReadReportFile("any.vdr"), VELD_ExcpFileError);

    setenv("TARN_STANDIN_FAULT", "ReturnResidualSortedList", 1);
    int index[1] = {0};
    EXPECT_THROW(CTARN_Control::ReturnResidualSortedList(manager, reporting.GetIterationList()->GetAt(1),
                                                         1, index, 1),
                 VELD_ExcpFileError);

    setenv("TARN_STANDIN_FAULT", "GetVariableSetX", 1);  // whole names only
    EXPECT_NO_THROW(manager->GetVariableSet(&variables));
    unsetenv("TARN_STANDIN_FAULT");
    EXPECT_NO_THROW(reporting.GetIterationList());
}
