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
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd build/test && ctest --output-on-failure -j"$jobs")
