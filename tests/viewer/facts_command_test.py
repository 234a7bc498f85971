#!/usr/bin/env python3
"""tarnview's answers about runs checked against the reports' own text, read
here in a way of its own: `summary --facts` against each report's header
and last summary row and its option displays; `diff` against the two
iteration blocks' Variable Details, Active Variable Bounds and Equation
Details.  And what a user mistypes: a file that is no report, an unknown
command, a name given in part.

    facts_command_test.py TARNVIEW GOLDEN_DIRECTORY EXAMPLES_DIRECTORY
"""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile

view, golden, examples = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []
REPORTS = [os.path.join(golden, name) for name in
           ("blending.log", "refinery_infeasible.log", "refinery_unbounded.log")]


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def tarnview(*arguments):
    return subprocess.run([view, *arguments], capture_output=True, timeout=60)


def shown_lines(path):
    """Each line without its colour prefix."""
    with open(path, encoding="utf-8", errors="replace") as report:
        return [re.sub(r"^\?[0-9 ]{9}\}", "", line.rstrip("\n")) for line in report]


def regions(path):
    """(title, first line, last line) of every region, titles stripped of '='."""
    found, stack = [], []
    for number, line in enumerate(shown_lines(path)):
        start = re.match(r"#region \d+, (.*)$", line)
        if start:
            stack.append((start.group(1).strip("= ").strip(), number))
        elif line == "#endregion" and stack:
            title, first = stack.pop()
            found.append((title, first, number))
    return found


def header(path, key):
    for line in shown_lines(path):
        if line.strip().startswith(key):
            return line.split(":", 1)[1].strip()
    return ""


def summary_rows(path):
    lines = shown_lines(path)
    (_, first, last), = [r for r in regions(path) if r[0] == "Iteration Summary"]
    return [line.split() for line in lines[first + 1:last] if re.match(r"^\s+-?\d+\s", line)]


def options(path):
    lines, found = shown_lines(path), {}
    for title, first, last in regions(path):
        if title.endswith("Option Display"):
            for line in lines[first + 1:last]:
                if " = " in line:
                    key, value = line.split(" = ", 1)
                    found[key.strip()] = value.strip()
    return found


def number(text):
    return float(text.lstrip("+"))


def check_facts():
    result = tarnview("summary", "--facts", "--json", *REPORTS)
    check(result.returncode == 0, "summary --facts --json: %s" % result.stderr)
    runs = json.loads(result.stdout)
    every = [options(path) for path in REPORTS]
    keys = set().union(*every)
    differing = {key for key in keys if len({o.get(key) for o in every}) > 1}
    check(len(differing) >= 3, "the examples differ in some options: %s" % differing)
    for path, run, shown in zip(REPORTS, runs, every):
        rows = summary_rows(path)
        what = "facts of " + os.path.basename(path)
        check(run["status"] == header(path, "Solution Status"), what + ": status " + run["status"])
        check(run["model"] == header(path, "Model Name"), what + ": model")
        check(run["finalObjective"] == number(rows[-1][4]), what + ": objective %s" % run["finalObjective"])
        check(run["majorIterations"] == sum(1 for row in rows if int(row[0]) >= 0), what + ": iterations")
        infeasibility = number(rows[-1][7]) if len(rows[-1]) == 8 else None
        check(run["finalInfeasibility"] == infeasibility, what + ": infeasibility %s" % run["finalInfeasibility"])
        given = {option["option"]: option["value"] for option in run["options"]}
        check(set(given) == differing, what + ": options %s, not %s" % (sorted(given), sorted(differing)))
        check(all(given[key] == shown.get(key) for key in given), what + ": option values %s" % given)
    # The table and CSV say the same.
    table = list(csv.reader(io.StringIO(tarnview("summary", "--facts", "--csv", *REPORTS).stdout.decode())))
    check([row[0] for row in table[1:]] == REPORTS, "summary --facts --csv: a line per report")
    check([row[1] for row in table[1:]] == [run["status"] for run in runs], "summary --facts --csv: statuses")


def block_rows(path, iteration, table):
    """The rows of a table of one iteration block, split into words, by name."""
    lines = shown_lines(path)
    title = "Initial Conditions" if iteration == -1 else "Major Iteration %d" % iteration
    (_, first, last), = [r for r in regions(path) if r[0] == title]
    rows = {}
    for name, start, end in regions(path):
        if name == table and first < start < last:
            for line in lines[start + 1:end]:
                if line.strip() and "---" not in line:
                    words = line.split()
                    rows[words[0]] = words[1:]
    return rows


def variable_value_status(words):
    """Value and Status of a Variable Details row: Lower [S] Value Upper [S] [Step] ShadowPrice Status Type."""
    rest = words[1:]
    if rest[0] == "S":
        rest = rest[1:]
    return number(rest[0]), words[-2]


def check_diff(path, k, l):
    what = "diff %s %d %d" % (os.path.basename(path), k, l)
    arguments = ["diff", path, str(k)] + ([str(l)] if l != k + 1 else []) + ["--json", "--limit", "0"]
    result = tarnview(*arguments)
    check(result.returncode == 0, what + ": " + result.stderr.decode())
    diff = json.loads(result.stdout)
    before, after = block_rows(path, k, "Variable Details"), block_rows(path, l, "Variable Details")
    values, statuses = {}, {}
    for name in before.keys() & after.keys():
        (a, sa), (b, sb) = variable_value_status(before[name]), variable_value_status(after[name])
        if a != b:
            values[name] = (a, b)
        if sa != sb:
            statuses[name] = (sa, sb)
    check({v["name"]: (v["a"], v["b"]) for v in diff["values"]} == values, what + ": values")
    sizes = [abs(v["b"] - v["a"]) for v in diff["values"]]
    check(sizes == sorted(sizes, reverse=True), what + ": largest change first")
    check({s["name"]: (s["before"], s["after"]) for s in diff["statuses"]} == statuses, what + ": statuses")

    bound = lambda words: " ".join(words[1:-1])
    a, b = block_rows(path, k, "Active Variable Bounds"), block_rows(path, l, "Active Variable Bounds")
    bounds = {name: (bound(a[name]) if name in a else None, bound(b[name]) if name in b else None)
              for name in a.keys() | b.keys()}
    bounds = {name: change for name, change in bounds.items() if change[0] != change[1]}
    check({x["name"]: (x["before"], x["after"]) for x in diff["bounds"]} == bounds,
          what + ": bounds %s" % bounds)

    a, b = block_rows(path, k, "Equation Details"), block_rows(path, l, "Equation Details")
    infeasible = {name: number(a[name][2]) != 0 for name in a}
    became = {name: number(b[name][2]) != 0 for name in b if name in infeasible and
              (number(b[name][2]) != 0) != infeasible[name]}
    check({x["name"]: x["became"] for x in diff["infeasibility"]} == became, what + ": infeasibility %s" % became)
    return values, bounds, became, statuses


def with_status_changed(path, work):
    """A copy of the blending report whose F_C1_POOL is no longer Optim in
    iteration 1 (no example changes a status)."""
    with open(path, encoding="utf-8") as report:
        lines = report.read().split("\n")
    (_, first, last), = [r for r in regions(path) if r[0] == "Major Iteration 1"]
    for number in range(first, last):
        if lines[number].startswith("F_C1_POOL ") and " Optim " in lines[number]:
            lines[number] = lines[number].replace(" Optim ", "  Calc ")
    copy = os.path.join(work, "status.log")
    with open(copy, "w", encoding="utf-8") as report:
        report.write("\n".join(lines))
    return copy


def check_diffs():
    with tempfile.TemporaryDirectory() as work:
        found = [check_diff(REPORTS[0], 0, 1), check_diff(REPORTS[0], -1, 3), check_diff(REPORTS[1], 1, 2),
                 check_diff(REPORTS[2], 3, 4), check_diff(with_status_changed(REPORTS[0], work), 0, 1)]
    # The diffs between them have every kind of change.
    for kind, name in enumerate(("values", "bounds", "infeasibility", "statuses")):
        check(any(changes[kind] for changes in found), "no diff has %s changes" % name)
    result = tarnview("diff", REPORTS[0], "9")
    check(result.returncode == 1 and b"no iteration 9" in result.stderr, "diff of a missing iteration")
    result = tarnview("diff", REPORTS[0], "3")
    check(result.returncode == 1 and b"iteration 3 is the report's last" in result.stderr,
          "diff from the last iteration: " + result.stderr.decode())


def check_wrong_input():
    with tempfile.TemporaryDirectory() as work:
        text = os.path.join(work, "notes.txt")
        with open(text, "w") as file:
            file.write("Some notes\nabout a run\n")
        for path, expected in ((os.path.join(examples, "blending.vdr"), b"run data"), (text, b"")):
            for command in (["summary"], ["show", "--plain"], ["history", "QSUL_POOL"], ["diff", "0"],
                            ["summary", "--facts"], ["html", "-o", os.path.join(work, "page.html")]):
                arguments = command[:1] + [path] + command[1:]
                result = tarnview(*arguments)
                what = "tarnview %s of %s" % (command[0], os.path.basename(path))
                check(result.returncode == 1, what + ": exit status %d" % result.returncode)
                check(result.stdout == b"", what + ": wrote " + result.stdout.decode()[:80])
                message = result.stderr.decode()
                check(message.count("\n") == 1 and path in message and "not a report" in message and
                      expected.decode() in message, what + ": said " + message)
    result = tarnview("histroy", REPORTS[0], "QSUL_POOL")
    check(result.returncode == 2 and b"did you mean history?" in result.stderr, "histroy: " + result.stderr.decode())
    result = tarnview("history", REPORTS[1], "qsul_cdu")
    check(result.returncode == 1 and b"did you mean QSUL_CDU_P1, QSUL_CDU_P2 or QSUL_CDU_P3?" in result.stderr,
          "history of a part of names: " + result.stderr.decode())
    result = tarnview("show", REPORTS[0], "--plain", "--region", "variable details")
    check(result.returncode == 0 and b"BATCHES" in result.stdout, "show --region in another case")
    result = tarnview("show", REPORTS[0], "--plain", "--region", "Information List")
    titles = [line for line in result.stdout.decode().splitlines() if line.startswith("Information List")]
    check(titles == ["Information List (Initial Conditions)", "Information List (Major Iteration 2)"],
          "show --region says each block's iteration: %s" % titles)
    result = tarnview("show", REPORTS[0], "--plain", "--region", "Varible Details")
    check(result.returncode == 1 and b"did you mean Variable Details?" in result.stderr,
          "show --region misspelt: " + result.stderr.decode())


def check_folder_facts():
    """summary --facts DIR: every run and report under the folder, ended or not, each report's row as its
    header and last summary row say."""
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(work + "/ended")
        for path in REPORTS:
            with open(path, "rb") as source, open(work + "/ended/" + os.path.basename(path), "wb") as copy:
                copy.write(source.read())
        gone = subprocess.Popen(["true"])
        gone.wait()
        for name, pid in (("going", os.getpid()), ("stopped", gone.pid)):
            with open(work + "/" + name + ".vdr.progress", "w") as progress:
                progress.write('{"format":"tarn-vdr-progress","version":1,"run":"x.vdr","pid":%d,"started":""}\n'
                               '{"model":"M","variables":["X"],"equations":[]}\n'
                               '{"iter":0,"feasible":true,"objective":"-inf","infeasibility":2,'
                               '"objective_convergence":0,"residual_convergence":0,"variable_convergence":0,'
                               '"most_infeasible":""}\n' % pid)
        os.mkfifo(work + "/pipe.log")
        result = tarnview("summary", "--facts", work, "--json")
        check(result.returncode == 0, "summary --facts DIR --json: %s" % result.stderr)
        rows = {row["name"]: row for row in json.loads(result.stdout)} if result.returncode == 0 else {}
        expected = ["ended/" + os.path.basename(path)[:-4] for path in REPORTS] + ["going", "stopped"]
        check(sorted(rows) == sorted(expected), "summary --facts DIR: the runs %s" % sorted(rows))
        for path in REPORTS:
            row, summary = rows.get("ended/" + os.path.basename(path)[:-4], {}), summary_rows(path)
            what = "summary --facts DIR: " + os.path.basename(path)
            check(row.get("state") == "ended" and row.get("status") == header(path, "Solution Status"), what + ": status")
            check(row.get("objective") == number(summary[-1][4]), what + ": objective %s" % row.get("objective"))
            check(row.get("iterations") == sum(1 for line in summary if int(line[0]) >= 0), what + ": iterations")
            check(row.get("reportSize") == os.path.getsize(path), what + ": size")
        check(rows.get("going", {}).get("state") == "running" and rows["going"]["objective"] == "-inf",
              "summary --facts DIR: the running run: %s" % rows.get("going"))
        check(rows.get("stopped", {}).get("state") == "stopped without an end", "summary --facts DIR: stopped")
        table = list(csv.reader(io.StringIO(tarnview("summary", "--facts", work, "--csv").stdout.decode())))
        check([row[:2] for row in table[1:]] == [[name, rows[name]["state"]] for name in sorted(rows)],
              "summary --facts DIR --csv: the same runs and states: %s" % table)


check_facts()
check_diffs()
check_folder_facts()
check_wrong_input()
if failures:
    print("%d failure(s)" % len(failures))
    sys.exit(1)
print("all checks passed")
