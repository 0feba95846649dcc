#!/usr/bin/env bash
# Configures and builds Vandrel.
#   scripts/build.sh [BUILD_DIR] [SANITIZER]   SANITIZER: '' | address | thread
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
sanitize=${2:-}
type=Release
[ -n "$sanitize" ] && type=Debug
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=$type -DVANDREL_SANITIZE="$sanitize" >/dev/null
ninja -C "$dir"
