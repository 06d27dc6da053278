"""Moves the white-point track bar with the keyboard and checks the preview against the tone
formula. Usage: trackbar_keys.py KADROVO TONE_EXPECT WORKDIR"""
import os
import subprocess

import e2e_util as e

WHITE_BAR = (600, 217)  # client point on track bar 9


def expected(helper, white):
    out = subprocess.run([helper, "155", str(white), "0", "100", "100", *map(str, e.COLOUR)],
                         capture_output=True, text=True, check=True).stdout
    return tuple(int(v) for v in out.split())


def test(args):
    binary, helper, work = args
    picture = os.path.join(work, "tone.bmp")
    e.write_bmp(picture)
    proc, c = e.start_with_picture(binary, picture, e.COLOUR)

    brighter = expected(helper, 100)
    if e.near(brighter, e.COLOUR, 3 * e.TOLERANCE):
        raise e.Failure("white point 100 should change the colour")
    c.click(*WHITE_BAR)  # gives the bar the focus (and may page it)
    e.tool("xdotool", "key", "Home")
    c.wait_pixel("white point 100", 300, 300, brighter)
    e.tool("xdotool", "key", "End")
    c.wait_pixel("white point 255", 300, 300, expected(helper, 255))
    e.quit_program(proc, c)


e.main(test)
