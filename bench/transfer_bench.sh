#!/usr/bin/env bash
# The transfer benchmarks, side by side in one run (compare ratios, not
# absolute times: the machine may be shared):
#   1. the orders CSV into a new SQLite table with 8 + 2 computed fields:
#      sqlite3 .import and the Python csv+sqlite3 script (peers.sh) beside
#      bench_transfer (a DB link run, and the data layer's loop with the
#      writer thread; PostRecords 100 and 0); rows/s, peak memory against
#      the CSV's size, ratios;
#   2. append-or-update of the same rows against a SQLite table that holds
#      them already (primary key on ID), against the append rate;
#   3. the same file into PostgreSQL natively beside psql \copy (a private
#      server; a DB link run, PostRecords 100 and 10,000; skipped with NO_PG=1).
# Usage: bench/transfer_bench.sh BUILD_DIR [ROWS] [PEERS_SH]
#   ROWS default 1,000,000; PEERS_SH default /work/shared/bench/peers.sh
#   (make_orders_csv.py is taken from the same folder).
set -euo pipefail
build=$(readlink -f "${1:?BUILD_DIR}"); rows=${2:-1000000}
peers=${3:-/work/shared/bench/peers.sh}
bench="$build/bin/bench_transfer"
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
csv="$work/orders.csv"
python3 "$(dirname "$peers")/make_orders_csv.py" "$csv" "$rows"
csvBytes=$(stat -c %s "$csv")
echo "== $(date -u '+%F %T') load: $(cut -d' ' -f1-3 /proc/loadavg); $rows rows, CSV $(( csvBytes / 1048576 )) MB"

# wall seconds, peak KiB and CPU seconds (user + system, children included)
# of one command; its output goes to $work/out. Each command starts with
# the disk writes of the one before done (sync), not paying for them.
timed() {
  sync
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; return 1; }
  read -r wall kib user sys <"$work/time"
  echo "$wall $kib $(python3 -c "print(round($user + $sys, 2))")"
}
ratio() { python3 -c "print(f'{$1/$2:.2f}x')"; }

# The peers as peers.sh runs them (wall time, rows/s, peak memory); then
# once more each under time for its CPU seconds, the figures that still
# compare when other programs load the machine (the Python loader is the
# one peers.sh holds).
peerOut=$(sync; bash "$peers" "$csv" sqlite; sync; bash "$peers" "$csv" python)
echo "$peerOut"
sed -n "/<<'PY'/,/^PY\$/p" "$peers" | sed '1d;$d' >"$work/load.py"
read -r _ _ toolCpu < <(timed sqlite3 "$work/peer.db" ".import --csv $csv orders")
read -r _ _ pyCpu < <(timed python3 "$work/load.py" "$csv" "$work/peer-py.db")
rm -f "$work"/peer*.db
echo "peers' CPU (user + system): sqlite3 .import $toolCpu s, Python $pyCpu s"
toolSecs=$(echo "$peerOut" | awk -F': ' '/^sqlite3 .import/ {split($2, a, " "); print a[1]}')
pySecs=$(echo "$peerOut" | awk -F': ' '/^python/ {split($2, a, " "); print a[1]}')

appendSecs=""
# DB link run (record by record), then the data layer with the writer thread.
for variant in "link 0" "data 1"; do
  read -r via writer <<<"$variant"
  for post in 100 0; do
    read -r secs kib cpu < <(timed "$bench" sqlite "$csv" "$work/ours.db" --post "$post" --via "$via" --writer "$writer")
    [ "$via" = link ] && [ "$post" = 100 ] && appendSecs=$secs
    printf 'ours, %s (PostRecords %s): %.2f s, %.0f rows/s, peak %s MB (%s the CSV); %s sqlite3, %s Python' \
      "$([ "$via" = link ] && echo "DB link run" || echo "data layer + writer thread")" "$post" "$secs" \
      "$(python3 -c "print($rows/$secs)")" "$(( kib / 1024 ))" \
      "$(ratio "$kib*1024" "$csvBytes")" "$(ratio "$toolSecs" "$secs")" "$(ratio "$pySecs" "$secs")"
    printf '; CPU %s s: %s sqlite3, %s Python\n' "$cpu" "$(ratio "$toolCpu" "$cpu")" "$(ratio "$pyCpu" "$cpu")"
    rm -f "$work"/ours.db*
  done
done

# Append-or-update against the rows already there (primary key on ID).
sqlite3 "$work/keyed.db" "CREATE TABLE orders(ID INTEGER PRIMARY KEY, CUSTOMER TEXT, CITY TEXT, AMOUNT REAL,
  QTY INTEGER, ORDERED TEXT, STATUS TEXT, NOTE TEXT, GROSS REAL, UCITY TEXT)"
read -r secs _ _ < <(timed "$bench" sqlite "$csv" "$work/keyed.db" --mode update)
printf 'ours, DB link run, append-or-update into the empty keyed table (every locate misses): %.2f s\n' "$secs"
read -r secs kib _ < <(timed "$bench" sqlite "$csv" "$work/keyed.db" --mode update)
printf 'ours, DB link run, append-or-update, every row there already (PostRecords 100): %.2f s, %.0f rows/s, peak %s MB; %s the append rate\n' \
  "$secs" "$(python3 -c "print($rows/$secs)")" "$(( kib / 1024 ))" "$(ratio "$appendSecs" "$secs")"
[ "$(sqlite3 "$work/keyed.db" 'select count(*) from orders')" = "$rows" ] || { echo "keyed table: wrong row count"; exit 1; }

if [ "${NO_PG:-}" != 1 ]; then
  for post in 100 10000; do sync; "$bench" pg "$csv" --post "$post"; done
fi
echo "== done; load: $(cut -d' ' -f1-3 /proc/loadavg)"
