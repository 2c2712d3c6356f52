#!/usr/bin/python3
"""Taking the skin off restarts the real program, on a virtual desktop.

A copy of the program in a temporary folder (so that the skin file it deletes is a temporary
one) starts with a skin in use; "附加功能" is opened, then "更换皮肤...(&S)", and "不使用皮肤" is
clicked in the skin manager. The old process must end, exactly one new process of the copy
must run with exactly one tray icon, "skinh.she" must be gone, and the new instance must be
unskinned. Every process started here, the restarted program included, is stopped at the end.

  skins_desktop_test.py PROGRAM

Exits 77 (skipped) when the program is not built or a tool is missing, unless
DALVENOR_REQUIRE_DESKTOP=1.
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from desktop_kit import Failure, check, stop_pid  # noqa: E402

TIMEOUT = 60.0  # seconds; desktop tests share two busy cores with builds

# The skin manager's design geometry in twips (15 twips to a pixel).
COMMAND6 = (3840, 3120, 1215, 495)
# A point of the manager's own background, left of the previews, in pixels.
BACKGROUND = (6, 130)
MENU_ITEMS = tray_kit.MENU_ITEMS
ITEM_SKINS = 3
ITEM_ADDINS = 4


def wait_for(what, condition, timeout=TIMEOUT):
    return kit.wait_for(what, condition, timeout)


def skip(reason):
    kit.skip_now(reason, sys.stderr)


processes_of = kit.processes_of


class Desktop(kit.XSession):
    """X look-ups and xdotool input on one display."""

    def __init__(self, name):
        super().__init__(name, TIMEOUT)

    def tray_icons(self):
        return tray_kit.docked_icons(self)

    def program_windows(self):
        return tray_kit.program_top_levels(self)

    def pixel(self, x, y):
        return kit.Shot(self.root, (x, y, 1, 1)).at(x, y)


def grey(rgb):
    return (rgb[0] * 11 + rgb[1] * 16 + rgb[2] * 5) // 32


def choose_from_tray_menu(desktop, item, title):
    """Right-clicks the icon and clicks item of its menu until the window titled title shows;
    gives the window and its rectangle."""
    return tray_kit.choose(desktop, title, lambda: desktop.top_level(title), item=item,
                           timeout=3 * TIMEOUT)


def manager_background(desktop, rect):
    return grey(desktop.pixel(rect[0] + BACKGROUND[0], rect[1] + BACKGROUND[1]))


def run(program, folder, desktop):
    copy = os.path.join(folder, "program")
    # A portable copy: its own folder is its data folder.
    executable = kit.portable_copy(program, copy, skins=True)
    # A skin in use: the brushed-metal grey one, clearly darker than the plain window.
    active = os.path.join(copy, "skinh.she")
    shutil.copy2(os.path.join(copy, "skins", "itunes.she"), active)

    env = dict(desktop.env, QT_QPA_PLATFORM="xcb")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    first = subprocess.Popen([executable], cwd=copy, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        wait_for("the tray icon", desktop.tray_icons)
        choose_from_tray_menu(desktop, ITEM_ADDINS, "附加功能")
        _, rect = choose_from_tray_menu(desktop, ITEM_SKINS, "皮肤管理器")
        # Painted in the skin: the background is the skin's grey, not the plain window's.
        skinned = wait_for("the manager drawn in the skin",
                           lambda: manager_background(desktop, rect) < 225 and
                           manager_background(desktop, rect))
        print("skinned background grey %d" % skinned)

        x = rect[0] + (COMMAND6[0] + COMMAND6[2] // 2) // 15
        y = rect[1] + (COMMAND6[1] + COMMAND6[3] // 2) // 15
        desktop.xdotool("mousemove", x, y, "click", "1")

        wait_for("the old process to end", lambda: first.poll() is not None)
        check(first.returncode == 0, "the old process ended with %s" % first.returncode)
        check(not os.path.exists(active), "skinh.she is still there")

        # The new instance: one process of the copy, one icon, and it stays one.
        wait_for("one new process", lambda: len(processes_of(executable)) == 1)
        wait_for("its tray icon", lambda: len(desktop.tray_icons()) == 1)
        check(len(processes_of(executable)) == 1,
              "processes of the program: %s" % processes_of(executable))
        check(len(desktop.tray_icons()) == 1, "tray icons: %s" % desktop.tray_icons())
        check(first.pid not in processes_of(executable), "the old process runs on")

        # And it runs plain.
        _, rect = choose_from_tray_menu(desktop, ITEM_SKINS, "皮肤管理器")
        plain = wait_for("the manager drawn plain",
                         lambda: manager_background(desktop, rect) >= 230 and
                         manager_background(desktop, rect))
        print("plain background grey %d" % plain)
        check(len(processes_of(executable)) == 1, "a second instance appeared")
        check(not os.path.exists(active), "skinh.she came back")
    finally:
        if first.poll() is None:
            first.kill()
            first.wait(timeout=TIMEOUT)
        for pid in processes_of(executable):
            stop_pid(pid)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    program = sys.argv[1]
    if not os.access(program, os.X_OK):
        skip(program + " has not been built")
    for tool in ("Xvfb", "openbox", "tint2", "xdotool"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed")
    try:
        import Xlib  # noqa: F401
    except ImportError:
        skip("python3-xlib is not installed")
    folder = tempfile.mkdtemp(prefix="skins-desktop.")
    virtual = kit.VirtualDesktop(folder)
    desktop = None
    try:
        desktop = Desktop(virtual.start())
        run(program, folder, desktop)
        print("PASS: the program came back unskinned, once")
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
