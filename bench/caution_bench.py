#!/usr/bin/python3
"""The study reminder's cost on an X desktop (DISPLAY must be set; a tray host must run).

Starts the program in a folder of its own with a "settings.ini" whose interval is one minute,
confirms the reminder through the tray menu and the "提醒窗口" tab (xdotool), then measures
  idle   CPU time and wake-ups with the reminder running, between "确认" and the first pop-up;
  slide  the same over one whole showing, from the pop-up's appearance to its close (~42 s).
Real time throughout: a sped-up clock would make the timers fire more often than they do.

  caution_bench.py --program PATH [--json FILE]
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dalvenor_bench import difference, sample  # noqa: E402

TITLE = "学习提醒"


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=30).stdout.strip()


def visible(name=None, cls=None):
    args = ["xdotool", "search", "--onlyvisible"]
    args += ["--class", f"^{cls}$"] if cls else ["--name", f"^{name}$"]
    return run(*args).split()


def wait_for(probe, timeout, step=0.2):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(step)
    return None


def tray_icon():
    tree = run("xwininfo", "-root", "-tree")
    for m in re.finditer(r'"Dalvenor": \("dalvenor" "Dalvenor"\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+'
                         r'\+(-?\d+)\+(-?\d+)', tree):
        w, h, x, y = map(int, m.groups())
        if w <= 64 and h <= 64 and y > 600:
            return x + w // 2, y + h // 2
    return None


def geometry(window):
    info = run("xwininfo", "-id", window)
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return (get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"),
            get("Height"))


def confirm_reminder():
    icon = wait_for(tray_icon, 30)
    if not icon:
        sys.exit("caution_bench: no tray icon")
    before = set(visible(cls="dalvenor"))
    menu = None
    for _ in range(5):
        run("xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "3")
        menu = wait_for(lambda: [w for w in visible(cls="dalvenor") if w not in before], 5)
        if menu:
            break
    if not menu:
        sys.exit("caution_bench: no tray menu")
    x, y, w, h = geometry(menu[0])
    run("xdotool", "mousemove", str(x + w // 2), str(y + h * 9 // 12), "click", "1")
    addins = wait_for(lambda: visible(name="附加功能"), 30)
    if not addins:
        sys.exit("caution_bench: no 附加功能 window")
    run("xdotool", "windowactivate", "--sync", addins[0])
    run("xdotool", "key", "ctrl+Tab", "ctrl+Tab", "ctrl+Tab")
    time.sleep(0.3)
    x, y, _, _ = geometry(addins[0])
    run("xdotool", "mousemove", str(x + 212), str(y + 208), "click", "1")
    if not wait_for(lambda: not visible(name="附加功能"), 30):
        sys.exit("caution_bench: 确认 did not hide the window")


def summary(d):
    # Wake-ups of the threads alive at the end: a thread that ended in between (Qt's helpers)
    # takes its count with it, and the totals would go down.
    wakeups = sum(t["voluntary"] for t in d["threads"])
    return {k: d[k] for k in ("seconds", "cpu_ms_per_min", "rss_anon_kib")} | {
        "cpu_percent": d["cpu_ns"] / 1e9 / d["seconds"] * 100,
        "wakeups_per_s": wakeups / d["seconds"]}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--json")
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="dalvenor-caution-")
    program = os.path.join(folder, "dalvenor")
    shutil.copy(args.program, program)
    # A portable copy: its own folder is its data folder, where settings.ini is read.
    shutil.copy(os.path.join(os.path.dirname(args.program), "dalvenor.portable"), folder)
    with open(os.path.join(folder, "settings.ini"), "wb") as f:
        f.write(TITLE.encode("gbk") + b"\r\nstudy now\r\n1\r\n")
    process = subprocess.Popen([program], cwd=folder)
    try:
        confirm_reminder()
        confirmed = time.monotonic()
        time.sleep(3)  # the clicks' aftermath
        idle_start = sample(process.pid)
        # Up to shortly before the minute is due.
        time.sleep(max(0.0, confirmed + 55 - time.monotonic()))
        idle = difference(idle_start, sample(process.pid))

        popup = wait_for(lambda: visible(name=TITLE), 30, step=0.05)
        if not popup:
            sys.exit("caution_bench: the reminder never popped up")
        slide_start = sample(process.pid)
        if not wait_for(lambda: not visible(name=TITLE), 120, step=0.5):
            sys.exit("caution_bench: the pop-up did not close")
        slide = difference(slide_start, sample(process.pid))
    finally:
        process.kill()
        process.wait()
        shutil.rmtree(folder, ignore_errors=True)

    result = {"idle": summary(idle), "slide": summary(slide)}
    print(f"reminder idle: {result['idle']['cpu_ms_per_min']:.1f} ms CPU/min, "
          f"{result['idle']['wakeups_per_s']:.2f} wake-ups/s over {idle['seconds']:.0f} s")
    print(f"reminder slide: {result['slide']['cpu_percent']:.2f} % of one core, "
          f"{result['slide']['wakeups_per_s']:.1f} wake-ups/s over {slide['seconds']:.1f} s")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(result, f, indent=1)


if __name__ == "__main__":
    main()
