#!/usr/bin/python3
"""Checks a colour-keyed overlay on a real X server, by its pixels and by its behaviour.

    overlay_desktop_test.py probe PROBE_BINARY
    overlay_desktop_test.py program DALVENOR_BINARY [scale=FACTOR | xftdpi=DPI]

Starts its own virtual desktop (Xvfb, openbox, tint2), puts a known colour on the root window
and a known-colour window that records button presses partly beneath where the overlay will
be, starts the overlay and checks:
  - the text pixels are on the screen and no pixel of the key colour is;
  - everywhere else inside the overlay's rectangle the desktop beneath shows unchanged;
  - clicks on a text pixel and on a transparent pixel both reach the window beneath;
  - the overlay is not in the window manager's client list, which is what tint2's task list
    shows;
  - the focus stays where it was, after showing and after the clicks;
  - the shape follows the content when a text changes: (probe) by the time the probe answers
    that it drew the change, (program) at each tick;
  - (probe) the overlay is an unmanaged window with an empty input shape, and what another
    window uncovers is repainted by the X server alone: the probe is stopped meanwhile;
  - (probe) it follows moving, hiding and showing, and a recreated overlay leaves no window
    behind;
  - its stacking is ordinary: a window activated over it covers its text, a desktop window
    activated does not, windows not activated keep their place relative to it; (probe) it
    is shown above the windows there, and an active window that is already gone does no
    harm;
  - (probe) the probe reports no X error;
  - (program, scaled: QT_SCALE_FACTOR=FACTOR, or Xft.dpi set to DPI in the X resources) the
    window stands where its stored rectangle in twips says, at 15 twips per logical pixel and
    the scale's device pixels per logical pixel, nothing shows outside it, and at a scale of
    2 the text is drawn at the screen's resolution, not enlarged from half of it.
The probe answers each command only after a round trip to the X server, so that what it did
is on the server before the test looks; the test never assumes that its own connection has
seen what another client sent. Every other wait polls a condition with a generous time limit.
Exit status 0 = pass, 1 = fail, 77 = skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

from Xlib import X, Xatom, error as xerror
from Xlib.ext import shape

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
from desktop_kit import (Failure, Lines, Shot, check, inside, intersect,  # noqa: E402,F401
                         pixel_value, wait_for)

KEY = (0, 0, 255)
ROOT_COLOUR = kit.ROOT_COLOUR
BENEATH_COLOUR = (0xF0, 0xC0, 0x00)
COVER_COLOUR = (0xC0, 0x30, 0xC0)
FRONT_COLOUR = (0x30, 0x60, 0xD0)
DESKTOP_COLOUR = (0x60, 0x60, 0x60)
ONE_STEP_FROM_KEY = (0, 0, 254)
DEFAULT_TEXT = (0, 0, 160)

# The countdown's stored rectangle for the scaled runs, in twips (left, top, width, height):
# logical pixels (200, 150, 403, 216), which lies over the window beneath and the bare root
# window, whole on the screen up to a scale of 2.
SCALED_TWIPS = (3000, 2250, 6045, 3240)

PROBE_GEOMETRY = (300, 200, 420, 240)
# Left part over the window beneath, right part over the bare root window. It also covers
# where the countdown window sits by default (518, 355, 403 x 216 pixels).
BENEATH_GEOMETRY = (150, 120, 600, 520)

# Seconds. Generous, since two desktop tests may share two busy cores: a wait that ends early
# finds a real fault only later, never a false one.
TIMEOUT = 30.0


class Answers(Lines):
    """The lines the probe prints, each awaited with a time limit."""


class Desktop(kit.DesktopConnection):
    """The desktop with the probe's marks."""

    def mark(self):
        """Waits until the probe has handled every event sent to it before this call."""
        self.marks = getattr(self, "marks", 0) + 1
        self.root.change_property(self.atom("_DALVENOR_PROBE_MARK"), Xatom.CARDINAL, 32,
                                  [self.marks])
        self.d.sync()
        wait_for("the probe to see mark %d" % self.marks,
                 lambda: self.root_property("_DALVENOR_PROBE_SEEN", Xatom.CARDINAL)
                 == [self.marks])


def Beneath(desktop, rect):
    """A managed window of the colour beneath that records the button presses it receives."""
    return kit.Beneath(desktop, rect, BENEATH_COLOUR)


Solid = kit.Solid


def window_name(d, wid):
    try:
        return kit.window_name(d, d.create_resource_object("window", wid))
    except Exception:  # gone meanwhile
        return ""


def find_overlay(desktop, title):
    """The viewable window called title that is larger than a tray icon."""
    return kit.find_overlay(desktop.d, title)


def classify(before, after, rect):
    changed, unchanged, key = [], 0, []
    for point in after.points(rect):
        now = after.at(*point)
        if now == KEY:
            key.append(point)
        if now != before.at(*point):
            changed.append(point)
        else:
            unchanged += 1
    return changed, unchanged, key


def solid_point(shot, rect, changed_set, want_changed, margin):
    """A point in rect whose neighbourhood of radius margin is all changed (or unchanged)."""
    x0, y0, w, h = rect
    best = None
    for sy in range(y0 + margin, y0 + h - margin):
        for sx in range(x0 + margin, x0 + w - margin):
            ok = all(((px, py) in changed_set) == want_changed
                     for px in range(sx - margin, sx + margin + 1)
                     for py in range(sy - margin, sy + margin + 1))
            if ok:
                best = (sx, sy)
                if want_changed:
                    return best
                # For a transparent spot prefer one well inside the rectangle's middle rows.
                if abs(sy - (y0 + h // 2)) < h // 4:
                    return best
    return best


def check_overlay(desktop, before, overlay_id, rect, beneath, beneath_rect, focus_before):
    d = desktop.d
    screen_rect = (0, 0, d.screen().width_in_pixels, d.screen().height_in_pixels)
    area = intersect(rect, screen_rect)
    check(area is not None, "the overlay %r is off the screen" % (rect,))

    def settled():
        shot = desktop.shot(area)
        changed, _, _ = classify(before, shot, area)
        return shot if len(changed) > 200 else None

    wait_for("the overlay's text on the screen", settled)
    # A shot that falls between two of the overlay's requests may show the key colour.
    after = wait_without_key(desktop, before, area, "once the overlay is shown")
    changed, unchanged, key = classify(before, after, area)
    total = area[2] * area[3]
    check(not key, "%d pixels of the key colour are on the screen, e.g. at %r"
          % (len(key), key[:3]))
    check(unchanged > total * 0.6,
          "only %d of %d pixels show the desktop beneath" % (unchanged, total))
    for corner in ((area[0], area[1]), (area[0] + area[2] - 1, area[1] + area[3] - 1)):
        check(after.at(*corner) == before.at(*corner),
              "the corner %r of the overlay hides the desktop" % (corner,))
    changed_set = set(changed)
    seen = {after.at(*p) for p in after.points(area) if p not in changed_set}
    over_both = intersect(area, beneath_rect) and intersect(area, beneath_rect) != area
    if over_both:
        check(BENEATH_COLOUR in seen and ROOT_COLOUR in seen,
              "not both the window beneath and the root show through")

    # Clicks: one on a text pixel, one on a transparent pixel, both above the window beneath.
    under = intersect(area, beneath_rect)
    check(under is not None, "the overlay does not lie over the window beneath")
    text_point = solid_point(after, under, changed_set, True, 1) or \
        solid_point(after, under, changed_set, True, 0)
    clear_point = solid_point(after, under, changed_set, False, 6)
    check(text_point is not None, "no text pixel lies over the window beneath")
    check(clear_point is not None, "no transparent pixel lies over the window beneath")
    for what, point in (("text", text_point), ("transparent", clear_point)):
        desktop.click(point)
        wait_for("the click on a %s pixel at %r to reach the window beneath" % (what, point),
                 lambda p=point: beneath.pressed_at(p))

    # No task list entry: tint2 lists exactly the manager's clients.
    clients = desktop.root_property("_NET_CLIENT_LIST")
    check(beneath.window.id in clients, "the window beneath is not in the client list")
    check(overlay_id not in clients, "the overlay is in the client list (a taskbar entry)")
    stacking = desktop.root_property("_NET_CLIENT_LIST_STACKING")
    check(overlay_id not in stacking, "the overlay is in the stacking client list")

    # Focus: unchanged after showing and after the clicks.
    check(desktop.active_window() == beneath.window.id,
          "the active window changed to 0x%x" % desktop.active_window())
    check(desktop.input_focus() == focus_before,
          "the input focus moved from 0x%x to 0x%x" % (focus_before, desktop.input_focus()))
    return after


def scaled_rect(twips, factor):
    """Where Qt puts a window with this rectangle in twips: logical pixels at 96 dpi, then the
    position and the size each scaled and rounded."""
    left, top, width, height = (round(v / 15) for v in twips)
    return tuple(int(v * factor + 0.5) for v in (left, top, width, height))


write_stored_rect = kit.write_stored_rect


def panel_rects(desktop):
    """Where tint2 draws (its notification area gets the program's icon), as rectangles."""
    return desktop.panel_rects()


def check_scaled(desktop, before, rect, expected, factor):
    check(rect == expected, "the overlay is at %r, not at %r where its stored rectangle says"
          % (rect, expected))
    # Nothing of the key colour and no other change on the whole screen outside the panel.
    panels = panel_rects(desktop)
    screen_rect = before.rect

    def clean():
        shot = desktop.shot(screen_rect)
        stray = []
        for p in shot.points():
            if any(inside(p, panel) for panel in panels):
                continue
            now = shot.at(*p)
            if now == KEY or (now != before.at(*p) and not inside(p, rect)):
                stray.append(p)
                if len(stray) == 3:
                    break
        return (shot, stray)

    # A shot may fall between two of the overlay's requests; what it shows must not stay.
    try:
        shot = wait_for("", lambda: (lambda r: None if r[1] else r[0])(clean()))
    except Failure:
        raise Failure("key colour or changed pixels outside the overlay stay on the screen, "
                      "e.g. at %r" % (clean()[1],))
    if factor != 2:
        return
    # Enlarged from a drawing at half the resolution, every 2 x 2 block of device pixels
    # would be of one colour; drawn at the screen's resolution, the edges of the glyphs cut
    # through many of them.
    area = intersect(rect, screen_rect)
    blocks = split = 0
    for y in range(area[1], area[1] + area[3] - 1, 2):
        for x in range(area[0], area[0] + area[2] - 1, 2):
            colours = {shot.at(x, y), shot.at(x + 1, y), shot.at(x, y + 1), shot.at(x + 1, y + 1)}
            if any(shot.at(px, py) != before.at(px, py)
                   for px, py in ((x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1))):
                blocks += 1
                split += len(colours) > 1
    check(blocks > 100, "only %d blocks of text on the screen" % blocks)
    check(split > blocks // 4, "the text looks enlarged: %d of %d blocks of 2 x 2 pixels hold "
          "more than one colour" % (split, blocks))


def run(mode, binary, scaling=None):
    workdir = tempfile.mkdtemp(prefix="overlay-test.", dir=os.environ.get("TMPDIR"))
    desktop = Desktop(workdir)
    process = None
    try:
        desktop.start()
        d = desktop.d
        desktop.set_root_colour(ROOT_COLOUR)
        beneath = Beneath(desktop, BENEATH_GEOMETRY)
        wait_for("the window beneath to be mapped", beneath.viewable)
        wait_for("the window beneath to become active",
                 lambda: desktop.active_window() == beneath.window.id)
        beneath_rect = desktop.position(beneath.window)
        focus_before = desktop.input_focus()
        screen_rect = (0, 0, d.screen().width_in_pixels, d.screen().height_in_pixels)
        wait_for("the window beneath to be painted",
                 lambda: desktop.shot((beneath_rect[0] + 5, beneath_rect[1] + 5, 1, 1))
                 .at(beneath_rect[0] + 5, beneath_rect[1] + 5) == BENEATH_COLOUR)
        before = desktop.shot(screen_rect)

        errors_path = os.path.join(workdir, "stderr.txt")
        if mode == "probe":
            geometry = ",".join(str(v) for v in PROBE_GEOMETRY)
            with open(errors_path, "w") as errors:
                process = subprocess.Popen([binary, geometry], stdin=subprocess.PIPE,
                                           stdout=subprocess.PIPE, stderr=errors, cwd=workdir)
            process.answers = Answers(process.stdout)
            line = process.answers.next("its start").split()
            check(len(line) == 2 and line[0] == "shown", "the probe did not start: %r" % line)
            title = "Dalvenor overlay probe"
        else:
            # A portable copy in the test's folder, with its countdown file and tips: whatever
            # it writes stays there, never beside the build's binary.
            binary = kit.portable_copy(binary, os.path.join(workdir, "program"))
            env = dict(os.environ)
            factor = 1.0
            if scaling:
                kind, value = scaling
                write_stored_rect(SCALED_TWIPS)
                if kind == "scale":
                    env["QT_SCALE_FACTOR"] = value
                    factor = float(value)
                else:
                    # What a desktop's font settings write; Qt scales by it over 96 dpi.
                    subprocess.run(["xrdb", "-merge"], input="Xft.dpi: %s\n" % value,
                                   text=True, check=True, timeout=TIMEOUT)
                    factor = float(value) / 96
            with open(errors_path, "w") as errors:
                process = subprocess.Popen([binary], cwd=workdir, env=env, stderr=errors)
            title = "Dalvenor"

        overlay = wait_for("the overlay window", lambda: find_overlay(desktop, title))
        rect = desktop.position(overlay)
        attributes = overlay.get_attributes()
        after = check_overlay(desktop, before, overlay.id, rect, beneath, beneath_rect,
                              focus_before)
        if mode == "probe":
            check(attributes.override_redirect, "the overlay is a managed window")
            check(rect == PROBE_GEOMETRY, "the probe is at %r" % (rect,))
            check_probe_labels(desktop, process, before, after, rect)
            check_part_of_a_label(desktop, process, rect)
            overlay = check_unmanaged_and_input_shape(desktop, title)
            check_server_repaints(desktop, process, rect, beneath)
            check_move_hide_show(desktop, process, before, overlay, rect, title)
            check_recreate(desktop, process, overlay, title)
            check_stacking(desktop, process, title, beneath)
            check_no_x_errors(process, errors_path)
        else:
            if scaling:
                check_scaled(desktop, before, rect, scaled_rect(SCALED_TWIPS, factor), factor)
            check_program_ticks(desktop, before, after, rect, beneath, focus_before)
            # Two more ticks: the first ones redraw more than a digit, later ones only the
            # changed digits, in small bands drawn by a kept painter.
            for _ in range(2):
                wait_for_tick(desktop, intersect(rect, before.rect))
            check_stacking(desktop, None, title, beneath)
            check_quiet(errors_path, "the program")
        print("PASS: overlay 0x%x at %r" % (overlay.id, rect))
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        return 1
    finally:
        kit.stop_process(process)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def wait_without_key(desktop, before, rect, when):
    """The key colour may show for a moment while a new shape is applied (the server may read
    the screen for the test between two of the overlay's requests); it must not stay."""
    def clean():
        shot = desktop.shot(rect)
        return shot if not classify(before, shot, rect)[2] else None

    try:
        return wait_for("", clean)
    except Failure:
        key = classify(before, desktop.shot(rect), rect)[2]
        raise Failure("%d pixels of the key colour stay on the screen %s, e.g. at %r"
                      % (len(key), when, key[:3]))


def row_rect(rect, n):
    row = rect[3] // 3
    return (rect[0], rect[1] + (n - 1) * row, rect[2], row)


def command(process, line):
    """Sends a command; returns once the probe's requests for it reached the X server."""
    process.stdin.write((line + "\n").encode("utf-8"))
    process.stdin.flush()
    answer = process.answers.next(repr(line))
    check(answer == "ok", "the probe answered %r to %r" % (answer, line))


def check_part_of_a_label(desktop, process, rect):
    # A change named by a part of a label, drawn by the window's content painter, shows just
    # as the whole label drawn by the widgets: in place, not shifted out of its band.
    row = row_rect(rect, 2)
    command(process, "set 2 距离高考还有 88 天")
    whole = desktop.shot(row)
    check(DEFAULT_TEXT in (whole.at(*p) for p in whole.points()),
          "the label drawn by the content painter is missing")
    command(process, "set 2 距离高考还有 88 夜")
    check(desktop.shot(row) != whole, "the label's new last character does not show")
    command(process, "part 2 距离高考还有 88 天")
    wait_for("the label's right half drawn again to look as the whole label did",
             lambda: desktop.shot(row) == whole)


def check_probe_labels(desktop, process, before, after, rect):
    # Text one step away from the key colour stays; text in exactly the key colour vanishes.
    first = [after.at(*p) for p in after.points(row_rect(rect, 1))]
    check(ONE_STEP_FROM_KEY in first, "the text one step away from the key colour is missing")
    second = [after.at(*p) for p in after.points(row_rect(rect, 2))]
    check(DEFAULT_TEXT in second, "the text in the default colour is missing")
    changed, _, _ = classify(before, after, row_rect(rect, 3))
    check(not changed, "text in exactly the key colour shows (%d pixels)" % len(changed))

    # The shape follows a longer text at once, and gives the place back when it goes.
    left_edge = (rect[0] + 2, row_rect(rect, 2)[1], 40, row_rect(rect, 2)[3])
    changed, _, _ = classify(before, after, left_edge)
    check(not changed, "the short text already reaches the left edge")
    # "set" draws at once, as a tick does: once the probe answered, the server has it all.
    command(process, "set 2 WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW")
    check(classify(before, desktop.shot(left_edge), left_edge)[0],
          "the longer text is not at the left edge once it was drawn")
    wait_without_key(desktop, before, rect, "after the text grew")
    command(process, "set 2 ")
    check(not classify(before, desktop.shot(row_rect(rect, 2)), row_rect(rect, 2))[0],
          "the place of the removed text does not show the desktop again once it was drawn")

    # A text change without an explicit reshape still reshapes.
    command(process, "auto 3 ")
    command(process, "auto 2 自动 WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW")
    wait_for("the overlay to reshape by itself",
             lambda: classify(before, desktop.shot(left_edge), left_edge)[0])
    wait_without_key(desktop, before, rect, "after reshaping by itself")


def viewable_overlays(desktop, title):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                         capture_output=True, text=True, check=False)
    found = []
    for token in out.stdout.split():
        window = desktop.d.create_resource_object("window", int(token))
        try:
            if (window_name(desktop.d, window.id) == title
                    and window.get_attributes().map_state == X.IsViewable):
                found.append(window)
        except xerror.XError:
            continue
    return found


def exists(window):
    try:
        window.get_geometry()
        return True
    except xerror.XError:
        return False


def check_unmanaged_and_input_shape(desktop, title):
    overlays = viewable_overlays(desktop, title)
    check(len(overlays) == 1, "%d viewable overlay windows instead of one" % len(overlays))
    overlay = overlays[0]
    check(overlay.get_attributes().override_redirect, "the overlay is a managed window")
    check(desktop.d.has_extension("SHAPE"), "the X server has no SHAPE extension")
    inputs = overlay.shape_get_rectangles(shape.SK.Input).rectangles
    check(not inputs, "the overlay's input shape is not empty: %r" % (inputs[:3],))
    bounding = overlay.shape_get_rectangles(shape.SK.Bounding).rectangles
    check(bounding, "the overlay's bounding shape is empty")
    return overlay


class Cover:
    """An unmanaged window of a known colour laid over a rectangle, for as long as needed."""

    def __init__(self, desktop, rect):
        d = desktop.d
        self.window = desktop.root.create_window(
            rect[0], rect[1], rect[2], rect[3], 0, d.screen().root_depth, X.InputOutput,
            X.CopyFromParent, background_pixel=pixel_value(COVER_COLOUR), override_redirect=1)
        self.window.map()
        d.sync()

    def destroy(self, desktop):
        self.window.destroy()
        desktop.d.sync()


def check_server_repaints(desktop, process, rect, beneath):
    """What a window on top uncovers comes back while the probe cannot do a thing."""
    reference = desktop.shot(rect)
    process.send_signal(signal.SIGSTOP)
    try:
        cover = Cover(desktop, rect)
        wait_for("the cover window on the screen",
                 lambda: all(c == COVER_COLOUR for row in desktop.shot(rect).rows for c in row))
        cover.destroy(desktop)

        def restored():
            beneath.pump()  # the window beneath gets its exposures; the server paints it
            return desktop.shot(rect).rows == reference.rows

        wait_for("the overlay's pixels to come back with the probe stopped", restored)
    finally:
        process.send_signal(signal.SIGCONT)


def check_move_hide_show(desktop, process, before, overlay, rect, title):
    moved = (rect[0] + 37, rect[1] - 23, rect[2], rect[3])
    command(process, "move %d %d" % moved[:2])
    wait_for("the overlay to move", lambda: desktop.position(overlay) == moved)
    wait_for("the text at the new place",
             lambda: len(classify(before, desktop.shot(moved), moved)[0]) > 200)
    wait_without_key(desktop, before, moved, "after moving")

    command(process, "hide")
    wait_for("the overlay to be unmapped", lambda: not viewable_overlays(desktop, title))
    wait_for("the desktop to show where the overlay was",
             lambda: not classify(before, desktop.shot(moved), moved)[0])
    command(process, "show")
    wait_for("the overlay to be mapped again", lambda: viewable_overlays(desktop, title))
    check(viewable_overlays(desktop, title)[0].id == overlay.id,
          "showing again made another window")
    wait_for("the text to be back after showing",
             lambda: len(classify(before, desktop.shot(moved), moved)[0]) > 200)
    wait_without_key(desktop, before, moved, "after showing again")


def check_recreate(desktop, process, overlay, title):
    command(process, "recreate")
    wait_for("the old overlay window to be destroyed", lambda: not exists(overlay))
    overlays = wait_for("the new overlay", lambda: viewable_overlays(desktop, title))
    check(len(overlays) == 1, "%d overlays after recreating" % len(overlays))
    check(overlays[0].shape_get_rectangles(shape.SK.Input).rectangles == [],
          "the new overlay takes clicks")


def check_stacking(desktop, probe, title, beneath):
    """Ordinary stacking: activation brings a window over the overlay, nothing else moves it.

    probe is the probe's process, None for the program (which answers no marks)."""
    overlay = wait_for("the overlay window", lambda: find_overlay(desktop, title))
    rect = desktop.position(overlay)
    screen = desktop.d.screen()
    order = desktop.stacking

    def below(lower, upper):
        stack = order()
        return stack.index(lower) < stack.index(upper)

    beneath_top = desktop.top_level(beneath.window)
    check(below(beneath_top, overlay.id), "the window beneath is above the overlay at the start")

    # A desktop window (a file manager's icons) that becomes active stays beneath it.
    desk = Solid(desktop, (0, 0, screen.width_in_pixels, screen.height_in_pixels),
                 DESKTOP_COLOUR, "desktop", "_NET_WM_WINDOW_TYPE_DESKTOP")
    desktop.activate(desk.window)
    desk_top = desktop.top_level(desk.window)

    # A window mapped over the text and activated covers it. Its activation comes after the
    # desktop window's, so once the overlay went below it the desktop's is handled too.
    margin = 40
    front = Solid(desktop, (rect[0] - margin, rect[1] - margin, rect[2] + 2 * margin,
                            rect[3] + 2 * margin), FRONT_COLOUR, "front")
    desktop.activate(front.window)
    front_top = desktop.top_level(front.window)
    check(intersect(desktop.position(front.window), rect) == rect,
          "the front window at %r does not cover the overlay at %r"
          % (desktop.position(front.window), rect))
    wait_for("the overlay to go below the activated window",
             lambda: below(overlay.id, front_top))
    check(below(desk_top, overlay.id), "the active desktop window covers the overlay")
    check(below(beneath_top, overlay.id), "the window beneath, never activated, came over the "
          "overlay")
    wait_for("the activated window to cover the overlay's text",
             lambda: all(c == FRONT_COLOUR for row in desktop.shot(rect).rows for c in row))

    # Activating the window beneath raises it over both; the front window, not activated,
    # stays above the overlay.
    desktop.activate(beneath.window)
    if probe:
        desktop.mark()
    wait_for("the activated window beneath to come over the overlay",
             lambda: below(overlay.id, beneath_top))
    check(below(overlay.id, front_top), "the overlay came over the front window, which was not "
          "activated")
    check(below(desk_top, overlay.id), "the overlay went below the desktop window")
    if not probe:
        return

    # Shown again, it is above the windows there, like any window that is shown.
    command(probe, "hide")
    command(probe, "show")

    def above_all():
        stack = order()
        return stack.index(overlay.id) > max(stack.index(w)
                                             for w in (beneath_top, front_top, desk_top))

    wait_for("the overlay to be shown above the windows there", above_all)
    front_only = intersect(rect, desktop.position(front.window))
    wait_for("the text to show over the other windows again",
             lambda: sum(c not in (FRONT_COLOUR, BENEATH_COLOUR)
                         for row in desktop.shot(front_only).rows for c in row) > 200)

    # An active window that is gone by the time the probe asks about it changes nothing.
    gone = desktop.root.create_window(0, 0, 10, 10, 0, screen.root_depth)
    gone.destroy()
    before = order()
    previous = desktop.active_window()
    active = desktop.atom("_NET_ACTIVE_WINDOW")
    desktop.root.change_property(active, Xatom.WINDOW, 32, [gone.id])
    desktop.mark()
    check(probe.poll() is None, "the probe ended when the active window was gone")
    check(order() == before, "a vanished active window changed the stacking")
    desktop.root.change_property(active, Xatom.WINDOW, 32, [previous])
    desktop.d.sync()


def check_no_x_errors(process, errors_path):
    command(process, "set 1 结束前最后一次")
    process.stdin.write(b"quit\n")
    process.stdin.flush()
    try:
        process.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        raise Failure("the probe did not end when told to quit")
    check_quiet(errors_path, "the probe")


def check_quiet(errors_path, who):
    # An X error, or a painter used wrongly (Qt warns "QPainter::...: Painter not active"), is
    # a fault in the drawing even when the screen happens to look right.
    with open(errors_path, encoding="utf-8", errors="replace") as f:
        errors = [line for line in f if "error" in line.lower() or line.startswith("QPainter")]
    check(not errors, "%s reported: %s" % (who, "".join(errors[:3]).strip()))


def wait_for_tick(desktop, area, since=None):
    since = since or desktop.shot(area)

    def ticked():
        shot = desktop.shot(area)
        return shot if any(shot.at(*p) != since.at(*p) for p in shot.points(area)) else None

    return wait_for("the countdown to tick", ticked)


def check_program_ticks(desktop, before, after, rect, beneath, focus_before):
    # The countdown line changes every second; each new text must be shaped too.
    area = intersect(rect, before.rect)
    wait_for_tick(desktop, area, after)
    shot = wait_without_key(desktop, before, area, "after a tick")
    changed, unchanged, _ = classify(before, shot, area)
    check(changed and unchanged > area[2] * area[3] * 0.6, "the tick broke the shape")
    check(desktop.active_window() == beneath.window.id, "a tick took the focus")
    check(desktop.input_focus() == focus_before, "a tick moved the input focus")


skip = kit.skip


def main(argv):
    scaling = None
    if len(argv) == 4 and argv[1] == "program":
        kind, _, value = argv[3].partition("=")
        try:
            valid = kind in ("scale", "xftdpi") and float(value) > 0
        except ValueError:
            valid = False
        if not valid:
            print(__doc__)
            return 2
        scaling = (kind, value)
    elif len(argv) != 3 or argv[1] not in ("probe", "program"):
        print(__doc__)
        return 2
    # Ended from outside (Ctrl+C, or the time limit of the test runner): clean up all the same.
    kit.exit_on_sigterm()
    binary = argv[2]
    if not os.access(binary, os.X_OK):
        if argv[1] == "program":
            return skip("%s is not built" % binary)
        print("FAIL: %s is missing" % binary)
        return 1
    for tool in ("xdotool", "Xvfb", "openbox", "tint2", "xrdb"):
        if not shutil.which(tool):
            print("FAIL: %s is not installed" % tool)
            return 1
    return run(argv[1], binary, scaling)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
