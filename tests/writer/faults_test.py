"""The Python module where optimisers have tripped over it: several threads
on one writer, NaN results, a writer dropped or killed, the run's date, and
an iteration's values from buffers (array("d"), numpy when installed).

    faults_test.py            (PYTHONPATH holds the module)
"""

import array
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import unittest

import tarn_rundata as td


def model(run):
    run.add_variable("X")
    run.add_variable("Y")
    run.add_equation("ROW")


def loaded(path):
    with open(path, encoding="utf-8") as file:
        return json.load(file)


class Faults(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.TemporaryDirectory()
        self.dir = self.directory.name

    def tearDown(self):
        self.directory.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_threads_on_one_writer_make_one_whole_file(self):
        threads_count, each, wide = 4, 200, 200
        start = threading.Barrier(threads_count)
        with td.RunWriter(self.path("run.vdr")) as run:
            for j in range(wide):
                run.add_variable(f"X{j}")
            run.add_equation("ROW")

            def write(value):
                variables = array.array("d", [value, 0, 0]) * wide
                start.wait()
                for _ in range(each):
                    run.add_iteration(variables, [(value, 0, 0)], objective=value)

            threads = [threading.Thread(target=write, args=(t,)) for t in range(threads_count)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        iterations = loaded(self.path("run.vdr"))["iterations"]
        self.assertEqual([it["iter"] for it in iterations], list(range(threads_count * each)))
        for it in iterations:
            self.assertEqual({v[0] for v in it["variables"] + it["equations"]}, {it["objective"]})

    def test_nan_results_are_refused_by_their_field(self):
        nan = float("nan")
        with td.RunWriter(self.path("run.vdr")) as run:
            model(run)
            refused = [
                ("iterations[0].objective", dict(objective=nan)),
                ("iterations[0].user_objective", dict(user_objective=nan)),
                ("iterations[0].variables[1][0]",
                 dict(variables=array.array("d", [1, 0, 0, nan, 0, 0]))),
            ]
            for field, change in refused:
                arguments = dict(variables=[(1, 0, 0), (2, 0, 0)], equations=[(0, 0, 0)])
                arguments.update(change)
                with self.assertRaisesRegex(td.RuleError, re.escape(field) + ".*NaN"):
                    run.add_iteration(**arguments)
            run.add_iteration([(1, 0, 0), (2, 0, 0)], [(0, 0, 0)], variable_convergence=nan)
        self.assertEqual(len(loaded(self.path("run.vdr"))["iterations"]), 1)

    def run_child(self, body):
        """body (Python text) run in a child interpreter: its status and
        standard error."""
        child = subprocess.run([sys.executable, "-c", "import tarn_rundata as td\n" + body],
                               capture_output=True, text=True, cwd=self.dir)
        return child.returncode, child.stderr

    def test_a_dropped_run_says_so_and_an_abandoned_one_does_not(self):
        status, errors = self.run_child("run = td.RunWriter('dropped.vdr')\ndel run\n")
        self.assertEqual(status, 0, errors)
        self.assertIn("dropped.vdr", errors)
        self.assertIn("never closed", errors)
        body = ("run = td.RunWriter('abandoned.vdr')\nrun.abandon()\n"
                "try:\n    with td.RunWriter('left.vdr') as run:\n        raise KeyError\n"
                "except KeyError:\n    pass\n")
        self.assertEqual(self.run_child(body), (0, ""))
        self.assertEqual(os.listdir(self.dir), [])

    def test_a_killed_run_leaves_nothing_behind(self):
        with open(self.path("run.vdr"), "w") as file:
            file.write("earlier run")
        body = ("import os, signal\nrun = td.RunWriter('run.vdr')\nrun.add_variable('X')\n"
                "for k in range(100):\n    run.add_iteration([(k, 0, 0)], [])\n"
                "os.kill(os.getpid(), signal.SIGKILL)\n")
        status, _ = self.run_child(body)
        self.assertEqual(status, -signal.SIGKILL)
        self.assertEqual(os.listdir(self.dir), ["run.vdr"])
        # Followed, it leaves its progress, whole, without an end.
        status, _ = self.run_child(body.replace("run.add_variable('X')\n",
                                                "run.add_variable('X')\nrun.write_progress()\n"))
        self.assertEqual(status, -signal.SIGKILL)
        with open(self.path("run.vdr.progress")) as file:
            lines = [json.loads(line) for line in file]
        self.assertEqual([line.get("iter") for line in lines[2:]], list(range(100)))
        self.assertNotIn("end", lines[-1])
        with open(self.path("run.vdr")) as file:
            self.assertEqual(file.read(), "earlier run")

    def test_the_date_is_the_opening_time_unless_given(self):
        with td.RunWriter(self.path("default.vdr")) as run:
            run.set_case(number=3)
        with td.RunWriter(self.path("none.vdr")) as run:
            run.set_case(number=3, date="")
        self.assertRegex(loaded(self.path("default.vdr"))["case"]["date"],
                         r"^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}$")
        self.assertEqual(loaded(self.path("none.vdr"))["case"]["date"], "")

    def test_a_models_variables_in_one_call_or_none(self):
        with td.RunWriter(self.path("run.vdr")) as run:
            with self.assertRaisesRegex(td.RuleError, r"model.variables\[2\].name.*already"):
                run.add_variables(["A", "B", "A"])
            with self.assertRaisesRegex(td.RuleError, r"model.variables\[1\].name.*NUL"):
                run.add_variables(["A", "B\0"])
            with self.assertRaisesRegex(td.RuleError, "upper bounds: 1 numbers for 2 names"):
                run.add_variables(["A", "B"], upper=[1])
            self.assertEqual(run.add_variables(["A", "B"], upper=array.array("d", [5, 6])), 1)
            self.assertEqual(run.add_variables(["C"], lower=-1), 3)
        variables = loaded(self.path("run.vdr"))["model"]["variables"]
        self.assertEqual([(v["name"], v["lower"], v["upper"]) for v in variables],
                         [("A", 0, 5), ("B", 0, 6), ("C", -1, "inf")])

    def test_an_iteration_from_buffers(self):
        rows = [(1.5, 0.25, -1), (2, 1024, 0)]
        flat = array.array("d", [n for row in rows for n in row])
        sources = [rows, flat, memoryview(flat).cast("B").cast("d", [2, 3]),
                   array.array("f", [n for row in rows for n in row]), memoryview(flat).toreadonly()]
        try:
            import numpy
            sources += [numpy.array(rows), numpy.array(rows, dtype=numpy.float32),
                        numpy.array(rows)[:, :]]
        except ImportError:
            pass
        with td.RunWriter(self.path("run.vdr")) as run:
            run.add_variable("X")
            run.add_variable("Y")
            for source in sources:
                run.add_iteration(source, array.array("d"))
            with self.assertRaisesRegex(td.RuleError, "not a whole number of triples"):
                run.add_iteration(array.array("d", [1, 2, 3, 4]), [])
            with self.assertRaisesRegex(td.RuleError, "1 triples, 2 expected"):
                run.add_iteration(array.array("d", [1, 2, 3]), [])
        for it in loaded(self.path("run.vdr"))["iterations"]:
            self.assertEqual(it["variables"], [[1.5, 0.25, -1], [2, 1024, 0]])


if __name__ == "__main__":
    unittest.main()
