#!/usr/bin/env bash
# Installs the Debian 12 packages a task needs, when any is missing.
#   install-deps.sh run    what building and running the Linux program needs
#   install-deps.sh test   what building and running every test suite needs
set -euo pipefail

# libclamav-dev: ClamAV's library, the bridge's engine on Linux;
# qt6-translations-l10n: Qt's own buttons in Chinese; xdg-utils: xdg-open,
# which opens the report; xterm: the scanner's console window when the desktop has no
# terminal of its own (and the terminal of the console tests).
run_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-wqy-microhei clamav libclamav-dev
  xvfb xauth qt6-translations-l10n xdg-utils xterm)
test_packages=("${run_packages[@]}" libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb xauth x11-utils
  xdotool imagemagick clang clang-format libclang-rt-14-dev dpkg-dev file
  # ClamAV's daemon: the bridge's tests and benchmark start one of their own;
  # its client clamdscan is the benchmark's measure.
  clamav-daemon clamdscan
  # zip: the bridge's tests make an encrypted archive and one with a large member.
  zip
  # Packages: their checks, and what the DEB depends on beyond the above, so
  # that installing it in the check takes nothing from the network.
  lintian desktop-file-utils appstream wixl msitools
  # The Chinese locale, for Wine in the code pages of a Chinese Windows (936).
  locales)

case "${1:-}" in
  run) wanted=("${run_packages[@]}") ;;
  test) wanted=("${test_packages[@]}") ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
# The Windows engine's tests run Wine with LANG=zh_CN.UTF-8: made once.
chinese_locale() {
  [ "${1:-}" = test ] || return 0
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "The zh_CN.UTF-8 locale is missing: run as root, or localedef -i zh_CN -f UTF-8 zh_CN.UTF-8." >&2
    return 1
  fi
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}
[ ${#missing[@]} -eq 0 ] && { chinese_locale "${1:-}"; exit; }

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "These packages are missing; run as root or install them with apt-get." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Packages install without starting their services (the system's ClamAV
# daemon among them): no test may come to depend on one.
policy=/usr/sbin/policy-rc.d
own_policy=
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 755 "$policy"
  own_policy=1
  trap 'rm -f "$policy"' EXIT
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
[ -z "$own_policy" ] || rm -f "$policy"
chinese_locale "${1:-}"
