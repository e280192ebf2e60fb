#!/usr/bin/env bash
# The Windows programs as they are installed: one folder with the two
# windows, zorvik.exe, the DLLs they load (Qt's and the compiler's runtime,
# found by following their imports), the Qt plugins they load (the windows
# platform and the Windows style; PNG is built into Qt) and nothing more,
# stripped. What scripts/package-windows.sh packs, and what the Windows
# tests run.
#
#   scripts/windows-deploy.sh TREE QT-PREFIX DEST
set -euo pipefail
tree=${1:?usage: windows-deploy.sh TREE QT-PREFIX DEST}
qt=${2:?usage: windows-deploy.sh TREE QT-PREFIX DEST}
dest=${3:?usage: windows-deploy.sh TREE QT-PREFIX DEST}
objdump=x86_64-w64-mingw32-objdump
strip=x86_64-w64-mingw32-strip
# Where the DLLs that are not the system's come from.
search=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
programs=("$tree/settings/ZORVIKMicroSettings.exe" "$tree/updater/ZORVIKUpdater.exe"
          "$tree/cli/zorvik.exe")
plugins=(platforms/qwindows.dll styles/qwindowsvistastyle.dll)

rm -rf "$dest"
mkdir -p "$dest"
for program in "${programs[@]}"; do
    cp "$program" "$dest/"
done
for plugin in "${plugins[@]}"; do
    mkdir -p "$dest/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin" "$dest/$plugin"
done

# bundled_dll NAME: the path of a DLL we ship, empty for one of the system's.
bundled_dll() {
    local folder
    for folder in "${search[@]}"; do
        [ -f "$folder/$1" ] && { echo "$folder/$1"; return 0; }
    done
    return 0
}

# Follows the imports of everything in the folder until nothing new appears.
pending=("$dest"/*.exe "$dest"/*/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    while read -r name; do
        [ -f "$dest/$name" ] && continue
        source=$(bundled_dll "$name")
        [ -n "$source" ] || continue
        cp "$source" "$dest/$name"
        pending+=("$dest/$name")
    done < <("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done
find "$dest" -name '*.dll' -exec "$strip" --strip-unneeded {} +
"$strip" --strip-unneeded "$dest"/*.exe
