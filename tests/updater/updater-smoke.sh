#!/usr/bin/env bash
# The real updater window on a real X server (Xvfb), driven like a user with
# xdotool, against the device simulator:
#   the update file from the command line (its description box), the port
#   chosen in the combo box, Start, Yes, the transfer, the device asked
#   again after its restart, the result box, the device's new versions, the
#   auto-detection dialog with an unplug and replug of the simulated adapter
#   selecting the port again, and "E&xit" with its question.
# The simulator's saved image must equal the file's records, and the update
# records (in the work directory, never the user's own) must hold one line
# for the update with the file's SHA-256 and the outcome "done".
#
#   updater-smoke.sh UPDATER SIMULATOR UPDATE_FILE [SCREENSHOT_DIR]
#
# With SCREENSHOT_DIR it also writes updater.png (after the update) and
# autodetect.png (the dialog) there. Exits 77 (skipped) when Xvfb or
# xdotool is missing.
set -euo pipefail
. "$(dirname "$0")/../support/xvfb-session.sh"

require_tools Xvfb xdotool
[ -z "${4:-}" ] || require_tools import

updater=$(realpath "$1")
simulator=$(realpath "$2")
update_file=$(realpath "$3")
screenshots=${4:+$(realpath "$4")}

session_begin updater
app_class=ZORVIKUpdater
app_output="$work/updater.out"
start_xvfb 1024x768x24

# --- The simulated adapter in a private port map: a Windows-like name for
# the pictures, a unique one otherwise.
if [ -n "$screenshots" ]; then port="COM3"; else port="ZSMOKE$$"; fi
start_simulator "$simulator" "$port" --save-image "$work/image.bin"
port_link="$XDG_RUNTIME_DIR/serialcomm/$port"
port_node=$(readlink "$port_link")

# --- The update records go to the work directory.
export XDG_STATE_HOME="$work/state"
journal="$XDG_STATE_HOME/zorvik/updates.log"

# --- The updater with the file on its command line, started beside the
# file, as a user would, so the path in the window is short.
lsan_options=$(xcb_lsan_options)
(cd "$(dirname "$update_file")" \
    && LSAN_OPTIONS="$lsan_options" QT_QPA_PLATFORM=xcb exec "$updater" "$(basename "$update_file")") \
    >"$app_output" 2>&1 &
app_pid=$!

log_grew() { [ "$(log_count "$1")" -gt "$2" ]; }

# Waits for the next box, presses keys in it and waits for it to go.
answer_box() {
    local what=$1
    shift
    wait_for 20 has_new_window "$main" || fail "no $what"
    local box
    box=$(new_window "$main")
    press "$box" "$@"
    wait_for 10 is_gone "$box" || fail "the $what did not close"
}

wait_for 20 has_new_window || fail "the main window did not appear"
main=$(new_window)
echo "main window $main on $DISPLAY"

# The file from the command line is read at once: its description box.
answer_box "description box" Return

# The combo box has the focus: typing the port's name selects it, which
# checks the adapter and asks the device.
device_queries='^request dst=1 src=6 cmd=1 '
queries=$(log_count "$device_queries")
xdotool windowfocus --sync "$main" type --delay 30 "$port"
wait_for 10 log_grew "$device_queries" "$queries" || fail "selecting the port asked no device"

# Start (the refresh disabled the controls and so left no focus: six Tabs
# from the window reach the button), Yes, then the result, which comes once
# the device has restarted and been asked again.
press "$main" Tab Tab Tab Tab Tab Tab space
answer_box "confirmation box" alt+y
wait_for 20 grep -q '^event restart' "$work/sim.log" || fail "the device did not restart"
restarts=$(grep -n '^event restart' "$work/sim.log" | tail -n 1 | cut -d: -f1)
requery() { tail -n +"$restarts" "$work/sim.log" | grep -q "$device_queries"; }
wait_for 10 requery || fail "the device was not asked again after the update"
answer_box "result box" Return

# One line in the update records: the file as it was flashed, and done.
[ "$(wc -l <"$journal")" -eq 1 ] || fail "expected one line in $journal"
sha=$(sha256sum "$update_file" | cut -d' ' -f1)
tab=$'\t'
grep -q "${tab}sha256=$sha${tab}" "$journal" || fail "the update records miss the file's SHA-256"
grep -q "${tab}outcome=done${tab}" "$journal" || fail "the update records do not say done"
perl -ne 'print map { chr hex } split' "$update_file" >"$work/update.bin"
header_length=$(od -An -j2 -N4 -tu1 "$work/update.bin" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4 }')
tail -c +"$((header_length + 1))" "$work/update.bin" | cmp - "$work/image.bin" \
    || fail "the device received other records than the file holds"
if [ -n "$screenshots" ]; then
    sleep 0.5 # let the labels paint
    import -window "$main" "$screenshots/updater.png"
fi

# Auto-detection: the window got its focus back on the combo box, so one
# Tab reaches "Autodetect...". Then the adapter is unplugged and replugged.
queries=$(log_count "$device_queries")
press "$main" Tab space
wait_for 10 has_new_window "$main" || fail "no auto-detection dialog"
dialog=$(new_window "$main")
[ "$(xdotool getwindowname "$dialog")" = "Autodetect KORLINK Interface" ] \
    || fail "unexpected dialog '$(xdotool getwindowname "$dialog")'"
if [ -n "$screenshots" ]; then
    import -window "$dialog" "$screenshots/autodetect.png"
fi
rm "$port_link"
sleep 2.5 # the user waits; polls of the dialog (every second) see the port gone
ln -s "$port_node" "$port_link"
wait_for 10 is_gone "$dialog" || fail "the dialog did not report the replugged port"
sleep 2.5 # the user reads the report while the window (polling every second) lists the port again
answer_box "report box" Return
# The reported port is selected again, which asks the device.
wait_for 10 log_grew "$device_queries" "$queries" || fail "the reported port was not selected"

# "E&xit" asks first; Yes ends the program.
press "$main" alt+f x
answer_box "exit question" alt+y
wait_for 10 bash -c "! kill -0 $app_pid 2>/dev/null" || fail "the updater did not end"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the updater ended with status $status"
echo "PASS: port selected by auto-detection, update transferred and recorded, new versions shown, exit asked"
