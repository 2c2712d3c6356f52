#!/bin/sh
# Installs the Debian packages the build, the program and its tests need, when missing.
set -eu
packages="cmake g++ ninja-build pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
 libx11-dev libxcb1-dev libxcb-shape0-dev libxcb-xfixes0-dev libgl-dev liblunar-date-dev libglib2.0-dev libnova-dev
 fonts-arphic-ukai fonts-arphic-uming fonts-noto-cjk
 xvfb openbox tint2 xdotool x11-utils x11-xserver-utils imagemagick python3 python3-xlib
 desktop-file-utils conky-std librsvg2-bin dbus python3-dbusmock faketime qt6-translations-l10n
 appstream lintian dpkg-dev file groff-base weston qt6-wayland at-spi2-core python3-pyatspi
 lxqt-panel picom xcompmgr util-linux"
# The unprivileged user the test runner runs permission tests as, when the tests run as the
# superuser (util-linux's setpriv switches to it). Debian always has "nobody"; a trimmed
# image may not.
if [ "$(id -u)" -eq 0 ] && ! id nobody >/dev/null 2>&1; then
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin nobody
fi
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
