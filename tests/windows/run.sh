#!/usr/bin/env bash
# The Windows build, checked under wine against the device simulator.
#
#   tests/windows/run.sh [PATH-TO-LINUX-zorvik-sim]
#
# Cross-builds the device link, its tests and zorvik.exe for 64-bit Windows
# into build/windows, creates a throw-away wine prefix, and maps COM5 there
# to the simulator's pseudo-terminal (HKLM\Software\Wine\Ports). Then it runs
# the Windows test binaries and zorvik.exe under wine against the simulator,
# which plays a running device (also for `zorvik params` and `set`), a device
# in recovery mode and a device taking a firmware update in turn. Quiet on
# success; on a failure it prints what the failing step said and exits
# non-zero. Installs its Debian packages when they are missing (as root, or
# through sudo).
#
# The simulator is the Linux one (default build/test/sim/zorvik-sim, or
# ZORVIK_SIM); it is built when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

sim=${1:-${ZORVIK_SIM:-build/test/sim/zorvik-sim}}
port=COM5
jobs=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-windows.XXXXXX")
step_log=$work/step.log
sim_pid=
wine_server_started=

# wine: a private prefix, no desktop, no debug channels, no Mono or Gecko
# installers, no menu entries written into the home directory.
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# The simulator enters its port in the port map under here; COM5 points at
# that entry, so every simulator started below appears as COM5.
export XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$XDG_RUNTIME_DIR"
port_link=$XDG_RUNTIME_DIR/serialcomm/ttySIM0

cleanup() {
    stop_simulator || true
    # The persistent server's output goes nowhere (it dumps its state when
    # killed).
    [ -n "$wine_server_started" ] && wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "tests/windows: FAILED: $1" >&2
    exit 1
}

# step DESCRIPTION COMMAND...: runs the command (a function stops at its
# first failing command) with its output kept for the failure report. It
# runs in a subshell: variables it sets are not kept.
step() {
    local description=$1 result
    shift
    set +e
    (set -e; "$@") >"$step_log" 2>&1
    result=$?
    set -e
    [ "$result" -eq 0 ] && return 0
    tail -n 200 "$step_log" >&2
    fail "$description"
}

# A Linux path as wine's Z: drive names it.
windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

install_packages() {
    . scripts/ensure-packages.sh
    ensure_packages wine64 wine g++-mingw-w64-x86-64-posix googletest cmake make
}

build_windows() {
    cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_GUI=OFF -DZORVIK_BUILD_BENCH=OFF
    cmake --build build/windows -j"$jobs"
}

# build_simulator TREE: builds zorvik-sim in a Linux build tree, configuring
# a small one (no Qt, no tests) when the tree is new.
build_simulator() {
    local tree=$1
    if [ ! -f "$tree/CMakeCache.txt" ]; then
        . scripts/ensure-packages.sh
        ensure_packages build-essential cmake
        cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_GUI=OFF \
            -DBUILD_TESTING=OFF -DZORVIK_BUILD_BENCH=OFF
    fi
    cmake --build "$tree" -j"$jobs" --target zorvik-sim
}

# The wine server reads the port mapping when it starts, so the mapping is
# written with the server that creates the prefix, which is then left to
# end by itself. One persistent server serves everything after it.
make_wine_prefix() {
    timeout 300 wineboot -i
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$port_link" /f
    timeout 120 wineserver -w
    wineserver -p >/dev/null 2>&1
}

# start_simulator ARGS...: a simulator on COM5, ready when this returns.
start_simulator() {
    local ready=$work/simulator.ready name=
    rm -f "$ready"
    mkfifo "$ready"
    "$sim" "$@" >"$ready" 2>>"$work/simulator.log" &
    sim_pid=$!
    read -r -t 10 name <"$ready" || true
    [ "$name" = ttySIM0 ] || fail "the simulator did not start: $(cat "$work/simulator.log")"
}

# Ends the simulator; false when it did not end cleanly (it leaves through
# its own signal handler, so anything but status 0 is a fault of its own).
stop_simulator() {
    [ -n "$sim_pid" ] || return 0
    local pid=$sim_pid status=0
    sim_pid=
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || status=$?
    return "$status"
}

end_simulator() {
    stop_simulator || fail "the simulator ended with an error: $(cat "$work/simulator.log")"
}

under_wine() {
    timeout 300 wine "$@" </dev/null
}

# The tests that need no port: everything cross-built except the port tests.
run_portable_tests() {
    local binaries binary
    mapfile -t binaries < <(find build/windows/tests -name '*_tests.exe' \
        ! -name windows_serial_tests.exe | sort)
    [ ${#binaries[@]} -gt 0 ]
    for binary in "${binaries[@]}"; do
        under_wine "$binary" --gtest_brief=1
    done
}

# serial_tests ROLE [VARIABLE=VALUE...]: the port tests for the simulator's
# role; every one of them must run (none skipped) and pass.
serial_tests() {
    local role=$1 filter output=$work/serial_tests.txt status=0
    shift
    case $role in
    firmware) filter='PortList.*:Firmware*' ;;
    recovery) filter='Recovery*' ;;
    update) filter='Transfer*' ;;
    esac
    env ZORVIK_TEST_PORT="$port" ZORVIK_TEST_DEVICE="$role" "$@" \
        timeout 300 wine build/windows/tests/windows/windows_serial_tests.exe \
        --gtest_brief=1 --gtest_filter="$filter" </dev/null >"$output" || status=$?
    cat "$output"
    [ "$status" -eq 0 ] || return "$status"
    if grep -q '^\[  SKIPPED \]' "$output"; then
        echo "tests were skipped: is the simulator behind $port playing $role?"
        return 1
    fi
    grep -q '^\[  PASSED  \] [1-9]' "$output"
}

# Output of wine programs goes to files, never into pipes: wine's service
# processes may inherit the descriptors and keep a pipe open.
expect_output() {
    local expected=$1 output=$work/output.txt status=0
    shift
    "$@" >"$output.raw" || status=$?
    tr -d '\r' <"$output.raw" >"$output"
    cat "$output"
    [ "$status" -eq 0 ] || return "$status"
    grep -qxF -- "$expected" "$output" || { echo "missing line: $expected"; return 1; }
}

zorvik() {
    under_wine build/windows/cli/zorvik.exe "$@"
}

# deadband_row VALUE: the StickDeadband line of `zorvik params` (0 .. 25 at
# word 0x31, default 2) while the device holds VALUE.
deadband_row() {
    printf 'StickDeadband          0x109C 0x0031  %7d       0      25       2' "$1"
}

step "installing packages" install_packages
step "cross-building for Windows" build_windows
if [ ! -x "$sim" ]; then
    tree=$(dirname "$(dirname "$sim")")
    if [ ! -f "$tree/CMakeCache.txt" ]; then
        tree=build/windows-sim
        sim=$tree/sim/zorvik-sim
    fi
    step "building the simulator" build_simulator "$tree"
fi
wine_server_started=yes
step "creating the wine prefix" make_wine_prefix
step "protocol and update file tests under wine" run_portable_tests

firmware_identity=(--app-version 3.1.7 --data-version 1.2 --hardware 0x0082 --token 1234)
start_simulator "${firmware_identity[@]}"
step "port tests against a running device" serial_tests firmware
step "zorvik ports lists $port" expect_output "$port" zorvik ports
step "zorvik info $port" expect_output "Application: 3.1.7" zorvik info "$port"
step "zorvik params $port" expect_output "$(deadband_row 2)" zorvik params "$port"
step "zorvik set $port" expect_output "Settings successfully stored (1 written)." \
    zorvik set "$port" StickDeadband=5
# A new connection reads back what the device stored.
step "zorvik params $port after set" expect_output "$(deadband_row 5)" zorvik params "$port"
end_simulator

start_simulator --recovery 0x81
step "port tests against a device in recovery mode" serial_tests recovery
end_simulator

image=$work/received.bin
update_result=(--save-image "$image" --update-app-version 3.1.8 --update-data-version 1.3)
start_simulator "${firmware_identity[@]}" "${update_result[@]}"
step "firmware transfer test" serial_tests update ZORVIK_TEST_IMAGE="$(windows_path "$image")"
end_simulator

rm -f "$image"
start_simulator "${firmware_identity[@]}" "${update_result[@]}"
# After the transfer the command reports the restarted device.
step "zorvik update $port" expect_output "Application: 3.1.8" \
    zorvik update "$port" "$(windows_path updater/samples/zorvik-3.1.8-sample.upd)" --yes
[ -s "$image" ] || fail "zorvik update: the device received no records"
end_simulator
