"""The output's choices outlive the program, and a window export lands in the desktop's list of
recently used files; both in the usual places under a home folder of the test's own. Ctrl+,
opens "Ausgabe"; a typed budget and "Druck" are chosen and kept. The picture is saved; the file
is listed as image/jpeg. Started again, the program brings the choices back: the preferences file
is removed, the dialog opened and taken as it comes, and the file written anew holds them.
Usage: output_settings.py KADROVO WORKDIR"""
import os
import pathlib
import shutil

import e2e_util as e


def expect_kept(conf, what, proc):
    """Waits for the preferences file `conf` and expects the choices the test made in it."""
    e.wait_for(what, lambda: os.path.exists(conf) and "nachschaerfen=" in preferences(conf))
    if "hoechstens=1500000\nnachschaerfen=2" not in preferences(conf):
        raise e.Failure("%s: not in %r %s" % (what, preferences(conf), e.output_of(proc)))


def preferences(path):
    return pathlib.Path(path).read_text(encoding="utf-8")


def test(args):
    binary, work = args
    home = os.path.join(work, "home")
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(home)
    # The desktop's usual places: nothing but HOME says where they are.
    os.environ["HOME"] = home
    os.environ["XDG_CONFIG_HOME"] = ""
    os.environ["XDG_DATA_HOME"] = ""
    conf = os.path.join(home, ".config", "kadrovo", "kadrovo.conf")
    recent = os.path.join(home, ".local", "share", "recently-used.xbel")
    picture = os.path.join(work, "output.bmp")
    out = os.path.join(work, "output-out.jpg")
    e.write_bmp(picture)

    proc, c = e.start_with_picture(binary, picture, e.COLOUR)
    e.keys(proc, "ctrl+comma")
    # The budget's field has the focus and takes a typed value; the second list goes to "Druck".
    e.type_into_dialog("Ausgabe", "1,5 MB", proc, "Tab", "Down", "Down", "Return")
    expect_kept(conf, "the kept choices", proc)

    e.save_as(proc, c, out)
    e.wait_window("Gespeichert als %s - Kadrovo V0.3" % out, proc)
    listed = e.wait_for("the recently-used list", lambda: os.path.exists(recent) and
                        preferences(recent))
    entry = listed.find('href="file://%s"' % out)
    if entry < 0 or 'type="image/jpeg"' not in listed[entry:] or "Kadrovo" not in listed[entry:]:
        raise e.Failure("%s is not listed as a JPEG picture of Kadrovo: %r" % (out, listed))
    e.quit_program(proc, c)

    proc, c = e.start_main(binary)
    # Read at the start: the file can go, and OK on the dialog as it comes writes what it showed.
    os.remove(conf)
    e.keys(proc, "ctrl+comma")
    e.close_with("Ausgabe", proc, "Return")
    expect_kept(conf, "the choices kept again", proc)
    e.quit_program(proc, c)


e.main(test)
