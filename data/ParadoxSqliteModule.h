// Paradox tables seen by SQLite: a virtual-table module ("paradox") over
// the Paradox reader, so that SQL statements run over the tables of a
// folder. The tables are read-only to SQLite (an INSERT, UPDATE or DELETE
// on one is refused by SQLite); every statement reads the file afresh;
// SQLite filters, joins and sorts (no index is offered).
//
// Column types declared to SQLite (what a query's result fields become):
// Alpha, memo and formatted memo TEXT; Short, Long and autoincrement
// INTEGER; Number, currency and BCD REAL; Logical BOOLEAN (0/1); Date DATE
// ("yyyy-mm-dd"); Time TIME ("hh:nn:ss[.zzz]"); Timestamp DATETIME
// ("yyyy-mm-dd hh:nn:ss[.zzz]"); BLOB, OLE, graphic and Bytes BLOB. A value
// the reader cannot read fails the statement with the reader's message.
#pragma once

#include <string>

#include "KVCore_export.h"
#include "data/SqliteDatabase.h"

namespace kv {

// Registers the module on `db` (once per database connection).
KVCORE_EXPORT void RegisterParadoxModule(TSqliteDatabase& db);
// Makes the table file `path` the virtual table `name` (in schema temp) of
// `db`, whose module is registered. EDatabaseError when the file does not
// open as a Paradox table.
KVCORE_EXPORT void AttachParadoxTable(TSqliteDatabase& db, const std::string& name, const std::string& path);

}  // namespace kv
