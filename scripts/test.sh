#!/bin/sh
# Builds and runs every test: unit, widget and desktop tests (each desktop test starts its
# own virtual desktop).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
build="${DALVENOR_BUILD_DIR:-$root/build}"
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@"
