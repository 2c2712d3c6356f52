#!/usr/bin/python3
"""The program on a desktop without a notification area (openbox, no tint2).

    no_tray_desktop_test.py DALVENOR_BINARY

Checks, with the real program on a virtual desktop whose panel is stopped before it starts:
  - the countdown overlay shows, and once the grace period for a late panel is over (shortened
    to a second here) one notice (a managed window titled "Dalvenor") says how to reach the
    menu;
  - a second start ends at once with status 0 and the running program opens its six-item
    menu at the pointer (the items read by pixels);
  - "关于...(&A)" chosen there opens the about window;
  - a panel started later gets the icon, and the notice, no longer true, goes away and does
    not come back;
  - a third start then opens the menu again at the new pointer position, and "退出(&E)"
    chosen there ends the program with status 0.
Every wait polls with a generous limit; everything started is stopped, also on failure.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from desktop_kit import Failure, check, wait_for  # noqa: E402

MENU_ITEMS = tray_kit.MENU_ITEMS
TITLE = "Dalvenor"


tray_owned = tray_kit.tray_owned
stop_panel = tray_kit.stop_panel
top_levels = kit.top_levels
managed_named = kit.managed_named


def overlay_window(desktop):
    """The countdown's unmanaged window."""
    return kit.unmanaged_named(desktop, TITLE, min_width=50)


def popup_at(desktop, pointer, known):
    """A new unmanaged window of menu size whose corner is at (or was moved near) pointer."""
    for window, _name, unmanaged, rect in top_levels(desktop):
        if not unmanaged or window.id in known:
            continue
        x, y, w, h = rect
        if tray_kit.is_menu_size(rect) and \
                abs(x - pointer[0]) <= 8 and abs(y - pointer[1]) <= 8:
            return rect
    return None


def caption_lines(desktop, rect):
    """Bands of rows with dark pixels in the captions' column: one per item."""
    return tray_kit.caption_lines(desktop.shot(rect), rect)


def start_again(binary, workdir):
    out = subprocess.run([binary], cwd=workdir, capture_output=True, timeout=60, check=False)
    check(out.returncode == 0, "a second start ended with %d: %s"
          % (out.returncode, out.stderr.decode("utf-8", "replace")))


def open_menu_by_starting_again(desktop, binary, workdir, pointer):
    known = {window.id for window, *_ in top_levels(desktop)}
    subprocess.run(["xdotool", "mousemove", str(pointer[0]), str(pointer[1])], check=True)
    start_again(binary, workdir)
    rect = wait_for("the menu at the pointer %r" % (pointer,),
                    lambda: popup_at(desktop, pointer, known))
    # Mapped is not yet painted: wait for the six captions.
    wait_for("six items in the menu at %r" % (rect,),
             lambda: caption_lines(desktop, rect) == MENU_ITEMS)
    return rect


click_item = tray_kit.click_item


def icon_docked(desktop):
    """A small viewable window of the program inside the panel's window tree."""
    return tray_kit.docked_program_window(desktop.root) is not None


def run(binary):
    workdir = tempfile.mkdtemp(prefix="no-tray-test.", dir=os.environ.get("TMPDIR"))
    desktop = kit.DesktopConnection(workdir)
    process = None
    panel = None
    try:
        desktop.start()
        stop_panel(desktop)
        # A portable copy in the test's folder: whatever it writes stays there.
        binary = kit.portable_copy(binary, os.path.join(workdir, "program"))
        process = subprocess.Popen([binary], cwd=workdir,
                                   env=dict(os.environ, DALVENOR_TRAY_GRACE_MS="1000"))
        wait_for("the countdown overlay", lambda: overlay_window(desktop))
        wait_for("the notice without a notification area",
                 lambda: len(managed_named(desktop, TITLE)) == 1)
        check(process.poll() is None, "the program ended on a desktop without a tray")

        rect = open_menu_by_starting_again(desktop, binary, workdir, (400, 300))
        click_item(rect, 0)
        wait_for("the about window opened from the menu", lambda: tray_kit.about_shown(desktop))

        # A notification area that appears later still gets the icon.
        panel = subprocess.Popen(["tint2"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the late panel to claim the tray", lambda: tray_owned(desktop))
        wait_for("the icon in the late panel", lambda: icon_docked(desktop))
        wait_for("the notice to go once the panel holds the icon",
                 lambda: not managed_named(desktop, TITLE))

        rect = open_menu_by_starting_again(desktop, binary, workdir, (620, 180))
        check(not managed_named(desktop, TITLE), "the notice came back with a tray there")
        click_item(rect, MENU_ITEMS - 1)
        wait_for("the program to end after 退出(&E)", lambda: process.poll() is not None)
        check(process.returncode == 0, "退出(&E) ended the program with %d" % process.returncode)
        print("PASS: reached without a notification area, ended from the menu")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        kit.stop_process(process)
        kit.stop_process(panel)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    return kit.program_driver(argv, run, doc=__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
