#!/usr/bin/env bash
# Fresh Debian 12 machine to the settings program on a simulated device:
# installs what is missing, builds, starts the device simulator and
# ZORVIKMicroSettings beside it, with the simulator's port chosen. Close the
# window to end the demo. Needs a graphical session (or xvfb-run -a).
#
# The simulated device keeps its parameters in a state file between runs,
# so a value stored in one demo is still there in the next.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/graphical-session.sh
require_graphical_session
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DZORVIK_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target zorvik-sim zorvik ZORVIKMicroSettings

state_dir="${XDG_STATE_HOME:-$HOME/.local/state}/zorvik"
mkdir -p "$state_dir"
state="$state_dir/simulated-device.txt"
coproc SIM { exec build/release/sim/zorvik-sim --state "$state"; }
trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null || true' EXIT
read -r port <&"${SIM[0]}"
build/release/cli/zorvik info "$port" || true
cat <<TEXT

Simulated ZORVIK device on port $port (its parameters are kept in $state).
ZORVIKMicroSettings starts with $port chosen under "USB-Interface (KORLINK)": press
"Connect"; every change is stored in the device half a second later.
TEXT
build/release/settings/ZORVIKMicroSettings --port "$port"
