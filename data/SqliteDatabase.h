// One SQLite database file, over the sqlite3 C library: the ground the
// SQLite dataset kinds stand on. A TSqliteDatabase owns its connection
// (sqlite3*), a TSqliteStatement owns its prepared statement (sqlite3_stmt*);
// both close what they own when they go. A statement must go before the
// database that prepared it.
//
// Opening (TSqliteOpenMode):
//   - CreateIfMissing makes an empty database file when there is none;
//     ExistingOnly and ReadOnly refuse a missing file; ReadOnly never writes.
//   - A writable database runs in WAL mode with synchronous=NORMAL: a power
//     cut or a crash can lose the last commits, but never corrupts the file;
//     what was committed before them stays.
//     The WAL is copied back into the database every 8192 pages (32 MB of
//     4 KB pages) rather than SQLite's 1000: a bulk load committing often
//     copies each page once instead of many times; the file stays as safe.
//   - Another connection's lock (a reader and a writer of one file, or two
//     writers) is waited for, up to the busy timeout, instead of failing at
//     once; only when the timeout runs out does the call fail ("database is
//     locked"). Begin takes the write lock at once (BEGIN IMMEDIATE), so a
//     transaction never fails half-way because another writer came first.
//
// Values: a column value is a TVariant of its storage class: NULL stays
// null, INTEGER is a 64-bit integer, REAL a double, TEXT a string; a BLOB is
// a string holding its bytes as they are (ColumnStorage tells it from a
// TEXT). A bound TVariant is stored the same way back; a boolean as 1 or 0,
// a date-time as its ISO text ("2024-05-31 13:45:10"), which SQLite's date
// functions read; an empty (unassigned) value as NULL; an array is refused.
// BindBlob stores bytes as a BLOB.
//
// Errors: every failure raises EDatabaseError "<file>: <what failed>:
// <SQLite's message>" (a corrupt file: "file is not a database"). Messages
// never carry bound values, so nothing secret can leak through them.
//
// Threads: a database and its statements are used by one thread at a time;
// threads that work on one file at once each open their own TSqliteDatabase.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"
#include "data/DatabaseError.h"
#include "data/Variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kv {

enum class TSqliteOpenMode : uint8_t {
  CreateIfMissing,  // read and write; an empty database is made when the file is missing
  ExistingOnly,     // read and write; a missing file is an error
  ReadOnly,         // read only; a missing file is an error
};

// The storage class of one value.
enum class TSqliteStorage : uint8_t { Null, Integer, Real, Text, Blob };
KVCORE_EXPORT const char* SqliteStorageName(TSqliteStorage storage);

// A column of a table, as the table's definition declares it.
struct TSqliteColumnInfo {
  std::string Name;
  std::string DeclaredType;  // as written in CREATE TABLE ("VARCHAR(20)"); "" when none
  bool NotNull = false;
  int PrimaryKey = 0;        // place in the primary key, from 1; 0 when not part of it
  std::string DefaultValue;  // the default's SQL text; "" when none
};

// An index of a table (those SQLite makes for UNIQUE and PRIMARY KEY too).
struct TSqliteIndexInfo {
  std::string Name;
  bool Unique = false;
  std::string Origin;                // "c" CREATE INDEX, "u" UNIQUE, "pk" PRIMARY KEY
  std::vector<std::string> Columns;  // in key order; "" for an expression
};

// An identifier as SQL text: between double quotes, each '"' doubled
// (my "t" -> "my ""t"""). Safe for any table, column or index name.
KVCORE_EXPORT std::string SqliteQuoteIdentifier(std::string_view name);

class TSqliteDatabase;

// A prepared statement. Made by TSqliteDatabase::Prepare; keeps a reference
// to its database, which must outlive it.
class KVCORE_EXPORT TSqliteStatement {
public:
  ~TSqliteStatement();
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  // ---- Parameters: positions from 1 ----
  int ParameterCount() const noexcept;
  void Bind(int position, const TVariant& value);
  void BindBlob(int position, std::string_view bytes);
  // Binds values[0] to position 1 and so on.
  void BindAll(const std::vector<TVariant>& values);
  void ClearBindings() noexcept;

  // ---- Running ----
  // Runs to the next row: true when a row is ready, false when the
  // statement is done. A refused row (constraint, lock timeout) raises.
  bool Step();
  // Makes the statement ready to run again; bindings stay.
  void Reset() noexcept;
  // Runs a statement that returns no rows (or whose rows are not wanted) and
  // resets it; returns the rows it changed.
  int64_t Execute();
  // Whether the statement leaves the database as it is (SELECT, most PRAGMAs).
  bool IsReadOnly() const noexcept;

  // ---- Result columns: positions from 0 ----
  int ColumnCount() const noexcept;
  std::string ColumnName(int column) const;
  // The declared type of the table column a result column comes from
  // ("INTEGER", "VARCHAR(20)"); "" for an expression or an undeclared column.
  std::string DeclaredType(int column) const;
  // The storage class and value of a column of the current row.
  TSqliteStorage ColumnStorage(int column) const;
  TVariant Column(int column) const;

  // The SQL text as prepared.
  std::string Sql() const;
  // The prepared statement, still owned by this object (for engines that
  // bind and read columns on their hot path without going through TVariant).
  sqlite3_stmt* Handle() const noexcept { return stmt_; }

private:
  friend class TSqliteDatabase;
  TSqliteStatement(const TSqliteDatabase& db, sqlite3_stmt* stmt) noexcept : db_(db), stmt_(stmt) {}
  void CheckColumn(int column) const;
  void CheckBind(int rc, int position);

  const TSqliteDatabase& db_;
  sqlite3_stmt* stmt_;  // owned
};

class KVCORE_EXPORT TSqliteDatabase {
public:
  // How long a call waits for another connection's lock before it fails.
  static constexpr int kDefaultBusyTimeoutMs = 30000;

  // Opens `path` (see TSqliteOpenMode). Raises EDatabaseError when the file
  // is missing (unless created), a folder, not a database, or cannot be opened.
  explicit TSqliteDatabase(std::string path, TSqliteOpenMode mode = TSqliteOpenMode::CreateIfMissing,
                           int busyTimeoutMs = kDefaultBusyTimeoutMs);
  // Closes the connection; an open transaction is rolled back.
  ~TSqliteDatabase();
  TSqliteDatabase(const TSqliteDatabase&) = delete;
  TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

  const std::string& Path() const noexcept { return path_; }
  bool IsReadOnly() const noexcept { return mode_ == TSqliteOpenMode::ReadOnly; }
  // The connection, still owned by this object.
  sqlite3* Handle() const noexcept { return db_; }

  // Prepares one statement; SQL holding no statement, or more than one, or
  // a NUL character, is refused.
  std::unique_ptr<TSqliteStatement> Prepare(std::string_view sql) const;
  // Runs SQL text of one or more statements whose rows are not wanted.
  void Exec(std::string_view sql);

  // Rows changed by the last INSERT, UPDATE or DELETE; the last rowid inserted.
  int64_t Changes() const noexcept;
  int64_t LastInsertRowId() const noexcept;

  // ---- Transactions ----
  // Begin takes the write lock (waiting for it up to the busy timeout).
  void Begin();
  void Commit();
  void Rollback();
  bool InTransaction() const noexcept;
  // Savepoints nest inside a transaction (or start one). RollbackTo undoes
  // what was done since the savepoint and leaves it standing; Release
  // keeps the work and ends it.
  void Savepoint(std::string_view name);
  void Release(std::string_view name);
  void RollbackTo(std::string_view name);

  // ---- Tables ----
  // Whether a table (or view) of that name exists (names compare as SQLite
  // compares them: ASCII letters in any case).
  bool TableExists(std::string_view table) const;
  // The columns in table order; EDatabaseError when there is no such table.
  std::vector<TSqliteColumnInfo> TableColumns(std::string_view table) const;
  // The indexes in SQLite's order; EDatabaseError when there is no such table.
  std::vector<TSqliteIndexInfo> TableIndexes(std::string_view table) const;

  // How many times this connection has waited for another one's lock.
  int64_t BusyWaits() const noexcept { return busyWaits_.load(); }

  // Raises EDatabaseError "<file>: <what>: <SQLite's last message>".
  [[noreturn]] void Raise(std::string_view what) const;
  [[noreturn]] void Raise(std::string_view what, std::string_view reason) const;

private:
  static int BusyHandler(void* self, int count);
  void CheckSqlText(std::string_view sql, std::string_view what) const;

  std::string path_;
  TSqliteOpenMode mode_;
  int busyTimeoutMs_;
  sqlite3* db_ = nullptr;  // owned
  std::atomic<int64_t> busyWaits_{0};
  int64_t busyStartMs_ = 0;
};

// Runs a block of work inside a savepoint: what it did is kept by Release
// and undone when the guard goes without it (a refused row fails alone; the
// surrounding transaction goes on).
class KVCORE_EXPORT TSqliteSavepoint {
public:
  TSqliteSavepoint(TSqliteDatabase& db, std::string name);
  ~TSqliteSavepoint();
  TSqliteSavepoint(const TSqliteSavepoint&) = delete;
  TSqliteSavepoint& operator=(const TSqliteSavepoint&) = delete;
  void Release();

private:
  TSqliteDatabase& db_;
  std::string name_;
  bool done_ = false;
};

}  // namespace kv
