"""The few Xlib calls the end-to-end helpers make, through ctypes: no Python X binding needed."""
import ctypes
import ctypes.util
import sys

CLIENT_MESSAGE, SELECTION_REQUEST, SELECTION_NOTIFY = 33, 30, 31
_HEAD = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
         ("display", ctypes.c_void_p)]


class ClientMessage(ctypes.Structure):
    _fields_ = _HEAD + [("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class SelectionRequest(ctypes.Structure):
    _fields_ = _HEAD + [("owner", ctypes.c_ulong), ("requestor", ctypes.c_ulong),
                        ("selection", ctypes.c_ulong), ("target", ctypes.c_ulong),
                        ("property", ctypes.c_ulong), ("time", ctypes.c_ulong)]


class SelectionNotify(ctypes.Structure):
    _fields_ = _HEAD + [("requestor", ctypes.c_ulong), ("selection", ctypes.c_ulong),
                        ("target", ctypes.c_ulong), ("property", ctypes.c_ulong),
                        ("time", ctypes.c_ulong)]


class Event(ctypes.Union):  # XEvent: 24 longs
    _fields_ = [("type", ctypes.c_int), ("xclient", ClientMessage),
                ("xselectionrequest", SelectionRequest), ("xselection", SelectionNotify),
                ("pad", ctypes.c_long * 24)]


class Display:
    """A connection to the X server: its Xlib calls, typed, and the atoms by name."""

    def __init__(self):
        x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        p, ul, i, ui = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint
        for name, res, args in [
                ("XOpenDisplay", p, [ctypes.c_char_p]),
                ("XInternAtom", ul, [p, ctypes.c_char_p, i]),
                ("XDefaultRootWindow", ul, [p]),
                ("XCreateSimpleWindow", ul, [p, ul, i, i, ui, ui, ui, ul, ul]),
                ("XSetSelectionOwner", i, [p, ul, ul, ul]),
                ("XSendEvent", i, [p, ul, i, ctypes.c_long, ctypes.POINTER(Event)]),
                ("XChangeProperty", i, [p, ul, ul, ul, i, i, ctypes.c_char_p, i]),
                ("XPending", i, [p]), ("XNextEvent", i, [p, ctypes.POINTER(Event)]),
                ("XFlush", i, [p]), ("XCloseDisplay", i, [p])]:
            getattr(x, name).restype, getattr(x, name).argtypes = res, args
        self.x = x
        self.d = x.XOpenDisplay(None)
        if not self.d:
            sys.exit("cannot open the display")

    def atom(self, name):
        return self.x.XInternAtom(self.d, name.encode(), 0)

    def send(self, window, event):
        if not self.x.XSendEvent(self.d, window, 0, 0, ctypes.byref(event)):
            sys.exit("XSendEvent failed")
        self.x.XFlush(self.d)

    def client_message(self, window, kind, *data):
        """Sends `window` a client message of type `kind` with up to five 32-bit values."""
        ev = Event()
        ev.xclient.type = CLIENT_MESSAGE
        ev.xclient.window = window
        ev.xclient.message_type = self.atom(kind)
        ev.xclient.format = 32
        for n, v in enumerate(data):
            ev.xclient.data[n] = v
        self.send(window, ev)
