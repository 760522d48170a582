#!/usr/bin/env bash
# Runs the benchmarks briefly on the native Linux build (preset "linux"):
# the scan round trip against a bare spawn, the command line with every
# option, the window's start-up and peak memory, the bridge through ClamAV's
# daemon against clamdscan and ClamAV's library, and the bridge with ClamAV's library against
# clamscan on 5,000 files (a small database here, 1.7 million signatures
# with --long); and prints the size of the shipped Windows programs where
# they are built. Times are measured, never
# asserted. docs/performance.md records the figures of a longer run:
#   scripts/bench.sh --long
set -euo pipefail
cd "$(dirname "$0")/.."
min_time=0.05
startup_repetitions=3
if [ "${1:-}" = "--long" ]; then
  min_time=2
  startup_repetitions=20
fi

cmake --preset linux >/dev/null
cmake --build --preset linux --target benchmarks daemon_bench engine_bench

echo "== Scan round trip and command line (min_time ${min_time}s)"
build/linux/bench/scan_bench --benchmark_min_time="$min_time"
echo "== Window start-up, Qt offscreen ($startup_repetitions runs each)"
QT_QPA_PLATFORM=offscreen build/linux/bench/startup_bench \
  --benchmark_min_time=0.000001 --benchmark_repetitions="$startup_repetitions" \
  --benchmark_report_aggregates_only=true
echo "== The bridge through ClamAV's daemon against clamdscan and ClamAV's library"
if [ "${1:-}" = "--long" ]; then
  build/linux/bench/daemon_bench --runs 3
else
  build/linux/bench/daemon_bench --hashes 20000 --bodies 2000 --large 500 --runs 1
fi
echo "== The bridge with ClamAV's library against clamscan"
if [ "${1:-}" = "--long" ]; then
  build/linux/bench/engine_bench --runs 3
else
  build/linux/bench/engine_bench --hashes 20000 --bodies 2000 --files 200 --tiny 2000 \
    --big-hashes 40000 --runs 1
fi
echo "== Shipped programs"
for program in build/linux/bin/quorvel build/win64/bin/quorvel.exe build/win32/bin/quorvel.exe; do
  if [ -f "$program" ]; then
    printf '%-32s %8d bytes (%d KiB)\n' "$program" "$(stat -c %s "$program")" \
      "$(( ($(stat -c %s "$program") + 1023) / 1024 ))"
  fi
done
