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

render "$src/zorvik_logo.svg" 48 48 zorvik_48x48.png

for marker in black purp red-bl red blue-bl blue; do
    render "$src/$marker.svg" 16 16 "$marker.png"
done

# The application icon of the desktop menu (linux/, installed into the hicolor
# theme): the logo at the theme's sizes, one PNG each. 48 x 48 is the about
# box's zorvik_48x48.png above; the SVG itself is installed as the scalable one.
for size in 16 22 24 32 64 128 256; do
    rsvg-convert --width "$size" --height "$size" \
        --output "$here/linux/icons/zorvik_${size}x${size}.png" "$src/zorvik_logo.svg"
done

# The Windows icon of the programs and their files (windows/): the same
# PNGs in one .ico. Needs ImageMagick's convert.
if command -v convert >/dev/null 2>&1; then
    icons=$here/linux/icons
    convert "$icons/zorvik_16x16.png" "$icons/zorvik_24x24.png" "$icons/zorvik_32x32.png" \
        "$out/zorvik_48x48.png" "$icons/zorvik_64x64.png" "$icons/zorvik_128x128.png" \
        "$icons/zorvik_256x256.png" "$here/windows/zorvik.ico"
else
    echo "convert not found (apt-get install imagemagick): windows/zorvik.ico not rendered" >&2
fi
