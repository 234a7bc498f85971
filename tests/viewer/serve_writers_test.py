#!/usr/bin/env python3
"""A study served while it runs: eight Python writers in one folder, each
adding an iteration when told and closing when told, `tarnview serve DIR` polled throughout.
Every answer is whole JSON of the agreed shape; each run's row appears,
follows its iterations and states; once the writers closed and tarnreport
wrote the reports, every row says what its report says (header status, last
summary row, as `summary --facts` reads them), each report served under an
id of its own.  A writer killed mid-run leaves a run that stopped without an
end, and nothing else.

    serve_writers_test.py TARNVIEW TARNREPORT   (PYTHONPATH: the build's python/)
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from file_events import FileEvents  # noqa: E402

view, tarnreport = sys.argv[1], sys.argv[2]
WRITERS, ITERATIONS, BOUND = 8, 4, 120.0  # seconds: a bound for a busy machine, not a pace
REPORT_SETTLES = 0.6  # seconds: a little over the half second the server lets a new report lie
failures = []

WRITER = r'''
import sys
import tarn_rundata as td
target, number = sys.argv[1], int(sys.argv[2])
with td.RunWriter(target) as run:
    run.set_case(number=number, description="study case %d" % number)
    run.set_model_name("STUDY")
    x = run.add_variable("X", upper=100)
    e = run.add_equation("E", type=td.EquationType.LESS_EQUAL, rhs=100)
    run.add_coefficient(e, x, 1)
    run.write_progress()
    for k in range(int(sys.argv[3])):
        if not sys.stdin.readline():
            run.abandon()
            sys.exit(1)
        infeasible = 0.0 if k == int(sys.argv[3]) - 1 else 1.0 / (k + 1)
        run.add_iteration(variables=[(10 * k + number, 1, 0)], equations=[(10 * k, 0, infeasible)],
                          feasible=infeasible == 0, objective=100.0 * number - k, infeasibility=infeasible,
                          most_infeasible="E" if infeasible else "")
    sys.stdin.read()  # closed when told: the end of its standard input
    run.set_status(td.SUCCESSFUL if number % 2 == 0 else "Iteration limit reached")
    run.set_equation_values(e, 10)
'''


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def get(url):
    with urllib.request.urlopen(url, timeout=30) as answer:
        return json.loads(answer.read())


ROW_KEYS = {"id", "name", "state", "status", "iterations", "objective", "infeasibility", "report", "reportSize",
            "changed", "problem"}
STATES = {"running", "stopped without an end", "report missing", "ended", "failed"}


def well_formed(answer):
    if set(answer) == {"generation", "unchanged"}:
        return answer["unchanged"] is True
    if not isinstance(answer.get("runs"), list) or not isinstance(answer.get("generation"), int):
        return False
    return all(set(row) == ROW_KEYS and row["state"] in STATES for row in answer["runs"])


class Poller:
    """Polls /api/runs as a page would, with the generation; keeps the last rows."""

    def __init__(self, base, token, events):
        self.url = base + "/api/runs?token=" + token
        self.events = events
        self.generation, self.rows, self.answers = None, {}, 0

    def poll(self):
        answer = get(self.url + ("" if self.generation is None else "&since=%d" % self.generation))
        self.answers += 1
        check(well_formed(answer), "a malformed answer: %s" % answer)
        if "runs" in answer:
            check(self.generation is None or answer["generation"] > self.generation, "the generation rises")
            self.generation = answer["generation"]
            self.rows = {row["name"]: row for row in answer["runs"]}

    def until(self, condition, what):
        """Polls until condition(rows) holds; False when the bound passes first."""
        deadline = time.monotonic() + BOUND
        while time.monotonic() < deadline:
            self.poll()
            if condition(self.rows):
                return True
            # The next poll at the next change in the study, or once a report
            # written has lain unchanged as long as the server waits to read it.
            self.events.wait(REPORT_SETTLES)
        check(False, what + ": %s" % self.rows)
        return False


def names():
    return ["case%d" % k if k % 2 else "sub/case%d" % k for k in range(WRITERS)]


with tempfile.TemporaryDirectory() as study:
    os.makedirs(study + "/sub")
    events = FileEvents(study, study + "/sub")
    server = subprocess.Popen([view, "serve", study], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    writers = []
    try:
        found = re.search(r"(http://\S+)/\?token=([0-9a-f]{32})#runs", server.stdout.readline() + server.stdout.readline())
        check(found is not None, "the address of the folder table printed")
        poller = Poller(found.group(1), found.group(2), events)
        poller.poll()
        check(poller.rows == {}, "an empty folder: no rows")
        for k, name in enumerate(names()):
            writers.append(subprocess.Popen([sys.executable, "-c", WRITER, study + "/" + name + ".vdr", str(k),
                                             str(ITERATIONS)], stdin=subprocess.PIPE, text=True))
        poller.until(lambda rows: sorted(rows) == sorted(names()) and
                     all(row["state"] == "running" and row["iterations"] is None for row in rows.values()),
                     "every writer's run appears, running, before its first iteration")
        for k in range(ITERATIONS):
            for writer in writers:
                writer.stdin.write("\n")
                writer.stdin.flush()
            poller.until(lambda rows: all(row["iterations"] == k and row["state"] == "running" and
                                          row["objective"] == 100.0 * int(name.split("case")[1]) - k
                                          for name, row in rows.items()),
                         "every run shows iteration %d" % k)
        for writer in writers:
            writer.stdin.close()
            check(writer.wait(timeout=BOUND) == 0, "a writer ends well")
        poller.until(lambda rows: all(row["state"] == "report missing" for row in rows.values()),
                     "every run closed: its report missing")
        made = subprocess.run([tarnreport, "-j", "2"] + [study + "/" + name for name in names()],
                              capture_output=True, text=True, timeout=300)
        check(made.returncode == 0, "tarnreport writes the reports: " + made.stdout + made.stderr)
        poller.until(lambda rows: all(row["state"] == "ended" and row["report"] is not None for row in rows.values()),
                     "every run ended with its report")
        # Each row as its report says, and each report served under its id.
        facts = subprocess.run([view, "summary", "--facts", "--json"] +
                               [study + "/" + name + ".log" for name in names()],
                               capture_output=True, text=True, timeout=60)
        check(facts.returncode == 0, "summary --facts of the reports: " + facts.stderr)
        reports = get(found.group(1) + "/api/reports?token=" + found.group(2))
        check(sorted(report["id"] for report in reports) == list(range(WRITERS)), "eight reports, ids 0 to 7")
        ids = set()
        for name, run in zip(names(), json.loads(facts.stdout) if facts.returncode == 0 else []):
            row = poller.rows[name]
            ids.add(row["report"])
            check(row["status"] == run["status"], name + ": status %s, its report %s" % (row["status"], run["status"]))
            check(row["iterations"] == run["majorIterations"] == ITERATIONS - 1, name + ": major iterations")
            check(row["objective"] == run["finalObjective"], name + ": objective")
            check(row["infeasibility"] == run["finalInfeasibility"] or
                  (run["finalInfeasibility"] is None and row["infeasibility"] is None), name + ": infeasibility")
            check(row["reportSize"] == os.path.getsize(study + "/" + name + ".log"), name + ": report size")
            served = [report for report in reports if report["id"] == row["report"]]
            check(len(served) == 1 and served[0]["file"] == os.path.basename(name) + ".log", name + ": its report")
        check(len(ids) == WRITERS, "every run its own report")
        check(poller.answers > ITERATIONS, "polled throughout")

        # A writer killed mid-run: a run that stopped without an end, and nothing made from it.
        killed = subprocess.Popen([sys.executable, "-c", WRITER, study + "/killed.vdr", "9", "3"],
                                  stdin=subprocess.PIPE, text=True)
        writers.append(killed)
        killed.stdin.write("\n")
        killed.stdin.flush()
        poller.until(lambda rows: rows.get("killed", {}).get("iterations") == 0, "the run to be killed shows iteration 0")
        killed.kill()
        poller.until(lambda rows: rows["killed"]["state"] == "stopped without an end",
                     "a killed writer's run: stopped without an end (its writer not yet waited for)")
        killed.wait()
        poller.poll()
        check(poller.rows["killed"]["state"] == "stopped without an end", "still stopped once its writer is gone")
        left = [name for name in os.listdir(study) if not re.search(r"\.tmp-\d+-\d+$", name)]  # its temporary may stay
        check(sorted(left) == sorted(["sub", "killed.vdr.progress"] +
                                                  [name + ext for name in names() if "/" not in name
                                                   for ext in (".vdr", ".log")]),
              "no run data and no report made of the killed run: %s" % os.listdir(study))
    finally:
        for writer in writers:
            if writer.poll() is None:
                writer.kill()
                writer.wait()
        server.terminate()
        server.wait(timeout=30)

if failures:
    print("%d failure(s)" % len(failures))
    sys.exit(1)
print("all checks passed")
