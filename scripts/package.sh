#!/usr/bin/env bash
# Makes the packages from existing builds of the presets and checks that each
# holds the program with quorvel.txt beside it.
#   scripts/package.sh [preset...]      default: linux win64 win32
# Results:
#   build/linux/packages/quorvel_<version>_<arch>.deb          (also a desktop entry and icons)
#   build/win64/packages/quorvel-<version>-windows-x86_64.zip
#   build/win32/packages/quorvel-<version>-windows-i686.zip
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
  shopt -u nullglob
  if [ ${#debs[@]} -eq 1 ] && [ ${#zips[@]} -eq 0 ]; then
    package=${debs[0]}
    listing=$(dpkg-deb -c "$package" | awk '{print $6}')
    expect_entries "$package" "$listing" ./usr/bin/quorvel ./usr/bin/quorvel.txt \
      ./usr/bin/quorvel-console ./usr/share/applications/quorvel.desktop \
      ./usr/share/icons/hicolor/48x48/apps/quorvel.png ./usr/share/doc/quorvel/copyright || status=1
    for needed in libqt6widgets6 qt6-translations-l10n xdg-utils 'x-terminal-emulator | xterm'; do
      dpkg-deb -f "$package" Depends | grep -qF -- "$needed" ||
        { echo "$package: Depends lacks $needed" >&2; status=1; }
    done
  elif [ ${#zips[@]} -eq 1 ] && [ ${#debs[@]} -eq 0 ]; then
    package=${zips[0]}
    top=$(basename "$package" .zip)
    listing=$(cmake -E tar tf "$package")
    expect_entries "$package" "$listing" "$top/quorvel.exe" "$top/quorvel.txt" || status=1
  else
    echo "$dir/packages: expected one .deb or one .zip" >&2
    ls "$dir/packages" >&2
    status=1
    continue
  fi
  echo "$package"
done
exit $status
