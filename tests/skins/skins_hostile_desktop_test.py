#!/usr/bin/python3
"""A hostile active skin cannot freeze the real program, on a virtual desktop.

A portable copy of the program in a temporary folder starts with a "skinh.she" whose images
are a FIFO in the copy's folder (Qt would block for ever reading it when a window is drawn).
Within a deadline the countdown window must map, the tray icon must appear and a box must say
why the skin is not used; the program must then stay responsive: a second start hands over and
the first instance opens its tray menu. "skinh.she" stays as it was. At any deadline the
program is killed and the test fails: it never waits for ever.

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
import skins_desktop_test as base  # noqa: E402

TIMEOUT = base.TIMEOUT

HOSTILE = (b"/* Every image of this skin is a FIFO. */\n"
           b"QWidget { background-image: url(hole.png); }\n"
           b"QMenu, QLabel, QPushButton { border-image: url(hole.png) 2; }\n")


def managed_windows(desktop, title):
    """Windows of the program with this title that the window manager framed (boxes)."""
    return [rect for _, name, cls, rect, parents in desktop.windows()
            if cls == "Dalvenor" and name == title and len(parents) > 1 and rect[2] > 50]


def run(program, folder, desktop):
    copy = os.path.join(folder, "program")
    os.makedirs(copy)
    bin_dir = os.path.dirname(program)
    executable = os.path.join(copy, "dalvenor")
    shutil.copy2(program, executable)
    # The marker makes the copy a portable one: its own folder is its data folder.
    for name in ("countdown.ini", "ral.txt", "dalvenor.portable"):
        if os.path.isfile(os.path.join(bin_dir, name)):
            shutil.copy2(os.path.join(bin_dir, name), copy)
    shutil.copytree(os.path.join(bin_dir, "skins"), os.path.join(copy, "skins"))
    os.mkfifo(os.path.join(copy, "hole.png"), 0o600)
    active = os.path.join(copy, "skinh.she")
    with open(active, "wb") as f:
        f.write(HOSTILE)

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

        wait_for = base.wait_for
        countdown = wait_for("the countdown window",
                             lambda: alive() and [rect for rect in
                                                  desktop.program_windows().values()
                                                  if rect[2] >= 100 and rect[3] >= 60])
        print("countdown window at %s" % (countdown[0],))
        wait_for("the tray icon", lambda: alive() and desktop.tray_icons())
        wait_for("the box that tells why the skin is not used",
                 lambda: alive() and managed_windows(desktop, "Dalvenor"))

        # Responsive: a second start hands over, and the first opens its menu at the pointer.
        before = set(desktop.program_windows())
        desktop.xdotool("mousemove", 300, 300)
        second = subprocess.Popen([executable], cwd=copy, env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        wait_for("the second start to hand over", lambda: second.poll() is not None)
        check(second.returncode == 0, "the second start ended with %s" % second.returncode)

        def menu():
            alive()
            for wid, rect in desktop.program_windows().items():
                if wid not in before and rect[2] >= 80 and \
                        base.MENU_ITEMS * 14 <= rect[3] <= base.MENU_ITEMS * 40:
                    return rect
            return None

        rect = wait_for("the tray menu opened by the second start", menu)
        print("menu at %s" % (rect,))
        desktop.xdotool("key", "Escape")
        wait_for("the menu to close", lambda: alive() and menu() is None)

        with open(active, "rb") as f:
            check(f.read() == HOSTILE, "skinh.she was changed")
        check(len(base.processes_of(executable)) == 1,
              "processes of the program: %s" % base.processes_of(executable))
    finally:
        for process in (second, first):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait(timeout=TIMEOUT)
        for pid in base.processes_of(executable):
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
        desktop = base.Desktop(virtual.start())
        run(program, folder, desktop)
        print("PASS: the program with a FIFO in its skin counts down and answers")
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
