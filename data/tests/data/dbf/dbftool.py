#!/usr/bin/python3
"""Independent reader and writer of dBase tables for the interop tests.

  dbftool.py read PATH
      prints the table as dbfread sees it, one line each: "field NAME TYPE
      LENGTH DECIMALS", "row VALUE ..." (live records only) and "deleted N",
      parts separated by tabs; Null is \\N, booleans true/false, dates and
      times in ISO form.
  dbftool.py read-dbf PATH
      the same as python-dbf sees it (it applies Visual FoxPro null flags).
  dbftool.py write PATH JSON
      creates a table with python-dbf from {"type": "db3" | "vfp",
      "codepage": "cp936", "fields": "NAME C(10); ...", "rows": [[...]],
      "delete": [row indexes to mark deleted]}; values "D:2024-05-31" and
      "T:2024-05-31T13:45:10" are dates and date-times, null is Null.
"""
import datetime
import decimal
import json
import sys


def plain(value):
    if value is None:
        return "\\N"
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, datetime.datetime):
        return value.isoformat(sep=" ")
    if isinstance(value, datetime.date):
        return value.isoformat()
    if isinstance(value, decimal.Decimal):
        return str(value)
    if isinstance(value, bytes):
        return value.hex()
    return str(value)


def dump(fields, records, deleted):
    for f in fields:
        print("\t".join(["field"] + [str(p) for p in f]))
    for r in records:
        print("\t".join(["row"] + r))
    print("deleted\t%d" % deleted)


def read(path):
    import dbfread

    table = dbfread.DBF(path, load=True)
    fields = [[f.name, f.type, f.length, f.decimal_count] for f in table.fields]
    records = [[plain(v) for v in r.values()] for r in table.records]
    dump(fields, records, len(table.deleted))


def read_dbf(path):
    import dbf

    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    fields = []
    for name in table.field_names:
        info = table.field_info(name)
        fields.append([name.upper(), chr(info.field_type), info.length, info.decimal])
    records = []
    deleted = 0
    for record in table:
        if dbf.is_deleted(record):
            deleted += 1
            continue
        records.append([plain(None) if v is dbf.Null else plain(v.rstrip() if isinstance(v, str) else v) for v in record])
    table.close()
    dump(fields, records, deleted)


def value_of(v):
    import dbf

    if v is None:
        return dbf.Null
    if isinstance(v, str) and v.startswith("D:"):
        return dbf.Date.strptime(v[2:], "%Y-%m-%d")
    if isinstance(v, str) and v.startswith("T:"):
        return dbf.DateTime.strptime(v[2:], "%Y-%m-%dT%H:%M:%S")
    return v


def write(path, spec):
    import dbf

    spec = json.loads(spec)
    table = dbf.Table(path, spec["fields"], dbf_type=spec["type"], codepage=spec.get("codepage", "cp1252"))
    table.open(dbf.READ_WRITE)
    for row in spec["rows"]:
        table.append(tuple(value_of(v) for v in row))
    for index in spec.get("delete", []):
        dbf.delete(table[index])
    table.close()


if __name__ == "__main__":
    if sys.argv[1] == "read":
        read(sys.argv[2])
    elif sys.argv[1] == "read-dbf":
        read_dbf(sys.argv[2])
    elif sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    else:
        sys.exit("unknown command " + sys.argv[1])
