#!/usr/bin/env bash
# Runs the tests of what a user without privileges meets (a port he may not
# open, named as such in every front end) as such a user. They skip
# themselves as root, since root opens every port, and CI runs as root: here
# they run once more as a throw-away system user made for the run and
# removed after it. A test that skips itself even so fails the run.
#
#   scripts/test-unprivileged.sh TREE
#
# As another user than root it runs them as that user.
set -euo pipefail
tree=$(realpath "${1:?usage: test-unprivileged.sh TREE}")
# The tests that skip themselves as root.
tests='DeniedPort|PermissionProblemIsNamed|TellsAMissingPermission'

# ctest writes its logs in the folder it runs in: a folder of the run's own
# that only names the tree's tests, so the tree is only read.
work=$(mktemp -d /tmp/zorvik-unprivileged.XXXXXX)
printf 'subdirs("%s")\n' "$tree" >"$work/CTestTestfile.cmake"
user="" opened=()
cleanup() {
    local folder
    for folder in "${opened[@]}"; do chmod o-x "$folder"; done
    [ -z "$user" ] || userdel "$user" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

run=()
if [ "$(id -u)" -eq 0 ]; then
    user=zorvik-test-$$
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user"
    chown "$user" "$work"
    # The user must reach the tree: a folder above it that others cannot
    # enter (mktemp -d makes such folders) is opened for the run only.
    folder=$tree
    while [ "$folder" != / ]; do
        if [ "$(( 0$(stat -c %a "$folder") & 01 ))" -eq 0 ]; then
            chmod o+x "$folder"
            opened+=("$folder")
        fi
        folder=$(dirname "$folder")
    done
    run=(runuser -u "$user" --)
fi

output=$work/ctest.out
status=0
(cd "$work" && "${run[@]}" env HOME="$work" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
    ctest --output-on-failure --no-tests=error -R "$tests") >"$output" 2>&1 || status=$?
cat "$output"
if grep -q 'Skipped' "$output"; then
    echo "test-unprivileged.sh: a test skipped itself as an unprivileged user" >&2
    exit 1
fi
exit "$status"
