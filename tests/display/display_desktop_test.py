#!/usr/bin/python3
"""The display settings on a real X server with a window manager, checked by its pixels.

    display_desktop_test.py DISPLAY_PROBE

Starts its own virtual desktop (Xvfb, openbox, tint2) with a plain root colour, then the probe
(the program's own windows, in a folder with a countdown file and a tip), and checks:
  - "显示设置" is a managed window the taskbar lists (in the client list, without the
    skip-taskbar state) and tint2's task list shows a button for it while it is open;
  - "显示位置" turns it into "显示位置调整";
  - a drag that starts on its body (not the title bar) moves it;
  - moved and resized with xdotool, then "完成": the countdown's text stands inside the
    rectangle the window had, frame included, centred across it, and nowhere else; the
    window is gone from the taskbar.
Every wait polls a condition with a generous limit. Exit status 0 = pass, 1 = fail, 77 =
skipped (a failure when DALVENOR_REQUIRE_DESKTOP=1).
"""

import os
import shutil
import subprocess
import sys
import tempfile

from Xlib import X, Xatom

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
import desktop_kit as kit  # noqa: E402
from desktop_kit import Failure, Lines, Shot, check, inside, wait_for  # noqa: E402,F401

ROOT_COLOUR = kit.ROOT_COLOUR
TWIPS_PER_PIXEL = 15  # Qt's logical 96 dpi on X11 without an Xft.dpi setting
# Where the window is put and how large its client area is made before "完成". Clear of the
# countdown's default place (518, 355, 403 x 216), so that text left there would show.
TARGET_POSITION = (30, 40)
TARGET_SIZE = (600, 250)
DRAG = (80, 50)

# Seconds. Generous: desktop tests may share two busy cores.
TIMEOUT = 30.0


def px(twips):
    return int(round(twips / TWIPS_PER_PIXEL))


xdotool = kit.xdotool


class Desktop(kit.DesktopConnection):
    def start(self):
        super().start()
        self.set_root_colour(ROOT_COLOUR)

    def prop(self, window, name, kind):
        try:
            value = window.get_full_property(self.atom(name), kind)
        except Exception:
            return None
        return value.value if value else None

    def name(self, window):
        value = self.prop(window, "_NET_WM_NAME", self.atom("UTF8_STRING"))
        if isinstance(value, bytes):
            return value.decode("utf-8", "replace")
        return value or ""

    def clients(self):
        return list(self.prop(self.root, "_NET_CLIENT_LIST", Xatom.WINDOW) or [])

    def client_named(self, title):
        for wid in self.clients():
            if self.name(self.window(wid)) == title:
                return self.window(wid)
        return None

    def skips_taskbar(self, window):
        states = self.prop(window, "_NET_WM_STATE", Xatom.ATOM) or []
        return self.atom("_NET_WM_STATE_SKIP_TASKBAR") in list(states)

    def frame(self, window):
        """The rectangle of the window with the manager's frame around it."""
        return self.position(self.frame_window(window))

    def panel(self):
        """tint2's panel: its widest viewable window (the manager may have framed it)."""
        rects = [rect for _, _, cls, rect, _ in kit.window_tree(self.d) if cls.lower() == "tint2"]
        return max(rects, key=lambda rect: rect[2]) if rects else None


def stable_shot(desktop, rect):
    """A shot of rect once it stays the same for a moment (tint2 redraws after a change)."""
    return kit.settled_shot(lambda: desktop.shot(rect), "the panel to settle", repeats=5)


changed_points = kit.changed_points


def prepare_folder(workdir):
    # Plain ASCII, readable in any encoding: a countdown years ahead and one tip.
    with open(os.path.join(workdir, "countdown.ini"), "wb") as f:
        f.write(b"GAOKAO COUNTDOWN\r\nLeft: \r\n6/7/2040\r\n9:00:00 AM\r\n")
    with open(os.path.join(workdir, "ral.txt"), "wb") as f:
        f.write(b"Read one page more every day.\r\n")


def run(probe):
    workdir = tempfile.mkdtemp(prefix="display-test.", dir=os.environ.get("TMPDIR"))
    prepare_folder(workdir)
    desktop = Desktop(workdir)
    process = None
    try:
        desktop.start()
        screen = desktop.screen_rect()
        panel = wait_for("tint2's panel", desktop.panel)
        bare = desktop.shot(screen)

        with open(os.path.join(workdir, "probe.log"), "w") as log:
            process = subprocess.Popen([probe], cwd=workdir, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=log)
        lines = Lines(process.stdout)
        check(lines.next("its start") == "ready", "the probe did not start")
        wait_for("the countdown to show",
                 lambda: changed_points(bare, desktop.shot(screen), (518, 355, 403, 216), panel))

        # Tint2's task list is left of the tray and the clock.
        tasks = (panel[0], panel[1], panel[2] // 2, panel[3])
        without_window = stable_shot(desktop, tasks)

        process.stdin.write(b"show\n")
        process.stdin.flush()
        check(lines.next("show") == "shown", "the probe did not show the window")
        client = wait_for("the window 显示设置", lambda: desktop.client_named("显示设置"))
        check(not desktop.skips_taskbar(client), "显示设置 keeps itself out of the taskbar")
        wait_for("tint2 to list 显示设置", lambda: desktop.shot(tasks) != without_window)
        wait_for("显示设置 to be viewable",
                 lambda: client.get_attributes().map_state == X.IsViewable)

        # "显示位置": its button, by the design's twips.
        inner = wait_for("the client area", lambda: desktop.position(client))
        xdotool("mousemove", inner[0] + px(570 + 1215 / 2), inner[1] + px(1560 + 480 / 2),
                "click", "1")
        wait_for("the position face", lambda: desktop.name(client) == "显示位置调整")

        # A drag on the body, away from the title bar and the controls. (The frame may have
        # gained a resize handle with the position face.)
        # On a busy machine the button may be up again before the window manager has taken
        # the move the press asked for, and the drag comes to nothing: it is tried again
        # from where the window stands, a few times.
        moved = None
        for attempt in range(3):
            before = stable_rect(desktop, client)
            inner = desktop.position(client)
            start = (inner[0] + 12, inner[1] + 12)
            xdotool("mousemove", start[0], start[1], "mousedown", "1")
            for step in range(1, 11):
                xdotool("mousemove", start[0] + DRAG[0] * step // 10,
                        start[1] + DRAG[1] * step // 10)
            xdotool("mouseup", "1")
            try:
                moved = wait_for("the drag to move the window",
                                 lambda: (lambda f: f if abs(f[0] - before[0] - DRAG[0]) <= 2
                                          and abs(f[1] - before[1] - DRAG[1]) <= 2 else None)(
                                              desktop.frame(client)),
                                 timeout=kit.TIMEOUT / 3)
                break
            except Failure:
                if attempt == 2:
                    raise
                print("the drag moved nothing (attempt %d); again" % (attempt + 1))
        check(desktop.position(client)[2:] == inner[2:],
              "the drag changed the size: %r -> %r" % (inner, desktop.position(client)))

        # Moved and resized as the student would, with the window manager in between.
        xdotool("windowsize", client.id, TARGET_SIZE[0], TARGET_SIZE[1])
        wait_for("the new size", lambda: desktop.position(client)[2:] == TARGET_SIZE)
        xdotool("windowmove", client.id, TARGET_POSITION[0], TARGET_POSITION[1])
        wait_for("the move", lambda: abs(desktop.frame(client)[0] - TARGET_POSITION[0]) <= 30
                 and abs(desktop.frame(client)[1] - TARGET_POSITION[1]) <= 30)
        outer = stable_rect(desktop, client)
        inner = desktop.position(client)
        check(outer != inner and all(inside(p, outer) for p in
                                     [(inner[0], inner[1]),
                                      (inner[0] + inner[2] - 1, inner[1] + inner[3] - 1)]),
              "no frame around the window: %r in %r" % (inner, outer))

        # "完成": centred across the client area, below its centre by the design.
        xdotool("mousemove", inner[0] + inner[2] // 2,
                inner[1] + inner[3] // 2 + px(1680 + 495 / 2 - 2520 / 2), "click", "1")
        xdotool("mousemove", screen[2] - 2, 2)
        wait_for("显示设置 to close", lambda: desktop.client_named("显示位置调整") is None
                 and desktop.client_named("显示设置") is None)

        def countdown_in_place():
            shot = desktop.shot(screen)
            points = changed_points(bare, shot, screen, panel)
            if not points or any(not inside(p, outer) for p in points):
                return None
            # The first line (after the first tick) and the tip both show.
            first = [p for p in points if p[1] < outer[1] + px(735)]
            tip = [p for p in points if p[1] >= outer[1] + px(1680)]
            return points if first and tip else None

        try:
            points = wait_for("the countdown inside %r" % (outer,), countdown_in_place)
        except Failure:
            points = changed_points(bare, desktop.shot(screen), screen, panel)
            outside = [p for p in points if not inside(p, outer)]
            raise Failure("the countdown is not inside %r: %d text pixels, %d outside, e.g. %r"
                          % (outer, len(points), len(outside), outside[:3]))
        left = min(p[0] for p in points)
        right = max(p[0] for p in points)
        centre = (left + right) / 2
        check(abs(centre - (outer[0] + outer[2] / 2)) <= outer[2] * 0.05,
              "the text is not centred across %r: it spans x %d..%d" % (outer, left, right))

        wait_for("tint2 to drop the window", lambda: desktop.shot(tasks) == without_window)
        print("PASS: countdown inside %r" % (outer,))
        return 0
    except Failure as failure:
        print("FAIL: %s" % failure)
        log = os.path.join(workdir, "probe.log")
        if os.path.exists(log):
            with open(log) as f:
                tail = f.read()[-2000:]
            if tail.strip():
                print("probe output:\n" + tail)
        return 1
    finally:
        kit.stop_process(process)
        desktop.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def stable_rect(desktop, client):
    """The frame rectangle once the manager is done with it."""
    last = [None, 0]

    def settled():
        now = desktop.frame(client)
        if now == last[0]:
            last[1] += 1
        else:
            last[0], last[1] = now, 0
        return now if last[1] >= 5 else None

    return wait_for("the window to settle", settled)


skip = kit.skip


def main(argv):
    return kit.program_driver(argv, run, doc=__doc__)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
