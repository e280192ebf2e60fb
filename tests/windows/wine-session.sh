# Sourced by the scripts that run the Windows build under wine: a throw-away
# wine prefix with COM5 mapped to the simulator's pseudo-terminal, one
# persistent wine server, the simulator started and stopped on COM5, and the
# steps whose output is shown only when they fail.
#
# The sourcing script sets, before calling wine_session_begin:
#   sim    the Linux zorvik-sim
#   tree   the Windows build tree (build/windows-release)
#   qt     the Qt for mingw-w64 it was built with (scripts/windows-qt.sh)
# and it may set wine_display=yes to keep DISPLAY (the windows platform).
set -euo pipefail

port=COM5
jobs=$(nproc)
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-windows.XXXXXX")
step_log=$work/step.log
sim_pid=
wine_server_started=

# wine: a private prefix, no debug channels, no Mono or Gecko installers, no
# menu entries written into the home directory.
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
[ "${wine_display:-}" = yes ] || unset DISPLAY
unset WAYLAND_DISPLAY
# The simulator enters its port in the port map under here; COM5 points at
# that entry, so every simulator started below appears as COM5.
export XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$XDG_RUNTIME_DIR"
port_link=$XDG_RUNTIME_DIR/serialcomm/ttySIM0

wine_session_cleanup() {
    stop_simulator || true
    # The persistent server's output goes nowhere (it dumps its state when
    # killed).
    [ -n "$wine_server_started" ] && wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap wine_session_cleanup EXIT

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

# The DLLs the build tree's programs load, where wine looks for them: Qt's
# (whose plugins Qt finds beside its own folder) and the compiler's runtime.
wine_dll_path() {
    local folders=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
    local joined= folder
    for folder in "${folders[@]}"; do
        joined+="${joined:+;}$(windows_path "$folder")"
    done
    printf '%s' "$joined"
}

# The wine server reads the port mapping when it starts, so the mapping is
# written with the server that creates the prefix, which is then left to
# end by itself. One persistent server serves everything after it. Tahoma
# goes into the prefix: without it the windows platform draws dialogs with
# a fallback font that leaves spin boxes empty.
make_wine_prefix() {
    timeout 300 wineboot -i
    timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$port_link" /f
    timeout 120 wineserver -w
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    wineserver -p >/dev/null 2>&1
}

wine_session_begin() {
    WINEPATH=$(wine_dll_path)
    export WINEPATH
    # wine hands WINEQT_* to the program as QT_*. Offscreen needs a font folder.
    export WINEQT_QPA_FONTDIR
    WINEQT_QPA_FONTDIR=$(windows_path /usr/share/fonts/truetype/dejavu)
    wine_server_started=yes
    step "creating the wine prefix" make_wine_prefix
}

# build_simulator TREE: builds zorvik-sim in a Linux build tree, configuring
# a small one (no Qt, no tests) when the tree is new.
build_simulator() {
    local sim_tree=$1
    if [ ! -f "$sim_tree/CMakeCache.txt" ]; then
        . scripts/ensure-packages.sh
        ensure_packages build-essential cmake
        cmake -S . -B "$sim_tree" -DCMAKE_BUILD_TYPE=Release -DZORVIK_BUILD_GUI=OFF \
            -DBUILD_TESTING=OFF -DZORVIK_BUILD_BENCH=OFF
    fi
    cmake --build "$sim_tree" -j"$jobs" --target zorvik-sim
}

# The Linux simulator $sim, built when it is missing: in its own tree when
# that tree is configured, else in build/windows-sim.
ensure_simulator() {
    [ -x "$sim" ] && return 0
    local sim_tree
    sim_tree=$(dirname "$(dirname "$sim")")
    [ -f "$sim_tree/CMakeCache.txt" ] || sim_tree=build/windows-sim
    step "building the simulator" build_simulator "$sim_tree"
    sim=$sim_tree/sim/zorvik-sim
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
