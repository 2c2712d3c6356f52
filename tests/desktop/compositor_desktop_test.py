#!/usr/bin/python3
"""Checks the countdown overlay under real compositing managers, by its pixels.

    compositor_desktop_test.py DALVENOR_BINARY picom|xcompmgr first|live

Starts its own virtual desktop (Xvfb, openbox, tint2) with a wallpaper (a root pixmap named
in _XROOTPMAP_ID, which compositors paint the desktop from) and a window that records button
presses partly beneath the countdown. The compositor runs with its shadows on (`picom -c
--backend xrender` without a configuration file, or `xcompmgr -c`). The program runs from a
portable copy in the test's folder, with one tip and a frozen wall clock, so that its text
stays the same for the whole test.

  first: the compositor runs before the program starts; then it is stopped.
  live:  the program starts without a compositor; then one starts, and is stopped again.

Under the compositor:
  - the overlay is an unmanaged window of depth 32 with an empty input shape that asks for
    no shadow (_COMPTON_SHADOW = 0, the desktop window type);
  - the text is drawn, no pixel of the key colour shows, the corners and most of the
    rectangle show the desktop unchanged, clicks on text and on transparent pixels reach the
    window beneath, no taskbar entry, the focus stays (the checks of the colour-keyed overlay);
  - no pixel of the rectangle, nor of a wide margin around it, differs from the desktop
    behind it away from the text: every changed pixel lies within one pixel of a pixel of the
    text as the colour-keyed overlay draws it (a shadow, a dark box or a frame would lie
    farther out);
  - the text's edges are blended with the window beneath, not with the key colour.
Without it (after the switch): a window of the root's depth again, the colour-keyed overlay's
checks, and no black box left behind.
Every wait polls a condition with a generous time limit.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile

from Xlib import X, Xatom
from Xlib.ext import shape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
import desktop_kit as kit  # noqa: E402
import overlay_desktop_test as overlay  # noqa: E402
from desktop_kit import Failure, check, intersect, pixel_value, wait_for  # noqa: E402

COMPOSITORS = {
    # Without a configuration file: the built-in rules, shadows on for every window.
    "picom": ["picom", "-c", "--backend", "xrender", "--config", "/dev/null"],
    "xcompmgr": ["xcompmgr", "-c"],
}
FAKETIME_LIBRARIES = ["/usr/lib/*/faketime/libfaketime.so.1", "/usr/lib/faketime/libfaketime.so.1"]
DEFAULT_TEXT = overlay.DEFAULT_TEXT
BENEATH_COLOUR = overlay.BENEATH_COLOUR


class Wallpaper:
    """The root's background as a pixmap named in _XROOTPMAP_ID and _XSETROOT_ID, as
    wallpaper setters leave it: compositors paint the desktop from it. It lives as long as
    the test's connection."""

    def __init__(self, desktop, rgb):
        d = desktop.d
        screen = d.screen()
        width, height = screen.width_in_pixels, screen.height_in_pixels
        self.pixmap = desktop.root.create_pixmap(width, height, screen.root_depth)
        gc = self.pixmap.create_gc(foreground=pixel_value(rgb))
        self.pixmap.fill_rectangle(gc, 0, 0, width, height)
        gc.free()
        for name in ("_XROOTPMAP_ID", "_XSETROOT_ID"):
            desktop.root.change_property(desktop.atom(name), Xatom.PIXMAP, 32, [self.pixmap.id])
        desktop.root.change_attributes(background_pixmap=self.pixmap)
        desktop.root.clear_area()
        d.sync()


def stable_shot(desktop, rect, what, accept=lambda shot: True):
    """A shot of rect that a second one taken after it repeats exactly, and that accept()
    takes: the screen has settled (a compositor repaints in its own time)."""
    return kit.settled_shot(lambda: desktop.shot(rect), what, accept, interval=0.2)


changed_points = kit.changed_points


def dilated(points, radius):
    out = set()
    for (x, y) in points:
        for dy in range(-radius, radius + 1):
            for dx in range(-radius, radius + 1):
                out.add((x + dx, y + dy))
    return out


class Compositor:
    def __init__(self, desktop, name, workdir):
        self.desktop = desktop
        self.command = COMPOSITORS[name]
        self.log = os.path.join(workdir, name + ".log")
        self.process = None

    def owner(self):
        d = self.desktop.d
        return d.get_selection_owner(self.desktop.atom("_NET_WM_CM_S%d"
                                                       % d.get_default_screen()))

    def running(self):
        owner = self.owner()
        return owner not in (0, X.NONE) and getattr(owner, "id", owner) != 0

    def start(self):
        with open(self.log, "a") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=log)
        wait_for("%s to own the compositing selection" % self.command[0], self.running)

    def stop(self):
        kit.stop_process(self.process)
        self.process = None
        wait_for("the compositing selection to be free", lambda: not self.running())


def overlay_window(desktop, depth):
    """The countdown's window once it has the given depth."""
    def found():
        window = overlay.find_overlay(desktop, "Dalvenor")
        return window if window and window.get_geometry().depth == depth else None

    return wait_for("the countdown's window of depth %d" % depth, found, tolerate_errors=True)


def check_no_shadow_asked(desktop, window):
    prop = window.get_full_property(desktop.atom("_COMPTON_SHADOW"), Xatom.CARDINAL)
    check(prop is not None and list(prop.value) == [0],
          "the overlay does not ask for no shadow: _COMPTON_SHADOW is %r"
          % (list(prop.value) if prop else None,))
    types = window.get_full_property(desktop.atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM)
    check(types is not None and desktop.atom("_NET_WM_WINDOW_TYPE_DESKTOP") in types.value,
          "the overlay has no window type that compositors leave unshadowed")


def shown(desktop, before, rect, what):
    """A settled shot of rect with all three lines on it (the first two come with the first
    tick) and no key colour."""
    # The labels' rows at the design size: 0, 840 and 1680 twips down, 735 twips high.
    lines = [(rect[0], rect[1] + top, rect[2], 49) for top in (0, 56, 112)]
    def with_text(shot):
        return all(len(changed_points(before, shot, line)) > 100 for line in lines) and \
            not overlay.classify(before, shot, rect)[2]

    return stable_shot(desktop, rect, what, with_text)


def check_argb(desktop, comp_before, keyed, rect, beneath, beneath_rect, focus_before):
    """The overlay under the compositor against its colour-keyed text keyed (the set of the
    text's pixels); returns its shot."""
    window = overlay_window(desktop, 32)
    check_no_shadow_asked(desktop, window)
    check(window.get_attributes().override_redirect, "the overlay is a managed window")
    inputs = window.shape_get_rectangles(shape.SK.Input).rectangles
    check(not inputs, "the overlay's input shape is not empty: %r" % (inputs[:3],))
    check(desktop.position(window) == rect,
          "the overlay moved to %r" % (desktop.position(window),))
    shot = shown(desktop, comp_before, rect, "the text under the compositor")
    overlay.check_overlay(desktop, comp_before, window.id, rect, beneath, beneath_rect,
                          focus_before)
    # A compositor's shadow falls around a window as well as under it: the rectangle and a
    # wide margin around it are compared.
    margin = 48
    around = intersect((rect[0] - margin, rect[1] - margin, rect[2] + 2 * margin,
                        rect[3] + 2 * margin), comp_before.rect)
    wide = stable_shot(desktop, around, "the overlay's surroundings to settle")
    changed = changed_points(comp_before, wide, around)
    near_text = dilated(keyed, 1)
    away = sorted(changed - near_text)
    check(not away, "%d pixels away from the text differ from the desktop behind, e.g. %r "
          "(%r there)" % (len(away), away[:3], [wide.at(*p) for p in away[:3]]))
    check(len(changed) > len(keyed) // 2,
          "only %d pixels of text under the compositor against %d without"
          % (len(changed), len(keyed)))
    # Over the yellow window the glyphs' edges mix the text's dark blue with yellow; mixed
    # with the key colour they would have no red and more blue than the text.
    over = intersect(rect, beneath_rect)
    edges = [shot.at(*p) for p in changed if overlay.inside(p, over)]
    keyish = [c for c in edges if c[0] == 0 and c[1] == 0 and c[2] > DEFAULT_TEXT[2]]
    check(not keyish, "%d edge pixels are blended with the key colour, e.g. %r"
          % (len(keyish), keyish[:3]))
    blended = [c for c in edges if 0 < c[0] < BENEATH_COLOUR[0] and c != DEFAULT_TEXT]
    check(len(blended) > 20, "the text's edges are not blended with the window beneath "
          "(%d blended pixels)" % len(blended))
    check(DEFAULT_TEXT in edges, "the text is not drawn in its colour")
    return shot


def check_keyed(desktop, plain_before, rect, beneath, beneath_rect, focus_before):
    """The colour-keyed overlay; returns the set of its text pixels."""
    window = overlay_window(desktop, desktop.d.screen().root_depth)
    check(rect is None or desktop.position(window) == rect,
          "the overlay moved to %r" % (desktop.position(window),))
    rect = desktop.position(window)
    shot = shown(desktop, plain_before, rect, "the colour-keyed text")
    overlay.check_overlay(desktop, plain_before, window.id, rect, beneath, beneath_rect,
                          focus_before)
    prop = window.get_full_property(desktop.atom("_COMPTON_SHADOW"), Xatom.CARDINAL)
    check(prop is None, "the colour-keyed overlay carries the compositor's property")
    # Nothing outside the rectangle changed: no black box or shadow left over. The panel
    # is left out: its clock moves on.
    screen_rect = plain_before.rect
    panels = overlay.panel_rects(desktop)
    whole = stable_shot(desktop, screen_rect, "the whole screen to settle")
    stray = [p for p in changed_points(plain_before, whole, screen_rect)
             if not overlay.inside(p, rect) and not any(overlay.inside(p, r) for r in panels)]
    check(not stray, "%d pixels outside the overlay changed, e.g. %r" % (len(stray), stray[:3]))
    return rect, changed_points(plain_before, shot, rect)


def faketime_library():
    for pattern in FAKETIME_LIBRARIES:
        found = sorted(glob.glob(pattern))
        if found:
            return found[0]
    return None


def start_program(binary, workdir, library):
    program_dir = os.path.join(workdir, "bin")
    program = kit.portable_copy(binary, program_dir, files=())
    kit.write_lines(os.path.join(program_dir, "countdown.ini"),
                    ["距离高考还有", "倒计时", "6/7/2027", "9:00:00 AM"])
    kit.write_lines(os.path.join(program_dir, "ral.txt"), ["一条不变的提示，好让文字始终相同"])
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", LD_PRELOAD=library,
               FAKETIME="2027-03-01 08:00:00", FAKETIME_DONT_FAKE_MONOTONIC="1")
    return subprocess.Popen([program], cwd=program_dir, env=env)


def run(binary, compositor_name, order):
    library = faketime_library()
    if not library:
        return kit.skip("libfaketime is not installed")
    workdir = tempfile.mkdtemp(prefix="compositor-test.", dir=os.environ.get("TMPDIR"))
    desktop = overlay.Desktop(workdir)
    process = None
    compositor = None
    try:
        desktop.start()
        d = desktop.d
        Wallpaper(desktop, overlay.ROOT_COLOUR)
        beneath = overlay.Beneath(desktop, overlay.BENEATH_GEOMETRY)
        wait_for("the window beneath to be mapped", beneath.viewable)
        wait_for("the window beneath to become active",
                 lambda: desktop.active_window() == beneath.window.id)
        beneath_rect = desktop.position(beneath.window)
        focus_before = desktop.input_focus()
        screen_rect = (0, 0, d.screen().width_in_pixels, d.screen().height_in_pixels)

        # The desktop with and without the compositor, before the program shows anything.
        plain_before = stable_shot(desktop, screen_rect, "the plain desktop to settle")
        compositor = Compositor(desktop, compositor_name, workdir)
        compositor.start()
        comp_before = stable_shot(desktop, screen_rect, "the composited desktop to settle",
                                  lambda shot: shot.rows != plain_before.rows)
        if order == "live":
            compositor.stop()
            stable_shot(desktop, screen_rect, "the desktop without the compositor",
                        lambda shot: shot.rows == plain_before.rows)
        else:
            check(compositor.process.poll() is None, "the compositor ended")

        process = start_program(binary, workdir, library)
        if order == "live":
            rect, keyed = check_keyed(desktop, plain_before, None, beneath, beneath_rect,
                                      focus_before)
            compositor.start()
            check_argb(desktop, comp_before, keyed, rect, beneath, beneath_rect, focus_before)
            compositor.stop()
            _, again = check_keyed(desktop, plain_before, rect, beneath, beneath_rect,
                                   focus_before)
            check(again == keyed, "the colour-keyed text differs after the compositor went")
        else:
            window = overlay_window(desktop, 32)
            rect = desktop.position(window)
            argb = shown(desktop, comp_before, rect, "the text under the compositor")
            compositor.stop()
            _, keyed = check_keyed(desktop, plain_before, rect, beneath, beneath_rect,
                                   focus_before)
            compositor.start()
            check_argb(desktop, comp_before, keyed, rect, beneath, beneath_rect, focus_before)
            check(changed_points(comp_before, argb, rect) ==
                  changed_points(comp_before, desktop.shot(rect), rect),
                  "the text under the compositor differs from the first time")
        check(process.poll() is None, "the program ended")
        print("PASS: %s (%s): per-pixel alpha under the compositor, the key without it"
              % (compositor_name, order))
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        kit.stop_process(process)
        if compositor:
            kit.stop_process(compositor.process)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main(argv):
    if len(argv) != 4 or argv[2] not in COMPOSITORS or argv[3] not in ("first", "live"):
        print(__doc__)
        return 2
    kit.exit_on_sigterm()
    binary = argv[1]
    if not os.access(binary, os.X_OK):
        return kit.skip("%s is not built" % binary)
    for tool in ("xdotool", "Xvfb", "openbox", "tint2", argv[2]):
        if not shutil.which(tool):
            print("FAIL: %s is not installed" % tool)
            return 1
    return run(binary, argv[2], argv[3])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
