"""Waiting for files to change, without guessing how long it takes: the
kernel's inotify tells when anything in a folder is created, written,
closed, moved or removed.

    with FileEvents(folder, ...) as events:
        while not done():
            events.wait(seconds)     # False once `seconds` pass without one

Run as a program, `file_events.py SECONDS FOLDER...` returns (status 0) at
the first change in a folder, or with status 1 once SECONDS pass."""
import ctypes
import os
import select
import sys
import time

IN_MODIFY, IN_CLOSE_WRITE, IN_OPEN = 0x2, 0x8, 0x20
IN_MOVED_FROM, IN_MOVED_TO, IN_CREATE, IN_DELETE = 0x40, 0x80, 0x100, 0x200
CHANGES = IN_MODIFY | IN_CLOSE_WRITE | IN_OPEN | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE | IN_DELETE
IN_NONBLOCK, IN_CLOEXEC = 0o4000, 0o2000000

_libc = ctypes.CDLL(None, use_errno=True)


class FileEvents:
    def __init__(self, *folders):
        self.fd = _libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        for folder in folders:
            if _libc.inotify_add_watch(self.fd, os.fsencode(folder), CHANGES) < 0:
                error = ctypes.get_errno()
                os.close(self.fd)
                raise OSError(error, os.strerror(error), folder)

    def wait(self, seconds):
        """True at the next change (or one not yet read), False once
        `seconds` pass without one."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                return False
            try:
                os.read(self.fd, 65536)
                return True
            except BlockingIOError:
                continue

    def close(self):
        os.close(self.fd)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()


if __name__ == "__main__":
    with FileEvents(*sys.argv[2:]) as events:
        sys.exit(0 if events.wait(float(sys.argv[1])) else 1)
