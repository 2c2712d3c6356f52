#!/usr/bin/python3
"""The three lines as the real program draws them on a virtual desktop, read by pixels.

    lines_desktop_test.py DALVENOR_BINARY

Runs a portable copy of the program in a temporary folder, several times, and checks:
  - a tip that fits is drawn whole from the first frame: the tip line as first drawn equals
    the tip line after the tip timer has fired (the clock is sped up twentyfold for the
    program alone and set shortly before the target, so that the count stopping at zero
    tells that the timer has fired);
  - the message about a missing tips file is whole: its last line is as tall as the others
    and does not touch the bottom of its label;
  - with a prefix of 30, 120 and 70,000 characters the count stays readable: the second line
    is drawn at least three fifths as tall as the first.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
from desktop_kit import Failure, check, wait_for  # noqa: E402

ROOT_COLOUR = kit.ROOT_COLOUR
FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
TIP = "每天进步一点点，坚持到底就是胜利！！"
# The countdown window's lines, in pixels at 96 dpi from the top of the window: the designed
# tops and heights of the three labels.
LINE_ROWS = ((0, 49), (56, 49), (112, 81))


class Program:
    """A portable copy of the program in its own folder, with the files a case gives it."""

    def __init__(self, binary, folder, files, faketime=None):
        self.folder = folder
        executable = kit.portable_copy(binary, folder, files=())
        for name, lines in files.items():
            kit.write_lines(os.path.join(folder, name), lines, "utf-8")
        env = dict(os.environ)
        if faketime:
            # Qt's timers run on the sped-up clock too, so the one-minute tip timer fires
            # after a few seconds.
            env["LD_PRELOAD"] = FAKETIME_LIBRARY
            env["FAKETIME"] = faketime
            env.pop("FAKETIME_DONT_FAKE_MONOTONIC", None)
        self.process = subprocess.Popen([executable], cwd=folder, env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self):
        kit.stop_process(self.process)


class Desktop(kit.DesktopConnection):
    def overlay(self):
        """The countdown's window: viewable, called Dalvenor, larger than a tray icon."""
        found = kit.overlay_windows(self.d, "Dalvenor", 50, 50)
        return found[0] if len(found) == 1 else None


def line_rect(rect, n):
    top, height = LINE_ROWS[n - 1]
    return (rect[0], rect[1] + top, rect[2], height)


def text_rows(shot, rect):
    """The rows of rect (relative to its top) that hold a pixel other than the desktop's."""
    rows = []
    for dy in range(rect[3]):
        row = shot.rows[rect[1] - shot.rect[1] + dy]
        x0 = rect[0] - shot.rect[0]
        if any(pixel != ROOT_COLOUR for pixel in row[x0:x0 + rect[2]]):
            rows.append(dy)
    return rows


def bands(rows):
    """Runs of consecutive rows: (first, height)."""
    found = []
    for row in rows:
        if found and row == found[-1][0] + found[-1][1]:
            found[-1] = (found[-1][0], found[-1][1] + 1)
        else:
            found.append((row, 1))
    return found


def steady_shot(desktop, rect, what, drawn):
    """A shot of rect once drawn(shot) holds and two shots in a row agree."""
    return kit.settled_shot(lambda: desktop.shot(rect), what, drawn, interval=0.1)


def start(desktop, binary, workdir, name, files, faketime=None):
    program = Program(binary, os.path.join(workdir, name), files, faketime)
    overlay = wait_for("the countdown window of the case " + name, desktop.overlay,
                       tolerate_errors=True)
    return program, overlay, desktop.position(overlay)


def check_tip_drawn_whole_at_once(desktop, binary, workdir):
    # The program's clock starts 90 s before the target and runs twentyfold: the tip timer
    # fires after about 3 s, and after about 4.5 s the count stands at zero and its line no
    # longer changes, which tells that the tip timer has fired.
    countdown = ["第一行", "离高考还有：", "6/7/2030", "9:00:00 AM"]
    program, _, rect = start(desktop, binary, workdir, "tip",
                             {"countdown.ini": countdown, "ral.txt": [TIP]},
                             faketime="@2030-06-07 08:58:30 x20")
    try:
        tip, count = line_rect(rect, 3), line_rect(rect, 2)
        first = steady_shot(desktop, tip, "the tip to be drawn",
                            lambda shot: text_rows(shot, tip))
        still = {"shot": None, "since": 0.0}

        def count_stopped():
            shot = desktop.shot(count)
            if still["shot"] is None or shot != still["shot"]:
                still["shot"], still["since"] = shot, time.monotonic()
                return False
            # Counting, the line changes twenty times a second.
            return time.monotonic() - still["since"] > 2.0

        wait_for("the count to stop at zero", count_stopped, timeout=120, interval=0.1)
        again = desktop.shot(tip)
        if again != first:
            def columns(shot):
                return len({x for x, y in shot.points() if shot.at(x, y) != ROOT_COLOUR})

            raise Failure("the tip is drawn differently at first (%d columns of text) than "
                          "after the tip timer (%d columns)" % (columns(first), columns(again)))
    finally:
        program.stop()


def check_missing_tips_message_whole(desktop, binary, workdir):
    countdown = ["第一行", "离高考还有：", "6/7/2030", "9:00:00 AM"]
    program, _, rect = start(desktop, binary, workdir, "message", {"countdown.ini": countdown})
    try:
        label = line_rect(rect, 3)
        shot = steady_shot(desktop, label, "the message about the tips file",
                           lambda s: len(bands(text_rows(s, label))) >= 3)
        found = bands(text_rows(shot, label))
        tallest = max(height for _, height in found)
        last_top, last_height = found[-1]
        check(last_top + last_height < label[3],
              "the message's last line reaches the bottom of its label: %r in %d rows"
              % (found, label[3]))
        check(last_height * 4 >= tallest * 3,
              "the message's last line is cut: %d rows against %d (%r)"
              % (last_height, tallest, found))
    finally:
        program.stop()


def check_count_readable(desktop, binary, workdir, length):
    prefix = "前" * (length - 1) + "："
    countdown = ["第一行", prefix, "6/7/2030", "9:00:00 AM"]
    program, _, rect = start(desktop, binary, workdir, "prefix%d" % length,
                             {"countdown.ini": countdown, "ral.txt": [TIP]})
    try:
        first, second = line_rect(rect, 1), line_rect(rect, 2)
        both = (rect[0], first[1], rect[2], second[1] + second[3] - first[1])
        shot = steady_shot(desktop, both, "the first two lines",
                           lambda s: text_rows(s, first) and text_rows(s, second))
        height1 = sum(h for _, h in bands(text_rows(shot, first)))
        height2 = max(h for _, h in bands(text_rows(shot, second)))
        check(height2 * 5 >= height1 * 3,
              "with a prefix of %d characters the count is drawn %d rows tall, the first "
              "line %d" % (length, height2, height1))
        columns = [x for x, y in shot.points(second) if shot.at(x, y) != ROOT_COLOUR]
        check(min(columns) > rect[0] and max(columns) < rect[0] + rect[2] - 1,
              "the second line reaches the window's edge with a prefix of %d" % length)
    finally:
        program.stop()


def main(argv):
    kit.exit_on_sigterm()
    if len(argv) != 2:
        print("usage: lines_desktop_test.py DALVENOR_BINARY", file=sys.stderr)
        return 2
    binary = argv[1]
    if not os.path.exists(binary):
        return kit.skip("the program is not built")
    if not os.path.exists(FAKETIME_LIBRARY):
        return kit.skip("libfaketime is not installed")
    workdir = tempfile.mkdtemp(prefix="lines-test.", dir=os.environ.get("TMPDIR"))
    desktop = Desktop(workdir)
    try:
        desktop.start()
        desktop.root.change_attributes(background_pixel=kit.pixel_value(ROOT_COLOUR))
        desktop.root.clear_area()
        desktop.d.sync()
        check_tip_drawn_whole_at_once(desktop, binary, workdir)
        check_missing_tips_message_whole(desktop, binary, workdir)
        for length in (30, 120, 70000):
            check_count_readable(desktop, binary, workdir, length)
        print("PASS: the tip, the tips message and the count are whole on the desktop")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
