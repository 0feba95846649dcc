#!/usr/bin/env bash
# Writes a PNG of every window, in English and in Simplified Chinese, into
# OUTDIR, for review:
#   scripts/screenshots.sh OUTDIR [BUILD_DIR]
# The windows open under Xvfb on a sample program folder made from samples/
# (the sample jobs built with vandrel-cli, listed in the job group, the
# sample settings); the user's own settings and program folder are never
# touched. Builds vandrel-shots and vandrel-cli when BUILD_DIR has no
# up-to-date ones.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
  exit 2
fi
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=${2:-$root/build}
ninja -C "$build" vandrel-shots vandrel-cli >/dev/null
cli="$build/bin/vandrel-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
mkdir -p "$home/samples" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$root/samples/data" "$home/samples/"
for text in "$root"/samples/*.jobtxt; do
  job="$home/samples/$(basename "${text%.jobtxt}").job"
  "$cli" job build "$text" -o "$job" >/dev/null
  "$cli" group add "$job" --home "$home" >/dev/null
done
"$cli" text2bin "$root/samples/KVCore.env.txt" "$home/KVCore.env"

export VANDREL_HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
xvfb-run -a -s "-screen 0 1600x1000x24" "$build/bin/vandrel-shots" "$out"
echo "screenshots: $(find "$out" -name '*.png' | wc -l) files in $out"
