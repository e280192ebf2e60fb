#!/usr/bin/env bash
# Fresh Debian 12 machine to a full test run: installs what is missing,
# builds everything under AddressSanitizer and UBSan, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" googletest libgtest-dev libgmock-dev \
    clang libclang-rt-14-dev xvfb xauth xdotool imagemagick

jobs=$(nproc)
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DZORVIK_SANITIZE=ON
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

# The device link built for Windows, tested under wine against the simulator.
tests/windows/run.sh build/test/sim/zorvik-sim

# The parsers that take outside input, fuzzed briefly with libFuzzer (clang).
CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVIK_BUILD_FUZZERS=ON \
    -DZORVIK_BUILD_GUI=OFF -DZORVIK_BUILD_BENCH=OFF
cmake --build build/fuzz -j"$jobs" --target update_reader_fuzzer packet_decode_fuzzer
(cd build/fuzz && ctest --output-on-failure -L fuzz -j"$jobs")
