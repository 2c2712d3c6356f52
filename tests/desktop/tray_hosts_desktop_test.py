#!/usr/bin/python3
"""The tray icon with real notification areas, whichever starts first.

    tray_hosts_desktop_test.py DALVENOR_BINARY CASE

CASE is one of
  sni-panel-first     lxqt-panel (StatusNotifierItem only) running before the program;
  sni-program-first   lxqt-panel started once the program runs, as at a login with 开机启动;
  tint2-panel-first   tint2 (XEmbed) running before the program;
  tint2-program-first tint2 started once the program runs;
  no-host             no notification area for longer than the grace period (shortened to a
                      second), then tint2.

The lxqt-panel cases run on a private session bus of their own (dbus-daemon, started here) with
a panel configuration in the test's home that holds only the statusnotifier plugin, on a
desktop whose XEmbed tray (tint2) is stopped. Checked in each case:
  - the icon is registered with the watcher (read over D-Bus) or docked in tint2;
  - the icon is drawn in the panel (pixels);
  - a real right-click on it opens a six-item menu (read by pixels), and "关于...(&A)" chosen
    there opens the about window;
  - for lxqt-panel: the menu the panel reads over dbusmenu holds every command, the 开机启动
    submenu too; 显示设置, 更换皮肤 and 附加功能 chosen there open their windows (附加功能
    closing the other two) and 开启/关闭 reach the autostart entry; after a panel restart the
    item is registered and drawn again, its menu still opens the about window, and 退出 ends
    the program with status 0 and takes the item off the watcher;
  - no notice window ("Dalvenor") ever appears; without any host, one notice appears after
    the grace period, away from the countdown (window rectangles), and goes when tint2 comes
    and docks the icon.
The program is a portable copy in a temporary folder. Every wait polls with a generous limit;
everything started is stopped, also on failure.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
import tray_kit  # noqa: E402
from desktop_kit import Failure, check, wait_for  # noqa: E402

CASES = ("sni-panel-first", "sni-program-first", "tint2-panel-first", "tint2-program-first",
         "no-host")
MENU_ITEMS = tray_kit.MENU_ITEMS
TITLE = "Dalvenor"
WATCHER = "org.kde.StatusNotifierWatcher"
# What the host's menu must offer: the six commands and the two of the submenu (dbusmenu
# writes the access key with "_").
MENU_LABELS = ("关于...(_A)", "显示设置...(_W)", "开机启动(_S)", "开启(_O)", "关闭(_C)",
               "更换皮肤...(_S)", "附加功能...(_D)", "退出(_E)")
PANEL_CONF = """[General]
panels=panel1

[panel1]
plugins=sni
position=Top
alignment=-1
lineCount=1
panelSize=32
iconSize=22

[sni]
type=statusnotifier
"""
# Left, top, width, height in twips (15 a pixel): 403 x 216 pixels, 10 pixels in from the top
# right corner of the 1280 x 800 screen.
COUNTDOWN_TOP_RIGHT_TWIPS = ((1280 - 403 - 10) * 15, 10 * 15, 6045, 3240)
# The program files a portable copy needs.
class SessionBus:
    """A private dbus-daemon for the test's session bus."""

    def __init__(self):
        self.process = None
        self.address = None

    def start(self):
        self.process = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.address = kit.Lines(self.process.stdout, "dbus-daemon").next("its address")
        check(self.address.startswith("unix:"), "dbus-daemon gave no address")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.address

    def send(self, *args, dest=WATCHER):
        out = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=" + dest,
                              *args], capture_output=True, text=True, timeout=kit.TIMEOUT)
        return out.stdout if out.returncode == 0 else None

    def registered_items(self):
        reply = self.send("/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                          "string:" + WATCHER, "string:RegisteredStatusNotifierItems")
        return re.findall(r'string "([^"]+)"', reply) if reply else []

    def has_watcher(self):
        reply = self.send("/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                          "string:" + WATCHER, dest="org.freedesktop.DBus")
        return bool(reply) and "boolean true" in reply

    def stop(self):
        kit.stop_process(self.process)
        os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)


def menu_layout(bus, item):
    """The labels and ids of the item's dbusmenu, as the host reads them."""
    service, path = item.split("/", 1)
    menu_path = bus.send("/" + path, "org.freedesktop.DBus.Properties.Get",
                         "string:org.kde.StatusNotifierItem", "string:Menu", dest=service)
    check(menu_path, "the item has no Menu property")
    found = re.search(r'object path "([^"]+)"', menu_path)
    check(found, "the Menu property is no object path: %r" % menu_path)
    layout = bus.send(found.group(1), "com.canonical.dbusmenu.GetLayout", "int32:0",
                      "int32:-1", "array:string:", dest=service)
    check(layout, "GetLayout failed")
    # Each entry: "int32 ID" then its properties, among them "label" -> "...".
    entries = []
    current = None
    lines = layout.splitlines()
    for i, line in enumerate(lines):
        number = re.search(r"struct \{\s*$", line)
        if number and i + 1 < len(lines):
            ident = re.match(r"\s*int32 (\d+)", lines[i + 1])
            if ident:
                current = int(ident.group(1))
        if 'string "label"' in line and i + 1 < len(lines) and current is not None:
            label = re.search(r'string "([^"]*)"', lines[i + 1])
            if label:
                entries.append((label.group(1), current))
    return service, found.group(1), entries


def click_over_dbusmenu(bus, service, menu_path, ident):
    reply = bus.send(menu_path, "com.canonical.dbusmenu.Event", "int32:%d" % ident,
                     "string:clicked", "variant:int32:0", "uint32:0", dest=service)
    check(reply is not None, "the menu's Event call failed")


def panel_windows(desktop, cls):
    """Viewable top-level windows (or frames' clients) of a WM_CLASS, with rectangles."""
    found = []
    for window, _name, _unmanaged, rect in kit.top_levels(desktop):
        clients = [window]
        try:
            clients += window.query_tree().children
        except Exception:  # gone meanwhile
            continue
        if any(cls in tray_kit.wm_class(client) for client in clients):
            found.append(rect)
    return found


def drawn_icon(desktop, panel_rect):
    """The bounding box of the pixels in the panel that differ from its background colour,
    when they are enough for an icon; else None."""
    x0, y0, w, h = panel_rect
    # The panel with its one plugin is a strip at the top; the icon sits in its left part.
    rect = (x0, y0, min(w, 200), min(h, 64))
    shot = desktop.shot(rect)
    counts = {}
    for point in shot.points():
        colour = shot.at(*point)
        counts[colour] = counts.get(colour, 0) + 1
    background = max(counts, key=counts.get)
    differing = [p for p in shot.points()
                 if sum(abs(a - b) for a, b in zip(shot.at(*p), background)) > 60]
    if len(differing) < 40:
        return None
    xs = [p[0] for p in differing]
    ys = [p[1] for p in differing]
    box = (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)
    return box if 8 <= box[2] <= 64 and 8 <= box[3] <= 64 else None


def docked_icon_rect(desktop):
    """The rectangle of the program's icon window inside tint2's window tree."""
    return tray_kit.docked_program_window(desktop.root)


def new_menu(desktop, known):
    """A new unmanaged window of the size of a six-item menu."""
    for window, _name, unmanaged, rect in kit.top_levels(desktop):
        if not unmanaged or window.id in known:
            continue
        if tray_kit.is_menu_size(rect):
            return rect
    return None


def open_menu_by_right_click(desktop, icon_rect):
    """Right-clicks the middle of the icon until a six-item menu shows; its rectangle."""
    centre = (icon_rect[0] + icon_rect[2] // 2, icon_rect[1] + icon_rect[3] // 2)

    def opened():
        known = {window.id for window, *_ in kit.top_levels(desktop)}
        subprocess.run(["xdotool", "mousemove", str(centre[0]), str(centre[1]), "click", "3"],
                       check=True, timeout=kit.TIMEOUT)
        try:
            rect = wait_for("a menu after the right-click", lambda: new_menu(desktop, known),
                            timeout=8)
        except Failure:
            # The host may not have taken the click yet (it maps the icon first); again.
            return None
        wait_for("six items in the menu at %r" % (rect,),
                 lambda: tray_kit.caption_lines(desktop.shot(rect), rect) == MENU_ITEMS)
        return rect

    return wait_for("the icon's menu", opened, timeout=kit.TIMEOUT * 2)


def close_about(desktop):
    """Asks the about window to close, as its title bar's close button does."""
    for wid in tray_kit.about_shown(desktop).split():
        kit.close_window(desktop.d, desktop.d.create_resource_object("window", int(wid)))
    wait_for("the about window to close", lambda: not tray_kit.about_shown(desktop))


def about_from_menu(desktop, icon_rect):
    rect = open_menu_by_right_click(desktop, icon_rect)
    tray_kit.click_item(rect, 0)
    wait_for("the about window opened from the host's menu", lambda: tray_kit.about_shown(desktop))
    close_about(desktop)


def check_no_notice(desktop):
    check(not kit.managed_named(desktop, TITLE),
          "a notice window was shown although a notification area is there")


class Panel:
    """lxqt-panel with our configuration in the test's home, or tint2."""

    def __init__(self, kind, home):
        self.kind = kind
        self.home = home
        self.process = None

    def start(self):
        env = dict(os.environ)
        if self.kind == "lxqt":
            config = os.path.join(self.home, ".config")
            os.makedirs(os.path.join(config, "lxqt"), exist_ok=True)
            with open(os.path.join(config, "lxqt", "panel.conf"), "w", encoding="utf-8") as f:
                f.write(PANEL_CONF)
            env["XDG_CONFIG_HOME"] = config
            command = ["lxqt-panel"]
        else:
            env.pop("DBUS_SESSION_BUS_ADDRESS", None)
            command = ["tint2"]
        self.process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def stop(self):
        kit.stop_process(self.process)
        self.process = None


def wait_for_sni_icon(desktop, bus):
    items = wait_for("the item registered with the watcher", bus.registered_items)
    check(len(items) == 1, "more than one item registered: %r" % items)
    panel = wait_for("the panel window", lambda: panel_windows(desktop, "lxqt-panel"))
    icon = wait_for("the icon drawn in the panel", lambda: drawn_icon(desktop, panel[0]))
    return items[0], icon


def check_sni_menu_commands(desktop, bus, item, autostart_file):
    """Every command but 关于 and 退出 chosen through the menu the panel reads."""
    service, menu_path, entries = menu_layout(bus, item)
    labels = [label for label, _ in entries]
    for label in MENU_LABELS:
        check(label in labels, "the host's menu lacks %s: %r" % (label, labels))
    ids = dict(entries)

    def shown(title):
        return lambda: bool(kit.managed_named(desktop, title))

    click_over_dbusmenu(bus, service, menu_path, ids["显示设置...(_W)"])
    wait_for("显示设置 opened over the host's menu", shown("显示设置"))
    click_over_dbusmenu(bus, service, menu_path, ids["更换皮肤...(_S)"])
    wait_for("更换皮肤 opened over the host's menu", shown("皮肤管理器"))
    # 附加功能 closes the other two first.
    click_over_dbusmenu(bus, service, menu_path, ids["附加功能...(_D)"])
    wait_for("附加功能 opened over the host's menu", shown("附加功能"))
    wait_for("显示设置 and 皮肤管理器 closed by 附加功能",
             lambda: not shown("显示设置")() and not shown("皮肤管理器")())
    click_over_dbusmenu(bus, service, menu_path, ids["开启(_O)"])
    wait_for("开启 over the host's menu to write the autostart entry",
             lambda: os.path.isfile(autostart_file))
    click_over_dbusmenu(bus, service, menu_path, ids["关闭(_C)"])
    wait_for("关闭 over the host's menu to remove the autostart entry",
             lambda: not os.path.exists(autostart_file))


def notice_rects(desktop):
    """The outer rectangles (frames) of the managed windows called like the notice."""
    rects = []
    for wid in kit.managed_named(desktop, TITLE):
        window = desktop.d.create_resource_object("window", wid)
        frame = desktop.d.create_resource_object("window", desktop.top_level(window))
        rects.append(desktop.position(frame))
    return rects


def check_notice_then_late_tint2(desktop, panel, overlay_window):
    rects = wait_for("the notice after the grace period", lambda: notice_rects(desktop))
    check(len(rects) == 1, "more than one notice: %r" % rects)
    countdown = desktop.position(overlay_window)
    check(countdown[0] > 640 and countdown[1] < 100,
          "the countdown is not in the top right corner: %r" % (countdown,))
    check(not kit.intersect(rects[0], countdown),
          "the notice %r covers the countdown %r" % (rects[0], countdown))
    panel.start()
    wait_for("the icon docked in the late tint2", lambda: docked_icon_rect(desktop))
    wait_for("the notice to go once the icon is docked", lambda: not notice_rects(desktop))


def run(binary, case):
    workdir = tempfile.mkdtemp(prefix="tray-hosts-test.", dir=os.environ.get("TMPDIR"))
    desktop = kit.DesktopConnection(workdir)
    bus = SessionBus()
    process = None
    kind = "lxqt" if case.startswith("sni") else "tint2"
    no_host = case == "no-host"
    panel = Panel(kind, os.environ.get("HOME", workdir))
    panel_first = case.endswith("panel-first")
    autostart_file = os.path.join(os.environ.get("XDG_CONFIG_HOME", workdir), "autostart",
                                  "Dalvenor.desktop")
    try:
        desktop.start()
        # Our own tint2 for the XEmbed cases, none for the StatusNotifierItem ones.
        tray_kit.stop_panel(desktop)
        if kind == "lxqt":
            bus.start()
        program = kit.portable_copy(binary, os.path.join(workdir, "program"), skins=True)
        env = dict(os.environ)
        if no_host:
            env["DALVENOR_TRAY_GRACE_MS"] = "1000"
            # The countdown in the top right corner, where the notice would go first.
            kit.write_stored_rect(COUNTDOWN_TOP_RIGHT_TWIPS)
        if panel_first:
            # The notice would come a second after start if the host were missed.
            env["DALVENOR_TRAY_GRACE_MS"] = "1000"
            panel.start()
            if kind == "lxqt":
                wait_for("the panel's watcher on the bus", bus.has_watcher)
            else:
                wait_for("tint2 to claim the tray", lambda: tray_kit.tray_owned(desktop))
        process = subprocess.Popen([program], cwd=os.path.dirname(program), env=env)
        overlay_window = wait_for("the countdown overlay",
                                  lambda: kit.unmanaged_named(desktop, TITLE, min_width=50))
        if no_host:
            check_notice_then_late_tint2(desktop, panel, overlay_window)
        elif not panel_first:
            panel.start()

        if kind == "lxqt":
            item, icon = wait_for_sni_icon(desktop, bus)
            check_sni_menu_commands(desktop, bus, item, autostart_file)
            about_from_menu(desktop, icon)
            check_no_notice(desktop)
            # A panel restart: the item registers with the new watcher and is drawn again.
            panel.stop()
            wait_for("the watcher to go with the panel", lambda: not bus.has_watcher())
            panel.start()
            item, icon = wait_for_sni_icon(desktop, bus)
            about_from_menu(desktop, icon)
            check_no_notice(desktop)
            # 退出 from the new panel's menu ends the program and takes the item away.
            service, menu_path, entries = menu_layout(bus, item)
            click_over_dbusmenu(bus, service, menu_path, dict(entries)["退出(_E)"])
            wait_for("the program to end after 退出", lambda: process.poll() is not None)
            check(process.returncode == 0, "退出 ended the program with %d" % process.returncode)
            wait_for("the item to leave the watcher", lambda: not bus.registered_items())
            print("PASS: %s" % case)
            return 0
        else:
            icon = wait_for("the icon docked in tint2", lambda: docked_icon_rect(desktop))
            about_from_menu(desktop, icon)
        # Without a host at first, the notice was due and went; it must not come back.
        check_no_notice(desktop)
        check(process.poll() is None, "the program ended")
        print("PASS: %s" % case)
        return 0
    except Failure as failure:
        print("FAIL: %s: %s" % (case, failure))
        return 1
    finally:
        kit.stop_process(process)
        panel.stop()
        bus.stop()
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    if len(argv) != 3 or argv[2] not in CASES:
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    binary, case = argv[1], argv[2]
    if not os.access(binary, os.X_OK):
        return kit.skip("%s is not built" % binary)
    tools = ["xdotool", "Xvfb", "openbox", "tint2", "dbus-send"]
    if case.startswith("sni"):
        tools += ["lxqt-panel", "dbus-daemon"]
    for tool in tools:
        if not shutil.which(tool):
            return kit.skip("%s is not installed" % tool)
    return run(binary, case)


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    sys.exit(main(sys.argv))
