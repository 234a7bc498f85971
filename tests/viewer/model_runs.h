// Runs of one generated model with many variables and equations, whose
// final values are chosen so that which differ, by how much and in which
// order is known: for comparing runs.
#pragma once

#include <string>
#include <vector>

namespace model_runs {

constexpr int kVariables = 320;
constexpr int kEquations = 310;

std::string VariableName(int j);  // V0000000 ...
std::string EquationName(int i);  // E0000000 ...

// A final value of each variable and each equation's residual; the first
// iteration's values are all zero, so that only the last block tells.
struct FinalValues {
    std::vector<double> variables, equations;
};

// The run-data text of a run ending at these values.
std::string RunData(const FinalValues& values, const std::string& model = "MANY");

// Run A; run B, every final value different from A's (each by a different
// amount, variables by k + 0.5, equations by -(k + 0.25)); run C, some
// equal to A's.
FinalValues RunA();
FinalValues RunB();
FinalValues RunC();

struct ExpectedDifference {
    std::string name;
    bool variable;
    double a, b;
};
// The differences of two runs, largest first (the amounts are all
// different, so the order is one).
std::vector<ExpectedDifference> ExpectedDifferences(const FinalValues& a, const FinalValues& b);

}  // namespace model_runs
