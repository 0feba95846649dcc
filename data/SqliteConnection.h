// A connection to one SQLite database file, shared by the SQLite datasets
// of one thread that work on that file, with the write transaction they
// share.
//
// Write transactions: a dataset calls BeginWrite before each write (a
// transaction is begun when none is open) and WriteDone after it; every
// `postRecords` writes the transaction is committed (postRecords <= 0: it
// stays open until CommitPending). A writing dataset commits when it
// closes. A write SQLite refuses (NOT NULL, UNIQUE, CHECK) is undone alone
// and the transaction goes on; but when SQLite ends the whole transaction
// (a table declared ON CONFLICT ROLLBACK, a full disk, an I/O error) the
// writes since the last commit are gone, and WriteFailed, BeginWrite and
// CommitPending say so with an EDatabaseError "... rows written since the
// last commit were lost" instead of letting them pass for written. A COMMIT
// that fails is rolled back and reported the same way, never as success.
//
// Destroying the connection closes the file; a transaction still open is
// rolled back (what was committed before stays), so the owner calls
// CommitPending first when the writes are to be kept.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/DbConnection.h"
#include "data/SqliteCheckpointer.h"
#include "data/SqliteDatabase.h"

namespace kv {

class KVCORE_EXPORT TSqliteConnection : public TDbConnection {
public:
  // Opens the file (see TSqliteDatabase for the modes and their errors).
  explicit TSqliteConnection(const std::string& path, TSqliteOpenMode mode = TSqliteOpenMode::CreateIfMissing);
  ~TSqliteConnection() override;

  TSqliteDatabase& Database() { return db_; }
  const TSqliteDatabase& Database() const { return db_; }
  // The file path.
  std::string Describe() const override;
  // Commits the open write transaction, if any (see above for failures).
  void CommitPending() override;

  // ---- Write-transaction bookkeeping of the datasets ----
  // Before a write: begins the transaction when none is open.
  void BeginWrite();
  // After a write that succeeded: counts it and commits once `postRecords`
  // writes are pending (postRecords <= 0: never here).
  void WriteDone(int32_t postRecords, int64_t writes = 1);
  // Writes that may still go into the open transaction before
  // `postRecords` of them commit it (no limit when postRecords <= 0).
  int64_t WritesBeforeCommit(int32_t postRecords) const noexcept {
    return postRecords > 0 ? std::max<int64_t>(1, postRecords - pending_) : INT64_MAX;
  }
  // After a write that raised `error`: when SQLite ended the transaction,
  // raises the lost-rows error (naming `error`); otherwise returns, and the
  // caller raises `error` itself (the write failed alone).
  void WriteFailed(const Exception& error);
  // Writes made since the last commit.
  int64_t PendingWrites() const noexcept { return pending_; }
  // Transactions committed by this connection's bookkeeping.
  int64_t Commits() const noexcept { return commits_; }
  // Grows with every write and every rollback: a dataset whose
  // open cursor was positioned at an older generation positions it again
  // before reading on (what it was reading may have changed).
  uint64_t Generation() const noexcept { return generation_; }
  // Runs the checkpoints of a writable database in WAL mode off the
  // committing thread (see TSqliteCheckpointer); null otherwise.
  const TSqliteCheckpointer* Checkpointer() const noexcept { return checkpointer_.get(); }

private:
  [[noreturn]] void RaiseLost(std::string_view what, std::string_view reason);

  TSqliteDatabase db_;
  std::unique_ptr<TSqliteCheckpointer> checkpointer_;  // goes before db_
  std::unique_ptr<TSqliteStatement> begin_, commit_;  // prepared on first use
  int64_t pending_ = 0;
  int64_t commits_ = 0;
  uint64_t generation_ = 0;
};

}  // namespace kv
