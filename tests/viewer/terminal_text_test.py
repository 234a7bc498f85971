#!/usr/bin/env python3
"""What tarnview's terminal commands write of a report's text: every C0
control but the tab, DEL and every C1 control (in UTF-8 and as a lone byte)
put into a report line, a summary row's equation name and a variable's
table row, through show, summary (table, CSV, JSON) and history (table,
CSV): never a control byte on the output, always a visible form.  CSV
cells that a spreadsheet would take for formulas.  And a report truncated
while show writes it.

    terminal_text_test.py TARNVIEW GOLDEN_REPORT
"""
import json
import os
import re
import subprocess
import sys
import tempfile

view, golden = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def controls():
    """(name, raw bytes, visible form) of each control character."""
    for code in list(range(1, 0x20)) + [0x7F]:
        if code in (0x09, 0x0A):
            continue
        shown = "^?" if code == 0x7F else "^" + chr(code + 0x40)
        yield "C0 %02X" % code, bytes([code]), shown.encode()
    for code in range(0x80, 0xA0):
        yield "C1 U+%04X" % code, bytes([0xC2, code]), b"\\xC2\\x%02X" % code
        yield "lone byte %02X" % code, bytes([code]), b"\\x%02X" % code


# A character a terminal takes as a control: C0 but tab and line break, DEL,
# C1 in UTF-8, or a lone byte 0x80 to 0x9F outside a UTF-8 character (which
# decodes to U+DC80 to U+DC9F here).
def holds_control(output):
    text = re.sub(rb"\x1b\[[0-9;]*m", b"", output).decode("utf-8", "surrogateescape")  # show's own colours
    return any((ord(c) < 0x20 and c not in "\t\n") or 0x7F <= ord(c) <= 0x9F or 0xDC80 <= ord(c) <= 0xDC9F
               for c in text)


def tarnview(*arguments):
    return subprocess.run([view, *arguments], capture_output=True, timeout=30)


with open(golden, "rb") as file:
    report = file.read()
summary_row = b"      -1     0.0000e+00   0.0000e+00   0.0000e+00     -3900.000           0   POOL_QUAL"
variable_row = b"QSUL_POOL                      1.7 S          2.2            2.7 S          0.5              0         Optim"
check(summary_row in report and variable_row in report, "the golden report has the rows the test changes")

with tempfile.TemporaryDirectory() as work:
    path = work + "/hostile.log"
    for name, raw, shown in controls():
        hostile = report.replace(summary_row, summary_row.replace(b"POOL_QUAL", b"POOL" + raw + b"QUAL"))
        hostile = hostile.replace(variable_row, variable_row.replace(b"Optim", b"Op" + raw + b"tim"))
        with open(path, "wb") as file:
            file.write(hostile)
        runs = {
            "show": tarnview("show", path, "--color", "always", "--no-pager"),
            "show --plain": tarnview("show", path, "--plain"),
            "summary": tarnview("summary", path),
            "summary --csv": tarnview("summary", path, "--csv"),
            "summary --json": tarnview("summary", path, "--json"),
            "history": tarnview("history", path, "QSUL_POOL"),
            "history --csv": tarnview("history", path, "QSUL_POOL", "--csv"),
        }
        for command, result in runs.items():
            what = "%s, %s" % (command, name)
            check(result.returncode == 0, what + ": exit status %d %s" % (result.returncode, result.stderr))
            check(not holds_control(result.stdout), what + ": a control byte reached the output")
        for command in ("show", "show --plain", "summary", "summary --csv"):
            check(b"POOL" + shown + b"QUAL" in runs[command].stdout, "%s, %s: shown as %s" % (command, name, shown))
        for command in ("show", "history", "history --csv"):
            check(b"Op" + shown + b"tim" in runs[command].stdout, "%s, %s: row field shown" % (command, name))
        if runs["summary --json"].returncode == 0:
            rows = json.loads(runs["summary --json"].stdout)["rows"]
            expected = (b"POOL" + raw + b"QUAL").decode("utf-8", "replace")
            check(rows[0][6] == expected, "summary --json, %s: the name kept as data" % name)

    # A text cell a spreadsheet would run as a formula starts with a quote;
    # numbers, signed ones included, stay numbers.
    for lead in ["=", "+", "-", "@", "\t", "\r"]:
        cell = lead + "HYPERLINK(1)"
        hostile = report.replace(summary_row, summary_row.replace(b"POOL_QUAL", cell.encode()))
        hostile = hostile.replace(variable_row, variable_row.replace(b"Optim", cell.encode()))
        with open(path, "wb") as file:
            file.write(hostile)
        summary = tarnview("summary", path, "--csv").stdout.decode()
        history = tarnview("history", path, "QSUL_POOL", "--csv").stdout.decode()
        if lead == "\r":  # shown visibly as ^M, so no longer a formula
            check(",^MHYPERLINK(1)," in summary, "CSV cell %r: %s" % (lead, summary))
            continue
        check(",'" + cell + "," in summary, "summary --csv, cell %r: %s" % (lead, summary.splitlines()[1]))
        if lead != "\t":  # (a tab separates a table row's fields)
            check(",'" + cell + "," in history, "history --csv, cell %r" % lead)
    summary = tarnview("summary", golden, "--csv").stdout.decode()
    check("\n-1,0,0,0,-3900,0,POOL_QUAL,3.3\n" in summary, "numbers with a sign stay numbers: " + summary)

    # A report cut short while show is still writing it (the run repeated
    # while the pager waits): the rest reads as zero bytes, no Bus error.
    for command in (["show", "--plain", "--no-pager"], ["show", "--color", "always", "--no-pager"]):
        with open(path, "wb") as file:
            file.write(report * 200)
        shown = subprocess.Popen([view, command[0], path, *command[1:]], stdout=subprocess.PIPE)
        shown.stdout.read(1000)  # it has started, and waits for the pipe
        os.truncate(path, 0)
        rest = shown.stdout.read()
        check(shown.wait(timeout=30) == 0, "%s of a report truncated while shown: exit status %d"
              % (" ".join(command), shown.returncode))
        check(b"^@" in rest, "%s: the lost end reads as zero bytes" % " ".join(command))

if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("all passed")
