#!/usr/bin/env bash
# Runs a command with a Wine test environment around it: the test prefix, a
# virtual X display (Xvfb) for the windows, and a persistent wineserver so
# that each test program starts quickly. Everything is stopped afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$HOME/.quorvel-wine}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"

display=""
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
# The test programs' temporary folders (quorvel-test-*) in the prefix's Temp.
# A test program removes its own, but not a folder that a scanner it left
# running still uses (Windows removes nothing in use), nor any when it is
# ended at its time limit: here they go, once nothing of the prefix runs.
remove_test_folders() {
  for temp in "$WINEPREFIX"/drive_c/users/*/Temp "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp; do
    [ -d "$temp" ] || continue
    find "$temp" -mindepth 1 -maxdepth 1 -name 'quorvel-test-*' -exec rm -rf {} + 2>/dev/null || true
  done
}
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  remove_test_folders
  kill "$xvfb_pid" >/dev/null 2>&1 || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$here/wine-prefix.sh"
wineserver -p 2>/dev/null || true  # one may already be running for this prefix
# The first program in a fresh server starts Wine's own services, which keep
# the standard streams they inherit: start them here, on /dev/null, so that
# they cannot hold a test runner's pipes open.
"$here/../cmake/wine-run.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true
"$@"
