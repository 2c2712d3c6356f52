#!/bin/sh
# Runs one test with HOME and the XDG folders in a temporary folder that is removed after.
set -u
sandbox=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-test.XXXXXX") || exit 1
trap 'rm -rf "$sandbox"' EXIT INT TERM
mkdir -p "$sandbox/home" "$sandbox/config" "$sandbox/data" "$sandbox/cache" "$sandbox/runtime" "$sandbox/tmp"
chmod 700 "$sandbox/runtime"
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/config" XDG_DATA_HOME="$sandbox/data" \
    XDG_CACHE_HOME="$sandbox/cache" XDG_RUNTIME_DIR="$sandbox/runtime" TMPDIR="$sandbox/tmp" \
    DALVENOR_TEST_SANDBOX="$sandbox"
unset DBUS_SESSION_BUS_ADDRESS
"$@"
