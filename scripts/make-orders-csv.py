#!/usr/bin/env python3
"""Writes an orders CSV as the sample job reads it: a header line
ID,CUSTOMER,AMOUNT,ORDER_DATE and one record per order, CR LF line ends.

    python3 scripts/make-orders-csv.py OUT.csv [ROWS]

The content depends on ROWS only (default 1000), so runs can be compared.
Every 50th order has the amount 0, which the sample job's filter skips.
"""
import sys

NAMES = ["ada lovelace", "charles babbage", "grace hopper", "alan turing", "edsger dijkstra",
         "barbara liskov", "donald knuth", "margaret hamilton", "john backus", "frances allen"]


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    rows = int(sys.argv[2]) if len(sys.argv) == 3 else 1000
    if rows < 0:
        sys.exit("ROWS must be 0 or more")
    with open(sys.argv[1], "w", newline="") as out:
        out.write("ID,CUSTOMER,AMOUNT,ORDER_DATE\r\n")
        for i in range(1, rows + 1):
            amount = 0 if i % 50 == 0 else (i * 37 % 500) + (i % 4) * 0.25
            day = 1 + i % 28
            month = 1 + i // 28 % 12
            out.write(f"{i},{NAMES[i % len(NAMES)]},{amount:.2f},2024-{month:02d}-{day:02d}\r\n")


if __name__ == "__main__":
    main()
