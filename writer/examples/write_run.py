#!/usr/bin/env python3
"""A small blending run written through the Python module: two components
into one product of at most 100 units whose quality may not exceed 2, the
initial point and two major iterations (the same run as write_run.c and
write_run.cpp write).

    write_run.py runs/blend.vdr && tarnreport runs/blend
"""

import sys

import tarn_rundata as td


def add_iteration(run, a, b, step, infeasible):
    """One entry of the iteration list: the point (a, b), its step and its
    infeasibility."""
    quality = (3 * a + 1 * b) / (a + b) - 2
    run.add_iteration(
        variables=[(a, step, 0), (b, step, 0.4)],
        equations=[(a + b - 100, 1.1, 0), (max(quality, 0), 0, infeasible)],
        nl_variables=2, nl_equations=1, feasible=infeasible <= 1e-6,
        objective=12 * a + 9 * b, infeasibility=infeasible,
        most_infeasible="QUALITY" if infeasible > 0 else "",
        information=["step boxes of 10 units"])


def main(target):
    with td.RunWriter(target) as run:
        run.set_case(number=7, description="Two-component blend")
        run.set_model_name("BLEND")
        a = run.add_variable("COMP_A", upper=100)
        b = run.add_variable("COMP_B", upper=100)
        total = run.add_equation("TOTAL", type=td.EquationType.LESS_EQUAL, rhs=100)
        quality = run.add_equation("QUALITY", type=td.EquationType.LESS_EQUAL, nonlinear=True)
        run.add_coefficient(total, a, 1)
        run.add_coefficient(total, b, 1)
        run.add_coefficient(quality, a, 1)
        run.add_coefficient(quality, b, -1)
        run.add_model_option("MININFTR", "AUTO")
        run.add_solver_option("MAXITER", 50)
        run.add_solver_option("STEP_REDUCTION", td.NumberAsWritten("0.50"))

        add_iteration(run, 60, 40, 10, 0.2)
        add_iteration(run, 50, 50, 10, 0)
        add_iteration(run, 50, 50, 5, 0)

        run.set_status(td.SUCCESSFUL)
        run.set_equation_values(total, 100)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: write_run.py RUN.vdr")
    try:
        main(sys.argv[1])
    except (td.RuleError, td.FileError) as error:
        sys.exit(f"write_run.py: {error}")
