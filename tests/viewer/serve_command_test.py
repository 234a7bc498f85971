#!/usr/bin/env python3
"""tarnview serve as a program: usage errors, a report that cannot be read,
a port already taken, the printed address answering with its token and
refusing without it, and a clean stop on SIGTERM.

    serve_command_test.py TARNVIEW REPORT.log
"""
import json
import os
import re
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

view, report = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def run(*arguments):
    return subprocess.run([view, "serve", *arguments], capture_output=True, text=True, timeout=30)


def status_of(url):
    try:
        with urllib.request.urlopen(url, timeout=10) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.read()


# Usage and failures before serving.
check("usage: tarnview serve" in run("--help").stdout, "--help")
check(run().returncode == 2, "no report: exit status 2")
check(run(report, "--port", "http").returncode == 2, "--port http: exit status 2")
check(run(report, "--port", "70000").returncode == 2, "--port 70000: exit status 2")
check(run(report, "--bogus").returncode == 2, "unknown option: exit status 2")
with tempfile.TemporaryDirectory() as work:
    missing = run(report, work + "/missing.log")
    check(missing.returncode == 1, "missing report: exit status 1")
    check(work + "/missing.log: cannot open" in missing.stderr, "missing report named: " + missing.stderr)
with socket.socket() as taken:
    taken.bind(("127.0.0.1", 0))
    taken.listen()
    busy = run(report, "--port", str(taken.getsockname()[1]))
    check(busy.returncode == 1 and "cannot listen on 127.0.0.1:" in busy.stderr, "port in use: " + busy.stderr)

# Serving: the address printed, answers with the token, 403 without.
server = subprocess.Popen([view, "serve", report, "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True)
try:
    url = None
    for _ in range(5):
        line = server.stdout.readline()
        found = re.search(r"http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32}", line)
        if found:
            url = found.group(0)
            break
    check(url is not None, "the address with its token is printed")
    if url:
        base, token = url.split("/?token=")
        status, body = status_of(base + "/api/reports?token=" + token)
        check(status == 200 and json.loads(body)[0]["file"] == "blending.log", "reports listed")
        status, body = status_of(url)
        check(status == 200 and b"<html" in body.lower(), "the page served")
        check(status_of(base + "/api/reports")[0] == 403, "no token: 403")
        check(status_of(base + "/api/reports?token=" + "0" * 32)[0] == 403, "wrong token: 403")
    server.send_signal(signal.SIGTERM)
    check(server.wait(timeout=2) == 0, "SIGTERM: stops at once with exit status 0")
finally:
    if server.poll() is None:
        server.kill()
        server.wait()



def start(*arguments, environment=None, limit=None):
    """A server on the arguments, and the address it printed (None if none)."""
    process = subprocess.Popen([view, "serve", report, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True, env=environment, preexec_fn=limit)
    for _ in range(5):
        found = re.search(r"http://\S+/\?token=[0-9a-f]{32}", process.stdout.readline())
        if found:
            return process, found.group(0)
    return process, None


def stop(process):
    """SIGTERM; the exit status and standard error (None when it did not stop at once: the server's
    own waits end within a tenth of a second; the rest is left to a busy machine)."""
    process.send_signal(signal.SIGTERM)
    try:
        process.wait(timeout=2)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        return None, process.stderr.read()
    return process.returncode, process.stderr.read()


# Every spelling of --host: strict numeric addresses only; one that other
# machines reach needs --allow-remote and is named in a warning.
for spelling in ["", "0", "0x0", "000.000.000.000", "127.1", "2130706433", "[::1]", "example.org", " 127.0.0.1"]:
    refused = run(report, "--host", spelling)
    check(refused.returncode == 2 and "--host takes an IP address" in refused.stderr,
          "--host %r: usage error: %s" % (spelling, refused.stderr))
for spelling in ["0.0.0.0", "::", "::0", "0:0:0:0:0:0:0:0", "::ffff:0.0.0.0"]:
    refused = run(report, "--host", spelling)
    check(refused.returncode == 2 and "--allow-remote" in refused.stderr,
          "--host %s without --allow-remote: %s" % (spelling, refused.stderr))
    process, url = start("--host", spelling, "--allow-remote")
    status, err = stop(process)
    check(url is not None and status == 0, "--host %s --allow-remote serves" % spelling)
    check("warning: listening on " in err and "every address" in err, "--host %s: the warning: %s" % (spelling, err))
for spelling in ["127.0.0.1", "localhost", "::1"]:
    process, url = start("--host", spelling)
    if url:
        base, token = url.split("/?token=")
        check(status_of(base + "/api/reports?token=" + token)[0] == 200, "--host %s: the printed address answers" % spelling)
    status, err = stop(process)
    check(url is not None and status == 0 and "warning" not in err, "--host %s: loopback, no warning: %s" % (spelling, err))

# A port another server holds is an error, not a second server on it.
first, url = start()
if url:
    port = url.split(":")[2].split("/")[0]
    second = run(report, "--port", port)
    check(second.returncode == 1 and "cannot listen on 127.0.0.1:" + port in second.stderr,
          "a second server on the port: " + second.stderr)
stop(first)

# Descriptors run out: with 64 the server can hold fewer connections than
# 150 idle clients open; the newcomers idle longest make room, so the user
# with the token is still answered and the server lives on.
def with_descriptors(count):
    return lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (count, count))


process, url = start(limit=with_descriptors(64))
idle = []
try:
    check(url is not None, "serves with 64 descriptors")
    if url:
        base, token = url.split("/?token=")
        address = ("127.0.0.1", int(base.rsplit(":", 1)[1]))
        for _ in range(150):
            idle.append(socket.create_connection(address, timeout=10))
        answered = [status_of(base + "/api/reports/0/version?token=" + token)[0] for _ in range(10)]
        check(answered == [200] * 10, "descriptors exhausted: the token holder answered: %s" % answered)
finally:
    for connection in idle:
        connection.close()
    status, err = stop(process)
    check(status == 0, "descriptors exhausted: the server lives on and stops cleanly: %s" % err)

# --open hands the browser a private file, not the token on a command line.
with tempfile.TemporaryDirectory() as work:
    opener = work + "/xdg-open"
    with open(opener, "w") as script:
        script.write('#!/bin/sh\necho "$@" > %s/arguments\ncp "$1" %s/page\nstat -c %%a "$1" > %s/mode\n'
                     % (work, work, work))
    os.chmod(opener, 0o755)
    environment = dict(os.environ, PATH=work + ":" + os.environ["PATH"], XDG_RUNTIME_DIR=work)
    process, url = start("--open", environment=environment)
    for _ in range(50):
        if os.path.exists(work + "/mode"):
            break
        time.sleep(0.1)
    status, _ = stop(process)
    token = url.split("token=")[1] if url else "?"
    arguments = open(work + "/arguments").read() if os.path.exists(work + "/arguments") else ""
    check(arguments != "" and token not in arguments, "--open: xdg-open's arguments hold no token: " + arguments)
    check(os.path.exists(work + "/page") and url in open(work + "/page").read(), "--open: the page holds the address")
    check(os.path.exists(work + "/mode") and open(work + "/mode").read().strip() == "600", "--open: the page is private")
    check(not os.path.exists(arguments.strip()), "--open: the page is removed when the server stops")

# Runs and folders: each named by what it is; the page opens where they are.
with tempfile.TemporaryDirectory() as work:
    study = work + "/study"
    os.makedirs(study + "/sub")
    with open(report) as source, open(study + "/sub/case.log", "w") as copy:
        copy.write(source.read())
    with open(study + "/going.vdr.progress", "w") as progress:
        progress.write('{"format":"tarn-vdr-progress","version":1,"run":"going.vdr","pid":%d,"started":""}\n'
                       % os.getpid())
    os.mkdir(work + "/dir.vdr")
    refused = run(work + "/dir.vdr")
    check(refused.returncode == 1 and "dir.vdr: is not a regular file" in refused.stderr,
          "a directory named like a run: refused: " + refused.stderr)
    refused = run(work + "/nothing")
    check(refused.returncode == 1 and "nothing: no run there" in refused.stderr, "no run: " + refused.stderr)
    for given, hash_ in ((study, "#runs"), (study + "/going.vdr.progress", "#run=0"), (study + "/going", "#run=0")):
        process = subprocess.Popen([view, "serve", given], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        printed = process.stdout.readline() + process.stdout.readline()
        found = re.search(r"(http://\S+)/\?token=([0-9a-f]{32})(#\S*)?", printed)
        check(found is not None and found.group(3) == hash_, "serve %s: the page opens at %s: %s" % (given, hash_, printed))
        if found:
            status, body = status_of(found.group(1) + "/api/runs?token=" + found.group(2))
            names = sorted(row["name"] + ":" + row["state"] for row in json.loads(body)["runs"]) if status == 200 else []
            expected = ["going:running", "sub/case:ended"] if given == study else ["going:running"]
            check(names == expected, "serve %s: the runs listed: %s" % (given, names))
        status, err = stop(process)
        check(status == 0, "serve %s: stops cleanly: %s" % (given, err))

sys.exit(1 if failures else 0)
