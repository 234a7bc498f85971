// A small blending run written through the C++ writer: two components into
// one product of at most 100 units whose quality may not exceed 2, the
// initial point and two major iterations (the same run as write_run.c and
// write_run.py write).
//
//     write_run_cpp runs/blend.vdr && tarnreport runs/blend
#include <cstdio>
#include <exception>
#include <string>
#include <tarn/run_writer.hpp>

namespace rd = tarn::rundata;

namespace {

// One entry of the iteration list: the point (a, b), its step and its
// infeasibility.
void AddIteration(rd::RunWriter& run, double a, double b, double step, double infeasible) {
    const rd::VariableTriple variables[] = {{a, step, 0}, {b, step, 0.4}};
    const double quality = (3 * a + 1 * b) / (a + b) - 2;
    const rd::EquationTriple equations[] = {{a + b - 100, 1.1, 0},
                                            {quality > 0 ? quality : 0, 0, infeasible}};
    const std::string information[] = {"step boxes of 10 units"};
    rd::Iteration iteration;
    iteration.nlVariables = 2;
    iteration.nlEquations = 1;
    iteration.feasible = infeasible <= 1e-6;
    iteration.objective = 12 * a + 9 * b;
    iteration.infeasibility = infeasible;
    iteration.mostInfeasible = infeasible > 0 ? "QUALITY" : "";
    iteration.information = information;
    iteration.variables = variables;
    iteration.equations = equations;
    run.AddIteration(iteration);
}

rd::Variable Component(const char* name) {
    rd::Variable variable;
    variable.name = name;
    variable.upper = 100;
    return variable;
}

rd::Equation Row(const char* name, int type, double rhs, int nonlinear) {
    rd::Equation equation;
    equation.name = name;
    equation.type = type;
    equation.rhs = rhs;
    equation.nonlinear = nonlinear;
    return equation;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_run_cpp RUN.vdr\n");
        return 2;
    }
    try {
        rd::RunWriter run(argv[1]);
        run.SetCase({7, "Two-component blend", std::nullopt, ""});  // dated when opened
        run.SetModelName("BLEND");
        const int a = run.AddVariable(Component("COMP_A"));
        const int b = run.AddVariable(Component("COMP_B"));
        const int total = run.AddEquation(Row("TOTAL", rd::EquationType::kLessEqual, 100, 0));
        const int quality = run.AddEquation(Row("QUALITY", rd::EquationType::kLessEqual, 0, 1));
        run.AddCoefficient(total, a, 1);
        run.AddCoefficient(total, b, 1);
        run.AddCoefficient(quality, a, 1);
        run.AddCoefficient(quality, b, -1);
        run.AddModelOption("MININFTR", "AUTO");
        run.AddSolverOption("MAXITER", 50);
        run.AddSolverOption("STEP_REDUCTION", rd::OptionValue::NumberAsWritten("0.50"));

        AddIteration(run, 60, 40, 10, 0.2);
        AddIteration(run, 50, 50, 10, 0);
        AddIteration(run, 50, 50, 5, 0);

        run.SetStatus(rd::kSuccessful);
        run.SetEquationValues(total, 100, 0);
        run.Close();
    } catch (const std::exception& error) {  // RuleError, FileError
        std::fprintf(stderr, "write_run_cpp: %s\n", error.what());
        return 1;
    }
    return 0;
}
