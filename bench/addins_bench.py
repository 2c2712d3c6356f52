#!/usr/bin/env python3
"""The "附加功能" window's cost, on a running virtual desktop (DISPLAY set, tint2 running).

Starts Dalvenor, measures it idle, opens "附加功能" from the tray icon's menu with the mouse
(time from the click to the window's map), shows the "版本说明" tab and measures the program
while the notes scroll, closes the window and measures again: CPU, wake-ups and private
memory in each phase.

    addins_bench.py --dalvenor build/bin/dalvenor [--duration 20] [--settle 3] [--json FILE]
"""

import argparse
import os
import subprocess
import sys
import time

from Xlib import X, display, error as xerror

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dalvenor_bench as bench  # noqa: E402

ADDINS_TITLE = "附加功能"
MENU_ITEMS = 6
ADDINS_ITEM = 4


def has_class(win, name):
    try:
        cls = win.get_wm_class()
    except xerror.XError:
        return False
    return bool(cls) and any(part.lower() == name for part in cls)


def absolute_geometry(d, win):
    geometry = win.get_geometry()
    origin = win.translate_coords(d.screen().root, 0, 0)
    return -origin.x, -origin.y, geometry.width, geometry.height


def walk(d, start):
    pending = [start]
    while pending:
        win = pending.pop()
        try:
            children = win.query_tree().children
        except xerror.XError:
            continue
        yield win
        pending.extend(children)


def tray_icon(d):
    """Centre of the program's icon inside tint2's panel, or None."""
    for panel in walk(d, d.screen().root):
        if not has_class(panel, "tint2"):
            continue
        for win in walk(d, panel):
            try:
                if (bench.window_name(d, win) == "Dalvenor"
                        and win.get_attributes().map_state == X.IsViewable):
                    x, y, w, h = absolute_geometry(d, win)
                    if w > 4:
                        return x + w // 2, y + h // 2
            except xerror.XError:
                continue
    return None


def viewable_program_windows(d):
    found = {}
    for win in d.screen().root.query_tree().children:
        try:
            if (win.get_attributes().map_state == X.IsViewable
                    and has_class(win, "dalvenor")):
                found[win.id] = absolute_geometry(d, win)
        except xerror.XError:
            continue
    return found


def addins_window(d):
    for win in walk(d, d.screen().root):
        try:
            if (bench.window_name(d, win) == ADDINS_TITLE
                    and win.get_attributes().map_state == X.IsViewable):
                return win
        except xerror.XError:
            continue
    return None


def poll(probe, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(step)
    return None


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def open_from_menu(d, icon):
    """Right-clicks the icon, then clicks "附加功能...(&D)" at the moment returned."""
    before = viewable_program_windows(d)
    for _ in range(3):
        xdotool("mousemove", icon[0], icon[1], "click", "3")
        menu = poll(lambda: next((g for i, g in viewable_program_windows(d).items()
                                  if i not in before and g[2] >= 80
                                  and MENU_ITEMS * 14 <= g[3] <= MENU_ITEMS * 40), None), 10)
        if menu:
            x, y, w, h = menu
            item = h // MENU_ITEMS
            xdotool("mousemove", x + w // 3, y + item * ADDINS_ITEM + item // 2)
            clicked = time.monotonic()
            xdotool("click", "1")
            return clicked
    raise SystemExit("the tray menu did not open")


def measure(pid, seconds):
    start = bench.sample(pid)
    time.sleep(seconds)
    return bench.difference(start, bench.sample(pid))


def summary(name, result):
    cpu_percent = result["cpu_ns"] / 1e9 / result["seconds"] * 100
    # Over threads alive at the end: one that ended meanwhile would subtract its whole count.
    result["wakeups_per_s"] = sum(t["voluntary"] for t in result["threads"]) / result["seconds"]
    print(f"{name:<28} CPU {cpu_percent:6.2f} % of a core  wake-ups {result['wakeups_per_s']:6.2f}/s"
          f"  private {result['rss_anon_kib']:7d} KiB  PSS {result['pss_kib']:7d} KiB")
    return {"cpu_percent": cpu_percent, "wakeups_per_s": result["wakeups_per_s"],
            "rss_anon_kib": result["rss_anon_kib"], "pss_kib": result["pss_kib"]}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dalvenor", required=True)
    parser.add_argument("--env", action="append")
    parser.add_argument("--duration", type=float, default=20)
    parser.add_argument("--settle", type=float, default=3)
    parser.add_argument("--json")
    args = parser.parse_args()

    proc = bench.start_dalvenor(args.dalvenor, args.env)
    d = display.Display()
    try:
        bench.wait_for_window("dalvenor", proc, 30)
        icon = poll(lambda: tray_icon(d), 30)
        if not icon:
            raise SystemExit("no tray icon of the program")
        time.sleep(args.settle)
        results = {"idle": summary("idle, never opened", measure(proc.pid, args.duration))}

        # The window is created and mapped within the click's handling, before a map watcher
        # could select events on it: its becoming viewable is polled instead (a tree walk is
        # a few milliseconds, which bounds the resolution).
        clicked = open_from_menu(d, icon)
        mapped = poll(lambda: addins_window(d) and time.monotonic(), 30, step=0.002)
        if mapped is None:
            raise SystemExit("附加功能 was not mapped")
        results["menu_click_to_map_ms"] = (mapped - clicked) * 1000
        print(f"menu click to mapped window: {results['menu_click_to_map_ms']:.1f} ms")

        win = poll(lambda: addins_window(d), 30)
        x, y, _, _ = absolute_geometry(d, win)
        # The third tab, "版本说明", sits about 95 pixels from the left of the tab row.
        xdotool("mousemove", x + 95, y + 12, "click", "1")
        time.sleep(1)
        results["scrolling"] = summary("版本说明 visible, scrolling",
                                       measure(proc.pid, args.duration))

        xdotool("windowactivate", "--sync", win.id)
        xdotool("key", "alt+F4")
        if not poll(lambda: addins_window(d) is None, 30):
            raise SystemExit("附加功能 did not close")
        time.sleep(args.settle)
        results["hidden"] = summary("after hiding", measure(proc.pid, args.duration))
        bench.write_json(args.json, results)
    finally:
        d.close()
        bench.stop(proc)


if __name__ == "__main__":
    main()
