"""Starts the program and checks its main window; the close request a window manager sends (a
WM_PROTOCOLS client message carrying WM_DELETE_WINDOW) ends it with exit code 0. ("Programm
beenden" ends every other end-to-end test.) Usage: start_quit.py KADROVO SCREENSHOT.png"""
import e2e_util as e


def test(args):
    binary, shot_path = args
    proc, c = e.start_main(binary)
    x, y, w, h = c.x, c.y, c.width, c.height
    if (w, h) != (711, 562):
        raise e.Failure("client area is %dx%d, not 711x562" % (w, h))
    # Centred on the 1280 x 1024 screen (no window manager: no frame).
    if abs(x - (1280 - 711) // 2) > 1 or abs(y - (1024 - 562) // 2) > 1:
        raise e.Failure("window at %d,%d is not centred" % (x, y))
    # The start state is painted once the status line shows its starting text; wait for the
    # window's own background to be on screen before taking the picture.
    e.wait_for("window painted", lambda: e.Shot().at(x + 2, y + 2) != (0, 0, 0))
    e.Shot(shot_path)
    e.x_client("close", c.window)
    e.expect_exit(proc)


e.main(test)
