#!/usr/bin/env bash
# Builds and runs every test suite: Linux (Qt), Linux under AddressSanitizer
# and UndefinedBehaviorSanitizer, Windows x86_64 under Wine; builds the
# Windows i686 program and tests (32-bit Wine is not available here); makes
# and checks the packages (scripts/package.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

status=0
echo "== Formatting (clang-format, .clang-format)"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror || status=1
else
  echo "not a git checkout: formatting not checked"
fi

for preset in linux linux-asan win64 win32; do build "$preset"; done

echo "== Linux tests"
ctest --preset linux || status=1
echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan || status=1
echo "== Windows x86_64 tests under Wine"
scripts/with-wine.sh ctest --preset win64 || status=1
echo "== Windows i686: built, not run; the installed layout is checked"
ls build/win32/bin/quorvel.exe build/win32/tests/*.exe >/dev/null
ctest --test-dir build/win32 -R '^(install_layout|hardening_flags)$' --output-on-failure || status=1
echo "== Packages: DEB (Linux), MSI and ZIP (Windows x86_64 and i686), linted, installed and removed"
scripts/package.sh linux win64 win32 || status=1

# --- Threads, fuzzing, benchmarks ------------------------------------------
echo "== Threaded tests under ThreadSanitizer"
build linux-tsan
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1" \
  ctest --preset linux-tsan || status=1
echo "== Fuzzing the scanner's command line (bounded)"
scripts/fuzz.sh "${QUORVEL_FUZZ_SECONDS:-60}" || status=1
echo "== Benchmarks, briefly (figures: docs/performance.md)"
scripts/bench.sh || status=1
# -----------------------------------------------------------------------------

exit $status
