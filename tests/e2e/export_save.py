"""Exports the frame through the real save dialog and checks the written JPEG's size; then loads
that JPEG and presses Save, Return: the dialog proposes the batch's name beside it, and the title
says where the file went. Save, Return, Return again: the overwrite question answers No by
default, so the file stays as it was and the dialog comes back. (The file a typed name gives: the
export's unit tests.) Last, a phone's HEIC stored on its side is exported through the dialogs.
(A frame at the preview's edge cut at the picture's: the frame and view unit tests. The batch's
bytes against the window's: its unit tests; the real program's --batch: load_drag.)
Usage: export_save.py KADROVO HEIF_PICTURE WORKDIR"""
import os
import pathlib
import subprocess

import e2e_util as e


def export(binary, picture, colour, out, want):
    """Loads `picture` through the open dialog, saves the frame as `out`, checks its size; the
    program is left running."""
    proc, c = e.start_with_picture(binary, picture, colour)
    saved = e.save_as(proc, c, out)
    if (saved.width, saved.height) != want:
        raise e.Failure("%s is %dx%d, not %dx%d" % ((out, saved.width, saved.height) + want))
    return proc, c


def test(args):
    binary, heif_picture, work = args
    picture = os.path.join(work, "export.bmp")
    out = os.path.join(work, "export-out.jpg")
    e.write_bmp(picture)
    # The "9 x 13" frame of 480 x 332 preview pixels spans the preview: the largest frame of the
    # picture, 800 x 554.
    proc, c = export(binary, picture, e.COLOUR, out, (800, 554))

    e.load(proc, c, out)
    # The loaded 800 x 554 file has a preview 332 rows high, the picture before 360: the rows
    # between show the window's ground once the load has finished.
    e.wait_for("the exported file's preview",
               lambda: not e.near(c.pixel(300, 20 + 345), e.COLOUR))
    proposed = os.path.join(work, "export-out_9x13.jpg")
    e.remove(proposed)
    c.click(*e.SAVE_BUTTON)
    e.keys(proc, "Return", title="Bild speichern...")
    e.wait_for("the proposed file", lambda: e.read_picture(proposed))
    e.wait_window("Gespeichert als %s - Kadrovo V0.3" % proposed, proc)
    e.wait_window("Kadrovo V0.3", proc)  # the title's notice goes again
    original = pathlib.Path(proposed).read_bytes()
    c.click(*e.SAVE_BUTTON)
    for key in ("Return", "Escape"):  # both answer the question with No
        e.keys(proc, "Return", title="Bild speichern...")
        e.answer_message(proc, key)
    e.wait_window("Bild speichern...", proc)
    if pathlib.Path(proposed).read_bytes() != original:
        raise e.Failure("the exported JPEG was overwritten")
    e.close_with("Bild speichern...", proc)
    e.quit_program(proc, c)

    # Stored 800 x 600 with a quarter turn: upright 600 x 800, so it gets the upright frame of a
    # portrait picture, the whole height: 554 x 800.
    heic = os.path.join(work, "Handy.HEIC")
    shown = subprocess.run([heif_picture, heic] + [str(v) for v in e.COLOUR], check=True,
                           capture_output=True, text=True).stdout.split()
    proc, c = export(binary, heic, tuple(int(v) for v in shown), os.path.join(work, "handy.jpg"),
                     (554, 800))
    e.quit_program(proc, c)


e.main(test)
