"""Exports the frame through the real save dialog and checks the written JPEG's size; then loads
that JPEG and presses Save, Return, Return: the dialog proposes the loaded file, the overwrite
question answers No by default, so the file stays as it was and the dialog comes back. Then
exports the same picture with --batch, without any display, and expects the very same bytes.
Last, a phone's HEIC stored on its side is exported through the dialogs.
Usage: export_save.py KADROVO HEIF_PICTURE WORKDIR"""
import os
import struct
import subprocess

import e2e_util as e

COLOUR = (100, 150, 200)


def jpeg_size(path):
    """(width, height) from the first start-of-frame marker, or None."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 9 < len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    return None


def export(binary, picture, colour, out, want):
    """Loads `picture` through the open dialog, saves the frame as `out`, checks its size; the
    program is left running."""
    if os.path.exists(out):
        os.remove(out)
    proc, c = e.start_with_picture(binary, picture, colour)
    c.click(*e.SAVE_BUTTON)
    e.type_into_dialog("Bild speichern...", out, proc)
    size = e.wait_for("the JPEG file", lambda: os.path.exists(out) and jpeg_size(out))
    if size != want:
        raise e.Failure("%s is %dx%d, not %dx%d" % ((out,) + size + want))
    return proc, c


def test(args):
    binary, heif_picture, work = args
    os.makedirs(work, exist_ok=True)
    picture = os.path.join(work, "export.bmp")
    out = os.path.join(work, "export-out.jpg")
    e.write_bmp(picture, 800, 600, COLOUR)
    # The "9 x 13" frame of 480 x 332 preview pixels at 800 / 480 picture pixels each.
    proc, c = export(binary, picture, COLOUR, out, (800, 553))

    c.click(*e.LOAD_BUTTON)
    e.type_into_dialog("Bild einladen", out, proc)
    # The loaded 800 x 553 file has a preview 332 rows high, the picture before 360: the rows
    # between show the window's ground once the load has finished.
    e.wait_for("the exported file's preview",
               lambda: not e.near(c.pixel(300, 20 + 345), COLOUR))
    with open(out, "rb") as f:
        original = f.read()
    c.click(*e.SAVE_BUTTON)
    for key in ("Return", "Escape"):  # both answer the question with No
        e.focus(e.wait_window("Bild speichern...", proc))
        e.tool("xdotool", "key", "Return")
        e.focus(e.wait_window("Kadrovo", proc))
        e.tool("xdotool", "key", key)
        e.wait_for("the question to close", lambda: not e.windows("Kadrovo"))
    e.focus(e.wait_window("Bild speichern...", proc))
    with open(out, "rb") as f:
        if f.read() != original:
            raise e.Failure("the loaded JPEG was overwritten")
    e.tool("xdotool", "key", "Escape")
    e.wait_for("the save dialog to close", lambda: not e.windows("Bild speichern..."))
    e.quit_program(proc, c)

    batch_dir = os.path.join(work, "batch")
    os.makedirs(batch_dir, exist_ok=True)
    batch_out = os.path.join(batch_dir, "export_9x13.jpg")
    if os.path.exists(batch_out):
        os.remove(batch_out)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    run = subprocess.run([binary, "--batch", "--format", "9 x 13", "--position", "topleft",
                          "--out", batch_dir, picture], env=env, capture_output=True, text=True)
    if run.returncode != 0:
        raise e.Failure("batch ended with %d: %s" % (run.returncode, run.stderr))
    with open(out, "rb") as a, open(batch_out, "rb") as b:
        if a.read() != b.read():
            raise e.Failure("the batch export differs from the window's")

    # Stored 800 x 600 with a quarter turn: upright 600 x 800, so it gets the upright frame of a
    # portrait picture, 327 x 473 of its 357 x 476 preview pixels at 600 / 357 each.
    heic = os.path.join(work, "Handy.HEIC")
    shown = subprocess.run([heif_picture, heic] + [str(v) for v in COLOUR], check=True,
                           capture_output=True, text=True).stdout.split()
    proc, c = export(binary, heic, tuple(int(v) for v in shown), os.path.join(work, "handy.jpg"),
                     (550, 795))
    e.quit_program(proc, c)


e.main(test)
