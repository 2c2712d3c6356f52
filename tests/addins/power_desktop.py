"""Driving Dalvenor's scheduled power action on a virtual desktop, with a logind mock.

Shared by the desktop test (power_desktop_test.py) and the benchmark: a private D-Bus system
bus with python3-dbusmock's logind template on it, the real program started with that bus as
its system bus, and "附加功能" opened through the tray menu and armed by clicks and keys.

The machine's own system bus is never used: the bus is a dbus-daemon listening on a socket in
a temporary folder, and every program started here gets DBUS_SYSTEM_BUS_ADDRESS pointing at
it. Nothing runs unless that holds.
"""

import os
import subprocess
import sys
import time

import dbus

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from desktop_kit import (Failure, VirtualDesktop, check, stop_process,  # noqa: E402,F401
                         wait_for)

LOGIN1 = "org.freedesktop.login1"
MANAGER_PATH = "/org/freedesktop/login1"
MOCK_INTERFACE = "org.freedesktop.DBus.Mock"

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>{address}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

# Seconds. Generous: desktop tests may share two busy cores with builds.
TIMEOUT = 30.0

# Design geometry of "定时关机" in twips, relative to the tab control (Frame1's children
# relative to Frame1); 15 twips to a pixel.
FRAME1 = (368, 600)
OPTION2 = (240, 960, 855, 255)
TEXT_BOXES = {"TextHour": (1200, 960, 450, 270), "TextMin": (2280, 960, 450, 270),
              "TextSec": (3240, 960, 450, 270)}
CMD_START = (2408, 2760, 1575, 495)


class LogindMock:
    """A private system bus in folder, with the logind template of python3-dbusmock on it."""

    def __init__(self, folder, python):
        self.folder = os.path.realpath(folder)
        self.address = "unix:path=" + os.path.join(self.folder, "system_bus")
        self.python = python
        self.daemon = None
        self.mock = None
        self.bus = None

    def start(self):
        config = os.path.join(self.folder, "bus.conf")
        with open(config, "w", encoding="utf-8") as f:
            f.write(BUS_CONFIG.format(address=self.address))
        self.daemon = subprocess.Popen(
            ["dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        printed = self.daemon.stdout.readline().strip()
        check(printed.startswith(self.address), "dbus-daemon printed %r" % printed)
        self.bus = dbus.bus.BusConnection(self.address)
        self.mock = subprocess.Popen(
            [self.python, "-m", "dbusmock", "--template", "logind"],
            env=self.environment(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the logind mock on the private bus",
                 lambda: self.bus.name_has_owner(LOGIN1) or self.mock.poll() is not None)
        check(self.mock.poll() is None, "the logind mock ended at start")

    def environment(self, base=None):
        """base (default: this process's environment) with the private bus as the system bus
        and no session bus."""
        env = dict(os.environ if base is None else base)
        env["DBUS_SYSTEM_BUS_ADDRESS"] = self.address
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        # Refuse anything else: these programs may ask logind to power off.
        check(env["DBUS_SYSTEM_BUS_ADDRESS"].startswith("unix:path=" + self.folder + os.sep),
              "not the private bus")
        return env

    def calls(self, method):
        """[(timestamp in whole seconds, [arguments])] of the calls of a manager method."""
        mock = self.bus.get_object(LOGIN1, MANAGER_PATH)
        return [(int(stamp), list(args)) for stamp, args in
                mock.GetMethodCalls(method, dbus_interface=MOCK_INTERFACE)]

    def stop(self):
        stop_process(self.mock)
        if self.bus is not None:
            self.bus.close()
        stop_process(self.daemon)


# X look-ups and xdotool input on one display.
Desktop = kit.XSession


def start_program(program, desktop, logind):
    env = logind.environment(dict(desktop.env, QT_QPA_PLATFORM="xcb"))
    return subprocess.Popen([program], cwd=os.path.dirname(program), env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def open_addins(desktop, program_proc):
    """Opens "附加功能" through the tray menu (right click, then its mnemonic D); gives the
    window and its rectangle."""
    return tray_kit.choose(desktop, "附加功能", lambda: desktop.top_level("附加功能"), key="d",
                           program=program_proc)


def tab_point():
    """Where the caption of tab 1 "定时关机" is, in window coordinates: the tab row starts at
    the left edge and tab 0 "小日历" is three characters wide."""
    return (int(os.environ.get("POWER_TAB_X", "90")), int(os.environ.get("POWER_TAB_Y", "10")))


def twips_centre(rect, offset=(0, 0)):
    left, top, width, height = rect
    return (round((offset[0] + left + width / 2) / 15), round((offset[1] + top + height / 2) / 15))


def arm_countdown(desktop, window, tab_point, keys):
    """On the open "附加功能": tab "定时关机", 方式二, each of TextHour, TextMin, TextSec
    cleared and typed with its keys (xdotool key names, "0" when not given), then "开始执行".
    Gives the wall time just before and after the click."""
    def click(point):
        desktop.xdotool("mousemove", "--window", window.id, point[0], point[1], "click", "1")

    click(tab_point)
    # The tab's controls are laid out in the tab control's coordinates, which start at the
    # window's client origin.
    click(twips_centre(OPTION2, FRAME1))
    for name in ("TextHour", "TextMin", "TextSec"):
        click(twips_centre(TEXT_BOXES[name], FRAME1))
        desktop.xdotool("key", "--clearmodifiers", "ctrl+a", *keys.get(name, ["0"]))
    before = time.time()
    click(twips_centre(CMD_START))
    after = time.time()
    return before, after
