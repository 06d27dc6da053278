"""Loads a picture through the real open dialog, then resizes the frame from its handle (leaving
the preview and the window on the way) and moves it, with the real mouse. A track bar dragged over
the preview leaves the frame alone. Files that cannot be loaded are reported and change nothing
on screen. A JPEG cut off part way is said to be incomplete, at once, and shows its upper part
and grey below (the other formats' cuts: the loader's tests).
Usage: load_drag.py KADROVO WORKDIR"""
import os
import pathlib
import struct
import zlib

import e2e_util as e

RED = (220, 30, 30)
GREY = (128, 128, 128)
GAMMA_HANDLE = (620, 166)  # client point on the handle of track bar 7 at its start value


def png(width, height, colour, keep=None, rows=None):
    """An RGB PNG of one colour, its image data (`rows` rows of it, all by default) stored
    uncompressed; `keep` cuts the file short that many bytes into the image data."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = (b"\0" + bytes(colour) * width) * (height if rows is None else rows)
    head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    data = chunk(b"IDAT", zlib.compress(raw, 0))
    if keep is not None:
        return head + data[:8 + keep]
    return head + data + chunk(b"IEND", b"")


def region(shot, c):
    """The preview area and the status line as they are on screen."""
    rows = [(10, 10, 490, 490), (510, 455, 190, 15)]
    return b"".join(shot.pixels[((c.y + y) * shot.width + c.x + x) * 3:
                                ((c.y + y) * shot.width + c.x + x + w) * 3]
                    for x, y0, w, h in rows for y in range(y0, y0 + h))


def test(args):
    binary, work = args
    picture = os.path.join(work, "drag.bmp")
    e.write_bmp(picture)
    proc, c = e.start_with_picture(binary, picture, e.COLOUR)

    # "9 x 13" across on an 800 x 600 picture: frame 480 x 332 at the preview's corner (14, 20).
    c.wait_pixel("frame top edge", 200, 20, e.YELLOW)
    c.wait_pixel("frame bottom edge", 200, 20 + 331, e.YELLOW)

    # Resize from the handle (drawn 4 pixels up and left of the corner point; the corner point of
    # a full-width frame lies right of the preview, where no drag starts): the right edge follows
    # the pointer, 300 wide gives 208 high.
    c.move(14 + 480 - 4, 20 + 332 - 4)
    e.tool("xdotool", "mousedown", "1")
    c.move(14 + 300, 20 + 332)
    c.wait_pixel("resized right edge", 14 + 299, 100, e.YELLOW)
    c.wait_pixel("resized bottom edge", 100, 20 + 207, e.YELLOW)
    # Out of the preview over the controls: the frame grows to the preview's edge.
    c.move(650, 300)
    c.wait_pixel("right edge at the preview's edge", 14 + 479, 100, e.YELLOW)
    # Out of the window altogether: the drag goes on (minimum width), and comes back.
    c.move(c.width + 100, 300)
    c.wait_pixel("minimum frame", 14 + 24, 30, e.YELLOW)
    c.move(14 + 300, 20 + 332)
    c.wait_pixel("resized again", 14 + 299, 100, e.YELLOW)
    e.tool("xdotool", "mouseup", "1")

    # Move: grab inside and drag by (100, 80).
    c.move(100, 100)
    e.tool("xdotool", "mousedown", "1")
    c.move(200, 180)
    c.wait_pixel("moved top edge", 14 + 100 + 30, 20 + 80, e.YELLOW)
    c.wait_pixel("moved left edge", 14 + 100, 20 + 80 + 30, e.YELLOW)
    e.tool("xdotool", "mouseup", "1")
    shot = e.Shot(os.path.join(work, "dragged.png"))
    if not e.near(c.pixel(14 + 30, 20 + 30, shot), e.COLOUR):
        raise e.Failure("the old frame is still on screen")

    # The gamma bar dragged far past its left end, through the frame and over the preview: the
    # bar goes to its end, the frame stays (its top edge at client y 100 from x 114 on).
    c.move(*GAMMA_HANDLE)
    e.tool("xdotool", "mousedown", "1")
    c.move(200, 170)
    c.move(60, 300)
    e.wait_for("the gamma bar at its end", lambda: not e.near(c.pixel(450, 300), e.COLOUR))
    e.tool("xdotool", "mouseup", "1")
    c.wait_pixel("frame left where it was", 14 + 100 + 30, 20 + 80, e.YELLOW)

    # Not a picture, cut before its first row, over the size limits: each is reported and the
    # screen stays as it was.
    files = {"text.jpg": b"Dies ist kein Bild, sondern eine Einkaufsliste.\n",
             "cut.png": png(64, 64, RED, keep=4), "huge.png": png(40000, 40000, RED, rows=1)}
    e.tool("xdotool", "mousemove", "--sync", "0", "0")
    before = region(e.Shot(), c)
    for name, data in files.items():
        path = os.path.join(work, name)
        pathlib.Path(path).write_bytes(data)
        load_and_answer(proc, c, path)
        e.tool("xdotool", "mousemove", "--sync", "0", "0")
        e.wait_for("the screen as before " + name, lambda: region(e.Shot(), c) == before)

    # A JPEG written by the batch export (800 x 554: preview 480 x 332), cut in the middle of its
    # image data: the upper rows keep their colour, the lower ones are grey.
    whole = os.path.join(work, "whole")
    os.makedirs(whole, exist_ok=True)
    if e.batch(binary, "--overwrite", "--out", whole, picture)[0] != 0:
        raise e.Failure("the batch export failed")
    jpeg = pathlib.Path(whole, "drag_9x13.jpg").read_bytes()
    scan = jpeg.index(b"\xff\xda")
    cut = os.path.join(work, "cut.jpg")
    pathlib.Path(cut).write_bytes(jpeg[:scan + (len(jpeg) - scan) // 2])
    load_and_answer(proc, c, cut)
    c.wait_pixel("grey below", 300, 20 + 320, GREY)
    e.wait_for("the upper part", lambda: e.near(c.pixel(300, 40), e.COLOUR, 4))
    e.quit_program(proc, c)


def load_and_answer(proc, c, path):
    """Loads `path` through the open dialog and answers the message the load brings."""
    e.load(proc, c, path)
    e.answer_message(proc)


e.main(test)
