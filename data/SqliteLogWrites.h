// The write-ahead log's writes of one commit in one system call.
//
// SQLite appends a commit to the log as one write per frame header and one
// per page: a commit of a hundred rows makes ten or more writes. The file
// system layer registered here (over the default one, which does all the
// rest) gathers the appends of a commit in memory and hands them to the
// system in one write once the commit frame's page has been given, before
// SQLite publishes the commit to other connections, and reports that
// write's failure as the commit's. Anything else on the log (a read, a
// write elsewhere, a sync, its size, a truncation, closing it) first writes
// what is gathered, so no connection ever sees a log without it.
//
// A gathered append that cannot be written is dropped with the failed
// commit, as SQLite drops a commit whose write failed. Only the log is
// gathered; the database file and its other files go straight through.
//
// The log's layout (a 32-byte header, then frames of a 24-byte header and
// a page, bytes 4-7 of a commit frame's header holding the database size)
// is SQLite's documented file format. A write that does not follow it
// (another SQLite may write otherwise) goes straight through after what is
// gathered.
#pragma once

#include "KVCore_export.h"

namespace kv {

// The layer's name for sqlite3_open_v2, registered on the first call (never
// as the default); null when SQLite has no default layer to build on.
KVCORE_EXPORT const char* SqliteLogWritesVfs();

}  // namespace kv
