#!/bin/sh
# Builds the Debian package: the program (with what it installs) in the build folder, then
# CPack's DEB generator, its library dependencies computed from the binary by dpkg-shlibdeps.
# Prints the path of the .deb. Environment: DALVENOR_BUILD_DIR (default ./build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# Everything but the path of the package goes to stderr, so that a script can take the path.
"$root/scripts/install_deps.sh" >&2
build="${DALVENOR_BUILD_DIR:-$root/build}"
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
# What the install rules name; CPack then installs it into its staging folder and packs it.
cmake --build "$build" --parallel "$(nproc)" --target dalvenor dalvenor_data dalvenor_skin_data \
    dalvenor_docs >&2
out="$build/package"
rm -rf "$out"
(cd "$build" && cpack -G DEB -B "$out" >&2)
deb=$(ls "$out"/dalvenor_*.deb)
echo "$deb"
