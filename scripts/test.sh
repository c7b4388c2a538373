#!/usr/bin/env bash
# Installs what is missing, builds the debug test build (AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors) and runs every test.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/deps.sh"
build="${TEMBREL_TEST_BUILD:-$top/build-test}"
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTEMBREL_SANITIZE=ON -DTEMBREL_WERROR=ON -DTEMBREL_BENCH=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
cd "$build" && ctest --output-on-failure -j "$(nproc)" --timeout 600
