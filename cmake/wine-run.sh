#!/bin/sh
# Runs a Windows program under 64-bit Wine, quietly, in the test prefix that
# scripts/wine-prefix.sh prepared. Used as CMake's cross-compiling emulator.
#
# The program's output goes through a file, not straight to the caller's
# pipe: processes that Wine starts on the program's behalf (a console host, a
# scanner the program left running on purpose) inherit its file descriptors
# and would otherwise keep the test runner waiting for the end of the output
# long after the program itself has ended.
: "${WINEPREFIX:=${HOME}/.quorvel-wine}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine64
output=$(mktemp)
"$wine64" "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
rm -f "$output"
exit $status
