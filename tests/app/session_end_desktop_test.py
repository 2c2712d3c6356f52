#!/usr/bin/python3
"""The end of the session stores the countdown's colour, as "退出(&E)" does.

    session_end_desktop_test.py DALVENOR_BINARY

Starts its own virtual desktop (Xvfb, openbox, tint2), a session bus with the accessibility
bus, and a portable copy of the program in a temporary folder. For each of SIGTERM (what a
session manager sends at log-out) and SIGHUP (the session's terminal going away):
  - opens 显示设置 from the tray menu and 字体颜色 by a click on its button, types a new
    colour into the colour dialog and confirms it with Return, as a user would;
  - sends the signal to the program, waits for it to end with status 0 and checks that
    "Dalvenor.ini" holds the new ForeColor (&H00BBGGRR).
Every wait polls a condition with a generous time limit. Everything the test started is
stopped at the end, on failure too.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import importlib.util
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import atspi_kit as at  # noqa: E402  (buses, the accessible tree)
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from atspi_kit import wait_for  # noqa: E402
from desktop_kit import Failure, check, xdotool  # noqa: E402

TIMEOUT = at.TIMEOUT
# Far ahead, so that the countdown runs whatever the date.
COUNTDOWN_FILE = ["会话结束测试", "离考试还有：", "6/7/2099", "9:00:00 AM"]
TIPS = ["会话结束测试提示"]
HTML_COLOUR = re.compile(r"^#[0-9a-fA-F]{6}$")
# Signal, colour typed into the dialog, ForeColor stored (&H00BBGGRR).
ROUNDS = [
    (signal.SIGTERM, "#ff0000", 0x0000FF),
    (signal.SIGHUP, "#00c000", 0x00C000),
]


def centre(pyatspi, node):
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    check(extents.width > 0 and extents.height > 0, "%r has no size on the screen" % node.name)
    return extents.x + extents.width // 2, extents.y + extents.height // 2


def open_display_settings(app, program):
    """显示设置 through the tray menu: a right click on the icon, then the item's key W."""
    session = kit.XSession(os.environ["DISPLAY"])
    try:
        return tray_kit.choose(session, "显示设置", lambda: at.window_named(app, "显示设置"),
                               key="w", program=program, timeout=2 * TIMEOUT, wait=10)
    finally:
        session.close()


def colour_entry(pyatspi, app):
    """The colour dialog's HTML box: a text box of the program holding #rrggbb."""
    for window in at.children(app):
        if window is None:
            continue
        for node in at.descendants(window):
            try:
                if node.getRole() != pyatspi.ROLE_TEXT:
                    continue
                text = node.queryText().getText(0, -1)
            except (NotImplementedError, Exception):
                continue
            if HTML_COLOUR.match(text):
                return node
    return None


def retried(what, act, done, timeout=TIMEOUT, each=5):
    """act() until done() answers something true within each seconds: a window just mapped
    may still be moved by the window manager, so a click computed from its place is tried
    again rather than once."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        act()
        try:
            return wait_for(what, done, timeout=each)
        except Failure:
            continue
    raise Failure("timed out waiting for " + what)


def pick_colour(pyatspi, app, settings, colour):
    buttons = [node for node in at.descendants(settings)
               if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == "字体颜色"]
    check(len(buttons) == 1, "%d buttons \"字体颜色\" in 显示设置" % len(buttons))

    def click_button():
        # Once the dialog is open it holds the input: a further click goes nowhere.
        if colour_entry(pyatspi, app) is None:
            xdotool("mousemove", *centre(pyatspi, buttons[0]), "click", 1)

    entry = retried("the colour dialog", click_button, lambda: colour_entry(pyatspi, app))

    def type_colour():
        xdotool("mousemove", *centre(pyatspi, entry), "click", 1)
        xdotool("key", "ctrl+a")
        xdotool("type", "--delay", 30, colour)

    retried("%s in the colour box" % colour, type_colour,
            lambda: entry.queryText().getText(0, -1).lower() == colour)
    xdotool("key", "Return")
    wait_for("the colour dialog to close", lambda: colour_entry(pyatspi, app) is None)


def stored_colour(ini):
    if not os.path.exists(ini):
        return None
    section = None
    with open(ini, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                section = line.strip("[]")
            elif section == "frmMain" and line.startswith("ForeColor="):
                return int(line.split("=", 1)[1])
    return None


def run(binary):
    workdir = tempfile.mkdtemp(prefix="session-end-test.", dir=os.environ.get("TMPDIR"))
    processes = kit.Processes()
    desktop = kit.VirtualDesktop(workdir)
    config = os.environ.get("XDG_CONFIG_HOME") or os.path.join(os.environ["HOME"], ".config")
    ini = os.path.join(config, "Dalvenor", "Dalvenor.ini")
    try:
        os.environ["DISPLAY"] = desktop.start()
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = at.start_buses(processes, dict(os.environ))
        import pyatspi  # connects to the session bus named above

        # A copy of the program with its files: whatever it saves stays in the folder.
        program_dir = os.path.join(workdir, "bin")
        program_path = kit.portable_copy(binary, program_dir, files=())
        kit.write_lines(os.path.join(program_dir, "countdown.ini"), COUNTDOWN_FILE)
        kit.write_lines(os.path.join(program_dir, "ral.txt"), TIPS)
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")

        for signum, colour, fore in ROUNDS:
            name = signal.Signals(signum).name
            check(stored_colour(ini) != fore, "ForeColor=%d before %s" % (fore, name))
            program = processes.start([program_path], cwd=program_dir, env=env,
                                      stderr=subprocess.PIPE)
            app = wait_for("the program on the accessibility bus",
                           lambda: at.program_app(pyatspi, program.pid))
            settings = open_display_settings(app, program)
            pick_colour(pyatspi, app, settings, colour)
            check(program.poll() is None, "the program ended after the colour change")
            # Nothing is stored before the end: the file still has the old colour.
            check(stored_colour(ini) != fore, "the colour was stored before %s" % name)

            os.kill(program.pid, signum)
            try:
                status = program.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                raise Failure("the program did not end after %s" % name)
            errors = program.stderr.read().decode("utf-8", "replace")
            check(status == 0, "%s ended the program with %d: %s" % (name, status, errors))
            check(stored_colour(ini) == fore, "after %s Dalvenor.ini holds ForeColor=%r, not %d"
                  % (name, stored_colour(ini), fore))
            print("ok: %s stored ForeColor=%d" % (name, fore))
        print("PASS: the end of the session stores the colour picked in 显示设置")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        processes.stop_all()
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    binary = argv[1]
    if not os.access(binary, os.X_OK):
        return kit.skip("%s is not built" % binary)
    for tool in ("xdotool", "Xvfb", "openbox", "tint2", "dbus-daemon", "dbus-send",
                 at.BUS_LAUNCHER):
        if not shutil.which(tool):
            return kit.skip("%s is not installed" % tool)
    if importlib.util.find_spec("pyatspi") is None:
        return kit.skip("python3-pyatspi is not installed")
    return run(binary)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
