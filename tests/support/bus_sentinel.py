#!/usr/bin/env python3
"""The system bus every test sees: a unix socket that answers nobody, and writes down who
knocked.

    bus_sentinel.py SOCKET LOG

Each connection is closed at once, before the D-Bus greeting, so a client fails as on a
machine without a bus; one line is appended to LOG per connection, naming the process that
made it. The test runner gives DBUS_SYSTEM_BUS_ADDRESS=unix:path=SOCKET to every test, and a
test fails when LOG is not empty afterwards: nothing a test starts may ask the system bus
anything, and a test that needs one starts a private bus and points the address there.

It ends when SIGTERM arrives, or when the process that started it is gone.
"""

import os
import select
import signal
import socket
import struct
import sys


def describe(connection):
    """The connecting process: its ID and command line, as far as it can still be read."""
    try:
        credentials = connection.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED,
                                            struct.calcsize("3i"))
        pid, uid, _ = struct.unpack("3i", credentials)
    except OSError:
        return "an unknown process"
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            command = f.read(4096).replace(b"\0", b" ").decode("utf-8", "replace").strip()
    except OSError:
        command = "?"
    return "process %d (user %d): %s" % (pid, uid, command or "?")


def main():
    if len(sys.argv) != 3:
        print("usage: bus_sentinel.py SOCKET LOG", file=sys.stderr)
        return 2
    path, log = sys.argv[1], sys.argv[2]
    parent = os.getppid()
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(0))

    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    # Bound under another name and renamed when listening, so that whoever waits for the
    # socket to appear finds it ready.
    pending = path + ".binding"
    server.bind(pending)
    # Anyone may knock: a test may run as an unprivileged user.
    os.chmod(pending, 0o666)
    server.listen(16)
    os.rename(pending, path)

    with open(log, "a", encoding="utf-8") as out:
        while True:
            ready, _, _ = select.select([server], [], [], 1.0)
            if os.getppid() != parent:
                return 0
            if not ready:
                continue
            connection, _ = server.accept()
            out.write(describe(connection) + "\n")
            out.flush()
            connection.close()


if __name__ == "__main__":
    sys.exit(main())
