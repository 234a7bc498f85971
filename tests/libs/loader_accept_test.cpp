// Files the loader takes, and the values and defaults it hands out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

#include "libs/tarn.h"
#include "run_file.h"

using libs_test::Load;
using libs_test::Replace;
using libs_test::ValidRun;

namespace {

void LoadOk(CTARNSolutionReporting& reporting, const std::string& content) {
    const auto result = Load(reporting, content);
    ASSERT_EQ(result.rc, 0) << result.errorLine;
    EXPECT_EQ(result.errorLine, "");
}

IVELDVariable* Variable(CTARNSolutionReporting& reporting, int number) {
    IVELDVariableSet* set = nullptr;
    reporting.GetModelManager()->GetVariableSet(&set);
    IVELDVariable* item = nullptr;
    set->GetAt(number, &item);
    return item;
}

IVELDEquation* Equation(CTARNSolutionReporting& reporting, int number) {
    IVELDEquationSet* set = nullptr;
    reporting.GetModelManager()->GetEquationSet(&set);
    IVELDEquation* item = nullptr;
    set->GetAt(number, &item);
    return item;
}

}  // namespace

TEST(LoaderAccept, DefaultsOfAMinimalFile) {
    CTARNSolutionReporting reporting;
    LoadOk(reporting,
           R"({"format": "tarn-vdr", "version": 1, "case": {},
               "model": {"name": "", "variables": [{"name": "x"}], "equations": [{"name": "e"}]},
               "iterations": [{"variables": [[1, 2, 3]], "equations": [[4, 5, 6]]},
                              {"objective": -2.5, "variables": [[7, 8, 9]], "equations": [[0, 0, 0]]}]})");
    EXPECT_EQ(reporting.GetCaseNumber(), 0);
    EXPECT_STREQ(reporting.GetCaseDescription(), "");
    EXPECT_STREQ(reporting.GetSolutionStatus(), "");
    char date[32];
    std::memset(date, 'z', sizeof date);
    reporting.GetExecutionDate(date);
    EXPECT_STREQ(date, "\n");
    EXPECT_EQ(reporting.GetLPStatus(), 0);
    EXPECT_EQ(reporting.GetLPDiagVarCount(), 0);
    EXPECT_EQ(reporting.GetLPDiagEqnCount(), 0);

    CTARNOptionTable* table = reporting.GetOptionTable();
    EXPECT_EQ(table->GetFeasTolerance(), 1e-6);
    EXPECT_EQ(table->GetDeltaTolerance1(), 1e-3);
    EXPECT_EQ(table->GetDeltaTolerance2(), 1e-4);
    std::ostringstream lpOptions;
    reporting.GetLPOptions()->DisplayOptions(lpOptions);
    EXPECT_EQ(lpOptions.str(), "");

    IVELDOptionSet* options = reinterpret_cast<IVELDOptionSet*>(1);
    reporting.GetModelManager()->GetModelOptions(&options);
    EXPECT_EQ(options, nullptr);

    IVELDVariable* x = Variable(reporting, 1);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->GetLowerBound(), 0.0);
    EXPECT_EQ(x->GetUpperBound(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(x->GetType(), 1);
    EXPECT_EQ(x->GetStatus(), 1);
    EXPECT_EQ(x->GetValue(), 7.0);  // from the last iteration's triple

    IVELDEquation* e = Equation(reporting, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetType(), 3);
    EXPECT_EQ(e->GetValue(), 0.0);
    EXPECT_EQ(e->GetScale(), 1.0);
    EXPECT_EQ(e->GetDiagValue(), 0.0);
    EXPECT_EQ(e->IsNonlinear(), 0);

    CTARNIterationList* list = reporting.GetIterationList();
    ASSERT_EQ(list->GetCount(), 2);
    CTARNIterationData* first = list->GetAt(1);
    CTARNIterationData* second = list->GetAt(2);
    EXPECT_EQ(list->GetAt(0), nullptr);
    EXPECT_EQ(list->GetAt(3), nullptr);
    EXPECT_EQ(first->GetIter(), 0);
    EXPECT_EQ(second->GetIter(), 1);
    EXPECT_EQ(second->GetObjValue(), -2.5);
    EXPECT_EQ(second->GetUserObj(), -2.5);  // defaults to the objective
    EXPECT_FALSE(second->GetFeasStatus());
    EXPECT_STREQ(second->GetFeasRowName(), "");
    EXPECT_EQ(second->errorMessages.GetCount(), 0);
    ASSERT_NE(second->m_solution, nullptr);
    EXPECT_NE(first->m_solution, second->m_solution);
    EXPECT_EQ(second->m_solution->GetVariableValues()[1], 8.0);
    EXPECT_EQ(first->m_solution->GetEquationValues()[2], 6.0);
    EXPECT_EQ(list->GetFirst(), first);
    EXPECT_EQ(list->GetNext(), second);
    EXPECT_EQ(list->GetNext(), nullptr);
}

TEST(LoaderAccept, NoIterationsGiveValueZero) {
    CTARNSolutionReporting reporting;
    LoadOk(reporting,
           R"({"format": "tarn-vdr", "version": 1, "case": {},
               "model": {"name": "m", "variables": [{"name": "x"}], "equations": []},
               "iterations": []})");
    EXPECT_EQ(Variable(reporting, 1)->GetValue(), 0.0);
    EXPECT_EQ(reporting.GetIterationList()->GetCount(), 0);
    EXPECT_EQ(reporting.GetIterationList()->GetFirst(), nullptr);
}

TEST(LoaderAccept, NumbersAndNonFiniteTexts) {
    CTARNSolutionReporting reporting;
    LoadOk(reporting,
           Replace(ValidRun(), "[{\"name\": \"x\"}, {\"name\": \"y\", \"lower\": -1, \"upper\": 10}]",
                   R"([{"name": "x", "lower": "-inf", "upper": "+inf", "value": "nan"},
                       {"name": "y", "lower": 1e-400, "upper": "inf", "value": -1.25E+2,
                        "type": -32768, "status": 32767}])"));
    IVELDVariable* x = Variable(reporting, 1);
    IVELDVariable* y = Variable(reporting, 2);
    EXPECT_EQ(x->GetLowerBound(), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(x->GetUpperBound(), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(x->GetValue()));
    EXPECT_FALSE(std::signbit(x->GetValue()));
    EXPECT_EQ(y->GetLowerBound(), 0.0);  // below the smallest double
    EXPECT_EQ(y->GetUpperBound(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(y->GetValue(), -125.0);  // given, not taken from the iteration
    EXPECT_EQ(y->GetType(), -32768);
    EXPECT_EQ(y->GetStatus(), 32767);
}

TEST(LoaderAccept, AllMembersAndKeyOrder) {
    CTARNSolutionReporting reporting;
    // Members in an unusual order: iterations and lp before the model.
    LoadOk(reporting, R"({
      "iterations": [
        {"iter": 0, "nl_variables": 2, "nl_equations": -3, "feasible": true, "p_function": 1.5,
         "nonlinearity_ratio": 0.25, "objective": 10, "user_objective": 11, "infeasibility": 0.5,
         "objective_convergence": 1, "residual_convergence": 2, "variable_convergence": 3,
         "most_infeasible": "e2", "errors": ["bad", ""], "warnings": ["w"],
         "information": ["i1", "i2", "i3"],
         "variables": [[1, 1e20, 0.5]], "equations": [[1, 2, 3], [4, 5, 6]]}],
      "lp": {"status": 2, "options": {"PRESOLVE": "off", "EPS": 1.0e-7},
             "diagnosis": {"equations": [2, 1], "variables": [1]}},
      "solver": {"feasibility_tolerance": 0.01, "delta_tolerance_1": 2, "delta_tolerance_2": 3,
                 "options": {"MAXITER": 50}},
      "model": {"name": "plant", "options": {"MININFTR": "NONE"},
                "variables": [{"name": "v"}],
                "equations": [{"name": "e1", "nonlinear": true, "diag": 0.5, "scale": 2, "value": 9},
                              {"name": "e2", "nonlinear": -7, "type": 5}]},
      "case": {"number": -2147483648, "description": "line one\nline two", "date": "",
               "status": "Infeasible"},
      "version": 1, "format": "tarn-vdr"
    })");
    std::string name;
    reporting.GetModelManager()->GetModelName(name);
    EXPECT_EQ(name, "plant");
    EXPECT_EQ(reporting.GetCaseNumber(), -2147483648);
    EXPECT_STREQ(reporting.GetCaseDescription(), "line one\nline two");
    EXPECT_STREQ(reporting.GetSolutionStatus(), "Infeasible");
    EXPECT_EQ(reporting.GetLPStatus(), 2);
    int* list = nullptr;
    ASSERT_EQ(reporting.GetLPDiagEqnCount(), 2);
    reporting.GetLPDiagEqnList(&list);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], 2);
    EXPECT_EQ(list[1], 1);
    ASSERT_EQ(reporting.GetLPDiagVarCount(), 1);
    reporting.GetLPDiagVarList(&list);
    EXPECT_EQ(list[0], 1);

    EXPECT_EQ(reporting.GetOptionTable()->GetFeasTolerance(), 0.01);
    EXPECT_EQ(reporting.GetOptionTable()->GetDeltaTolerance1(), 2.0);
    EXPECT_EQ(reporting.GetOptionTable()->GetDeltaTolerance2(), 3.0);

    IVELDEquation* e1 = Equation(reporting, 1);
    IVELDEquation* e2 = Equation(reporting, 2);
    EXPECT_EQ(e1->IsNonlinear(), 1);
    EXPECT_EQ(e1->GetDiagValue(), 0.5);
    EXPECT_EQ(e1->GetScale(), 2.0);
    EXPECT_EQ(e1->GetValue(), 9.0);
    EXPECT_EQ(e2->IsNonlinear(), -7);
    EXPECT_EQ(e2->GetType(), 5);
    EXPECT_EQ(Variable(reporting, 1)->GetValue(), 1.0);

    CTARNIterationData* it = reporting.GetIterationList()->GetAt(1);
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->GetNLVarNum(), 2);
    EXPECT_EQ(it->GetNLEqnNum(), -3);
    EXPECT_TRUE(it->GetFeasStatus());
    EXPECT_EQ(it->GetPFunction(), 1.5);
    EXPECT_EQ(it->GetNonLinRatio(), 0.25);
    EXPECT_EQ(it->GetObjValue(), 10.0);
    EXPECT_EQ(it->GetUserObj(), 11.0);
    EXPECT_EQ(it->GetFeasValue(), 0.5);
    EXPECT_EQ(it->GetObjConvFunc(), 1.0);
    EXPECT_EQ(it->GetResConvFunc(), 2.0);
    EXPECT_EQ(it->GetVarConvFunc(), 3.0);
    EXPECT_STREQ(it->GetFeasRowName(), "e2");
    EXPECT_EQ(it->errorMessages.GetCount(), 2);
    EXPECT_EQ(it->errorMessages.GetFirst(), "bad");
    EXPECT_EQ(it->errorMessages.GetNext(), "");
    EXPECT_EQ(it->warningMessages.GetCount(), 1);
    EXPECT_EQ(it->infoMessages.GetCount(), 3);
    EXPECT_EQ(it->infoMessages.GetFirst(), "i1");
    EXPECT_EQ(it->m_solution->GetVariableValues()[1], 1e20);
    EXPECT_EQ(it->m_solution->GetEquationCount(), 2);
    EXPECT_EQ(it->m_solution->GetEquationValues()[5], 6.0);

    // The iteration hands its message texts out as C strings it owns.
    int count = -1;
    char** texts = nullptr;
    EXPECT_EQ(it->GetInfoMessages(&count, &texts), 3);
    EXPECT_EQ(count, 3);
    ASSERT_NE(texts, nullptr);
    EXPECT_STREQ(texts[0], "i1");
    EXPECT_STREQ(texts[2], "i3");
    EXPECT_EQ(texts[3], nullptr);
    EXPECT_EQ(it->GetErrorMessages(&count, &texts), 2);
    EXPECT_STREQ(texts[1], "");
    double values[3] = {-1, -1, -1};
    EXPECT_EQ(it->GetEqnStructData(3, values, nullptr, nullptr), 2);
    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 4.0);
    EXPECT_EQ(values[2], -1.0);
}

TEST(LoaderAccept, OptionValuesAsWritten) {
    CTARNSolutionReporting reporting;
    LoadOk(reporting, Replace(ValidRun(), "\"matrix\"",
                              R"("options": {"A": 1.50, "B": 1E-3, "C": -0, "D": "two\nlines",
                                             "E": "", "F": 12345678901234567890123},
                                 "matrix")"));
    IVELDOptionSet* options = nullptr;
    reporting.GetModelManager()->GetModelOptions(&options);
    ASSERT_NE(options, nullptr);
    EXPECT_STREQ(options->GetOptionValue("A"), "1.50");
    EXPECT_STREQ(options->GetOptionValue("B"), "1E-3");
    EXPECT_STREQ(options->GetOptionValue("C"), "-0");
    EXPECT_STREQ(options->GetOptionValue("D"), "two\nlines");
    EXPECT_STREQ(options->GetOptionValue("E"), "");
    EXPECT_STREQ(options->GetOptionValue("F"), "12345678901234567890123");
    ASSERT_NE(options->GetOptionValue("a"), nullptr);
    EXPECT_STREQ(options->GetOptionValue("a"), "");
    EXPECT_STREQ(options->GetOptionValue(nullptr), "");

    // An empty option object is still a set.
    CTARNSolutionReporting other;
    LoadOk(other, Replace(ValidRun(), "\"matrix\"", "\"options\": {}, \"matrix\""));
    other.GetModelManager()->GetModelOptions(&options);
    ASSERT_NE(options, nullptr);
    EXPECT_STREQ(options->GetOptionValue("MININFTR"), "");
}

TEST(LoaderAccept, ExecutionDateAndEncodings) {
    CTARNSolutionReporting reporting;
    const std::string date30(30, 'd');
    // Byte order mark, escapes, multi-byte UTF-8 and a 30-byte date.
    LoadOk(reporting, "\xEF\xBB\xBF" + Replace(Replace(ValidRun(), "\"Mon Jan 15 10:30:00 2024\"",
                                                       "\"" + date30 + "\""),
                                               "\"test case\"", "\"caf\\u00e9 \xE2\x82\xAC \\ud83d\\ude00\""));
    char buffer[32];
    std::memset(buffer, 'z', sizeof buffer);
    reporting.GetExecutionDate(buffer);
    EXPECT_EQ(std::string(buffer), date30 + "\n");
    EXPECT_STREQ(reporting.GetCaseDescription(), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");

    LoadOk(reporting, ValidRun());
    reporting.GetExecutionDate(buffer);
    EXPECT_STREQ(buffer, "Mon Jan 15 10:30:00 2024\n");
    reporting.GetExecutionDate(nullptr);  // no buffer: nothing happens
}

// Only control characters and a leading '#' or '?' are refused in names;
// other texts keep their line breaks.
TEST(LoaderAccept, NamesWithMarkupCharactersInside) {
    CTARNSolutionReporting reporting;
    LoadOk(reporting,
           Replace(Replace(Replace(ValidRun(), "\"name\": \"m\"", "\"name\": \"m#?\""),
                           "{\"name\": \"x\"}", "{\"name\": \"x?#region \\u00e9\"}"),
                   "\"test case\"", "\"two\\nlines\\r\\t#endregion\""));
    EXPECT_STREQ(Variable(reporting, 1)->GetName(), "x?#region \xC3\xA9");
    std::string name;
    reporting.GetModelManager()->GetModelName(name);
    EXPECT_EQ(name, "m#?");
    EXPECT_STREQ(reporting.GetCaseDescription(), "two\nlines\r\t#endregion");
}

TEST(LoaderAccept, SecondLoadReplacesTheFirst) {
    CTARNSolutionReporting reporting;
    IVELDMgr* manager = reporting.GetModelManager();
    manager->SetWorkingDirectory("/runs/today");
    LoadOk(reporting, ValidRun());
    IVELDVariableSet* variables = nullptr;
    manager->GetVariableSet(&variables);
    EXPECT_EQ(variables->GetCount(), 2);

    LoadOk(reporting, Replace(Replace(Replace(ValidRun(), ", {\"name\": \"y\", \"lower\": -1, \"upper\": 10}", ""),
                                      "[[1, 0, 0], [2, 0, 0]]", "[[5, 0, 0]]"),
                              "\"number\": 7", "\"number\": 8"));
    // The same objects, showing the new run.
    EXPECT_EQ(reporting.GetModelManager(), manager);
    EXPECT_EQ(variables->GetCount(), 1);
    EXPECT_EQ(variables->Find("y"), nullptr);
    EXPECT_EQ(variables->Find("x")->GetValue(), 5.0);
    EXPECT_EQ(reporting.GetCaseNumber(), 8);
    EXPECT_STREQ(manager->GetWorkingDirectory(), "/runs/today");
}

// Every number is the double nearest to its decimal text, as strtod makes
// it, whichever way it is written: short decimals, exponents, 17 digits,
// long mantissas, values near the ends of the range.
TEST(LoaderAccept, NumbersRoundToTheNearestDouble) {
    std::vector<std::string> texts = {"0", "-0", "1", "0.1", "0.3", "-2.5e-3", "123456789012345",
                                      "1234567890123456", "9007199254740993", "1e22", "1e23",
                                      "4.35e22", "0.000000000000000000000001", "1.7976931348623157e308",
                                      "2.2250738585072014e-308", "4.9e-324", "2.47e-324", "1E+5",
                                      "3.0e0", "7.000000000000001", "0.1000000000000000055511151231257827"};
    std::mt19937_64 random(2024);
    char text[64];
    for (int i = 0; i < 3000; ++i) {
        const double value = std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 200) - 150);
        const char* formats[] = {"%.17g", "%.6g", "%.15g", "%.3e", "%.10f"};
        std::snprintf(text, sizeof text, formats[i % 5], i % 2 ? value : -value);
        texts.push_back(text);
    }
    while (texts.size() % 3 != 0) texts.push_back("1");
    std::string variables, triples;
    for (size_t v = 0; v < texts.size() / 3; ++v) {
        variables += (v ? ", " : "") + std::string("{\"name\": \"v") + std::to_string(v) + "\"}";
        triples += (v ? ", [" : "[") + texts[3 * v] + ", " + texts[3 * v + 1] + ", " + texts[3 * v + 2] + "]";
    }
    const std::string run = "{\"format\": \"tarn-vdr\", \"version\": 1, \"case\": {}, \"model\": {\"name\": \"m\", "
                            "\"variables\": [" + variables + "], \"equations\": []}, \"iterations\": "
                            "[{\"variables\": [" + triples + "], \"equations\": []}]}";
    CTARNSolutionReporting reporting;
    LoadOk(reporting, run);
    const CTARNIterationData* iteration = reporting.GetIterationList()->GetAt(1);
    ASSERT_NE(iteration, nullptr);
    const double* loaded = iteration->m_solution->GetVariableValues();
    for (size_t i = 0; i < texts.size(); ++i) {
        const double expected = std::strtod(texts[i].c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&loaded[i], &expected, sizeof expected), 0)
            << texts[i] << ": loaded " << loaded[i];
    }
}
