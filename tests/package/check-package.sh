#!/usr/bin/env bash
# Checks the Debian package as a user would meet it:
#
#   tests/package/check-package.sh zorvik_<version>_<arch>.deb
#
# lintian, desktop-file-validate and appstreamcli on the package; then it is
# installed on this machine with dpkg -i, every program answers --version
# from /usr/bin, the installed simulator and `zorvik info` talk to each other,
# the bash completion offers the commands, the ports and the right files, and
# both windows come up from /usr/bin on an X server, the updater started as
# its menu entry starts it for a .upd file. Finally dpkg -r removes it, and
# every file it had installed must be gone.
#
# It installs into this machine (root, or through sudo), so it refuses to
# run while the package is installed already: that would replace the user's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
deb=$(realpath "$1")
. "$root/scripts/ensure-packages.sh"
ensure_packages "${PACKAGE_PACKAGES[@]}" xvfb xauth xdotool
. "$root/tests/support/xvfb-session.sh"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

package=$(dpkg-deb --field "$deb" Package)
version=$(dpkg-deb --field "$deb" Version)
installed_status() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true; }
if [ "$(installed_status)" = installed ]; then
    echo "FAIL: $package is installed on this machine; this check would replace and remove" \
         "it. Remove it first (dpkg -r $package), then run the check again." >&2
    exit 1
fi

session_begin package
removed=false
# However the check ends, the package does not stay installed.
trap 'session_end; $removed || as_root dpkg -r "$package" >/dev/null 2>&1 || true' EXIT

echo "--- lintian"
lintian --fail-on error,warning --display-info "$deb"

echo "--- desktop-file-validate and appstreamcli"
dpkg-deb -x "$deb" "$work/content"
desktop_files=("$work/content/usr/share/applications/"*.desktop)
metainfo_files=("$work/content/usr/share/metainfo/"*.metainfo.xml)
[ ${#desktop_files[@]} -eq 2 ] || fail "expected 2 menu entries, found: ${desktop_files[*]}"
[ ${#metainfo_files[@]} -eq 3 ] || fail "expected 3 AppStream files, found: ${metainfo_files[*]}"
# desktop-file-validate ends with 0 on mere warnings: any output fails.
validation=$(desktop-file-validate "${desktop_files[@]}" 2>&1) || true
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
appstreamcli validate --no-net --explain "${metainfo_files[@]}"

echo "--- dpkg -i"
as_root dpkg -i "$deb"
[ "$(installed_status)" = installed ] || fail "$package is not installed after dpkg -i"
# What it installed, as found on disk (a system may exclude e.g. man pages).
dpkg-query -L "$package" | while read -r path; do
    if [ -e "$path" ]; then printf '%s\n' "$path"; fi
done >"$work/installed.txt"
grep -qx /usr/bin/zorvik "$work/installed.txt" || fail "dpkg -L lists no /usr/bin/zorvik"

echo "--- the programs from /usr/bin"
for program in zorvik zorvik-sim ZORVIKMicroSettings ZORVIKUpdater; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] \
        || fail "$program is found at '$(command -v "$program")', not /usr/bin"
done
[ "$(/usr/bin/zorvik --version)" = "zorvik $version" ] || fail "zorvik --version: $(zorvik --version)"
[ "$(/usr/bin/zorvik-sim --version)" = "zorvik-sim $version" ] \
    || fail "zorvik-sim --version: $(zorvik-sim --version)"
for window in ZORVIKMicroSettings ZORVIKUpdater; do
    # Answered on the terminal, without a display.
    (unset DISPLAY WAYLAND_DISPLAY; "/usr/bin/$window" --version) | grep -q "^$window [0-9]" \
        || fail "$window --version did not print its name and version"
done
man_page=$(man -w zorvik 2>/dev/null || true)
if [ -n "$man_page" ]; then
    [ "$man_page" = /usr/share/man/man1/zorvik.1.gz ] || fail "man zorvik finds $man_page"
fi

start_simulator /usr/bin/zorvik-sim ttySIM0
info=$(/usr/bin/zorvik info ttySIM0) || fail "zorvik info ttySIM0 failed: $info"
grep -q "3\.1\.7" <<<"$info" || fail "zorvik info shows no application version 3.1.7: $info"

echo "--- bash completion"
# COMPREPLY of the installed completion for the words given, the last one
# being completed, in the files folder.
mkdir -p "$work/files/folder"
cp "$root/updater/samples/zorvik-3.1.8-sample.upd" "$work/files/"
touch "$work/files/heli.zset" "$work/files/notes.txt"
completions() {
    (cd "$work/files" && bash --norc --noprofile -c '
        . /usr/share/bash-completion/bash_completion
        __load_completion zorvik || { echo "no completion for zorvik" >&2; exit 1; }
        function=$(complete -p zorvik | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        "$function" zorvik "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort' completion "$@")
}
expect_completions() { # EXPECTED WORD...
    local expected=$1 actual
    shift
    actual=$(completions "$@") || fail "completing '$*' failed"
    [ "$actual" = "$expected" ] || fail "completing '$*' gave [$actual], expected [$expected]"
}
expect_completions "$(printf '%s\n' diff file info load params ports reset save set update | sort)" \
    zorvik ""
expect_completions "$(zorvik ports | sort)" zorvik info ""
expect_completions "$(zorvik ports | sort)" zorvik --trace wire.log update ""
expect_completions "$(printf '%s\n' folder zorvik-3.1.8-sample.upd | sort)" \
    zorvik update ttySIM0 ""
expect_completions "$(printf '%s\n' folder zorvik-3.1.8-sample.upd | sort)" zorvik file ""
expect_completions "$(printf '%s\n' folder heli.zset | sort)" zorvik load ttySIM0 ""
expect_completions "$(printf '%s\n' --dry-run --yes)" zorvik reset ttySIM0 --
expect_completions "--version" zorvik --v

echo "--- the windows from /usr/bin"
# On the X server, as on a desktop (the test run sets the offscreen platform).
unset QT_QPA_PLATFORM
start_xvfb 1280x1024x24
app_class=ZORVIKMicroSettings
app_output="$work/settings.out"
/usr/bin/ZORVIKMicroSettings --port ttySIM0 >"$app_output" 2>&1 &
app_pid=$!
wait_for 60 has_new_window || fail "the installed ZORVIKMicroSettings showed no window"
kill "$app_pid"
wait "$app_pid" || true
app_pid=""

# The updater as the menu entry starts it for a .upd file (its %f): the
# file's description box shows that the file reached the program.
app_class=ZORVIKUpdater
app_output="$work/updater.out"
entry=/usr/share/applications/example.zorvik_heli.Updater.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[[ $exec_line == *%f* ]] || fail "$entry starts '$exec_line', without %f for the file"
upd="$work/files/zorvik-3.1.8-sample.upd"
read -r -a command <<<"${exec_line//%f/$upd}"
"${command[@]}" >"$app_output" 2>&1 &
app_pid=$!
two_windows() { [ "$(visible_windows | wc -l)" -ge 2 ]; }
wait_for 60 two_windows || fail "the installed ZORVIKUpdater showed no window with the file's description"
kill "$app_pid"
wait "$app_pid" || true
app_pid=""

# The desktop's databases know the file types and which program opens them.
if command -v update-mime-database >/dev/null; then
    [ -f /usr/share/mime/application/x-zorvik-update.xml ] \
        || fail "the MIME database has no application/x-zorvik-update"
fi
if command -v update-desktop-database >/dev/null; then
    grep -q "^application/x-zorvik-update=.*example.zorvik_heli.Updater.desktop" \
        /usr/share/applications/mimeinfo.cache \
        || fail ".upd files are not opened with the updater (mimeinfo.cache)"
    grep -q "^application/x-zorvik-settings=.*example.zorvik_heli.MicroSettings.desktop" \
        /usr/share/applications/mimeinfo.cache \
        || fail ".zset files are not opened with the settings program (mimeinfo.cache)"
fi

echo "--- dpkg -r"
as_root dpkg -r "$package"
removed=true
[ "$(installed_status)" != installed ] || fail "$package is still installed after dpkg -r"
# Nothing stays behind: no file it installed, no folder only it used, and
# nothing the desktop's databases made of it.
while read -r path; do
    if [ -d "$path" ]; then
        [ -n "$(ls -A "$path")" ] || dpkg-query -S "$path" >/dev/null 2>&1 \
            || fail "the empty folder $path is left behind"
    elif [ -e "$path" ] || [ -L "$path" ]; then
        fail "$path is left behind after dpkg -r"
    fi
done <"$work/installed.txt"
[ ! -e /usr/share/mime/application/x-zorvik-update.xml ] \
    || fail "the MIME database still has application/x-zorvik-update"
! grep -q zorvik_heli /usr/share/applications/mimeinfo.cache 2>/dev/null \
    || fail "mimeinfo.cache still names the ZORVIK programs"
echo "The package $package $version: checked, installed, run and removed."
