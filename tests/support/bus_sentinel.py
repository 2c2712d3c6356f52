#!/usr/bin/env python3
"""The system bus every test sees: a unix socket that answers nobody, and writes down who
knocked.

    bus_sentinel.py SOCKET LOG

Each connection is closed at once, before the D-Bus greeting, so a client fails as on a
machine without a bus; one line is appended to LOG per connection, naming the process that
made it. The test runner gives DBUS_SYSTEM_BUS_ADDRESS=unix:path=SOCKET to every test, and a
test fails when LOG is not empty afterwards: nothing a test starts may ask the system bus
anything, and a test that needs one starts a private bus and points the address there.

It ends when SIGTERM arrives (noting first whoever still waits to be let in), or when the
process that started it is gone.
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
            # One line per connection, whatever the arguments hold.
            command = " ".join(f.read(4096).decode("utf-8", "replace").replace("\0", " ").split())
    except OSError:
        command = "?"
    return "process %d (user %d): %s" % (pid, uid, command or "?")


class Stop(Exception):
    pass


def stop(signum, frame):
    raise Stop()


def main():
    if len(sys.argv) != 3:
        print("usage: bus_sentinel.py SOCKET LOG", file=sys.stderr)
        return 2
    path, log = sys.argv[1], sys.argv[2]
    parent = os.getppid()
    signal.signal(signal.SIGTERM, stop)

    server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    # Bound under another name and renamed when listening, so that whoever waits for the
    # socket to appear finds it ready.
    pending = path + ".binding"
    server.bind(pending)
    # Anyone may knock: a test may run as an unprivileged user.
    os.chmod(pending, 0o666)
    server.listen(16)
    os.rename(pending, path)

    def note(connection):
        out.write(describe(connection) + "\n")
        out.flush()
        connection.close()

    with open(log, "a", encoding="utf-8") as out:
        try:
            while True:
                ready, _, _ = select.select([server], [], [], 1.0)
                if os.getppid() != parent:
                    return 0
                if ready:
                    note(server.accept()[0])
        except Stop:
            pass
        # A client that connected and went away at once may still wait in the queue: each is
        # noted before the runner reads the log.
        server.setblocking(False)
        while True:
            try:
                note(server.accept()[0])
            except (BlockingIOError, InterruptedError):
                return 0


if __name__ == "__main__":
    sys.exit(main())
