#!/usr/bin/env bash
# The Windows build of everything (both windows, zorvik.exe, the tests) on
# Debian: cross-built with mingw-w64 against Qt for Windows into
# build/windows-release, then laid out as the installer ships it in
# build/windows-release/deploy (scripts/windows-deploy.sh).
#
#   scripts/build-windows.sh [QT-ARCHIVE]
#
# QT-ARCHIVE: a prebuilt Qt for mingw-w64 (see scripts/windows-qt.sh);
# without one, Qt is built from Debian's source first (slow, once).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages g++-mingw-w64-x86-64-posix qt6-base-dev-tools qt6-base-dev ninja-build cmake \
    googletest binutils-mingw-w64-x86-64 xz-utils

qt=$(scripts/windows-qt.sh "$@")
tree=build/windows-release
cmake -G Ninja -S . -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_BENCH=OFF >/dev/null
cmake --build "$tree" -j"$(nproc)"
scripts/windows-deploy.sh "$tree" "$qt" "$tree/deploy"
