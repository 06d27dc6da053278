#!/usr/bin/env python3
"""Takes a screenshot of the main window with a picture loaded, as the README shows it. Run under
xvfb-run on a screen large enough for the scale, e.g.
  xvfb-run -a -s "-screen 0 1600x1300x24" python3 tools/screenshot.py \
      build/release/app/kadrovo PICTURE OUT.png [SCALE]
SCALE (default 1) is handed to the program as QT_SCALE_FACTOR."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import e2e_util as e  # noqa: E402


def main():
    binary, picture, out = sys.argv[1:4]
    scale = sys.argv[4] if len(sys.argv) > 4 else "1"
    os.environ["QT_SCALE_FACTOR"] = scale
    proc = e.start(binary, picture)
    win = e.wait_window("Kadrovo V0.3", proc)
    x, y, _, _ = e.geometry(win)
    factor = float(scale)
    # The status line shows the picture's size once the preview and the frame are painted; the
    # frame's yellow edge is the sign on screen.
    e.wait_for("frame painted", lambda: e.Shot().at(x + int(200 * factor),
                                                      y + int(20 * factor)) == e.YELLOW)
    subprocess.run(["import", "-window", str(win), out], check=True)
    proc.terminate()
    proc.wait()


main()
