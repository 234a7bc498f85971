/* A small blending run written through the C interface of tarnrundata:
 * two components into one product of at most 100 units whose quality may
 * not exceed 2, the initial point and two major iterations.
 *
 *     write_run_c runs/blend.vdr && tarnreport runs/blend
 */
#include <stdio.h>
#include <stdlib.h>
#include <tarn/run_writer.h>

/* Ends the program when a call fails, with the writer's words. */
static void check(tarn_run_writer* run, int status, const char* what) {
    if (status == TARN_RUNDATA_OK) return;
    fprintf(stderr, "write_run_c: %s: %s\n", what, tarn_run_writer_error(run));
    tarn_run_writer_free(run); /* no file is left behind */
    exit(1);
}

static int add_variable(tarn_run_writer* run, const char* name, double upper) {
    tarn_variable variable = tarn_variable_defaults();
    int number = 0;
    variable.name = name;
    variable.upper = upper;
    check(run, tarn_run_writer_add_variable(run, &variable, &number), name);
    return number;
}

static int add_equation(tarn_run_writer* run, const char* name, int type, double rhs,
                        int nonlinear) {
    tarn_equation equation = tarn_equation_defaults();
    int number = 0;
    equation.name = name;
    equation.type = type;
    equation.rhs = rhs;
    equation.nonlinear = nonlinear;
    check(run, tarn_run_writer_add_equation(run, &equation, &number), name);
    return number;
}

/* One entry of the iteration list: the point (a, b), its objective and its
 * infeasibility. */
static void add_iteration(tarn_run_writer* run, double a, double b, double step, double infeasible) {
    const double variables[] = {a, step, 0, b, step, 0.4};
    const double quality = (3 * a + 1 * b) / (a + b) - 2;
    const double equations[] = {a + b - 100, 1.1, 0, quality > 0 ? quality : 0, 0, infeasible};
    const char* information[] = {"step boxes of 10 units"};
    tarn_iteration iteration = tarn_iteration_defaults();
    iteration.nl_variables = 2;
    iteration.nl_equations = 1;
    iteration.feasible = infeasible <= 1e-6;
    iteration.objective = 12 * a + 9 * b;
    iteration.infeasibility = infeasible;
    iteration.most_infeasible = infeasible > 0 ? "QUALITY" : "";
    iteration.information = information;
    iteration.information_count = 1;
    iteration.variables = variables;
    iteration.variable_count = 2;
    iteration.equations = equations;
    iteration.equation_count = 2;
    check(run, tarn_run_writer_add_iteration(run, &iteration), "iteration");
}

int main(int argc, char** argv) {
    tarn_run_writer* run = NULL;
    int a, b, total, quality;
    if (argc != 2) {
        fprintf(stderr, "usage: write_run_c RUN.vdr\n");
        return 2;
    }
    if (tarn_run_writer_open(argv[1], &run) != TARN_RUNDATA_OK) {
        fprintf(stderr, "write_run_c: %s\n", tarn_run_writer_error(run));
        tarn_run_writer_free(run);
        return 1;
    }
    /* A NULL date: the time the writer was opened. */
    check(run, tarn_run_writer_set_case(run, 7, "Two-component blend", NULL, ""), "case");
    check(run, tarn_run_writer_set_model_name(run, "BLEND"), "model name");
    a = add_variable(run, "COMP_A", 100);
    b = add_variable(run, "COMP_B", 100);
    total = add_equation(run, "TOTAL", TARN_EQUATION_LESS_EQUAL, 100, 0);
    quality = add_equation(run, "QUALITY", TARN_EQUATION_LESS_EQUAL, 0, 1);
    check(run, tarn_run_writer_add_coefficient(run, total, a, 1), "matrix");
    check(run, tarn_run_writer_add_coefficient(run, total, b, 1), "matrix");
    check(run, tarn_run_writer_add_coefficient(run, quality, a, 1), "matrix");
    check(run, tarn_run_writer_add_coefficient(run, quality, b, -1), "matrix");
    check(run, tarn_run_writer_add_option_text(run, TARN_OPTIONS_MODEL, "MININFTR", "AUTO"), "option");
    check(run, tarn_run_writer_add_option_number(run, TARN_OPTIONS_SOLVER, "MAXITER", 50), "option");
    check(run, tarn_run_writer_add_option_number_text(run, TARN_OPTIONS_SOLVER, "STEP_REDUCTION", "0.50"),
          "option");

    add_iteration(run, 60, 40, 10, 0.2);
    add_iteration(run, 50, 50, 10, 0);
    add_iteration(run, 50, 50, 5, 0);

    check(run, tarn_run_writer_set_status(run, "Successful"), "status");
    check(run, tarn_run_writer_set_equation_values(run, total, 100, 0), "final values");
    check(run, tarn_run_writer_close(run), "close");
    tarn_run_writer_free(run);
    return 0;
}
