#!/usr/bin/env python3
"""tarnview view in a real terminal (a tmux pane driven with send-keys and
read with capture-pane): fold and unfold, search with hits in folded
regions, go to an iteration, the history of a name, the keys, a resize to
80x24, a report written again, control characters, NO_COLOR, TERM=dumb,
Ctrl-C, Ctrl-Z and fg, and a quit that leaves the terminal sane.

    view_terminal_test.py TARNVIEW REPORT.log...          each report in turn
    view_terminal_test.py TARNVIEW --big WRITE_RUN TARNREPORT
        the same on a report of about 1.2 GB written in a temporary directory
"""
import os
import re
import subprocess
import sys
import tempfile

from terminal_pane import Pane, check, check_sane, ended_sane, failures, finish, shell_pane

view = sys.argv[1]
def table_row_name(path):
    """The name of the first row of the first variable details table."""
    with open(path, encoding="utf-8", errors="replace") as report:
        header = False
        for line in report:
            if header and line.strip():
                return line.split()[0]
            header = "Variable Name ---" in line
    return None


def view_one(path, seconds=30):
    name = os.path.basename(path)
    pane = shell_pane()
    try:
        pane.type("%s view %s; echo EXIT=$?\n" % (view, path))
        check(pane.wait(r"line 1/\d+", seconds), name + ": first screen")

        # Fold everything, then one region open and closed again.
        pane.keys("C")
        check(pane.wait_for(lambda shown: "\u25be" not in shown and "\u25b8" in shown), name + ": C folds every region")
        pane.keys("/")
        pane.type("Iteration Summary\n")
        check(pane.wait(r"\u25b8 Iteration Summary \(\d+ lines\)"), name + ": search reveals a folded title")
        pane.keys("Enter")
        shown = pane.wait(r"\u25be Iteration Summary")
        check(shown and re.search(r"^\s+-1\s", shown, re.M), name + ": Enter unfolds the summary\n" + (shown or ""))
        pane.keys("Enter")
        check(pane.wait(r"\u25b8 Iteration Summary \(\d+ lines\)"), name + ": Enter folds it again")
        pane.keys("1")
        check(pane.wait_for(lambda shown: re.search(r"^\u25be ", shown, re.M) and re.search(r"^  \u25b8 ", shown, re.M)),
              name + ": 1 opens the first level only")

        # A search whose hit is inside folded regions (a variable of the
        # initial conditions' details), then the next hit and back.
        row = table_row_name(path)
        pane.keys("C", "i")
        pane.type("init\n")
        check(pane.wait(r"line \d+/\d+  .*Initial Conditions"), name + ": i init goes to the initial conditions")
        pane.keys("/")
        pane.type(row + "\n")
        shown = pane.wait(r"found: " + re.escape(row))
        check(shown and re.search(r"^\s+" + re.escape(row) + r"\s", shown, re.M) and "> Variable Details" in pane.status(),
              name + ": the hit's regions unfold\n" + (shown or ""))
        first = int(re.search(r"line (\d+)/", pane.status()).group(1))
        pane.keys("n")
        # (While it searches, the status line says so instead of the line.)
        moved = pane.wait_for(lambda shown: re.search(r"line (?!%d/)\d+/" % first, shown), seconds)
        second = int(re.search(r"line (\d+)/", moved).group(1)) if moved else first
        check(second > first, name + ": n goes to the next hit (%d after %d)" % (second, first))
        pane.keys("N")
        pane.wait(r"line %d/" % first)
        check("line %d/" % first in pane.status(), name + ": N goes back")

        # The history of the name (at the cursor, or typed when the hit is
        # not a table row), with its chart.
        pane.keys("H")
        if pane.wait(r"history of: $|variable " + re.escape(row), seconds) and "history of:" in pane.status():
            pane.type(row + "\n")
        shown = pane.wait_for(lambda shown: "variable " + row in shown and "reading the history" not in shown,
                              seconds, "the whole history of " + row)
        check(shown and re.search(r"^Iteration\s", shown, re.M), name + ": the history's table\n" + (shown or ""))
        pane.keys("G")
        shown = pane.wait("\u2514\u2500")
        check(shown and "Value over the iterations" in shown, name + ": the history's chart\n" + (shown or ""))
        pane.keys("q")
        check(pane.wait(r"line \d+/"), name + ": q leaves the history")

        # Go to an iteration; the next block.
        pane.keys("i")
        pane.type("1\n")
        check(pane.wait(r"line \d+/\d+  .*Major Iteration 1"), name + ": i 1 goes to iteration 1")
        pane.keys("]")
        check(pane.wait(r"line \d+/\d+  .*Major Iteration 2"), name + ": ] goes to the next block")
        pane.keys(":")
        pane.type("3\n")
        check(pane.wait(r"line 3/"), name + ": :3 goes to line 3")

        # The keys; a resize to 80x24.
        pane.keys("?", "Enter")
        check(pane.wait("Keys of tarnview view"), name + ": ? then Enter lists the keys")
        pane.keys("Escape")
        pane.wait(r"line \d+/")
        pane.tmux("resize-window", "-t", "0", "-x", "80", "-y", "24")
        pane.keys("G")

        def at_80x24(shown):
            lines = shown.rstrip("\n").split("\n")
            return len(lines) == 24 and re.search(r"line \d+/", lines[-1]) and all(len(line) <= 80 for line in lines)
        check(pane.wait_for(at_80x24, 10, "80x24"), name + ": 80x24 after a resize")

        pane.keys("q")
        ended_sane(pane, name)
    finally:
        pane.close()


PREFIX = re.compile(r"^\?[0-9 ]{9}\}")
TARGET_REGIONS = ("Algebraic Model Display", "Iteration Summary", "Largest Residuals", "Infeasibility Diagnosis")


def expected_targets(path):
    """Independently of the reader: for each line of the regions where names
    occur (the model display, the summary, the first largest residuals, the
    diagnosis), what w should choose in turn: "the history of NAME" for
    each name where it occurs (a whole name: after a line start, a blank or
    "*", before a line end, a blank or ":"; in a row of a table with fixed
    columns only the row's own name), "iteration K" for a summary row's
    iteration number."""
    with open(path, encoding="utf-8", errors="replace") as report:
        lines = [PREFIX.sub("", line.rstrip("\n")) for line in report]
    names, header = set(), None
    for text in lines:
        if re.match(r"^(Variable|Equation) Name -", text):
            header = text
        elif header and text.strip() and not text.startswith("#"):
            names.add(text.split()[0])
        else:
            header = None
    targets, stack, seen, fixed = {}, [], set(), False
    for number, text in enumerate(lines, 1):
        start = re.match(r"^#region \d+, (.*)$", text)
        if start:
            stack.append(start.group(1))
            continue
        if text == "#endregion":
            title = stack.pop() if stack else ""
            if title in TARGET_REGIONS:
                seen.add(title)
            continue
        inside = [t for t in stack if t in TARGET_REGIONS and t not in seen]
        if not inside or not text.strip():
            fixed = False if not text.strip() else fixed
            continue
        if re.match(r"^(Variable|Equation) Name -", text):
            fixed = "Associated" not in text
            continue
        found = []
        if fixed:
            found = ["the history of " + text.split()[0]] if text.split()[0] in names else []
        else:
            spans = []
            for name in names:
                for hit in re.finditer(r"(?:(?<=^)|(?<=[ *]))%s(?=$|[ :])" % re.escape(name), text):
                    spans.append((hit.start(), -len(name), name))
            end = 0
            for begin, length, name in sorted(spans):
                if begin >= end:
                    found.append((begin, "the history of " + name))
                    end = begin - length
            if inside[-1] == "Iteration Summary":
                first = re.match(r"^\s*(-?\d+)\s", text)
                if first:
                    found.append((first.start(1), "iteration " + first.group(1)))
            found = [label for _, label in sorted(found)]
        targets[number] = found
    return targets


def names_as_targets(path):
    """Every name and summary iteration number where it occurs is a target
    of w, and Enter goes to it; the H prompt suggests names as they are
    typed; x shows what changed from one iteration to the next."""
    name = os.path.basename(path)
    targets = expected_targets(path)
    check(len(targets) > 5, name + ": lines with names to try")
    pane = shell_pane(width=200)
    try:
        pane.type("%s view %s; echo EXIT=$?\n" % (view, path))
        pane.wait(r"line 1/\d+")
        for number, expected in sorted(targets.items()):
            pane.keys(":")
            pane.type("%d\n" % number)
            pane.wait(r"line %d/" % number)
            chosen = []
            pane.keys("w")
            shown = pane.wait(r"Enter: (.*) \(1 of (\d+)\)\s*$|no name or iteration number", 10) or ""
            total = re.search(r"Enter: (.*) \(1 of (\d+)\)\s*$", shown, re.M)
            if total:
                chosen.append(total.group(1))
                for k in range(2, int(total.group(2)) + 1):
                    pane.keys("w")
                    step = pane.wait(r"Enter: (.*) \(%d of \d+\)\s*$" % k, 10) or ""
                    found = re.search(r"Enter: (.*) \(%d of \d+\)\s*$" % k, step, re.M)
                    chosen.append(found.group(1) if found else "?")
            check(chosen == expected, "%s: line %d: w chooses %s, not %s" % (name, number, expected, chosen))
            if len(failures) > 20:
                break
        # Enter on a chosen name: its history; on an iteration number: its block.
        for number, expected in sorted(targets.items()):
            if expected and expected[-1].startswith("the history of "):
                pane.keys(":")
                pane.type("%d\n" % number)
                pane.wait(r"line %d/" % number)
                pane.keys(*["w"] * len(expected))
                pane.wait(r"\(%d of" % len(expected))
                pane.keys("Enter")
                wanted = expected[-1][len("the history of "):]
                check(pane.wait(r"^(variable|equation) %s$" % re.escape(wanted)),
                      "%s: Enter on %s shows its history" % (name, wanted))
                pane.keys("q")
                break
        # The H prompt lists the names holding what is typed; Tab takes one.
        row = table_row_name(path)
        pane.keys("g", "H")
        pane.wait(r"history of:")
        pane.type(row[1:].lower())
        check(pane.wait(r"^Tab:.*  %s(  |$)" % re.escape(row)), name + ": H suggests " + row)
        pane.keys(*["Tab"] * 1)
        shown = pane.wait(r"^history of: \S+")
        check(shown and re.search(r"^history of: \S+", shown, re.M), name + ": Tab takes a suggestion")
        pane.keys("Escape")
        # What changed from the initial point to iteration 0.
        pane.keys("i")
        pane.type("init\n")
        pane.wait(r"Initial Conditions")
        pane.keys("x")
        shown = pane.wait(r"^From iteration -1 to 0: ")
        check(shown and re.search(r"^Change +Name +Before +After +Difference +Relative", shown, re.M),
              name + ": x shows what changed\n" + (shown or ""))
        pane.keys("q", "q")
        check(pane.wait(r"EXIT=0"), name + ": q ends the view")
    finally:
        pane.close()


def terminal_and_signals(path):
    # Ctrl-Z, the shell, fg; then Ctrl-C.
    pane = shell_pane()
    try:
        pane.type("%s %s\n" % (view, path))
        check(pane.wait(r"line 1/"), "short form: first screen")
        pane.keys("C-z")
        check(pane.wait(r"Stopped"), "Ctrl-Z stops the view")
        check_sane(pane, "Ctrl-Z")
        pane.type("fg\n")
        check(pane.wait(r"line 1/"), "fg shows the view again")
        pane.keys("j", "j")
        check(pane.wait(r"line 3/"), "the view takes keys after fg")
        pane.keys("C-c")
        pane.type("echo EXIT=$?\n")
        ended_sane(pane, "Ctrl-C")
        check("line 3/" not in pane.screen(), "Ctrl-C leaves the view's screen")
    finally:
        pane.close()

    # A report that cannot be read: said before the screen is taken.
    pane = shell_pane()
    try:
        pane.type("%s view %s.missing; echo EXIT=$?\n" % (view, path))
        shown = pane.wait(r"EXIT=\d+") or ""
        check("EXIT=1" in shown and re.search(r"^tarnview view: .*\.missing: cannot open", shown, re.M),
              "a missing report: its error\n" + shown)
        check_sane(pane, "a missing report")
        # A file that is no report: refused, before the screen is taken.
        with tempfile.NamedTemporaryFile("w", suffix=".txt") as text:
            text.write("plain text, no report\n")
            text.flush()
            pane.type("clear; %s view %s; echo EXIT=$?\n" % (view, text.name))
            shown = pane.wait(r"EXIT=\d+") or ""
            check("EXIT=1" in shown and "not a report" in shown, "a file that is no report: refused\n" + shown)
    finally:
        pane.close()

    # NO_COLOR: no colours; with colours: the report's.
    for env, coloured in (({}, True), ({"NO_COLOR": "1"}, False)):
        settings = " ".join("%s=%s" % item for item in env.items())
        pane = Pane("%s %s view %s; sleep 30" % (settings, view, path))
        try:
            pane.wait(r"line 1/")
            escapes = pane.screen(escapes=True)
            check(bool(re.search(r"\x1b\[[0-9;]*38;5;", escapes)) == coloured, "colours with env %s" % env)
        finally:
            pane.close()

    # TERM=dumb: the report as show writes it.
    # (tmux sets TERM in the pane: the command sets it again.)
    pane = Pane("TERM=dumb PAGER= %s view %s; echo EXIT=$?; sleep 30" % (view, path))
    try:
        shown = pane.wait(r"EXIT=\d+") or ""
        check("EXIT=0" in shown and re.search(r"^- [A-Z]", shown, re.M), "TERM=dumb: show\n" + shown)
    finally:
        pane.close()


def control_characters_and_reload():
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "controls.log")
        controls = "".join(chr(c) for c in range(1, 32) if c not in (10, 13)) + "\x7f\u0085\u009b"
        with open(path, "w", encoding="utf-8") as report:
            report.write("?000128000}#region 1, Title \x1b[2J here\nbefore %s after\n#endregion\n" % controls)
        pane = shell_pane()
        try:
            pane.type("%s view %s; echo EXIT=$?\n" % (view, path))
            shown = pane.wait(r"line 1/") or ""
            check("Title ^[[2J here" in shown, "a control character in a title is shown\n" + shown)
            check("before ^A^B^C^D^E^F^G^H" in shown and "^Z^[^\\^]^^^_^?\\xC2\\x85\\xC2\\x9B after" in shown,
                  "every control character is shown\n" + shown)
            # The report written again: read again, with a notice.
            with open(path, "a", encoding="utf-8") as report:
                report.write("a line written later\n")
            check(pane.wait(r"written again: reloaded", 10), "a report written again is read again")
            pane.keys("G")
            check(pane.wait("a line written later"), "the new text is shown")
            pane.keys("q")
            ended_sane(pane, "controls")
        finally:
            pane.close()

        # A long report cut short in place while its end is on the screen:
        # the lost pages read as nothing until the report is read again.
        with open(path, "w", encoding="utf-8") as report:
            report.write("?000128000}#region 1, Long\n")
            report.write("".join("line %07d of a long report\n" % i for i in range(300000)))
            report.write("#endregion\n")
        pane = shell_pane()
        try:
            pane.type("%s view %s; echo EXIT=$?\n" % (view, path))
            pane.wait(r"line 1/")
            pane.keys("G")
            check(pane.wait("line 0299999 of a long report"), "the long report's end")
            with open(path, "r+", encoding="utf-8") as report:
                report.truncate(0)
                report.write("TARNReport execution report.\nshort again\n")
            pane.keys("k", "k", "j")
            check(pane.wait(r"written again: reloaded", 10), "a report cut short is read again")
            check(pane.wait(r"line [12]/2 "), "the view shows what is left")
            pane.keys("q")
            ended_sane(pane, "cut short")
        finally:
            pane.close()


def big_report(write_run, tarnreport):
    with tempfile.TemporaryDirectory() as work:
        base = os.path.join(work, "big")
        subprocess.run([write_run, base + ".vdr", "--variables", "100000", "--equations", "100000",
                        "--iterations", "51"], check=True, timeout=600)
        subprocess.run([tarnreport, base], check=True, timeout=900, stdout=subprocess.DEVNULL)
        os.remove(base + ".vdr")
        size = os.path.getsize(base + ".log")
        check(size >= 1 << 30, "the big report is at least 1 GB (%d bytes)" % size)
        view_one(base + ".log", seconds=120)


if len(sys.argv) > 2 and sys.argv[2] == "--big":
    big_report(sys.argv[3], sys.argv[4])
else:
    for report_path in sys.argv[2:]:
        view_one(report_path)
        names_as_targets(report_path)
    terminal_and_signals(sys.argv[2])
    control_characters_and_reload()
finish()
