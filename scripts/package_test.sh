#!/bin/sh
# The Debian package, as a user meets it: built from the build folder (scripts/package.sh),
# checked by lintian, installed with apt-get, /usr/bin/dalvenor started as a normal user on a
# virtual desktop (its countdown and its tray icon must appear, and it must write nothing
# outside that user's home), then purged, after which none of its files may be left.
#
# Needs root (it installs and removes the package and makes the user) and a machine where
# the package is not installed yet; it says why and exits 77 otherwise (without root always;
# with a package installed already a failure under DALVENOR_REQUIRE_DESKTOP=1). Everything it
# started or made is removed again, also on failure.
# Environment: DALVENOR_BUILD_DIR (default ./build), DALVENOR_PACKAGE_USER (default
# dalvenor-pkgtest), DALVENOR_REQUIRE_DESKTOP=1 turns a skip into a failure.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
user=${DALVENOR_PACKAGE_USER:-dalvenor-pkgtest}
timeout=60

skip() {
    if [ "${DALVENOR_REQUIRE_DESKTOP:-0}" = 1 ]; then
        echo "FAIL: $* (DALVENOR_REQUIRE_DESKTOP=1 allows no skip)" >&2
        exit 1
    fi
    echo "SKIP: $*" >&2
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Without root there is nothing to install with, wherever the test runs: always a skip.
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the package test installs a package and needs root" >&2
    exit 77
fi
command -v apt-get >/dev/null 2>&1 || skip "no apt-get"
if dpkg-query -W -f='${Status}' dalvenor 2>/dev/null | grep -q "install ok installed"; then
    skip "a dalvenor package is installed already; the test would remove it"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/dalvenor-package.XXXXXX") || exit 1
chmod 755 "$work"
state="$work/desktop.state"
made_user=
installed=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    "$root/scripts/virtual_desktop.sh" stop "$state" >/dev/null 2>&1
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y dalvenor >/dev/null 2>&1
    fi
    [ -n "$made_user" ] && userdel -r "$user" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# wait_until SECONDS COMMAND...
wait_until() {
    limit=$1
    shift
    start=$(date +%s)
    while ! "$@" >/dev/null 2>&1; do
        [ $(($(date +%s) - start)) -ge "$limit" ] && return 1
        sleep 0.2
    done
}

echo "== Building the package"
deb=$("$root/scripts/package.sh") || fail "the package was not built"
[ -f "$deb" ] || fail "no package at '$deb'"
echo "$deb"

echo "== lintian"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"

echo "== Installing"
cp "$deb" "$work/" && deb="$work/$(basename "$deb")"
# apt-get reads a local package as the _apt user when it can; the copy is readable by all.
chmod 644 "$deb"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb" ||
    fail "apt-get could not install the package"
dpkg -L dalvenor >"$work/files"
[ -x /usr/bin/dalvenor ] || fail "/usr/bin/dalvenor is missing"
/usr/bin/dalvenor --version | grep -q '^dalvenor [0-9]' || fail "--version does not answer"
command -v desktop-file-validate >/dev/null 2>&1 &&
    for entry in $(grep '^/usr/share/applications/.*\.desktop$' "$work/files"); do
        desktop-file-validate "$entry" || fail "$entry is not valid"
    done
command -v appstreamcli >/dev/null 2>&1 &&
    for meta in $(grep '^/usr/share/metainfo/.*\.xml$' "$work/files"); do
        appstreamcli validate --no-net "$meta" || fail "$meta is not valid"
    done
grep -q '^/usr/share/man/man1/dalvenor.1.gz$' "$work/files" || fail "no man page"

echo "== Running /usr/bin/dalvenor as the user $user"
if ! id "$user" >/dev/null 2>&1; then
    useradd --create-home --shell /bin/sh "$user" || fail "cannot make the user $user"
    made_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)
[ -d "$home" ] || fail "the user $user has no home"
# The desktop first: its X server writes its compiled keymaps into /var/lib/xkb.
"$root/scripts/virtual_desktop.sh" start "$state" >/dev/null || fail "no virtual desktop"
. "$state"
export DISPLAY
stamp="$work/stamp"
: >"$stamp"
# The user's runtime folder inside the home, so that the check below can be strict.
runtime="$home/.runtime"
runuser -u "$user" -- sh -c "mkdir -p '$runtime' && chmod 700 '$runtime'"
# No QT_QPA_PLATFORM: the program chooses its platform itself, as from the menu entry.
# The shell records its own process ID and becomes the program, so that exactly the program
# is stopped later.
runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" USER="$user" LOGNAME="$user" \
    DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$runtime" LANG=C.UTF-8 \
    sh -c 'echo $$ >"$1"; exec /usr/bin/dalvenor' program "$runtime/program.pid" \
    >"$work/program.log" 2>&1 &
runner_pid=$!
wait_until "$timeout" test -s "$runtime/program.pid" || fail "the program did not start"
program_pid=$(cat "$runtime/program.pid")

countdown_shown() {
    xdotool search --onlyvisible --name '^Dalvenor$' >/dev/null 2>&1
}
wait_until "$timeout" countdown_shown || {
    cat "$work/program.log" >&2
    fail "the installed program shows no countdown"
}
icon_docked() {
    DISPLAY="$DISPLAY" /usr/bin/python3 - <<'PY'
import sys
from Xlib import display
d = display.Display()
def wm_class(w):
    try:
        return " ".join(w.get_wm_class() or ())
    except Exception:
        return ""
def walk(w, in_panel):
    for child in w.query_tree().children:
        cls = wm_class(child).lower()
        inside = in_panel or "tint2" in cls
        if in_panel and "dalvenor" in cls:
            g = child.get_geometry()
            if 8 <= g.width <= 64 and child.get_attributes().map_state == 2:
                return True
        if walk(child, inside):
            return True
    return False
sys.exit(0 if walk(d.screen().root, False) else 1)
PY
}
wait_until "$timeout" icon_docked || fail "the installed program's icon is not in the tray"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended by itself"
# Its data folder is the user's: the default countdown was copied there on the first start.
seeded=$(find "$home/.local/share" -name countdown.ini -type f 2>/dev/null)
[ -n "$seeded" ] || fail "no countdown.ini in the user's data folder"
echo "The user's countdown: $seeded"
kill "$program_pid"
wait "$runner_pid" 2>/dev/null
program_pid=

echo "== Checking that nothing was written outside $home"
# What the user's processes made anywhere else, and anything changed in the system's folders
# since the program started (apt and dpkg ran before the stamp; the X server, root's, keeps
# compiled keymaps in /var/lib/xkb whenever a client changes the keyboard map; fontconfig's
# system cache is renewed by any root process that finds it older than the fonts, and a user
# cannot write there: what the user's own processes made anywhere is found by owner above).
find / -xdev \( -path /proc -o -path /sys -o -path "$home" -o -path "$work" \) -prune -o \
    -user "$user" -print 2>/dev/null >"$work/owned"
for dir in /tmp /var/tmp /dev/shm /run; do
    [ -d "$dir" ] && find "$dir" -user "$user" -print 2>/dev/null >>"$work/owned"
done
find /usr /etc /opt /var/lib /var/cache /srv \( -path /var/lib/apt -o -path /var/lib/dpkg \
    -o -path /var/cache/apt -o -path /var/cache/man -o -path /var/cache/debconf \
    -o -path /var/lib/xkb -o -path /var/cache/fontconfig \) -prune -o \
    -newer "$stamp" -print 2>/dev/null >>"$work/owned"
if [ -s "$work/owned" ]; then
    sort -u "$work/owned" >&2
    fail "the program wrote outside the user's home"
fi

echo "== Purging"
DEBIAN_FRONTEND=noninteractive apt-get purge -y dalvenor || fail "apt-get purge failed"
installed=
left=""
while IFS= read -r path; do
    [ "$path" = "/." ] && continue
    # Folders shared with other packages (/usr/share/icons/...) stay; ours must go.
    if [ -d "$path" ] && [ ! -L "$path" ]; then
        case "$path" in
        */dalvenor | */dalvenor/*) left="$left $path" ;;
        esac
    elif [ -e "$path" ] || [ -L "$path" ]; then
        left="$left $path"
    fi
done <"$work/files"
[ -z "$left" ] || fail "left after purging:$left"
dpkg-query -W dalvenor >/dev/null 2>&1 && fail "dpkg still knows the package"
echo "PASS: the package builds, passes lintian, installs, runs as a user and purges cleanly"
