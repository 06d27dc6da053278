"""Loads a picture through the real open dialog, then resizes the frame from its handle (leaving
the preview and the window on the way) and moves it, with the real mouse.
Usage: load_drag.py KADROVO WORKDIR"""
import os

import e2e_util as e

COLOUR = (100, 150, 200)


def test(args):
    binary, work = args
    os.makedirs(work, exist_ok=True)
    picture = os.path.join(work, "drag.bmp")
    e.write_bmp(picture, 800, 600, COLOUR)
    proc, c = e.start_with_picture(binary, picture, COLOUR)

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
    if not e.near(c.pixel(14 + 30, 20 + 30, shot), COLOUR):
        raise e.Failure("the old frame is still on screen")
    e.quit_program(proc, c)


e.main(test)
