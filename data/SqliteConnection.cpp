#include "data/SqliteConnection.h"

namespace kv {

namespace {
// WAL pages between two checkpoints (32 MiB of 4 KiB pages). A checkpoint
// syncs the file to disk; at SQLite's default (1000 pages) a run committing
// every 100 rows spends most of its time waiting for those syncs. They run
// on the checkpointer's thread.
constexpr int kWalCheckpointPages = 8192;
}  // namespace

TSqliteConnection::TSqliteConnection(const std::string& path, TSqliteOpenMode mode) : db_(path, mode) {
  if (db_.IsReadOnly()) return;
  db_.Exec("PRAGMA wal_autocheckpoint=" + std::to_string(kWalCheckpointPages));
  checkpointer_ = std::make_unique<TSqliteCheckpointer>(db_.Handle(), db_.Path(), kWalCheckpointPages);
  if (!checkpointer_->Install()) checkpointer_.reset();
}

TSqliteConnection::~TSqliteConnection() {
  // The statements go before the database that prepared them.
  begin_.reset();
  commit_.reset();
  // Its connection closes first, so that the writer's close is the last
  // one and copies what is left of the log into the file.
  checkpointer_.reset();
}

std::string TSqliteConnection::Describe() const { return db_.Path(); }

void TSqliteConnection::RaiseLost(std::string_view what, std::string_view reason) {
  const int64_t lost = pending_;
  pending_ = 0;
  ++generation_;
  std::string m(what);
  m += ": the transaction was rolled back; the ";
  m += std::to_string(lost);
  m += lost == 1 ? " row written since the last commit was lost" : " rows written since the last commit were lost";
  if (!reason.empty()) {
    m += " (";
    m += reason;
    m += ")";
  }
  throw EDatabaseError(std::move(m));
}

void TSqliteConnection::BeginWrite() {
  if (db_.InTransaction()) return;
  // Writes counted as pending without a transaction: SQLite ended it behind our back.
  if (pending_ > 0) RaiseLost(db_.Path() + ": cannot write", "");
  // Prepared once: a run committing every 100 rows begins and commits 10,000 times per million rows.
  if (!begin_) begin_ = db_.Prepare("BEGIN IMMEDIATE");
  begin_->Execute();
}

void TSqliteConnection::WriteDone(int32_t postRecords, int64_t writes) {
  pending_ += writes;
  ++generation_;
  if (postRecords > 0 && pending_ >= postRecords) CommitPending();
}

void TSqliteConnection::WriteFailed(const Exception& error) {
  ++generation_;
  if (!db_.InTransaction() && pending_ > 0) RaiseLost(error.Message(), "");
}

void TSqliteConnection::CommitPending() {
  if (!db_.InTransaction()) {
    if (pending_ > 0) RaiseLost(db_.Path() + ": cannot commit", "");
    return;
  }
  try {
    if (!commit_) commit_ = db_.Prepare("COMMIT");
    commit_->Execute();
  } catch (const Exception& e) {
    // A COMMIT that fails leaves nothing half-done: what it could not keep is undone and reported.
    if (db_.InTransaction()) {
      try {
        db_.Rollback();
      } catch (const Exception&) {
        // Closing the connection rolls back in any case.
      }
    }
    RaiseLost(e.Message(), "");
  }
  pending_ = 0;
  ++commits_;
}

}  // namespace kv
