"""What other X clients do with the program, through Debian's Python X library: a window
manager's close request (a WM_PROTOCOLS message carrying WM_DELETE_WINDOW), a file manager's drop
of files (XDND, text/uri-list), and a minimal clipboard manager (freedesktop CLIPBOARD_MANAGER).
Usage: x_client.py close WINDOW_ID
       x_client.py drop WINDOW_ID ROOT_X ROOT_Y FILE...   Exits 0 once the target has finished.
       x_client.py manager                                Prints "ready", runs until killed."""
import sys
import time
import urllib.parse

from Xlib import X, Xatom, display
from Xlib.protocol import event

d = display.Display()
atom = d.intern_atom


def send(window, kind, *data):
    """Sends `window` a client message of type `kind` with up to five 32-bit values."""
    window.send_event(event.ClientMessage(window=window, client_type=atom(kind),
                                          data=(32, list(data) + [0] * (5 - len(data)))))
    d.flush()


def notify(request, prop):
    """Answers the selection request `request`: the data is in `prop`, or refused (X.NONE)."""
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection,
        target=request.target, property=prop))
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
                if e.target == uri_list:
                    e.requestor.change_property(e.property, uri_list, 8, uris)
                notify(e, e.property if e.target == uri_list else X.NONE)
            elif e.type == X.ClientMessage and e.client_type == atom(kind):
                return e.data[1]
        sys.exit("no %s from the target" % kind)

    send(target, "XdndEnter", source.id, 5 << 24, uri_list)
    send(target, "XdndPosition", source.id, 0, (x << 16) | y, 0, atom("XdndActionCopy"))
    if not wait("XdndStatus")[1] & 1:
        sys.exit("the target refuses the drop")
    send(target, "XdndDrop", source.id)
    wait("XdndFinished")


def manager():
    """Owns CLIPBOARD_MANAGER. When a program that owns the clipboard ends, it asks for
    SAVE_TARGETS; the manager then fetches image/png from the clipboard, answers the request,
    takes over the clipboard and serves TARGETS and image/png from then on."""
    window = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    manager, save, clipboard = atom("CLIPBOARD_MANAGER"), atom("SAVE_TARGETS"), atom("CLIPBOARD")
    targets, png, kept_png = atom("TARGETS"), atom("image/png"), atom("KEPT_PNG")
    window.set_selection_owner(manager, X.CurrentTime)
    d.flush()
    if d.get_selection_owner(manager) != window:
        sys.exit("cannot own CLIPBOARD_MANAGER")
    print("ready", flush=True)
    saving = None   # the SAVE_TARGETS request being served
    kept = None     # the PNG taken over
    while True:
        e = d.next_event()
        if e.type == X.SelectionRequest and e.selection == manager and e.target == save:
            saving = e
            window.convert_selection(clipboard, png, kept_png, X.CurrentTime)
            d.flush()
        elif e.type == X.SelectionNotify and saving is not None:
            if e.property != X.NONE:
                prop = window.get_full_property(kept_png, X.AnyPropertyType)
                kept = bytes(prop.value) if prop else None
            notify(saving, saving.property if kept else X.NONE)
            saving = None
            if kept:
                window.set_selection_owner(clipboard, X.CurrentTime)
                d.flush()
        elif e.type == X.SelectionRequest and e.selection == clipboard and kept:
            if e.target == targets:
                e.requestor.change_property(e.property, Xatom.ATOM, 32, [targets, png])
            elif e.target == png:
                e.requestor.change_property(e.property, png, 8, kept)
            notify(e, e.property if e.target in (targets, png) else X.NONE)


if sys.argv[1] == "manager":
    manager()
window = d.create_resource_object("window", int(sys.argv[2], 0))
if sys.argv[1] == "close":
    send(window, "WM_PROTOCOLS", atom("WM_DELETE_WINDOW"), X.CurrentTime)
else:
    drop(window, int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:])
