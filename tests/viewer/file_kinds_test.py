#!/usr/bin/env python3
"""tarnview and every kind of file: a report that is not a regular file (a
directory, a named pipe, a device, a link to a device, a socket) is refused
by every command with one line before anything is read; and `html -o` onto
every kind of output (a new name, a file, a link, a device, a pipe, a
directory, standard output) replaces only a regular file or a new name.

    file_kinds_test.py TARNVIEW REPORT.log
"""
import os
import socket
import stat
import subprocess
import sys
import tempfile
import threading

view, report = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def tarnview(*arguments):
    try:
        return subprocess.run([view, *arguments], capture_output=True, timeout=10)
    except subprocess.TimeoutExpired:
        return None


with tempfile.TemporaryDirectory() as work:
    # Reports that are not regular files.
    kinds = {
        "a directory": lambda path: os.mkdir(path),
        "a named pipe (FIFO)": lambda path: os.mkfifo(path),
        "a character device": lambda path: os.symlink("/dev/zero", path),
        "a socket": lambda path: socket.socket(socket.AF_UNIX).bind(path),
    }
    for kind, make in kinds.items():
        path = os.path.join(work, "report-" + kind.split()[1] + ".log")
        make(path)
        for command in (["show"], ["summary"], ["history", "X"], ["html"], ["serve"], ["view"]):
            arguments = [command[0], path] + command[1:]
            result = tarnview(*arguments)
            what = "%s of %s" % (command[0], kind)
            check(result is not None, what + ": refused at once")
            if result is None:
                continue
            err = result.stderr.decode()
            check(result.returncode == 1, what + ": exit status %d" % result.returncode)
            check(err.count("\n") == 1 and path + ": is " + kind + ", not a report" in err, what + ": " + err)

    # html -o onto every kind of output.
    def page_written(data):
        return data.startswith(b"<!DOCTYPE html>")

    target = os.path.join(work, "target.html")

    outputs = []
    outputs.append(("a new name", os.path.join(work, "new.html"), lambda p: None, stat.S_ISREG))
    outputs.append(("a regular file", os.path.join(work, "old.html"),
                    lambda p: open(p, "w").write("old page"), stat.S_ISREG))
    outputs.append(("a link to a file", os.path.join(work, "link.html"),
                    lambda p: (open(target, "w").write("old"), os.symlink(target, p)), stat.S_ISLNK))
    outputs.append(("a link to /dev/null", os.path.join(work, "null-link.html"),
                    lambda p: os.symlink("/dev/null", p), stat.S_ISLNK))
    if os.geteuid() == 0:
        outputs.append(("a device", os.path.join(work, "null-device"),
                        lambda p: os.mknod(p, stat.S_IFCHR | 0o666, os.makedev(1, 3)), stat.S_ISCHR))
    for kind, path, make, still in outputs:
        make(path)
        result = tarnview("html", report, "-o", path)
        check(result is not None and result.returncode == 0, "html -o %s: %s" % (kind, result and result.stderr))
        check(still(os.lstat(path).st_mode), "html -o %s: it is still what it was" % kind)
        if kind in ("a new name", "a regular file"):
            check(page_written(open(path, "rb").read()), "html -o %s: the page is there" % kind)
        if kind == "a link to a file":
            check(page_written(open(target, "rb").read()), "html -o %s: the page is in the file linked to" % kind)
    check(not any(".part" in name for name in os.listdir(work)), "html -o: no partial page left")

    fifo = os.path.join(work, "pipe.html")
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(open(fifo, "rb").read()))
    reader.start()
    result = tarnview("html", report, "-o", fifo)
    reader.join(timeout=10)
    check(result is not None and result.returncode == 0 and received and page_written(received[0]),
          "html -o a named pipe: the page goes through it")
    check(stat.S_ISFIFO(os.lstat(fifo).st_mode), "html -o a named pipe: it stays a pipe")

    result = tarnview("html", report, "-o", "-")
    check(result is not None and result.returncode == 0 and page_written(result.stdout)
          and b"wrote" not in result.stdout, "html -o -: the page on standard output alone")

    directory = os.path.join(work, "directory.html")
    os.mkdir(directory)
    result = tarnview("html", report, "-o", directory)
    check(result is not None and result.returncode == 1 and os.path.isdir(directory),
          "html -o a directory: an error, the directory kept")

if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("all passed")
