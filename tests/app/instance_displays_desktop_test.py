#!/usr/bin/python3
"""One running program per desktop session: two displays of one user, two countdowns.

    instance_displays_desktop_test.py DALVENOR_BINARY

Starts two virtual desktops (Xvfb, openbox, tint2) on two displays. Both programs see the same
HOME and XDG_RUNTIME_DIR, as two logins of one user do. Checks:
  - a portable copy of the program started on each display runs there, each with its own
    countdown overlay: neither hands over to the other;
  - a second start on the first display ends at once with status 0, and the program of the
    first display opens its menu there, while the second display gets no menu;
  - the same the other way round;
  - SIGTERM ends both with status 0.
Every wait polls a condition with a generous time limit; everything started is stopped, also
on failure.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

from Xlib import X, display as xdisplay, error as xerror

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import desktop_kit as kit  # noqa: E402
from desktop_kit import Failure, check, wait_for  # noqa: E402

TIMEOUT = 60.0
TITLE = "Dalvenor"


def program_windows(name):
    """The program's viewable unmanaged windows on display name: its countdown overlay and,
    while open, its menu. {window id: (width, height)}."""
    d = xdisplay.Display(name)
    found = {}
    try:
        for window in d.screen().root.query_tree().children:
            try:
                attributes = window.get_attributes()
                if not attributes.override_redirect or attributes.map_state != X.IsViewable:
                    continue
                wm_class = " ".join(window.get_wm_class() or ()).lower()
                if "dalvenor" not in wm_class:
                    continue
                geometry = window.get_geometry()
                found[window.id] = (geometry.width, geometry.height)
            except xerror.XError:
                continue  # gone meanwhile
    finally:
        d.close()
    return found


def overlay_on(name):
    """The countdown overlay: the program's window titled "Dalvenor" on that display."""
    d = xdisplay.Display(name)
    try:
        ids = {window.id for window in kit.overlay_windows(d, TITLE, min_width=0)}
    finally:
        d.close()
    return ids & set(program_windows(name))


def start_again(program_path, program_dir, env):
    out = subprocess.run([program_path], cwd=program_dir, env=env, capture_output=True,
                         timeout=TIMEOUT, check=False)
    check(out.returncode == 0, "a second start ended with %d: %s"
          % (out.returncode, out.stderr.decode("utf-8", "replace")))


def check_hand_over(to, other, program_path, program_dir):
    """A second start on display to opens the menu of that display's program only."""
    before_to = set(program_windows(to["display"]))
    before_other = set(program_windows(other["display"]))
    subprocess.run(["xdotool", "mousemove", "300", "200"],
                   env=dict(os.environ, DISPLAY=to["display"]), check=True, timeout=TIMEOUT)
    start_again(program_path, program_dir, to["env"])
    wait_for("the menu on %s" % to["display"],
             lambda: set(program_windows(to["display"])) - before_to, timeout=TIMEOUT)
    check(to["process"].poll() is None and other["process"].poll() is None,
          "a program ended at the hand-over")
    check(set(program_windows(other["display"])) == before_other,
          "the start on %s opened something on %s" % (to["display"], other["display"]))
    # The menu goes away again, so that the next check starts from the overlay alone.
    subprocess.run(["xdotool", "key", "Escape"], env=dict(os.environ, DISPLAY=to["display"]),
                   check=False, timeout=TIMEOUT)
    wait_for("the menu on %s to close" % to["display"],
             lambda: set(program_windows(to["display"])) == before_to, timeout=TIMEOUT)


def run(binary):
    workdir = tempfile.mkdtemp(prefix="instance-displays-test.", dir=os.environ.get("TMPDIR"))
    desktops = []
    sessions = []
    try:
        program_dir = os.path.join(workdir, "bin")
        program_path = kit.portable_copy(binary, program_dir, files=())
        kit.write_lines(os.path.join(program_dir, "countdown.ini"),
                        ["第一行", "还有：", "6/7/2099", "9:00:00 AM"])
        kit.write_lines(os.path.join(program_dir, "ral.txt"), ["提示"])

        for index in range(2):
            folder = os.path.join(workdir, "desktop%d" % index)
            os.makedirs(folder)
            desktop = kit.VirtualDesktop(folder)
            desktops.append(desktop)
            name = desktop.start()
            # Same home and runtime folder for both; no login session id to tell them apart.
            env = dict(os.environ, DISPLAY=name, QT_QPA_PLATFORM="xcb")
            env.pop("XDG_SESSION_ID", None)
            env.pop("DBUS_SESSION_BUS_ADDRESS", None)
            sessions.append({"display": name, "env": env})
        check(sessions[0]["display"] != sessions[1]["display"], "both desktops on one display")

        for session in sessions:
            session["process"] = subprocess.Popen([program_path], cwd=program_dir,
                                                  env=session["env"])
            wait_for("the countdown on %s" % session["display"],
                     lambda: overlay_on(session["display"]), timeout=TIMEOUT)
        for session in sessions:
            check(session["process"].poll() is None,
                  "the program on %s ended (it handed over to the other display)"
                  % session["display"])
        runtime = os.environ.get("XDG_RUNTIME_DIR", "")
        locks = [n for n in os.listdir(runtime) if n.startswith("Dalvenor-") and
                 n.endswith(".lock")] if runtime else []
        check(len(locks) == 2, "one lock per display expected, found %r" % locks)

        check_hand_over(sessions[0], sessions[1], program_path, program_dir)
        check_hand_over(sessions[1], sessions[0], program_path, program_dir)

        for session in sessions:
            os.kill(session["process"].pid, signal.SIGTERM)
        for session in sessions:
            try:
                status = session["process"].wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                raise Failure("the program on %s did not end" % session["display"])
            check(status == 0, "SIGTERM ended the program on %s with %d"
                  % (session["display"], status))
        print("PASS: one countdown per display; a second start hands over on its own display")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        for session in sessions:
            kit.stop_process(session.get("process"))
        for desktop in desktops:
            desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    return kit.program_driver(argv, run, doc=__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
