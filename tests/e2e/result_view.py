"""The ways of looking at a picture in the real window: the result view (Ctrl+E and a double
click inside the frame) against the file an export writes, the thirds grid, the "Vorher" label,
and the frame typed in the dialog "Rahmen".
Usage: result_view.py KADROVO WORKDIR"""
import os

import e2e_util as e

BASE = (60, 120, 180)
WHITE = (255, 255, 255)
WIDTH, HEIGHT = 600, 400
PATTERN = (200, 100)  # the top-left part of the picture carries a pattern, the rest is BASE


def colour(x, y):
    if x < PATTERN[0] and y < PATTERN[1]:
        return ((x * 7) % 256, (y * 5) % 256, (x * y) % 256)
    return BASE


def test(args):
    binary, work = args
    picture = os.path.join(work, "pattern.bmp")
    out = os.path.join(work, "result.png")
    e.write_bmp(picture, WIDTH, HEIGHT, colour)
    # The preview is 480 x 317: client point (300, 300) shows BASE.
    proc, c = e.start_with_picture(binary, picture, BASE)

    # The result view shows the export's pixels one to one where it fits (a 1280 x 1024 screen).
    e.keys(proc, "ctrl+e")
    view = e.wait_window("Ergebnis", proc)
    x0, y0, vw, vh = e.geometry(view)
    shot = e.wait_for("the result painted",
                      lambda: (lambda s: s if s.at(x0 + vw // 2, y0 + vh // 2) != (0, 0, 0)
                               else None)(e.Shot()))
    e.close_with("Ergebnis", proc)
    saved = e.save_as(proc, c, out)
    if vw < saved.width or vh < saved.height + 10:
        raise e.Failure("the result view is %dx%d for a %dx%d result" %
                        (vw, vh, saved.width, saved.height))
    for y in range(0, saved.height, 13):
        for x in range(0, saved.width, 11):
            want, got = saved.at(x, y), shot.at(x0 + x, y0 + y)
            if got != want:
                raise e.Failure("result view pixel %d,%d is %s, the file's %s" % (x, y, got, want))

    # A double click inside the frame opens it too.
    c.move(300, 250)
    e.tool("xdotool", "click", "--repeat", "2", "--delay", "80", "1")
    e.close_with("Ergebnis", proc)

    # The thirds grid of the frame 458 x 317 at the top-left corner: dotted white lines at client
    # column 14 + 153 and row 20 + 106.
    e.keys(proc, "ctrl+g")
    c.wait_pixel("the grid's vertical line", 167, 200, WHITE)
    c.wait_pixel("the grid's horizontal line", 300, 126, WHITE)
    e.keys(proc, "ctrl+g")
    c.wait_pixel("the grid gone", 167, 200, BASE)

    # "\" shows the picture before its adjustments, labelled in the lower-left corner.
    e.keys(proc, "backslash")
    c.wait_pixel("the label", 20, 320, WHITE)
    e.keys(proc, "backslash")
    c.wait_pixel("the label gone", 20, 320, BASE)

    # The frame typed in picture pixels: 300 wide at 100, 50 is 240 wide at 80, 40 in the preview.
    c.wait_pixel("no frame edge yet", 300, 60, BASE)
    e.keys(proc, "ctrl+f")
    # The fields in their Tab order, the first one focused with its text selected.
    e.focus(e.wait_window("Rahmen", proc))
    e.tool("xdotool", "type", "--delay", "2", "100\t50\t300\t")
    e.tool("xdotool", "key", "Return")
    e.wait_closed("Rahmen")
    c.wait_pixel("the frame's top edge", 300, 60, e.YELLOW)
    c.wait_pixel("the frame's left edge", 94, 150, e.YELLOW)
    e.quit_program(proc, c)


e.main(test)
