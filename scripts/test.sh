#!/bin/sh
# Builds and runs every test: unit, widget and desktop tests (each desktop test starts its
# own virtual desktop) in ./build; then the unit and widget tests once more in ./build-asan,
# built with AddressSanitizer and UndefinedBehaviorSanitizer. Arguments go to both ctest runs
# (e.g. `-L unit`, `-R tips`).
#
# Environment:
#   DALVENOR_BUILD_DIR        the ordinary build (default ./build)
#   DALVENOR_ASAN_BUILD_DIR   the sanitizer build (default ./build-asan)
#   DALVENOR_SANITIZE_TESTS   0 leaves the sanitizer run out (default 1)
#   DALVENOR_REQUIRE_DESKTOP  1 (the default here) makes a desktop test that would be skipped,
#                             for a missing tool or program, fail: the set-up installs them all
#   DALVENOR_NO_SKIPS         1 (the default here) makes a skipped case of a Qt test fail it
#                             (the test runner counts them), and a test CTest reports as
#                             skipped fail the run: a skip hides whatever it would have found
#   DALVENOR_PACKAGE_TEST     0 leaves out the Debian package test (scripts/package_test.sh),
#                             which needs root; it runs only in a full run (no arguments)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
build="${DALVENOR_BUILD_DIR:-$root/build}"
asan="${DALVENOR_ASAN_BUILD_DIR:-$root/build-asan}"
export DALVENOR_REQUIRE_DESKTOP="${DALVENOR_REQUIRE_DESKTOP:-1}"
export DALVENOR_NO_SKIPS="${DALVENOR_NO_SKIPS:-1}"

logs=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-test-logs.XXXXXX")
trap 'rm -rf "$logs"' EXIT

# ctest with its output shown and kept; its status, or 1 when it reports a skipped test and no
# skip is allowed.
run_ctest() {
    { ctest "$@"; echo $? >"$logs/status"; } 2>&1 | tee "$logs/ctest.log"
    code=$(cat "$logs/status")
    if [ "$DALVENOR_NO_SKIPS" = 1 ] && grep -q '\*\*\*Skipped\|Not Run' "$logs/ctest.log"; then
        echo "test.sh: FAIL: tests were skipped (DALVENOR_NO_SKIPS=1 allows none):" >&2
        grep '\*\*\*Skipped\|Not Run' "$logs/ctest.log" >&2
        [ "$code" = 0 ] && code=1
    fi
    return "$code"
}

status=0
run_ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" "$@" || status=$?

if [ $# -eq 0 ] && [ "${DALVENOR_PACKAGE_TEST:-1}" != 0 ]; then
    echo "== The Debian package: build, lintian, install, run as a user, purge"
    # Made from the build above: CPack only installs what is built already.
    # 77: skipped, for want of root (it installs the package) or with one installed already.
    DALVENOR_BUILD_DIR="$build" "$root/scripts/package_test.sh" || {
        code=$?
        [ "$code" = 77 ] || status=$code
    }
fi

if [ "${DALVENOR_SANITIZE_TESTS:-1}" != 0 ]; then
    echo "== Unit and widget tests with AddressSanitizer and UndefinedBehaviorSanitizer"
    if [ ! -f "$asan/build.ninja" ]; then
        # Debug, so that Qt's own checks in its headers (an index out of range) are on too;
        # -O1 -g1 compiles in a third less time than -O2 -g and still gives stacks with lines.
        cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
            -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DDALVENOR_SANITIZE=ON
    else
        cmake "$asan" >/dev/null # picks up new tests
    fi
    # Only what these tests need: their executables (with what they depend on) and the data.
    # A test is named like its executable's target; a variant that runs another test's
    # executable (tst_text_fits_scaled) is no target and gets it through that test.
    known=$(ninja -C "$asan" -t targets all | sed -n 's/^\([A-Za-z0-9_.+-]*\): .*/\1/p')
    targets="dalvenor_data"
    for name in $(ctest --test-dir "$asan" -N -L 'unit|widgets' | sed -n 's/^ *Test *#[0-9]*: //p'); do
        if printf '%s\n' "$known" | grep -qx "$name"; then
            targets="$targets $name"
        fi
    done
    # shellcheck disable=SC2086 # one word per target
    cmake --build "$asan" --parallel "$(nproc)" --target $targets
    run_ctest --test-dir "$asan" --output-on-failure --parallel "$(nproc)" -L 'unit|widgets' "$@" ||
        status=$?
fi
exit "$status"
