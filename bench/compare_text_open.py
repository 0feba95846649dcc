#!/usr/bin/env python3
"""Open a large CSV with the text file dataset and with Python's csv module, side by side.

Usage: compare_text_open.py BENCH_TEXT_FILE ORDERS.csv
  BENCH_TEXT_FILE  the built bench_text_file program
  ORDERS.csv       made by /work/shared/bench/make_orders_csv.py

Both hold the whole file in memory (the dataset by design; Python as a list of
rows), each in its own process, so the peak memory figures are comparable. The
dataset's figure is its open (both passes); Python's is csv.reader into a list.
"""
import os, resource, subprocess, sys, time

PY_LOAD = r'''
import csv, resource, sys, time
t0 = time.perf_counter()
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    r = csv.reader(f)
    header = next(r)
    rows = list(r)
t1 = time.perf_counter()
print(f"{t1 - t0:.3f} {len(rows)} {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss}")
'''

def run_ours(bench, csv):
    out = subprocess.run([bench, csv, '--header'], check=True, capture_output=True, text=True).stdout
    vals = {}
    for line in out.splitlines():
        key, _, rest = line.partition(' ')
        vals[key] = rest.split()
    open_s = float(vals['open'][0])
    peak_mb = float(vals['peak'][1])
    return open_s, int(vals['records'][0]), peak_mb, out

def run_python(csv):
    out = subprocess.run([sys.executable, '-c', PY_LOAD, csv], check=True, capture_output=True, text=True).stdout
    secs, rows, kib = out.split()
    return float(secs), int(rows), int(kib) * 1024 / 1e6

def main():
    bench, csv = sys.argv[1], sys.argv[2]
    mb = os.path.getsize(csv) / 1e6
    o_s, o_rows, o_peak, o_out = run_ours(bench, csv)
    p_s, p_rows, p_peak = run_python(csv)
    print(o_out.rstrip())
    print()
    print(f"file: {csv} ({mb:.1f} MB)")
    print(f"{'':28}{'seconds':>9}{'MB/s':>8}{'records':>10}{'peak MB':>9}{'x file':>8}")
    print(f"{'text file dataset (open)':28}{o_s:9.3f}{mb / o_s:8.0f}{o_rows:10}{o_peak:9.1f}{o_peak / mb:8.2f}")
    print(f"{'python csv into a list':28}{p_s:9.3f}{mb / p_s:8.0f}{p_rows:10}{p_peak:9.1f}{p_peak / mb:8.2f}")
    print(f"speed: {p_s / o_s:.1f}x python; memory: {o_peak / p_peak:.2f}x python")

if __name__ == '__main__':
    main()
