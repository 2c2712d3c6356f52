#!/usr/bin/python3
"""Private memory of the idle program with a skin in use, next to the plain program.

Runs a copy of the program (in a temporary folder, so the skin file is a temporary one) on the
display in DISPLAY, first plain, then with each built-in skin as "skinh.she", and reads its
private memory (RssAnon) after it settled. Nothing is opened: the program idles as it does on
a desktop, with the countdown and the tray icon.

  skin_memory.py --dalvenor PROGRAM [--settle SECONDS] [--json FILE]
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import tempfile
import time

SKINS = ["skinh", "itunes", "office2007", "QQ2008"]


def rss_anon_kib(pid):
    with open("/proc/%d/status" % pid, encoding="utf-8") as f:
        for line in f:
            if line.startswith("RssAnon:"):
                return int(line.split()[1])
    return -1


def measure(executable, folder, settle):
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    proc = subprocess.Popen([executable], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        time.sleep(settle)  # a benchmark: the program is left to settle, then sampled
        if proc.poll() is not None:
            raise RuntimeError("the program ended with %s" % proc.returncode)
        return rss_anon_kib(proc.pid)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dalvenor", required=True)
    parser.add_argument("--settle", type=float, default=5)
    parser.add_argument("--json")
    args = parser.parse_args()

    bin_dir = os.path.dirname(os.path.abspath(args.dalvenor))
    work = tempfile.mkdtemp(prefix="skin-memory.")
    try:
        folder = os.path.join(work, "program")
        os.makedirs(folder)
        executable = os.path.join(folder, "dalvenor")
        shutil.copy2(args.dalvenor, executable)
        # A portable copy: its own folder is its data folder, where skinh.she is read.
        for name in ("countdown.ini", "ral.txt", "dalvenor.portable"):
            if os.path.isfile(os.path.join(bin_dir, name)):
                shutil.copy2(os.path.join(bin_dir, name), folder)
        shutil.copytree(os.path.join(bin_dir, "skins"), os.path.join(folder, "skins"))
        active = os.path.join(folder, "skinh.she")

        results = {"plain": measure(executable, folder, args.settle)}
        for skin in SKINS:
            shutil.copy2(os.path.join(folder, "skins", skin + ".she"), active)
            results[skin] = measure(executable, folder, args.settle)
        print("Private memory (RssAnon) of the idle program after %g s:" % args.settle)
        for name, kib in results.items():
            delta = "" if name == "plain" else " (%+d KiB)" % (kib - results["plain"])
            print("  %-10s %6d KiB%s" % (name, kib, delta))
        if args.json:
            with open(args.json, "w", encoding="utf-8") as f:
                json.dump(results, f, indent=2)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
