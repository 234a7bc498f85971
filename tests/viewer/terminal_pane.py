"""A terminal for the tests of tarnview view: a tmux server of its own with
one pane, typed into with send-keys and read with capture-pane, and the
checks the tests share (the terminal's modes after the view ends)."""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

failures = []


def finish():
    """Ends a test program: status 1 when a check failed."""
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all passed")


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
        self.barrier = 0
        # What the pane writes, as tmux reads it: a mark sent through the
        # pane's terminal has been read (and drawn) once it comes out here.
        self.folder = tempfile.mkdtemp(prefix="tarnview-pane-")
        fifo = os.path.join(self.folder, "output")
        os.mkfifo(fifo)
        self.output = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        self.tmux("pipe-pane", "-O", "-t", "0", "cat > %s" % fifo)
        self.seen = b""

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
                shown = self.drawn()
                if condition(shown):
                    return shown
            if time.monotonic() > deadline:
                print("--- screen while waiting for %s:\n%s---" % (pattern, shown), flush=True)
                return None
            time.sleep(0.1)

    def drawn(self, seconds=30):
        """The screen once the view has finished drawing it: its process
        waits for a key, and tmux has read everything it wrote before (a
        mark written to the pane's terminal after it has come through).
        A capture taken while the view is still writing holds only its
        first lines."""
        deadline = time.monotonic() + seconds
        while self.passed_mark(deadline) and not self.view_waiting():
            pass  # the view is still at work: each look waits for a mark to come through
        self.passed_mark(deadline)
        return self.screen()

    def passed_mark(self, deadline):
        """Sends a mark (a title) through the pane's terminal and waits until
        tmux has read it: False when the pane has ended or the deadline passed."""
        tty = self.display("#{pane_tty}")
        if not tty:
            return False
        self.barrier += 1
        mark = b"\033]2;drawn-%d\007" % self.barrier
        terminal = os.open(tty, os.O_WRONLY | os.O_NOCTTY)
        try:
            os.write(terminal, mark)
        finally:
            os.close(terminal)
        while mark not in self.seen:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.output], [], [], left)[0]:
                return False
            read = os.read(self.output, 65536)
            if not read:
                return False  # the pane has ended
            self.seen = self.seen[-len(mark):] + read
        self.seen = self.seen[self.seen.index(mark) + len(mark):]
        return True

    def display(self, form):
        return self.tmux("display-message", "-p", "-t", "0", form).rstrip("\n")

    def view_waiting(self):
        """Whether every tarnview in the pane waits in poll for a key (or
        none runs there)."""
        pane = self.display("#{pane_pid}")
        views = descendants(int(pane), "tarnview") if pane.isdigit() else []
        return all(waiting_in_poll(pid) for pid in views)

    def status(self):
        lines = self.screen().rstrip("\n").split("\n")
        return lines[-1] if lines else ""

    def close(self):
        self.tmux("kill-server")
        os.close(self.output)
        shutil.rmtree(self.folder, ignore_errors=True)


def descendants(root, name):
    """`root` and the processes below it named `name`."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)
            comm = fields[0].split("(", 1)[1]
            parent = int(fields[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append((int(entry), comm))
    found, queue = [], [root]
    try:
        with open("/proc/%d/comm" % root) as comm:
            if comm.read().strip() == name:
                found.append(root)
    except OSError:
        pass
    while queue:
        for pid, comm in children.get(queue.pop(), []):
            queue.append(pid)
            if comm == name:
                found.append(pid)
    return found


def waiting_in_poll(pid):
    try:
        with open("/proc/%d/wchan" % pid) as wchan:
            waits_in = wchan.read()
    except OSError:
        return True  # ended
    return "poll" in waits_in or "select" in waits_in


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


