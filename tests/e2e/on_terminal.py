#!/usr/bin/python3
# Runs a command on a pseudo-terminal as a person at the keyboard would. Without steps: answers
# its first y/N question with "y", presses Ctrl-C once the upgrade's progress shows, waits, and
# presses it again, then prints what the terminal showed and "running after the first Ctrl-C:
# yes|no". With steps, takes them in order:
#   --expect TEXT   waits (up to 30 s) until TEXT shows on the terminal
#   --type KEYS     types KEYS, with backslash escapes: "\n" Enter, "\x03" Ctrl-C
#   --sleep SECONDS waits that long, reading what the terminal shows meanwhile
#   --commands      prints "command: ARGS" for every process of the terminal's session, as the
#                   process list shows them to every user
# then prints what the terminal showed once the command has ended. Exits with its status.
# Usage: on_terminal.py COMMAND [ARGS...]
#        on_terminal.py STEP... -- COMMAND [ARGS...]
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


def session_commands(session):
    """The argument lists of the processes of `session`, as /proc shows them to every user."""
    lines = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                words = cmdline.read().split(b"\0")
        except OSError:
            continue
        if int(fields[3]) == session:
            lines.append("command: " + b" ".join(words).decode(errors="replace").strip())
    return lines


def run_steps(steps, command):
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(command[0], command)
    commands = []
    for step, value in steps:
        if step == "--expect":
            read_until(fd, value.encode(), 30)
        elif step == "--sleep":
            read_until(fd, b"\0", float(value))
        elif step == "--type":
            os.write(fd, value.encode().decode("unicode_escape").encode("latin-1"))
        elif step == "--commands":
            commands += session_commands(pid)
    read_until(fd, b"\0", 60)  # everything up to the end of its output
    _, status = os.waitpid(pid, 0)
    sys.stdout.write(shown.decode(errors="replace"))
    for line in commands:
        sys.stdout.write("\n" + line)
    sys.stdout.write("\n")
    sys.exit(os.waitstatus_to_exitcode(status))


def main():
    if sys.argv[1].startswith("--"):
        end = sys.argv.index("--")
        words = sys.argv[1:end]
        steps = []
        while words:
            step = words.pop(0)
            steps.append((step, words.pop(0) if step in ("--expect", "--type", "--sleep") else None))
        run_steps(steps, sys.argv[end + 1:])
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
