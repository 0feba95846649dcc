#!/usr/bin/env bash
# Installs what is needed, builds Vandrel and runs the sample: a real
# transfer first -- the sample job (samples/orders-to-sqlite.jobtxt, built
# into a job file) loads an orders CSV made by scripts/make-orders-csv.py
# into a new SQLite table with computed fields through `vandrel-cli run`,
# and the loaded table is shown with `vandrel-cli sql`; then the settings
# file of samples/ is turned from its text form into the binary settings
# file of a program folder, read back and printed, and a SQLite table is
# opened through the dataset kinds as a job opens it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"

cli="$root/build/bin/vandrel-cli"
home="$root/build/sample-home"
mkdir -p "$home"

# The sample job: CSV -> SQLite with computed fields, run as a job.
work="$home/orders-job"
rm -rf "$work"
mkdir -p "$work/data"
python3 "$root/scripts/make-orders-csv.py" "$work/data/orders.csv" 1000
"$cli" job build "$root/samples/orders-to-sqlite.jobtxt" -o "$work/orders-to-sqlite.job"
echo "== the sample job runs =="
VANDREL_HOME="$home" "$cli" run "$work/orders-to-sqlite.job"
echo "== the loaded table =="
"$cli" sql "$work/orders.db" "SELECT count(*) AS loaded_rows FROM ORDERS"
"$cli" sql "$work/orders.db" "SELECT ID, CUSTOMER, AMOUNT, AMOUNT_WITH_TAX, ORDER_DATE FROM ORDERS ORDER BY ID LIMIT 5"

"$cli" text2bin "$root/samples/KVCore.env.txt" "$home/KVCore.env"
echo "== the settings file as text =="
"$cli" dump "$home/KVCore.env"
echo "== the settings in force =="
VANDREL_HOME="$home" "$cli" env

# A SQLite table, the embedded default database, opened as a job opens it.
db="$home/shop.db"
rm -f "$db" "$db-wal" "$db-shm"
"$cli" sql --create "$db" "CREATE TABLE orders(id INTEGER PRIMARY KEY, customer VARCHAR(30) NOT NULL, amount NUMERIC(10,2))" >/dev/null
"$cli" sql "$db" "INSERT INTO orders(customer, amount) VALUES ('Ann', 12.5), ('Bo', 7), ('Chen', 30.25)" >/dev/null
echo "== a SQLite table as a job sees it =="
"$cli" table --path "$db" --table orders --defs
"$cli" table --path "$db" --table orders
echo "== expressions over its second record =="
"$cli" eval --db "$db" --table orders --row 2 "orders.customer" "orders.amount * 1.16" "RecordCount(orders)"
