#!/usr/bin/python3
# Runs a command on a pseudo-terminal as a person at the keyboard would: answers its first y/N
# question with "y", presses Ctrl-C once the upgrade's progress shows, waits, and presses it
# again. Prints what the terminal showed, then "running after the first Ctrl-C: yes|no"; exits
# with the command's status.
# Usage: on_terminal.py COMMAND [ARGS...]
import os
import pty
import select
import signal
import sys
import time

shown = b""


def read_until(fd, token, seconds):
    """Reads the terminal until `token` shows or `seconds` pass; False at the end of output."""
    global shown
    deadline = time.monotonic() + seconds
    while token not in shown and time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.05)
        if ready:
            try:
                data = os.read(fd, 4096)
            except OSError:
                return False
            if not data:
                return False
            shown += data
    return token in shown


def main():
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(sys.argv[1], sys.argv[1:])
    read_until(fd, b"[y/N]", 30)
    os.write(fd, b"y\n")
    read_until(fd, b"frames", 30)
    os.kill(pid, signal.SIGINT)
    read_until(fd, b"again", 5)
    time.sleep(0.3)
    reaped, status = os.waitpid(pid, os.WNOHANG)
    running = reaped == 0
    if running:
        os.kill(pid, signal.SIGINT)
        read_until(fd, b"\0", 30)  # everything up to the end of its output
        _, status = os.waitpid(pid, 0)
    sys.stdout.write(shown.decode(errors="replace"))
    sys.stdout.write("\nrunning after the first Ctrl-C: %s\n" % ("yes" if running else "no"))
    sys.exit(os.waitstatus_to_exitcode(status))


main()
