"""The batch export as a user runs it, without any display: the exact largest frame of pictures
and formats, three inputs of one stem into a folder that does not exist yet and a second run
over them, the tone options on the scale of the window's labels, and a JPEG cut off half way.
Usage: batch_run.py KADROVO WORKDIR"""
import os
import shutil

import e2e_util as e

COLOUR = (100, 150, 200)


def batch(binary, *args):
    return e.batch(binary, "--quiet", *args)


def test(args):
    binary, work = args
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    # Picture, format, placement: the written size is the largest frame, to the pixel.
    frames = [((1600, 1000), "10 x 15", "topleft", (1500, 1000)),
              ((1600, 1000), "10 x 15", "center", (1500, 1000)),
              ((1280, 720), "16:9", "center", (1280, 720)),
              ((1000, 1600), "10x15", "center", (1000, 1500)),
              ((900, 900), "ebay", "30,0", (675, 900)),
              ((1801, 1199), "13 x 18", "topleft", (1660, 1199))]
    for (width, height), form, position, want in frames:
        picture = os.path.join(work, "p%dx%d.bmp" % (width, height))
        e.write_bmp(picture, width, height, COLOUR)
        out = os.path.join(work, "frames")
        status, text = batch(binary, "--format", form, "--position", position, "--overwrite",
                             "--out", out, picture)
        name = "p%dx%d_%s.jpg" % (width, height, form.replace(" ", "").replace(":", "x"))
        size = e.jpeg_size(os.path.join(out, name))
        if status != 0 or size != want:
            raise e.Failure("%s %s %s: status %d, %s, not %s: %s"
                            % (name, form, position, status, size, want, text))

    # Three inputs of one stem, the output folder missing with its parent.
    for sub in ("a", "b"):
        os.makedirs(os.path.join(work, sub))
    inputs = [os.path.join(work, "a", "foto.bmp"), os.path.join(work, "b", "foto.bmp"),
              os.path.join(work, "a", "foto.BMP")]
    for i, path in enumerate(inputs):
        e.write_bmp(path, 150 + 100 * i, 600, COLOUR)
    out = os.path.join(work, "neu", "abzuege")
    status, text = batch(binary, "--format", "10x15", "--out", out, *inputs)
    names = sorted(os.listdir(out))
    want = ["foto_10x15-2.jpg", "foto_10x15-3.jpg", "foto_10x15.jpg"]
    if status != 0 or names != want or text != "3 geschrieben, 0 übersprungen, 0 fehlgeschlagen\n":
        raise e.Failure("first run: status %d, %s: %r" % (status, names, text))
    widths = [e.jpeg_size(os.path.join(out, n))[0]
              for n in ("foto_10x15.jpg", "foto_10x15-2.jpg", "foto_10x15-3.jpg")]
    if widths != [150, 250, 350]:  # each input's own output, in the order given
        raise e.Failure("the inputs' outputs are %s wide" % widths)
    status, text = batch(binary, "--format", "10x15", "--out", out, *inputs)
    if status != 0 or text != "0 geschrieben, 3 übersprungen, 0 fehlgeschlagen\n":
        raise e.Failure("second run: status %d: %r" % (status, text))

    # Gamma 100, as the window's label shows it at the start, is no change; 50 is one.
    picture = inputs[1]
    written = {}
    for label, extra in (("none", []), ("100", ["--gamma", "100"]), ("50", ["--gamma", "50"])):
        folder = os.path.join(work, "gamma-" + label)
        status, text = batch(binary, "--format", "10x15", *extra, "--out", folder, picture)
        with open(os.path.join(folder, "foto_10x15.jpg"), "rb") as f:
            written[label] = f.read()
        if status != 0:
            raise e.Failure("gamma %s: %d %s" % (label, status, text))
    if written["none"] != written["100"] or written["none"] == written["50"]:
        raise e.Failure("--gamma 100 is not the default, or --gamma 50 changes nothing")
    status, text = batch(binary, "--gamma", "236", "--out", out, picture)
    if status != 2:
        raise e.Failure("--gamma 236 was taken: %d" % status)

    # A JPEG cut off at three fifths: refused, nothing written; taken with --allow-incomplete.
    with open(os.path.join(work, "frames", "p1600x1000_10x15.jpg"), "rb") as f:
        whole = f.read()
    cut = os.path.join(work, "halb.jpg")
    with open(cut, "wb") as f:
        f.write(whole[:len(whole) * 3 // 5])
    folder = os.path.join(work, "cut")
    status, text = batch(binary, "--out", folder, cut)
    if status != 1 or os.listdir(folder) or "halb.jpg ist unvollständig: nur der obere Teil" not in text:
        raise e.Failure("the cut JPEG: status %d, %s: %r" % (status, os.listdir(folder), text))
    status, text = batch(binary, "--allow-incomplete", "--out", folder, cut)
    if status != 0 or os.listdir(folder) != ["halb_9x13.jpg"]:
        raise e.Failure("the cut JPEG allowed: status %d, %s" % (status, os.listdir(folder)))


e.main(test)
