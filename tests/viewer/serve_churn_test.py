#!/usr/bin/env python3
"""tarnview serve while its reports change under it: more than a thousand
reports served, and some of them (the last one among them) rewritten in
place, truncated, grown, and replaced by another file, a link, a link to
/dev/zero, a named pipe and a directory, over and over, while four clients read every route.  The
server must answer every request with valid JSON, never end by a signal,
never hang, and stop at once on SIGTERM at the end.  Bounded to a minute.

    serve_churn_test.py TARNVIEW REPORT.log [SECONDS]
"""
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

view, golden = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 20
failures = []
lock = threading.Lock()


def check(condition, what):
    if not condition:
        with lock:
            failures.append(what)
        print("FAIL:", what, flush=True)


with open(golden, "rb") as file:
    report = file.read()
# A report that keeps its markup but whose lines all differ from the
# golden one's, so that a rewrite changes what every line is.
other = report.replace(b"#region 4, ", b"#region 4, Changed ").replace(b"POOL", b"TANK")

REPORTS = 1030  # more than a thousand: the last is beyond any fixed table of 1024
CHURNED = [0, 1, 2, REPORTS - 1]


def rewrite_in_place(path):
    with open(path, "r+b") as file:
        file.truncate(0)
        data = random.choice([report, other])
        for at in range(0, len(data), 4096):
            file.write(data[at:at + 4096])
            file.flush()


def truncate(path):
    os.truncate(path, random.randrange(0, len(report)))


def grow(path):
    with open(path, "ab") as file:
        file.write(report)


def replace_by(make):
    def action(path):
        if os.path.isdir(path) and not os.path.islink(path):
            os.rmdir(path)
        else:
            os.remove(path)
        make(path)
    return action


def regular(path):
    with open(path + ".new", "wb") as file:
        file.write(random.choice([report, other]))
    os.replace(path + ".new", path)


ACTIONS = [rewrite_in_place, truncate, grow, replace_by(regular),
           replace_by(lambda path: os.symlink(work + "/report-%04d.log" % 5, path)),
           replace_by(lambda path: os.symlink("/dev/zero", path)), replace_by(os.mkfifo), replace_by(os.mkdir)]


def churn(deadline):
    while time.time() < deadline:
        for number in CHURNED:
            path = work + "/report-%04d.log" % number
            try:
                action = random.choice(ACTIONS)
                if not os.path.isfile(path) or os.path.islink(path):
                    action = replace_by(regular)  # a special file goes back to a report before it changes again
                action(path)
            except OSError as error:
                check(False, "churn: %s" % error)
        # Now and then long enough for the server to take the files as
        # written again (half a second unchanged) and read them.
        time.sleep(random.choice([0, 0.05, 0.3, 0.7, 1.2, 1.2]))


def get(url):
    try:
        with urllib.request.urlopen(url, timeout=10) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


def read_routes(base, token, deadline):
    random.seed()
    while time.time() < deadline:
        number = random.choice(CHURNED + [3])
        routes = ["/api/reports", "/api/reports/%d/outline" % number, "/api/reports/%d/version" % number,
                  "/api/reports/%d/lines?from=%d&count=%d" % (number, random.randrange(600), random.randrange(1, 600)),
                  "/api/reports/%d/search?q=%s" % (number, random.choice(["POOL", "QSUL_POOL", "e", "Iteration"])),
                  "/api/reports/%d/history?name=QSUL_POOL" % number,
                  "/api/compare?a=%d&b=%d" % (number, random.choice(CHURNED))]
        for route in routes:
            separator = "&" if "?" in route else "?"
            try:
                status, body = get(base + route + separator + "token=" + token)
            except Exception as error:  # noqa: BLE001 - any failure to answer is one
                check(server.poll() is not None or False, "%s: no answer: %s" % (route, error))
                return
            check(status in (200, 400, 404), "%s: status %d" % (route, status))
            try:
                json.loads(body)
            except ValueError as error:
                check(False, "%s: invalid JSON: %s: %r" % (route, error, body[:200]))


work = tempfile.mkdtemp()
try:
    for number in range(REPORTS):
        with open(work + "/report-%04d.log" % number, "wb") as file:
            file.write(report)
    started = time.time()
    server = subprocess.Popen([view, "serve"] + [work + "/report-%04d.log" % n for n in range(REPORTS)],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    url = None
    for _ in range(5):
        found = re.search(r"http://\S+/\?token=[0-9a-f]{32}", server.stdout.readline())
        if found:
            url = found.group(0)
            break
    check(url is not None, "the server printed its address")
    if url:
        base, token = url.split("/?token=")
        deadline = time.time() + seconds
        threads = [threading.Thread(target=churn, args=(deadline,))]
        threads += [threading.Thread(target=read_routes, args=(base, token, deadline)) for _ in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=seconds + 30)
            check(not thread.is_alive(), "a client hung")
        check(server.poll() is None, "the server ended while serving: %s" % server.returncode)
        # Every report a regular file again: the last reloads may still
        # see them; the server must stop at once all the same.
        for number in CHURNED:
            replace_by(regular)(work + "/report-%04d.log" % number)
    server.send_signal(signal.SIGTERM)
    try:
        server.wait(timeout=2)
    except subprocess.TimeoutExpired:
        check(False, "SIGTERM did not stop the server")
        server.kill()
        server.wait()
    check(server.returncode == 0, "the server's exit status: %d" % server.returncode)
    errors = server.stderr.read()
    check("Sanitizer" not in errors and "runtime error" not in errors, "sanitizer findings:\n" + errors[-3000:])
    check(time.time() - started < 60, "the sweep took more than a minute")
finally:
    shutil.rmtree(work, ignore_errors=True)

if failures:
    print("%d failures" % len(failures))
    sys.exit(1)
print("all passed")
