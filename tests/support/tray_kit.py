"""The program's tray icon and its menu, driven as a user does: the icon found in tint2's
notification area over an X connection of the test's own, its menu opened by a right click and
an entry chosen by a click on it or by its key.

    sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'support'))
    import tray_kit

Every wait polls with a generous deadline; a click or key the program did not take yet is
tried again, never waited for by the clock.
"""

import time

import desktop_kit as kit
from desktop_kit import Failure, check, wait_for

# "关于...(&A)", "显示设置...(&W)", "更换皮肤...(&S)", "开机启动", "附加功能...(&D)", "退出(&E)".
MENU_ITEMS = 6
ICON_NAME = "Dalvenor"
PROGRAM_CLASS = "Dalvenor"
# Seconds one right click waits for its menu before the icon is clicked again.
MENU_WAIT = 10.0


def centre(rect):
    return rect[0] + rect[2] // 2, rect[1] + rect[3] // 2


def docked_icons(session):
    """Rectangles of the program's icons inside tint2's notification area: viewable windows
    named "Dalvenor", wider than a few pixels and narrower than a panel, below a window of
    tint2. session is a desktop_kit.XSession."""
    listed = session.windows()
    panels = {w.id for w, _, cls, _, _ in listed if cls.lower() == "tint2"}
    return [rect for _, name, _, rect, parents in listed
            if name == ICON_NAME and 4 < rect[2] < 100 and any(p.id in panels for p in parents)]


def docked_icon(session):
    icons = docked_icons(session)
    return icons[0] if icons else None


def program_top_levels(session):
    """Viewable top-level windows of the program (its X class is "Dalvenor"): id to rectangle.
    Its countdown window is one of them, and so is its menu while it is open."""
    return {w.id: rect for w, _, cls, rect, parents in session.windows()
            if cls == PROGRAM_CLASS and len(parents) == 1}


def is_menu_size(rect):
    return rect[2] >= 80 and MENU_ITEMS * 14 <= rect[3] <= MENU_ITEMS * 40


def new_menu(session, before):
    """A top-level window of the program of the menu's size that was not among before."""
    for wid, rect in program_top_levels(session).items():
        if wid not in before and is_menu_size(rect):
            return rect
    return None


def item_point(rect, index):
    """Where item index of the menu at rect is clicked: a third in, in the middle of its row."""
    height = rect[3] / MENU_ITEMS
    return rect[0] + rect[2] // 3, int(rect[1] + height * (index + 0.5))


def caption_lines(shot, rect):
    """Bands of rows with dark pixels in the captions' column of the menu at rect (a
    desktop_kit.Shot holding it): one per item once the menu is painted."""
    x0, y0, w, h = rect
    bands, gap = 0, 99
    for y in range(y0, y0 + h):
        dark = any(sum(shot.at(x, y)) / 3 < 110 for x in range(x0 + w // 8, x0 + w // 2))
        if dark and gap >= 4:
            bands += 1
        gap = 0 if dark else gap + 1
    return bands


def open_menu(session, wait=MENU_WAIT):
    """Right-clicks the icon once; the rectangle of the menu that opened, or None."""
    icon = wait_for("the tray icon", lambda: docked_icon(session))
    before = program_top_levels(session)
    session.xdotool("mousemove", *centre(icon), "click", "3")
    try:
        return wait_for("the tray menu", lambda: new_menu(session, before), timeout=wait)
    except Failure:
        return None


def choose(session, what, shown, item=None, key=None, program=None, timeout=4 * kit.TIMEOUT,
           wait=15.0):
    """Opens the tray menu and chooses an entry, by a click on item (its index) or by key (its
    mnemonic), until shown() gives something true: gives that. A menu that missed the click or
    the key is closed with Escape and opened again. With program (a Popen), its end fails at
    once instead of at the deadline."""
    check((item is None) != (key is None), "an entry is chosen by its index or by its key")
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if program is not None:
            check(program.poll() is None, "the program ended")
        rect = open_menu(session)
        if rect is None:
            continue
        if key is not None:
            session.xdotool("key", key)
        else:
            session.xdotool("mousemove", *item_point(rect, item), "click", "1")
        try:
            return wait_for(what, shown, timeout=wait, tolerate_errors=True)
        except Failure:
            session.xdotool("key", "Escape")
    raise Failure("%s never opened from the tray menu" % what)


def wm_class(window):
    """Both halves of a window's WM_CLASS, lower case, or "" when it has none or went away."""
    try:
        return " ".join(window.get_wm_class() or ()).lower()
    except Exception:  # gone meanwhile
        return ""


def docked_program_window(root, program="dalvenor", panel="tint2"):
    """The absolute rectangle of a viewable window of the program 8 to 64 pixels wide inside
    the panel's window tree (by WM_CLASS), or None. root is an Xlib root window."""
    from Xlib import X

    def walk(window, in_panel):
        try:
            children = window.query_tree().children
        except Exception:  # gone meanwhile
            return None
        for child in children:
            cls = wm_class(child)
            if in_panel and program in cls:
                try:
                    geometry = child.get_geometry()
                    if 8 <= geometry.width <= 64 and \
                            child.get_attributes().map_state == X.IsViewable:
                        origin = child.translate_coords(root, 0, 0)
                        return (-origin.x, -origin.y, geometry.width, geometry.height)
                except Exception:  # gone meanwhile
                    pass
            found = walk(child, in_panel or panel in cls)
            if found:
                return found
        return None

    return walk(root, False)


def click_item(rect, index):
    """Clicks item index of the menu at rect, on this process's display."""
    kit.xdotool("mousemove", *item_point(rect, index), "click", "1")


def about_shown(desktop):
    """The ids of the viewable windows "关于 Dalvenor" (a DesktopConnection's), as text: empty
    while there is none."""
    return " ".join(str(wid) for wid in kit.viewable_named(desktop.d, "关于 Dalvenor"))


def tray_owned(desktop):
    """Whether a notification area holds the tray selection of the DesktopConnection's
    screen."""
    from Xlib import X
    d = desktop.d
    selection = d.intern_atom("_NET_SYSTEM_TRAY_S%d" % d.get_default_screen())
    return d.get_selection_owner(selection) != X.NONE


def stop_panel(desktop):
    """Ends the virtual desktop's tint2 and waits until its notification area is gone."""
    import os
    import signal
    pid = kit.state_value(desktop.state, "TINT2_PID")
    check(pid, "the virtual desktop named no panel")
    os.kill(int(pid), signal.SIGTERM)
    wait_for("the notification area to go away", lambda: not tray_owned(desktop))
