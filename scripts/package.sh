#!/usr/bin/env bash
# Builds the Debian package zorvik_<version>_<arch>.deb of the four programs
# with their menu entries, icons, file types, man pages and bash completion:
#
#   scripts/package.sh [--check] [TREE]
#
# TREE is an optimized build tree, by default build/release (the demos' tree;
# configured here when it does not exist). The package is written into TREE
# and its path printed as the last line. Install it with
#   apt install ./build/release/zorvik_*.deb
# --check then checks the package as CI does (tests/package/check-package.sh):
# lintian, the desktop and AppStream files, and an install, run and removal
# on this machine.
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
log=$(mktemp)
trap 'rm -f "$log"' EXIT
(cd "$tree" && cpack -G DEB) | tee "$log"
deb=$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$log")
[ -f "$deb" ] || { echo "CPack reported no package" >&2; exit 1; }

if $check; then
    tests/package/check-package.sh "$deb"
fi
echo "$deb"
