"""Drops two picture files on the main window at once: the last one is loaded, and a message
says that the other was not.
Usage: drop_files.py KADROVO XDND_HELPER WORKDIR"""
import os
import subprocess
import sys

import e2e_util as e

FIRST = (200, 40, 40)
LAST = (40, 200, 90)


def test(args):
    binary, helper, work = args
    first = os.path.join(work, "first dropped.bmp")
    last = os.path.join(work, "last dropped.bmp")
    e.write_bmp(first, 640, 480, FIRST)
    e.write_bmp(last, 480, 640, LAST)
    proc, c = e.start_main(binary)
    e.wait_for("window painted", lambda: c.pixel(2, 2) != (0, 0, 0))
    r = subprocess.run([sys.executable, helper, str(c.window), str(c.x + 200), str(c.y + 200),
                        first, last], capture_output=True, text=True)
    if r.returncode != 0:
        raise e.Failure("drop failed: " + r.stderr.strip())
    e.answer_message(proc)
    # A portrait picture: preview 360 x 476, so client (100, 300) shows it.
    c.wait_pixel("the last dropped picture", 100, 300, LAST)
    e.quit_program(proc, c)


e.main(test)
