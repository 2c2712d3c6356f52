#!/bin/sh
# The files a desktop reads from the installed program, checked by the tools desktops and
# software centres use: the menu entry (desktop-file-validate), the AppStream metadata
# (appstreamcli validate) and the man page (groff with every warning on).
#   install_metadata_test.sh DESKTOP_FILE METAINFO_FILE MAN_PAGE
# Exit 0 = pass, 1 = fail, 77 = a tool is missing (a failure with DALVENOR_REQUIRE_DESKTOP=1).
set -u
[ $# -eq 3 ] || { echo "usage: $0 DESKTOP_FILE METAINFO_FILE MAN_PAGE" >&2; exit 2; }
for tool in desktop-file-validate appstreamcli groff; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        [ "${DALVENOR_REQUIRE_DESKTOP:-0}" = 1 ] && { echo "FAIL: $tool is missing"; exit 1; }
        echo "SKIP: $tool is missing"
        exit 77
    fi
done
status=0
# Hints (two main categories, as the menu entry means to have) are not errors.
out=$(desktop-file-validate "$1" 2>&1) || status=1
printf '%s\n' "$out" | grep -v ': hint: ' | grep . && status=1
grep -qx 'Name=Dalvenor' "$1" || { echo "FAIL: the entry is not named Dalvenor"; status=1; }
grep -qx 'Categories=Education;Utility;' "$1" || { echo "FAIL: wrong categories"; status=1; }
appstreamcli validate --no-net "$2" || status=1
grep -q '<release version="[0-9]' "$2" || { echo "FAIL: no release version in $2"; status=1; }
warnings=$(LC_ALL=C.UTF-8 groff -man -ww -z "$3" 2>&1)
[ -z "$warnings" ] || { echo "FAIL: groff warns: $warnings"; status=1; }
[ "$status" = 0 ] && echo "PASS: menu entry, AppStream metadata and man page"
exit "$status"
