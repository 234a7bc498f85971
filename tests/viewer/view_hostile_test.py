#!/usr/bin/env python3
"""tarnview view in a real terminal (tmux) on reports and terminals that
used to hang, crawl, garble or break it: 100,000 nested regions, 100,000
iteration blocks, lines of 10 MB, every signal that ends a process, wide
(CJK) characters, an unknown TERM, a report that keeps growing; and the
history chart's labels and the status line at 80 columns.

    view_hostile_test.py TARNVIEW
"""
import os
import re
import signal
import sys
import tempfile
import threading
import time
import unicodedata

from terminal_pane import Pane, check, check_sane, finish, shell_pane

view = sys.argv[1]
NOTICE = "TARNReport execution report.\n"  # what a report without regions starts with


def view_pid(pane):
    """The view's process: the child of the pane's shell."""
    shell = pane.tmux("display-message", "-p", "-t", "0", "#{pane_pid}").strip()
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        for task in os.listdir("/proc/%s/task" % shell):
            with open("/proc/%s/task/%s/children" % (shell, task)) as children:
                found = children.read().split()
            if found:
                return int(found[0])
        time.sleep(0.05)
    return None


def start(pane, path, width_status=r"line 1/"):
    pane.type("ulimit -c 0; %s view %s; echo EXIT=$?\n" % (view, path))
    return pane.wait(width_status, 60)


def line_count(path):
    with open(path, "rb") as report:
        return sum(1 for _ in report)


def deep_nesting(work):
    """Every walk of the region tree is bounded by one path's depth."""
    depth = 100000
    path = os.path.join(work, "deep.log")
    with open(path, "w") as report:
        report.write("".join("#region 1, Level %d\n" % level for level in range(depth)))
        report.write("the innermost line\n")
        report.write("#endregion\n" * depth)
        report.write("after the nest\n")
    last = 2 * depth + 2
    pane = shell_pane()
    try:
        check(start(pane, path), "deep: first screen")
        pane.keys("O", "G")
        shown = pane.wait(r"line %d/%d" % (last, last), 60)
        check(shown and "after the nest" in shown, "deep: O then G shows the last line")
        pane.keys("k")
        check(pane.wait(r"line %d/.*Level %d" % (depth + 1, depth - 1), 60), "deep: k walks back over the end lines")
        pane.keys("G", "k", "g")
        check(pane.wait(r"line 1/%d" % last, 60), "deep: g goes to the top")
        pane.keys("G")
        pane.wait(r"line %d/" % last, 60)
        os.kill(view_pid(pane), 15)
        shown = pane.wait(r"EXIT=\d+", 60)
        check(shown and "EXIT=0" in shown, "deep: SIGTERM ends the view")
        check_sane(pane, "deep: SIGTERM")
    finally:
        pane.close()


def many_blocks(work):
    blocks = 100000
    path = os.path.join(work, "blocks.log")
    with open(path, "w") as report:
        report.write("#region 1, Iteration Details\n")
        report.write("".join("#region 0, ===== Major Iteration %d =====\nstep %d\n#endregion\n" % (k, k)
                             for k in range(blocks)))
        report.write("#endregion\n")
    pane = shell_pane()
    try:
        check(start(pane, path), "blocks: first screen")
        pane.keys("G", "[")
        check(pane.wait(r"line \d+/.*Major Iteration %d\s" % (blocks - 2), 60), "blocks: [ from the last block")
        pane.keys("]")
        check(pane.wait(r"line \d+/.*Major Iteration %d\s" % (blocks - 1), 60), "blocks: ] to the last block")
        pane.keys("i")
        pane.type("50000\n")
        shown = pane.wait(r"line \d+/.*Major Iteration 50000\s", 60)
        check(shown and re.search(r"^\s+step 50000\s*$", shown, re.M), "blocks: i 50000 unfolds the block\n%s" % shown)
        pane.keys("q")
        check(pane.wait(r"EXIT=0", 60), "blocks: q ends the view")
    finally:
        pane.close()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def long_lines(work):
    """Lines of 10 MB: keys answered, and no work while no key comes."""
    path = os.path.join(work, "long.log")
    with open(path, "w") as report:
        report.write(NOTICE)
        for number in range(12):
            report.write("long line %d " % number + "x" * (10 << 20) + "\n")
    pane = shell_pane()
    try:
        check(start(pane, path), "long: first screen")
        pane.keys("j", "j")
        check(pane.wait(r"line 3/13", 60), "long: j answered")
        # Left alone, the view must not redraw: wait for it to spend half a
        # second of CPU, giving up after six seconds (a busy machine only
        # makes that less likely).
        pid = view_pid(pane)
        before = cpu_seconds(pid)
        deadline = time.monotonic() + 6
        while time.monotonic() < deadline and cpu_seconds(pid) - before < 0.5:
            time.sleep(0.1)
        check(cpu_seconds(pid) - before < 0.5, "long: the view idles without redrawing (%.2f s of CPU)"
              % (cpu_seconds(pid) - before))
        pane.keys("l", "q")
        check(pane.wait(r"EXIT=0", 60), "long: q ends the view")
    finally:
        pane.close()


# Every catchable signal whose default action ends a process (SIGKILL and
# SIGSTOP cannot be caught; SIGTSTP, SIGTTIN and SIGTTOU stop it and are
# tested with Ctrl-Z; the others are ignored by default).
ENDING_SIGNALS = ["SIGHUP", "SIGINT", "SIGQUIT", "SIGILL", "SIGTRAP", "SIGABRT", "SIGBUS", "SIGFPE", "SIGUSR1",
                  "SIGSEGV", "SIGUSR2", "SIGPIPE", "SIGALRM", "SIGTERM", "SIGSTKFLT", "SIGXCPU", "SIGXFSZ",
                  "SIGVTALRM", "SIGPROF", "SIGIO", "SIGPWR", "SIGSYS"]
ENDING_SIGNALS = [(name, getattr(signal, name)) for name in ENDING_SIGNALS] + [
    ("SIGRTMIN", signal.SIGRTMIN), ("SIGRTMIN+5", signal.SIGRTMIN + 5), ("SIGRTMAX", signal.SIGRTMAX)]


def every_signal(report):
    pane = shell_pane()
    try:
        for name, number in ENDING_SIGNALS:
            if not start(pane, report):
                check(False, "%s: the view started" % name)
                continue
            os.kill(view_pid(pane), number)
            shown = pane.wait(r"EXIT=\d+", 30)
            check(shown is not None, "%s ends the view" % name)
            check(shown is None or "line 1/" not in shown, "%s: the view's screen is left" % name)
            check_sane(pane, name)
            pane.type("clear\n")
            pane.wait(r"^\S*[$#]\s*$", 10)
    finally:
        pane.close()


def display_width(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 0 if unicodedata.combining(c) else 1 for c in text)


def wide_characters(work):
    path = os.path.join(work, "wide.log")
    wide = "\u8868" * 60
    with open(path, "w", encoding="utf-8") as report:
        report.write("#region 1, \u6570\u636e\u8868 %s\n" % wide)
        report.write("%s end\nthe next line\n" % wide)
        report.write("#endregion\n")
    pane = shell_pane(width=80, height=24)
    try:
        check(start(pane, path), "wide: first screen")
        pane.keys("Tab", "j")
        shown = pane.wait(r"line 2/", 30) or ""
        rows = shown.rstrip("\n").split("\n")
        check(all(display_width(row) <= 80 for row in rows),
              "wide: no row is wider than the terminal\n" + shown)
        bars = [row for row in rows[:-1] if row.strip()]
        check(bars and all(re.match(r"^[^\u2502]*\u2502", row) and display_width(row.split("\u2502")[0]) == 23
                           for row in bars), "wide: the outline's edge stays in its column\n" + shown)
        check(re.search(r"^[^\n]*\u2502\s+the next line", shown, re.M), "wide: the next line is its own\n" + shown)
        pane.keys("q")
        check(pane.wait(r"EXIT=0", 30), "wide: q ends the view")
    finally:
        pane.close()


def unknown_terminal(work, report):
    note = os.path.join(work, "note.txt")
    pane = Pane("TERM=no-such-terminal PAGER= %s view %s 2> %s; echo EXIT=$?; sleep 30" % (view, report, note))
    try:
        shown = pane.wait(r"EXIT=\d+", 30) or ""
        check("EXIT=0" in shown and re.search(r"^\S+ [A-Z]", shown, re.M), "an unknown TERM: show\n" + shown)
        with open(note) as said:
            check("no-such-terminal is not known here" in said.read(), "an unknown TERM: a note")
    finally:
        pane.close()


def growing_report(work):
    path = os.path.join(work, "growing.log")
    with open(path, "w") as report:
        report.write(NOTICE + "".join("first line %d\n" % i for i in range(10)))
    stop = threading.Event()

    def grow():
        for i in range(150):
            if stop.wait(0.2):
                return
            with open(path, "a") as report:
                report.write("grown line %03d\n" % i)

    pane = shell_pane()
    writer = threading.Thread(target=grow)
    try:
        check(start(pane, path), "growing: first screen")
        writer.start()
        shown = pane.wait(r"grown line 0(0[5-9]|[1-9]\d)", 25)
        check(shown and writer.is_alive(), "growing: shown while it grows\n%s" % shown)
        pane.keys("q")
        check(pane.wait(r"EXIT=0", 30), "growing: q ends the view")
    finally:
        stop.set()
        if writer.is_alive():
            writer.join()
        pane.close()


HEADER = ("Variable Name -------------- Lower -------- Value -------- Upper --------- Step ----- "
          "ShadowPrice --- Status --- Type --- ")
ROW = ("PENALTY                          1 S            3              5 S            2              0"
       "          Calc     Integer   ")


def variable_row(value):
    end = ROW.index(" 3 ") + 2
    return ROW[:end - len(value)] + value + ROW[end:]


def chart_report(work):
    """A run whose PENALTY goes from -1.4255e-12 to 1e+08."""
    path = os.path.join(work, "chart.log")
    values = ["-1.4255e-12", "10", "1000", "100000", "1e+07", "1e+08", "1e+08"]
    with open(path, "w") as report:
        report.write("#region 1, Iteration Information\n#region 4, Iteration Details\n")
        for number, value in enumerate(values):
            title = "Initial Conditions" if number == 0 else "Major Iteration %d" % (number - 1)
            report.write("#region 0, ========== %s ==========\n#region 4, Variable Details\n\n" % title)
            report.write("?000128000}" + HEADER + "\n" + variable_row(value) + "\n#endregion\n#endregion\n")
        report.write("#endregion\n#endregion\n")
    return path


def chart_and_status(work):
    path = chart_report(work)
    pane = shell_pane(width=80, height=24)
    try:
        check(start(pane, path), "chart: first screen")
        pane.keys("i")
        pane.type("3\n")
        shown = pane.wait(r"line \d+/.*Major Iteration 3", 30) or ""
        check("\u25be Major Iteration 3" in shown, "chart: i 3 unfolds the block\n" + shown)
        # The status line at 80 columns: where the cursor is, and a message.
        pane.keys("H")
        pane.wait(r"history of:\s*$", 30)
        pane.type("NO_SUCH_NAME\n")
        pane.wait(r"no variable", 30)
        status = pane.status()
        check(re.search(r"^chart\.log  line \d+/\d+ ", status) and re.search(r"\S  +no variable or equation named", status),
              "chart: the status line keeps the place and the message apart at 80 columns\n" + status)
        # The history's chart: labels with their signs, iteration labels.
        pane.keys("H")
        pane.wait(r"history of:\s*$", 30)
        pane.type("PENALTY\n")
        shown = pane.wait_for(lambda shown: "variable PENALTY" in shown and "reading the history" not in shown,
                              30, "the whole history of PENALTY") or ""
        check(re.search(r"^-1 +1 +S +-1\.4255e-12 +5 ", shown, re.M) and re.search(r"^5 .* 1e\+08 ", shown, re.M),
              "chart: the history's table as written\n" + shown)
        pane.keys("G")
        shown = pane.wait("\u2514\u2500", 30) or ""
        check(re.search(r"^\s*1e\+08 \u2502", shown, re.M) and re.search(r"^-1\.4255e-12 \u2502", shown, re.M),
              "chart: the axis labels keep - and +\n" + shown)
        check(re.search(r"^\s+-1 +0 .* 5$", shown, re.M), "chart: the iterations under the axis\n" + shown)
        pane.keys("q", "q")
        check(pane.wait(r"EXIT=0", 30), "chart: q ends the view")
    finally:
        pane.close()


with tempfile.TemporaryDirectory() as directory:
    chart_and_status(directory)
    unknown_terminal(directory, chart_report(directory))
    every_signal(chart_report(directory))
    wide_characters(directory)
    growing_report(directory)
    deep_nesting(directory)
    many_blocks(directory)
    long_lines(directory)
finish()
