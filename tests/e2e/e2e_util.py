"""Helpers for driving the real program in an X server (run under xvfb-run).

Every wait polls for what it expects (a window, a file, a pixel, an exit) until a generous
time-out; nothing waits for a fixed time.
"""
import os
import pathlib
import re
import subprocess
import sys
import time
import traceback

TIMEOUT = 60.0   # seconds for anything to appear
POLL = 0.05      # pause between two looks


def near(a, b, tolerance=0):
    return len(a) == len(b) and all(abs(x - y) <= tolerance for x, y in zip(a, b))


class Failure(Exception):
    pass


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


def start(binary, *args):
    """Starts the program; its output goes to a file (a pipe nobody reads could block it)."""
    import tempfile
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "xcb"
    # Qt's own file dialogs, which the tests drive: no desktop whose platform theme would bring
    # the desktop's dialogs instead.
    for name in ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION",
                 "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"):
        env.pop(name, None)
    # The window's exports go into the desktop's recently-used list: a list of the test's own.
    env.setdefault("XDG_DATA_HOME", tempfile.mkdtemp(prefix="kadrovo-data-"))
    # Its preferences too, unless a test means to keep them from one run to the next.
    env.setdefault("XDG_CONFIG_HOME", tempfile.mkdtemp(prefix="kadrovo-config-"))
    output = tempfile.TemporaryFile()
    proc = subprocess.Popen([binary, *args], env=env, stdout=output, stderr=subprocess.STDOUT)
    proc.output = output
    return proc


def output_of(proc):
    proc.output.seek(0)
    return proc.output.read().decode(errors="replace")


def windows(name):
    """Ids of the mapped windows whose title is exactly `name`."""
    found = tool("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(name),
                 check=False)
    return [int(w) for w in found.split()]


def wait_window(name, proc=None, timeout=TIMEOUT):
    def probe():
        if proc is not None and proc.poll() is not None:
            raise Failure("program ended (%d) before window %r appeared: %s"
                          % (proc.returncode, name, output_of(proc)))
        ids = windows(name)
        return ids[0] if ids else None
    return wait_for("window " + repr(name), probe, timeout)


def geometry(window):
    """(x, y, width, height) of the window's inside on the screen."""
    out = tool("xwininfo", "-id", str(window))
    labels = ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")
    found = [re.search(r"^\s*%s:\s*(-?\d+)" % label, out, re.M) for label in labels]
    if not all(found):
        raise Failure("xwininfo lacks the window's place or size: " + out)
    return tuple(int(m.group(1)) for m in found)


class Picture:
    """The red-green-blue pixels of a PPM picture."""

    def __init__(self, ppm):
        m = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", ppm)
        if not m:
            raise Failure("not a PPM picture")
        self.width, self.height, self.pixels = int(m.group(1)), int(m.group(2)), ppm[m.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


class Shot(Picture):
    """A screenshot of the whole screen; saved at `path` too when given."""

    def __init__(self, path=None):
        super().__init__(subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                                        capture_output=True, check=True).stdout)
        if path:
            subprocess.run(["import", "-window", "root", path], check=True)


def focus(window):
    tool("xdotool", "windowfocus", "--sync", str(window), check=False)


def main(test):
    """Runs test(args) and turns its outcome into an exit code and a closing line."""
    try:
        test(sys.argv[1:])
    except Failure as e:
        # The test script's line that was waiting: most waits share one helper.
        where = [f for f in traceback.extract_tb(e.__traceback__) if f.filename != __file__]
        print("FAIL:", e, "(%s line %d)" % (os.path.basename(where[-1].filename),
                                            where[-1].lineno) if where else "")
        print("0 passed, 1 failed")
        sys.exit(1)
    print("1 passed, 0 failed")


COLOUR = (100, 150, 200)  # of the plain test pictures


def write_bmp(path, width=800, height=600, colour=COLOUR):
    """A 24-bit BMP file of `colour` (red, green, blue), or of the colours a function of (x, y)
    gives; its folder is made if need be."""
    import struct
    os.makedirs(os.path.dirname(path), exist_ok=True)
    pick = colour if callable(colour) else lambda x, y: colour
    padding = b"\0" * ((width * 3 + 3) // 4 * 4 - width * 3)
    # Rows are stored from the bottom up, pixels as blue, green, red.
    pixels = b"".join(b"".join(bytes(pick(x, y)[::-1]) for x in range(width)) + padding
                      for y in reversed(range(height)))
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    pathlib.Path(path).write_bytes(header + info + pixels)


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def read_picture(path):
    """The Picture of a whole picture file, decoded by djpeg (a JPEG) or ImageMagick; None while
    there is none or it is not whole."""
    try:
        with open(path, "rb") as f:
            jpeg = f.read(2) == b"\xff\xd8"
    except OSError:
        return None
    r = subprocess.run(["djpeg", "-pnm", path] if jpeg else
                       ["convert", path, "-depth", "8", "ppm:-"], capture_output=True)
    return Picture(r.stdout) if r.returncode == 0 and r.stdout.startswith(b"P6") else None


def keys(proc, *names, title="Kadrovo V0.3"):
    """Gives the window `title` (the main window by default) the focus and presses the keys
    `names` in it."""
    focus(wait_window(title, proc))
    tool("xdotool", "key", "--clearmodifiers", *names)


def wait_closed(title):
    wait_for("window %r to close" % title, lambda: not windows(title))


def close_with(title, proc, key="Escape"):
    """Waits for the window `title`, presses `key` in it and waits for it to close."""
    keys(proc, key, title=title)
    wait_closed(title)


def answer_message(proc, key="Return"):
    """Answers the program's message box with `key` and waits for it to close."""
    close_with("Kadrovo", proc, key)


# The helper that acts as other X clients, with Debian's interpreter, which has Debian's Python X
# library.
X_CLIENT = [("/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable),
            os.path.join(os.path.dirname(os.path.abspath(__file__)), "x_client.py")]


def x_client(*args):
    """Runs x_client.py with `args`: what another X client does to a window."""
    r = subprocess.run(X_CLIENT + [str(a) for a in args], capture_output=True, text=True)
    if r.returncode != 0:
        raise Failure("x_client.py %s failed: %s" % (args[0], r.stderr.strip()))


def batch(binary, *args):
    """Runs `kadrovo --batch ARGS` without any display: (exit code, standard error)."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    run = subprocess.run([binary, "--batch", *args], env=env, capture_output=True, text=True,
                         timeout=TIMEOUT)
    return run.returncode, run.stderr


def type_into_dialog(title, text, proc, *then):
    """Waits for the dialog `title`, replaces the text of its focused field (a file dialog's file
    name) with `text`, presses the keys `then` (Return by default) and waits for it to close."""
    keys(proc, "ctrl+a", title=title)
    tool("xdotool", "type", "--delay", "2", text)
    tool("xdotool", "key", *(then or ("Return",)))
    wait_closed(title)


class Client:
    """Client-area coordinates of the main window on the screen."""

    def __init__(self, window):
        self.window = window
        self.x, self.y, self.width, self.height = geometry(window)

    def click(self, cx, cy):
        self.move(cx, cy)
        tool("xdotool", "click", "1")

    def move(self, cx, cy):
        tool("xdotool", "mousemove", "--sync", str(self.x + cx), str(self.y + cy))

    def pixel(self, cx, cy, shot=None):
        return (shot or Shot()).at(self.x + cx, self.y + cy)

    def wait_pixel(self, what, cx, cy, colour, timeout=TIMEOUT):
        last = []

        def probe():
            last[:] = [self.pixel(cx, cy)]
            return near(last[0], colour)
        try:
            wait_for(what, probe, timeout)
        except Failure:
            raise Failure("%s: pixel %d,%d is %s, not %s" % (what, cx, cy, last[0], tuple(colour)))


LOAD_BUTTON = (55, 530)
SAVE_BUTTON = (155, 530)
QUIT_BUTTON = (605, 530)
YELLOW = (255, 255, 0)


def start_main(binary, *args):
    """Starts the program and waits for its main window. Returns (process, Client)."""
    proc = start(binary, *args)
    return proc, Client(wait_window("Kadrovo V0.3", proc))


def start_with_picture(binary, path, colour):
    """Starts the program and loads `path` through the real open dialog; waits until the preview
    shows the picture's colour. Returns (process, Client)."""
    proc, client = start_main(binary)
    load(proc, client, path)
    client.wait_pixel("preview", 300, 300, colour)
    return proc, client


def load(proc, client, path):
    """Loads `path` through the real open dialog."""
    client.click(*LOAD_BUTTON)
    type_into_dialog("Bild einladen", path, proc)


def save_as(proc, client, path):
    """Saves the frame through the real save dialog as the file `path` (replaced if there); returns
    the picture written, as read_picture gives it."""
    remove(path)
    client.click(*SAVE_BUTTON)
    type_into_dialog("Bild speichern...", path, proc)
    return wait_for("the whole file " + path, lambda: read_picture(path))


def expect_exit(proc):
    """Waits for the program to end; fails unless it ends with exit code 0."""
    try:
        rc = proc.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise Failure("program did not end")
    if rc != 0:
        raise Failure("exit code %d: %s" % (rc, output_of(proc)))


def quit_program(proc, client):
    client.click(*QUIT_BUTTON)
    expect_exit(proc)
