#!/usr/bin/env bash
# One of the windows as a screen reader meets it: the real program on Xvfb
# with Qt's accessibility bridge on, in a D-Bus session of its own with the
# desktop's accessibility bus (at-spi2-core), beside the device simulator;
# atspi_walk.py walks its objects and listens for its status messages.
#
#   atspi-walk.sh settings|updater PROGRAM SIMULATOR
#
# Exits 77 (skipped) when Xvfb, dbus-run-session, the accessibility bus or
# python3-pyatspi is missing.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
. "$here/../support/xvfb-session.sh"

require_tools Xvfb dbus-run-session
if [ ! -x /usr/libexec/at-spi-bus-launcher ] || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: the accessibility stack is not installed (apt-get install at-spi2-core python3-pyatspi)"
    exit $SKIPPED
fi

# A session bus of this test's own: the accessibility bus is started on it
# on demand, and both end with it.
if [ -z "${ZORVIK_ATSPI_SESSION:-}" ]; then
    exec env ZORVIK_ATSPI_SESSION=1 dbus-run-session -- bash "$0" "$@"
fi

which=$1
program=$(realpath "$2")
simulator=$(realpath "$3")

session_begin "atspi-$which"
app_class=$(basename "$program")
app_output="$work/program.out"
start_xvfb 1280x1024x24
port=ttyUSB0
start_simulator "$simulator" "$port"

# The simulator's port is chosen (the updater chooses none by itself).
# Qt speaks to the accessibility bus only when a screen reader is said to
# run (a desktop setting); the variable stands for it.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 LSAN_OPTIONS=$(xcb_lsan_options) QT_QPA_PLATFORM=xcb \
    "$program" --port "$port" >"$app_output" 2>&1 &
app_pid=$!

/usr/bin/python3 "$here/atspi_walk.py" "$which" || fail "the screen reader's walk failed"
kill -0 "$app_pid" 2>/dev/null || fail "the program ended during the walk"
echo "PASS"
