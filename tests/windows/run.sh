#!/usr/bin/env bash
# The Windows build, checked under wine against the device simulator.
#
#   tests/windows/run.sh [PATH-TO-LINUX-zorvik-sim]
#
# Cross-builds everything for 64-bit Windows into build/windows-release
# (scripts/build-windows.sh), creates a throw-away wine prefix, and maps COM5 there
# to the simulator's pseudo-terminal (HKLM\Software\Wine\Ports). Then it runs
# the Windows test binaries and zorvik.exe under wine against the simulator,
# which plays a running device (also for `zorvik params` and `set`), a device
# in recovery mode and a device taking a firmware update in turn. Quiet on
# success; on a failure it prints what the failing step said and exits
# non-zero. Installs its Debian packages when they are missing (as root, or
# through sudo).
#
# The simulator is the Linux one (default build/test/sim/zorvik-sim, or
# ZORVIK_SIM); it is built when missing. Qt for Windows comes from
# scripts/windows-qt.sh (ZORVIK_QT_MINGW_ARCHIVE: a prebuilt copy).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

sim=${1:-${ZORVIK_SIM:-build/test/sim/zorvik-sim}}
tree=build/windows-release
. tests/windows/wine-session.sh

install_packages() {
    . scripts/ensure-packages.sh
    ensure_packages wine64 wine fonts-wine fonts-dejavu-core cmake make
}

# The GoogleTest suites that need no port: the device link's and the update
# file's (the window suites run in tests/windows/window-suites.sh).
run_portable_tests() {
    local binaries binary
    mapfile -t binaries < <(find "$tree/tests/devicelink" "$tree/tests/update" \
        "$tree/tests/windows" -name '*_tests.exe' \
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
        timeout 300 wine "$tree"/tests/windows/windows_serial_tests.exe \
        --gtest_brief=1 --gtest_filter="$filter" </dev/null >"$output" || status=$?
    cat "$output"
    [ "$status" -eq 0 ] || return "$status"
    if grep -q '^\[  SKIPPED \]' "$output"; then
        echo "tests were skipped: is the simulator behind $port playing $role?"
        return 1
    fi
    grep -q '^\[  PASSED  \] [1-9]' "$output"
}

zorvik() {
    under_wine "$tree"/cli/zorvik.exe "$@"
}

# deadband_row VALUE: the StickDeadband line of `zorvik params` (0 .. 25 at
# word 0x31, default 2) while the device holds VALUE.
deadband_row() {
    printf 'StickDeadband          0x109C 0x0031  %7d       0      25       2' "$1"
}

step "installing packages" install_packages
step "cross-building for Windows" scripts/build-windows.sh
qt=$(scripts/windows-qt.sh)
ensure_simulator
wine_session_begin
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
