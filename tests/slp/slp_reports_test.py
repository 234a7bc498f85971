"""The SLP solver's example runs, checked from their reports (read with
tarnview, never from the solver): Haverly's pooling problems reach their
published optimal profits, the impossible sulfur limit ends infeasible with
the quality rows in the diagnosis, the trading LP ends unbounded with the
columns that make it so, and the generated refinery model of more than
2,000 variables converges.

    slp_reports_test.py TARNSLP TARNVIEW MODELS_DIRECTORY
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

TARNSLP, TARNVIEW, MODELS = sys.argv[1:4]
WORK = tempfile.mkdtemp(prefix="tarn-slp-test-")


def run_models(*files):
    subprocess.run([TARNSLP, "-o", WORK, *files], check=True, capture_output=True, text=True)


def setUpModule():
    refinery = os.path.join(WORK, "refinery.json")
    subprocess.run([TARNSLP, "--write-refinery", refinery], check=True, capture_output=True)
    run_models(*sorted(os.path.join(MODELS, f) for f in os.listdir(MODELS)), refinery)


def tearDownModule():
    subprocess.run(["rm", "-rf", WORK], check=True)


def report(name):
    return os.path.join(WORK, name + ".log")


def summary_rows(name):
    output = subprocess.run([TARNVIEW, "summary", report(name), "--json"], check=True,
                            capture_output=True, text=True).stdout
    summary = json.loads(output)
    objective = summary["columns"].index("Objective Function Value")
    return [row[objective] for row in summary["rows"]]


def plain(name, region=None):
    command = [TARNVIEW, "show", "--plain", report(name)]
    if region:
        command += ["--region", region]
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def status(name):
    for line in plain(name).splitlines():
        if line.strip().startswith("Solution Status"):
            return line.split(":", 1)[1].strip()
    return None


def listed_names(text, heading):
    """The names that start the entries under a heading of the diagnosis."""
    names, inside = [], False
    for line in text.splitlines():
        if line.strip() == heading:
            inside = True
        elif inside and line and not line[0].isspace() and "---" not in line:
            if line.strip().endswith(("Equations", "Variables", "Diagnosis")):
                break
            names.append(line.split()[0])
    return names


class PublishedOptima(unittest.TestCase):
    def check(self, name, profit):
        objectives = summary_rows(name)
        self.assertEqual(status(name), "Successful")
        self.assertLessEqual(abs(objectives[-1] - profit), 1e-6 * profit, objectives)
        self.assertGreater(len(objectives), 2, "the initial point and at least one major iteration")

    def test_haverly1_reaches_400(self):
        self.check("haverly1", 400)

    def test_haverly2_reaches_600(self):
        self.check("haverly2", 600)

    def test_haverly3_reaches_750(self):
        self.check("haverly3", 750)


class FailedRuns(unittest.TestCase):
    def test_impossible_quality_limit_ends_infeasible_naming_quality_rows(self):
        self.assertEqual(status("pooling_impossible_sulfur"), "Infeasible")
        diagnosis = plain("pooling_impossible_sulfur", "Infeasibility Diagnosis")
        rows = listed_names(diagnosis, "Infeasible Non-linear Equations")
        self.assertIn("Y_SUL_SPEC", rows, diagnosis)
        self.assertTrue(all("SUL" in row for row in rows), rows)
        # The other row of the conflict, the product's minimum, is named too.
        self.assertEqual(listed_names(diagnosis, "Infeasible Linear Equations"), ["Y_MINIMUM"], diagnosis)

    def test_unbounded_lp_ends_unbounded_naming_its_columns(self):
        self.assertEqual(status("trading_unbounded"), "Unbounded")
        diagnosis = plain("trading_unbounded", "Infeasibility Diagnosis")
        self.assertEqual(sorted(listed_names(diagnosis, "Unbounded Variables")), ["BUY", "SELL"],
                         diagnosis)
        self.assertNotIn("Infeasible Non-linear Equations", diagnosis)


class ModelAsWritten(unittest.TestCase):
    def test_model_display_shows_each_row_as_the_model_file_writes_it(self):
        display = plain("pooling_impossible_sulfur", "Algebraic Model Display")
        lines = [line.strip() for line in display.splitlines()]
        self.assertIn("Y_SUL_SPEC: 1.5*C_Y - 0.5*P_Y + QSUL_POOL*P_Y <= 0", lines, display)
        self.assertIn("Y_MINIMUM: P_Y + C_Y >= 50", lines, display)
        self.assertIn("PROFIT: maximize -6*A - 16*B - C_X + 5*C_Y + 9*P_X + 15*P_Y", lines,
                      display)


    def test_a_row_too_long_for_a_form_is_shown_from_the_matrix(self):
        """Its bilinear term's coefficients in brackets, the linearisation's."""
        long_name = "V" * 70000
        model = {"name": "LONG", "case": 1,
                 "variables": [{"name": long_name, "upper": 10}, {"name": "Q", "lower": 1, "upper": 2}],
                 "objective": {"name": "COST", "linear": {long_name: 1}},
                 "constraints": [{"name": "FLOOR", "type": ">=", "rhs": 2,
                                  "linear": {long_name: 1}, "bilinear": [["Q", long_name, 1]]},
                                 {"name": "PLAIN", "type": "<=", "rhs": 9, "linear": {long_name: 1}}]}
        path = os.path.join(WORK, "long_row.json")
        with open(path, "w") as file:
            json.dump(model, file)
        run_models(path)
        display = plain("long_row", "Algebraic Model Display")
        lines = [line.strip() for line in display.splitlines()]
        floor = [line for line in lines if line.startswith("FLOOR: ")]
        self.assertRegex(floor[0], rf"^FLOOR: \[[0-9.e+-]+\]\*{long_name} \+ \[[0-9.e+-]+\]\*Q >= 2$")
        self.assertIn(f"PLAIN: 1*{long_name} <= 9", lines)
        self.assertIn("[c]: the coefficient of a nonlinear term, the linearisation's value at the final point", lines)


class RefineryScale(unittest.TestCase):
    def test_generated_refinery_converges(self):
        with open(os.path.join(WORK, "refinery.json")) as file:
            self.assertGreaterEqual(len(json.load(file)["variables"]), 2000)
        self.assertEqual(status("refinery"), "Successful")
        objectives = summary_rows("refinery")
        self.assertGreater(objectives[-1], objectives[0])
        variables = plain("refinery", "Variable Details")
        self.assertGreaterEqual(variables.count("BUY_C"), 8 * 24)


class BadModels(unittest.TestCase):
    """Each fault of a model file is named with the file, and no run-data
    file or report is left for it."""

    VALID = {"name": "M", "variables": [{"name": "X", "upper": 10}],
             "objective": {"linear": {"X": 1}},
             "constraints": [{"name": "R", "type": "<=", "rhs": 5, "linear": {"X": 1}}]}

    def check(self, text, words):
        path = os.path.join(WORK, "bad.json")
        with open(path, "w", encoding="utf-8") as file:
            file.write(text)
        run = subprocess.run([TARNSLP, "-o", WORK, path], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        self.assertIn(path, run.stderr)
        self.assertIn(words, run.stderr)
        self.assertFalse(os.path.exists(os.path.join(WORK, "bad.vdr")))
        self.assertFalse(os.path.exists(os.path.join(WORK, "bad.log")))

    def changed(self, change):
        model = json.loads(json.dumps(self.VALID))
        change(model)
        return json.dumps(model)

    def test_each_fault_is_named(self):
        faults = [
            ("{", "byte 2"),
            ("[]", "the top level must be an object"),
            (self.changed(lambda m: m.pop("objective")), 'the key "objective" is missing'),
            (self.changed(lambda m: m["variables"].append({"name": "X"})), "an earlier variable"),
            (self.changed(lambda m: m["variables"][0].update(lower=11)), "lower bound is above"),
            (self.changed(lambda m: m["variables"][0].update(upper="lots")), "a number expected"),
            (self.changed(lambda m: m["constraints"][0].update(type="<")), '"<=", ">=" or "=" expected'),
            (self.changed(lambda m: m["constraints"][0]["linear"].update(Y=1)), 'no variable is named "Y"'),
            (self.changed(lambda m: m["constraints"][0].update(bilinear=[["X", "X"]])),
             "[x, y, coefficient] expected"),
            (self.changed(lambda m: m["objective"].update(linear={"X": "inf"})), "a finite coefficient"),
            (self.changed(lambda m: m["constraints"][0].update(name="#R")), "may not begin with '#'"),
            (self.changed(lambda m: m["constraints"][0].update(name="R\nS")), "control character"),
            (self.changed(lambda m: m.update(sense="up")), '"minimize" or "maximize"'),
        ]
        for text, words in faults:
            with self.subTest(words=words):
                self.check(text, words)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
