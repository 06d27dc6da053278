"""Drops files on a window the way a file manager does (XDND, text/uri-list).
Usage: xdnd_drop.py WINDOW_ID ROOT_X ROOT_Y FILE...   Exits 0 once the target has finished."""
import ctypes
import ctypes.util
import sys
import time
import urllib.parse

CLIENT_MESSAGE, SELECTION_REQUEST, SELECTION_NOTIFY = 33, 30, 31


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class SelectionRequest(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("owner", ctypes.c_ulong),
                ("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                ("target", ctypes.c_ulong), ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class SelectionNotify(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("requestor", ctypes.c_ulong),
                ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong),
                ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", ClientMessage),
                ("xselectionrequest", SelectionRequest), ("xselection", SelectionNotify),
                ("pad", ctypes.c_long * 24)]


def main():
    target, x, y = int(sys.argv[1], 0), int(sys.argv[2]), int(sys.argv[3])
    uris = "".join("file://%s\r\n" % urllib.parse.quote(p) for p in sys.argv[4:]).encode()

    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
        [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
    x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                       ctypes.c_ulong]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(Event)]
    x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                    ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_char_p,
                                    ctypes.c_int]
    x11.XPending.argtypes = [ctypes.c_void_p]
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(Event)]
    x11.XFlush.argtypes = [ctypes.c_void_p]

    d = x11.XOpenDisplay(None)
    if not d:
        sys.exit("cannot open the display")
    atom = lambda name: x11.XInternAtom(d, name.encode(), 0)
    source = x11.XCreateSimpleWindow(d, x11.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
    x11.XSetSelectionOwner(d, atom("XdndSelection"), source, 0)
    uri_list = atom("text/uri-list")

    def send(kind, *data):
        ev = Event()
        ev.xclient.type = CLIENT_MESSAGE
        ev.xclient.window = target
        ev.xclient.message_type = atom(kind)
        ev.xclient.format = 32
        for i, v in enumerate(data):
            ev.xclient.data[i] = v
        x11.XSendEvent(d, target, 0, 0, ctypes.byref(ev))
        x11.XFlush(d)

    def wait(kind, timeout=30.0):
        """Serves selection requests until a client message `kind` arrives; returns its data."""
        wanted = atom(kind)
        end = time.monotonic() + timeout
        ev = Event()
        while time.monotonic() < end:
            if not x11.XPending(d):
                time.sleep(0.01)
                continue
            x11.XNextEvent(d, ctypes.byref(ev))
            if ev.type == SELECTION_REQUEST:
                req = ev.xselectionrequest
                reply = Event()
                reply.xselection.type = SELECTION_NOTIFY
                reply.xselection.requestor = req.requestor
                reply.xselection.selection = req.selection
                reply.xselection.target = req.target
                reply.xselection.time = req.time
                reply.xselection.property = 0
                if req.target == uri_list:
                    x11.XChangeProperty(d, req.requestor, req.property, uri_list, 8, 0, uris,
                                        len(uris))
                    reply.xselection.property = req.property
                x11.XSendEvent(d, req.requestor, 0, 0, ctypes.byref(reply))
                x11.XFlush(d)
            elif ev.type == CLIENT_MESSAGE and ev.xclient.message_type == wanted:
                return list(ev.xclient.data)
        sys.exit("no %s from the target" % kind)

    send("XdndEnter", source, 5 << 24, uri_list, 0, 0)
    send("XdndPosition", source, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    status = wait("XdndStatus")
    if not status[1] & 1:
        sys.exit("the target refuses the drop")
    send("XdndDrop", source, 0, 0)
    wait("XdndFinished")


if __name__ == "__main__":
    main()
