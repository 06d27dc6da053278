"""The program as the desktop starts and ends it: `kadrovo FILE` shows the picture with the
program's icon on the window, Alt with the arrow keys moves the frame, Ctrl+Shift+C copies it.
Two picture files dropped on the window at once, as a file manager drops them (XDND): the last
one is loaded, and a message says that the other was not. Ctrl+Q quits, after which a clipboard
manager still hands out the copied picture as image/png.
Usage: desktop_session.py KADROVO WORKDIR"""
import os
import struct
import subprocess

import e2e_util as e

FIRST = (200, 40, 40)
LAST = (40, 200, 90)


def clipboard(target):
    r = subprocess.run(["xclip", "-selection", "clipboard", "-t", target, "-o"],
                       capture_output=True)
    return r.stdout if r.returncode == 0 else b""


def test(args):
    binary, work = args
    picture, first, last = (os.path.join(work, name) for name in
                            ("session.bmp", "first dropped.bmp", "last dropped.bmp"))
    e.write_bmp(picture)
    e.write_bmp(first, 640, 480, FIRST)
    e.write_bmp(last, 480, 640, LAST)

    manager = subprocess.Popen(e.X_CLIENT + ["manager"], stdout=subprocess.PIPE, text=True)
    try:
        if manager.stdout.readline().strip() != "ready":
            raise e.Failure("the clipboard manager did not start")
        proc, c = e.start_main(binary, os.path.relpath(picture))
        c.wait_pixel("picture named on the command line", 300, 300, e.COLOUR)
        if "_NET_WM_ICON(CARDINAL)" not in e.tool("xprop", "-id", str(c.window), "_NET_WM_ICON"):
            raise e.Failure("the window has no icon")

        # "9 x 13" across: frame 480 x 332 at the preview's top; one step down, then ten more.
        c.wait_pixel("frame top edge", 200, 20, e.YELLOW)
        e.keys(proc, "alt+Down")
        c.wait_pixel("frame one pixel down", 200, 21, e.YELLOW)
        e.keys(proc, "alt+shift+Down")
        c.wait_pixel("frame ten pixels further", 200, 31, e.YELLOW)

        e.keys(proc, "ctrl+shift+c")
        e.wait_for("the frame on the clipboard", lambda: b"image/png" in clipboard("TARGETS"))
        e.x_client("drop", c.window, c.x + 200, c.y + 200, first, last)
        e.answer_message(proc)
        # A portrait picture: preview 360 x 476, so client (100, 300) shows it.
        c.wait_pixel("the last dropped picture", 100, 300, LAST)
        e.keys(proc, "ctrl+q")
        e.expect_exit(proc)

        png = clipboard("image/png")
        if png[:8] != b"\x89PNG\r\n\x1a\n":
            raise e.Failure("no PNG on the clipboard after the program ended")
        # The frame spans the 480-pixel-wide preview, so it cuts the largest "9 x 13" frame of the
        # 800-pixel-wide picture: 800 x 554 (800 * 9 / 13, rounded).
        size = struct.unpack(">II", png[16:24])
        if size != (800, 554):
            raise e.Failure("clipboard picture is %dx%d, not 800x554" % size)
    finally:
        manager.kill()
        manager.wait()


e.main(test)
