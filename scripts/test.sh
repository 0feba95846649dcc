#!/usr/bin/env bash
# Installs what is needed, builds Vandrel and runs the whole test suite:
# once in the normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer; the test programs labelled "threads"
# (vandrel_add_test ... LABELS threads) also run under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

jobs=$(nproc)
status=0

echo "== normal build =="
bash "$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure --no-label-summary -j "$jobs" || status=1

echo "== TSan build (the test programs labelled threads) =="
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANDREL_SANITIZE=thread \
  -DVANDREL_BENCH=OFF >/dev/null
ninja -C "$root/build-tsan" vandrel_tests_threads
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build-tsan" --output-on-failure --no-label-summary -j "$jobs" \
  -L '^threads$' || status=1

echo "== ASan + UBSan build =="
bash "$root/scripts/build.sh" "$root/build-asan" address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure --no-label-summary -j "$jobs" || status=1

exit $status
