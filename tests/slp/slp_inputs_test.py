"""tarnslp on hostile input: every kind of file as the model, deep nesting,
numbers it cannot carry, control characters in its messages, usage errors,
and every catchable ending signal in the middle of a run.

    slp_inputs_test.py TARNSLP
"""

import json
import os
import random
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from file_events import FileEvents  # noqa: E402

TARNSLP = sys.argv[1]
WORK = tempfile.mkdtemp(prefix="tarn-slp-inputs-test-")
VALID = {"name": "M", "variables": [{"name": "X", "upper": 10}],
         "objective": {"linear": {"X": 1}},
         "constraints": [{"name": "R", "type": "<=", "rhs": 5, "linear": {"X": 1}}]}


def tearDownModule():
    subprocess.run(["rm", "-rf", WORK], check=True)


def run(*arguments, timeout=60):
    return subprocess.run([TARNSLP, "--no-report", "-o", WORK, *arguments], capture_output=True,
                          text=True, timeout=timeout)


def written(text, name="model.json"):
    path = os.path.join(WORK, name)
    with open(path, "w", encoding="utf-8") as file:
        file.write(text if isinstance(text, str) else json.dumps(text))
    return path


def changed(change):
    model = json.loads(json.dumps(VALID))
    change(model)
    return model


class FileKinds(unittest.TestCase):
    """Only a regular file is read: the others are refused at once, named."""

    def refused(self, path, kind):
        result = run(path, timeout=20)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(path, result.stderr)
        self.assertIn(kind, result.stderr)

    def test_every_kind_of_file(self):
        fifo = os.path.join(WORK, "fifo.json")
        os.mkfifo(fifo)
        directory = os.path.join(WORK, "directory.json")
        os.mkdir(directory)
        link = os.path.join(WORK, "link.json")
        os.symlink(directory, link)
        sock = os.path.join(WORK, "socket.json")
        listener = socket.socket(socket.AF_UNIX)
        listener.bind(sock)
        try:
            for path, kind in [(fifo, "a FIFO"), (directory, "a directory"), (link, "a directory"),
                               ("/dev/zero", "a character device"), ("/dev/null", "a character device"),
                               (sock, "cannot open")]:
                with self.subTest(path=path):
                    self.refused(path, kind)
        finally:
            listener.close()

    def test_a_link_to_a_regular_file_is_read(self):
        link = os.path.join(WORK, "valid_link.json")
        os.symlink(written(VALID, "valid.json"), link)
        self.assertEqual(run(link).returncode, 0)


class Nesting(unittest.TestCase):
    def test_deep_nesting_is_refused_not_a_crash(self):
        for text in ["[" * 200000, '{"x": ' + "[" * 200000, '{"a": "[[[", "b": ' + "{\"c\": " * 100000]:
            with self.subTest(start=text[:12]):
                result = run(written(text))
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn("nested deeper than 64 levels", result.stderr)

    def test_the_limit_and_one_past_it(self):
        # The model object is one level: 63 more under an unknown key reach 64.
        for depth, code in [(63, 0), (64, 1)]:
            with self.subTest(depth=depth):
                model = dict(VALID, extra="@")
                text = json.dumps(model).replace('"@"', "[" * depth + "]" * depth)
                self.assertEqual(run(written(text)).returncode, code)


class Numbers(unittest.TestCase):
    def test_numbers_the_solver_cannot_carry_are_refused(self):
        faults = [
            (lambda m: m["variables"][0].update(lower="inf", upper="inf"), "lower bound may not be"),
            (lambda m: m["variables"][0].update(lower="-inf", upper="-inf"), "upper bound may not be"),
            (lambda m: m["variables"][0].update(upper=1e30), "magnitude at most 1e20"),
            (lambda m: m["constraints"][0].update(rhs=-1e300), "magnitude at most 1e20"),
            (lambda m: m.update(case=1e10), "an integer from"),
            (lambda m: m.update(case="inf"), "an integer from"),
            (lambda m: m.update(case=1.5), "an integer from"),
        ]
        for change, words in faults:
            with self.subTest(words=words):
                result = run(written(changed(change)))
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(words, result.stderr)
                self.assertNotIn("Assertion", result.stderr)

    def test_every_number_is_read_as_the_double_written(self):
        # A model written by --write-refinery and read back must be the same
        # model: a number one unit in the last place off changed the 480-period
        # refinery's path from 38 to 141 iterations.  The starts are the
        # initial point's values in the run data.
        numbers = random.Random(7)
        starts = [numbers.uniform(0, 1000) for _ in range(300)] + [0.24013603860700794, 1.6952511147104605]
        model = {"name": "M", "variables": [{"name": f"X{j}", "start": start} for j, start in enumerate(starts)],
                 "objective": {"linear": {"X0": 1}}, "constraints": []}
        result = run(written(model, "starts.json"))
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(WORK, "starts.vdr"), encoding="utf-8") as file:
            initial = json.load(file)["iterations"][0]
        read = [variable[0] for variable in initial["variables"]]
        self.assertEqual([(j, x) for j, x in enumerate(read) if x != starts[j]], [])


class Usage(unittest.TestCase):
    """Usage errors exit 2 with one line; CLP never sees a penalty it cannot carry."""

    def test_each_usage_error(self):
        model = written(VALID, "usage.json")
        for arguments in [["--penalty", "1e30", model], ["--penalty", "nan", model], ["--penalty", "inf", model],
                          ["--penalty", "0", model], ["--penalty", "-1", model], ["--penalty", "x", model],
                          ["--iterations", "0", model], ["--starts", "0", model], ["--bogus", model],
                          ["--penalty"], []]:
            with self.subTest(arguments=arguments):
                result = subprocess.run([TARNSLP, *arguments], capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
                self.assertTrue(result.stderr.startswith("tarnslp: "), result.stderr)

    def test_help_and_version_succeed(self):
        for flag in ["--help", "--version"]:
            self.assertEqual(subprocess.run([TARNSLP, flag], capture_output=True).returncode, 0)


class ControlCharacters(unittest.TestCase):
    def test_every_control_character_from_the_model_is_shown_visibly(self):
        for code in [*range(0x20), 0x7F, *range(0x80, 0xA0)]:
            with self.subTest(code=hex(code)):
                name = "K" + chr(code) + "]2;PWNED"
                result = run(written(changed(lambda m: m["constraints"][0]["linear"].update({name: 1}))))
                self.assertEqual(result.returncode, 1)
                shown = f"\\x{code:02X}" if code < 0x80 else f"\\xC2\\x{code:02X}"
                self.assertIn(shown, result.stderr)
                self.assertFalse(any(ord(c) < 0x20 and c != "\n" or 0x7F <= ord(c) < 0xA0 for c in result.stderr),
                                 repr(result.stderr))


class EndingSignals(unittest.TestCase):
    """Each ending signal mid-run leaves the old pair of files or a whole new
    one, and never a temporary file."""

    SIGNALS = ["SIGHUP", "SIGINT", "SIGQUIT", "SIGTERM", "SIGUSR1", "SIGUSR2", "SIGALRM", "SIGPIPE",
               "SIGXCPU", "SIGXFSZ", "SIGVTALRM", "SIGPROF"]

    @classmethod
    def setUpClass(cls):
        cls.model = os.path.join(WORK, "refinery.json")
        subprocess.run([TARNSLP, "--write-refinery", cls.model, "--periods", "60"], check=True, capture_output=True)

    def test_every_ending_signal(self):
        for name in self.SIGNALS:
            with self.subTest(signal=name):
                out = tempfile.mkdtemp(dir=WORK)
                for suffix in (".vdr", ".log"):
                    with open(os.path.join(out, "refinery" + suffix), "w") as file:
                        file.write("old")
                process = subprocess.Popen([TARNSLP, "-o", out, self.model], stdout=subprocess.DEVNULL,
                                           stderr=subprocess.PIPE)
                deadline = time.monotonic() + 120
                # Wait for the run's progress: the solve has begun.
                with FileEvents(out) as events:
                    while "refinery.vdr.progress" not in os.listdir(out) and process.poll() is None:
                        self.assertLess(time.monotonic(), deadline)
                        events.wait(1)  # or a second, to see whether tarnslp ended
                process.send_signal(getattr(signal, name))
                process.communicate(timeout=300)
                files = sorted(os.listdir(out))
                self.assertEqual(files, ["refinery.log", "refinery.vdr"])
                old = [open(os.path.join(out, f), "rb").read() == b"old" for f in files]
                self.assertTrue(all(old) or not any(old), old)
                if all(old):
                    self.assertEqual(process.returncode, -getattr(signal, name))

class Progress(unittest.TestCase):
    """While it solves, the run can be followed at NAME.vdr.progress: its
    header names tarnslp's process, then the model's names and a line per
    iteration; killed, the run leaves it as it was and no run; ended, it
    leaves the run and its report and no progress."""

    @classmethod
    def setUpClass(cls):
        cls.model = os.path.join(WORK, "refinery.json")
        subprocess.run([TARNSLP, "--write-refinery", cls.model, "--periods", "150"], check=True, capture_output=True)

    def lines_while_solving(self, out):
        """The progress's whole lines once it holds an iteration, then the
        process is killed."""
        progress = os.path.join(out, "refinery.vdr.progress")
        process = subprocess.Popen([TARNSLP, "-o", out, self.model], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 120
        lines = []
        with FileEvents(out) as events:
            while len(lines) < 3:
                self.assertIsNone(process.poll(), "tarnslp ended before its progress was seen")
                self.assertLess(time.monotonic(), deadline)
                events.wait(1)  # or a second, to see whether tarnslp ended
                if os.path.exists(progress):
                    with open(progress, encoding="utf-8") as file:
                        lines = [json.loads(line) for line in file.read().split("\n")[:-1]]
        process.kill()
        process.communicate(timeout=60)
        return process.pid, lines

    def test_followed_while_solving_and_left_when_killed(self):
        out = tempfile.mkdtemp(dir=WORK)
        pid, lines = self.lines_while_solving(out)
        header, model, first = lines[:3]
        self.assertEqual((header["format"], header["version"], header["run"], header["pid"]),
                         ("tarn-vdr-progress", 1, "refinery.vdr", pid))
        self.assertEqual(model["model"], "REFINERY_150P")
        self.assertIn("PROFIT", model["equations"])
        self.assertEqual(first["iter"], 0)
        # Beside it only the hidden scratch folder of the killed process.
        self.assertEqual(sorted(os.listdir(out)), [".tarnslp-%d" % pid, "refinery.vdr.progress"])

    def test_no_progress_left_after_the_run(self):
        out = tempfile.mkdtemp(dir=WORK)
        model = written(VALID, "small.json")
        result = subprocess.run([TARNSLP, "-o", out, model], capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["small.log", "small.vdr"])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
