#!/usr/bin/env bash
# The Windows setup program, installed and uninstalled under wine as a user
# would (silently, /S), against the device simulator:
#   - the installation folder holds exactly the shipped files and the
#     uninstaller, byte for byte the deploy folder's;
#   - the uninstall entry, the two file types and the Start menu entries
#     are there and point into the installation;
#   - the installed zorvik.exe runs on its own (nothing from the build's Qt
#     on the path) and reaches the simulated device on COM5, and the installed
#     settings window opens on a virtual X server, connects to it and closes;
#   - the uninstaller, run in place as a script would and as Windows runs it,
#     leaves no file, folder, registry key or shortcut behind, and keeps a
#     file of the user's in the installation folder.
# Quiet on success; on a failure it prints what the failing step said.
#
#   tests/windows/installer-check.sh [TREE]
#
# Without TREE it builds and packs build/windows-release
# (scripts/package-windows.sh); with TREE it packs that Windows build tree as
# it is (its deploy folder laid out by scripts/windows-deploy.sh). The
# simulator is the Linux one (build/test/sim/zorvik-sim, or ZORVIK_SIM),
# built when missing.
set -euo pipefail
cd "$(dirname "$0")/../.."

tree=${1:-build/windows-release}
tree=${tree%/}
sim=${ZORVIK_SIM:-build/test/sim/zorvik-sim}

# The X server comes first, so that the wine prefix and its desktop process
# are made with the display the window will use. Its helpers (start_xvfb,
# wait_for, press) are the X-window tests'; wine-session.sh then takes over
# the work directory, the failure report and the clean-up.
work=$(mktemp -d "${TMPDIR:-/tmp}/zorvik-installer-xvfb.XXXXXX")
xvfb_work=$work
. tests/support/xvfb-session.sh
trap 'kill "$xvfb_pid" 2>/dev/null; rm -rf "$xvfb_work"' EXIT
start_xvfb 1280x1024x24
wine_display=yes
. tests/windows/wine-session.sh
trap 'wine_session_cleanup; kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$xvfb_work"' EXIT

install_packages() {
    . scripts/ensure-packages.sh
    ensure_packages wine64 wine fonts-wine fonts-dejavu-core xvfb xdotool nsis zip cmake make
}

step "installing packages" install_packages
if [ $# -eq 0 ]; then
    step "building and packing for Windows" scripts/package-windows.sh
else
    step "packing $tree" scripts/package-windows.sh "$tree"
fi
ensure_simulator
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
setup=$tree/zorvik-$version-setup.exe
deploy=$tree/deploy
qt=$(scripts/windows-qt.sh)

wine_session_begin
# The installed programs must find everything in their own folder.
unset WINEPATH

programs=$WINEPREFIX/drive_c/Program\ Files/ZORVIK
start_menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
install_dir='C:\Program Files\ZORVIK'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZORVIK'
classes='HKLM\Software\Classes'
shortcuts=("ZORVIK Micro Settings.lnk" "ZORVIK Updater.lnk")
# The keys the installer writes, each checked gone after uninstalling.
our_keys=("$uninstall_key" "$classes\\ZORVIK.UpdateFile" "$classes\\ZORVIK.SettingsFile"
          "$classes\\.upd" "$classes\\.zset")

# registry KEY: every value under the key and its subkeys, one line each as
# KEY|NAME|TYPE|DATA (the default value named "(Default)"); fails when the
# key does not exist.
registry() {
    local raw=$work/reg.txt
    timeout 60 wine reg query "$1" /s </dev/null >"$raw" 2>&1 || return 1
    tr -d '\r' <"$raw" | awk '
        /^HKEY_/ { key = $0; next }
        /^    / {
            sub(/^    /, "")
            n = split($0, field, /    /)
            data = field[3]
            for (i = 4; i <= n; i++) data = data "    " field[i]
            print key "|" field[1] "|" field[2] "|" data
        }'
}

# expect_values KEY LINE...: the key holds these values (lines as registry
# prints them, the key's path written from HKEY_LOCAL_MACHINE on).
expect_values() {
    local key=$1 listing=$work/values.txt line absent=0
    shift
    registry "$key" >"$listing"
    cat "$listing"
    for line in "$@"; do
        grep -qixF -- "$line" "$listing" || { echo "missing: $line"; absent=1; }
    done
    return "$absent"
}

# The installation folder, listed as relative paths of its files.
installed_files() {
    (cd "$programs" && find . -type f -printf '%P\n' | LC_ALL=C sort)
}

check_files() {
    local expected=$work/expected-files.txt
    { (cd "$deploy" && find . -type f -printf '%P\n'); echo Uninstall.exe; } \
        | LC_ALL=C sort >"$expected"
    installed_files >"$work/installed-files.txt"
    diff "$expected" "$work/installed-files.txt"
    local file
    while read -r file; do
        [ "$file" = Uninstall.exe ] || cmp "$deploy/$file" "$programs/$file"
    done <"$expected"
}

check_uninstall_entry() {
    local key=HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZORVIK
    expect_values "$uninstall_key" \
        "$key|DisplayName|REG_SZ|ZORVIK" \
        "$key|DisplayVersion|REG_SZ|$version" \
        "$key|Publisher|REG_SZ|ZORVIK" \
        "$key|DisplayIcon|REG_SZ|$install_dir\\ZORVIKMicroSettings.exe,0" \
        "$key|InstallLocation|REG_SZ|$install_dir" \
        "$key|UninstallString|REG_SZ|\"$install_dir\\Uninstall.exe\"" \
        "$key|QuietUninstallString|REG_SZ|\"$install_dir\\Uninstall.exe\" /S" \
        "$key|NoModify|REG_DWORD|0x1" \
        "$key|NoRepair|REG_DWORD|0x1"
    # The size in KB of what was installed: the deploy folder's, give or
    # take the rounding of each file to whole KB.
    local size deploy_kb
    size=$(awk -F'|' '$2 == "EstimatedSize" && $3 == "REG_DWORD" { print $4 }' "$work/values.txt")
    [ -n "$size" ] || { echo "no EstimatedSize"; return 1; }
    size=$((size))
    deploy_kb=$(find "$deploy" -type f -printf '%s\n' | awk '{ sum += $1 } END { print int(sum / 1024) }')
    echo "EstimatedSize $size KB, deploy folder $deploy_kb KB"
    [ "$size" -ge "$deploy_kb" ] && [ "$size" -le $((deploy_kb + 64)) ]
}

# check_type EXTENSION PROGID PROGRAM DESCRIPTION
check_type() {
    local extension=$1 progid=$2 program=$3 description=$4
    local root=HKEY_LOCAL_MACHINE\\Software\\Classes
    expect_values "$classes\\$extension" \
        "$root\\$extension|(Default)|REG_SZ|$progid" \
        "$root\\$extension\\OpenWithProgids|$progid|REG_SZ|"
    expect_values "$classes\\$progid" \
        "$root\\$progid|(Default)|REG_SZ|$description" \
        "$root\\$progid\\DefaultIcon|(Default)|REG_SZ|$install_dir\\$program,0" \
        "$root\\$progid\\shell\\open\\command|(Default)|REG_SZ|\"$install_dir\\$program\" \"%1\""
}

# check_shortcut NAME PROGRAM: the Start menu entry starts the installed
# program (a shell link names its target as text).
check_shortcut() {
    local link=$start_menu/$1
    [ -f "$link" ] || { echo "no $link"; ls -R "$start_menu"; return 1; }
    grep -qaF "$install_dir\\$2" "$link" \
        || strings -el "$link" | grep -qF "$install_dir\\$2" \
        || { echo "$1 does not point at $install_dir\\$2"; strings -a -el "$link"; return 1; }
}

installed_zorvik() {
    under_wine "$programs/zorvik.exe" "$@"
}

# The settings window, as the Start menu entry opens it but with the port
# preselected: it appears, connects when Connect is pressed (the device is
# queried), and ends with status 0 through File > Close.
settings_window() {
    local output=$work/settings.out window="" seen
    # The log's lines so far (zorvik info's): what follows is the window's.
    seen=$(wc -l <"$work/sim.log")
    timeout 120 wine "$programs/ZORVIKMicroSettings.exe" --port "$port" </dev/null \
        >"$output" 2>&1 &
    local pid=$!
    window_shown() {
        window=$(xdotool search --onlyvisible --name "Micro Settings" 2>/dev/null | head -n 1)
        [ -n "$window" ]
    }
    if ! wait_for 60 window_shown; then
        echo "the window did not appear"; cat "$output"; kill "$pid"; return 1
    fi
    xdotool getwindowname "$window"
    # Tab reaches the port list (COM5 chosen), the next one Connect.
    press "$window" Tab Tab space
    # Connected: the pages are filled once a keep-alive (command 11) follows
    # the last value read (command 3), after the identity (command 1).
    pages_filled() {
        tail -n +$((seen + 1)) "$work/sim.log" | awk '
            /^request .* cmd=1 / { identity = NR } /^request .* cmd=3 / { read = NR }
            /^request .* cmd=11 / { alive = NR }
            END { exit !(identity && read > identity && alive > read) }'
    }
    if ! wait_for 60 pages_filled; then
        echo "connecting did not read the device"; tail -n 20 "$work/sim.log"; cat "$output"
        kill "$pid"; return 1
    fi
    # Connecting to a device with the factory set-up writes nothing to it.
    if tail -n +$((seen + 1)) "$work/sim.log" | grep -q '^request .* cmd=4 '; then
        echo "connecting wrote to the device"; kill "$pid"; return 1
    fi
    press "$window" alt+f c
    local status=0
    wait "$pid" || status=$?
    cat "$output"
    [ "$status" -eq 0 ] || { echo "the window ended with status $status"; return 1; }
}

# uninstall_in_place: the uninstaller as a script runs it. NSIS's uninstaller
# copies itself away and returns at once; _?=FOLDER runs it in place, and
# wine then waits for it. Running, it cannot remove itself nor so its folder.
uninstall_in_place() {
    # NSIS takes the rest of the command line, spaces and all, after _?=, but
    # not from inside quotes, which wine puts around a word with a space: the
    # folder goes in as words, which wine joins with single spaces.
    local words
    read -r -a words <<<"_?=$install_dir"
    under_wine "$programs/Uninstall.exe" /S "${words[@]}"
    [ -f "$programs/Uninstall.exe" ]
    rm "$programs/Uninstall.exe"
}

# uninstall_as_windows: as Windows' list of programs runs it (the entry's
# QuietUninstallString): the copy it starts removes everything, the folder
# and finally the entry too.
uninstall_as_windows() {
    under_wine "$programs/Uninstall.exe" /S
    entry_gone() {
        [ ! -e "$programs" ] \
            && ! timeout 60 wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1
    }
    wait_for 120 entry_gone || { echo "the uninstaller did not finish"; return 1; }
}

check_removed() {
    local left=0 key link
    if [ -e "$programs" ]; then
        echo "left in the installation folder:"; (cd "$programs" && find .); left=1
    fi
    for key in "${our_keys[@]}"; do
        if timeout 60 wine reg query "$key" </dev/null >"$work/left.txt" 2>&1; then
            echo "registry key left: $key"; tr -d '\r' <"$work/left.txt"; left=1
        fi
    done
    for link in "${shortcuts[@]}"; do
        [ ! -e "$start_menu/$link" ] || { echo "shortcut left: $link"; left=1; }
    done
    return "$left"
}

# Another program that has taken .upd over since keeps it; our own entry
# under it goes.
other_program=Other.UpdateViewer
take_over_update_files() {
    timeout 60 wine reg add "$classes\\.upd" /ve /d "$other_program" /f </dev/null
}

check_other_program_kept() {
    expect_values "$classes\\.upd" \
        "HKEY_LOCAL_MACHINE\\Software\\Classes\\.upd|(Default)|REG_SZ|$other_program"
    if grep -qi zorvik "$work/values.txt"; then
        echo "ZORVIK left under .upd"; return 1
    fi
    timeout 60 wine reg delete "$classes\\.upd" /f </dev/null
}

# The uninstaller removes what it installed, nothing else.
check_user_file_kept() {
    echo "left in the installation folder:"
    (cd "$programs" && find . -mindepth 1 | LC_ALL=C sort)
    [ "$(cat "$programs/my-notes.txt")" = "not the installer's" ]
    [ "$(cd "$programs" && find . -mindepth 1)" = ./my-notes.txt ]
    rm "$programs/my-notes.txt"
    rmdir "$programs"
}

step "installing $setup" under_wine "$setup" /S
step "the installed files" check_files
step "the uninstall entry" check_uninstall_entry
step "the .upd file type" check_type .upd ZORVIK.UpdateFile ZORVIKUpdater.exe \
    "ZORVIK firmware update"
step "the .zset file type" check_type .zset ZORVIK.SettingsFile ZORVIKMicroSettings.exe \
    "ZORVIK settings"
step "the Start menu entry ZORVIK Micro Settings" check_shortcut "ZORVIK Micro Settings.lnk" \
    ZORVIKMicroSettings.exe
step "the Start menu entry ZORVIK Updater" check_shortcut "ZORVIK Updater.lnk" ZORVIKUpdater.exe

step "installed zorvik --version" expect_output "zorvik $version" installed_zorvik --version
start_simulator --log "$work/sim.log"
step "installed zorvik info $port" expect_output "Application: 3.1.7" installed_zorvik info "$port"
step "the installed settings window" settings_window
end_simulator

echo "not the installer's" >"$programs/my-notes.txt"
step "another program taking .upd over" take_over_update_files
step "uninstalling in place" uninstall_in_place
step "a user's file in the installation folder is kept" check_user_file_kept
step "the other program keeps .upd" check_other_program_kept
step "nothing is left after uninstalling in place" check_removed

step "installing $setup again" under_wine "$setup" /S
step "the installed files after installing again" check_files
step "uninstalling as Windows does" uninstall_as_windows
step "nothing is left after uninstalling" check_removed
