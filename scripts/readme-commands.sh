#!/usr/bin/env bash
# Runs the command blocks of the README files as a new user would: in a fresh
# clone of this repository (its committed HEAD) in a temporary folder, with a
# home folder and a port map of their own, nothing reused from another build.
#
# Every ```sh block in README.md, sim/README.md, bench/README.md and
# resources/README.md carries one of these markers on the line before its
# fence; a block without one fails the check, so that no block goes unjudged:
#   <!-- ci: run -->                 run as written
#   <!-- ci: run with-simulator -->  run while zorvik-sim (as an earlier block
#                                    built it) serves the port ttySIM0
#   <!-- ci: skip: REASON -->        not run: it opens a window, asks on the
#                                    terminal, or another CI step runs it
# The blocks run in the order of the files above and of their lines, in one
# bash with `set -e` (an export in one block holds for the next), standard
# input not a terminal.
#
#   scripts/readme-commands.sh [--list]   --list only shows what would run
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
readonly READMES=(README.md sim/README.md bench/README.md resources/README.md)
# A Release build of the command line and the simulator, and their commands:
# a few minutes on two cores. The bound stops a command that hangs.
readonly TIME_LIMIT=20m

# Writes the blocks of one file as a bash script: a comment naming each
# block, the block's lines, the simulator around those that need it. Fails
# on a block without a marker.
blocks_of() {
    awk -v file="$1" '
        function fail(message) { printf "%s:%d: %s\n", file, NR, message > "/dev/stderr"; bad = 1 }
        /^<!-- ci: (run|run with-simulator|skip: .+) -->$/ { marker = $0; next }
        /^```sh[[:space:]]*$/ {
            if (marker == "") fail("a ```sh block without a <!-- ci: ... --> marker before it")
            kind = marker; marker = ""; inside = 1; start = NR
            if (kind ~ /skip/) { skipped++; next }
            printf "readme_block %s:%d\n", file, start
            if (kind ~ /with-simulator/) print "readme_simulator_start"
            next
        }
        inside && /^```[[:space:]]*$/ {
            inside = 0
            if (kind ~ /with-simulator/) print "readme_simulator_stop"
            next
        }
        inside { if (kind !~ /skip/) print; next }
        /^[[:space:]]*$/ { next }
        { marker = "" }
        END {
            if (inside) fail("a ```sh block that is never closed")
            printf "# %s: %d blocks skipped by their marker\n", file, skipped
            exit bad
        }' "$2"
}

# What every generated script starts with: the names the blocks use.
prelude() {
    cat <<'PRELUDE'
set -e
readme_block() { readme_current=$1; echo "=== $1" >&2; }
trap 'echo "readme-commands: the block at $readme_current failed (status $?)" >&2' ERR
# The simulator as README.md's own build made it, on ttySIM0, with its state
# in the new user's home.
readme_simulator_start() {
    # --watch-pid: it ends with this shell, also when a block fails.
    coproc READMESIM {
        exec build/release/sim/zorvik-sim --state "$HOME/readme-simulator.txt" --watch-pid $$
    }
    local port=""
    read -r -t 30 port <&"${READMESIM[0]}" || true
    [ "$port" = ttySIM0 ] || { echo "zorvik-sim did not report ttySIM0 (got '$port')" >&2; return 1; }
}
readme_simulator_stop() {
    kill "$READMESIM_PID"
    wait "$READMESIM_PID"
}
PRELUDE
}

work=$(mktemp -d /tmp/zorvik-readme.XXXXXX)
trap 'rm -rf -- "$work"' EXIT

git clone -q "$root" "$work/zorvik"
script=$work/readme-blocks.sh
prelude >"$script"
for readme in "${READMES[@]}"; do
    blocks_of "$readme" "$work/zorvik/$readme" >>"$script"
done

if [ "${1:-}" = "--list" ]; then
    cat "$script"
    exit 0
fi

mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cd "$work/zorvik"
start=$SECONDS
env -u XDG_STATE_HOME -u XDG_CONFIG_HOME HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
    timeout "$TIME_LIMIT" bash "$script" </dev/null
echo "readme-commands: every block marked to run ran, in $((SECONDS - start)) s"
