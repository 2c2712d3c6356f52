#!/usr/bin/python3
"""Reads the countdown the way a screen reader does: over AT-SPI, on a virtual desktop.

    countdown_atspi_test.py DALVENOR_BINARY

Starts its own virtual desktop (Xvfb, openbox, tint2), a session bus and the accessibility
bus on it, and the program with a countdown file whose lines it knows, with Qt's bridge
switched on. Checks, through the accessibility bus only:
  - the program offers a window named "Dalvenor" whose labels are the three lines: the first
    line of the countdown file, the countdown (the file's second line, then the days left),
    and a tip from the tips file;
  - the countdown's name keeps its text through a minute and changes at the next one;
  - after the first line is changed in "附加功能" (opened through the tray menu, the text
    typed over AT-SPI, "确认" pressed), the window of the reloaded countdown says the new
    first line.
Every wait polls a condition with a generous time limit. Everything the test started is
stopped at the end, on failure too; the program runs from a copy in a temporary folder, so
that what it writes stays there.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import importlib.util
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import atspi_kit as atspi  # noqa: E402
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from atspi_kit import children, descendants, program_app, wait_for, window_named  # noqa: E402
from desktop_kit import Failure, check  # noqa: E402,F401

BUS_LAUNCHER = atspi.BUS_LAUNCHER

FIRST_LINE = "无障碍测试第一行"
PREFIX = "离考试还有："
NEW_FIRST_LINE = "改过的第一行"
# Far ahead, so that the countdown runs whatever the date.
COUNTDOWN_FILE = [FIRST_LINE, PREFIX, "6/7/2099", "9:00:00 AM"]
TIPS = ["第一条无障碍测试提示", "第二条无障碍测试提示"]

# Seconds. Generous: the machine may be busy with other desktop tests.
TIMEOUT = 60.0


def line_names(pyatspi, window):
    roles = {pyatspi.ROLE_LABEL, getattr(pyatspi, "ROLE_STATIC", pyatspi.ROLE_LABEL)}
    labels = [child for child in children(window)
              if child is not None and child.getRole() in roles]
    # Top to bottom, as they stand on the desktop.
    labels.sort(key=lambda label: label.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y)
    return [label.name for label in labels]


def check_lines(pyatspi, app, first_line):
    def lines():
        window = window_named(app, "Dalvenor")
        if window is None:
            return None
        names = line_names(pyatspi, window)
        if (len(names) == 3 and names[0] == first_line and names[1].startswith(PREFIX)
                and "天" in names[1] and names[2] in TIPS):
            return names
        lines.last = names
        return None

    lines.last = None
    try:
        return wait_for("the countdown's three lines", lines)
    except Failure:
        raise Failure("the window \"Dalvenor\" reads %r, not the first line %r, the countdown "
                      "and a tip" % (lines.last, first_line))


def check_countdown_each_minute(pyatspi, app):
    """The countdown's name keeps one text through a wall-clock minute (a screen reader is not
    told of every second) and gets the next at the start of the next minute."""
    def countdown():
        return line_names(pyatspi, window_named(app, "Dalvenor"))[1]

    # Clear of a minute's start, so that the first reading is already this minute's.
    wait_for("a few seconds past a minute's start", lambda: time.time() % 60 >= 3, timeout=10)
    first = countdown()
    boundary = (time.time() // 60 + 1) * 60
    changed = wait_for("the countdown's name to change at the next minute",
                       lambda: (lambda name: (name, time.time()) if name != first else None)
                       (countdown()), timeout=boundary - time.time() + 15)
    # A second's slack for the two clocks' readings.
    check(changed[1] >= boundary - 1, "the countdown's name changed from %r to %r within one "
          "minute, %.1f s before the next" % (first, changed[0], boundary - changed[1]))


def open_addins(app, program):
    """Opens "附加功能" through the tray menu: a right click, then the item's mnemonic D."""
    session = kit.XSession(os.environ["DISPLAY"])
    try:
        return tray_kit.choose(session, "附加功能", lambda: window_named(app, "附加功能"),
                               key="d", program=program, timeout=2 * TIMEOUT, wait=10)
    finally:
        session.close()


def change_first_line(pyatspi, addins, old, new):
    """Types the new first line into the custom countdown's box that holds the old one and
    presses that page's "确认"."""
    def box():
        for node in descendants(addins):
            try:
                text = node.queryText()
            except NotImplementedError:
                continue
            if node.getRole() != pyatspi.ROLE_LABEL and text.getText(0, -1) == old:
                return node
        return None

    edit = wait_for("the box holding the first line", box)
    check(edit.queryEditableText().setTextContents(new), "the first line could not be typed")
    page = edit.parent
    buttons = [node for node in descendants(page)
               if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == "确认"]
    check(len(buttons) == 1, "%d buttons \"确认\" beside the first line" % len(buttons))
    atspi.do_press(buttons[0])


def run(binary):
    workdir = tempfile.mkdtemp(prefix="atspi-test.", dir=os.environ.get("TMPDIR"))
    processes = kit.Processes()
    desktop = kit.VirtualDesktop(workdir)
    try:
        os.environ["DISPLAY"] = desktop.start()
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = atspi.start_buses(processes, dict(os.environ))
        import pyatspi  # connects to the session bus named above

        # A copy of the program with its files: whatever it saves stays in the folder.
        program_dir = os.path.join(workdir, "bin")
        program_path = kit.portable_copy(binary, program_dir, files=())
        kit.write_lines(os.path.join(program_dir, "countdown.ini"), COUNTDOWN_FILE)
        kit.write_lines(os.path.join(program_dir, "ral.txt"), TIPS)

        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        program = processes.start([program_path], cwd=program_dir, env=env)
        app = wait_for("the program on the accessibility bus",
                       lambda: program_app(pyatspi, program.pid))
        check_lines(pyatspi, app, FIRST_LINE)
        check_countdown_each_minute(pyatspi, app)

        addins = open_addins(app, program)
        change_first_line(pyatspi, addins, FIRST_LINE, NEW_FIRST_LINE)
        check_lines(pyatspi, app, NEW_FIRST_LINE)
        check(program.poll() is None, "the program ended")
        # Neither the start nor 附加功能 (with its power tab) asked the system bus anything.
        kit.check_no_system_bus("after 附加功能 was opened and used")
        print("PASS: the countdown reads the same over AT-SPI, before and after the change")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        processes.stop_all()
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


skip = kit.skip


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    binary = argv[1]
    if not os.access(binary, os.X_OK):
        return skip("%s is not built" % binary)
    for tool in ("xdotool", "Xvfb", "openbox", "tint2", "dbus-daemon", "dbus-send",
                 BUS_LAUNCHER):
        if not shutil.which(tool):
            return skip("%s is not installed" % tool)
    # Not imported yet: it must find the test's own buses.
    if importlib.util.find_spec("pyatspi") is None:
        return skip("python3-pyatspi is not installed")
    return run(binary)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
