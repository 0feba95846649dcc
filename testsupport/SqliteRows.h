// The rows a query returns from a SQLite file, as text, for tests that check
// what a job wrote. Header-only: it needs KVCore (the SQLite connection),
// which only the tests that include it link.
#pragma once

#include <string>
#include <vector>

#include "data/SqliteDatabase.h"
#include "data/Variant.h"

namespace kvtest {

// Runs `sql` on the SQLite file `path` through a connection of its own and
// returns one string a row, the fields joined by '|' (NULL as "null").
inline std::vector<std::string> SqliteRows(const std::string& path, const std::string& sql) {
  kv::TSqliteDatabase db(path);
  auto st = db.Prepare(sql);
  std::vector<std::string> rows;
  while (st->Step()) {
    std::string row;
    for (int i = 0; i < st->ColumnCount(); ++i) {
      const kv::TVariant v = st->Column(i);
      row += (i ? "|" : "") + (v.IsNull() ? std::string("null") : v.AsString());
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace kvtest
