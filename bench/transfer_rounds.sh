#!/usr/bin/env bash
# The orders CSV into SQLite in rounds, for machines whose speed changes
# from minute to minute: each round runs sqlite3 .import, the Python
# csv+sqlite3 loader (both as peers.sh runs them) and our DB link run at
# PostRecords 100 and 0, one after the other, each after a sync; the ratios
# are taken within a round and their medians printed at the end.
# Usage: bench/transfer_rounds.sh BUILD_DIR [ROWS] [ROUNDS] [PEERS_SH]
#   ROWS default 1,000,000; ROUNDS default 7; PEERS_SH default /work/shared/bench/peers.sh
set -euo pipefail
build=$(readlink -f "${1:?BUILD_DIR}"); rows=${2:-1000000}; rounds=${3:-7}
peers=${4:-/work/shared/bench/peers.sh}
bench="$build/bin/bench_transfer"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
csv="$work/orders.csv"
python3 "$(dirname "$peers")/make_orders_csv.py" "$csv" "$rows"
sed -n "/<<'PY'/,/^PY\$/p" "$peers" | sed '1d;$d' >"$work/load.py"
echo "== $(date -u '+%F %T') load: $(cut -d' ' -f1-3 /proc/loadavg); $rows rows, $rounds rounds"

# Wall seconds of one command, after a sync; the files it made are removed.
wall() {
  sync
  /usr/bin/time -f "%e" -o "$work/time" "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
  rm -f "$work"/*.db*
  cat "$work/time"
}

for round in $(seq "$rounds"); do
  tool=$(wall sqlite3 "$work/peer.db" ".import --csv $csv orders")
  py=$(wall python3 "$work/load.py" "$csv" "$work/peer-py.db")
  ours100=$(wall "$bench" sqlite "$csv" "$work/ours.db" --post 100)
  ours0=$(wall "$bench" sqlite "$csv" "$work/ours.db" --post 0)
  echo "round $round: sqlite3 $tool s, Python $py s, ours (PostRecords 100) $ours100 s, ours (PostRecords 0) $ours0 s"
done | tee "$work/rounds"

python3 - "$work/rounds" <<'PY'
import re, statistics, sys
rows = [list(map(float, re.findall(r"([0-9.]+) s", line))) for line in open(sys.argv[1])]
for name, i in (("PostRecords 100", 2), ("PostRecords 0", 3)):
    for peer, j in (("sqlite3 .import", 0), ("Python", 1)):
        ratios = [r[j] / r[i] for r in rows]
        print(f"ours ({name}) x {peer}: " + ", ".join(f"{x:.2f}" for x in ratios) +
              f" (median {statistics.median(ratios):.2f})")
PY
echo "== done; load: $(cut -d' ' -f1-3 /proc/loadavg)"
