#!/usr/bin/env bash
# Fresh Debian 12 machine to the firmware updater on a simulated device:
# installs what is missing, builds, starts the device simulator and the
# updater with the sample update file (its description box comes first) and
# the simulator's port chosen. Close the updater to end the demo. Needs a
# graphical session (or xvfb-run -a).
#
#   scripts/updater-demo.sh           the demo
#   scripts/updater-demo.sh replug    (from a second terminal, while the demo
#                                     runs) unplugs the simulated adapter for
#                                     two seconds and plugs it in again, for
#                                     trying "Autodetect..."
set -euo pipefail
cd "$(dirname "$0")/.."

readonly PORT=ttySIM0

# Where the port list looks for virtual ports (see "Ports on Linux" in the
# README).
port_map_directory() {
    if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
        echo "$XDG_RUNTIME_DIR/serialcomm"
    else
        echo "/tmp/zorvik-serialcomm-$(id -u)"
    fi
}

replug() {
    local link
    link="$(port_map_directory)/$PORT"
    local node
    node=$(readlink "$link") || { echo "No simulated adapter $PORT is plugged in." >&2; exit 1; }
    rm "$link"
    echo "$PORT unplugged"
    sleep 2
    ln -s "$node" "$link"
    echo "$PORT plugged in again"
}

if [ "${1:-}" = "replug" ]; then
    replug
    exit 0
fi

. scripts/graphical-session.sh
require_graphical_session
. scripts/ensure-packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DZORVIK_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target zorvik-sim ZORVIKUpdater make_sample_update
# The sample update file, made by its generator from the sources (the copy in
# updater/samples/ is the same file, checked by a test).
sample=build/release/zorvik-3.1.8-sample.upd
build/release/updater/make_sample_update "$sample"

# Paced at the line rate, so the progress bar moves as with a real adapter.
coproc SIM { exec build/release/sim/zorvik-sim --name "$PORT" --paced; }
trap 'kill "$SIM_PID" 2>/dev/null; wait "$SIM_PID" 2>/dev/null || true' EXIT
read -r port <&"${SIM[0]}"
cat <<EOF
Simulated ZORVIK device (firmware 3.1.7) on port $port.
The updater first shows the sample file's description: press OK. It starts with
$port chosen under "USB-Interface (KORLINK)": press "Start Update..." and "Yes";
the device comes back with firmware 3.1.8.
To try "Autodetect...": press it, then run in a second terminal
    scripts/updater-demo.sh replug
EOF
build/release/updater/ZORVIKUpdater --port "$port" "$sample"
