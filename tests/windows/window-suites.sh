#!/usr/bin/env bash
# The window suites of the Windows build, run under wine.
#
#   tests/windows/window-suites.sh
#
# Runs the Qt Test and GoogleTest suites whose device is simulated inside
# the test's own process (sim/SimulatedLink behind a SimulatedPort), and
# the windows' other in-process suites, on Qt's offscreen platform, in a throw-away wine prefix (wine-session.sh). The
# tree is ZORVIK_WINDOWS_TREE (default build/windows-release), built by
# scripts/build-windows.sh beforehand: nothing is built here. Quiet on
# success but for one line per suite at the end; on a failure it prints what
# the failing suite said and exits non-zero.
#
# The suites that need pseudo-terminals, the Linux simulator program or
# other child processes, Xvfb or Linux permissions are not built for
# Windows (see tests/*/CMakeLists.txt); single functions of the suites here
# that need them skip themselves on Windows.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=${ZORVIK_WINDOWS_TREE:-build/windows-release}
[ -f "$tree/CMakeCache.txt" ] || {
    echo "tests/windows: no build tree at $tree (run scripts/build-windows.sh)" >&2
    exit 1
}
# The Qt the tree was built with: its DLLs and plugins are the ones to load.
qt=$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$tree/CMakeCache.txt")
[ -f "$qt/bin/Qt6Core.dll" ] || {
    echo "tests/windows: the tree names no Qt for Windows ($qt)" >&2
    exit 1
}
sim= # no simulator program: every device here lives in its test's process
. tests/windows/wine-session.sh

# NAME|BINARY IN THE TREE|VARIABLE=VALUE... (WINEQT_* arrive as QT_*)
suites=(
    "settings window|tests/settings/settings_window_tests.exe|"
    "settings device values|tests/settings/settings_device_values_tests.exe|"
    "settings servo and swash rules|tests/settings/settings_servo_swash_tests.exe|"
    "settings files|tests/settings/settings_files_window_tests.exe|"
    "settings preview layout|tests/settings/settings_preview_layout_tests.exe|"
    "settings form|tests/settings/settings_form_tests.exe|"
    "settings memory|tests/settings/settings_eep_tests.exe|"
    "settings rules|tests/settings/settings_rules_tests.exe|"
    "settings session changes|tests/settings/settings_session_changes_tests.exe|"
    "settings session changes window|tests/settings/settings_session_changes_window_tests.exe|"
    "settings backup list|tests/settings/settings_backup_list_window_tests.exe|"
    "pictures at scale 1|tests/settings/settings_hidpi_images_tests.exe|WINEQT_SCALE_FACTOR=1"
    "pictures at scale 2|tests/settings/settings_hidpi_images_tests.exe|WINEQT_SCALE_FACTOR=2"
    "updater window|tests/updater/updater_window_tests.exe|"
    "updater run|tests/updater/updater_run_tests.exe|"
    "updater backup|tests/updater/updater_backup_tests.exe|"
    "auto-detection|tests/updater/autodetect_tests.exe|"
    "about box|tests/common/aboutbox_tests.exe|"
    "accessible names|tests/common/accessible_names_tests.exe|"
    "port list box|tests/common/portlistbox_tests.exe|"
    "device labels|tests/common/devicelabels_tests.exe|"
    "busy port retry|tests/common/busyportretry_tests.exe|"
    "swash plate|tests/swashplate/swashplate_tests.exe|"
)

results=()
wine_session_begin

# counts OUTPUT: "N passed, M skipped" from a suite's totals line, Qt Test's
# or GoogleTest's; fails when the line is missing, when anything failed, or
# when nothing passed.
counts() {
    local output=$1 line passed failed skipped
    if line=$(grep -E '^Totals: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' "$output"); then
        read -r passed failed skipped < <(sed -E 's/^Totals: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/' <<<"$line")
    elif line=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$output"); then
        passed=$(sed -E 's/^\[  PASSED  \] ([0-9]+) .*/\1/' <<<"$line")
        failed=$(grep -cE '^\[  FAILED  \] ' "$output" || true)
        skipped=$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below:.*/\1/p' "$output")
        skipped=${skipped:-0}
    else
        echo "no totals line: the suite did not run to its end"
        return 1
    fi
    [ "$failed" -eq 0 ] || { echo "$failed failed"; return 1; }
    [ "$passed" -gt 0 ] || { echo "nothing passed"; return 1; }
    echo "$passed passed, $skipped skipped"
}

for entry in "${suites[@]}"; do
    IFS='|' read -r name binary environment <<<"$entry"
    output=$work/suite.txt
    status=0
    summary=
    [ -f "$tree/$binary" ] || fail "$name: not built ($tree/$binary)"
    arguments=()
    case $binary in
    *settings_rules_tests.exe) arguments=(--gtest_brief=1) ;;
    esac
    # Output to a file, never a pipe (wine's services may inherit it). The
    # platform goes in as a variable (WINEQT_* arrive as QT_*): the suites
    # without widgets take no -platform option. Qt Test writes to the
    # debugger's channel under wine unless told otherwise.
    run_suite() {
        status=0
        # shellcheck disable=SC2086 # the variables are words of their own
        env WINEQT_QPA_PLATFORM=offscreen WINEQT_FORCE_STDERR_LOGGING=1 $environment \
            timeout 600 wine "$tree/$binary" "${arguments[@]}" </dev/null >"$output.raw" 2>&1 \
            || status=$?
        tr -d '\r' <"$output.raw" >"$output"
    }
    run_suite
    # Now and then wine ends a program before it has run (status 1, not a
    # word written, not even the suite's first line): that one is started
    # again, once, and said so. A suite that ran and failed is not.
    if [ "$status" -ne 0 ] && [ ! -s "$output" ]; then
        echo "tests/windows: $name ended with status $status before it ran; starting it again" >&2
        run_suite
    fi
    if [ "$status" -ne 0 ] || ! summary=$(counts "$output"); then
        tail -n 300 "$output" >&2
        [ "$status" -eq 0 ] || echo "exit status $status" >&2
        [ -z "${summary:-}" ] || echo "$summary" >&2
        fail "$name ($binary)"
    fi
    results+=("passed under wine: $name ($summary)")
done

printf '%s\n' "${results[@]}"
