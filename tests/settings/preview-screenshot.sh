#!/usr/bin/env bash
# The picture of the settings preview in the README: the real settings
# window on Xvfb against the device simulator loads a settings file through
# File > Load Settings... (the file dialog typed into like a user would) and
# the preview that comes up is saved as an image; then Cancel, and nothing
# may have been written.
#
#   preview-screenshot.sh SETTINGS SIMULATOR IMAGE
set -euo pipefail
. "$(dirname "$0")/../support/xvfb-session.sh"

require_tools Xvfb xdotool import

settings=$(realpath "$1")
simulator=$(realpath "$2")
image=$(realpath "$3")

session_begin preview
app_class=ZORVIKMicroSettings
app_output="$work/settings.out"
start_xvfb 1280x1024x24
port="COM3"
start_simulator "$simulator" "$port"
# COM1 first in the list, so that typing COM3 picks it (and connects).
"$simulator" --name COM1 --no-echo --watch-pid $$ >"$work/com1.out" 2>&1 &
extra_pids=$!
wait_for 20 test -e "$XDG_RUNTIME_DIR/serialcomm/COM1" || fail "COM1 did not appear"

# A setup from another unit under an older data version: a different servo
# frame rate, a user-defined gain, and a tail servo whose long centre pulse
# does not allow the 560 Hz the file asks for.
cat >"$work/sport.zset" <<'SETUP'
# ZORVIK settings
# hardware 8.2, application 3.1.7, data 1.1
# serial 9E AE 2C 04 2C 25 22 FA DB 8D BE 80
# saved 2026-12-10 14:03
SwashServoFrequencyID = 3
TailServoCPPLID = 0
TailServoCPPL = 2000
TailServoFrequencyID = 5
HeadingLockGainID = 0
HeadingLockGain = 75
SETUP

LSAN_OPTIONS=$(xcb_lsan_options) QT_QPA_PLATFORM=xcb "$settings" >"$app_output" 2>&1 &
app_pid=$!
pages_filled() {
    awk '/^request .* cmd=3 / { read = NR } /^request .* cmd=11 / { alive = NR }
         END { exit !(read && alive > read) }' "$work/sim.log" 2>/dev/null
}
wait_for 20 has_new_window || fail "the main window did not appear"
main=$(new_window)
press "$main" Tab
xdotool windowfocus --sync "$main" type --delay 30 "$port"
wait_for 15 pages_filled || fail "picking the port did not fill the pages"

press "$main" ctrl+o
wait_for 10 has_new_window "$main" || fail "no file dialog"
dialog=$(new_window "$main")
xdotool windowfocus --sync "$dialog" type --delay 20 "$work/sport.zset"
press "$dialog" Return
wait_for 10 is_gone "$dialog" || fail "the file dialog did not close"
wait_for 10 has_new_window "$main" || fail "no preview"
preview=$(new_window "$main")
sleep 0.5 # let it paint
import -window "$preview" "$image"

press "$preview" Escape
wait_for 10 is_gone "$preview" || fail "the preview did not close"
[ "$(log_count '^request .* cmd=4 ')" -eq 0 ] || fail "cancelling the preview wrote to the device"
echo "PASS: preview saved to $image, nothing written"
