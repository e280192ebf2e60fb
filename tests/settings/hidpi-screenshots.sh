#!/usr/bin/env bash
# The README's pictures of both windows at a scale factor of 2 (a screen that
# draws two device pixels per point): the real settings window on Xvfb
# connected to the device simulator, then the real updater with the same
# simulated adapter selected. Each window is saved as an image once its
# device values are shown.
#
#   hidpi-screenshots.sh SETTINGS UPDATER SIMULATOR DIR
#
# writes DIR/settings-hidpi.png and DIR/updater-hidpi.png.
set -euo pipefail
. "$(dirname "$0")/../support/xvfb-session.sh"

require_tools Xvfb xdotool import

settings=$(realpath "$1")
updater=$(realpath "$2")
simulator=$(realpath "$3")
screenshots=$(realpath "$4")

session_begin hidpi
# Twice the settings window's size at scale 1, and some room.
start_xvfb 2400x1800x24
export QT_SCALE_FACTOR=2
port="COM3"
start_simulator "$simulator" "$port"
# COM1 first in the list, so that typing COM3 picks the simulator.
"$simulator" --name COM1 --no-echo --watch-pid $$ >"$work/com1.out" 2>&1 &
extra_pids=$!
wait_for 20 test -e "$XDG_RUNTIME_DIR/serialcomm/COM1" || fail "COM1 did not appear"
lsan_options=$(xcb_lsan_options)

# Ends the program of app_pid through its File menu as a user would: the
# settings window's Close; the updater's Exit, which asks first (Yes).
close_program() {
    local window=$1
    if [ "$app_class" = ZORVIKUpdater ]; then
        press "$window" alt+f x
        wait_for 10 has_new_window "$window" || fail "the updater did not ask before closing"
        press "$(new_window "$window")" alt+y
    else
        press "$window" alt+f c
    fi
    wait_for 10 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "$app_class did not end"
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || fail "$app_class ended with status $status"
}

# --- The settings window: typing the port's name into the port list
# connects; the pages are filled once a keep-alive follows the last value.
app_class=ZORVIKMicroSettings
app_output="$work/settings.out"
LSAN_OPTIONS="$lsan_options" QT_QPA_PLATFORM=xcb "$settings" >"$app_output" 2>&1 &
app_pid=$!
pages_filled() {
    awk '/^request .* cmd=3 / { read = NR } /^request .* cmd=11 / { alive = NR }
         END { exit !(read && alive > read) }' "$work/sim.log" 2>/dev/null
}
wait_for 20 has_new_window || fail "the settings window did not appear"
main=$(new_window)
press "$main" Tab
xdotool windowfocus --sync "$main" type --delay 30 "$port"
wait_for 15 pages_filled || fail "picking the port did not fill the pages"
sleep 0.5 # let everything paint
import -window "$main" "$screenshots/settings-hidpi.png"
close_program "$main"

# --- The updater: its port list has the focus. Typing into the closed list
# would select COM1 on the first letter (and ask the silent line); the port
# is picked in the open list instead, and selecting it asks the device for
# its versions.
app_class=ZORVIKUpdater
app_output="$work/updater.out"
device_queries='^request dst=1 src=6 cmd=1 '
queries=$(log_count "$device_queries")
LSAN_OPTIONS="$lsan_options" QT_QPA_PLATFORM=xcb "$updater" >"$app_output" 2>&1 &
app_pid=$!
wait_for 20 has_new_window || fail "the updater did not appear"
main=$(new_window)
press "$main" alt+Down
xdotool windowfocus --sync "$main" type --delay 30 "$port"
press "$main" Return
log_grew() { [ "$(log_count "$1")" -gt "$2" ]; }
wait_for 10 log_grew "$device_queries" "$queries" || fail "selecting the port asked no device"
sleep 0.5 # let the labels paint
import -window "$main" "$screenshots/updater-hidpi.png"
close_program "$main"
echo "PASS: settings-hidpi.png and updater-hidpi.png in $screenshots"
