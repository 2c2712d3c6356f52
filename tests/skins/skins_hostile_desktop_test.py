#!/usr/bin/python3
"""A hostile active skin can neither freeze nor blind the real program, on a virtual desktop.

For each hostile skin, a portable copy of the program in a temporary folder starts with it as
"skinh.she": one whose images are a FIFO in the copy's folder (Qt would block for ever reading
it when a window is drawn), one with text in the colour of its background, one with 400 pt
fonts. Within a deadline the countdown window must map, the tray icon must appear and a box
must say why the skin is not used; the program must then stay responsive: a second start hands
over and the first instance opens its tray menu, of a usual size and with readable text on
the screen. "skinh.she" stays as it was. At any deadline the program is killed and the test
fails: it never waits for ever.

  skins_hostile_desktop_test.py PROGRAM

Exits 77 (skipped) when the program is not built or a tool is missing, unless
DALVENOR_REQUIRE_DESKTOP=1.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
sys.path.insert(0, os.path.dirname(__file__))
import desktop_kit as kit  # noqa: E402
from desktop_kit import Failure, check, stop_pid  # noqa: E402
import tray_kit  # noqa: E402

TIMEOUT = 60.0  # seconds; desktop tests share two busy cores with builds

CASES = [
    ("FIFO images", b"/* Every image of this skin is a FIFO. */\n"
                    b"QWidget { background-image: url(hole.png); }\n"
                    b"QMenu, QLabel, QPushButton { border-image: url(hole.png) 2; }\n"),
    ("text in the background colour", b"* { color: #ffffff; background-color: #ffffff; }\n"),
    ("400 pt fonts", b"* { font-size: 400pt; }\n"),
]


def readable_pixels(desktop, rect):
    """Pixels of the rectangle on the screen that stand out from its most common colour."""
    x, y, width, height = rect
    image = desktop.root.get_image(x, y, width, height, desktop.X.ZPixmap, 0xFFFFFFFF)
    data = image.data
    pixels = [tuple(data[i:i + 3]) for i in range(0, len(data) - 3, 4)]
    counts = {}
    for pixel in pixels:
        counts[pixel] = counts.get(pixel, 0) + 1
    background = max(counts, key=counts.get)
    return sum(count for pixel, count in counts.items()
               if max(abs(a - b) for a, b in zip(pixel, background)) > 100)


def managed_windows(desktop, title):
    """Windows of the program with this title that the window manager framed (boxes)."""
    return [rect for _, name, cls, rect, parents in desktop.windows()
            if cls == "Dalvenor" and name == title and len(parents) > 1 and rect[2] > 50]


def run(program, folder, desktop, sheet):
    copy = os.path.join(folder, "program")
    # A portable copy: its own folder is its data folder.
    executable = kit.portable_copy(program, copy, skins=True)
    os.mkfifo(os.path.join(copy, "hole.png"), 0o600)
    active = os.path.join(copy, "skinh.she")
    with open(active, "wb") as f:
        f.write(sheet)

    env = dict(desktop.env, QT_QPA_PLATFORM="xcb")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    first = subprocess.Popen([executable], cwd=copy, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    second = None
    try:
        def alive():
            if first.poll() is not None:
                raise Failure("the program ended with %s" % first.returncode)
            return True

        def wait_for(what, condition):
            return kit.wait_for(what, condition, TIMEOUT)

        countdown = wait_for("the countdown window",
                             lambda: alive() and [rect for rect in
                                                  tray_kit.program_top_levels(desktop).values()
                                                  if rect[2] >= 100 and rect[3] >= 60])
        print("countdown window at %s" % (countdown[0],))
        wait_for("the tray icon", lambda: alive() and tray_kit.docked_icons(desktop))
        wait_for("the box that tells why the skin is not used",
                 lambda: alive() and managed_windows(desktop, "Dalvenor"))

        # Responsive: a second start hands over, and the first opens its menu at the pointer.
        before = set(tray_kit.program_top_levels(desktop))
        desktop.xdotool("mousemove", 300, 300)
        second = subprocess.Popen([executable], cwd=copy, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        wait_for("the second start to hand over", lambda: second.poll() is not None)
        check(second.returncode == 0, "the second start ended with %s" % second.returncode)

        def menu():
            alive()
            for wid, rect in tray_kit.program_top_levels(desktop).items():
                if wid not in before and tray_kit.is_menu_size(rect):
                    return rect
            return None

        rect = wait_for("the tray menu opened by the second start", menu)
        print("menu at %s" % (rect,))
        text = wait_for("readable text in the menu",
                        lambda: alive() and readable_pixels(desktop, rect) > 200 and
                        readable_pixels(desktop, rect))
        print("menu pixels that stand out: %d" % text)
        desktop.xdotool("key", "Escape")
        wait_for("the menu to close", lambda: alive() and menu() is None)

        with open(active, "rb") as f:
            check(f.read() == sheet, "skinh.she was changed")
        check(len(kit.processes_of(executable)) == 1,
              "processes of the program: %s" % kit.processes_of(executable))
    finally:
        for process in (second, first):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait(timeout=TIMEOUT)
        for pid in kit.processes_of(executable):
            stop_pid(pid)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    kit.exit_on_sigterm()
    program = sys.argv[1]
    if not os.access(program, os.X_OK):
        return kit.skip(program + " has not been built", sys.stderr)
    for tool in ("Xvfb", "openbox", "tint2", "xdotool"):
        if shutil.which(tool) is None:
            return kit.skip(tool + " is not installed", sys.stderr)
    try:
        import Xlib  # noqa: F401
    except ImportError:
        return kit.skip("python3-xlib is not installed", sys.stderr)
    folder = tempfile.mkdtemp(prefix="skins-hostile.")
    virtual = kit.VirtualDesktop(folder)
    desktop = None
    try:
        desktop = kit.XSession(virtual.start(), TIMEOUT)
        for index, (name, sheet) in enumerate(CASES):
            print("skin with %s" % name)
            case = os.path.join(folder, "case%d" % index)
            os.makedirs(case)
            try:
                run(program, case, desktop, sheet)
            except Failure as failure:
                raise Failure("skin with %s: %s" % (name, failure))
        print("PASS: with every hostile skin the program counts down, answers and reads")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        return 1
    finally:
        if desktop:
            desktop.close()
        virtual.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
