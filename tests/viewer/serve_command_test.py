#!/usr/bin/env python3
"""tarnview serve as a program: usage errors, a report that cannot be read,
a port already taken, the printed address answering with its token and
refusing without it, and a clean stop on SIGTERM.

    serve_command_test.py TARNVIEW REPORT.log
"""
import json
import re
import signal
import socket
import subprocess
import sys
import tempfile
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
    check(server.wait(timeout=10) == 0, "SIGTERM: stops with exit status 0")
finally:
    if server.poll() is None:
        server.kill()
        server.wait()

sys.exit(1 if failures else 0)
