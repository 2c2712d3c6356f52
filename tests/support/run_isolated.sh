#!/bin/sh
# Runs one test with HOME and the XDG folders in a temporary folder that is removed after.
#
# The test runs in a process group of its own, and everything it started is stopped with it:
# a virtual desktop's server, window manager and panel outlive the script that started them,
# and the program under test may hang. That holds when the test ends, when this script is
# interrupted, and when CTest kills this script at the test's time limit (SIGKILL, which no
# trap sees): a watcher outside the group then stops the group once this script is gone.
set -u
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-test.XXXXXX") || exit 1
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/cache" "$sandbox/runtime" "$sandbox/tmp"
chmod 700 "$sandbox/runtime"
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" \
    XDG_CACHE_HOME="$sandbox/cache" XDG_RUNTIME_DIR="$sandbox/runtime" TMPDIR="$sandbox/tmp" \
    DALVENOR_TEST_SANDBOX="$sandbox"
unset DBUS_SESSION_BUS_ADDRESS

# For a sanitizer build (ignored otherwise): every finding fails the test, with a stack.
# Leaks are checked too, with no suppressions: the tests, Qt and its plugins leave none.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

group=
watcher=

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
    rm -rf "$sandbox"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Started in the background, the test is no group leader, so setsid makes it one in place:
# its process ID names the new group.
setsid "$@" &
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
fi
exit "$status"
