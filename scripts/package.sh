#!/usr/bin/env bash
# Builds the two Debian packages of the programs (cmake/Packaging.cmake):
#   zorvik_<version>_<arch>.deb      the command line and the simulator, their
#                                    man pages and bash completion
#   zorvik-gui_<version>_<arch>.deb  the two windows with their menu entries,
#                                    icons, file types and the sample update
#
#   scripts/package.sh [--check] [TREE]
#
# TREE is an optimized build tree, by default build/release (the demos' tree;
# configured here when it does not exist). The packages are written into TREE
# and their paths printed as the last two lines, zorvik first. Install them
# with apt (as root), the command line alone on a machine without a desktop:
#   apt install ./build/release/zorvik_*.deb ./build/release/zorvik-gui_*.deb
# --check then checks the packages as CI does (tests/package/check-package.sh):
# lintian, the desktop and AppStream files, and an install, run and removal
# on this machine; and that between them they hold every file that
# `cmake --install` installs, each in one package only.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh

check=false
if [ "${1:-}" = "--check" ]; then
    check=true
    shift
fi
tree=${1:-build/release}

# dpkg-shlibdeps (dpkg-dev) finds the libraries the programs need; CPack asks
# `file` which installed files are programs; the rest is for --check.
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

if [ ! -f "$tree/CMakeCache.txt" ]; then
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DZORVIK_BUILD_BENCH=OFF
fi
# What goes to pilots is built optimized, without the sanitizers and with the
# windows: a tree configured otherwise is refused rather than packaged.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$tree/CMakeCache.txt"; }
[ "$(cached CMAKE_BUILD_TYPE)" = Release ] \
    || { echo "$tree is not a Release tree (CMAKE_BUILD_TYPE=$(cached CMAKE_BUILD_TYPE)); name another TREE" >&2; exit 1; }
[ "$(cached ZORVIK_SANITIZE)" != ON ] \
    || { echo "$tree is built with the sanitizers; name another TREE" >&2; exit 1; }
[ "$(cached ZORVIK_BUILD_GUI)" != OFF ] \
    || { echo "$tree is built without the windows (ZORVIK_BUILD_GUI=OFF); name another TREE" >&2; exit 1; }

cmake --build "$tree" -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/cpack.log
(cd "$tree" && cpack -G DEB) | tee "$log"
debs=()
for package in zorvik zorvik-gui; do
    deb=$(sed -n "s/^CPack: - package: \(.*\/${package}_[^/]*\.deb\) generated\.\$/\1/p" "$log")
    [ -f "$deb" ] || { echo "CPack reported no package $package" >&2; exit 1; }
    debs+=("$deb")
done

# What the packages hold (files and links, without the folders) against what
# an install of the tree puts under /usr: a file of an install rule without
# its package's component would be in neither.
package_contents() {
    local deb
    for deb in "$@"; do
        dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|'
    done
}
if $check; then
    DESTDIR="$work/staged" cmake --install "$tree" --prefix /usr >/dev/null
    (cd "$work/staged" && find . ! -type d | sed 's|^\./|/|') | sort >"$work/installed"
    package_contents "${debs[@]}" | sort >"$work/packaged"
    duplicates=$(uniq -d "$work/packaged")
    differences=$(sort -u "$work/packaged" | diff "$work/installed" - || true)
    [ -z "$duplicates" ] || { echo "In both packages:" >&2; echo "$duplicates" >&2; exit 1; }
    [ -z "$differences" ] || {
        echo "The packages differ from cmake --install (<: installed only, >: packaged only):" >&2
        echo "$differences" >&2
        exit 1
    }
    tests/package/check-package.sh "${debs[@]}"
fi
printf '%s\n' "${debs[@]}"
