// The run-data format, described once: each object's members and each
// array's elements, innermost first, with what is done with each value.
// docs/run-data-format.md describes the same format for the file's writers.
#include "run_data_format.h"

#include <climits>
#include <limits>
#include <string>

#include "run_data_builder.h"
#include "run_data_rules.h"

namespace tarn {
namespace {

constexpr std::int64_t kI16Min = rules::kInt16.min, kI16Max = rules::kInt16.max;
constexpr std::int64_t kI32Min = rules::kInt32.min, kI32Max = rules::kInt32.max;
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();

constexpr Field Scalar(std::string_view name, Kind kind, StoreAction store, bool required) {
    Field field{};
    field.name = name;
    field.kind = kind;
    field.required = required;
    field.store = store;
    return field;
}
constexpr Field Text(std::string_view name, StoreAction store, bool required = false) {
    return Scalar(name, Kind::Text, store, required);
}
constexpr Field Number(std::string_view name, StoreAction store) {
    return Scalar(name, Kind::Number, store, false);
}
constexpr Field Bool(std::string_view name, StoreAction store) {
    return Scalar(name, Kind::Bool, store, false);
}
constexpr Field Integer(std::string_view name, std::int64_t min, std::int64_t max,
                        StoreAction store, bool required = false, Kind kind = Kind::Integer) {
    Field field = Scalar(name, kind, store, required);
    field.min = min;
    field.max = max;
    return field;
}
constexpr Field Child(std::string_view name, Kind kind, const Container& content,
                      bool required = false) {
    Field field = Scalar(name, kind, nullptr, required);
    field.content = &content;
    return field;
}
constexpr Field OptionValue(StoreAction store) {
    return Scalar("", Kind::TextOrNumber, store, false);
}

short Short(const Value& v) { return static_cast<short>(v.integer); }
int Int(const Value& v) { return static_cast<int>(v.integer); }

// --- iterations --------------------------------------------------------------

// A triple of a variable or an equation, into the list its array opened.
const Field kTripleNumber =
    Number("", [](RunBuilder& b, const Value& v) { b.AddTripleNumber(v.number); });
const Field kTripleNumbers[] = {kTripleNumber, kTripleNumber, kTripleNumber};
const Container kTriple = {Shape::Tuple, kTripleNumbers, "numbers"};
const Field kTripleElement[] = {Child("", Kind::Array, kTriple)};
const Container kVariableTriples = {Shape::Elements, kTripleElement, {},
                                    [](RunBuilder& b) { b.OpenTriples(true); },
                                    [](RunBuilder& b) { b.CloseTriples(true); }};
const Container kEquationTriples = {Shape::Elements, kTripleElement, {},
                                    [](RunBuilder& b) { b.OpenTriples(false); },
                                    [](RunBuilder& b) { b.CloseTriples(false); }};

const Field kError[] = {Text("", [](RunBuilder& b, const Value& v) {
    b.Iteration().errorMessages.Add(std::string(v.text));
})};
const Container kErrors = {Shape::Elements, kError};
const Field kWarning[] = {Text("", [](RunBuilder& b, const Value& v) {
    b.Iteration().warningMessages.Add(std::string(v.text));
})};
const Container kWarnings = {Shape::Elements, kWarning};
const Field kInformationItem[] = {Text("", [](RunBuilder& b, const Value& v) {
    b.Iteration().infoMessages.Add(std::string(v.text));
})};
const Container kInformation = {Shape::Elements, kInformationItem};

const Field kIterationMembers[] = {
    Integer("iter", kI32Min, kI32Max,
            [](RunBuilder& b, const Value& v) { b.SetIterationNumber(v.integer); }),
    Integer("nl_variables", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) {
        b.Iteration().SetNLCounts(Int(v), b.Iteration().GetNLEqnNum());
    }),
    Integer("nl_equations", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) {
        b.Iteration().SetNLCounts(b.Iteration().GetNLVarNum(), Int(v));
    }),
    Bool("feasible", [](RunBuilder& b, const Value& v) { b.Iteration().SetFeasStatus(v.flag); }),
    Number("p_function", [](RunBuilder& b, const Value& v) { b.Iteration().SetPFunction(v.number); }),
    Number("nonlinearity_ratio",
           [](RunBuilder& b, const Value& v) { b.Iteration().SetNonLinRatio(v.number); }),
    Number("objective", [](RunBuilder& b, const Value& v) { b.Iteration().SetObjValue(v.number); }),
    Number("user_objective", [](RunBuilder& b, const Value& v) { b.SetUserObjective(v.number); }),
    Number("infeasibility", [](RunBuilder& b, const Value& v) { b.Iteration().SetFeasValue(v.number); }),
    Number("objective_convergence",
           [](RunBuilder& b, const Value& v) { b.Iteration().SetObjConvFunc(v.number); }),
    Number("residual_convergence",
           [](RunBuilder& b, const Value& v) { b.Iteration().SetResConvFunc(v.number); }),
    Number("variable_convergence",
           [](RunBuilder& b, const Value& v) { b.Iteration().SetVarConvFunc(v.number); }),
    Text("most_infeasible", [](RunBuilder& b, const Value& v) { b.SetMostInfeasible(v.text); }),
    Child("errors", Kind::Array, kErrors),
    Child("warnings", Kind::Array, kWarnings),
    Child("information", Kind::Array, kInformation),
    Child("variables", Kind::Array, kVariableTriples, true),
    Child("equations", Kind::Array, kEquationTriples, true)};
const Container kIteration = {Shape::Members, kIterationMembers, {},
                              [](RunBuilder& b) { b.AddIteration(); },
                              [](RunBuilder& b) { b.CloseIteration(); }};
const Field kIterationElement[] = {Child("", Kind::Object, kIteration)};
const Container kIterations = {Shape::Elements, kIterationElement};

// --- solver and LP -----------------------------------------------------------

const Field kSolverOption[] = {OptionValue([](RunBuilder& b, const Value& v) {
    b.AddSolverOption(v.optionName, v.text);
})};
const Container kSolverOptions = {Shape::Options, kSolverOption};
const Field kSolverMembers[] = {
    Number("feasibility_tolerance", [](RunBuilder& b, const Value& v) { b.Run().feasTolerance = v.number; }),
    Number("delta_tolerance_1", [](RunBuilder& b, const Value& v) { b.Run().deltaTolerance1 = v.number; }),
    Number("delta_tolerance_2", [](RunBuilder& b, const Value& v) { b.Run().deltaTolerance2 = v.number; }),
    Child("options", Kind::Object, kSolverOptions)};
const Container kSolver = {Shape::Members, kSolverMembers};

const Field kDiagnosisEquation[] = {Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) {
    b.AddDiagnosisItem(v.integer, true);
})};
const Container kDiagnosisEquations = {Shape::Elements, kDiagnosisEquation};
const Field kDiagnosisVariable[] = {Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) {
    b.AddDiagnosisItem(v.integer, false);
})};
const Container kDiagnosisVariables = {Shape::Elements, kDiagnosisVariable};
const Field kDiagnosisMembers[] = {Child("equations", Kind::Array, kDiagnosisEquations),
                                   Child("variables", Kind::Array, kDiagnosisVariables)};
const Container kDiagnosis = {Shape::Members, kDiagnosisMembers};

const Field kLpOption[] = {OptionValue([](RunBuilder& b, const Value& v) {
    b.AddLpOption(v.optionName, v.text);
})};
const Container kLpOptions = {Shape::Options, kLpOption};
const Field kLpMembers[] = {
    Integer("status", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.Run().lpStatus = Int(v); }),
    Child("options", Kind::Object, kLpOptions),
    Child("diagnosis", Kind::Object, kDiagnosis)};
const Container kLp = {Shape::Members, kLpMembers, {}, nullptr,
                       [](RunBuilder& b) { b.CloseLp(); }};

// --- model -------------------------------------------------------------------

const Field kVariableMembers[] = {
    Text("name", [](RunBuilder& b, const Value& v) { b.SetVariableName(v.text); }, true),
    Number("lower", [](RunBuilder& b, const Value& v) { b.Variable().lower = v.number; }),
    Number("upper", [](RunBuilder& b, const Value& v) { b.Variable().upper = v.number; }),
    Integer("type", kI16Min, kI16Max, [](RunBuilder& b, const Value& v) { b.Variable().type = Short(v); }),
    Integer("status", kI16Min, kI16Max, [](RunBuilder& b, const Value& v) { b.Variable().status = Short(v); }),
    Number("value", [](RunBuilder& b, const Value& v) { b.SetVariableValue(v.number); })};
const Container kVariable = {Shape::Members, kVariableMembers, {},
                             [](RunBuilder& b) { b.AddVariable(); }};
const Field kVariableElement[] = {Child("", Kind::Object, kVariable)};
const Container kVariables = {Shape::Elements, kVariableElement};

const Field kEquationMembers[] = {
    Text("name", [](RunBuilder& b, const Value& v) { b.SetEquationName(v.text); }, true),
    Integer("type", kI16Min, kI16Max, [](RunBuilder& b, const Value& v) { b.Equation().type = Short(v); }),
    Number("rhs", [](RunBuilder& b, const Value& v) { b.Equation().rhs = v.number; }),
    Number("value", [](RunBuilder& b, const Value& v) { b.Equation().value = v.number; }),
    Number("scale", [](RunBuilder& b, const Value& v) { b.Equation().scale = v.number; }),
    Number("diag", [](RunBuilder& b, const Value& v) { b.Equation().diag = v.number; }),
    Integer("nonlinear", kI32Min, kI32Max,
            [](RunBuilder& b, const Value& v) { b.Equation().nonlinear = Int(v); }, false,
            Kind::BoolOrInteger),
    Text("form", [](RunBuilder& b, const Value& v) { b.SetEquationForm(v.text); })};
const Container kEquation = {Shape::Members, kEquationMembers, {},
                             [](RunBuilder& b) { b.AddEquation(); }};
const Field kEquationElement[] = {Child("", Kind::Object, kEquation)};
const Container kEquations = {Shape::Elements, kEquationElement};

// Item numbers are checked against the model once it is complete.
const Field kMatrixEntryValues[] = {
    Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.MatrixEntry().equation = Int(v); }),
    Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.MatrixEntry().variable = Int(v); }),
    Number("", [](RunBuilder& b, const Value& v) { b.MatrixEntry().coefficient = v.number; })};
const Container kMatrixEntry = {Shape::Tuple, kMatrixEntryValues, "values", [](RunBuilder& b) {
    b.Run().model.matrix.push_back({0, 0, 0.0});
}};
const Field kMatrixElement[] = {Child("", Kind::Array, kMatrixEntry)};
const Container kMatrix = {Shape::Elements, kMatrixElement};

const Field kLinearisedPairValues[] = {
    Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.LinearisedPair().equation = Int(v); }),
    Integer("", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.LinearisedPair().variable = Int(v); })};
const Container kLinearisedPair = {Shape::Tuple, kLinearisedPairValues, "values",
                                   [](RunBuilder& b) { b.AddLinearisedPair(); }};
const Field kLinearisedElement[] = {Child("", Kind::Array, kLinearisedPair)};
const Container kLinearised = {Shape::Elements, kLinearisedElement};

const Field kModelOption[] = {OptionValue([](RunBuilder& b, const Value& v) {
    b.AddModelOption(v.optionName, v.text);
})};
const Container kModelOptions = {Shape::Options, kModelOption, {},
                                 [](RunBuilder& b) { b.Run().model.hasOptions = true; }};

const Field kModelMembers[] = {
    Text("name", [](RunBuilder& b, const Value& v) { b.SetModelName(v.text); }, true),
    Child("variables", Kind::Array, kVariables, true),
    Child("equations", Kind::Array, kEquations, true),
    Child("matrix", Kind::Array, kMatrix),
    Child("linearised", Kind::Array, kLinearised),
    Child("options", Kind::Object, kModelOptions)};
const Container kModel = {Shape::Members, kModelMembers, {}, nullptr,
                          [](RunBuilder& b) { b.CloseModel(); }};

// --- the top level -----------------------------------------------------------

const Field kCaseMembers[] = {
    Integer("number", kI32Min, kI32Max, [](RunBuilder& b, const Value& v) { b.Run().caseNumber = Int(v); }),
    Text("description", [](RunBuilder& b, const Value& v) { b.Run().description.assign(v.text); }),
    Text("date", [](RunBuilder& b, const Value& v) { b.SetDate(v.text); }),
    Text("status", [](RunBuilder& b, const Value& v) { b.Run().status.assign(v.text); })};
const Container kCase = {Shape::Members, kCaseMembers};

const Field kRunDataMembers[] = {
    Text("format", [](RunBuilder& b, const Value& v) { b.SetFormat(v.text); }, true),
    Integer("version", kI64Min, kI64Max, [](RunBuilder& b, const Value& v) { b.SetVersion(v.integer); }, true),
    Child("case", Kind::Object, kCase, true),
    Child("model", Kind::Object, kModel, true),
    Child("solver", Kind::Object, kSolver),
    Child("lp", Kind::Object, kLp),
    Child("iterations", Kind::Array, kIterations, true)};
const Container kRunData = {Shape::Members, kRunDataMembers};

}  // namespace

const Container& RunDataFormat() { return kRunData; }

}  // namespace tarn
