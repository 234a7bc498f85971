// An optimisation model with bilinear terms, as the SLP solver reads it:
// variables with bounds and a start, constraints and an objective, each a
// linear part plus bilinear terms coefficient * x * y.  The JSON form is
// described in slp/README.md.
#pragma once

#include <iosfwd>
#include <limits>
#include <string>
#include <vector>

namespace slp {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

enum class RowType { LessEqual, GreaterEqual, Equal };

struct Term {
    int variable;
    double coefficient;
};

struct Bilinear {
    int first, second;
    double coefficient;
};

struct Expression {
    std::vector<Term> linear;
    std::vector<Bilinear> bilinear;

    double Value(const std::vector<double>& x) const;
    bool IsNonlinear() const { return !bilinear.empty(); }
};

struct VariableSpec {
    std::string name;
    double lower = 0, upper = kInfinity, start = 0;
};

struct Constraint {
    std::string name;
    RowType type = RowType::Equal;
    double rhs = 0;
    Expression expression;
};

struct Model {
    std::string name, description;
    int caseNumber = 0;
    bool maximize = false;
    std::string objectiveName = "OBJECTIVE";
    Expression objective;
    std::vector<VariableSpec> variables;
    std::vector<Constraint> constraints;
};

// Text from a model file or a command line as messages show it: every
// control character (C0, DEL and the UTF-8 encoded C1) as \xHH.
std::string VisibleText(const std::string& text);

// Reads a model file; throws std::runtime_error naming the file, the place
// in it and the problem.
Model ReadModel(const std::string& path);

// Writes a model in the form ReadModel reads.
void WriteModel(const Model& model, std::ostream& out);

// A multi-period refinery planning model of about `scale` times 100
// variables: crudes into pools whose qualities are variables, pools and
// straight-run streams blended into products with quality limits.
Model RefineryModel(int scale);

}  // namespace slp
