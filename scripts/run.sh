#!/usr/bin/env bash
# Builds the Linux program and opens it. The ClamAV bridge is placed beside it
# as scan.exe unless a scanner is already there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run

cmake --preset linux -DQUORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build --preset linux --target quorvel clamav_bridge
bin=build/linux/bin
if [ ! -e "$bin/scan.exe" ] && [ -x build/linux/bin/bridge/scan.exe ]; then
  cp build/linux/bin/bridge/scan.exe "$bin/scan.exe"
  echo "ClamAV bridge placed as $bin/scan.exe."
  echo "ClamAV needs its signature databases: run 'freshclam' once (as root) to fetch them."
fi

exec "$bin/quorvel" "$@"
