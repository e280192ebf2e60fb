#!/usr/bin/env bash
# The real settings window on a real X server (Xvfb), driven like a user with
# xdotool, against the device simulator:
#   the port typed into the port list (which connects and fills both pages),
#   the second tab page, the about box from the About menu and its OK
#   button, and File > Close ending the program.
# Connecting to a device with the factory set-up must write nothing to it.
#
#   settings-smoke.sh SETTINGS SIMULATOR [SCREENSHOT_DIR]
#
# With SCREENSHOT_DIR it writes settings-setup.png and settings-parameters.png
# (the two tab pages of the connected window) there. Exits 77 (skipped) when
# Xvfb or xdotool is missing.
set -euo pipefail
. "$(dirname "$0")/../support/xvfb-session.sh"

require_tools Xvfb xdotool
[ -z "${3:-}" ] || require_tools import

settings=$(realpath "$1")
simulator=$(realpath "$2")
screenshots=${3:+$(realpath "$3")}

session_begin settings
app_class=ZORVIKMicroSettings
app_output="$work/settings.out"
# Large enough for the whole window.
start_xvfb 1280x1024x24

# The simulated adapter as COM3, beside a COM1 with nothing behind it, as on
# a typical PC.
port="COM3"
start_simulator "$simulator" "$port"
# COM1: a serial line that does not echo (a second simulator told so); it
# ends with this script.
"$simulator" --name COM1 --no-echo --watch-pid $$ >"$work/com1.out" 2>&1 &
extra_pids=$!
wait_for 20 test -e "$XDG_RUNTIME_DIR/serialcomm/COM1" || fail "COM1 did not appear"

# --- The program.
LSAN_OPTIONS=$(xcb_lsan_options) QT_QPA_PLATFORM=xcb "$settings" >"$app_output" 2>&1 &
app_pid=$!

# The pages are filled once a keep-alive follows the last value read.
pages_filled() {
    awk '/^request .* cmd=3 / { read = NR } /^request .* cmd=11 / { alive = NR }
         END { exit !(read && alive > read) }' "$work/sim.log" 2>/dev/null
}

wait_for 20 has_new_window || fail "the main window did not appear"
main=$(new_window)
echo "main window $main on $DISPLAY"

# COM1 comes first in the list and nothing is connected. Tab reaches the
# port list; typing the name picks the port, which connects.
press "$main" Tab
xdotool windowfocus --sync "$main" type --delay 30 "$port"
wait_for 15 pages_filled || fail "picking the port did not fill the pages"
if [ -n "$screenshots" ]; then
    sleep 0.5 # let everything paint
    import -window "$main" "$screenshots/settings-setup.png"
fi

# From the port list Tab passes the (disabled) Connect button to Disconnect,
# the next one reaches the tab bar.
press "$main" Tab Tab Right
if [ -n "$screenshots" ]; then
    sleep 0.5
    import -window "$main" "$screenshots/settings-parameters.png"
fi

# The about box: About > first item; OK closes it.
press "$main" alt+a Return
wait_for 10 has_new_window "$main" || fail "no about box"
about=$(new_window "$main")
[ "$(xdotool getwindowname "$about")" = "About ZORVIK Micro Settings" ] \
    || fail "unexpected window '$(xdotool getwindowname "$about")'"
press "$about" Return
wait_for 10 is_gone "$about" || fail "the about box did not close"

[ "$(log_count '^request .* cmd=4 ')" -eq 0 ] || fail "connecting wrote to the device"

# File > Close ends the program.
press "$main" alt+f c
wait_for 10 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "the program did not end"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS: connected by picking the port, both pages shown, about box opened and closed, closed"
