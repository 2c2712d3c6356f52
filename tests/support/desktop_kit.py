"""What the desktop test drivers share: failures and checks, waits with a deadline, a child's
answers read with a time limit, root window pixels, the virtual desktop, the buses a test may
use, a portable copy of the program, skipping and clean-up.

Each driver finds this folder relative to itself:

    sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'support'))
    import desktop_kit as kit

Every wait polls a condition with a generous deadline; nothing here assumes that one X
connection has seen what another client sent.
"""

import os
import select
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("DALVENOR_SOURCE_DIR", os.path.dirname(os.path.dirname(HERE)))
VIRTUAL_DESKTOP = os.path.join(SOURCE_DIR, "scripts", "virtual_desktop.sh")

# Seconds. Generous, since two desktop tests may share two busy cores: a wait that ends early
# finds a real fault only later, never a false one.
TIMEOUT = 30.0
SKIP = 77
# The root window's colour while a test reads the screen: no colour the program draws.
ROOT_COLOUR = (0x20, 0x80, 0x20)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, condition, timeout=TIMEOUT, interval=0.05, tolerate_errors=False):
    """Polls condition() until it returns something true; returns that.

    With tolerate_errors, an exception other than a Failure counts as a false answer (an
    object that went away while it was read)."""
    deadline = time.monotonic() + timeout
    while True:
        if tolerate_errors:
            try:
                result = condition()
            except Exception as error:
                if "Failure" in type(error).__name__:
                    raise
                result = None
        else:
            result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


class Lines:
    """The lines a child prints, each awaited with a time limit: a hung child fails the test
    instead of holding it until CTest's limit."""

    def __init__(self, stream, who="the probe", timeout=TIMEOUT):
        self.fd = stream.fileno()
        self.pending = b""
        self.who = who
        self.timeout = timeout

    def next(self, what):
        deadline = time.monotonic() + self.timeout
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure("timed out waiting for %s's answer to %s" % (self.who, what))
            if select.select([self.fd], [], [], left)[0]:
                chunk = os.read(self.fd, 4096)
                if not chunk:
                    raise Failure("%s ended instead of answering %s" % (self.who, what))
                self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode("utf-8", "replace").strip()


def pixel_value(rgb):
    return (rgb[0] << 16) | (rgb[1] << 8) | rgb[2]


class Shot:
    """A rectangle of the root window, as RGB triples by absolute position."""

    def __init__(self, root, rect):
        from Xlib import X
        x, y, w, h = rect
        data = root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        stride = len(data) // h
        self.rect = rect
        self.rows = []
        for row in range(h):
            line = data[row * stride:row * stride + 4 * w]
            # 24-bit TrueColor in 32-bit units, least significant byte first: B, G, R, pad.
            self.rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, 4 * w, 4)])

    def at(self, sx, sy):
        return self.rows[sy - self.rect[1]][sx - self.rect[0]]

    def points(self, sub=None):
        x0, y0, w, h = sub or self.rect
        for sy in range(y0, y0 + h):
            for sx in range(x0, x0 + w):
                yield sx, sy

    def __eq__(self, other):
        return self.rect == other.rect and self.rows == other.rows


def settled_shot(take, what, accept=lambda shot: True, repeats=1, interval=0.05,
                 timeout=TIMEOUT):
    """A shot (take() gives one) that the next repeats shots repeat exactly and that accept()
    takes: the screen has settled (a panel or a compositor repaints in its own time)."""
    last = {"shot": None, "same": 0}

    def settled():
        shot = take()
        if last["shot"] is not None and shot == last["shot"]:
            last["same"] += 1
        else:
            last["shot"], last["same"] = shot, 0
        return shot if last["same"] >= repeats and accept(shot) else None

    return wait_for(what, settled, timeout, interval=interval)


def changed_points(before, after, rect, exclude=None):
    """The points of rect where two shots holding it differ, outside exclude (a rectangle)."""
    return {p for p in after.points(rect)
            if after.at(*p) != before.at(*p) and not (exclude and inside(p, exclude))}


def intersect(a, b):
    x0, y0 = max(a[0], b[0]), max(a[1], b[1])
    x1, y1 = min(a[0] + a[2], b[0] + b[2]), min(a[1] + a[3], b[1] + b[3])
    return (x0, y0, x1 - x0, y1 - y0) if x1 > x0 and y1 > y0 else None


def inside(point, rect):
    return rect[0] <= point[0] < rect[0] + rect[2] and rect[1] <= point[1] < rect[1] + rect[3]


def sandbox_system_bus():
    """The system bus address a test and what it starts get: the test runner's stand-in, which
    answers nobody and notes each connection (bus_sentinel.py), or outside the runner a socket
    that does not exist. Never the machine's own bus."""
    sandbox = os.environ.get("DALVENOR_TEST_SANDBOX")
    if sandbox:
        return "unix:path=" + os.path.join(sandbox, "system-bus")
    import tempfile
    return "unix:path=" + os.path.join(tempfile.gettempdir(), "dalvenor-no-system-bus-%d" %
                                       os.getpid())


def sandbox_session_bus():
    """A session bus address that reaches nothing: a socket of the sandbox that does not exist.
    Set rather than left out, since with an X display and no address libdbus would start a
    session bus of its own (dbus-launch) that outlives the test."""
    sandbox = os.environ.get("DALVENOR_TEST_SANDBOX")
    if sandbox:
        return "unix:path=" + os.path.join(sandbox, "no-session-bus")
    import tempfile
    return "unix:path=" + os.path.join(tempfile.gettempdir(), "dalvenor-no-session-bus-%d" %
                                       os.getpid())


def use_sandbox_buses(env=None):
    """Points env (os.environ by default) at the sandbox's system bus and at no session bus,
    unless the test started a private bus of its own and set the address itself."""
    env = os.environ if env is None else env
    own = env.get("DALVENOR_TEST_SANDBOX")
    address = env.get("DBUS_SYSTEM_BUS_ADDRESS", "")
    if not (own and address.startswith("unix:path=" + own + os.sep)):
        env["DBUS_SYSTEM_BUS_ADDRESS"] = sandbox_system_bus()
    return env


def system_bus_connections():
    """What connected to the sandbox's system bus so far: one line per connection, naming the
    process. Empty when nothing did."""
    log = os.environ.get("DALVENOR_SYSTEM_BUS_LOG")
    if not log or not os.path.isfile(log):
        return []
    with open(log, encoding="utf-8", errors="replace") as f:
        return [line.strip() for line in f.read(1 << 20).splitlines() if line.strip()]


def check_no_system_bus(when):
    connections = system_bus_connections()
    check(not connections, "%s, the system bus was asked for: %s" % (when, "; ".join(connections)))


def desktop_part_env(env=None):
    """The environment for a part of the desktop itself (a panel, a compositor): a system bus
    address that reaches nothing, so that what the panel asks the system (batteries, sessions)
    is not taken for the program under test asking."""
    env = dict(os.environ if env is None else env)
    env["DBUS_SYSTEM_BUS_ADDRESS"] = "unix:path=" + os.path.join(
        os.environ.get("TMPDIR", "/tmp"), "desktop-no-system-bus")
    env.setdefault("DBUS_SESSION_BUS_ADDRESS", sandbox_session_bus())
    return env


def portable_copy(binary, folder, files=("countdown.ini", "ral.txt"), skins=False):
    """A copy of the program in folder (created), with its portable marker and the given data
    files beside it: it reads and writes its files there, never beside the build's binary.
    Gives the copy's path."""
    os.makedirs(folder, exist_ok=True)
    source = os.path.dirname(os.path.abspath(binary))
    copy = os.path.join(folder, os.path.basename(binary))
    shutil.copy2(binary, copy)
    marker = os.path.join(source, "dalvenor.portable")
    check(os.path.isfile(marker), "no portable marker beside " + binary)
    shutil.copy2(marker, folder)
    for name in files:
        if os.path.isfile(os.path.join(source, name)):
            shutil.copy2(os.path.join(source, name), folder)
    if skins and os.path.isdir(os.path.join(source, "skins")):
        shutil.copytree(os.path.join(source, "skins"), os.path.join(folder, "skins"))
    return copy


class VirtualDesktop:
    """scripts/virtual_desktop.sh: Xvfb, openbox and tint2 on a free display, its state in a
    file of the test's folder."""

    def __init__(self, folder, script=VIRTUAL_DESKTOP):
        self.script = script
        self.state = os.path.join(folder, "desktop.state")
        self.display = None
        self.started = False

    def start(self):
        """Starts it and returns its display name, or raises a Failure."""
        done = subprocess.run(["sh", self.script, "start", self.state], capture_output=True,
                              text=True, timeout=180)
        self.started = True
        if done.returncode != 0:
            raise Failure("the virtual desktop did not start: " + done.stderr.strip())
        for line in done.stdout.splitlines():
            if line.startswith("DISPLAY="):
                self.display = line.strip().split("=", 1)[1]
        if not self.display and os.path.exists(self.state):
            with open(self.state, encoding="utf-8") as f:
                for line in f:
                    if line.startswith("DISPLAY="):
                        self.display = line.strip().split("=", 1)[1]
        check(self.display, "no display in the desktop state")
        return self.display

    def use(self):
        """Makes this process and what it starts from now on use the desktop's display, the
        sandbox's system bus and no session bus (so that the tray is the X11 one)."""
        os.environ["DISPLAY"] = self.display
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = sandbox_session_bus()
        os.environ["QT_QPA_PLATFORM"] = "xcb"
        use_sandbox_buses()

    def stop(self):
        if self.started:
            subprocess.run(["sh", self.script, "stop", self.state], capture_output=True,
                           timeout=120)


def skip(reason, stream=None):
    """The exit status of a skipped test: 77, or 1 when DALVENOR_REQUIRE_DESKTOP=1 (CI
    installs every tool)."""
    stream = stream or sys.stdout
    if os.environ.get("DALVENOR_REQUIRE_DESKTOP") == "1":
        print("FAIL: %s (DALVENOR_REQUIRE_DESKTOP=1 allows no skip)" % reason, file=stream)
        return 1
    print("SKIP: %s" % reason, file=stream)
    return SKIP


def skip_now(reason, stream=None):
    """Ends the driver as skipped (see skip)."""
    sys.exit(skip(reason, stream))


DESKTOP_TOOLS = ("xdotool", "Xvfb", "openbox", "tint2")


def program_driver(argv, run, tools=(), doc=None):
    """The main of a driver that takes the program's path: usage, the runner's time-out, the
    program and the tools it needs (each missing one a skip), then run(binary)."""
    if len(argv) != 2:
        print(doc or "usage: %s DALVENOR_BINARY" % os.path.basename(argv[0]))
        return 2
    exit_on_sigterm()
    binary = argv[1]
    if not os.access(binary, os.X_OK):
        return skip("%s is not built" % binary)
    for tool in DESKTOP_TOOLS + tuple(tools):
        if not shutil.which(tool):
            return skip("%s is not installed" % tool)
    return run(binary)


def exit_on_sigterm(status=None):
    """A time-out of the test runner ends the driver with SIGTERM: it exits through its
    finally blocks, cleaning up as on failure."""
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(
        128 + signum if status is None else status))


def stop_process(process, timeout=10, group=False):
    """Ends a child: SIGTERM, then SIGKILL after timeout seconds (to its whole process group
    when it was started in a session of its own and group is set)."""
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        kill_process(process, group)


def kill_process(process, group=False):
    if group:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    else:
        process.kill()
    process.wait()


def stop_pid(pid, timeout=10):
    """Ends a process that is not a child: SIGTERM, then SIGKILL after timeout seconds."""
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def close_window(d, window):
    """Asks a window to close, as its title bar's close button does (WM_DELETE_WINDOW); d is
    an Xlib display."""
    from Xlib import X
    from Xlib.protocol import event
    message = event.ClientMessage(
        window=window, client_type=d.intern_atom("WM_PROTOCOLS"),
        data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    window.send_event(message)
    d.sync()


def settings_file():
    """The program's settings store (HOME and the XDG folders are the test's own)."""
    config = os.environ.get("XDG_CONFIG_HOME") or os.path.join(os.environ["HOME"], ".config")
    return os.path.join(config, "Dalvenor", "Dalvenor.ini")


def write_stored_rect(twips):
    """The settings store with the countdown's rectangle (left, top, width, height in twips);
    gives the bytes written."""
    path = settings_file()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    text = "[frmWindows]\nLeft=%d\nTop=%d\nWidth=%d\nHeight=%d\n" % tuple(twips)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return text.encode("utf-8")


def write_lines(path, lines, encoding="gb18030"):
    """A data file of the program: lines ending in CR LF, in the Chinese Windows encoding."""
    with open(path, "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode(encoding))


def state_value(path, name):
    """One value of the virtual desktop's state file (DISPLAY, TINT2_PID, ...), or ""."""
    with open(path, encoding="utf-8") as state:
        for line in state:
            if line.startswith(name + "="):
                return line.strip().split("=", 1)[1]
    return ""


def xdotool(*args, timeout=TIMEOUT):
    """xdotool on this process's display."""
    subprocess.run(["xdotool", *map(str, args)], check=True, capture_output=True,
                   timeout=timeout)


def process_family(pid):
    """Every process descended from pid, read from /proc: what a launcher started in turn."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                parents.setdefault(int(f.read().rsplit(")", 1)[1].split()[1]), []).append(
                    int(entry))
        except (OSError, IndexError, ValueError):
            continue
    found, pending = [], [pid]
    while pending:
        for child in parents.get(pending.pop(), []):
            found.append(child)
            pending.append(child)
    return found


def processes_of(executable):
    """PIDs of live processes running this executable file."""
    target = os.path.realpath(executable)
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            if os.readlink("/proc/%s/exe" % entry) != target:
                continue
            with open("/proc/%s/stat" % entry, encoding="utf-8") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if state != "Z":
            found.append(int(entry))
    return found


class Processes:
    """What a test starts, each stopped at the end (last first) with whatever it started in
    turn: the accessibility bus launcher starts a bus, which starts the registry."""

    def __init__(self):
        self.started = []

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, **kwargs)
        self.started.append(process)
        return process

    def stop_all(self):
        for process in reversed(self.started):
            if process.poll() is not None:
                continue
            family = process_family(process.pid)
            stop_process(process)
            for pid in family:
                try:
                    os.kill(pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass


def window_name(d, win):
    """A window's _NET_WM_NAME, else its WM_NAME, else ""."""
    from Xlib import X
    for atom_name in ("_NET_WM_NAME", "WM_NAME"):
        prop = win.get_full_property(d.intern_atom(atom_name), X.AnyPropertyType)
        if prop and prop.value:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else value
    return ""


def window_tree(d):
    """Every viewable window of the Xlib display d, found through query_tree: (window, name,
    WM_CLASS, absolute rectangle, parents). A window that goes away while it is read is left
    out with what lies below it."""
    from Xlib import X, error as xerror
    root = d.screen().root
    found = []
    pending = [(root, ())]
    while pending:
        win, parents = pending.pop()
        try:
            attributes = win.get_attributes()
            children = win.query_tree().children
            if win != root and attributes.map_state != X.IsViewable:
                continue
            geometry = win.get_geometry()
            origin = win.translate_coords(root, 0, 0)
            wm_class = win.get_wm_class() or ("", "")
            found.append((win, window_name(d, win), wm_class[1],
                          (-origin.x, -origin.y, geometry.width, geometry.height), parents))
        except xerror.XError:
            continue
        pending.extend((child, parents + (win,)) for child in children)
    return found


def overlay_windows(d, title="Dalvenor", min_width=50, min_height=0):
    """The viewable windows called title that are larger than a tray icon: the countdown's."""
    return [win for win, name, _, rect, _ in window_tree(d)
            if name == title and rect[2] >= min_width and rect[3] >= min_height]


def find_overlay(d, title="Dalvenor"):
    found = overlay_windows(d, title)
    return found[0] if found else None


def top_levels(desktop):
    """Viewable children of the root of a DesktopConnection: (window, name,
    override_redirect, rect), the name read from a manager's frame's client."""
    from Xlib import X
    found = []
    for child in desktop.root.query_tree().children:
        try:
            attributes = child.get_attributes()
            if attributes.map_state != X.IsViewable:
                continue
            name = ""
            for client in [child] + child.query_tree().children:
                name = window_name(desktop.d, client)
                if name:
                    break
            found.append((child, name, bool(attributes.override_redirect),
                          desktop.position(child)))
        except Exception:  # gone meanwhile
            continue
    return found


def unmanaged_named(desktop, title, min_width=0):
    """A viewable window called title that no manager framed (override-redirect), at least
    min_width wide, or None."""
    for window, name, unmanaged, rect in top_levels(desktop):
        if name == title and unmanaged and rect[2] >= min_width:
            return window
    return None


def managed_named(desktop, title):
    """Ids of the managed client windows called title (what a task list shows)."""
    found = []
    for wid in desktop.root_property("_NET_CLIENT_LIST"):
        try:
            if window_name(desktop.d, desktop.window(wid)) == title:
                found.append(wid)
        except Exception:  # gone meanwhile
            continue
    return found


def viewable_named(d, title):
    """Ids of the viewable windows of the Xlib display d called title."""
    return [win.id for win, name, _, _, _ in window_tree(d) if name == title]


class XSession:
    """X look-ups and xdotool input on one display, through a connection of its own."""

    def __init__(self, display_name, timeout=TIMEOUT):
        from Xlib import X, display, error as xerror
        self.X, self.xerror = X, xerror
        self.name = display_name
        self.timeout = timeout
        self.d = display.Display(display_name)
        self.root = self.d.screen().root
        self.env = dict(os.environ, DISPLAY=display_name)

    def close(self):
        self.d.close()

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                       capture_output=True, timeout=self.timeout)

    def is_viewable(self, win):
        try:
            return win.get_attributes().map_state == self.X.IsViewable
        except self.xerror.XError:
            return False

    def close_window(self, win):
        close_window(self.d, win)

    def window_name(self, win):
        return window_name(self.d, win)

    def windows(self):
        """Every viewable window: (window, name, WM_CLASS, absolute rectangle, parents)."""
        return window_tree(self.d)

    def top_level(self, title):
        """The client window with this title, and its rectangle."""
        for win, name, _, rect, _ in self.windows():
            if name == title and rect[2] > 100:
                return win, rect
        return None


class DesktopConnection:
    """A virtual desktop started in workdir, used by this process and what it starts from then
    on, with this process's own X connection to it."""

    def __init__(self, workdir):
        self.virtual = VirtualDesktop(workdir)
        self.state = self.virtual.state
        self.d = None

    def start(self):
        from Xlib import display
        self.virtual.start()
        self.virtual.use()
        self.d = display.Display()
        self.root = self.d.screen().root
        self.atom = self.d.intern_atom

    def position(self, window):
        """A window's absolute rectangle."""
        geometry = window.get_geometry()
        origin = window.translate_coords(self.root, 0, 0)
        return (-origin.x, -origin.y, geometry.width, geometry.height)

    def shot(self, rect):
        return Shot(self.root, rect)

    def screen_rect(self):
        screen = self.d.screen()
        return (0, 0, screen.width_in_pixels, screen.height_in_pixels)

    def window(self, wid):
        return self.d.create_resource_object("window", wid)

    def root_property(self, name, kind=None):
        """A property of the root window as a list (of windows unless kind says otherwise)."""
        from Xlib import Xatom
        prop = self.root.get_full_property(self.atom(name), Xatom.WINDOW if kind is None
                                           else kind)
        return list(prop.value) if prop else []

    def set_root_colour(self, rgb):
        self.root.change_attributes(background_pixel=pixel_value(rgb))
        self.root.clear_area()
        self.d.sync()

    def frame_window(self, window):
        """The child of the root that holds window: its frame, if the manager made one."""
        while True:
            tree = window.query_tree()
            if tree.parent.id == self.root.id:
                return window
            window = tree.parent

    def panel_rects(self):
        """Where tint2 draws (its notification area gets the program's icon), as rectangles
        of the root's children that are or hold a window of tint2."""
        from Xlib import error as xerror
        found = []
        for child in self.root.query_tree().children:
            try:
                for window in [child] + list(child.query_tree().children):
                    wm_class = window.get_wm_class() or ()
                    if "tint2" in (name.lower() for name in wm_class):
                        found.append(self.position(child))
                        break
            except xerror.XError:
                continue
        return found

    def active_window(self):
        active = self.root_property("_NET_ACTIVE_WINDOW")
        return active[0] if active else 0

    def input_focus(self):
        focus = self.d.get_input_focus().focus
        return focus if isinstance(focus, int) else focus.id

    def stacking(self):
        """The root's children, bottom first."""
        return [child.id for child in self.root.query_tree().children]

    def top_level(self, window):
        """The id of the child of the root that holds window: its frame, if the manager made
        one."""
        return self.frame_window(window).id

    def activate(self, window):
        xdotool("windowactivate", window.id)
        wait_for("0x%x to become active" % window.id,
                 lambda: self.active_window() == window.id)

    def click(self, point):
        xdotool("mousemove", point[0], point[1], "click", "1")
        # Out of the way again, so that the pointer never stands in a screenshot.
        xdotool("mousemove", "1", "1")

    def stop(self):
        try:
            if self.d:
                self.d.close()
        except Exception:  # the server may be gone already
            pass
        self.virtual.stop()


class Beneath:
    """A managed window of one colour that records the button presses it receives."""

    def __init__(self, desktop, rect, colour):
        from Xlib import X
        self.X = X
        self.desktop = desktop
        d = desktop.d
        x, y, w, h = rect
        self.window = desktop.root.create_window(
            x, y, w, h, 0, d.screen().root_depth, X.InputOutput, X.CopyFromParent,
            background_pixel=pixel_value(colour),
            event_mask=X.ButtonPressMask | X.StructureNotifyMask | X.ExposureMask)
        self.window.set_wm_name("beneath")
        self.window.set_wm_class("beneath", "Beneath")
        self.window.set_wm_normal_hints(flags=1 | 2, min_width=w, min_height=h)  # US pos/size
        self.window.map()
        d.sync()
        self.presses = []

    def pump(self):
        d = self.desktop.d
        while d.pending_events():
            ev = d.next_event()
            if ev.type == self.X.ButtonPress and ev.window.id == self.window.id:
                self.presses.append((ev.root_x, ev.root_y))

    def viewable(self):
        self.pump()
        return self.window.get_attributes().map_state == self.X.IsViewable

    def pressed_at(self, point):
        self.pump()
        return point in self.presses


class Solid:
    """A managed window of one colour; of the given _NET_WM_WINDOW_TYPE if one is named."""

    def __init__(self, desktop, rect, colour, name, window_type=None):
        from Xlib import X, Xatom
        d = desktop.d
        x, y, w, h = rect
        self.window = desktop.root.create_window(
            x, y, w, h, 0, d.screen().root_depth, X.InputOutput, X.CopyFromParent,
            background_pixel=pixel_value(colour))
        self.window.set_wm_name(name)
        self.window.set_wm_class(name, name.capitalize())
        self.window.set_wm_normal_hints(flags=1 | 2, min_width=w, min_height=h)  # US pos/size
        if window_type:
            self.window.change_property(desktop.atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32,
                                        [desktop.atom(window_type)])
        self.window.map()
        d.sync()
        wait_for("the window %r to be mapped" % name,
                 lambda: self.window.get_attributes().map_state == X.IsViewable)
