// dBase tables seen by SQLite: a virtual-table module ("dbf") over the
// dBase reader, so that SQL statements run over the tables of a folder.
// The tables are read-only to SQLite (an INSERT, UPDATE or DELETE on one is
// refused by SQLite); every statement reads the file afresh, deleted
// records left out; SQLite filters, joins and sorts (no index is offered).
//
// Column types declared to SQLite (what a query's result fields become):
// C and M TEXT, N and F without decimals INTEGER, with decimals REAL, L
// BOOLEAN (0/1), D DATE ("yyyy-mm-dd"), T DATETIME ("yyyy-mm-dd
// hh:nn:ss[.zzz]"), I INTEGER, B REAL, Y REAL. A value the reader cannot
// read fails the statement with the reader's message.
#pragma once

#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/SqliteDatabase.h"

namespace kv {

// Registers the module on `db` (once per database connection).
KVCORE_EXPORT void RegisterDbfModule(TSqliteDatabase& db);
// Makes the table file `path` the virtual table `name` (in schema temp) of
// `db`, whose module is registered. EDatabaseError when the file does not
// open as a dBase table.
KVCORE_EXPORT void AttachDbfTable(TSqliteDatabase& db, const std::string& name, const std::string& path);

}  // namespace kv
