"""Drops files on a window the way a file manager does (XDND, text/uri-list).
Usage: xdnd_drop.py WINDOW_ID ROOT_X ROOT_Y FILE...   Exits 0 once the target has finished."""
import ctypes
import sys
import time
import urllib.parse

import x11


def main():
    target, x, y = int(sys.argv[1], 0), int(sys.argv[2]), int(sys.argv[3])
    uris = "".join("file://%s\r\n" % urllib.parse.quote(p) for p in sys.argv[4:]).encode()

    dpy = x11.Display()
    lib, d, atom = dpy.x, dpy.d, dpy.atom
    source = lib.XCreateSimpleWindow(d, lib.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
    lib.XSetSelectionOwner(d, atom("XdndSelection"), source, 0)
    uri_list = atom("text/uri-list")

    def wait(kind, timeout=30.0):
        """Serves selection requests until a client message `kind` arrives; returns its data."""
        wanted = atom(kind)
        end = time.monotonic() + timeout
        ev = x11.Event()
        while time.monotonic() < end:
            if not lib.XPending(d):
                time.sleep(0.01)
                continue
            lib.XNextEvent(d, ctypes.byref(ev))
            if ev.type == x11.SELECTION_REQUEST:
                req = ev.xselectionrequest
                reply = x11.Event()
                reply.xselection.type = x11.SELECTION_NOTIFY
                reply.xselection.requestor = req.requestor
                reply.xselection.selection = req.selection
                reply.xselection.target = req.target
                reply.xselection.time = req.time
                reply.xselection.property = 0
                if req.target == uri_list:
                    lib.XChangeProperty(d, req.requestor, req.property, uri_list, 8, 0, uris,
                                        len(uris))
                    reply.xselection.property = req.property
                dpy.send(req.requestor, reply)
            elif ev.type == x11.CLIENT_MESSAGE and ev.xclient.message_type == wanted:
                return list(ev.xclient.data)
        sys.exit("no %s from the target" % kind)

    dpy.client_message(target, "XdndEnter", source, 5 << 24, uri_list, 0, 0)
    dpy.client_message(target, "XdndPosition", source, 0, (x << 16) | y, 0,
                       atom("XdndActionCopy"))
    status = wait("XdndStatus")
    if not status[1] & 1:
        sys.exit("the target refuses the drop")
    dpy.client_message(target, "XdndDrop", source, 0, 0)
    wait("XdndFinished")


if __name__ == "__main__":
    main()
