"""What other X clients do to the program's window, through Debian's Python X library: a window
manager's close request (a WM_PROTOCOLS message carrying WM_DELETE_WINDOW), and a file manager's
drop of files (XDND, text/uri-list).
Usage: x_client.py close WINDOW_ID
       x_client.py drop WINDOW_ID ROOT_X ROOT_Y FILE...   Exits 0 once the target has finished."""
import sys
import time
import urllib.parse

from Xlib import X, display
from Xlib.protocol import event

d = display.Display()
atom = d.intern_atom


def send(window, kind, *data):
    """Sends `window` a client message of type `kind` with up to five 32-bit values."""
    window.send_event(event.ClientMessage(window=window, client_type=atom(kind),
                                          data=(32, list(data) + [0] * (5 - len(data)))))
    d.flush()


def drop(target, x, y, paths):
    uris = "".join("file://%s\r\n" % urllib.parse.quote(p) for p in paths).encode()
    source = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    source.set_selection_owner(atom("XdndSelection"), X.CurrentTime)
    uri_list = atom("text/uri-list")

    def wait(kind, timeout=30.0):
        """Serves selection requests until a client message `kind` arrives; returns its data."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if not d.pending_events():
                time.sleep(0.01)
                continue
            e = d.next_event()
            if e.type == X.SelectionRequest:
                prop = X.NONE
                if e.target == uri_list:
                    e.requestor.change_property(e.property, uri_list, 8, uris)
                    prop = e.property
                e.requestor.send_event(event.SelectionNotify(
                    time=e.time, requestor=e.requestor, selection=e.selection, target=e.target,
                    property=prop))
                d.flush()
            elif e.type == X.ClientMessage and e.client_type == atom(kind):
                return e.data[1]
        sys.exit("no %s from the target" % kind)

    send(target, "XdndEnter", source.id, 5 << 24, uri_list)
    send(target, "XdndPosition", source.id, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    if not wait("XdndStatus")[1] & 1:
        sys.exit("the target refuses the drop")
    send(target, "XdndDrop", source.id)
    wait("XdndFinished")


window = d.create_resource_object("window", int(sys.argv[2], 0))
if sys.argv[1] == "close":
    send(window, "WM_PROTOCOLS", atom("WM_DELETE_WINDOW"), X.CurrentTime)
else:
    drop(window, int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:])
