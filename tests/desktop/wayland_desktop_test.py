#!/usr/bin/python3
"""The program in a Wayland session that also offers an X display (XWayland's place).

    wayland_desktop_test.py DALVENOR_BINARY

Starts a headless Wayland compositor (weston) for a real WAYLAND_DISPLAY, says the session is
a Wayland one (XDG_SESSION_TYPE=wayland), leaves QT_QPA_PLATFORM unset, and with Qt's
Wayland platform plugin installed runs the overlay checks of overlay_desktop_test.py on the
virtual X desktop: the program must choose X11 itself, so that its countdown is the same
click-through, colour-keyed, unmanaged overlay as in an X11 session. Then checks that a
running compositor with no X display at all gives the bilingual message and status 1.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
import overlay_desktop_test as overlay  # noqa: E402

SOCKET = "dalvenor-wayland-test"


def wayland_plugin_installed():
    return bool(glob.glob("/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so"))


class Compositor:
    def __init__(self, workdir):
        self.workdir = workdir
        self.process = None

    def start(self):
        runtime = os.environ.get("XDG_RUNTIME_DIR")
        if not runtime or not os.path.isdir(runtime):
            runtime = os.path.join(self.workdir, "runtime")
            os.makedirs(runtime, mode=0o700, exist_ok=True)
            os.environ["XDG_RUNTIME_DIR"] = runtime
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        self.log = open(os.path.join(self.workdir, "weston.log"), "w")
        self.process = subprocess.Popen(
            ["weston", "--backend=headless-backend.so", "--socket=" + SOCKET, "--idle-time=0",
             "--width=1280", "--height=800"],
            env=env, stdout=self.log, stderr=subprocess.STDOUT)
        socket_path = os.path.join(runtime, SOCKET)
        kit.wait_for("the Wayland compositor's socket",
                         lambda: os.path.exists(socket_path) or self.process.poll() is not None)
        if self.process.poll() is not None:
            with open(os.path.join(self.workdir, "weston.log")) as log:
                raise kit.Failure("weston ended: " + log.read()[-2000:])

    def stop(self):
        kit.stop_process(self.process)
        if self.process:
            self.log.close()


def run_without_x_display(binary):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("QT_QPA_PLATFORM", None)
    out = subprocess.run([binary], env=env, capture_output=True, timeout=60, check=False)
    err = out.stderr.decode("utf-8", "replace")
    kit.check(out.returncode == 1,
                  "without an X display the program ended with %d: %s" % (out.returncode, err))
    kit.check("无法连接 X 显示" in err and "cannot connect to an X display" in err,
                  "no clear message without an X display: %r" % err)


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    binary = argv[1]
    if not os.access(binary, os.X_OK):
        return kit.skip("%s is not built" % binary)
    for tool in ("weston", "xdotool", "Xvfb", "openbox", "tint2"):
        if not shutil.which(tool):
            return kit.skip("%s is not installed" % tool)
    if not wayland_plugin_installed():
        return kit.skip("Qt's Wayland platform plugin (qt6-wayland) is not installed")

    workdir = tempfile.mkdtemp(prefix="wayland-test.", dir=os.environ.get("TMPDIR"))
    compositor = Compositor(workdir)
    try:
        # A portable copy in the test's folder: whatever it writes stays there.
        binary = kit.portable_copy(binary, os.path.join(workdir, "program"))
        compositor.start()
        os.environ["WAYLAND_DISPLAY"] = SOCKET
        os.environ["XDG_SESSION_TYPE"] = "wayland"
        run_without_x_display(binary)

        # The overlay checks set QT_QPA_PLATFORM=xcb for their programs once the desktop is
        # up; here the program must find its way to X11 without it.
        start = overlay.Desktop.start

        def start_without_platform(self):
            start(self)
            os.environ.pop("QT_QPA_PLATFORM", None)

        overlay.Desktop.start = start_without_platform
        status = overlay.run("program", binary)
        if status == 0:
            print("PASS: the Wayland session's program drew its overlay through X11")
        return status
    except kit.Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        compositor.stop()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
