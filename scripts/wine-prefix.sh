#!/bin/sh
# Prepares the Wine prefix the Windows tests run in (once; later calls return
# at once): a 64-bit prefix, the CJK font mapped to "宋体"/"SimSun", consoles
# drawn with the CJK font's monospace face (the scanner's console shows
# Chinese), and no crash debugger, so that a crash fails a test instead of
# waiting forever.
set -eu
: "${WINEPREFIX:=${HOME}/.quorvel-wine}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
WINEARCH=win64
export WINEARCH
# Bump the stamp when the settings below change, so older prefixes get them.
stamp="$WINEPREFIX/.quorvel-ready-3"
[ -f "$stamp" ] && exit 0
mkdir -p "$WINEPREFIX"
wine64=/usr/lib/wine/wine64
[ -x "$wine64" ] || wine64=wine64
"$wine64" wineboot --init >/dev/null 2>&1 || true
wineserver -w || true
reg=$(mktemp --suffix=.reg)
cat >"$reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"SimSun"="WenQuanYi Micro Hei"
"NSimSun"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"

; Wine's console font has no Chinese characters. FontSize: height 16 in the
; high word, width chosen by the font. Wine gives a character two cells only
; in a double-byte code page (LANG=zh_CN.UTF-8, as on a Chinese Windows);
; elsewhere each Chinese character is squeezed into one.
[HKEY_CURRENT_USER\Console]
"FaceName"="WenQuanYi Micro Hei Mono"
"FontSize"=dword:00100000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Auto"="0"
"Debugger"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

; No window manager under Xvfb: unmanaged windows close without Wine's wait.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
# regedit would read a Chinese value name in the wrong code page: that one
# goes through reg.exe.
"$wine64" regedit /S "$(winepath -w "$reg" 2>/dev/null || echo "$reg")" >/dev/null 2>&1 || true
"$wine64" reg add "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes" \
  /v "宋体" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1 || true
wineserver -w || true
rm -f "$reg"
touch "$stamp"
