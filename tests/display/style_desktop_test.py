#!/usr/bin/python3
"""A change of the countdown's style shows on the real overlay at once, on all three lines.

    style_desktop_test.py DISPLAY_PROBE

Starts its own virtual desktop and the probe (the program's own windows) with a countdown
file whose date cannot be read, so that the second line is a fixed message and no tick ever
redraws a line, and a one-line tips file (the tip is redrawn only after a minute). Then:
  - the colour alone is changed: every one of the three lines is drawn in the new colour;
  - the face and size alone are changed: the lines are drawn larger, still in that colour.
Since nothing else redraws the overlay in that time, what is seen is the change itself.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402

# The countdown's default rectangle on a 96 dpi screen, and its three lines' bands.
COUNTDOWN = (518, 355, 403, 216)
BANDS = [(0, 49), (56, 105), (112, 193)]
RED = (255, 0, 0)


def pixels_of(shot, colour, band):
    x, y, w, _ = COUNTDOWN
    count = 0
    for sy in range(y + band[0], y + band[1]):
        for sx in range(x, x + w):
            if shot.at(sx, sy) == colour:
                count += 1
    return count


def text_rows(shot, colour):
    """Screen rows of the countdown that hold a pixel of that colour."""
    x, y, w, h = COUNTDOWN
    return [sy for sy in range(y, y + h)
            if any(shot.at(sx, sy) == colour for sx in range(x, x + w))]


def run(probe):
    workdir = tempfile.mkdtemp(prefix="style-test.", dir=os.environ.get("TMPDIR"))
    with open(os.path.join(workdir, "countdown.ini"), "wb") as f:
        f.write(b"FIRST LINE\r\nLeft: \r\n2/30/2040\r\n9:00:00 AM\r\n")
    with open(os.path.join(workdir, "ral.txt"), "wb") as f:
        f.write(b"Read one page more every day.\r\n")
    desktop = kit.DesktopConnection(workdir)
    process = None
    try:
        desktop.start()
        desktop.set_root_colour(kit.ROOT_COLOUR)
        with open(os.path.join(workdir, "probe.log"), "w") as log:
            process = subprocess.Popen([probe], cwd=workdir, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=log,
                                       start_new_session=True)
        lines = kit.Lines(process.stdout)
        kit.check(lines.next("its start") == "ready", "the probe did not start")
        # All three lines drawn (the first tick has set the first two).
        kit.wait_for("the three lines", lambda: all(
            any(p != kit.ROOT_COLOUR for row in desktop.shot(
                (COUNTDOWN[0], COUNTDOWN[1] + b[0], COUNTDOWN[2], b[1] - b[0])).rows
                for p in row) for b in BANDS))
        before = kit.settled_shot(lambda: desktop.shot(COUNTDOWN), "the countdown to settle",
                                  repeats=5)
        kit.check(all(pixels_of(before, RED, b) == 0 for b in BANDS), "red before the change")

        # The colour alone: red is 255 as stored (&H00BBGGRR).
        process.stdin.write(b"colour 255\n")
        process.stdin.flush()
        kit.check(lines.next("colour") == "styled", "the probe did not change the colour")
        red = kit.wait_for("every line in red", lambda: (lambda s: s if all(
            pixels_of(s, RED, b) > 20 for b in BANDS) else None)(desktop.shot(COUNTDOWN)))
        rows_before = text_rows(red, RED)

        # The face and size alone: larger glyphs, still red.
        process.stdin.write("font 宋体 24\n".encode("utf-8"))
        process.stdin.flush()
        kit.check(lines.next("font") == "styled", "the probe did not change the font")

        def larger():
            shot = desktop.shot(COUNTDOWN)
            rows = text_rows(shot, RED)
            if len(rows) > len(rows_before) + 10 and all(
                    pixels_of(shot, RED, b) > 20 for b in BANDS):
                return shot
            return None
        kit.wait_for("the lines drawn larger in the same colour", larger)
        print("PASS")
        return 0
    except kit.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        if process:
            try:
                process.stdin.close()
            except OSError:
                pass
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                kit.kill_process(process, group=True)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    if not os.access(argv[1], os.X_OK):
        print("FAIL: %s is missing" % argv[1])
        return 1
    for tool in ("Xvfb", "openbox", "tint2"):
        if not shutil.which(tool):
            return kit.skip("%s is not installed" % tool)
    return run(argv[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
