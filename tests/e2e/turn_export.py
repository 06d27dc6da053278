"""Turns a picture with Ctrl+R in the real window, exports it through the save dialog and
compares the file with the turned picture; then turns it back through the preview's context menu
and walks the history with Ctrl+Z.
Usage: turn_export.py KADROVO WORKDIR"""
import os

import e2e_util as e

TOP = (200, 40, 40)     # upper half of the picture as loaded
BOTTOM = (40, 40, 200)  # lower half
# JPEG at the highest quality keeps flat colours within a few levels.
JPEG_TOLERANCE = 8


def test(args):
    binary, work = args
    picture = os.path.join(work, "halves.bmp")
    out = os.path.join(work, "turned.jpg")
    e.write_bmp(picture, colour=lambda x, y: TOP if y < 300 else BOTTOM)
    # Landscape: the preview is 480 x 357, so client point (300, 300) shows the lower half.
    proc, c = e.start_with_picture(binary, picture, BOTTOM)
    c.wait_pixel("the upper half", 300, 40, TOP)

    # Turned clockwise the upper half lies on the right: the upright preview is 357 x 476.
    e.keys(proc, "ctrl+r")
    c.wait_pixel("the upper half on the right", 300, 300, TOP)
    c.wait_pixel("the lower half on the left", 40, 300, BOTTOM)

    saved = e.save_as(proc, c, out)
    width, height = saved.width, saved.height
    # The frame starts at the top-left corner of the turned picture, 600 x 800, at its own scale:
    # each pixel of the file is the turned picture's pixel at the same place.
    if not (width <= 600 and height <= 800 and width < height and width > 500):
        raise e.Failure("the file is %dx%d, not an upright cut of the turned picture" %
                        (width, height))
    for x in range(0, width, 7):
        for y in (0, height // 2, height - 1):
            got, want = saved.at(x, y), BOTTOM if x < 300 else TOP
            if abs(x - 300) > 2 and not e.near(got, want, JPEG_TOLERANCE):
                raise e.Failure("file pixel %d,%d is %s, the turned picture's %s" %
                                (x, y, got, want))

    # The context menu's "Links drehen" turns it back; Ctrl+Z undoes that, then the export's
    # commit, then the first turn.
    c.move(200, 200)
    e.tool("xdotool", "click", "3")
    e.wait_for("the context menu", lambda: not e.near(c.pixel(210, 210), TOP))
    e.tool("xdotool", "key", "Down", "Down", "Down", "Down", "Return")
    c.wait_pixel("the picture turned back", 300, 300, BOTTOM)
    c.wait_pixel("its upper half on top", 300, 40, TOP)
    e.keys(proc, "ctrl+z")
    c.wait_pixel("the left turn undone", 300, 300, TOP)
    e.keys(proc, "ctrl+z", "ctrl+z")
    c.wait_pixel("the first turn undone", 300, 300, BOTTOM)
    c.wait_pixel("the upper half on top again", 300, 40, TOP)
    e.quit_program(proc, c)


e.main(test)
