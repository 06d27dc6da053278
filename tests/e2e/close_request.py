"""The close request a window manager sends ends the program with exit code 0.
Usage: close_request.py KADROVO WM_CLOSE_HELPER"""
import subprocess
import sys

import e2e_util as e


def test(args):
    binary, helper = args
    proc = e.start(binary)
    win = e.wait_window("Kadrovo V0.3", proc)
    subprocess.run([sys.executable, helper, str(win)], check=True)
    rc = e.wait_exit(proc)
    if rc != 0:
        raise e.Failure("exit code %d" % rc)


e.main(test)
