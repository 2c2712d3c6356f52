#!/usr/bin/python3
"""Controls found by what a screen reader reads, for desktop tests that must press a button
without aiming at a point of the screen: over AT-SPI, on a session bus of the test's own.

    atspi_kit.py buses
        Starts a session bus and the accessibility bus on it; prints
        DBUS_SESSION_BUS_ADDRESS=... once both answer, then runs until its input closes and
        stops them. A program started with that address and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
        is then readable by `press`.

    atspi_kit.py press ADDRESS PID WINDOW PAGE MARKER BUTTON
        In the window titled WINDOW of process PID, selects the tab titled PAGE and presses
        the push button named BUTTON on it. Nothing is pressed unless the label MARKER, which
        only that page has, shows (before the press and right before it) and exactly one such
        button shows: a test never presses a button of another page by mistake, whatever
        state the window is in. Exit status 0 when pressed, 1 otherwise, with the reason.

The bus never reaches the user's own session, and the system bus is left as the test runner
set it.
"""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop_kit as kit  # noqa: E402
from desktop_kit import Failure  # noqa: E402,F401

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
TIMEOUT = 60.0
# Each step of a press: together well inside the minute a caller gives the whole press.
STEP = 10.0
# Never pressed through here, and nothing is pressed while one shows: the power tab's control.
POWER_CONTROLS = ("开始执行",)


def wait_for(what, condition, timeout=TIMEOUT):
    """Polls condition() until it returns something true; an accessible object that went away
    while it was read counts as a false answer."""
    return kit.wait_for(what, condition, timeout, interval=0.2, tolerate_errors=True)


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def descendants(node):
    found, pending = [], [node]
    while pending:
        for child in children(pending.pop()):
            if child is not None:
                found.append(child)
                pending.append(child)
    return found


def program_app(pyatspi, pid):
    for app in children(pyatspi.Registry.getDesktop(0)):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def window_named(app, name):
    for window in children(app):
        if window is not None and window.name == name:
            return window
    return None


def do_press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if not names:
        raise Failure("%r offers no action" % node.name)
    action.doAction(names.index("Press") if "Press" in names else 0)


def showing(pyatspi, node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def press(pid, window_title, page, marker, button):
    import pyatspi  # reads DBUS_SESSION_BUS_ADDRESS when imported

    app = wait_for("process %d on the accessibility bus" % pid,
                   lambda: program_app(pyatspi, pid), STEP)
    window = wait_for("the window " + window_title, lambda: window_named(app, window_title), STEP)

    seen = {}

    def tab():
        tabs = [node for node in descendants(window) if node.getRole() == pyatspi.ROLE_PAGE_TAB]
        seen["tabs"] = [node.name for node in tabs]
        found = [node for node in tabs if node.name == page]
        return found[0] if len(found) == 1 else None

    try:
        page_tab = wait_for("the tab " + page, tab, STEP)
    except Failure as failure:
        raise Failure("%s (tabs: %r)" % (failure, seen.get("tabs")))
    do_press(page_tab)

    # Which page shows is read from the page itself: Qt marks the current tab as focused, not
    # selected, and a focus can move. The page's own label must show before anything is
    # pressed, and again right before.
    def marker_shows():
        labels = [node.name for node in descendants(window)
                  if node.getRole() == pyatspi.ROLE_LABEL and showing(pyatspi, node)]
        seen["labels"] = labels
        return marker in labels

    try:
        wait_for("the page %s to show (its label %s)" % (page, marker), marker_shows, STEP)
    except Failure as failure:
        raise Failure("%s (labels showing: %r)" % (failure, seen.get("labels")))

    def the_button():
        buttons = [node for node in descendants(window)
                   if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and showing(pyatspi, node)]
        seen["buttons"] = [node.name for node in buttons]
        found = [node for node in buttons if node.name == button]
        return found[0] if len(found) == 1 else None

    try:
        target = wait_for("one button %s showing on %s" % (button, page), the_button, STEP)
    except Failure as failure:
        raise Failure("%s (buttons: %r)" % (failure, seen.get("buttons")))
    if not marker_shows():
        raise Failure("the page %s no longer shows" % page)
    if button in POWER_CONTROLS or set(seen["buttons"]) & set(POWER_CONTROLS):
        raise Failure("a power control shows (%r): nothing is pressed" % seen["buttons"])
    do_press(target)


def start_buses(processes, env):
    """A session bus of the test's own and the accessibility bus registered on it, started
    through processes (a desktop_kit.Processes, which stops them with what they started);
    gives the session bus's address once both answer."""
    bus = processes.start(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                           "--print-address=1"], stdout=subprocess.PIPE, env=env)
    address = bus.stdout.readline().decode().strip()
    if not address:
        raise Failure("the session bus did not start")
    env = dict(env, DBUS_SESSION_BUS_ADDRESS=address)
    processes.start([BUS_LAUNCHER, "--launch-immediately"], env=env,
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def a11y_bus():
        out = subprocess.run(["dbus-send", "--session", "--print-reply",
                              "--dest=org.a11y.Bus", "/org/a11y/bus",
                              "org.a11y.Bus.GetAddress"], env=env, capture_output=True,
                             text=True, timeout=TIMEOUT, check=False)
        return out.returncode == 0 and "unix:" in out.stdout

    wait_for("the accessibility bus", a11y_bus)
    return address


def run_buses():
    """The session bus and the accessibility bus, until the input closes."""
    processes = kit.Processes()
    kit.exit_on_sigterm(0)
    try:
        address = start_buses(processes, dict(os.environ))
        print("DBUS_SESSION_BUS_ADDRESS=" + address, flush=True)
        sys.stdin.read()
        return 0
    finally:
        processes.stop_all()


def main(argv):
    try:
        if len(argv) == 2 and argv[1] == "buses":
            return run_buses()
        if len(argv) == 8 and argv[1] == "press":
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = argv[2]
            press(int(argv[3]), argv[4], argv[5], argv[6], argv[7])
            return 0
    except Failure as failure:
        print("atspi_kit: %s" % failure, file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
