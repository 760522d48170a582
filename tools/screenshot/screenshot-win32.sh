#!/usr/bin/env bash
# Takes a PNG of the Windows program's main window as Wine draws it: starts
# bin/quorvel.exe of a win64 build under Wine on a virtual X display, waits
# for the window titled "Quorvel v<version>", grabs it with ImageMagick's import
# and ends the program.
#   tools/screenshot/screenshot-win32.sh [build folder] [output PNG]
# The build folder defaults to build/win64, the output to
# docs/screenshots/main-win32.png. Needs Wine, Xvfb, xdotool and ImageMagick.
#
# It runs in a Wine prefix of its own ($QUORVEL_SCREENSHOT_PREFIX, default
# ~/.quorvel-wine-screenshot), set up like the test prefix, in which Wine
# draws the window frames and captions itself: no window manager runs on the
# virtual display to draw them.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${1:-$root/build/win64}")
out=$(realpath -m "${2:-$root/docs/screenshots/main-win32.png}")
exe="$build/bin/quorvel.exe"
[ -f "$exe" ] || { echo "$0: no $exe: build the win64 preset first" >&2; exit 1; }
# The version the build was made with (res/version.h of the build folder).
version=$(sed -n 's/^#define QUORVEL_VERSION "\(.*\)"$/\1/p' "$build/res/version.h")
title=${QUORVEL_SCREENSHOT_TITLE:-Quorvel v$version}

if [ -z "${QUORVEL_SCREENSHOT_INSIDE:-}" ]; then
  # Again, inside a display, a prepared prefix and a running wineserver.
  export WINEPREFIX="${QUORVEL_SCREENSHOT_PREFIX:-$HOME/.quorvel-wine-screenshot}"
  QUORVEL_SCREENSHOT_INSIDE=1 exec "$root/scripts/with-wine.sh" "$0" "$build" "$out"
fi

wine="$root/cmake/wine-run.sh"
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  >/dev/null 2>&1 </dev/null

# The program runs in its own folder, as after installation.
(cd "$(dirname "$exe")" && exec "$wine" "$exe") >/dev/null 2>&1 </dev/null &
program=$!
trap 'kill "$program" 2>/dev/null || true' EXIT

pattern="^$(printf '%s' "$title" | sed 's/[][\\.^$*+?(){}|]/\\&/g')\$"
window=""
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$program" 2>/dev/null || { echo "$0: quorvel.exe ended early" >&2; exit 1; }
  sleep 0.1
done
[ -n "$window" ] || { echo "$0: no window titled \"$title\" appeared" >&2; exit 1; }

sleep 1  # let it paint
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
