"""Helpers for driving the real program in an X server (run under xvfb-run).

Every wait polls for what it expects (a window, a file, a pixel, an exit) until a generous
time-out; nothing waits for a fixed time.
"""
import os
import re
import subprocess
import sys
import time

TIMEOUT = 60.0   # seconds for anything to appear
POLL = 0.05      # pause between two looks


class Failure(Exception):
    pass


def log(*args):
    print(*args, flush=True)


def wait_for(what, probe, timeout=TIMEOUT):
    """Calls probe() until it returns something true; returns that, or raises Failure."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out waiting for " + what)
        time.sleep(POLL)


def tool(*args, check=True):
    r = subprocess.run(list(args), capture_output=True, text=True)
    if check and r.returncode != 0:
        raise Failure("%s failed: %s" % (" ".join(args), r.stderr.strip()))
    return r.stdout


def start(binary):
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "xcb"
    env.pop("QT_QUICK_BACKEND", None)
    return subprocess.Popen([binary], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def windows(name):
    """Ids of the mapped windows whose title is exactly `name`."""
    r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(name)],
                       capture_output=True, text=True)
    return [int(w) for w in r.stdout.split()]


def wait_window(name, proc=None, timeout=TIMEOUT):
    def probe():
        if proc is not None and proc.poll() is not None:
            raise Failure("program ended (%d) before window %r appeared: %s"
                          % (proc.returncode, name, proc.stderr.read().decode(errors="replace")))
        ids = windows(name)
        return ids[0] if ids else None
    return wait_for("window " + repr(name), probe, timeout)


def geometry(window):
    """(x, y, width, height) of the window's inside on the screen."""
    out = tool("xwininfo", "-id", str(window))
    def field(label):
        m = re.search(r"^\s*%s:\s*(-?\d+)" % re.escape(label), out, re.M)
        if not m:
            raise Failure("xwininfo lacks " + label)
        return int(m.group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height"))


def wait_exit(proc, timeout=TIMEOUT):
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure("program did not end")


class Shot:
    """A screenshot of the whole screen, red-green-blue bytes."""

    def __init__(self, path=None):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              capture_output=True, check=True).stdout
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if not m:
            raise Failure("screenshot is not a PPM")
        self.width, self.height = int(m.group(1)), int(m.group(2))
        self.pixels = data[m.end():]
        if path:
            subprocess.run(["import", "-window", "root", path], check=True)

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


def click(x, y):
    tool("xdotool", "mousemove", "--sync", str(x), str(y))
    tool("xdotool", "click", "1")


def focus(window):
    tool("xdotool", "windowfocus", "--sync", str(window), check=False)


def main(test):
    """Runs test(args) and turns its outcome into an exit code and a closing line."""
    try:
        test(sys.argv[1:])
    except Failure as e:
        log("FAIL:", e)
        log("0 passed, 1 failed")
        sys.exit(1)
    log("1 passed, 0 failed")
