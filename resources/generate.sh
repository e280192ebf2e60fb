#!/bin/sh
# Renders the programs' PNG images from the SVG drawings in src/, each at its
# size and at twice its size.
# Needs rsvg-convert (Debian package librsvg2-bin). The PNGs are kept in the
# repository, so a build never needs this script; run it after changing a
# drawing and commit the drawing and the PNGs together.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src="$here/src"
out="$here/images"

command -v rsvg-convert >/dev/null 2>&1 || {
    echo "rsvg-convert not found: apt-get install librsvg2-bin" >&2
    exit 1
}
mkdir -p "$out"

# Each picture twice: name.png at its size in points, and name@2x.png with
# twice the pixels each way for screens that draw two device pixels per point
# (Qt picks the @2x file by that name; see README.md).
render() { # source.svg width height target.png
    rsvg-convert --width "$2" --height "$3" --output "$out/$4" "$1"
    rsvg-convert --width "$(($2 * 2))" --height "$(($3 * 2))" \
        --output "$out/${4%.png}@2x.png" "$1"
}

# Side picture: the settings window's orange, and the updater's.
render "$src/TR6400QK.svg" 180 480 TR6400QK_settings.png
tmp=$(mktemp "${TMPDIR:-/tmp}/TR6400QK.XXXXXX.svg")
trap 'rm -f "$tmp"' EXIT
sed 's/\(id="background"[^>]*fill="\)#f5ab2f/\1#ff8826/' "$src/TR6400QK.svg" >"$tmp"
grep -q 'id="background"[^>]*#ff8826' "$tmp" || { echo "background colour not replaced" >&2; exit 1; }
render "$tmp" 180 480 TR6400QK_updater.png

# The programs' icons: the logo for the settings program (also the about
# box's picture), the logo with its download badge for the updater. The 48 x
# 48 rendering and its @2x are each window's icon.
render "$src/zorvik_logo.svg" 48 48 zorvik_48x48.png
render "$src/zorvik_updater_logo.svg" 48 48 zorvik-updater_48x48.png

for marker in black purp red-bl red blue-bl blue; do
    render "$src/$marker.svg" 16 16 "$marker.png"
done

# The application icon of the desktop menu (linux/, installed into the hicolor
# theme): the icon at the theme's sizes, one PNG each. 48 x 48 is the window
# icon above; the SVG itself is installed as the scalable one.
theme_sizes() { # source.svg name
    for size in 16 22 24 32 64 128 256; do
        rsvg-convert --width "$size" --height "$size" \
            --output "$here/linux/icons/$2_${size}x${size}.png" "$1"
    done
}
theme_sizes "$src/zorvik_logo.svg" zorvik
theme_sizes "$src/zorvik_updater_logo.svg" zorvik-updater

# The Windows icon of each program (windows/; the settings program's also for
# the files): the same PNGs in one .ico. Needs ImageMagick's convert.
windows_icon() { # name
    icons=$here/linux/icons
    convert "$icons/$1_16x16.png" "$icons/$1_24x24.png" "$icons/$1_32x32.png" \
        "$out/$1_48x48.png" "$icons/$1_64x64.png" "$icons/$1_128x128.png" \
        "$icons/$1_256x256.png" "$here/windows/$1.ico"
}
if command -v convert >/dev/null 2>&1; then
    windows_icon zorvik
    windows_icon zorvik-updater
else
    echo "convert not found (apt-get install imagemagick): windows/*.ico not rendered" >&2
fi
