#!/usr/bin/python3
"""The real program powers off at the right second, armed through its window.

    power_desktop_test.py DALVENOR_BINARY

On its own virtual desktop (Xvfb, openbox, tint2) and its own D-Bus system bus with
python3-dbusmock's logind template, starts Dalvenor, opens "附加功能" from the tray menu,
chooses tab "定时关机" and 方式二, types "x8" into the seconds box (the key filter keeps
"8") and presses "开始执行"; then checks that logind was asked CanPowerOff at arming and
PowerOff(false) exactly once, 8 to 9 seconds after the click, and nothing else (no reboot, no
session ended). Closing the window before the moment must not matter: it is closed right after
arming.

The machine's own system bus is never used (see power_desktop.py). Everything started here is
stopped at the end, also on failure.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402

COUNTDOWN_SECONDS = 8


skip = kit.skip_now


def mock_python():
    """An interpreter with dbusmock, dbus and Xlib: Debian's packages live beside the system's
    own, which may not be the first python3 on the PATH."""
    for candidate in (sys.executable, "/usr/bin/python3", "python3"):
        probe = subprocess.run([candidate, "-c", "import dbusmock, dbus, Xlib"],
                               capture_output=True)
        if probe.returncode == 0:
            return candidate
    return None


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    if not os.access(program, os.X_OK):
        skip("the program is not built: " + program)
    for tool in ("Xvfb", "openbox", "tint2", "xdotool", "dbus-daemon"):
        if not shutil.which(tool):
            skip(tool + " is missing (scripts/install_deps.sh)")
    python = mock_python()
    if python is None:
        skip("python3-dbusmock, python3-dbus and python3-xlib are needed")
    if python != sys.executable:
        # Run again under the interpreter that has the modules.
        os.execv(python, [python, os.path.abspath(__file__), program])

    from power_desktop import (Desktop, Failure, LogindMock, VirtualDesktop, arm_countdown,
                               check, open_addins, start_program, stop_process, tab_point,
                               wait_for)

    # A time-out of the test runner ends this process with SIGTERM: clean up as on failure.
    kit.exit_on_sigterm(1)
    folder = tempfile.mkdtemp(prefix="dalvenor-power-")
    logind = LogindMock(folder, python)
    desktop_proc = VirtualDesktop(folder)
    desktop = None
    program_proc = None
    try:
        logind.start()
        desktop_proc.start()
        desktop = Desktop(desktop_proc.display)
        # A portable copy in the test's folder: what the armed action saves stays there.
        program_proc = start_program(kit.portable_copy(program, os.path.join(folder, "program")),
                                     desktop, logind)
        window, rect = open_addins(desktop, program_proc)
        print("附加功能 at", rect)

        before, after = arm_countdown(desktop, window, tab_point(),
                                      {"TextSec": ["x", str(COUNTDOWN_SECONDS)]})
        # Asked at arming whether it may power off: the program talks to our mock.
        wait_for("CanPowerOff at arming", lambda: logind.calls("CanPowerOff"), timeout=20)
        check(not logind.calls("PowerOff"), "PowerOff at arming")
        desktop.close_window(window)
        wait_for("the window to hide", lambda: not desktop.is_viewable(window))

        calls = wait_for("PowerOff", lambda: logind.calls("PowerOff"),
                         timeout=COUNTDOWN_SECONDS + 60)
        stamp, args = calls[0]
        print("PowerOff%s at +%.1f s (click at %.1f..%.1f)" % (tuple(args), stamp - before,
                                                                before, after))
        check(args == [False], "PowerOff arguments %r: interactive must be false" % (args,))
        # The request comes on tick N+1: N to N+1 seconds after the click, on whole seconds
        # as the mock stamps them.
        check(int(before) + COUNTDOWN_SECONDS <= stamp <= int(after) + COUNTDOWN_SECONDS + 2,
              "PowerOff at %d, armed between %.2f and %.2f" % (stamp, before, after))
        # Nothing more: the count goes on below zero without asking again.
        time.sleep(3)
        check(len(logind.calls("PowerOff")) == 1, "PowerOff asked more than once")
        for other in ("Reboot", "TerminateSession", "KillSession", "Suspend"):
            check(not logind.calls(other), other + " was asked")
        check(program_proc.poll() is None, "the program ended")
        print("PASS")
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        if desktop is not None and shutil.which("xwd"):
            shot = os.path.join(tempfile.gettempdir(), "dalvenor-power-failure.xwd")
            subprocess.run(["xwd", "-root", "-silent", "-out", shot], env=desktop.env,
                           capture_output=True)
            print("screen kept in", shot)
        return 1
    finally:
        stop_process(program_proc)
        if desktop is not None:
            desktop.close()
        desktop_proc.stop()
        logind.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
