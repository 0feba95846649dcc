#!/usr/bin/env bash
# Makes the orders CSV (1,000,000 rows unless ROWS is given) and runs
# bench_pg_write on it: the native PostgreSQL engine beside psql \copy.
# Usage: bench/pg_write_bench.sh BUILD_DIR [ROWS] [POSTRECORDS]
set -euo pipefail
build=${1:?BUILD_DIR}; rows=${2:-1000000}; post=${3:-10000}
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
python3 /work/shared/bench/make_orders_csv.py "$work/orders.csv" "$rows"
"$build/bin/bench_pg_write" "$work/orders.csv" "$post"
