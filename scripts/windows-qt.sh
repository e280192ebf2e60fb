#!/usr/bin/env bash
# Qt 6 for 64-bit Windows (mingw-w64), as the Windows build of the windows
# needs it: Debian has none. Prints the folder of that Qt (the prefix to give
# CMake) on standard output; everything else goes to standard error.
#
#   scripts/windows-qt.sh [ARCHIVE]
#
# ARCHIVE (or ZORVIK_QT_MINGW_ARCHIVE) is a prebuilt copy packed as
# qt6-mingw-6.4.2.tar.xz (a folder qt6-mingw inside; relocatable): it is
# unpacked into build/toolchains once, after its .sha256 file beside it (when
# there is one) has been checked. Without an archive, Qt is built from
# Debian's own qt6-base source package with scripts/build-qt-mingw.sh into
# the same folder: slow, about half an hour to an hour on two cores, and
# done once.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=$root/build/toolchains/qt6-mingw
archive=${1:-${ZORVIK_QT_MINGW_ARCHIVE:-}}

say() { echo "windows-qt: $*" >&2; }

if [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "$prefix"
    exit 0
fi

if [ -n "$archive" ]; then
    [ -f "$archive" ] || { say "no such archive: $archive"; exit 1; }
    if [ -f "$archive.sha256" ]; then
        (cd "$(dirname "$archive")" && sha256sum --quiet -c "$(basename "$archive").sha256") >&2 \
            || { say "$archive does not match its checksum"; exit 1; }
    fi
    say "unpacking $archive"
    rm -rf "$prefix.unpacking"
    mkdir -p "$prefix.unpacking"
    tar -C "$prefix.unpacking" -xJf "$archive"
    [ -f "$prefix.unpacking/qt6-mingw/lib/cmake/Qt6/Qt6Config.cmake" ] \
        || { say "$archive holds no qt6-mingw folder with Qt 6 in it"; exit 1; }
    rm -rf "$prefix"
    mv "$prefix.unpacking/qt6-mingw" "$prefix"
    rm -rf "$prefix.unpacking"
else
    say "no prebuilt Qt given: building it from Debian's qt6-base source (slow)"
    . scripts/ensure-packages.sh
    ensure_packages dpkg-dev qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix \
        cmake ninja-build xz-utils patch
    WORK_DIR=$root/build/toolchains/qt-work QT_SRC_DIR=$root/build/toolchains/qt-src \
        JOBS=${JOBS:-$(nproc)} scripts/build-qt-mingw.sh "$prefix" >&2
fi
echo "$prefix"
