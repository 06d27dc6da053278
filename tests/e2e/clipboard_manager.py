"""A minimal clipboard manager (freedesktop CLIPBOARD_MANAGER protocol) for the end-to-end tests.

It owns CLIPBOARD_MANAGER; when a program that owns the clipboard ends, the program asks it to
SAVE_TARGETS. It then fetches image/png from the clipboard, answers the request, takes over the
clipboard and serves TARGETS and image/png from then on. Prints "ready" once it owns the
manager selection; runs until killed.
"""
import sys

from Xlib import X, Xatom, display
from Xlib.protocol import event

d = display.Display()
window = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
atom = d.intern_atom
MANAGER, SAVE, CLIPBOARD = atom("CLIPBOARD_MANAGER"), atom("SAVE_TARGETS"), atom("CLIPBOARD")
TARGETS, PNG, KEPT = atom("TARGETS"), atom("image/png"), atom("KEPT_PNG")

window.set_selection_owner(MANAGER, X.CurrentTime)
d.flush()
if d.get_selection_owner(MANAGER) != window:
    sys.exit("cannot own CLIPBOARD_MANAGER")
print("ready", flush=True)


def notify(request, prop):
    request.requestor.send_event(event.SelectionNotify(
        time=request.time, requestor=request.requestor, selection=request.selection,
        target=request.target, property=prop))
    d.flush()


saving = None   # the SAVE_TARGETS request being served
kept = None     # the PNG taken over
while True:
    e = d.next_event()
    if e.type == X.SelectionRequest and e.selection == MANAGER and e.target == SAVE:
        saving = e
        window.convert_selection(CLIPBOARD, PNG, KEPT, X.CurrentTime)
        d.flush()
    elif e.type == X.SelectionNotify and saving is not None:
        if e.property != X.NONE:
            prop = window.get_full_property(KEPT, X.AnyPropertyType)
            kept = bytes(prop.value) if prop else None
        notify(saving, saving.property if kept else X.NONE)
        saving = None
        if kept:
            window.set_selection_owner(CLIPBOARD, X.CurrentTime)
            d.flush()
    elif e.type == X.SelectionRequest and e.selection == CLIPBOARD and kept:
        if e.target == TARGETS:
            e.requestor.change_property(e.property, Xatom.ATOM, 32, [TARGETS, PNG])
        elif e.target == PNG:
            e.requestor.change_property(e.property, PNG, 8, kept)
        else:
            notify(e, X.NONE)
            continue
        notify(e, e.property)
