#!/usr/bin/env bash
# Checks the two Debian packages as a user would meet them:
#
#   tests/package/check-package.sh zorvik_<version>_<arch>.deb zorvik-gui_<version>_<arch>.deb
#
# lintian, desktop-file-validate and appstreamcli on the packages, and what
# their metadata promise (ids, releases, file types and their icons). Then,
# on this machine: zorvik alone is installed with dpkg -i, as on a machine
# without a desktop; it must need no Qt, its programs answer from /usr/bin,
# the installed simulator and `zorvik info` talk to each other and the bash
# completion offers the commands, the ports and the right files. Then
# zorvik-gui: both windows come up from /usr/bin on an X server, named after
# their menu entries, the updater started as its menu entry starts it for
# the installed sample update file. Finally dpkg -r removes both, and every
# file they had installed must be gone.
#
# It installs into this machine (root, or through sudo), so it refuses to
# run while either package is installed already: that would replace the
# user's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ $# -eq 2 ] || { echo "usage: $0 zorvik_VERSION_ARCH.deb zorvik-gui_VERSION_ARCH.deb" >&2; exit 2; }
cli_deb=$(realpath "$1")
gui_deb=$(realpath "$2")
. "$root/scripts/ensure-packages.sh"
ensure_packages "${PACKAGE_PACKAGES[@]}" xvfb xauth xdotool x11-utils
. "$root/tests/support/xvfb-session.sh"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

[ "$(dpkg-deb --field "$cli_deb" Package)" = zorvik ] || { echo "$cli_deb is no package zorvik" >&2; exit 2; }
[ "$(dpkg-deb --field "$gui_deb" Package)" = zorvik-gui ] \
    || { echo "$gui_deb is no package zorvik-gui" >&2; exit 2; }
version=$(dpkg-deb --field "$cli_deb" Version)
installed_status() { dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || true; }
for package in zorvik zorvik-gui; do
    if [ "$(installed_status "$package")" = installed ]; then
        echo "FAIL: $package is installed on this machine; this check would replace and remove" \
             "it. Remove it first (dpkg -r zorvik-gui zorvik), then run the check again." >&2
        exit 1
    fi
done

session_begin package
# However the check ends, the packages do not stay installed.
trap 'session_end; as_root dpkg -r zorvik-gui zorvik >/dev/null 2>&1 || true' EXIT

echo "--- lintian"
lintian --fail-on error,warning --display-info "$cli_deb" "$gui_deb"

echo "--- the packages' fields"
[ "$(dpkg-deb --field "$gui_deb" Version)" = "$version" ] \
    || fail "zorvik-gui is version $(dpkg-deb --field "$gui_deb" Version), zorvik $version"
cli_depends=$(dpkg-deb --field "$cli_deb" Depends)
gui_depends=$(dpkg-deb --field "$gui_deb" Depends)
# The command line and the simulator need the C++ runtime only.
! grep -qi "qt\|libx\|libgl" <<<"$cli_depends" || fail "zorvik depends on Qt or X: $cli_depends"
grep -q "libstdc++6" <<<"$cli_depends" || fail "zorvik does not depend on the C++ runtime: $cli_depends"
grep -q "\(^\|, \)zorvik (= $version)\(,\|$\)" <<<"$gui_depends" \
    || fail "zorvik-gui does not depend on zorvik (= $version): $gui_depends"
grep -q "libqt6widgets6" <<<"$gui_depends" || fail "zorvik-gui does not depend on Qt: $gui_depends"

echo "--- desktop-file-validate and appstreamcli"
dpkg-deb -x "$cli_deb" "$work/content"
dpkg-deb -x "$gui_deb" "$work/content"
content=$work/content/usr/share
settings_id=example.zorvik_heli.microsettings
updater_id=example.zorvik_heli.updater
desktop_files=("$content/applications/"*.desktop)
metainfo_files=("$content/metainfo/"*.metainfo.xml)
[ ${#desktop_files[@]} -eq 2 ] || fail "expected 2 menu entries, found: ${desktop_files[*]}"
[ ${#metainfo_files[@]} -eq 3 ] || fail "expected 3 AppStream files, found: ${metainfo_files[*]}"
# desktop-file-validate ends with 0 on mere warnings: any output fails.
validation=$(desktop-file-validate "${desktop_files[@]}" 2>&1) || true
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
# Pedantic too (ids in lower case, releases listed): anything but the
# validator's information fails.
appstream=$(appstreamcli validate --no-net --pedantic --explain "${metainfo_files[@]}" 2>&1) \
    || fail "appstreamcli validate: $appstream"
! grep -q "^  [PWE]: " <<<"$appstream" || fail "appstreamcli validate --pedantic: $appstream"

# Each window's component is its menu entry's id; the menu entries ask for
# startup notification; the release is this version, of the changelog's date.
release_date=$(dpkg-parsechangelog -l "$root/resources/linux/debian/changelog" -S Date)
release_date=$(date -u -d "$release_date" +%Y-%m-%d)
for id in "$settings_id" "$updater_id" example.zorvik_heli.zorvik; do
    metainfo=$content/metainfo/$id.metainfo.xml
    [ -f "$metainfo" ] || fail "no AppStream file $id.metainfo.xml"
    grep -q "<id>$id</id>" "$metainfo" || fail "$metainfo has not the id $id"
    grep -q "<release version=\"$version\" date=\"$release_date\"" "$metainfo" \
        || fail "$metainfo lists no release $version of $release_date"
done
for id in "$settings_id" "$updater_id"; do
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
        "$content/metainfo/$id.metainfo.xml" || fail "$id.metainfo.xml launches no $id.desktop"
    grep -qx "StartupNotify=true" "$content/applications/$id.desktop" \
        || fail "$id.desktop asks for no startup notification"
done
grep -q "<mediatype>application/x-zorvik-settings</mediatype>" \
    "$content/metainfo/$settings_id.metainfo.xml" || fail "the settings program lists no .zset"
grep -q "<mediatype>application/x-zorvik-update</mediatype>" \
    "$content/metainfo/$updater_id.metainfo.xml" || fail "the updater lists no .upd"
# Each file type has its icon in the theme.
for type in application/x-zorvik-update application/x-zorvik-settings; do
    icon=${type/\//-}
    grep -A8 "<mime-type type=\"$type\">" "$content/mime/packages/zorvik.xml" \
        | grep -q "<icon name=\"$icon\"/>" || fail "zorvik.xml names no icon $icon for $type"
    [ -f "$content/icons/hicolor/scalable/mimetypes/$icon.svg" ] \
        || fail "zorvik-gui has no icon $icon.svg for $type"
done
# The man pages carry the release's date.
for page in zorvik zorvik-sim ZORVIKMicroSettings ZORVIKUpdater; do
    heading=$(zcat "$content/man/man1/$page.1.gz" | grep -m1 "^\.TH ")
    grep -q "^\.TH [^ ]* 1 \"$release_date\" \"ZORVIK $version\"" <<<"$heading" \
        || fail "man page $page: '$heading' carries not the date $release_date and version $version"
done

# What a package installed, as found on disk (a system may exclude e.g. man
# pages).
installed_files() { # PACKAGE
    dpkg-query -L "$1" | while read -r path; do
        if [ -e "$path" ]; then printf '%s\n' "$path"; fi
    done
}

echo "--- dpkg -i zorvik, alone"
as_root dpkg -i "$cli_deb"
[ "$(installed_status zorvik)" = installed ] || fail "zorvik is not installed after dpkg -i"
installed_files zorvik >"$work/installed.txt"
grep -qx /usr/bin/zorvik "$work/installed.txt" || fail "dpkg -L lists no /usr/bin/zorvik"
! dpkg-query -s zorvik | grep "^Depends:" | grep -qi "libqt6" \
    || fail "the installed zorvik depends on Qt: $(dpkg-query -s zorvik | grep '^Depends:')"
for program in zorvik zorvik-sim; do
    ! ldd "/usr/bin/$program" | grep -qi "libqt\|libx11\|libxcb" \
        || fail "/usr/bin/$program is linked with Qt or X: $(ldd "/usr/bin/$program")"
done

echo "--- the command line and the simulator from /usr/bin"
for program in zorvik zorvik-sim; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] \
        || fail "$program is found at '$(command -v "$program")', not /usr/bin"
done
[ "$(/usr/bin/zorvik --version)" = "zorvik $version" ] || fail "zorvik --version: $(zorvik --version)"
[ "$(/usr/bin/zorvik-sim --version)" = "zorvik-sim $version" ] \
    || fail "zorvik-sim --version: $(zorvik-sim --version)"
sim_help=$(/usr/bin/zorvik-sim --help) || fail "zorvik-sim --help failed"
[ "$(/usr/bin/zorvik-sim -h)" = "$sim_help" ] || fail "zorvik-sim -h does not show what --help shows"
grep -q "SIGHUP" <<<"$sim_help" || fail "zorvik-sim --help does not say what SIGHUP does"
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

echo "--- dpkg -i zorvik-gui"
as_root dpkg -i "$gui_deb"
[ "$(installed_status zorvik-gui)" = installed ] || fail "zorvik-gui is not installed after dpkg -i"
installed_files zorvik-gui >>"$work/installed.txt"
for program in ZORVIKMicroSettings ZORVIKUpdater; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] \
        || fail "$program is found at '$(command -v "$program")', not /usr/bin"
    # Answered on the terminal, without a display.
    (unset DISPLAY WAYLAND_DISPLAY; "/usr/bin/$program" --version) | grep -q "^$program [0-9]" \
        || fail "$program --version did not print its name and version"
done
sample=/usr/share/zorvik/samples/zorvik-3.1.8-sample.upd
cmp -s "$sample" "$root/updater/samples/zorvik-3.1.8-sample.upd" \
    || fail "$sample is not installed as updater/samples has it"
/usr/bin/zorvik file "$sample" >/dev/null || fail "zorvik file $sample does not read the sample"

echo "--- the windows from /usr/bin"
# On the X server, as on a desktop (the test run sets the offscreen platform).
unset QT_QPA_PLATFORM
start_xvfb 1280x1024x24
# A desktop matches a window to its menu entry by the window's class on X
# (the entry's StartupWMClass), and on Wayland by the desktop file name the
# program gives Qt, which must be an installed entry's id (the program keeps
# it as UTF-16 text).
expect_desktop_entry() { # WINDOW ID
    local entry=/usr/share/applications/$2.desktop class
    [ -f "$entry" ] || fail "no menu entry $2.desktop is installed"
    class=$(sed -n 's/^StartupWMClass=//p' "$entry")
    [ "$(xprop -id "$1" WM_CLASS)" = "WM_CLASS(STRING) = \"$app_class\", \"$class\"" ] \
        || fail "the window of $app_class has $(xprop -id "$1" WM_CLASS), $entry expects $class"
    strings -e l "/usr/bin/$app_class" | grep -qx "$2" \
        || fail "$app_class does not name its menu entry $2 (setDesktopFileName)"
}
app_class=ZORVIKMicroSettings
app_output="$work/settings.out"
/usr/bin/ZORVIKMicroSettings --port ttySIM0 >"$app_output" 2>&1 &
app_pid=$!
wait_for 60 has_new_window || fail "the installed ZORVIKMicroSettings showed no window"
expect_desktop_entry "$(new_window)" "$settings_id"
kill "$app_pid"
wait "$app_pid" || true
app_pid=""

# The updater as the menu entry starts it for a .upd file (its %f), the
# installed sample: the file's description box shows that the file reached
# the program.
app_class=ZORVIKUpdater
app_output="$work/updater.out"
entry=/usr/share/applications/$updater_id.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[[ $exec_line == *%f* ]] || fail "$entry starts '$exec_line', without %f for the file"
read -r -a command <<<"${exec_line//%f/$sample}"
"${command[@]}" >"$app_output" 2>&1 &
app_pid=$!
two_windows() { [ "$(visible_windows | wc -l)" -ge 2 ]; }
wait_for 60 two_windows || fail "the installed ZORVIKUpdater showed no window with the file's description"
expect_desktop_entry "$(visible_windows | head -n 1)" "$updater_id"
kill "$app_pid"
wait "$app_pid" || true
app_pid=""

# The desktop's databases know the file types, their icons and which
# program opens them.
if command -v update-mime-database >/dev/null; then
    for type in application/x-zorvik-update application/x-zorvik-settings; do
        [ -f "/usr/share/mime/$type.xml" ] || fail "the MIME database has no $type"
        grep -qx "$type:${type/\//-}" /usr/share/mime/icons \
            || fail "the MIME database has no icon for $type"
    done
fi
if command -v update-desktop-database >/dev/null; then
    grep -q "^application/x-zorvik-update=.*$updater_id.desktop" \
        /usr/share/applications/mimeinfo.cache \
        || fail ".upd files are not opened with the updater (mimeinfo.cache)"
    grep -q "^application/x-zorvik-settings=.*$settings_id.desktop" \
        /usr/share/applications/mimeinfo.cache \
        || fail ".zset files are not opened with the settings program (mimeinfo.cache)"
fi

echo "--- dpkg -r"
as_root dpkg -r zorvik-gui zorvik
for package in zorvik zorvik-gui; do
    [ "$(installed_status "$package")" != installed ] || fail "$package is still installed after dpkg -r"
done
# Nothing stays behind: no file they installed, no folder only they used,
# and nothing the desktop's databases made of them.
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
! grep -q zorvik /usr/share/mime/icons 2>/dev/null || fail "the MIME database still has our icons"
! grep -q zorvik_heli /usr/share/applications/mimeinfo.cache 2>/dev/null \
    || fail "mimeinfo.cache still names the ZORVIK programs"
echo "The packages zorvik and zorvik-gui $version: checked, installed, run and removed."
