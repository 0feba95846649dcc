// A native connection to one PostgreSQL database (libpq), shared by the
// PostgreSQL datasets of one thread that reach that database, with the
// write transaction they share.
//
// Parameters (TPgConnectParams): Server = "host", "host:port" or a socket
// folder (a path starting with '/'; "folder:port" picks the socket's
// port), Database, User, Password. They reach libpq as separate keywords
// (PQconnectdbParams), so no value needs quoting, and the password never
// appears in a message: errors name the server, database and user only
// (and any echo of the password by the server is masked).
//
// Every connection sets client_encoding UTF8, DateStyle ISO and the time
// zone UTC, a connect timeout of 10 s and TCP keepalives (a server gone
// without closing the socket is noticed within about a minute instead of
// hanging); a server that stops or a connection that breaks raises an
// EDatabaseError "... the connection to the PostgreSQL server was lost".
//
// Write transactions: a dataset calls BeginWrite before each write (BEGIN
// when none is open) and WriteDone after it; every `postRecords` writes
// the transaction is committed (postRecords <= 0: at CommitPending). A
// single row write runs inside a savepoint (RunRowWrite), so a row the
// server refuses is undone alone and the transaction goes on. When the
// transaction is lost as a whole (connection lost, COMMIT failed), the
// error says how many rows written since the last commit were lost.
//
// Destroying the connection commits nothing: a transaction still open is
// rolled back by the server; the owner calls CommitPending first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "KVCore_export.h"
#include "data/DbConnection.h"

struct pg_conn;
struct pg_result;

namespace kv {

struct TPgConnectParams {
  std::string Server;    // host, host:port, or a socket folder
  std::string Database;
  std::string User;
  std::string Password;  // never shown
};

// A result of libpq, freed when it goes.
struct KVCORE_EXPORT TPgResultDeleter {
  void operator()(pg_result* r) const noexcept;
};
using TPgResult = std::unique_ptr<pg_result, TPgResultDeleter>;

// Parameter values as text (nullopt: NULL).
using TPgParams = std::vector<std::optional<std::string>>;

class KVCORE_EXPORT TPgConnection : public TDbConnection {
public:
  // Connects; EDatabaseError naming the server (never the password) when it cannot.
  explicit TPgConnection(const TPgConnectParams& params);
  // Connects with a libpq connection string ("host=... dbname=..."); the
  // password is `password` when given, else what the string or PGPASSWORD
  // holds.
  static std::unique_ptr<TPgConnection> FromConnInfo(const std::string& conninfo, const std::string& password = "");
  ~TPgConnection() override;

  // "PostgreSQL database D on SERVER as USER".
  std::string Describe() const override;
  void CommitPending() override;

  // ---- Statements (EDatabaseError with the server's message on failure) ----
  // Runs `sql` (no parameters); the result (rows or none).
  TPgResult Exec(const std::string& sql);
  // Runs `sql` with text parameters $1..$n, prepared once per connection
  // and statement text.
  TPgResult ExecPrepared(const std::string& sql, const TPgParams& params);
  // A COPY `copySql` ("COPY ... FROM STDIN") fed row by row in the text
  // format while the server stores the rows already sent. While it is open
  // the connection runs nothing else: the next statement on it (from any
  // dataset) first calls `finish`, which ends the COPY with EndCopy.
  // With `beginTransaction` the write transaction is begun in the same
  // round trip (BeginWrite's rules apply).
  void BeginCopy(const std::string& copySql, std::function<void()> finish, bool beginTransaction = false);
  void PutCopyData(std::string_view rows);
  // Ends the open COPY; the rows stored, or EDatabaseError with the server's
  // message when it refused them (none stored).
  int64_t EndCopy();
  bool CopyOpen() const { return copyOpen_; }
  // Quotes an identifier as SQL text ("name" with inner quotes doubled).
  static std::string QuoteIdent(std::string_view name);

  // ---- Write-transaction bookkeeping of the datasets ----
  void BeginWrite();
  void WriteDone(int32_t postRecords, int64_t rows = 1);
  // Runs `write` inside a savepoint: a refusal undoes that write alone and
  // raises the server's message; a lost connection raises the lost-rows error.
  TPgResult RunRowWrite(const std::string& sql, const TPgParams& params);
  bool InTransaction() const;
  int64_t PendingWrites() const noexcept { return pending_; }
  // Writes that may still go into the open transaction before
  // `postRecords` of them commit it (postRecords > 0).
  int64_t WritesBeforeCommit(int32_t postRecords) const noexcept {
    return pending_ < postRecords ? postRecords - pending_ : 1;
  }
  int64_t Commits() const noexcept { return commits_; }
  // Grows with every write and rollback (cursors position again).
  uint64_t Generation() const noexcept { return generation_; }
  // Whether the connection is still up.
  bool Connected() const;
  // Runs `action` before this connection commits its transaction (the
  // datasets flush their buffered appends); the handler is removed with
  // the returned id.
  int AddBeforeCommit(std::function<void()> action);
  void RemoveBeforeCommit(int id);

private:
  TPgConnection() = default;
  void Connect(const std::vector<std::pair<std::string, std::string>>& keywords);
  void CheckResult(const TPgResult& result, std::string_view what);
  [[noreturn]] void Raise(std::string_view what, std::string message);
  std::string Masked(std::string text) const;
  bool Lost() const;
  [[noreturn]] void RaiseLost(std::string_view reason);

  pg_conn* conn_ = nullptr;
  std::string describe_;
  std::string password_;  // only to mask it in messages
  std::unordered_map<std::string, std::string> prepared_;  // statement text -> name
  int64_t pending_ = 0;
  int64_t commits_ = 0;
  uint64_t generation_ = 0;
  int nextHandler_ = 1;
  std::vector<std::pair<int, std::function<void()>>> beforeCommit_;
  bool committing_ = false;
  bool copyOpen_ = false;
  std::function<void()> finishCopy_;
  void FinishCopy();
};

}  // namespace kv
