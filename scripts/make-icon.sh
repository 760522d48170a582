#!/bin/sh
# Renders the application icon from its drawings in res/icon/ with
# ImageMagick: res/icon/quorvel-<size>.png for 16, 24, 32, 48 and 256 pixels
# (the Linux icon theme and the Qt window icon use them) and res/quorvel.ico
# with all five (the Windows resources). The outputs are kept in the
# repository, so a build needs no ImageMagick; run this after changing a
# drawing. Needs ImageMagick 6 or 7 with its SVG reader.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
icon="$root/res/icon"
ico="$root/res/quorvel.ico"

if command -v magick >/dev/null 2>&1; then im=magick; else im=convert; fi

# -strip and no time chunks keep the files the same from run to run.
png_options="-depth 8 -strip -define png:exclude-chunks=date,time PNG32:"

# The big drawing is rendered at its own 256 pixels; 48, 32 and 24 are
# scaled down from it. 16 pixels has a drawing of its own on its pixel grid.
$im -background none "$icon/quorvel.svg" $png_options"$icon/quorvel-256.png"
for size in 48 32 24; do
  $im -background none "$icon/quorvel-256.png" -filter Lanczos -resize "${size}x${size}" \
    $png_options"$icon/quorvel-$size.png"
done
$im -background none "$icon/quorvel-16.svg" -resize 16x16 $png_options"$icon/quorvel-16.png"

$im "$icon/quorvel-16.png" "$icon/quorvel-24.png" "$icon/quorvel-32.png" \
  "$icon/quorvel-48.png" "$icon/quorvel-256.png" -strip "$ico"

for size in 16 24 32 48 256; do
  actual=$($im identify -format '%wx%h' "$icon/quorvel-$size.png" 2>/dev/null ||
    identify -format '%wx%h' "$icon/quorvel-$size.png")
  [ "$actual" = "${size}x${size}" ] || { echo "quorvel-$size.png is $actual" >&2; exit 1; }
done
echo "wrote $icon/quorvel-{16,24,32,48,256}.png and $ico"
