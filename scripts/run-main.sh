#!/usr/bin/env bash
# Installs what is needed, builds Vandrel and runs the sample: the settings
# file of samples/ is turned from its text form into the binary settings
# file of a program folder, read back by vandrel-cli and printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"

cli="$root/build/bin/vandrel-cli"
home="$root/build/sample-home"
mkdir -p "$home"
"$cli" text2bin "$root/samples/KVCore.env.txt" "$home/KVCore.env"
echo "== the settings file as text =="
"$cli" dump "$home/KVCore.env"
echo "== the settings in force =="
VANDREL_HOME="$home" "$cli" env
