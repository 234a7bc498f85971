#include "model_runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report_fixture.h"

namespace model_runs {

namespace {

std::string Numbered(char letter, int number) {
    char name[16];
    std::snprintf(name, sizeof name, "%c%07d", letter, number);
    return name;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

}  // namespace

std::string VariableName(int j) { return Numbered('V', j); }
std::string EquationName(int i) { return Numbered('E', i); }

std::string RunData(const FinalValues& values, const std::string& model) {
    ::RunData data;
    std::string first, last, firstRows, lastRows;
    for (int j = 0; j < kVariables; ++j) {
        const std::string comma = j > 0 ? ", " : "";
        data.variables += comma + R"({"name": ")" + VariableName(j) + R"(", "lower": -1000, "upper": 1000})";
        first += comma + "[0, 1e20, 0]";
        last += comma + "[" + Number(values.variables[j]) + ", 1e20, 0]";
    }
    for (int i = 0; i < kEquations; ++i) {
        const std::string comma = i > 0 ? ", " : "";
        data.equations += comma + R"({"name": ")" + EquationName(i) + R"("})";
        // Each equation holds two variables, so the algebraic model names them.
        data.matrix += comma + "[" + std::to_string(i + 1) + ", " + std::to_string(i % kVariables + 1) + ", 2], [" +
                       std::to_string(i + 1) + ", " + std::to_string((i + 7) % kVariables + 1) + ", -1.5]";
        firstRows += comma + "[0, 1, 1]";
        lastRows += comma + "[" + Number(values.equations[i]) + ", 1, 1]";
    }
    data.iterations = Iteration(first, firstRows) + ", " + Iteration(last, lastRows);
    std::string json = data.Json();
    const std::string demo = R"("name": "demo")";
    json.replace(json.find(demo), demo.size(), R"("name": ")" + model + "\"");
    return json;
}

FinalValues RunA() {
    FinalValues values;
    for (int j = 0; j < kVariables; ++j) values.variables.push_back(j + 1);
    for (int i = 0; i < kEquations; ++i) values.equations.push_back(0.25 * (i + 1));
    return values;
}

FinalValues RunB() {
    FinalValues values = RunA();
    for (int j = 0; j < kVariables; ++j) values.variables[j] += 2 * (j + 1) + 0.5;
    for (int i = 0; i < kEquations; ++i) values.equations[i] -= (i + 1) + 0.25;
    return values;
}

FinalValues RunC() {
    FinalValues values = RunA();
    for (int j = 1; j < kVariables; j += 2) values.variables[j] -= 3 + j;
    for (int i = 0; i < kEquations; i += 3) values.equations[i] += 1.5 + i;
    return values;
}

std::vector<ExpectedDifference> ExpectedDifferences(const FinalValues& a, const FinalValues& b) {
    std::vector<ExpectedDifference> differences;
    for (int j = 0; j < kVariables; ++j) {
        if (a.variables[j] != b.variables[j])
            differences.push_back({VariableName(j), true, a.variables[j], b.variables[j]});
    }
    for (int i = 0; i < kEquations; ++i) {
        if (a.equations[i] != b.equations[i])
            differences.push_back({EquationName(i), false, a.equations[i], b.equations[i]});
    }
    std::stable_sort(differences.begin(), differences.end(), [](const auto& x, const auto& y) {
        return std::fabs(x.b - x.a) > std::fabs(y.b - y.a);
    });
    return differences;
}

}  // namespace model_runs
