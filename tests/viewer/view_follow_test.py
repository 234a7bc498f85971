#!/usr/bin/env python3
"""tarnview view following a run still being written, in a real terminal
(tmux): an optimiser stand-in adds one iteration each time the test asks,
and the view shows each new row and then, once the run is closed and its
report written, the report at the iteration the cursor was on; a writer
killed mid-run is "stopped without an end" with no run data nor report; a
progress file with garbage, one that shrinks, and a FIFO given as the run
get a clear message, never a crash or a hang, and so does a FIFO where the
report goes.

    view_follow_test.py TARNVIEW BUILD_DIR
"""
import json
import math
import os
import re
import subprocess
import sys
import tempfile

from terminal_pane import check, check_sane, ended_sane, finish, shell_pane

view, build = sys.argv[1], sys.argv[2]
STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "progress_standin.py")
EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "blending.vdr")


class StandIn:
    """The optimiser stand-in, driven over its standard input."""

    def __init__(self, base):
        self.process = subprocess.Popen([sys.executable, STANDIN, base, "--build", build], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.expect("ready")

    def expect(self, answer):
        said = self.process.stdout.readline().strip()
        check(said == answer, "stand-in: %r, not %r" % (said, answer))

    def tell(self, command, answer):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        self.expect(answer)

    def next(self, k):
        self.tell("next", "iteration %d" % k)

    def kill(self):
        self.process.kill()
        self.process.wait(30)

    def end(self):
        if self.process.poll() is None:
            self.process.stdin.close()
            self.process.wait(30)


def row_of(k):
    """The table's row of progress iteration k (the report numbers it k - 1)."""
    return r"^\s+%d\s+(yes|no)\s" % (k - 1)


def start_view(pane, given):
    pane.type("%s view %s; echo EXIT=$?\n" % (view, given))


def table_rows(screen):
    """The followed run's rows on the screen: {iteration: [objective,
    infeasibility, objective, residual and variable convergence, most infeasible]}."""
    rows = {}
    for line in screen.split("\n"):
        cells = line.split()
        if len(cells) >= 7 and re.fullmatch(r"-?\d+", cells[0]) and cells[1] in ("yes", "no"):
            rows[int(cells[0])] = [float(cell) for cell in cells[2:7]] + [cells[7] if len(cells) > 7 else None]
    return rows


def check_against_report(followed, report):
    """The rows followed as the run went are its report's summary rows."""
    summary = json.loads(subprocess.run([view, "summary", "--json", report], capture_output=True, text=True,
                                        timeout=60).stdout)
    column = {name: at for at, name in enumerate(summary["columns"])}
    order = ["Objective Function Value", "Total L-Infeasible Value", "Objective Convergence Function",
             "Residual Convergence Function", "Variable Convergence Function"]
    reported = {row[0]: [row[column[name]] or 0 for name in order] + [row[column["Most L-Infeasible Equation"]]]
                for row in summary["rows"]}
    check(sorted(followed) == sorted(reported), "follow: the report's iterations %s, followed %s"
          % (sorted(reported), sorted(followed)))
    for iteration, row in followed.items():
        want = reported.get(iteration, [])
        same = len(want) == len(row) and all(
            a == b if isinstance(a, str) or a is None else math.isclose(a, b, rel_tol=1e-3, abs_tol=1e-9)
            for a, b in zip(row, want))
        check(same, "follow: iteration %d followed %s, reported %s" % (iteration, row, want))


def follow_to_the_report(work):
    """Each row as it comes; the cursor stays where it was put; the report
    at the cursor's iteration once the run is closed."""
    base = os.path.join(work, "followed")
    standin = StandIn(base)
    pane = shell_pane()
    try:
        start_view(pane, base)
        check(pane.wait(r"^run followed\.vdr  running .*\n.*\n\(no iteration yet\)"), "follow: running, no row yet")
        for k in range(5):
            standin.next(k)
            check(pane.wait(row_of(k)), "follow: the row of iteration %d appears" % k)
            if k >= 2:  # (the chart's iterations under its axis, the newest last)
                check(pane.wait(r"^\s+-1 .* %d$" % (k - 1)), "follow: the chart's point of iteration %d" % k)
            check(re.search(r"iteration %d  \(%d/%d\)" % (k - 1, k + 1, k + 1), pane.status()),
                  "follow: the cursor keeps to the newest row\n" + pane.status())
        pane.keys("c")
        shown = pane.wait(r"^Infeasibility \(log scale\)")
        check(shown and "without infeasibility (0) have no point" in shown,
              "follow: c charts the infeasibility, the feasible iterations left off\n" + (shown or ""))
        pane.keys("k", "k")
        check(pane.wait(r"iteration 1  \(3/5\) "), "follow: the cursor moves up")
        standin.next(5)
        check(pane.wait(row_of(5)), "follow: the row of iteration 5 appears")
        check(re.search(r"iteration 1  \(3/6\)", pane.status()), "follow: a moved cursor stays\n" + pane.status())
        followed = table_rows(pane.screen())
        standin.tell("close", "closed")
        shown = pane.wait(r"followed\.log  line \d+/\d+ .*Major Iteration 1 ")
        check(shown, "follow: the report at the cursor's iteration")
        check_against_report(followed, base + ".log")
        pane.keys("q")
        ended_sane(pane, "follow")
    finally:
        standin.end()
        pane.close()


def killed_writer(work):
    """SIGKILL mid-run: stopped without an end, and nothing made from it."""
    base = os.path.join(work, "killed")
    standin = StandIn(base)
    pane = shell_pane(height=50)
    try:
        standin.next(0)
        standin.next(1)
        start_view(pane, base + ".vdr")
        check(pane.wait(r"model STANDIN  running(.*\n)*^Objective$(.*\n)*^Infeasibility \(log scale\)$"),
              "killed: running; on a tall screen both charts")
        standin.kill()
        shown = pane.wait(r"model STANDIN  stopped without an end")
        check(shown and re.search(row_of(1), shown, re.M), "killed: stopped without an end, its rows kept")
        pane.keys("k")
        check(pane.wait(r"iteration -1  \(1/2\) ") and "stopped without an end" in pane.screen(),
              "killed: the view stays and answers keys")
        pane.tmux("resize-window", "-t", "0", "-x", "80", "-y", "24")
        shown = pane.wait(r"(?s)^run killed\.vdr .*^Objective  \(c: the infeasibility\)$.*iteration -1  \(1/2\) ")
        check(shown and len(shown.rstrip("\n").split("\n")) == 24, "killed: one chart at 80x24 after a resize\n" + (shown or ""))
        check(not os.path.exists(base + ".vdr") and not os.path.exists(base + ".log"),
              "killed: no run-data file and no report")
        pane.keys("q")
        ended_sane(pane, "killed")
        # Without a terminal: the heading and the table as they are.
        printed = subprocess.run([view, "view", base], capture_output=True, text=True, timeout=60,
                                 env={**os.environ, "TERM": "dumb"}).stdout
        check(re.match(r"run killed\.vdr  model STANDIN  stopped without an end", printed)
              and re.search(row_of(1), printed, re.M), "killed: printed without a terminal\n" + printed)
    finally:
        standin.end()
        pane.close()


def progress_damaged(work):
    """Garbage added to a followed progress file, then the file shrunk: the
    state and the status say so; the view goes on."""
    base = os.path.join(work, "damaged")
    standin = StandIn(base)
    pane = shell_pane()
    try:
        for k in range(4):
            standin.next(k)
        start_view(pane, base + ".vdr.progress")
        check(pane.wait(row_of(3)), "damaged: the rows")
        with open(base + ".vdr.progress", "rb") as progress:
            whole = progress.read()
        with open(base + ".vdr.progress", "ab") as progress:
            progress.write(b"{\"iter\":4,\x1b[2J garbage\n")
        shown = pane.wait(r"failed: .*damaged\.vdr\.progress.*line 7")
        check(shown and "\x1b" not in shown and re.search(row_of(3), shown, re.M),
              "damaged: garbage fails the run, named with its line, the rows kept\n" + (shown or ""))
        # Written anew, shorter: read again from its start.
        lines = whole.split(b"\n")
        with open(base + ".vdr.progress", "wb") as progress:
            progress.write(b"\n".join(lines[:4]) + b"\n")
        shown = pane.wait(r"written anew")
        check(shown and "running" in shown and re.search(row_of(1), shown, re.M) and not re.search(row_of(2), shown, re.M),
              "damaged: a shrunk file is read again from its start\n" + (shown or ""))
        # A FIFO where the report goes: refused by name, never opened to wait on.
        os.mkfifo(base + ".log")
        check(pane.wait(r"failed: .*damaged\.log: is a named pipe"), "damaged: a FIFO for the report")
        pane.keys("q")
        ended_sane(pane, "damaged")
    finally:
        standin.end()
        pane.close()


def closed_without_report(work):
    """A run closed before its report: "report missing" until tarnreport
    writes it, then the report."""
    base = os.path.join(work, "closed")
    standin = StandIn(base)
    standin.next(0)
    standin.process.stdin.close()  # an end of input abandons the run
    standin.process.wait(30)
    with open(base + ".vdr", "wb") as run, open(EXAMPLE, "rb") as example:
        run.write(example.read())
    pane = shell_pane()
    try:
        start_view(pane, base + ".vdr")
        shown = pane.wait(r"^run closed\.vdr  report missing")
        check(shown and "report not yet written: tarnreport closed writes it" in shown, "closed: report missing\n" + (shown or ""))
        subprocess.run([os.path.join(build, "bin", "tarnreport"), base], check=True, stdout=subprocess.DEVNULL)
        check(pane.wait(r"closed\.log  line \d+/\d+"), "closed: the report once written")
        pane.keys("q")
        ended_sane(pane, "closed")
    finally:
        pane.close()


def run_again(work):
    """A case run again beside its earlier run's data and report: followed
    as running, not taken as ended, until its own report is written."""
    base = os.path.join(work, "again")
    with open(base + ".vdr", "wb") as run, open(EXAMPLE, "rb") as example:
        run.write(example.read())
    subprocess.run([os.path.join(build, "bin", "tarnreport"), base], check=True, stdout=subprocess.DEVNULL)
    standin = StandIn(base)
    pane = shell_pane()
    try:
        standin.next(0)
        start_view(pane, base)
        standin.next(1)
        shown = pane.wait(row_of(1))
        check(shown and re.search(r"^run again\.vdr  model STANDIN  running", shown, re.M),
              "again: the earlier run's report is not this run's end\n" + (shown or ""))
        standin.tell("close", "closed")
        check(pane.wait(r"again\.log  line \d+/\d+ .*Major Iteration 0 "), "again: its own report at the end")
        pane.keys("q")
        ended_sane(pane, "again")
    finally:
        standin.end()
        pane.close()


def refused_at_start(work):
    """Garbage from the start, a FIFO, no run at all: a message and status 1."""
    garbage = os.path.join(work, "garbage.vdr.progress")
    with open(garbage, "w") as progress:
        progress.write("not a progress line\n")
    fifo = os.path.join(work, "fifo")
    os.mkfifo(fifo + ".vdr.progress")
    os.mkfifo(os.path.join(work, "fifodata.vdr"))
    cases = [(garbage, r"garbage\.vdr\.progress.*line 1"),
             (fifo, r"fifo\.vdr\.progress: not a regular file"),
             (os.path.join(work, "fifodata.vdr"), r"fifodata\.vdr: not a regular file"),
             (os.path.join(work, "absent.vdr"), r"no run at .*absent: none of absent\.vdr\.progress")]
    pane = shell_pane()
    try:
        for case, (given, message) in enumerate(cases):
            pane.type("clear; %s view %s; echo EXIT%d=$?\n" % (view, given, case))
            shown = pane.wait(r"^EXIT%d=\d+" % case)
            check(shown and "EXIT%d=1" % case in shown and re.search(message, shown),
                  "refused: %s\n%s" % (os.path.basename(given), shown))
        check_sane(pane, "refused")
    finally:
        pane.close()


with tempfile.TemporaryDirectory() as directory:
    follow_to_the_report(directory)
    killed_writer(directory)
    progress_damaged(directory)
    closed_without_report(directory)
    run_again(directory)
    refused_at_start(directory)
finish()
