#!/usr/bin/python3
"""Measurements of the running program on an X desktop (DISPLAY must be set).

  side-by-side  Dalvenor and Conky (an equivalent three-line countdown) run together; after
                both settled, CPU time, wake-ups and memory of each over a fixed wall time.
                With --compositor picom|xcompmgr, under that compositing manager (shadows
                on), started before both and stopped after; give Conky an ARGB visual then
                (conky/countdown_argb.conf).
  startup       time from starting the program to its window being mapped, several runs.
  armed-idle    one program, idle as started, then with a 方式二 countdown armed through
                "附加功能" and the window closed (hidden): CPU, wake-ups and memory of each
                period. Its power service is a logind mock on a private bus.
  tick-cost     instructions per second of the idle program under callgrind.
  smaps-diff    private memory of two /proc smaps files (armed-idle's --plain-smaps and
                --smaps), mapping by mapping: where the growth lies.
  threads       per-thread CPU time and wake-ups of a running PID over some seconds.
  report        the Markdown table from the JSON files the other commands wrote.

Each measuring command writes JSON (--json) and prints a short summary. The programs run with
the environment of this process plus --env KEY=VALUE pairs (for trying a setting).
"""

import argparse
import json
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import time

from Xlib import X, display, error as xerror

# ---------------------------------------------------------------------------------------------
# /proc sampling


def read_file(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def status_fields(text):
    fields = {}
    for line in text.splitlines():
        key, _, value = line.partition(":")
        fields[key] = value.strip()
    return fields


def kib(value):
    # "1234 kB" -> 1234
    return int(value.split()[0]) if value else 0


def sample(pid):
    """CPU time (ns), context switches per thread, private memory and PSS of one process.

    Threads that ended before the sample are no longer listed: their CPU time and switches are
    lost, so long-lived threads are what these figures are about."""
    taken = time.monotonic()
    threads = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        base = f"/proc/{pid}/task/{tid}"
        try:
            cpu_ns = int(read_file(f"{base}/schedstat").split()[0])
            st = status_fields(read_file(f"{base}/status"))
            comm = read_file(f"{base}/comm").strip()
        except (FileNotFoundError, ProcessLookupError):
            continue
        threads[tid] = {
            "comm": comm,
            "cpu_ns": cpu_ns,
            "voluntary": int(st.get("voluntary_ctxt_switches", 0)),
            "nonvoluntary": int(st.get("nonvoluntary_ctxt_switches", 0)),
        }
    st = status_fields(read_file(f"/proc/{pid}/status"))
    rollup = status_fields(read_file(f"/proc/{pid}/smaps_rollup"))
    return {
        "time": taken,
        "threads": threads,
        "cpu_ns": sum(t["cpu_ns"] for t in threads.values()),
        "voluntary": sum(t["voluntary"] for t in threads.values()),
        "nonvoluntary": sum(t["nonvoluntary"] for t in threads.values()),
        "rss_anon_kib": kib(st.get("RssAnon")),
        "rss_kib": kib(st.get("VmRSS")),
        "pss_kib": kib(rollup.get("Pss")),
        "pss_anon_kib": kib(rollup.get("Pss_Anon")),
    }


def difference(start, end):
    seconds = end["time"] - start["time"]
    per_thread = []
    for tid, t in end["threads"].items():
        s = start["threads"].get(tid, {"cpu_ns": 0, "voluntary": 0, "nonvoluntary": 0})
        per_thread.append({
            "tid": tid,
            "comm": t["comm"],
            "new": tid not in start["threads"],
            "cpu_ns": t["cpu_ns"] - s["cpu_ns"],
            "voluntary": t["voluntary"] - s["voluntary"],
            "nonvoluntary": t["nonvoluntary"] - s["nonvoluntary"],
        })
    gone = [t["comm"] for tid, t in start["threads"].items() if tid not in end["threads"]]
    wakeups = end["voluntary"] - start["voluntary"]
    return {
        "seconds": seconds,
        "cpu_ns": end["cpu_ns"] - start["cpu_ns"],
        "cpu_ms_per_min": (end["cpu_ns"] - start["cpu_ns"]) / 1e6 * 60 / seconds,
        "wakeups": wakeups,
        "wakeups_per_s": wakeups / seconds,
        "nonvoluntary": end["nonvoluntary"] - start["nonvoluntary"],
        "rss_anon_kib": end["rss_anon_kib"],
        "rss_kib": end["rss_kib"],
        "pss_kib": end["pss_kib"],
        "pss_anon_kib": end["pss_anon_kib"],
        "threads": per_thread,
        "threads_gone": gone,
    }


# ---------------------------------------------------------------------------------------------
# X windows


def window_name(d, win):
    try:
        for atom_name in ("_NET_WM_NAME", "WM_NAME"):
            atom = d.intern_atom(atom_name)
            prop = win.get_full_property(atom, X.AnyPropertyType)
            if prop and prop.value:
                value = prop.value
                return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
    except xerror.XError:
        pass
    return ""


def window_class(win):
    try:
        cls = win.get_wm_class()
        return cls[1] if cls else ""
    except xerror.XError:
        return ""


def window_matches(d, win, kind):
    try:
        geometry = win.get_geometry()
    except xerror.XError:
        return False
    if kind == "dalvenor":
        # The tray icon carries the program's name too; the countdown window is the large one.
        return geometry.width >= 100 and window_name(d, win) == "Dalvenor"
    # Conky maps its window small and sizes it to the text afterwards.
    return window_class(win) == "conky"


class MapWatcher:
    """Reports the first MapNotify of a window of the given kind, under a window manager or
    not: root children are seen through SubstructureNotify on the root, and every new window
    is watched itself, so that its own map is seen after the manager reparented it."""

    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.display.sync()

    def wait(self, kind, deadline, alive=lambda: True):
        seen = set()
        while time.monotonic() < deadline:
            if not self.display.pending_events():
                ready, _, _ = select.select([self.display.fileno()], [], [], 0.05)
                if not ready:
                    if not alive():
                        return None
                    continue
            event = self.display.next_event()
            stamp = time.monotonic()
            if event.type == X.CreateNotify:
                try:
                    event.window.change_attributes(event_mask=X.StructureNotifyMask)
                except xerror.XError:
                    pass
            elif event.type == X.MapNotify:
                win = event.window
                if win.id in seen:
                    continue
                seen.add(win.id)
                if window_matches(self.display, win, kind):
                    return stamp
        return None

    def close(self):
        self.display.close()


def find_window(kind):
    d = display.Display()
    try:
        pending = [d.screen().root]
        while pending:
            win = pending.pop()
            try:
                attributes = win.get_attributes()
                if attributes.map_state == X.IsViewable and window_matches(d, win, kind):
                    return True
                pending.extend(win.query_tree().children)
            except xerror.XError:
                continue
        return False
    finally:
        d.close()


def wait_for_window(kind, proc, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise SystemExit(f"{kind} ended early with status {proc.returncode}")
        if find_window(kind):
            return
        time.sleep(0.1)
    raise SystemExit(f"{kind} did not map its window within {timeout} s")


# ---------------------------------------------------------------------------------------------
# Programs


def program_env(extra):
    env = dict(os.environ)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    for item in extra or []:
        # KEY=VALUE sets a variable, -KEY removes it.
        if item.startswith("-"):
            env.pop(item[1:], None)
        else:
            key, _, value = item.partition("=")
            env[key] = value
    return env


def start_dalvenor(program, extra_env, prefix=()):
    return subprocess.Popen(
        [*prefix, program],
        cwd=os.path.dirname(program),
        env=program_env(extra_env),
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )


def start_conky(config, tips):
    env = program_env([])
    env["BENCH_CONKY_TIPS"] = tips
    return subprocess.Popen(
        ["conky", "-c", config],
        env=env,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def write_json(path, data):
    if path:
        with open(path, "w", encoding="utf-8") as f:
            json.dump(data, f, indent=1, ensure_ascii=False)


def thread_table(result):
    lines = []
    for t in sorted(result["threads"], key=lambda t: -t["voluntary"]):
        lines.append(f"    {t['comm']:<18} cpu {t['cpu_ns'] / 1e6:9.3f} ms"
                     f"  wake-ups {t['voluntary']:5d}  involuntary {t['nonvoluntary']:4d}"
                     f"{'  (new)' if t['new'] else ''}")
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------
# Commands


COMPOSITORS = {
    # No configuration file: the built-in rules, shadows on for every window.
    "picom": ["picom", "-c", "--backend", "xrender", "--config", "/dev/null"],
    "xcompmgr": ["xcompmgr", "-c"],
}


def compositor_running():
    d = display.Display()
    try:
        owner = d.get_selection_owner(d.intern_atom("_NET_WM_CM_S%d" % d.get_default_screen()))
        return owner not in (0, X.NONE) and getattr(owner, "id", owner) != 0
    finally:
        d.close()


def start_compositor(name):
    proc = subprocess.Popen(COMPOSITORS[name], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while not compositor_running():
        if proc.poll() is not None or time.monotonic() > deadline:
            stop(proc)
            raise SystemExit(f"{name} did not take the compositing selection")
        time.sleep(0.1)
    return proc


def window_depth(kind):
    """The depth of the viewable window of this kind, 0 when there is none."""
    d = display.Display()
    try:
        pending = [d.screen().root]
        while pending:
            win = pending.pop()
            try:
                if (win.get_attributes().map_state == X.IsViewable
                        and window_matches(d, win, kind)):
                    return win.get_geometry().depth
                pending.extend(win.query_tree().children)
            except xerror.XError:
                continue
        return 0
    finally:
        d.close()


def cmd_side_by_side(args):
    compositor = start_compositor(args.compositor) if args.compositor else None
    dalvenor = start_dalvenor(args.dalvenor, args.env)
    conky = None if args.no_conky else start_conky(args.conky_config, args.conky_tips)
    try:
        wait_for_window("dalvenor", dalvenor, 30)
        if conky:
            wait_for_window("conky", conky, 30)
        depths = {"dalvenor": window_depth("dalvenor")}
        if conky:
            depths["conky"] = window_depth("conky")
        if compositor and depths["dalvenor"] != 32:
            raise SystemExit("under %s the countdown's window has depth %d, not 32"
                             % (args.compositor, depths["dalvenor"]))
        time.sleep(args.settle)
        procs = {"dalvenor": dalvenor}
        if conky:
            procs["conky"] = conky
        start = {name: sample(p.pid) for name, p in procs.items()}
        t0 = min(s["time"] for s in start.values())
        time.sleep(max(0.0, t0 + args.duration - time.monotonic()))
        end = {name: sample(p.pid) for name, p in procs.items()}
        for name, p in procs.items():
            if p.poll() is not None:
                raise SystemExit(f"{name} ended during the measurement")
        if compositor and compositor.poll() is not None:
            raise SystemExit(f"{args.compositor} ended during the measurement")
    finally:
        stop(dalvenor)
        if conky:
            stop(conky)
        if compositor:
            stop(compositor)
    result = {name: difference(start[name], end[name]) for name in start}
    result["env"] = args.env or []
    result["compositor"] = args.compositor or ""
    result["depths"] = depths
    write_json(args.json, result)
    for name in start:
        r = result[name]
        print(f"{name} (window depth {depths.get(name)}): {r['seconds']:.3f} s,"
              f" CPU {r['cpu_ns'] / 1e6:.3f} ms,"
              f" wake-ups {r['wakeups']} ({r['wakeups_per_s']:.2f}/s),"
              f" RssAnon {r['rss_anon_kib']} KiB, PSS {r['pss_kib']} KiB")
        print(thread_table(r))


def cmd_armed_idle(args):
    import tempfile
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                    "tests", "addins"))
    import power_desktop as pd

    folder = tempfile.mkdtemp(prefix="dalvenor-armed-")
    logind = pd.LogindMock(folder, sys.executable)
    proc = None
    desktop = None
    try:
        logind.start()
        desktop = pd.Desktop(os.environ["DISPLAY"])
        # Never the machine's logind: the program's system bus is the private one.
        env = logind.environment(program_env(args.env))
        program = os.path.abspath(args.dalvenor)
        proc = subprocess.Popen([program], cwd=os.path.dirname(program), env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for_window("dalvenor", proc, 30)
        time.sleep(args.settle)
        plain_start = sample(proc.pid)
        time.sleep(args.duration)
        plain = difference(plain_start, sample(proc.pid))
        if args.plain_smaps:
            copy_smaps(proc.pid, args.plain_smaps)

        window, _ = pd.open_addins(desktop, proc)
        pd.arm_countdown(desktop, window, pd.tab_point(), {"TextHour": ["2"]})
        pd.wait_for("CanPowerOff at arming", lambda: logind.calls("CanPowerOff"))
        desktop.close_window(window)
        pd.wait_for("the window to hide", lambda: not desktop.is_viewable(window))
        time.sleep(args.settle)
        armed_start = sample(proc.pid)
        time.sleep(args.duration)
        armed = difference(armed_start, sample(proc.pid))
        if args.smaps:
            # Where the armed program's private memory lies, mapping by mapping.
            with open(f"/proc/{proc.pid}/smaps", encoding="utf-8", errors="replace") as f:
                smaps = f.read()
            with open(args.smaps, "w", encoding="utf-8") as f:
                f.write(smaps)
        if proc.poll() is not None:
            raise SystemExit("dalvenor ended during the measurement")
        if logind.calls("PowerOff"):
            raise SystemExit("the countdown fired during the measurement")
    finally:
        if proc is not None:
            stop(proc)
        if desktop is not None:
            desktop.close()
        logind.stop()
        subprocess.run(["rm", "-rf", folder])
    # Pooled threads of the window may end within a period; totals from the process would then
    # lose what they had counted before the first sample. Count each thread's own change.
    for r in (plain, armed):
        r["cpu_ns"] = sum(t["cpu_ns"] for t in r["threads"])
        r["cpu_ms_per_min"] = r["cpu_ns"] / 1e6 * 60 / r["seconds"]
        r["wakeups"] = sum(t["voluntary"] for t in r["threads"])
        r["wakeups_per_s"] = r["wakeups"] / r["seconds"]
    result = {"plain": plain, "armed": armed, "env": args.env or []}
    write_json(args.json, result)
    for name, r in (("plain idle", plain), ("方式二 armed, window hidden", armed)):
        print(f"{name}: {r['seconds']:.3f} s, CPU {r['cpu_ns'] / 1e6:.3f} ms,"
              f" wake-ups {r['wakeups']} ({r['wakeups_per_s']:.2f}/s),"
              f" RssAnon {r['rss_anon_kib']} KiB, PSS {r['pss_kib']} KiB")
        print(thread_table(r))


def copy_smaps(pid, path):
    with open(f"/proc/{pid}/smaps", encoding="utf-8", errors="replace") as f:
        smaps = f.read()
    with open(path, "w", encoding="utf-8") as f:
        f.write(smaps)


def smaps_private(path):
    """Anonymous KiB per mapping name of one smaps file. Nameless mappings are told apart by
    their size and permissions (malloc's large blocks, thread stacks, arenas), shared memory
    (the backing stores' MIT-SHM images) is listed under its own name with its Rss."""
    totals = {}
    name = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            m = re.match(r"^([0-9a-f]+)-([0-9a-f]+) (\S+) \S+ \S+ \d+\s*(.*)$", line)
            if m:
                size = (int(m.group(2), 16) - int(m.group(1), 16)) // 1024
                name = m.group(4).strip() or f"[anonymous {size} KiB {m.group(3)}]"
                shared = "memfd:" in name or "SYSV" in name
                continue
            key, _, value = line.partition(":")
            if name is None:
                continue
            if (key == "Anonymous" and not shared) or (key == "Rss" and shared):
                label = f"{name} (shared)" if shared else name
                totals[label] = totals.get(label, 0) + kib(value.strip())
    return totals


def cmd_smaps_diff(args):
    before, after = smaps_private(args.before), smaps_private(args.after)
    rows = sorted(((after.get(k, 0) - before.get(k, 0), k) for k in set(before) | set(after)),
                  reverse=True)
    for change, name in rows:
        if change:
            print(f"{change:+7d} KiB  {before.get(name, 0):6d} -> {after.get(name, 0):6d}  {name}")
    private = lambda t: sum(v for k, v in t.items() if not k.endswith("(shared)"))
    print(f"anonymous in all: {private(before)} -> {private(after)} KiB")


def cmd_threads(args):
    start = sample(args.pid)
    time.sleep(args.duration)
    r = difference(start, sample(args.pid))
    write_json(args.json, r)
    print(f"pid {args.pid}: {r['seconds']:.3f} s, CPU {r['cpu_ns'] / 1e6:.3f} ms,"
          f" wake-ups {r['wakeups']} ({r['wakeups_per_s']:.2f}/s)")
    print(thread_table(r))


def cmd_startup(args):
    runs = {"dalvenor": [], "conky": [], "floor": []}
    kinds = (["dalvenor"] + ([] if args.no_conky else ["conky"])
             + (["floor"] if args.floor else []))
    for run in range(args.runs + 1):  # the first run only warms the caches
        for kind in kinds:
            watcher = MapWatcher()
            started = time.monotonic()
            if kind == "dalvenor":
                proc = start_dalvenor(args.dalvenor, args.env)
            elif kind == "floor":
                proc = start_dalvenor(args.floor, args.env)
            else:
                proc = start_conky(args.conky_config, args.conky_tips)
            # The floor's window carries the program's title and size.
            shown_as = "dalvenor" if kind == "floor" else kind
            mapped = watcher.wait(shown_as, started + 30, lambda: proc.poll() is None)
            watcher.close()
            stop(proc)
            if mapped is None:
                raise SystemExit(f"{kind} did not map its window (run {run})")
            if run > 0:
                runs[kind].append((mapped - started) * 1000)
            time.sleep(0.3)
    result = {
        kind: {"runs_ms": runs[kind], "median_ms": statistics.median(runs[kind])}
        for kind in kinds
    }
    result["env"] = args.env or []
    write_json(args.json, result)
    for kind in kinds:
        print(f"{kind}: start to mapped window, median {result[kind]['median_ms']:.1f} ms"
              f" of {len(runs[kind])} runs: "
              + " ".join(f"{v:.1f}" for v in runs[kind]))


def callgrind_total(path, functions):
    """Total instructions and the inclusive count of each named function."""
    out = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", path],
                         capture_output=True, text=True, check=True).stdout
    total = 0
    found = {}
    for line in out.splitlines():
        m = re.match(r"\s*([\d,]+)\s+(?:\([^)]*\)\s+)?PROGRAM TOTALS", line)
        if m:
            total = int(m.group(1).replace(",", ""))
            continue
        m = re.match(r"\s*([\d,]+)\s+(?:\([^)]*\)\s+)?(?:\*\s+)?\S*?:(.*?)(?:\s+\[.*\])?\s*$", line)
        if not m:
            continue
        count = int(m.group(1).replace(",", ""))
        name = m.group(2)
        for key, pattern in functions.items():
            if key not in found and pattern in name:
                found[key] = count
    return total, found


def dump_trigger(path):
    """What made callgrind write the dump: "dump" on request, "Program termination" at exit."""
    with open(path, errors="replace") as f:
        for _, line in zip(range(40), f):
            if line.startswith("desc: Trigger:"):
                return line.split(":", 2)[2].strip()
    return ""


def cmd_tick_cost(args):
    out = os.path.join(args.workdir, "callgrind.out")
    proc = start_dalvenor(args.dalvenor, args.env, prefix=(
        "valgrind", "--tool=callgrind", "--trace-children=no",
        f"--callgrind-out-file={out}",
    ))
    try:
        wait_for_window("dalvenor", proc, 120)
        time.sleep(args.settle)
        # Start-up is left out: the counters restart from zero once the program is idle.
        subprocess.run(["callgrind_control", "-z", str(proc.pid)],
                       check=True, capture_output=True)
        began = time.monotonic()
        time.sleep(args.duration)
        subprocess.run(["callgrind_control", "-d", str(proc.pid)], check=True,
                       capture_output=True)
        seconds = time.monotonic() - began
    finally:
        stop(proc)
    dumps = sorted(os.path.join(args.workdir, f) for f in os.listdir(args.workdir)
                   if f.startswith("callgrind.out"))
    # The idle seconds are in the dump asked for above; the one written at exit holds the
    # shutdown, which is larger than a few idle seconds and no tick at all.
    asked = [d for d in dumps if dump_trigger(d) != "Program termination"]
    if not asked:
        sys.exit("tick-cost: callgrind wrote no dump on request")
    dump = max(asked, key=os.path.getsize)
    total, found = callgrind_total(dump, {
        # The heartbeat's tick reaches the countdown here (Timer1_Timer is the same with
        # a reading of the clock of its own).
        "tick": "CountdownWindow::showCountdownAt",
        "reshape": "ColorKeyShaper::reshape",
        "render": "QWidget::render(",
        "colorKeyMask": "colorKeyMask",
        "setMask": "QWidget::setMask",
        "repaint": "QWidgetRepaintManager::paintAndFlush",
    })
    result = {
        "seconds": seconds,
        "instructions": total,
        "instructions_per_s": total / seconds,
        "inclusive": found,
        "dump": dump,
        "env": args.env or [],
    }
    write_json(args.json, result)
    print(f"tick cost: {total / seconds / 1e6:.2f} M instructions per second over"
          f" {seconds:.1f} s under callgrind")
    for key, value in found.items():
        print(f"    {key:<14} {value / seconds / 1e6:8.3f} M/s inclusive")


# ---------------------------------------------------------------------------------------------
# Report


def load(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except (FileNotFoundError, json.JSONDecodeError):
        return None


def tips_values(path):
    values = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                values[key] = value
    except FileNotFoundError:
        pass
    return values


def verdict(ok):
    return "pass" if ok else "**FAIL**"


def cmd_report(args):
    rows = []
    side = load(os.path.join(args.dir, "side_by_side.json"))
    if side:
        d, c = side["dalvenor"], side.get("conky")
        seconds = d["seconds"]
        if c:
            rows.append(("CPU time over %.1f s" % seconds,
                         "%.2f ms" % (d["cpu_ns"] / 1e6), "%.2f ms" % (c["cpu_ns"] / 1e6),
                         "≤ ½ Conky (%.2f ms)" % (c["cpu_ns"] / 2e6),
                         verdict(d["cpu_ns"] <= c["cpu_ns"] / 2)))
        rows.append(("Wake-ups per second", "%.2f (%d)" % (d["wakeups_per_s"], d["wakeups"]),
                     "%.2f (%d)" % (c["wakeups_per_s"], c["wakeups"]) if c else "—",
                     "≤ 1.2", verdict(d["wakeups_per_s"] <= 1.2)))
        if c:
            rows.append(("Private memory (RssAnon)", "%d KiB" % d["rss_anon_kib"],
                         "%d KiB" % c["rss_anon_kib"], "≤ Conky",
                         verdict(d["rss_anon_kib"] <= c["rss_anon_kib"])))
        rows.append(("PSS", "%d KiB" % d["pss_kib"], "%d KiB" % c["pss_kib"] if c else "—",
                     "(reported)", "—"))
    start = load(os.path.join(args.dir, "startup.json"))
    if start:
        d = start["dalvenor"]
        c = start.get("conky")
        rows.append(("Start to mapped window (median of %d)" % len(d["runs_ms"]),
                     "%.0f ms" % d["median_ms"], "%.0f ms" % c["median_ms"] if c else "—",
                     "≤ 2× Conky (%.0f ms)" % (2 * c["median_ms"]) if c else "(reported)",
                     verdict(d["median_ms"] <= 2 * c["median_ms"]) if c else "—"))
        f = start.get("floor")
        if f:
            rows.append(("Start to mapped window of a bare Qt Widgets window (the toolkit's floor)",
                         "%.0f ms" % f["median_ms"], "%.0f ms" % c["median_ms"] if c else "—",
                         "(reported)", "—"))
    tips = tips_values(os.path.join(args.dir, "tips_load.txt"))
    if tips.get("load_ms_median"):
        size = int(tips["file_bytes"])
        growth = int(tips["rss_anon_growth_bytes"])
        peak = int(tips["peak_rss_growth_bytes"])
        rows.append(("Load %s-line tips file (%.1f MB), median of %s" % (
                         f"{int(tips['lines']):,}", size / 1e6, tips["runs"]),
                     "%s ms" % tips["load_ms_median"], "—", "< 1000 ms",
                     verdict(float(tips["load_ms_median"]) < 1000)))
        rows.append(("Memory growth of that load (RssAnon; peak)",
                     "%.1f MB = %.2f× file; peak %.2f×" % (growth / 1e6, growth / size,
                                                            peak / size),
                     "—", "≤ 2× file", verdict(growth <= 2 * size and peak <= 2 * size)))
        rows.append(("Look-up of one random tip", "%s µs" % tips["tip_lookup_us_median"], "—",
                     "(reported)", "—"))
    tick = load(os.path.join(args.dir, "tick_cost.json"))
    if tick:
        inc = tick["inclusive"]
        detail = ", ".join("%s %.2f M" % (k, v / tick["seconds"] / 1e6) for k, v in inc.items()
                           if k in ("tick", "reshape", "render"))
        rows.append(("Instructions per second (≈ one tick), callgrind",
                     "%.2f M (%s)" % (tick["instructions_per_s"] / 1e6, detail), "—",
                     "(reported)", "—"))
    lines = ["| Figure | Dalvenor | Conky | Target | Result |", "|---|---|---|---|---|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    armed = load(os.path.join(args.dir, "armed_idle.json"))
    if armed:
        p, a = armed["plain"], armed["armed"]
        lines += ["", "Idle with a 方式二 countdown armed and the window hidden, against the same"
                  " program idle just before (%.1f s each):" % a["seconds"], "",
                  "| Figure | Plain idle | Armed, hidden | Target | Result |",
                  "|---|---|---|---|---|",
                  "| CPU time | %.2f ms | %.2f ms | (reported) | — |" % (p["cpu_ns"] / 1e6,
                                                                    a["cpu_ns"] / 1e6),
                  "| Wake-ups per second | %.2f (%d) | %.2f (%d) | ≤ 1.2 | %s |" % (
                      p["wakeups_per_s"], p["wakeups"], a["wakeups_per_s"], a["wakeups"],
                      verdict(a["wakeups_per_s"] <= 1.2)),
                  "| Private memory (RssAnon) | %d KiB | %d KiB (+%d) | ≤ +512 KiB | %s |" % (
                      p["rss_anon_kib"], a["rss_anon_kib"], a["rss_anon_kib"] - p["rss_anon_kib"],
                      verdict(a["rss_anon_kib"] - p["rss_anon_kib"] <= 512)),
                  "| PSS | %d KiB | %d KiB | (reported) | — |" % (p["pss_kib"], a["pss_kib"])]
    composited = load(os.path.join(args.dir, "composited.json"))
    if composited:
        d, c = composited["dalvenor"], composited.get("conky")
        lines += ["", "Under a compositor (%s, shadows on), beside Conky on an ARGB visual"
                  " (own_window_argb_visual), %.1f s:" % (composited["compositor"],
                                                          d["seconds"]), "",
                  "| Figure | Dalvenor | Conky | Target | Result |", "|---|---|---|---|---|"]
        plain_cpu = side["dalvenor"]["cpu_ns"] / side["dalvenor"]["seconds"] if side else None
        cpu = d["cpu_ns"] / d["seconds"]
        lines.append("| CPU time | %.2f ms | %s | ≤ without a compositor (%s) | %s |" % (
            d["cpu_ns"] / 1e6, "%.2f ms" % (c["cpu_ns"] / 1e6) if c else "—",
            "%.2f ms" % (plain_cpu * d["seconds"] / 1e6) if plain_cpu else "not measured",
            verdict(cpu <= plain_cpu) if plain_cpu else "—"))
        lines.append("| Wake-ups per second | %.2f (%d) | %s | ≤ 1.2 | %s |" % (
            d["wakeups_per_s"], d["wakeups"],
            "%.2f (%d)" % (c["wakeups_per_s"], c["wakeups"]) if c else "—",
            verdict(d["wakeups_per_s"] <= 1.2)))
        lines.append("| Private memory (RssAnon) | %d KiB | %s | (reported) | — |" % (
            d["rss_anon_kib"], "%d KiB" % c["rss_anon_kib"] if c else "—"))
        depths = composited.get("depths", {})
        lines.append("| Window depth | %s | %s | 32 (per-pixel alpha) | %s |" % (
            depths.get("dalvenor", "—"), depths.get("conky", "—"),
            verdict(depths.get("dalvenor") == 32)))
    if side:
        for name in ("dalvenor", "conky"):
            if name not in side:
                continue
            lines += ["", f"Threads of {name} over the side-by-side run:", "",
                      "| Thread | CPU ms | Wake-ups | Involuntary |", "|---|---|---|---|"]
            for t in sorted(side[name]["threads"], key=lambda t: -t["voluntary"]):
                lines.append("| %s | %.3f | %d | %d |" % (t["comm"], t["cpu_ns"] / 1e6,
                                                         t["voluntary"], t["nonvoluntary"]))
    table = "\n".join(lines)
    print(table)
    if args.out:
        header = args.header.replace("\\n", "\n") if args.header else ""
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(header + table + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)

    def common(p, conky=True):
        p.add_argument("--dalvenor", required=True, help="the built executable")
        p.add_argument("--env", action="append", help="KEY=VALUE (or -KEY to unset) for the program only")
        p.add_argument("--json")
        if conky:
            p.add_argument("--conky-config")
            p.add_argument("--conky-tips", default="")
            p.add_argument("--no-conky", action="store_true")

    p = sub.add_parser("side-by-side")
    common(p)
    p.add_argument("--settle", type=float, default=5)
    p.add_argument("--duration", type=float, default=60)
    p.add_argument("--compositor", choices=sorted(COMPOSITORS))
    p.set_defaults(func=cmd_side_by_side)

    p = sub.add_parser("armed-idle")
    common(p, conky=False)
    p.add_argument("--settle", type=float, default=5)
    p.add_argument("--duration", type=float, default=60)
    p.add_argument("--smaps", help="write the armed program's /proc smaps here")
    p.add_argument("--plain-smaps", help="write the idle program's /proc smaps here (before arming)")
    p.set_defaults(func=cmd_armed_idle)

    p = sub.add_parser("startup")
    common(p)
    p.add_argument("--runs", type=int, default=7)
    p.add_argument("--floor", help="a bare Qt Widgets program started and timed the same way")
    p.set_defaults(func=cmd_startup)

    p = sub.add_parser("tick-cost")
    common(p, conky=False)
    p.add_argument("--workdir", required=True)
    p.add_argument("--settle", type=float, default=3)
    # A whole minute: the count changes length (and the whole line is drawn again) at fixed
    # seconds of each minute, so a shorter window gives a figure that depends on where it falls.
    p.add_argument("--duration", type=float, default=60)
    p.set_defaults(func=cmd_tick_cost)

    p = sub.add_parser("threads")
    p.add_argument("--pid", type=int, required=True)
    p.add_argument("--duration", type=float, default=10)
    p.add_argument("--json")
    p.set_defaults(func=cmd_threads)

    p = sub.add_parser("smaps-diff")
    p.add_argument("before")
    p.add_argument("after")
    p.set_defaults(func=cmd_smaps_diff)

    p = sub.add_parser("report")
    p.add_argument("--dir", required=True)
    p.add_argument("--out")
    p.add_argument("--header", default="")
    p.set_defaults(func=cmd_report)

    args = parser.parse_args()
    args.func(args)


if __name__ == "__main__":
    main()
