#!/usr/bin/env bash
# Installs what is needed, builds Vandrel and runs the whole test suite:
# once in the normal build and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"

jobs=$(nproc)
status=0

echo "== normal build =="
bash "$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs" || status=1

echo "== ASan + UBSan build =="
bash "$root/scripts/build.sh" "$root/build-asan" address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" || status=1

exit $status
