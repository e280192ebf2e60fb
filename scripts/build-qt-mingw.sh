#!/bin/bash
# Cross-builds Qt 6.4.2 (qtbase only) for 64-bit Windows with mingw-w64 (posix threads)
# on Debian 12, from Debian's source package of Debian's own Qt: what the Windows build of
# the two windows links. scripts/windows-qt.sh calls it when no prebuilt copy is given.
#
# usage: build-qt-mingw.sh PREFIX
#
# environment (all optional):
#   QT_SRC_DIR   folder holding qt6-base_6.4.2+dfsg.orig.tar.xz and
#                qt6-base_6.4.2+dfsg-10.debian.tar.xz; fetched there from Debian with
#                `apt-get source --download-only` when missing   (default ./qt-src)
#   DEB_SRC      the apt source line used for that, in a private apt state (the
#                machine's own apt configuration is not touched)
#                (default "deb-src http://deb.debian.org/debian bookworm main")
#   WORK_DIR     where sources, build tree and toolchain go      (default ./qt-work)
#   JOBS         parallel compile jobs                           (default 2)
#   STOP_AFTER   "configure" to stop after the configure stage
#
# Host requirements (Debian 12):
#   apt-get install qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix \
#                   cmake ninja-build
#
# Idempotent: each stage (unpack+patch, configure, build, install) is skipped or resumed when
# its result is already there; changing the configure options below forces a fresh configure.
set -euo pipefail

PREFIX=${1:?usage: $0 PREFIX}
case "$PREFIX" in /*) ;; *) PREFIX="$(pwd)/$PREFIX" ;; esac
QT_SRC_DIR=${QT_SRC_DIR:-$PWD/qt-src}
WORK_DIR=${WORK_DIR:-$PWD/qt-work}
JOBS=${JOBS:-2}

ORIG_TAR=$QT_SRC_DIR/qt6-base_6.4.2+dfsg.orig.tar.xz
DEB_TAR=$QT_SRC_DIR/qt6-base_6.4.2+dfsg-10.debian.tar.xz
SRC=$WORK_DIR/src/qtbase-everywhere-src-6.4.2
BUILD=$WORK_DIR/build-qtbase
TOOLCHAIN=$WORK_DIR/toolchain-mingw.cmake
HOST_QT=/usr                                   # Debian's qt6-base-dev 6.4.2 (moc, rcc, uic ...)
HOST_QT_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
NICE="nice -n 19"

log() { echo "[$(date '+%F %T')] $*"; }

# The source package through a private apt state: a machine need not list
# deb-src entries for this.
fetch_sources() {
    local apt_dir=$WORK_DIR/apt
    mkdir -p "$apt_dir/lists/partial" "$QT_SRC_DIR"
    echo "${DEB_SRC:-deb-src http://deb.debian.org/debian bookworm main}" >"$apt_dir/sources.list"
    local options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
                   -o "Dir::State::Lists=$apt_dir/lists" -o "APT::Sandbox::User=root")
    apt-get "${options[@]}" update
    ( cd "$QT_SRC_DIR" && apt-get "${options[@]}" source --download-only qt6-base=6.4.2+dfsg-10 )
}
if [ ! -f "$ORIG_TAR" ] || [ ! -f "$DEB_TAR" ]; then
    mkdir -p "$WORK_DIR"
    fetch_sources
fi
for f in "$ORIG_TAR" "$DEB_TAR"; do [ -f "$f" ] || { echo "missing $f" >&2; exit 1; }; done
for t in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-windres \
         cmake ninja /usr/lib/qt6/libexec/moc /usr/lib/qt6/libexec/rcc /usr/lib/qt6/libexec/uic; do
    command -v "$t" >/dev/null || { echo "missing tool $t" >&2; exit 1; }
done
[ -f "$HOST_QT_CMAKE_DIR/Qt6/Qt6Config.cmake" ] || { echo "host Qt6 CMake packages missing" >&2; exit 1; }
mkdir -p "$WORK_DIR"

# ---------------------------------------------------------------- toolchain file
# Written only if absent, so a hand-edited copy is kept.
if [ ! -f "$TOOLCHAIN" ]; then
    log "writing $TOOLCHAIN"
    cat > "$TOOLCHAIN" <<'EOF'
# CMake toolchain file: Debian 12 host -> 64-bit Windows, mingw-w64 gcc, posix thread model.
# Used both to cross-build Qt and to build applications against the cross-built Qt.
#
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=/path/to/toolchain-mingw.cmake \
#         -DCMAKE_PREFIX_PATH=/path/to/qt6-mingw -S src -B build
#
# Every entry of CMAKE_PREFIX_PATH is also added to CMAKE_FIND_ROOT_PATH, so that packages
# (Qt6Config.cmake ...) in a target prefix outside the mingw sysroot are found while the
# search for headers/libraries/packages otherwise stays confined to the target side.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)
set(CMAKE_AR           /usr/bin/${MINGW_TRIPLE}-ar CACHE FILEPATH "ar")
set(CMAKE_RANLIB       /usr/bin/${MINGW_TRIPLE}-ranlib CACHE FILEPATH "ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
foreach(_p IN LISTS CMAKE_PREFIX_PATH)
    list(APPEND CMAKE_FIND_ROOT_PATH "${_p}")
endforeach()

# Programs (moc, rcc, uic, ...) come from the host; everything else from the target side.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
fi

# ---------------------------------------------------------------- unpack + patch
# Debian's patch series is applied except cross.patch (it only concerns Debian's own
# cross builds: it would enable androiddeployqt when cross-compiling).
if [ ! -f "$SRC/.unpacked-and-patched" ]; then
    log "unpacking sources into $WORK_DIR/src"
    rm -rf "$SRC"
    mkdir -p "$WORK_DIR/src"
    tar -C "$WORK_DIR/src" -xf "$ORIG_TAR"
    tar -C "$SRC" -xf "$DEB_TAR"
    ( cd "$SRC"
      grep -v -e '^#' -e '^[[:space:]]*$' debian/patches/series | while read -r p _; do
          if [ "$p" = cross.patch ]; then echo "  skip $p"; continue; fi
          echo "  apply $p"
          patch -p1 --quiet --forward < "debian/patches/$p"
      done )
    touch "$SRC/.unpacked-and-patched"
fi

# ---------------------------------------------------------------- configure
# The dfsg tarball lacks src/3rdparty/{iaccessible2,sqlite,wintab}:
#   sqlite  -> Qt SQL is off (-no-feature-sql)
#   wintab  -> QTabletEvent support is off (-no-feature-tabletevent; the windows QPA
#              plugin's qwindowstabletsupport.cpp includes wintab.h/pktdef.h) and the
#              direct2d QPA plugin (also includes 3rdparty/wintab) is not built
#              (-no-feature-direct2d1_1).  Do NOT use -no-direct2d instead: in qtbase 6.4.2
#              the Gui feature "direct2d" also gates the DirectWrite font engine and
#              QWindowsDirectWriteFontDatabase, and with it off but directwrite3 on, qwindows.dll
#              fails to link (undefined reference to QWindowsDirectWriteFontDatabase).
#   iaccessible2 -> not referenced by qtbase 6.4.2 (Windows accessibility uses UI Automation
#              with mingw-w64's own headers), so accessibility stays on.
CONFIGURE_OPTS=(
    -prefix "$PREFIX"
    -release -shared
    -qt-host-path "$HOST_QT"
    -nomake examples -nomake tests
    -no-opengl -no-feature-vulkan
    -no-dbus -no-icu -no-zstd
    -no-feature-sql -no-feature-network -no-feature-xml
    -no-feature-concurrent -no-feature-printsupport
    -no-feature-tabletevent -no-feature-direct2d1_1
    -qt-zlib -qt-libpng -no-libjpeg -no-gif -no-ico
    -qt-pcre -qt-harfbuzz -qt-freetype -qt-doubleconversion
    --
    -G Ninja
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN"
    -DQT_HOST_PATH_CMAKE_DIR="$HOST_QT_CMAKE_DIR"
)
OPTS_SIG=$(printf '%s\n' "${CONFIGURE_OPTS[@]}" | sha1sum | cut -d' ' -f1)

mkdir -p "$BUILD"
if [ "$(cat "$BUILD/.configured" 2>/dev/null)" != "$OPTS_SIG" ] || [ ! -f "$BUILD/build.ninja" ]; then
    log "configure: $SRC/configure ${CONFIGURE_OPTS[*]}"
    rm -rf "$BUILD" && mkdir -p "$BUILD"
    t0=$(date +%s)
    ( cd "$BUILD" && $NICE "$SRC/configure" "${CONFIGURE_OPTS[@]}" )
    log "configure finished in $(( $(date +%s) - t0 )) s"
    echo "$OPTS_SIG" > "$BUILD/.configured"
else
    log "configure: already done with the same options, skipped"
fi

[ "${STOP_AFTER:-}" = configure ] && { log "STOP_AFTER=configure: stopping"; exit 0; }

# ---------------------------------------------------------------- build
t0=$(date +%s)
log "build: $JOBS jobs"
$NICE cmake --build "$BUILD" --parallel "$JOBS"
log "build finished in $(( $(date +%s) - t0 )) s"

# ---------------------------------------------------------------- install
log "install into $PREFIX"
$NICE cmake --install "$BUILD"
cp "$TOOLCHAIN" "$PREFIX/toolchain-mingw.cmake"
log "done"
