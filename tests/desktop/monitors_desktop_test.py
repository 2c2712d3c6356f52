#!/usr/bin/python3
"""Checks that the countdown keeps to the screens while a monitor goes and comes back.

    monitors_desktop_test.py DALVENOR_BINARY

Starts its own virtual desktop (Xvfb, openbox, tint2) on one X screen of 2560 x 800 pixels
cut into two monitors with `xrandr --setmonitor`: A on the left half (the primary one), B on
the right. The countdown's stored rectangle lies on B. The program runs from a portable copy
in the test's folder and:
  - stands at its stored rectangle on B, its text drawn there;
  - once B is removed (`xrandr --delmonitor B`), stands in the centred default on A, its text
    drawn there, and nothing of it is left where B was;
  - once B is back, stands at its stored rectangle again;
  - a monitor set up anew at another size (B narrowed to a strip the stored rectangle does
    not reach, then widened again) is followed too;
  - with one monitor left where B was: the countdown stays, and "显示设置", opened from the
    tray menu, opens on it;
  - the stored values are never changed by any of this (the settings file stays the same,
    byte for byte).
Every wait polls a condition with a generous time limit.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
import desktop_kit as kit  # noqa: E402
import overlay_desktop_test as overlay  # noqa: E402
import tray_kit  # noqa: E402
from desktop_kit import Failure, check, wait_for  # noqa: E402

SCREEN = (2560, 800)
MONITOR_A = "1280/338x800/211+0+0"
MONITOR_B = "1280/338x800/211+1280+0"
# B once rearranged: narrowed to a strip at its left edge that the stored rectangle does not
# reach (a lower resolution).
MONITOR_B_NARROW = "280/74x800/211+1280+0"
# The stored rectangle in twips (15 per pixel): pixels (1580, 150, 403, 216) on B.
STORED_TWIPS = (23700, 2250, 6045, 3240)
STORED_RECT = (1580, 150, 403, 216)
# The design size, 6045 x 3000 twips, centred on A.
CENTRED_SIZE = (403, 200)
# "显示设置...(&W)", the second item of the tray menu.
DISPLAY_SETTINGS_ITEM = 1


def xrandr(*args):
    subprocess.run(["xrandr", *args], check=True, timeout=kit.TIMEOUT, capture_output=True)


def monitors():
    out = subprocess.run(["xrandr", "--listmonitors"], check=True, timeout=kit.TIMEOUT,
                         capture_output=True, text=True).stdout
    # " 0: +*A 1280/338x800/211+0+0  screen": the name after the number, without the flags.
    return sorted(line.split()[1].lstrip("+*") for line in out.splitlines()[1:]
                  if len(line.split()) > 2)


def start_program(binary, workdir):
    program_dir = os.path.join(workdir, "bin")
    program = kit.portable_copy(binary, program_dir)
    return subprocess.Popen([program], cwd=program_dir, env=dict(os.environ,
                                                                QT_QPA_PLATFORM="xcb"))


def overlay_at(desktop, what, accept):
    def found():
        window = overlay.find_overlay(desktop, "Dalvenor")
        if not window:
            return None
        rect = desktop.position(window)
        return rect if accept(rect) else None

    return wait_for(what, found, tolerate_errors=True)


def centred_on_a(rect):
    x = (1280 - CENTRED_SIZE[0]) / 2
    y = (800 - CENTRED_SIZE[1]) / 2
    return rect[2:] == CENTRED_SIZE and abs(rect[0] - x) <= 1 and abs(rect[1] - y) <= 1


def check_text(desktop, before, rect, where):
    wait_for("the countdown's text %s" % where,
             lambda: len(overlay.classify(before, desktop.shot(rect), rect)[0]) > 200)


def run(binary):
    workdir = tempfile.mkdtemp(prefix="monitors-test.", dir=os.environ.get("TMPDIR"))
    os.environ["VD_SCREEN"] = "%dx%dx24" % SCREEN
    desktop = kit.DesktopConnection(workdir)
    process = None
    try:
        desktop.start()
        xrandr("--setmonitor", "A", MONITOR_A, "screen")
        xrandr("--setmonitor", "B", MONITOR_B, "none")
        check(monitors() == ["A", "B"],
              "the two monitors are not there: %r" % monitors())
        desktop.set_root_colour(overlay.ROOT_COLOUR)
        screen_rect = (0, 0) + SCREEN
        settings = kit.settings_file()
        stored = kit.write_stored_rect(STORED_TWIPS)
        before = desktop.shot(screen_rect)

        process = start_program(binary, workdir)
        overlay_at(desktop, "the countdown at its stored rectangle on B",
                   lambda rect: rect == STORED_RECT)
        check_text(desktop, before, STORED_RECT, "on B")

        xrandr("--delmonitor", "B")
        rect = overlay_at(desktop, "the countdown centred on A once B is gone", centred_on_a)
        check_text(desktop, before, rect, "on A")
        wait_for("nothing of the countdown where B was",
                 lambda: not overlay.classify(before, desktop.shot(STORED_RECT),
                                              STORED_RECT)[0])

        xrandr("--setmonitor", "B", MONITOR_B, "none")
        overlay_at(desktop, "the countdown back at its stored rectangle once B is back",
                   lambda rect: rect == STORED_RECT)
        check_text(desktop, before, STORED_RECT, "on B again")

        # B changes in place: the stored rectangle is on no monitor any more, then again.
        xrandr("--delmonitor", "B")
        xrandr("--setmonitor", "B", MONITOR_B_NARROW, "none")
        overlay_at(desktop, "the countdown centred on A once B narrowed", centred_on_a)
        wait_for("the narrowed B", lambda: "B" in monitors())
        xrandr("--delmonitor", "B")
        xrandr("--setmonitor", "B", MONITOR_B, "none")
        overlay_at(desktop, "the countdown back at its stored rectangle once B widened",
                   lambda rect: rect == STORED_RECT)

        # One monitor is left, right of the X screen's origin (A, with the screen's output,
        # set up anew where B was): the countdown stays on it, and 显示设置 opens on it too
        # (at its design place from the monitor's corner), not at the origin where no monitor
        # is.
        xrandr("--delmonitor", "B")
        xrandr("--delmonitor", "A")
        xrandr("--setmonitor", "A", MONITOR_B, "screen")
        wait_for("one monitor on the right", lambda: monitors() == ["A"])
        session = kit.XSession(os.environ["DISPLAY"])
        try:
            _, window_rect = tray_kit.choose(session, "显示设置",
                                             lambda: session.top_level("显示设置"),
                                             item=DISPLAY_SETTINGS_ITEM)
        finally:
            session.close()
        b = (1280, 0, 1280, 800)
        check(kit.intersect(window_rect, b) == window_rect,
              "显示设置 opened at %r, not on the one monitor %r" % (window_rect, b))
        check(overlay.find_overlay(desktop, "Dalvenor") is not None and
              desktop.position(overlay.find_overlay(desktop, "Dalvenor")) == STORED_RECT,
              "the countdown is not at its stored place on the one monitor")

        check(process.poll() is None, "the program ended")
        with open(settings, "rb") as f:
            check(f.read() == stored, "the stored values changed")
        print("PASS: the countdown follows the monitors and comes back to its place")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        kit.stop_process(process)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    return kit.program_driver(argv, run, tools=('xrandr',), doc=__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
