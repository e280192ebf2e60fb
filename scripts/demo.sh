#!/usr/bin/env bash
# Fresh Debian 12 machine to a running demo: installs what is missing,
# builds, starts the device simulator and talks to the simulated device.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_TESTS=OFF \
    -DZORVIK_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target zorvik-sim zorvik

mkdir -p "${XDG_STATE_HOME:-$HOME/.local/state}/zorvik"
state="${XDG_STATE_HOME:-$HOME/.local/state}/zorvik/simulated-device.txt"
coproc SIM { exec build/release/sim/zorvik-sim --state "$state"; }
trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null || true' EXIT
read -r port <&"${SIM[0]}"
echo "Simulated ZORVIK device on port $port (state kept in $state)"
build/release/cli/zorvik info "$port"
