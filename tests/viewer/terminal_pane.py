"""A terminal for the tests of tarnview view: a tmux server of its own with
one pane, typed into with send-keys and read with capture-pane, and the
checks the tests share (the terminal's modes after the view ends)."""
import os
import re
import subprocess
import tempfile
import time

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


class Pane:
    """A tmux server of its own with one pane running a command."""

    def __init__(self, command, env=None, width=100, height=30):
        self.socket = "tarnview-view-%d-%d" % (os.getpid(), time.monotonic_ns())
        arguments = ["new-session", "-d", "-x", str(width), "-y", str(height)]
        for key, value in {"TERM": "xterm-256color", "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8", **(env or {})}.items():
            arguments += ["-e", "%s=%s" % (key, value)]
        self.tmux(*arguments, command)

    def tmux(self, *arguments):
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", *arguments],
                              capture_output=True, text=True, timeout=30).stdout

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "0", *keys)

    def type(self, text):
        self.tmux("send-keys", "-t", "0", "-l", text)

    def screen(self, escapes=False):
        return self.tmux("capture-pane", "-p", "-t", "0", *(["-e"] if escapes else []))

    def wait(self, pattern, seconds=30):
        """The screen once `pattern` (a regular expression) is on it."""
        return self.wait_for(lambda shown: re.search(pattern, shown, re.M), seconds, repr(pattern))

    def wait_for(self, condition, seconds=30, pattern="a condition"):
        """The screen once `condition(screen)` holds on a screen the view
        has finished drawing, or None."""
        deadline = time.monotonic() + seconds
        while True:
            shown = self.screen()
            if condition(shown):
                shown = self.drawn(shown)
                if condition(shown):
                    return shown
            if time.monotonic() > deadline:
                print("--- screen while waiting for %s:\n%s---" % (pattern, shown), flush=True)
                return None
            time.sleep(0.1)

    def drawn(self, shown, seconds=3):
        """The screen once two captures in a row are alike: a capture taken
        while the view is still writing a screen holds only its first
        lines.  (A screen that keeps changing is taken as it last was.)"""
        limit = time.monotonic() + seconds
        while time.monotonic() < limit:
            time.sleep(0.05)
            again = self.screen()
            if again == shown:
                break
            shown = again
        return shown

    def status(self):
        lines = self.screen().rstrip("\n").split("\n")
        return lines[-1] if lines else ""

    def close(self):
        self.tmux("kill-server")


def shell_pane(env=None, width=100, height=30):
    return Pane("bash --norc --noprofile -i", env=env, width=width, height=height)


def terminal_modes(pane):
    """The pane's terminal modes as the shell in it sees them (stty -a)."""
    with tempfile.NamedTemporaryFile("r", suffix=".stty") as modes:
        marker = "STTY_%d" % time.monotonic_ns()
        pane.type("stty -a > %s; echo %s\n" % (modes.name, marker))
        pane.wait(r"^%s\s*$" % marker, 10)
        return modes.read().split()


def check_sane(pane, what):
    modes = terminal_modes(pane)
    broken = [mode for mode in ("-icanon", "-echo", "-isig", "-icrnl", "-opost") if mode in modes]
    check(modes and not broken, what + ": terminal sane, not %s" % broken)


def ended_sane(pane, what):
    """After the view ends: its exit status, and the terminal in its normal modes."""
    shown = pane.wait(r"EXIT=\d+")
    check(shown is not None and "EXIT=0" in shown, what + ": exit status 0")
    check_sane(pane, what)


