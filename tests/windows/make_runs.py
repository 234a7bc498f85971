#!/usr/bin/env python3
"""Writes the run-data cases that the Windows and Linux builds both report.

    make_runs.py OUTDIR [PROJECT_DIR]

With PROJECT_DIR, the example runs and the run-data files of the tests are
cases too.

Each case is a directory OUTDIR/NAME holding its files and case.json:
{"args": [...tarnreport arguments...], "env": {...}, "ok": BOOL} (env values
replace the caller's; KORMOPTIONS and TARN_STANDIN_FAULT are unset unless
given; ok: every report of the run is written, null when either may be).  The
values are made by a fixed generator, so every run writes the same files.
"""
import json
import os
import shutil
import sys

INF, NAN = "inf", "nan"


class Numbers:
    """A small linear congruential generator: the same sequence everywhere."""

    def __init__(self, seed):
        self.state = seed

    def unit(self):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % 2**64
        return (self.state >> 11) / float(2**53)

    def value(self, scale=100.0):
        # Mixed magnitudes and signs, rounded so the file holds short numbers.
        magnitude = 10 ** (self.unit() * 8 - 4)
        sign = -1 if self.unit() < 0.4 else 1
        return float("%.6g" % (sign * magnitude * scale / 100.0))


def model(name, variables, equations, matrix=(), options=None):
    result = {"name": name, "variables": variables, "equations": equations,
              "matrix": [list(entry) for entry in matrix]}
    if options is not None:
        result["options"] = options
    return result


def run(case, model_part, iterations, solver=None, lp=None):
    data = {"format": "tarn-vdr", "version": 1, "case": case, "model": model_part,
            "iterations": iterations}
    if solver is not None:
        data["solver"] = solver
    if lp is not None:
        data["lp"] = lp
    return data


def iteration(variables, equations, **fields):
    entry = dict(fields)
    entry["variables"] = variables
    entry["equations"] = equations
    return entry


def small_model(name="SMALL", options=None):
    variables = [
        {"name": "X1", "lower": 0, "upper": 10},
        {"name": "X2", "lower": "-inf", "upper": "inf"},
        {"name": "BIN", "lower": 0, "upper": 1, "type": 2},
        {"name": "INT", "lower": 0, "upper": 8, "type": 3, "status": 3},
        {"name": "SEMI", "lower": 1, "upper": 5, "type": 4, "status": 203},
        {"name": "CALC", "lower": -3, "upper": 3, "status": 2},
    ]
    equations = [
        {"name": "LE_ROW", "type": 1, "rhs": 4, "value": 3.5},
        {"name": "GE_ROW", "type": 2, "rhs": 1, "nonlinear": True, "value": 1.25},
        {"name": "EQ_ROW", "type": 3, "nonlinear": 2, "value": 0.5, "scale": 0.25},
        {"name": "FREE", "type": 4, "value": -1},
        {"name": "OBJ", "type": 5, "value": 12.5},
    ]
    matrix = [(1, 1, 1.0), (1, 2, 2.0), (2, 2, -1.5), (2, 5, 1.0), (3, 1, 0.5),
              (3, 6, 2.0), (4, 3, 1.0), (5, 1, 3.0), (5, 4, -1.0)]
    return model(name, variables, equations, matrix, options)


def small_iterations(count=3, infeasible_last=False):
    result = []
    for p in range(count):
        shift = 0.5 * p
        result.append(iteration(
            [[1 + shift, 0.5, 0.25 * p], [-2 - shift, "inf", 0.0], [1.0, 1e20, 0.0],
             [4.0, 0.0, -0.5], [1 + p, 1.0, 0.0], [3.0 - shift, 0.5, 1.5]],
            [[0.01 * p, 1.0, 0.0], [-0.02, -2.5, 0.3 if infeasible_last and p == count - 1 else 0.0],
             [1e-7, 0.5, 0.0], [0.0, 0.0, 0.0], [0.0, 1.0, 0.0]],
            objective=12.5 - p, infeasibility=0.3 / (p + 1), objective_convergence=0.1 / (p + 1),
            residual_convergence=0.2 / (p + 1), variable_convergence=0.05 * p,
            nonlinearity_ratio=0.5 - 0.1 * p, most_infeasible="GE_ROW" if p < 2 else "",
            feasible=not (infeasible_last and p == count - 1), nl_variables=2, nl_equations=2))
    return result


def header(number=7, description="a run", date="Mon Jan 15 10:30:00 2024", status="Successful"):
    return {"number": number, "description": description, "date": date, "status": status}


def solver_part(options=None):
    return {"feasibility_tolerance": 1e-6, "delta_tolerance_1": 1e-3, "delta_tolerance_2": 1e-4,
            "options": options or {"ITERLIM": 50, "PENALTY": "adaptive"}}


def large_run(variables, equations, iterations, seed):
    numbers = Numbers(seed)
    var_items = []
    for i in range(variables):
        item = {"name": "V%04d" % (i + 1), "lower": -100 if i % 3 else 0, "upper": 100 + i}
        if i % 7 == 0:
            item["type"] = 3
        if i % 11 == 0:
            item["status"] = 2
        var_items.append(item)
    eqn_items = []
    for j in range(equations):
        eqn_items.append({"name": "ROW_%03d" % (j + 1), "type": 1 + j % 4,
                          "nonlinear": j % 3 == 0, "value": numbers.value(), "scale": 1 + j % 2})
    eqn_items[-1]["type"] = 5
    matrix = []
    for j in range(equations):
        for k in range(3):
            matrix.append((j + 1, (j * 7 + k * 13) % variables + 1, numbers.value()))
    matrix = sorted(set((e, v) for e, v, _ in matrix))
    matrix = [(e, v, numbers.value()) for e, v in matrix]
    its = []
    for p in range(iterations):
        its.append(iteration(
            [[numbers.value(), numbers.value(10.0) if i % 5 else 1e20, numbers.value()]
             for i in range(variables)],
            [[numbers.value(), numbers.value(), numbers.value() if p == iterations - 1 else 0.0]
             for _ in range(equations)],
            objective=numbers.value(1e4), infeasibility=abs(numbers.value()),
            objective_convergence=abs(numbers.value(1.0)),
            residual_convergence=abs(numbers.value(1.0)),
            variable_convergence=abs(numbers.value(1.0)), nonlinearity_ratio=numbers.unit(),
            most_infeasible="ROW_%03d" % (p + 1), feasible=p != iterations - 1,
            nl_variables=variables // 3, nl_equations=equations // 3))
    return run(header(1234, "large generated run", status="Infeasible"),
               model("LARGE", var_items, eqn_items, matrix, {"MININFTR": "AUTO"}), its,
               solver_part(), {"status": 1, "options": {"PRESOLVE": "off"},
                               "diagnosis": {"equations": [1, 5, 9, equations],
                                             "variables": [2, 4, variables]}})


def cases(data_dirs):
    """(name, files, args, env, ok): files maps a file name to bytes, or to
    None for a directory.  data_dirs: (directory, name prefix, ok, with long
    lists too) of run-data files taken as they are."""
    out = []

    def add(name, data, args=("run",), env=None, extra=None, ok=None):
        files = {"run.vdr": json.dumps(data, indent=1).encode() if data is not None else None}
        if data is None:
            files = {}
        files.update(extra or {})
        if ok is None:
            ok = not name.startswith(("fail_", "fault_"))
        out.append((name, files, list(args), env or {}, ok))

    # The run-data files of the project as they are: the examples (with
    # short and long lists) and the files the Linux tests read, valid and not.
    for directory, prefix, ok, long_too in data_dirs:
        if not os.path.isdir(directory):
            continue
        for entry in sorted(os.listdir(directory)):
            if not entry.endswith(".vdr"):
                continue
            with open(os.path.join(directory, entry), "rb") as f:
                content = f.read()
            base = entry[:-4]
            out.append((prefix + base, {entry: content}, [base], {}, ok))
            if long_too:
                out.append((prefix + base + "_long", {entry: content}, ["--long-lists", base], {},
                            ok))

    # Header inserts: the texts are inserted as they are, never read as
    # further inserts or printf directives.
    add("inserts_literal", run(
        header(-5, "100% sure: %1 %2!s! %s %d %% %n %0 !d! end", status="Iteration limit %1"),
        small_model("M%1!s!_%s"), small_iterations(), solver_part()))
    add("inserts_case_number", run(header(2147483647, ""), small_model(), small_iterations(2),
                                   solver_part()))
    add("inserts_case_min", run(header(-2147483648, "", date="", status=""), small_model(),
                                small_iterations(1)))
    add("text_bytes", run(
        header(12, "Mischanlage S\u00fcd \u2013 caf\u00e9, tab\there", status="Erfolgreich \u00e4\u00f6\u00fc"),
        small_model("MODELL_\u00c4\u00d6\u00dc"), small_iterations(), solver_part()))
    add("text_line_breaks", run(
        header(3, "first line\nsecond line\r\nthird line\r", status="Successful\n"),
        small_model("NAME WITH SPACES"), small_iterations(2),  # names may hold no line break
        solver_part({"MULTI": "a\nb", "CRLF": "c\r\nd"})))

    broken_its = small_iterations(2)
    broken_its[0]["most_infeasible"] = "ROW\n#endregion"
    broken_its[1]["errors"] = ["E\n#endregion\n?255000000}#region 1, FAKE"]
    broken_its[1]["warnings"] = ["W\r\n?000128000}x"]
    broken_its[1]["information"] = ["I\rJ\tK"]
    add("text_line_breaks_messages", run(header(), small_model(), broken_its, solver_part()))

    # Long names and texts: whole lines, never cut.
    long_var = "V" * 120 + "_VARIABLE_" + "x" * 130
    long_eqn = "E" * 150 + "_EQUATION_" + "y" * 100
    long_model = small_model("MODEL_" + "M" * 300, {"MININFTR": "AUTO", "O" * 220: "v" * 240})
    long_model["variables"][0]["name"] = long_var
    long_model["equations"][1]["name"] = long_eqn
    its = small_iterations(3, infeasible_last=True)
    its[0]["most_infeasible"] = "R" * 199
    its[1]["errors"] = ["error " + "e" * 400]
    add("long_names", run(header(99, "D" * 1000 + " end", status="Infeasible"), long_model, its,
                          solver_part({"L" * 210: "w" * 230}),
                          {"status": 1, "diagnosis": {"equations": [2, 3], "variables": [1, 2]}}))

    # Long lists: the KORMOPTIONS variable and the host's --long-lists.
    large = large_run(130, 150, 4, 17)
    add("lists_short", large)
    add("lists_long_env", large, env={"KORMOPTIONS": "VDRLONGLIST"})
    add("lists_long_between", large, env={"KORMOPTIONS": "-fast VDRLONGLIST -trace"})
    add("lists_long_option", large, args=("--long-lists", "run"))
    add("lists_not_long", large, env={"KORMOPTIONS": "VDRLONG LIST vdrlonglist"})
    add("lists_long_huge_env", large,
        env={"KORMOPTIONS": " ".join("-opt%04d" % i for i in range(900)) + " VDRLONGLIST"})
    add("lists_huge_env_without", large,
        env={"KORMOPTIONS": " ".join("-opt%04d" % i for i in range(900))})

    # Not-a-number, infinities, signed zero and extreme magnitudes.
    nan_model = small_model("NANS")
    nan_model["variables"][0]["upper"] = NAN
    nan_model["variables"][5]["lower"] = NAN
    nan_model["equations"][2]["diag"] = NAN
    nan_its = small_iterations(4)
    nan_its[0]["variables"][0] = [INF, 1.0, NAN]
    nan_its[1]["variables"][0] = [1.0, NAN, NAN]
    nan_its[1]["variables"][1] = [INF, 1.0, -0.0]
    nan_its[2]["variables"][1] = [INF, 1.0, "-inf"]
    nan_its[2]["variables"][5] = [NAN, 1e-300, 4.9e-324]
    nan_its[3]["variables"][5] = [1.7976931348623157e308, 2.5e-310, -1e308]
    nan_its[1]["equations"][0] = [NAN, NAN, NAN]
    nan_its[2]["equations"][1] = [INF, "-inf", 1e-300]
    nan_its[3]["equations"][2] = [-0.0, -1e-320, NAN]
    nan_its[1].update(objective=NAN, infeasibility=INF, objective_convergence=NAN,
                      residual_convergence="-inf", variable_convergence=-0.0,
                      nonlinearity_ratio=NAN, p_function=NAN)
    nan_its[2].update(objective=1e300, user_objective="-inf", nonlinearity_ratio=1e-300)
    nan_its[3]["feasible"] = False
    nan_its[3]["equations"][1][2] = NAN
    add("nan_values", run(header(8, "not-a-number values", status="Infeasible"), nan_model, nan_its,
                          solver_part(), {"status": 1, "diagnosis": {"equations": [1, 2, 3],
                                                                     "variables": [1, 2, 6]}}))

    # Every form of the infeasibility diagnosis.
    add("diag_infeasible", run(header(status="Infeasible"), small_model(options={"MININFTR": "AUTO"}),
                               small_iterations(3, True), solver_part(),
                               {"status": 1, "diagnosis": {"equations": [1, 2, 3, 5],
                                                           "variables": [1, 2, 5, 6]}}))
    add("diag_unbounded", run(header(status="Unbounded"), small_model(), small_iterations(3),
                              solver_part(), {"status": 2, "diagnosis": {"equations": [3],
                                                                         "variables": [2, 3]}}))
    add("diag_unbounded_empty_breakers_off",
        run(header(status="Unbounded"), small_model(options={"MININFTR": "NONE"}),
            small_iterations(3), solver_part(), {"status": 2}))
    add("diag_advice", run(header(status="Infeasible"), small_model(options={"MININFTR": "NONEATALL"}),
                           small_iterations(3, True), solver_part(), {"status": 1}))
    add("diag_nonlinear_only", run(header(status="Infeasible"), small_model(),
                                   small_iterations(3, True), solver_part(), {"status": 0}))
    add("diag_other_status", run(header(status="Other"), small_model(), small_iterations(3, True),
                                 solver_part(), {"status": 7, "diagnosis": {"equations": [1],
                                                                            "variables": [1]}}))

    # Message lists of the iterations.
    msg_its = small_iterations(3)
    msg_its[0]["errors"] = ["bad value in %1 row %s", "second error 100%"]
    msg_its[1]["warnings"] = ["warning %d of %n" + str(i) for i in range(30)]
    msg_its[2]["information"] = ["information " + "i" * 300, "", "last"]
    msg_its[2]["errors"] = ["E"]
    add("messages", run(header(), small_model(), msg_its, solver_part()))

    # One iteration only; the initial conditions alone.
    add("single_iteration", run(header(), small_model(), small_iterations(1), solver_part()))

    # Failures: what is printed, what is returned, what is left behind.
    add("fail_empty_iterations", run(header(), small_model(), [], solver_part()))
    add("fail_missing", None)
    add("fail_syntax", None, extra={"run.vdr": b'{"format": "tarn-vdr", "version": 1, "case": {'})
    add("fail_version", None, extra={"run.vdr": b'{"format": "tarn-vdr", "version": 3}'})
    add("fail_data_is_directory", None, extra={"run.vdr": None})
    add("fail_empty_base", None, args=("",))
    add("fail_report_is_directory", run(header(), small_model(), small_iterations(2)),
        extra={"run.log": None})
    add("paths_subdirectory", None, args=("sub dir/x.y/run",),
        extra={"sub dir/x.y/run.vdr": json.dumps(run(header(), small_model(), small_iterations(2)))
               .encode()})
    add("paths_several_bases", None, args=("one", "missing", "two"),
        extra={"one.vdr": json.dumps(run(header(1), small_model(), small_iterations(2))).encode(),
               "two.vdr": json.dumps(run(header(2), small_model(), small_iterations(3))).encode()},
        ok=False)
    # Several runs go to report processes: their names must reach them intact.
    add("paths_several_quoted", None,
        args=("sub dir/run.vdr", 'missing "quoted" run', "back\\slash\\", "-j", "2"),
        extra={"sub dir/run.vdr": json.dumps(run(header(), small_model(), small_iterations(2)))
               .encode()},
        ok=False)

    # A failure inside the libraries: an exception thrown there is caught by
    # the report and the call fails cleanly.
    base = run(header(status="Infeasible"), small_model(options={"MININFTR": "AUTO"}),
               small_iterations(3, True), solver_part(),
               {"status": 1, "diagnosis": {"equations": [1, 2], "variables": [1, 2]}})
    for point in ("ReadReportFile", "GetModelManager", "GetIterationList", "GetCaseNumber",
                  "GetExecutionDate", "DisplayOptionTable", "DisplayOptions",
                  "DisplayAlgebraicModel", "GetVariableSet", "GetMatrix",
                  "ReturnResidualSortedList", "ReturnVariableDeltaSortedList", "GetLPStatus",
                  "GetAuxiliaryObject"):
        add("fault_" + point, base, env={"TARN_STANDIN_FAULT": point})
    return out


def project_data_dirs(project):
    """The run-data files of the project's examples and tests."""
    return [(os.path.join(project, "examples"), "example_", True, True),
            # (a valid file may still hold no iteration, which fails the report)
            (os.path.join(project, "tests", "rundata", "valid"), "rundata_", None, False),
            (os.path.join(project, "tests", "rundata", "invalid"), "rundata_invalid_", False,
             False)]


def write_cases(outdir, project=None):
    """Writes every case; returns their names in order."""
    names = []
    for name, files, args, env, ok in cases(project_data_dirs(project) if project else []):
        directory = os.path.join(outdir, name)
        if os.path.exists(directory):
            shutil.rmtree(directory)
        os.makedirs(directory)
        for path, content in files.items():
            target = os.path.join(directory, path)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if content is None:
                os.makedirs(target)
            else:
                with open(target, "wb") as f:
                    f.write(content)
        with open(os.path.join(directory, "case.json"), "w") as f:
            json.dump({"args": args, "env": env, "ok": ok}, f, indent=1)
        names.append(name)
    return names


def main(argv):
    if len(argv) not in (1, 2):
        sys.stderr.write("usage: make_runs.py OUTDIR [PROJECT_DIR]\n")
        return 2
    names = write_cases(argv[0], argv[1] if len(argv) == 2 else None)
    print("%d cases in %s" % (len(names), argv[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
