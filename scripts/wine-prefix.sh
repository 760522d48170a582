#!/bin/sh
# Prepares the Wine prefix the Windows tests run in (once; later calls return
# at once): a 64-bit prefix, the CJK font mapped to "宋体"/"SimSun", consoles
# drawn with the CJK font's monospace face (the scanner's console shows
# Chinese), text files opened in Notepad (the report's View, the about box's
# licence), no crash debugger and no question about one, so that a crashed
# program ends at once and fails its test instead of waiting forever, and no
# menu entries or file associations written to the host's desktop (an MSI
# installed into the prefix adds a Start-menu shortcut).
set -eu
: "${WINEPREFIX:=${HOME}/.quorvel-wine}"
export WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
WINEARCH=win64
export WINEARCH
# Bump the stamp when the settings below change, so older prefixes get them.
stamp="$WINEPREFIX/.quorvel-ready-4"
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

; A crash: with Auto "0" Wine would ask in a message box whether to debug,
; which nobody answers under Xvfb. Auto "1" starts the debugger without
; asking, and an empty command line starts nothing: the crashed program ends
; at once with its exception code.
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Auto"="1"
"Debugger"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

; winemenubuilder turns the prefix's shortcuts and associations into the
; host's menu entries: never run it.
[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

; Wine's prefix knows the "txtfile" type (opened in Notepad) but maps no
; extension to it: View and the licence would fail on a .txt file.
[HKEY_CLASSES_ROOT\.txt]
@="txtfile"
"Content Type"="text/plain"

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
