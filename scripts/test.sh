#!/usr/bin/env bash
# Builds and runs the test suites of the named configurations (presets of
# CMakePresets.json), all of them by default:
#   scripts/test.sh [linux] [linux-asan] [win64] [win32] [linux-tsan] [fuzz]
# linux: the Linux tests, then the DEB package and the benchmarks, briefly.
# linux-asan: the Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# win64: the Windows x86_64 tests under Wine, then the MSI and ZIP packages.
# win32: the Windows i686 program and tests, built and not run (32-bit Wine
#   is not available here); the installed layout is checked; the packages.
# linux-tsan: the threaded tests under ThreadSanitizer.
# fuzz: the scanner's command line fuzzed for a bounded time.
# The formatting of every C++ file is checked first, whatever is named.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(linux linux-asan win64 win32 linux-tsan fuzz)
presets=("$@")
if [ ${#presets[@]} -eq 0 ]; then presets=("${all[@]}"); fi
for preset in "${presets[@]}"; do
  case " ${all[*]} " in
    *" $preset "*) ;;
    *) echo "usage: $0 [configuration...]   configurations: ${all[*]} (default: all)" >&2
       exit 2 ;;
  esac
done
wanted() {
  case " ${presets[*]} " in *" $1 "*) return 0 ;; *) return 1 ;; esac
}

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

for preset in linux linux-asan win64 win32; do
  if wanted "$preset"; then build "$preset"; fi
done

if wanted linux; then
  echo "== Linux tests"
  ctest --preset linux || status=1
fi
if wanted linux-asan; then
  echo "== Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1 ctest --preset linux-asan || status=1
fi
if wanted win64; then
  echo "== Windows x86_64 tests under Wine"
  scripts/with-wine.sh ctest --preset win64 || status=1
fi
if wanted win32; then
  echo "== Windows i686: built, not run; the installed layout is checked"
  ls build/win32/bin/quorvel.exe build/win32/tests/*.exe >/dev/null
  ctest --test-dir build/win32 -R '^(install_layout|hardening_flags)$' --output-on-failure || status=1
fi
packaged=()
for preset in linux win64 win32; do
  if wanted "$preset"; then packaged+=("$preset"); fi
done
if [ ${#packaged[@]} -gt 0 ]; then
  echo "== Packages (${packaged[*]}): DEB (Linux), MSI and ZIP (Windows), linted, installed and removed"
  scripts/package.sh "${packaged[@]}" || status=1
fi

# --- Threads, fuzzing, benchmarks ------------------------------------------
if wanted linux-tsan; then
  echo "== Threaded tests under ThreadSanitizer"
  build linux-tsan
  TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp second_deadlock_stack=1" \
    ctest --preset linux-tsan || status=1
fi
if wanted fuzz; then
  echo "== Fuzzing the scanner's command line (bounded)"
  scripts/fuzz.sh "${QUORVEL_FUZZ_SECONDS:-60}" || status=1
fi
if wanted linux; then
  echo "== Benchmarks, briefly (figures: docs/performance.md)"
  scripts/bench.sh || status=1
fi
# -----------------------------------------------------------------------------

exit $status
