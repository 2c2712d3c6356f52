#!/usr/bin/python3
"""The libraries that wait until first use are not loaded by the program's start.

  check_deferred_libraries.py PROGRAM

Every library the dynamic loader maps before main() costs each start its loading time and
its relocated pages. The Chinese calendar line's libraries (and, through them, GIO and
GObject) are opened by the calendar itself, and the hand-over between two starts needs no
socket library: none of them may come back into the program's link.
"""
import subprocess
import sys

DEFERRED = ("liblunar-date", "libnova", "libQt6Network", "libgio-2.0", "libgobject-2.0")


def main():
    program = sys.argv[1]
    listing = subprocess.run(["ldd", program], capture_output=True, text=True, check=True).stdout
    loaded = [line.split()[0] for line in listing.splitlines() if line.strip()]
    if not any(name.startswith("libQt6Core") for name in loaded):
        sys.exit(f"check_deferred_libraries: no QtCore in the listing of {program}:\n{listing}")
    found = sorted(name for name in loaded if name.startswith(DEFERRED))
    if found:
        sys.exit("loaded at every start, though only needed later: " + ", ".join(found))
    print(f"{len(loaded)} libraries at start, none of: {', '.join(DEFERRED)}")


if __name__ == "__main__":
    main()
