"""The close request a window manager sends (a WM_PROTOCOLS client message carrying
WM_DELETE_WINDOW) ends the program with exit code 0. Usage: close_request.py KADROVO"""
import e2e_util as e
import x11


def test(args):
    (binary,) = args
    proc, c = e.start_main(binary)
    dpy = x11.Display()
    dpy.client_message(c.window, "WM_PROTOCOLS", dpy.atom("WM_DELETE_WINDOW"), 0)  # 0: CurrentTime
    dpy.x.XCloseDisplay(dpy.d)
    e.expect_exit(proc)


e.main(test)
