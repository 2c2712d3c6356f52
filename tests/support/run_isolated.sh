#!/bin/sh
# Runs one test with HOME and the XDG folders in a temporary folder that is removed after.
#
# The test runs in a process group of its own, and everything it started is stopped with it:
# a virtual desktop's server, window manager and panel outlive the script that started them,
# and the program under test may hang. That holds when the test ends, when this script is
# interrupted, and when CTest kills this script at the test's time limit (SIGKILL, which no
# trap sees): a watcher outside the group then stops the group once this script is gone.
#
# Buses: the system bus address is a socket of the sandbox that answers nobody and notes who
# knocked (bus_sentinel.py); the test fails if anything it started connected there. A test
# that needs a system bus starts a private one and points DBUS_SYSTEM_BUS_ADDRESS at it. The
# session bus address is a socket that does not exist, so that nothing reaches the user's bus
# or starts one of its own.
#
# Environment:
#   DALVENOR_TEST_AS_USER=1   as the superuser, the test runs as an unprivileged user
#                             (DALVENOR_TEST_USER, default nobody), so that permission bits
#                             stop it as they stop a user: its error paths run for real
#   DALVENOR_NO_SKIPS=1       a Qt test that skips a case fails
set -u
here=$(cd "$(dirname "$0")" && pwd)
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-test.XXXXXX") || exit 1
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/cache" "$sandbox/runtime" "$sandbox/tmp"
chmod 700 "$sandbox/runtime"
# Passable, not readable, by others: a test run as an unprivileged user (below) may lie in a
# sandbox inside this one.
chmod 711 "$sandbox"
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" \
    XDG_CACHE_HOME="$sandbox/cache" XDG_RUNTIME_DIR="$sandbox/runtime" TMPDIR="$sandbox/tmp" \
    DALVENOR_TEST_SANDBOX="$sandbox"

bus_log="$sandbox/system-bus-connections.log"
: >"$bus_log"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$sandbox/system-bus" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$sandbox/no-session-bus" \
    DALVENOR_SYSTEM_BUS_LOG="$bus_log"

# For a sanitizer build (ignored otherwise): every finding fails the test, with a stack.
# Leaks are checked too, with no suppressions: the tests, Qt and its plugins leave none.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

group=
watcher=
sentinel=
tee_pid=

# True while a process of the test's group is alive (a zombie no longer counts). Read from
# /proc, since ps is not on every machine.
group_alive() {
    for stat in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$stat" || continue
        # After the command name, which may hold spaces: state, parent, process group.
        set -- ${line##*) }
        [ "${3:-}" = "$group" ] && [ "$1" != Z ] && return 0
    done
    return 1
}

# True while that process runs (a zombie, ended but not yet waited for, does not).
running() {
    read -r line 2>/dev/null <"/proc/$1/stat" || return 1
    set -- ${line##*) }
    [ "$1" != Z ]
}

# Stops what is left of the test's group: politely, then for good after 10 s.
stop_group() {
    [ -n "$group" ] || return 0
    group_alive || return 0
    kill -TERM "-$group" 2>/dev/null
    tries=0
    while group_alive && [ "$tries" -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    group_alive && kill -KILL "-$group" 2>/dev/null
    return 0
}

finish() {
    stop_group
    [ -n "$watcher" ] && kill "$watcher" 2>/dev/null
    [ -n "$sentinel" ] && kill "$sentinel" 2>/dev/null && wait "$sentinel" 2>/dev/null
    rm -rf "$sandbox"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

python3 "$here/bus_sentinel.py" "$sandbox/system-bus" "$bus_log" </dev/null &
sentinel=$!
tries=0
while [ ! -S "$sandbox/system-bus" ]; do
    if [ "$tries" -ge 600 ] || ! kill -0 "$sentinel" 2>/dev/null; then
        echo "run_isolated: the system bus stand-in did not start" >&2
        exit 1
    fi
    sleep 0.05
    tries=$((tries + 1))
done

# As the superuser, a test that checks what permission bits refuse runs as a user they stop.
# The sandbox becomes that user's, and the test program is copied into it, since the build
# folder may lie where that user cannot reach.
if [ "${DALVENOR_TEST_AS_USER:-0}" = 1 ] && [ "$(id -u)" = 0 ]; then
    user=${DALVENOR_TEST_USER:-nobody}
    uid=$(id -u "$user" 2>/dev/null) && gid=$(id -g "$user" 2>/dev/null) || {
        echo "run_isolated: no user $user to run this test as" >&2
        exit 1
    }
    mkdir "$sandbox/bin" && cp "$1" "$sandbox/bin/" || exit 1
    program="$sandbox/bin/$(basename "$1")"
    shift
    chown -R "$uid:$gid" "$sandbox" || exit 1
    set -- setpriv --reuid="$uid" --regid="$gid" --clear-groups -- "$program" "$@"
fi

# A Qt test's own output is kept to count its skipped cases; it still shows as it comes.
output="$sandbox/output"
mkfifo "$sandbox/output.pipe" || exit 1
tee "$output" <"$sandbox/output.pipe" &
tee_pid=$!

# Started in the background, the test is no group leader, so setsid makes it one in place:
# its process ID names the new group.
setsid "$@" >"$sandbox/output.pipe" &
group=$!

# The watcher leaves this script's group and its family, so that nothing that ends this
# script ends the watcher too. It waits for this script, then stops the test's group.
watcher=$(
    setsid sh -c '
        tail --pid="$1" -f /dev/null
        kill -0 "-$2" 2>/dev/null || exit 0
        kill -TERM "-$2"
        sleep 10
        kill -KILL "-$2"
    ' run_isolated_watcher "$$" "$group" </dev/null >/dev/null 2>&1 &
    echo $!
)

wait "$group"
status=$?
if group_alive; then
    echo "run_isolated: the test left processes running; stopping them" >&2
    stop_group
fi
# The output ends when the last process holding it is gone; one that left the group (a
# daemon of its own) is not waited for long.
tries=0
while running "$tee_pid" && [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
kill "$tee_pid" 2>/dev/null
wait "$tee_pid" 2>/dev/null

# Stopped before its log is read: it notes whoever still waits in its queue first.
kill "$sentinel" 2>/dev/null
wait "$sentinel" 2>/dev/null
sentinel=
if [ -s "$bus_log" ]; then
    echo "run_isolated: FAIL: the test connected to the system bus outside its sandbox:" >&2
    sed 's/^/  /' "$bus_log" >&2
    [ "$status" = 0 ] && status=1
fi
if [ "${DALVENOR_NO_SKIPS:-0}" = 1 ] && grep -q '^SKIP   :' "$output"; then
    echo "run_isolated: FAIL: the test skipped cases (DALVENOR_NO_SKIPS=1 allows none):" >&2
    grep '^SKIP   :' "$output" >&2
    [ "$status" = 0 ] && status=1
fi
exit "$status"
