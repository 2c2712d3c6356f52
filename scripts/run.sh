#!/bin/sh
# Builds if needed and starts Dalvenor on the current desktop. Without a display it starts a
# virtual desktop (Xvfb, openbox, tint2), starts the program there, leaves a screenshot and
# prints its path, and keeps running until interrupted.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
build="${DALVENOR_BUILD_DIR:-$root/build}"
program="$build/bin/dalvenor"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$program"
fi

state=$(mktemp "${TMPDIR:-/tmp}/dalvenor-desktop.XXXXXX")
"$root/scripts/virtual_desktop.sh" start "$state"
. "$state"
export DISPLAY
unset DBUS_SESSION_BUS_ADDRESS
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="${TMPDIR:-/tmp}/runtime-$(id -u)"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    export XDG_RUNTIME_DIR
fi
# A light desktop, so that the default dark blue text stands out in the screenshot.
xsetroot -solid '#c8d4e0' 2>/dev/null || true
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    "$root/scripts/virtual_desktop.sh" stop "$state"
    rm -f "$state"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"$program" &
pid=$!
# The first countdown text is drawn at the first second boundary after the window maps.
tries=0
until xdotool search --name '^Dalvenor$' >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -gt 100 ] && { echo "Dalvenor did not show its window" >&2; exit 1; }
    kill -0 "$pid" 2>/dev/null || { echo "Dalvenor ended early" >&2; exit 1; }
    sleep 0.1
done
sleep 3
mkdir -p "$root/screenshots"
shot="$root/screenshots/dalvenor-$(date +%Y%m%d-%H%M%S).png"
import -display "$DISPLAY" -window root "$shot"
echo "Screenshot: $shot"
echo "Dalvenor runs on the virtual desktop $DISPLAY; press Ctrl+C to stop."
wait "$pid"
