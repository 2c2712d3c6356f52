#!/bin/sh
# A virtual desktop for running Dalvenor and its desktop tests: Xvfb on a free display, the
# openbox window manager and the tint2 panel (task list and notification area).
#
#   virtual_desktop.sh start STATEFILE   start it; prints DISPLAY=:N and the PIDs and writes
#                                        them into STATEFILE (shell syntax, for sourcing)
#   virtual_desktop.sh stop STATEFILE    stop what STATEFILE names and remove it
#   virtual_desktop.sh run COMMAND...    start, run COMMAND with DISPLAY set, stop; exits
#                                        with COMMAND's status
#
# Each step waits for the previous one to be really up: the tray host only claims the tray
# once a window manager runs, and a program only finds the tray if the host claimed it.
# The desktop's own parts get bus addresses that reach nothing: they need neither bus, and
# under the test runner a system bus connection of theirs must not count as one of the
# program under test.
# Environment: VD_SCREEN (default 1280x800x24), VD_TIMEOUT seconds per step (default 20).
set -u

screen_spec=${VD_SCREEN:-1280x800x24}
step_timeout=${VD_TIMEOUT:-20}

die() {
    echo "virtual_desktop: $*" >&2
    exit 1
}

# python3 with Xlib: the system one when the first on PATH lacks the module.
pick_python() {
    for candidate in python3 /usr/bin/python3; do
        if "$candidate" -c 'import Xlib' 2>/dev/null; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds or the time is up.
wait_until() {
    limit=$1
    shift
    start=$(date +%s)
    while ! "$@" >/dev/null 2>&1; do
        [ $(($(date +%s) - start)) -ge "$limit" ] && return 1
        sleep 0.05
    done
    return 0
}

# A process that ended but was not reaped yet (its parent, this script, may be gone) still
# answers kill -0; it counts as ended.
alive() {
    kill -0 "$1" 2>/dev/null || return 1
    state=$(sed -n 's/^State:[[:space:]]*\([A-Z]\).*/\1/p' "/proc/$1/status" 2>/dev/null)
    [ "$state" != Z ]
}

not_alive() { ! alive "$1"; }

display_answers() { xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; }

wm_running() { xprop -display "$DISPLAY" -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

tray_owned() {
    "$PYTHON" - <<'EOF'
import sys
from Xlib import X, display
d = display.Display()
owner = d.get_selection_owner(d.intern_atom("_NET_SYSTEM_TRAY_S%d" % d.get_default_screen()))
sys.exit(0 if owner != X.NONE else 1)
EOF
}

write_state() {
    {
        echo "DISPLAY=$DISPLAY"
        echo "XVFB_PID=${XVFB_PID:-}"
        echo "OPENBOX_PID=${OPENBOX_PID:-}"
        echo "TINT2_PID=${TINT2_PID:-}"
    } >"$statefile"
}

# Stops the PIDs named in the state file (only ours), the panel first, the server last.
stop_desktop() {
    [ -f "$statefile" ] || return 0
    XVFB_PID='' OPENBOX_PID='' TINT2_PID=''
    # shellcheck source=/dev/null
    . "$statefile"
    for pid in $TINT2_PID $OPENBOX_PID $XVFB_PID; do
        alive "$pid" || continue
        kill "$pid" 2>/dev/null
        if ! wait_until 5 not_alive "$pid"; then
            kill -9 "$pid" 2>/dev/null
        fi
    done
    rm -f "$statefile" "$statefile.tint2rc"
}

fail_start() {
    echo "virtual_desktop: $*" >&2
    write_state
    stop_desktop
    exit 1
}

start_desktop() {
    PYTHON=$(pick_python) || die "python3 with the Xlib module (python3-xlib) is needed"
    for tool in Xvfb openbox tint2 xdpyinfo xprop; do
        command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed"
    done
    logdir=$(mktemp -d "${TMPDIR:-/tmp}/virtual-desktop.XXXXXX") || die "no temporary folder"
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$logdir/no-system-bus"
    # Set, not left out: with a display and no address, libdbus would start a bus of its own.
    DBUS_SESSION_BUS_ADDRESS="unix:path=$logdir/no-session-bus"
    export DBUS_SYSTEM_BUS_ADDRESS DBUS_SESSION_BUS_ADDRESS
    : >"$statefile" || die "cannot write $statefile"

    # Xvfb picks a free display itself and writes its number once it accepts connections.
    displayfile="$logdir/display"
    : >"$displayfile"
    Xvfb -displayfd 3 -screen 0 "$screen_spec" -nolisten tcp -noreset 3>"$displayfile" \
        >"$logdir/xvfb.log" 2>&1 &
    XVFB_PID=$!
    wait_until "$step_timeout" sh -c "[ -s '$displayfile' ] || ! kill -0 $XVFB_PID" ||
        fail_start "Xvfb did not start"
    [ -s "$displayfile" ] || fail_start "Xvfb ended: $(cat "$logdir/xvfb.log")"
    DISPLAY=:$(tr -d '\n ' <"$displayfile")
    export DISPLAY
    wait_until "$step_timeout" display_answers || fail_start "$DISPLAY does not answer"

    openbox --sm-disable >"$logdir/openbox.log" 2>&1 &
    OPENBOX_PID=$!
    wait_until "$step_timeout" wm_running || fail_start "openbox did not start"

    # The panel without its clock: a clock that turns to the next minute would change the
    # screen under a test that compares two shots of it.
    tint2rc="$statefile.tint2rc"
    if [ -f /etc/xdg/tint2/tint2rc ]; then
        sed 's/^panel_items *=.*/panel_items = LTS/' /etc/xdg/tint2/tint2rc >"$tint2rc"
        tint2 -c "$tint2rc" >"$logdir/tint2.log" 2>&1 &
    else
        tint2 >"$logdir/tint2.log" 2>&1 &
    fi
    TINT2_PID=$!
    wait_until "$step_timeout" tray_owned || fail_start "tint2 did not claim the tray"

    write_state
    rm -rf "$logdir"
    echo "DISPLAY=$DISPLAY"
    echo "XVFB_PID=$XVFB_PID OPENBOX_PID=$OPENBOX_PID TINT2_PID=$TINT2_PID"
}

command=${1:-}
case "$command" in
start)
    [ $# -eq 2 ] || die "usage: $0 start STATEFILE"
    statefile=$2
    start_desktop
    ;;
stop)
    [ $# -eq 2 ] || die "usage: $0 stop STATEFILE"
    statefile=$2
    stop_desktop
    ;;
run)
    shift
    [ $# -ge 1 ] || die "usage: $0 run COMMAND..."
    statefile=$(mktemp "${TMPDIR:-/tmp}/virtual-desktop-state.XXXXXX") || die "no temporary file"
    trap 'stop_desktop' EXIT
    trap 'exit 130' INT TERM
    # COMMAND gets the system bus it was given (under the test runner, the sandbox's), and no
    # session bus, so that Qt programs use the XEmbed tray.
    given_system_bus=${DBUS_SYSTEM_BUS_ADDRESS-}
    system_bus_given=${DBUS_SYSTEM_BUS_ADDRESS+yes}
    start_desktop >/dev/null
    if [ "$system_bus_given" = yes ]; then
        DBUS_SYSTEM_BUS_ADDRESS=$given_system_bus
    else
        unset DBUS_SYSTEM_BUS_ADDRESS
    fi
    unset DBUS_SESSION_BUS_ADDRESS
    "$@"
    status=$?
    exit $status
    ;;
*)
    die "usage: $0 start STATEFILE | stop STATEFILE | run COMMAND..."
    ;;
esac
