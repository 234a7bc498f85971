"""Each example run written again through the Python module: the report of
the copy must be the report of the original, byte for byte.  Then a run
broken on its way: a refused call changes nothing, and a run left by an
exception leaves no file.

    round_trip.py TARNREPORT DIRECTORY...   (tarn_rundata on PYTHONPATH)
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile

import tarn_rundata as td


class Number(str):
    """A number as the file writes it."""


def number(value):
    return {"inf": td.INFINITY, "+inf": td.INFINITY, "-inf": -td.INFINITY}.get(
        value, float(value))


def get(item, key, default):
    return number(item[key]) if key in item else default


def options(run, add, given):
    for name, value in given.items():
        add(name, td.NumberAsWritten(value) if isinstance(value, Number) else value)


def replay(source, target):
    with open(source, encoding="utf-8-sig") as file:
        data = json.load(file, parse_float=Number, parse_int=Number)
    with td.RunWriter(target) as run:
        case = data["case"]
        run.set_case(int(case.get("number", 0)), case.get("description", ""),
                     case.get("date", ""), case.get("status", ""))
        model = data["model"]
        run.set_model_name(model["name"])
        for v in model["variables"]:
            run.add_variable(v["name"], get(v, "lower", 0.0), get(v, "upper", td.INFINITY),
                             int(v.get("type", 1)), int(v.get("status", 1)),
                             get(v, "value", None))
        for position, e in enumerate(model["equations"], 1):
            run.add_equation(e["name"], int(e.get("type", 3)), get(e, "rhs", 0.0),
                             get(e, "value", 0.0), get(e, "scale", 1.0), get(e, "diag", 0.0),
                             int(e.get("nonlinear", 0)))
            if "form" in e:
                run.set_equation_form(position, e["form"])
        for equation, variable, coefficient in model.get("matrix", []):
            run.add_coefficient(int(equation), int(variable), number(coefficient))
        for equation, variable in model.get("linearised", []):
            run.mark_linearised(int(equation), int(variable))
        if "options" in model:
            run.use_model_options()
            options(run, run.add_model_option, model["options"])
        solver = data.get("solver", {})
        run.set_tolerances(get(solver, "feasibility_tolerance", 1e-6),
                           get(solver, "delta_tolerance_1", 1e-3),
                           get(solver, "delta_tolerance_2", 1e-4))
        options(run, run.add_solver_option, solver.get("options", {}))
        lp = data.get("lp", {})
        run.set_lp_status(int(lp.get("status", 0)))
        options(run, run.add_lp_option, lp.get("options", {}))
        for item in lp.get("diagnosis", {}).get("equations", []):
            run.add_diagnosis_equation(int(item))
        for item in lp.get("diagnosis", {}).get("variables", []):
            run.add_diagnosis_variable(int(item))
        for it in data["iterations"]:
            run.add_iteration(
                [[number(n) for n in t] for t in it["variables"]],
                [[number(n) for n in t] for t in it["equations"]],
                objective=get(it, "objective", 0.0), user_objective=get(it, "user_objective", None),
                feasible=it.get("feasible", False), infeasibility=get(it, "infeasibility", 0.0),
                nl_variables=int(it.get("nl_variables", 0)), nl_equations=int(it.get("nl_equations", 0)),
                p_function=get(it, "p_function", 0.0),
                nonlinearity_ratio=get(it, "nonlinearity_ratio", 0.0),
                objective_convergence=get(it, "objective_convergence", 0.0),
                residual_convergence=get(it, "residual_convergence", 0.0),
                variable_convergence=get(it, "variable_convergence", 0.0),
                most_infeasible=it.get("most_infeasible", ""), errors=it.get("errors", ()),
                warnings=it.get("warnings", ()), information=it.get("information", ()))


def report(tarnreport, run_data, directory):
    """The report program's status and the report of run_data."""
    os.makedirs(directory)
    shutil.copyfile(run_data, os.path.join(directory, "run.vdr"))
    status = subprocess.run([tarnreport, os.path.join(directory, "run")], capture_output=True).returncode
    log = os.path.join(directory, "run.log")
    return status, open(log, "rb").read() if os.path.exists(log) else b""


def check_broken_run(work, failures):
    target = os.path.join(work, "broken.vdr")
    try:
        with td.RunWriter(target) as run:
            run.add_variable("X")
            for bad in (lambda: run.add_variable("X"), lambda: run.add_variable("A\0B"),
                        lambda: run.set_case(description="\udc80"),
                        lambda: run.add_iteration([], [])):
                try:
                    bad()
                    failures.append("a broken call was not refused")
                except td.RuleError:
                    pass
            raise KeyboardInterrupt
    except KeyboardInterrupt:
        pass
    if os.listdir(work) != []:
        failures.append(f"a run left by an exception left {os.listdir(work)}")


def main():
    tarnreport, directories = sys.argv[1], sys.argv[2:]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        runs = sorted(os.path.join(d, f) for d in directories for f in os.listdir(d)
                      if f.endswith(".vdr"))
        for index, source in enumerate(runs):
            copy = os.path.join(work, f"copy{index}.vdr")
            replay(source, copy)
            original = report(tarnreport, source, os.path.join(work, f"a{index}"))
            copied = report(tarnreport, copy, os.path.join(work, f"b{index}"))
            if original != copied:
                failures.append(f"{source}: the report of the Python copy differs")
            print(f"{'ok' if original == copied else 'DIFFERS'}: {source}")
        broken = os.path.join(work, "broken")
        os.makedirs(broken)
        check_broken_run(broken, failures)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
