#!/usr/bin/env bash
# Evaluations per second of  a * 1.16 + b - Iif(c > 10, 1, 0)  in Vandrel's
# expression language and in CPython (the expression compiled once with
# compile(), then eval() in a loop), measured in the same run.
#   bench/expression_vs_python.sh [BENCH_BINARY] [EVALUATIONS]
# BENCH_BINARY defaults to build/bin/bench_expression (a Release build, see
# scripts/build.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build/bin/bench_expression}
n=${2:-20000000}
pyn=$(( n / 10 ))

ours=$("$bench" "$n" | awk '/^evaluations_per_second/ {print $2}')

python=$(python3 - "$pyn" <<'PY'
import sys, time
n = int(sys.argv[1])
code = compile("a * 1.16 + b - (1 if c > 10 else 0)", "<expression>", "eval")
ns = {"a": 1.5, "b": 2.25, "c": 0}
checksum = 0.0
t = time.perf_counter()
for i in range(n):
    ns["a"] = i * 0.5
    ns["c"] = i % 23
    checksum += eval(code, ns)
dt = time.perf_counter() - t
print(f"{n / dt:.0f}")
PY
)

echo "vandrel evaluations/s: $ours"
echo "cpython evaluations/s: $python ($(python3 -c 'import platform; print(platform.python_version())'))"
awk -v a="$ours" -v b="$python" 'BEGIN { printf "ratio: %.2fx\n", a / b }'
