#!/usr/bin/env bash
# Both Windows programs, as installed, in real windows under wine on an X
# server of their own (Xvfb), driven like a user with xdotool against the
# Linux device simulator on COM5:
#   ZORVIKMicroSettings.exe --port COM5: Connect, the device's settings read,
#   one value raised with the Up key and written to the device, Alt+F4;
#   ZORVIKUpdater.exe --port COM5 FILE.upd: the file's description box,
#   Start Update..., Yes, the transfer, the restarted device asked again,
#   the result box, the update records, File > Exit and Yes.
# Quiet on success. On a failure it says what failed and keeps a screenshot
# of the screen, the simulator's log and the programs' output in a folder it
# names.
#
#   tests/windows/window-end-to-end.sh [--screenshots]
#
# --screenshots writes docs/windows-settings.png (the connected settings
# window) and docs/windows-updater.png (the updater after the update).
#
# The programs come from the installed layout ZORVIK_WINDOWS_DEPLOY (default
# build/windows-release/deploy: scripts/windows-deploy.sh); the simulator is
# ZORVIK_SIM (default build/test/sim/zorvik-sim). Exits 77 (skipped) when
# wine, Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail
cd "$(dirname "$0")/../.."

screenshots=
case ${1:-} in
--screenshots) screenshots=yes ;;
"") ;;
*)
    echo "usage: $0 [--screenshots]" >&2
    exit 2
    ;;
esac
[ $# -le 1 ] || { echo "usage: $0 [--screenshots]" >&2; exit 2; }

deploy=$(realpath -m "${ZORVIK_WINDOWS_DEPLOY:-build/windows-release/deploy}")
sim=$(realpath -m "${ZORVIK_SIM:-build/test/sim/zorvik-sim}")
update_file=$(realpath updater/samples/zorvik-3.1.8-sample.upd)

# The X server, the waiting and the window finding of the Linux window
# tests; wine-session.sh, sourced after it, brings the wine prefix with COM5,
# its own fail and the simulator on COM5 (it replaces the X helpers'
# start_simulator and fail).
. tests/support/xvfb-session.sh
require_tools Xvfb xdotool import compare convert
if ! command -v wine >/dev/null; then
    echo "SKIP: wine is not installed (apt-get install wine wine64)"
    exit "$SKIPPED"
fi
for program in ZORVIKMicroSettings.exe ZORVIKUpdater.exe platforms/qwindows.dll; do
    [ -f "$deploy/$program" ] || {
        echo "tests/windows: FAILED: $deploy/$program is missing (scripts/windows-deploy.sh)" >&2
        exit 1
    }
done
[ -x "$sim" ] || { echo "tests/windows: FAILED: no simulator at $sim" >&2; exit 1; }

wine_display=yes
qt=$deploy
tree=$deploy
. tests/windows/wine-session.sh

sim_log=$work/sim.log # the name log_count reads
settings_output=$work/settings.out
updater_output=$work/updater.out

# A failure keeps what the screen showed and what the simulator and the
# programs said, outside the work folder that goes with the session.
keep_failure_state() {
    local kept
    kept=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-window-end-to-end.XXXXXX")
    [ -z "${DISPLAY:-}" ] || import -window root "$kept/screen.png" 2>/dev/null || true
    cp "$sim_log" "$work/simulator.log" "$settings_output" "$updater_output" "$kept/" 2>/dev/null || true
    echo "tests/windows: the screen, the simulator's log and the programs' output are in $kept" >&2
}

end_session() {
    local status=$?
    [ "$status" -eq 0 ] || keep_failure_state
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    wine_session_cleanup
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap end_session EXIT

# start_program OUTPUT PROGRAM.exe ARGUMENT...: the program started from its
# installed folder, which holds every DLL it loads.
start_program() {
    local output=$1
    shift
    (cd "$deploy" && exec timeout 300 wine "./$1" "${@:2}") </dev/null >"$output" 2>&1 &
    app_pid=$!
    app_output=$output
}

# wait_for_program_end WHAT: the program ends by itself, with status 0.
program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_for_program_end() {
    wait_for 30 program_ended || fail "$1 did not end"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=
    [ "$status" -eq 0 ] || fail "$1 ended with status $status: $(cat "$app_output")"
}

window_count() { visible_windows | wc -l; }
has_windows() { [ "$(window_count)" -ge "$1" ]; }

# The tallest visible window of the program: its main window when a box of
# its own shows at the same time.
tallest_window() {
    local window
    for window in $(visible_windows); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        echo "$HEIGHT $window"
    done | sort -n | tail -n 1 | cut -d' ' -f2
}

# Where a window is on the screen, as ImageMagick's crop geometry.
screen_geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    printf '%dx%d+%d+%d' "$WIDTH" "$HEIGHT" "$X" "$Y"
}
# screen_part GEOMETRY FILE: what the screen shows there, whatever window
# covers it.
screen_part() { import -window root -crop "$1" +repage "$2"; }
same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

# settled_part GEOMETRY FILE.png: the file holds the screen there once two captures in
# a row agree (the windows have painted).
settled_capture() {
    local next=${2%.png}.next.png
    screen_part "$1" "$next"
    if same_image "$2" "$next"; then
        rm "$next"
        return 0
    fi
    mv "$next" "$2"
    return 1
}
settled_part() {
    screen_part "$1" "$2"
    wait_for 20 settled_capture "$1" "$2" || fail "the screen did not settle at $1"
}

# Under wine without a window manager a window repaints what a closed box
# uncovered only a few seconds later, and until then the screen still shows
# the box there. The last box answered is remembered to wait for that.
box_geometry="" box_image=$work/box.png
repainted_after_box() {
    screen_part "$box_geometry" "$work/uncovered.png"
    ! same_image "$box_image" "$work/uncovered.png"
}

# answer_box WHAT WINDOW KEY...: the next box over WINDOW, answered with the
# keys; it must close.
answer_box() {
    local what=$1 window=$2
    shift 2
    wait_for 60 has_new_window "$window" || fail "no $what"
    local box
    box=$(new_window "$window")
    box_geometry=$(screen_geometry "$box")
    settled_part "$box_geometry" "$box_image"
    press "$box" "$@"
    wait_for 20 is_gone "$box" || fail "the $what did not close"
}

# screenshot WINDOW FILE: the window as the screen shows it, once it has
# painted everything (also where the last box was), without time stamps in
# the file.
screenshot() {
    local geometry
    geometry=$(screen_geometry "$1")
    if [ -n "$box_geometry" ]; then
        wait_for 30 repainted_after_box || fail "the window did not repaint where the box was"
    fi
    settled_part "$geometry" "$work/screenshot.png"
    convert "$work/screenshot.png" -strip "$2"
}

start_xvfb 1280x1024x24
wine_session_begin
# The installed folder holds the DLLs: nothing is found through WINEPATH.
unset WINEPATH WINEQT_QPA_FONTDIR

firmware_identity=(--app-version 3.1.7 --data-version 1.2 --hardware 0x0082 --token 1234)

# --- The settings window against a running device whose swashplate servos
# run at a user-defined 120 Hz (the factory's is 50 Hz, chosen from the list).
state=$work/device-state.txt
printf '0x1000 0\n0x1004 120\n' >"$state"
start_simulator "${firmware_identity[@]}" --state "$state" --log "$sim_log" --watch-pid $$
start_program "$settings_output" ZORVIKMicroSettings.exe --port "$port"
app_class=zorvikmicrosettings.exe
wait_for 60 has_new_window || fail "the settings window did not appear"
main=$(new_window)
title=$(xdotool getwindowname "$main")
[[ $title == "TR6400QK - Micro Settings ("*")" ]] || fail "unexpected settings window '$title'"

# Nothing has the focus yet: Tab reaches the port list (COM5, from the
# command line), the next one Connect.
press "$main" Tab Tab space
# The pages are filled once a keep-alive follows the last value read.
pages_filled() {
    awk '/^request .* cmd=3 / { read = NR } /^request .* cmd=11 / { alive = NR }
         END { exit !(read && alive > read) }' "$sim_log" 2>/dev/null
}
wait_for 60 pages_filled || fail "Connect did not read the device's settings"
[ "$(log_count '^request dst=1 src=6 cmd=1 ')" -ge 1 ] || fail "Connect did not ask the device"
[ "$(log_count '^request .* cmd=4 ')" -eq 0 ] || fail "connecting wrote to the device"

# Connect is disabled once connected, which hands the focus on to the tab
# bar; two Tabs on, past the swashplate servos' list, is their value. Up
# raises it to 121 Hz (0x79) at word 0x0011, which the window writes at once.
press "$main" Tab Tab Up
servo_write='^request dst=1 src=6 cmd=4 payload=8100110079$'
stored() { [ "$(log_count "$servo_write")" -eq 1 ] && grep -qx '0x1004 121' "$state"; }
wait_for 30 stored || fail "raising the servo frequency did not write 121 Hz to the device"
[ "$(log_count '^request .* cmd=4 ')" -eq 1 ] || fail "the window wrote more than the one value"
grep -A1 "$servo_write" "$sim_log" | grep -qx 'answer cmd=4 payload=00' \
    || fail "the device did not confirm the write"
[ -z "$screenshots" ] || screenshot "$main" docs/windows-settings.png

# Alt+F4 closes the window as on Windows; nothing is left to write.
press "$main" alt+F4
wait_for_program_end "the settings window"
[ "$(log_count '^request .* cmd=4 ')" -eq 1 ] || fail "closing the window wrote to the device"
end_simulator

# --- The updater against a device that takes the update and restarts with
# 3.1.8 / 1.3.
image=$work/received.bin
rm -f "$sim_log"
start_simulator "${firmware_identity[@]}" --save-image "$image" --update-app-version 3.1.8 \
    --update-data-version 1.3 --log "$sim_log" --watch-pid $$
start_program "$updater_output" ZORVIKUpdater.exe --port "$port" "$(windows_path "$update_file")"
app_class=zorvikupdater.exe
box_geometry=
# The window and the description of the file from the command line.
wait_for 60 has_windows 2 || fail "the updater did not show its window and the file's description"
main=$(tallest_window)
[ "$(xdotool getwindowname "$main")" = "ZORVIK Updater" ] \
    || fail "unexpected updater window '$(xdotool getwindowname "$main")'"
answer_box "description box" "$main" Return

# The port from the command line is chosen once the box is closed, which
# asks the device.
device_query='^request dst=1 src=6 cmd=1 '
wait_for 30 grep -q "$device_query" "$sim_log" || fail "the updater did not ask the device on $port"

# That left no focus: six Tabs from the window reach Start Update..., then
# Yes, the transfer, and the result once the device has restarted and been
# asked again.
press "$main" Tab Tab Tab Tab Tab Tab space
answer_box "confirmation box" "$main" alt+y
wait_for 120 grep -q '^event restart app=3.1.8 data=1.3' "$sim_log" || fail "the device did not restart"
restart=$(grep -n '^event restart' "$sim_log" | tail -n 1 | cut -d: -f1)
asked_again() { tail -n +"$restart" "$sim_log" | grep -q "$device_query"; }
wait_for 30 asked_again || fail "the device was not asked again after the update"
answer_box "result box" "$main" Return

# The device received the file's records, byte for byte (the file is hex
# text: a header, whose length is in its bytes 2..5, then the records).
bytes=$work/update.bin
perl -ne 'print map { chr hex } split' "$update_file" >"$bytes"
header_length=$(od -An -j2 -N4 -tu1 "$bytes" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4 }')
tail -c +"$((header_length + 1))" "$bytes" | cmp -s - "$image" \
    || fail "the device received other records than the file holds"

# The update records in the user's local application data: the last line
# says done, and what the device runs after it.
journal=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/zorvik/updates.log' | head -n 1)
[ -n "$journal" ] || fail "the updater wrote no update records"
tab=$'\t'
last=$(tail -n 1 "$journal")
[[ $last == *"${tab}outcome=done${tab}"* ]] || fail "the update records do not say done: $last"
[[ $last == *"${tab}device_after=application 3.1.8, data 1.3,"* ]] \
    || fail "the update records miss the new versions: $last"
[ -z "$screenshots" ] || screenshot "$main" docs/windows-updater.png

# File > Exit asks first; Yes ends the program.
press "$main" alt+f x
answer_box "exit question" "$main" alt+y
wait_for_program_end "the updater"
end_simulator
