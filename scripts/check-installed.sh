#!/usr/bin/env bash
# Installs a package as a user would, checks the installed program and removes
# the package again; fails if anything of it is left.
#   scripts/check-installed.sh deb <quorvel_*.deb> <readme_path_probe>
#       apt-get install, as root: /usr/bin holds only the link quorvel; the
#       program starts (offscreen) from there, and the probe, started through
#       a link beside the program's real file, finds quorvel.txt and scan.exe
#       in /usr/lib/quorvel as the program does.
#   scripts/check-installed.sh msi <quorvel-*-x86_64.msi>
#       msiexec /qn under Wine, called inside scripts/with-wine.sh with a
#       WINEPREFIX of its own: files, Start-menu shortcut and the uninstall
#       entry with the version, and nothing left after msiexec /x.
set -euo pipefail

failed=0
fail() {
  echo "$package: $*" >&2
  failed=1
}

check_deb() {
  local probe=$1
  if [ "$(id -u)" -ne 0 ]; then
    echo "$package: not installed (needs root)"
    return
  fi
  if dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q "install ok"; then
    fail "quorvel is already installed here; remove it before this check"
    return
  fi
  private=/usr/lib/quorvel
  work=$(mktemp -d)
  # Whatever happens, the package and the probe go again.
  trap 'rm -f "$private/readme_path_probe"; rm -rf "$work"
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvel >/dev/null 2>&1 || true' EXIT
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "$(realpath "$package")" >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log" >&2
    fail "apt-get install failed"
    return
  }

  local ours_in_bin
  ours_in_bin=$(dpkg -L quorvel | grep '^/usr/bin/' || true)
  [ "$ours_in_bin" = /usr/bin/quorvel ] || fail "in /usr/bin: $(echo "$ours_in_bin" | tr '\n' ' ')"
  [ "$(readlink -f /usr/bin/quorvel)" = "$private/quorvel" ] ||
    fail "/usr/bin/quorvel does not lead to $private/quorvel"

  # Started as the menu starts it; still up after two seconds, running the
  # program's real file.
  env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen quorvel >"$work/run.log" 2>&1 &
  local pid=$!
  sleep 2
  if kill -0 "$pid" 2>/dev/null; then
    [ "$(readlink "/proc/$pid/exe")" = "$private/quorvel" ] ||
      fail "the started program is $(readlink "/proc/$pid/exe")"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  else
    wait "$pid" && status=0 || status=$?
    fail "quorvel ended at once (exit code $status): $(cat "$work/run.log")"
  fi

  cp "$probe" "$private/readme_path_probe"
  ln -s "$private/readme_path_probe" "$work/probe"
  local found
  found=$("$work/probe") || fail "readme_path_probe failed"
  [ "$found" = "$private/quorvel.txt"$'\n'"$private/scan.exe" ] ||
    fail "the about box and the scan use: $(echo "$found" | tr '\n' ' ')"
  [ -f "$private/quorvel.txt" ] && [ -x "$private/scan.exe" ] ||
    fail "no readme or no executable scanner in $private"
  rm -f "$private/readme_path_probe"

  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq quorvel >/dev/null 2>&1 ||
    fail "apt-get purge failed"
  local left
  for left in "$private" /usr/bin/quorvel /usr/share/applications/quorvel.desktop \
    /usr/share/doc/quorvel /usr/share/man/man1/quorvel.1.gz; do
    [ ! -e "$left" ] && [ ! -L "$left" ] || fail "left after removal: $left"
  done
}

check_msi() {
  : "${WINEPREFIX:?run inside scripts/with-wine.sh}"
  # No menu entries on the Linux desktop for the shortcut.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
  local wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=wine64
  local msi_path code version folder key
  msi_path=$(winepath -w "$(realpath "$package")")
  code=$(msiinfo export "$package" Property | awk -F'\t' '$1 == "ProductCode" {print $2}' | tr -d '\r')
  version=$(msiinfo export "$package" Property | awk -F'\t' '$1 == "ProductVersion" {print $2}' | tr -d '\r')
  folder="$WINEPREFIX/drive_c/Program Files/Quorvel"
  # The start menu of all users; Wine puts it into the installing user's.
  local menus=("$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
    "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs")
  key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code"

  "$wine" msiexec /i "$msi_path" /qn >/dev/null 2>&1 || fail "msiexec /i failed"
  local file
  for file in quorvel.exe quorvel.txt scan.exe; do
    [ -f "$folder/$file" ] || fail "not installed: Program Files\\Quorvel\\$file"
  done
  [ -f "${menus[0]}/Quorvel.lnk" ] || [ -f "${menus[1]}/Quorvel.lnk" ] ||
    fail "no Start-menu shortcut Quorvel.lnk"
  local entry
  entry=$("$wine" reg query "$key" 2>/dev/null | tr -d '\r' || true)
  grep -Eq "DisplayName[[:space:]]+REG_SZ[[:space:]]+Quorvel$" <<<"$entry" ||
    fail "the uninstall entry $code has no name Quorvel"
  grep -Eq "DisplayVersion[[:space:]]+REG_SZ[[:space:]]+$version$" <<<"$entry" ||
    fail "the uninstall entry $code does not name version $version"

  "$wine" msiexec /x "$msi_path" /qn >/dev/null 2>&1 || fail "msiexec /x failed"
  [ ! -e "$folder" ] || fail "left after removal: $(ls -A "$folder" | tr '\n' ' ')Program Files\\Quorvel"
  [ ! -e "${menus[0]}/Quorvel.lnk" ] && [ ! -e "${menus[1]}/Quorvel.lnk" ] ||
    fail "left after removal: the Start-menu shortcut"
  ! "$wine" reg query "$key" >/dev/null 2>&1 || fail "left after removal: the uninstall entry"
}

kind=${1:-}
package=${2:-}
[ -f "$package" ] || { echo "usage: $0 deb <file.deb> <probe> | msi <file.msi>" >&2; exit 2; }
case "$kind" in
  deb) check_deb "${3:?the readme_path_probe program}" ;;
  msi) check_msi ;;
  *) echo "usage: $0 deb <file.deb> <probe> | msi <file.msi>" >&2; exit 2 ;;
esac
[ $failed -eq 0 ] && echo "$package: installed, checked and removed"
exit $failed
