#!/usr/bin/env bash
# Makes the packages from existing builds of the presets and checks them.
#   scripts/package.sh [preset...]      default: linux win64 win32
# Results:
#   build/linux/packages/quorvel_<version>_<arch>.deb
#   build/win64/packages/quorvel-<version>-windows-x86_64.msi and .zip
#   build/win32/packages/quorvel-<version>-windows-i686.msi and .zip
# Checks: the contents of each; the DEB with lintian (also its pedantic tags),
# its desktop entry with desktop-file-validate and its metainfo with
# appstreamcli, each failing on any warning; then the DEB (as root) and the
# x86_64 MSI (under Wine) are installed, checked and removed again by
# scripts/check-installed.sh.
# Build first: cmake --preset <name> && cmake --build --preset <name>.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- linux win64 win32

# Fails unless every wanted entry is in the listing (one path a line).
expect_entries() {
  local package=$1 listing=$2
  shift 2
  local entry missing=0
  for entry in "$@"; do
    if ! grep -qxF -- "$entry" <<<"$listing"; then
      echo "$package: no $entry" >&2
      missing=1
    fi
  done
  return $missing
}

# Runs a checker; fails, with its output, if it exits non-zero or, with
# --quiet, prints anything at all.
lint() {
  local quiet=0 output
  [ "$1" = --quiet ] && { quiet=1; shift; }
  if ! output=$("$@" 2>&1) || { [ $quiet -eq 1 ] && [ -n "$output" ]; }; then
    echo "$package: $1 complains:" >&2
    echo "$output" >&2
    return 1
  fi
}

check_deb() {
  local listing work lintian_options=(--pedantic --info --fail-on error,warning,pedantic)
  listing=$(dpkg-deb -c "$package" | awk '{print $6}')
  expect_entries "$package" "$listing" ./usr/bin/quorvel ./usr/lib/quorvel/quorvel \
    ./usr/lib/quorvel/quorvel.txt ./usr/lib/quorvel/scan.exe ./usr/lib/quorvel/quorvel-console \
    ./usr/share/applications/quorvel.desktop ./usr/share/icons/hicolor/48x48/apps/quorvel.png \
    ./usr/share/doc/quorvel/copyright ./usr/share/doc/quorvel/changelog.gz \
    ./usr/share/doc/quorvel/README.Debian.gz \
    ./usr/share/man/man1/quorvel.1.gz || status=1
  local needed
  for needed in libqt6widgets6 libclamav qt6-translations-l10n xdg-utils 'xterm | x-terminal-emulator'; do
    dpkg-deb -f "$package" Depends | grep -qF -- "$needed" ||
      { echo "$package: Depends lacks $needed" >&2; status=1; }
  done
  # freshclam, and a graphical editor in which the report reads right.
  for needed in clamav-freshclam 'mousepad | gedit'; do
    dpkg-deb -f "$package" Recommends | grep -qF -- "$needed" ||
      { echo "$package: Recommends lacks $needed" >&2; status=1; }
  done

  # The placeholder maintainer address is the packager's to replace.
  if grep -q 'CPACK_QUORVEL_DEFAULT_MAINTAINER "ON"' "$dir/CPackConfig.cmake"; then
    lintian_options+=(--suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog)
  fi
  lint lintian "${lintian_options[@]}" "$package" || status=1

  work=$(mktemp -d)
  dpkg-deb -x "$package" "$work"
  lint --quiet desktop-file-validate "$work/usr/share/applications/quorvel.desktop" || status=1
  lint appstreamcli validate --no-net --pedantic "$work"/usr/share/metainfo/*.metainfo.xml ||
    status=1
  rm -rf "$work"

  scripts/check-installed.sh deb "$package" "$dir/tests/readme_path_probe" || status=1
}

check_windows() {
  local zip=$1 msi=$2 top listing
  top=$(basename "$zip" .zip)
  listing=$(cmake -E tar tf "$zip")
  expect_entries "$zip" "$listing" "$top/quorvel.exe" "$top/quorvel.txt" || status=1
  listing=$(msiinfo export "$msi" File | cut -f3 | tr -d '\r')
  expect_entries "$msi" "$listing" quorvel.exe quorvel.txt scan.exe || status=1
  msiinfo export "$msi" Shortcut | grep -q "^StartMenuShortcut" ||
    { echo "$msi: no Start-menu shortcut" >&2; status=1; }
  # 32-bit Wine is not available here: only the x86_64 installer is tried.
  if [[ $msi == *-x86_64.msi ]]; then
    # In a prefix of its own: the tests' prefix never holds an installation.
    WINEPREFIX=$HOME/.quorvel-wine-msi scripts/with-wine.sh \
      scripts/check-installed.sh msi "$msi" || status=1
  fi
}

status=0
for preset in "$@"; do
  dir=build/$preset
  [ -f "$dir/CPackConfig.cmake" ] || { echo "$dir is not configured" >&2; exit 1; }
  rm -rf "$dir/packages"
  if ! (cd "$dir" && cpack -B packages >packages.log 2>&1); then
    cat "$dir/packages.log" >&2
    echo "cpack failed in $dir" >&2
    status=1
    continue
  fi
  shopt -s nullglob
  debs=("$dir"/packages/*.deb)
  zips=("$dir"/packages/*.zip)
  if [ ${#zips[@]} -eq 1 ] && ! cmake --build "$dir" --target msi >"$dir/msi.log" 2>&1; then
    cat "$dir/msi.log" >&2
    echo "wixl failed in $dir" >&2
    status=1
    continue
  fi
  msis=("$dir"/packages/*.msi)
  shopt -u nullglob
  if [ ${#debs[@]} -eq 1 ] && [ ${#zips[@]} -eq 0 ]; then
    package=${debs[0]}
    check_deb
    echo "$package"
  elif [ ${#zips[@]} -eq 1 ] && [ ${#msis[@]} -eq 1 ] && [ ${#debs[@]} -eq 0 ]; then
    check_windows "${zips[0]}" "${msis[0]}"
    echo "${zips[0]}"
    echo "${msis[0]}"
  else
    echo "$dir/packages: expected one .deb, or one .zip and one .msi" >&2
    ls "$dir/packages" >&2
    status=1
  fi
done
exit $status
