#!/usr/bin/env python3
"""Runs the same cases through the Linux and the Windows build and compares.

    compare_builds.py LINUX_BUILD WINDOWS_BUILD [WORK_DIR]

The cases are the example runs, the run-data files of the Linux tests and
the generated runs of make_runs.py.  Each
case runs in two fresh copies of its directory: build/bin/tarnreport on Linux,
bin/tarnreport.exe of the Windows build through its wine/run wrapper (whose
wine server the caller has started: `wine/run --prefix start`).

For every case the exit status must be equal, and standard output, standard
error and every file the run leaves behind (the report) must be the Linux
bytes with each "\n" written as "\r\n" (the Windows program writes its
streams and the report file in text mode).  Input files must be left
untouched by both.  One line per differing case, then "N passed, M failed".
Exit 0 when all passed, 1 otherwise, 2 on a setup problem.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_runs  # noqa: E402

TIMEOUT = 120
CONTROLLED = ("KORMOPTIONS", "TARN_STANDIN_FAULT", "LANG", "LANGUAGE")
CONTROLLED_PREFIX = "LC_"


def snapshot(directory):
    """Every file below directory: relative path -> bytes (None for a directory)."""
    result = {}
    for root, dirs, files in os.walk(directory):
        for name in dirs:
            result[os.path.relpath(os.path.join(root, name), directory)] = None
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                result[os.path.relpath(path, directory)] = f.read()
    return result


def run_in_copy(case_dir, work, command, env):
    tmp = tempfile.mkdtemp(dir=work)
    for entry in os.listdir(case_dir):
        if entry == "case.json":
            continue
        source = os.path.join(case_dir, entry)
        if os.path.isdir(source):
            shutil.copytree(source, os.path.join(tmp, entry))
        else:
            shutil.copy2(source, os.path.join(tmp, entry))
    try:
        p = subprocess.run(command, cwd=tmp, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return None
    files = snapshot(tmp)
    shutil.rmtree(tmp, ignore_errors=True)
    return p.returncode, p.stdout, p.stderr, files


def text_mode(data):
    return data.replace(b"\n", b"\r\n")


def first_difference(what, expected, actual):
    e, a = expected.split(b"\n"), actual.split(b"\n")
    for i in range(max(len(e), len(a))):
        x = e[i] if i < len(e) else None
        y = a[i] if i < len(a) else None
        if x != y:
            show = lambda t: "<end>" if t is None else repr(t[:150])
            return "%s line %d: Linux %s, Windows %s" % (what, i + 1, show(x), show(y))
    return "%s differs" % what


def compare(case_dir, linux_host, windows_host, wine, work):
    with open(os.path.join(case_dir, "case.json")) as f:
        spec = json.load(f)
    env = {k: v for k, v in os.environ.items()
           if k not in CONTROLLED and not k.startswith(CONTROLLED_PREFIX)}
    # Wine takes the Windows code page from the locale; FormatMessageA passes
    # text inserts through it, so the runs use one with a byte per character.
    env["LANG"] = "C"
    env.update(spec["env"])
    inputs = snapshot(case_dir)
    inputs.pop("case.json")
    linux = run_in_copy(case_dir, work, [linux_host] + spec["args"], env)
    windows = run_in_copy(case_dir, work, [wine, windows_host] + spec["args"], env)
    if linux is None or windows is None:
        return "no result within %d s" % TIMEOUT
    lrc, lout, lerr, lfiles = linux
    wrc, wout, werr, wfiles = windows
    if lrc < 0 or lrc > 2 or wrc < 0 or wrc > 2:
        return "abnormal exit: Linux %d, Windows %d; %r" % (lrc, wrc, werr[:200])
    if spec["ok"] is not None and (lrc == 0) != spec["ok"]:
        return "the Linux build %s (exit status %d)" % (
            "failed" if spec["ok"] else "did not fail", lrc)
    if lrc != wrc:
        return "exit status: Linux %d, Windows %d" % (lrc, wrc)
    if text_mode(lout) != wout:
        return first_difference("stdout", text_mode(lout), wout)
    if text_mode(lerr) != werr:
        return first_difference("stderr", text_mode(lerr), werr)
    for name, content in inputs.items():
        if lfiles.get(name, b"") != content or wfiles.get(name, b"") != content:
            return "input %s changed" % name
    if sorted(lfiles) != sorted(wfiles):
        return "files left: Linux %s, Windows %s" % (sorted(lfiles), sorted(wfiles))
    for name in sorted(lfiles):
        if name in inputs:
            continue
        if lfiles[name] is None or wfiles[name] is None:
            if lfiles[name] != wfiles[name]:
                return "%s: a directory in one build only" % name
            continue
        if text_mode(lfiles[name]) != wfiles[name]:
            return first_difference(name, text_mode(lfiles[name]), wfiles[name])
    return None


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: compare_builds.py LINUX_BUILD WINDOWS_BUILD [WORK_DIR]\n")
        return 2
    linux_build, windows_build = (os.path.abspath(a) for a in argv[:2])
    linux_host = os.path.join(linux_build, "bin", "tarnreport")
    windows_host = os.path.join(windows_build, "bin", "tarnreport.exe")
    wine = os.path.join(windows_build, "wine", "run")
    for path in (linux_host, windows_host, wine):
        if not os.path.isfile(path):
            print("compare_builds.py: %s is missing (build both trees first)" % path)
            return 2
    work = os.path.abspath(argv[2]) if len(argv) == 3 else tempfile.mkdtemp(prefix="tarn-compare.")
    cases_dir = os.path.join(work, "cases")
    runs_dir = os.path.join(work, "runs")
    for directory in (cases_dir, runs_dir):
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
    names = make_runs.write_cases(cases_dir, os.path.dirname(os.path.dirname(HERE)))
    passed = failed = 0
    for name in names:
        problem = compare(os.path.join(cases_dir, name), linux_host, windows_host, wine, runs_dir)
        if problem is None:
            passed += 1
        else:
            failed += 1
            print("FAIL %s: %s" % (name, problem))
            sys.stdout.flush()
    if len(argv) < 3:
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
