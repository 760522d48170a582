#!/bin/sh
# Runs a Windows program under 64-bit Wine, quietly, in the test prefix that
# scripts/wine-prefix.sh prepared. Used as CMake's cross-compiling emulator.
: "${WINEPREFIX:=${HOME}/.quorvel-wine}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
if [ -x /usr/lib/wine/wine64 ]; then
  exec /usr/lib/wine/wine64 "$@"
fi
exec wine64 "$@"
