#include "data/SqliteCheckpointer.h"

#include <sqlite3.h>

#include <cstring>

namespace kv {

namespace {

bool InWalMode(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr) != SQLITE_OK) return false;
  bool wal = false;
  if (sqlite3_step(st) == SQLITE_ROW) {
    const auto* mode = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    wal = mode && std::strcmp(mode, "wal") == 0;
  }
  sqlite3_finalize(st);
  return wal;
}

// The thread's own connection, or null when the file cannot be opened again
// (the writer then copies the whole log itself, as SQLite would).
sqlite3* OpenOwnConnection(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  // A connection opens the log only when it first reads; a checkpoint
  // before that would copy nothing.
  if (sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

}  // namespace

TSqliteCheckpointer::TSqliteCheckpointer(sqlite3* writer, std::string path, int thresholdPages)
    : writer_(writer), path_(std::move(path)), threshold_(thresholdPages > 0 ? thresholdPages : 1) {}

TSqliteCheckpointer::~TSqliteCheckpointer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (installed_) sqlite3_wal_autocheckpoint(writer_, threshold_);
}

bool TSqliteCheckpointer::Install() {
  if (installed_) return true;
  if (!InWalMode(writer_)) return false;
  // The file the writer opened, by its full name: the thread opens it
  // later, whatever the working folder has become by then.
  const char* file = sqlite3_db_filename(writer_, "main");
  if (!file || !*file) return false;
  path_ = file;
  sqlite3_wal_hook(writer_, &TSqliteCheckpointer::WalHook, this);
  installed_ = true;
  return true;
}

int64_t TSqliteCheckpointer::Passes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return passes_;
}

int64_t TSqliteCheckpointer::PagesCopied() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pagesCopied_;
}

int TSqliteCheckpointer::WalHook(void* self, sqlite3* db, const char* schema, int pages) {
  auto* me = static_cast<TSqliteCheckpointer*>(self);
  if (schema && std::strcmp(schema, "main") != 0) {
    // An attached database: checkpointed in place, as SQLite would.
    if (pages >= me->threshold_) sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
  }
  me->Committed(pages);
  return SQLITE_OK;
}

void TSqliteCheckpointer::Committed(int pages) {
  if (pages < threshold_) {
    if (requested_) {
      // The log started again without a catch-up (a pass copied it all
      // between two transactions): the next pass starts afresh.
      std::lock_guard<std::mutex> lock(mutex_);
      if (!pending_ && !running_) requested_ = false;
    }
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (pending_ || running_) {
    if (pages < 4 * threshold_) return;
    done_.wait(lock, [this] { return !pending_ && !running_; });
  } else if (!requested_ || pages - copied_ > threshold_ / 8) {
    // Another pass while what the last one left is large: each copies what
    // was appended during the one before, so the writer's part shrinks.
    pending_ = true;
    requested_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    lock.unlock();
    wake_.notify_one();
    return;
  }
  lock.unlock();
  CatchUp();
}

void TSqliteCheckpointer::CatchUp() {
  requested_ = false;
  ++catchUps_;
  sqlite3_wal_checkpoint_v2(writer_, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

void TSqliteCheckpointer::Run() {
  sqlite3* db = OpenOwnConnection(path_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return pending_ || stop_; });
    if (stop_) break;
    pending_ = false;
    running_ = true;
    lock.unlock();
    int log = 0, copied = 0;
    if (!db || sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, &log, &copied) != SQLITE_OK)
      copied = 0;
    lock.lock();
    // A pass copies on from where the last one stopped: what is new is
    // the difference, unless the log started again in between.
    pagesCopied_ += copied >= copied_ ? copied - copied_ : copied;
    copied_ = copied;
    running_ = false;
    ++passes_;
    done_.notify_all();
  }
  lock.unlock();
  sqlite3_close(db);
}

}  // namespace kv
