#include "data/SqliteDatabase.h"

#include "data/SqliteLogWrites.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>

namespace kv {

namespace {

// SQLite counts every allocation it makes under one process-wide mutex,
// for statistics nothing here reads (sqlite3_memory_used, soft heap
// limits): a tenth of the time of an update-heavy run. Switched off when
// the library loads, before any thread of ours uses SQLite; when something
// has initialised SQLite already the call is refused and changes nothing.
const int g_noMemoryStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string Str(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace

const char* SqliteStorageName(TSqliteStorage storage) {
  switch (storage) {
    case TSqliteStorage::Null: return "NULL";
    case TSqliteStorage::Integer: return "INTEGER";
    case TSqliteStorage::Real: return "REAL";
    case TSqliteStorage::Text: return "TEXT";
    case TSqliteStorage::Blob: return "BLOB";
  }
  return "?";
}

std::string SqliteQuoteIdentifier(std::string_view name) {
  std::string r;
  r.reserve(name.size() + 2);
  r += '"';
  for (char c : name) {
    if (c == '"') r += '"';
    r += c;
  }
  r += '"';
  return r;
}

// ---- TSqliteDatabase -----------------------------------------------------------

TSqliteDatabase::TSqliteDatabase(std::string path, TSqliteOpenMode mode, int busyTimeoutMs)
    : path_(std::move(path)), mode_(mode), busyTimeoutMs_(std::max(0, busyTimeoutMs)) {
  if (path_.empty()) throw EDatabaseError("No database file given");
  if (path_.find('\0') != std::string::npos) Raise("cannot open", "the name holds a NUL character");
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) Raise("cannot open", "is a folder, not a database file");
  } else if (errno == ENOENT) {
    if (mode_ != TSqliteOpenMode::CreateIfMissing) Raise("cannot open", "no such database file");
  }

  int flags = 0;
  switch (mode_) {
    case TSqliteOpenMode::CreateIfMissing: flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
    case TSqliteOpenMode::ExistingOnly: flags = SQLITE_OPEN_READWRITE; break;
    case TSqliteOpenMode::ReadOnly: flags = SQLITE_OPEN_READONLY; break;
  }
  // One thread at a time uses a connection (see the header): no mutex of SQLite's own.
  flags |= SQLITE_OPEN_NOMUTEX;
  // Writes of the write-ahead log go to the system once per commit (see SqliteLogWrites.h).
  const int rc = sqlite3_open_v2(path_.c_str(), &db_, flags, SqliteLogWritesVfs());
  if (rc != SQLITE_OK) {
    const std::string reason = db_ ? Str(sqlite3_errmsg(db_)) : Str(sqlite3_errstr(rc));
    sqlite3_close_v2(db_);
    db_ = nullptr;
    Raise("cannot open", reason);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_handler(db_, &TSqliteDatabase::BusyHandler, this);
  // Reading the schema tells a file that is not a database at once.
  const char* setup = mode_ == TSqliteOpenMode::ReadOnly
                          ? "SELECT count(*) FROM sqlite_schema"
                          : "SELECT count(*) FROM sqlite_schema; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                            "PRAGMA wal_autocheckpoint=8192";
  char* error = nullptr;
  if (sqlite3_exec(db_, setup, nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string reason = error ? Str(error) : Str(sqlite3_errmsg(db_));
    sqlite3_free(error);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    Raise("cannot open", reason);
  }
}

TSqliteDatabase::~TSqliteDatabase() {
  // A transaction still open is rolled back by closing.
  sqlite3_close_v2(db_);
}

int TSqliteDatabase::BusyHandler(void* self, int count) {
  static constexpr int kDelaysMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
  auto* db = static_cast<TSqliteDatabase*>(self);
  const int64_t now = NowMs();
  if (count == 0) db->busyStartMs_ = now;
  const int64_t left = db->busyTimeoutMs_ - (now - db->busyStartMs_);
  if (left <= 0) return 0;  // give up: the call fails with "database is locked"
  constexpr int kSteps = static_cast<int>(sizeof kDelaysMs / sizeof kDelaysMs[0]);
  const int64_t delay = std::min<int64_t>(kDelaysMs[std::min(count, kSteps - 1)], left);
  db->busyWaits_.fetch_add(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  return 1;
}

void TSqliteDatabase::Raise(std::string_view what) const {
  Raise(what, db_ ? Str(sqlite3_errmsg(db_)) : std::string("not open"));
}

void TSqliteDatabase::Raise(std::string_view what, std::string_view reason) const {
  std::string m = path_;
  m += ": ";
  m += what;
  m += ": ";
  m += reason;
  throw EDatabaseError(std::move(m));
}

void TSqliteDatabase::CheckSqlText(std::string_view sql, std::string_view what) const {
  // SQLite would stop at a NUL and silently drop the rest of the text.
  if (sql.find('\0') != std::string_view::npos)
    Raise(what, "the text holds a NUL character");
  if (sql.size() > static_cast<size_t>(std::numeric_limits<int>::max())) Raise(what, "the text is longer than 2 GiB");
}

std::unique_ptr<TSqliteStatement> TSqliteDatabase::Prepare(std::string_view sql) const {
  CheckSqlText(sql, "cannot prepare the statement");
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    Raise("cannot prepare the statement");
  }
  if (!stmt) Raise("cannot prepare the statement", "the text holds no statement");
  std::unique_ptr<TSqliteStatement> result(new TSqliteStatement(*this, stmt));
  // Whatever follows the statement must be blanks, comments or semicolons.
  const size_t used = static_cast<size_t>(tail - sql.data());
  if (used < sql.size()) {
    sqlite3_stmt* next = nullptr;
    const std::string_view rest = sql.substr(used);
    const int rc = sqlite3_prepare_v2(db_, rest.data(), static_cast<int>(rest.size()), &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next) Raise("cannot prepare the statement", "the text holds more than one statement");
  }
  return result;
}

void TSqliteDatabase::Exec(std::string_view sql) {
  CheckSqlText(sql, "cannot run the statement");
  const std::string text(sql);
  char* error = nullptr;
  if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string reason = error ? Str(error) : Str(sqlite3_errmsg(db_));
    sqlite3_free(error);
    Raise("cannot run the statement", reason);
  }
}

int64_t TSqliteDatabase::Changes() const noexcept { return sqlite3_changes64(db_); }
int64_t TSqliteDatabase::LastInsertRowId() const noexcept { return sqlite3_last_insert_rowid(db_); }

void TSqliteDatabase::Begin() {
  if (InTransaction()) Raise("cannot begin a transaction", "a transaction is already open");
  Exec("BEGIN IMMEDIATE");
}

void TSqliteDatabase::Commit() {
  if (!InTransaction()) Raise("cannot commit", "no transaction is open");
  Exec("COMMIT");
}

void TSqliteDatabase::Rollback() {
  if (!InTransaction()) Raise("cannot roll back", "no transaction is open");
  Exec("ROLLBACK");
}

bool TSqliteDatabase::InTransaction() const noexcept { return sqlite3_get_autocommit(db_) == 0; }

void TSqliteDatabase::Savepoint(std::string_view name) { Exec("SAVEPOINT " + SqliteQuoteIdentifier(name)); }
void TSqliteDatabase::Release(std::string_view name) { Exec("RELEASE " + SqliteQuoteIdentifier(name)); }
void TSqliteDatabase::RollbackTo(std::string_view name) { Exec("ROLLBACK TO " + SqliteQuoteIdentifier(name)); }

bool TSqliteDatabase::TableExists(std::string_view table) const {
  auto q = Prepare("SELECT 1 FROM sqlite_schema WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE");
  q->Bind(1, TVariant(table));
  return q->Step();
}

std::vector<TSqliteColumnInfo> TSqliteDatabase::TableColumns(std::string_view table) const {
  if (!TableExists(table)) Raise("cannot read the columns", "no such table: " + std::string(table));
  // The table-valued form of the pragma takes the name as a bound value.
  auto q = Prepare("SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info(?1) ORDER BY cid");
  q->Bind(1, TVariant(table));
  std::vector<TSqliteColumnInfo> columns;
  while (q->Step()) {
    TSqliteColumnInfo c;
    c.Name = q->Column(0).AsString();
    c.DeclaredType = q->Column(1).AsString();
    c.NotNull = q->Column(2).AsInteger() != 0;
    c.DefaultValue = q->Column(3).AsString();
    c.PrimaryKey = static_cast<int>(q->Column(4).AsInteger());
    columns.push_back(std::move(c));
  }
  return columns;
}

std::vector<TSqliteIndexInfo> TSqliteDatabase::TableIndexes(std::string_view table) const {
  if (!TableExists(table)) Raise("cannot read the indexes", "no such table: " + std::string(table));
  auto list = Prepare("SELECT name, \"unique\", origin FROM pragma_index_list(?1) ORDER BY seq");
  list->Bind(1, TVariant(table));
  std::vector<TSqliteIndexInfo> indexes;
  while (list->Step()) {
    TSqliteIndexInfo x;
    x.Name = list->Column(0).AsString();
    x.Unique = list->Column(1).AsInteger() != 0;
    x.Origin = list->Column(2).AsString();
    indexes.push_back(std::move(x));
  }
  auto info = Prepare("SELECT name FROM pragma_index_info(?1) ORDER BY seqno");
  for (TSqliteIndexInfo& x : indexes) {
    info->Bind(1, TVariant(x.Name));
    while (info->Step()) x.Columns.push_back(info->Column(0).AsString());
    info->Reset();
  }
  return indexes;
}

// ---- TSqliteStatement ----------------------------------------------------------

TSqliteStatement::~TSqliteStatement() { sqlite3_finalize(stmt_); }

int TSqliteStatement::ParameterCount() const noexcept { return sqlite3_bind_parameter_count(stmt_); }

void TSqliteStatement::CheckBind(int rc, int position) {
  if (rc == SQLITE_RANGE)
    db_.Raise("cannot bind parameter " + std::to_string(position),
              "the statement has " + std::to_string(ParameterCount()) + " parameters");
  if (rc != SQLITE_OK) db_.Raise("cannot bind parameter " + std::to_string(position));
}

void TSqliteStatement::Bind(int position, const TVariant& value) {
  int rc = SQLITE_OK;
  switch (value.Type()) {
    case varEmpty:
    case varNull: rc = sqlite3_bind_null(stmt_, position); break;
    case varInteger: rc = sqlite3_bind_int64(stmt_, position, value.RawInteger()); break;
    case varFloat: rc = sqlite3_bind_double(stmt_, position, value.RawFloat()); break;
    case varBoolean: rc = sqlite3_bind_int64(stmt_, position, value.RawBoolean() ? 1 : 0); break;
    case varString: {
      const std::string& s = value.RawString();
      rc = sqlite3_bind_text64(stmt_, position, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    }
    case varDateTime: {
      const std::string s = value.AsString();
      rc = sqlite3_bind_text64(stmt_, position, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      break;
    }
    case varArray:
      db_.Raise("cannot bind parameter " + std::to_string(position), "an array is not a database value");
  }
  CheckBind(rc, position);
}

void TSqliteStatement::BindBlob(int position, std::string_view bytes) {
  // A zero-length blob is still a blob, not a NULL: sqlite3_bind_zeroblob keeps it so.
  const int rc = bytes.empty() ? sqlite3_bind_zeroblob(stmt_, position, 0)
                               : sqlite3_bind_blob64(stmt_, position, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
  CheckBind(rc, position);
}

void TSqliteStatement::BindAll(const std::vector<TVariant>& values) {
  for (size_t i = 0; i < values.size(); ++i) Bind(static_cast<int>(i + 1), values[i]);
}

void TSqliteStatement::ClearBindings() noexcept { sqlite3_clear_bindings(stmt_); }

bool TSqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  // The message must be read before the reset, which may replace it.
  const std::string reason = Str(sqlite3_errmsg(db_.Handle()));
  sqlite3_reset(stmt_);
  db_.Raise("cannot run the statement", reason);
}

void TSqliteStatement::Reset() noexcept { sqlite3_reset(stmt_); }

int64_t TSqliteStatement::Execute() {
  while (Step()) {
  }
  Reset();
  return sqlite3_changes64(db_.Handle());
}

bool TSqliteStatement::IsReadOnly() const noexcept { return sqlite3_stmt_readonly(stmt_) != 0; }

int TSqliteStatement::ColumnCount() const noexcept { return sqlite3_column_count(stmt_); }

void TSqliteStatement::CheckColumn(int column) const {
  if (column < 0 || column >= ColumnCount())
    db_.Raise("cannot read column " + std::to_string(column),
              "the statement has " + std::to_string(ColumnCount()) + " columns");
}

std::string TSqliteStatement::ColumnName(int column) const {
  CheckColumn(column);
  return Str(sqlite3_column_name(stmt_, column));
}

std::string TSqliteStatement::DeclaredType(int column) const {
  CheckColumn(column);
  return Str(sqlite3_column_decltype(stmt_, column));
}

TSqliteStorage TSqliteStatement::ColumnStorage(int column) const {
  CheckColumn(column);
  switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_INTEGER: return TSqliteStorage::Integer;
    case SQLITE_FLOAT: return TSqliteStorage::Real;
    case SQLITE_TEXT: return TSqliteStorage::Text;
    case SQLITE_BLOB: return TSqliteStorage::Blob;
    default: return TSqliteStorage::Null;
  }
}

TVariant TSqliteStatement::Column(int column) const {
  switch (ColumnStorage(column)) {
    case TSqliteStorage::Null: return TVariant::Null();
    case TSqliteStorage::Integer: return TVariant(static_cast<int64_t>(sqlite3_column_int64(stmt_, column)));
    case TSqliteStorage::Real: return TVariant(sqlite3_column_double(stmt_, column));
    case TSqliteStorage::Text: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
      const int n = sqlite3_column_bytes(stmt_, column);
      return TVariant(std::string(p ? p : "", p ? static_cast<size_t>(n) : 0));
    }
    case TSqliteStorage::Blob: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
      const int n = sqlite3_column_bytes(stmt_, column);
      return TVariant(std::string(p ? p : "", p ? static_cast<size_t>(n) : 0));
    }
  }
  return TVariant::Null();
}

std::string TSqliteStatement::Sql() const { return Str(sqlite3_sql(stmt_)); }

// ---- TSqliteSavepoint ----------------------------------------------------------

TSqliteSavepoint::TSqliteSavepoint(TSqliteDatabase& db, std::string name) : db_(db), name_(std::move(name)) {
  db_.Savepoint(name_);
}

TSqliteSavepoint::~TSqliteSavepoint() {
  if (done_) return;
  try {
    db_.RollbackTo(name_);
    db_.Release(name_);
  } catch (const Exception&) {
    // Nothing more can be done here: the surrounding transaction is left as SQLite left it.
  }
}

void TSqliteSavepoint::Release() {
  db_.Release(name_);
  done_ = true;
}

}  // namespace kv
