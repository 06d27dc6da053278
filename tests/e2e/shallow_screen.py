"""On a 16-bit screen the program shows its depth error, opens no main window and ends with
exit code 0 once OK is pressed. Usage (under a 16-bit X server): shallow_screen.py KADROVO"""
import e2e_util as e


def test(args):
    (binary,) = args
    proc = e.start(binary)
    seen_main = []

    def message_window():
        if e.windows("Kadrovo") or e.windows("Kadrovo V0.3"):
            seen_main.append(True)
        if proc.poll() is not None:
            raise e.Failure("program ended (%d) without the message: %s" % (proc.returncode, e.output_of(proc)))
        ids = e.windows("Error")
        return ids[0] if ids else None

    box = e.wait_for("the message box", message_window)
    e.focus(box)
    e.tool("xdotool", "key", "--window", str(box), "Return", check=False)

    def ended():
        if e.windows("Kadrovo") or e.windows("Kadrovo V0.3"):
            seen_main.append(True)
        if proc.poll() is None:
            # The key may reach the box before it takes the focus; press again.
            if e.windows("Error"):
                e.focus(box)
                e.tool("xdotool", "key", "Return", check=False)
            return False
        return True

    e.wait_for("the program to end", ended)
    if seen_main:
        raise e.Failure("a main window appeared")
    if proc.returncode != 0:
        raise e.Failure("exit code %d" % proc.returncode)


e.main(test)
