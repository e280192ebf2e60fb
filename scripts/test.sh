#!/usr/bin/env bash
# Fresh Debian 12 machine to a full test run: installs what is missing,
# builds everything under AddressSanitizer and UBSan, runs every test, and
# builds everything once more with warnings as errors under GCC and Clang.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" googletest libgtest-dev libgmock-dev \
    clang libclang-rt-14-dev xvfb xauth xdotool imagemagick \
    dbus-daemon at-spi2-core python3-pyatspi

jobs=$(nproc)
# The build trees are CMakePresets.json's.
cmake --preset test
cmake --build build/test -j"$jobs"

export QT_QPA_PLATFORM=offscreen
# A desktop session has a runtime directory; a bare CI shell may not. The
# tests give every port map a private one of their own. One made here is
# removed however the script ends.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    test_runtime_dir=$(mktemp -d /tmp/zorvik-test-runtime.XXXXXX)
    trap 'rm -rf -- "$test_runtime_dir"' EXIT
    export XDG_RUNTIME_DIR=$test_runtime_dir
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd build/test && ctest --output-on-failure -j"$jobs")
# The tests of a port its user may not open skip themselves as root, which
# CI runs as: they run again as a throw-away unprivileged user.
scripts/test-unprivileged.sh build/test

# Qt for Windows: a prebuilt copy when this machine has one (the shared
# toolchains folder beside the project); without one scripts/windows-qt.sh
# builds it from Debian's source, which takes about an hour.
if [ -z "${ZORVIK_QT_MINGW_ARCHIVE:-}" ]; then
    for prebuilt in ../shared/toolchains /work/shared/toolchains; do
        if [ -f "$prebuilt/qt6-mingw-6.4.2.tar.xz" ]; then
            export ZORVIK_QT_MINGW_ARCHIVE=$prebuilt/qt6-mingw-6.4.2.tar.xz
            break
        fi
    done
fi

# Everything built for Windows (build/windows-release), tested under wine
# against the simulator: the device link and zorvik.exe, the window suites,
# both windows end to end under Xvfb; then the installer and the portable
# zip are made (scripts/package-windows.sh) and the installer is installed,
# used and uninstalled under wine.
export ZORVIK_SIM=$PWD/build/test/sim/zorvik-sim
tests/windows/run.sh "$ZORVIK_SIM"
tests/windows/window-suites.sh
tests/windows/window-end-to-end.sh
tests/windows/installer-check.sh

# Every target, the windows and the tests included, without a warning under
# GCC and under Clang: built only, with warnings as errors and without the
# sanitizers, whose instrumentation changes what the compilers see. Optimized,
# because GCC finds some faults (uninitialized values, out-of-bounds accesses)
# only while optimizing.
for compiler in gcc clang; do
    cmake --preset "werror-$compiler"
    cmake --build "build/werror-$compiler" -j"$jobs"
done

# The parsers that take outside input, fuzzed briefly with libFuzzer (clang).
cmake --preset fuzz
cmake --build build/fuzz -j"$jobs" --target update_reader_fuzzer packet_decode_fuzzer \
    settings_file_fuzzer
(cd build/fuzz && ctest --output-on-failure -L fuzz -j"$jobs")

# The Debian package, made by CPack from the optimized GCC tree built above:
# checked with lintian, desktop-file-validate and appstreamcli, then installed
# on this machine with dpkg -i, its programs run from /usr/bin (the windows on
# an X server), and removed with dpkg -r leaving nothing behind.
scripts/package.sh --check build/werror-gcc

# The README's command blocks as a new user runs them: a fresh clone of this
# commit in a temporary folder, its own Release build of the command line and
# the simulator, every block marked <!-- ci: run --> run with set -e (see
# scripts/readme-commands.sh for the markers).
scripts/readme-commands.sh
