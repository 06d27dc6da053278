"""On a 16-bit screen the program shows its depth error, opens no main window and ends with
exit code 0 once OK is pressed. Usage (under a 16-bit X server): shallow_screen.py KADROVO"""
import e2e_util as e


def test(args):
    (binary,) = args
    proc = e.start(binary)
    seen_main = []
    box = []

    def look():
        """Notes a main window; once the box is there, presses Return in it (again should the
        key reach it before it takes the focus). True once the program has ended."""
        if e.windows("Kadrovo") or e.windows("Kadrovo V0.3"):
            seen_main.append(True)
        if proc.poll() is not None:
            return True
        ids = e.windows("Error")
        if ids:
            box.append(ids[0])
            e.focus(ids[0])
            e.tool("xdotool", "key", "Return", check=False)
        return False

    e.wait_for("the message box, then the program's end", look)
    if not box:
        raise e.Failure("program ended (%d) without the message: %s"
                        % (proc.returncode, e.output_of(proc)))
    if seen_main:
        raise e.Failure("a main window appeared")
    if proc.returncode != 0:
        raise e.Failure("exit code %d" % proc.returncode)


e.main(test)
