// Checkpoints of a WAL database off the writing thread.
//
// A checkpoint copies the pages of the write-ahead log back into the
// database file and syncs both files. SQLite's automatic checkpoint runs
// inside the COMMIT that fills the log, so a thread committing every few
// rows stops for both syncs every few thousand commits. Here the writing
// connection hands the copying and the syncs to a thread of its own, with a
// connection of its own, that checkpoints without waiting for (or stopping)
// the writer (SQLite's PASSIVE checkpoint).
//
// Such a checkpoint copies the log as it stood when it began; the writer
// appends meanwhile, so the log is never wholly copied and would grow for
// ever. So another pass follows while the writer has appended much since
// the last one began; then the writer copies the rest itself, at its next
// commit past the threshold (few pages, whose syncs are short): the
// log is then wholly copied, and the next transaction starts it again from
// its beginning. When the log has grown to four times the threshold while
// a pass still runs (a slow disk), the writer waits for the pass and copies
// the rest, which bounds the log.
//
// Install() replaces the connection's automatic checkpoint. Nothing is
// reported: a checkpoint that cannot run now (another connection holds the
// checkpoint lock) runs at a later commit, as SQLite's own would.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "KVCore_export.h"

struct sqlite3;

namespace kv {

class KVCORE_EXPORT TSqliteCheckpointer {
public:
  // `writer` stays owned by its opener and must outlive this object
  // (destroy this first); `path` names its file (Install takes the full
  // name SQLite opened instead). Only the main database of `writer` is
  // checkpointed here; attached ones are checkpointed at their commits.
  TSqliteCheckpointer(sqlite3* writer, std::string path, int thresholdPages);
  // Stops the thread (a pass under way is finished first), closes its
  // connection and gives the writer SQLite's automatic checkpoint back.
  ~TSqliteCheckpointer();
  TSqliteCheckpointer(const TSqliteCheckpointer&) = delete;
  TSqliteCheckpointer& operator=(const TSqliteCheckpointer&) = delete;

  // Takes over the writer's checkpoints; false (nothing changed) when the
  // database is not in WAL mode.
  bool Install();

  // Passes run by the thread, the log pages they copied, and catch-ups
  // run by the writer (for tests).
  int64_t Passes() const;
  int64_t PagesCopied() const;
  int64_t CatchUps() const noexcept { return catchUps_; }

private:
  static int WalHook(void* self, sqlite3* db, const char* schema, int pages);
  // The writer's side, after each commit that leaves `pages` in the log.
  void Committed(int pages);
  void CatchUp();
  void Run();

  sqlite3* writer_;
  std::string path_;
  int threshold_;
  bool installed_ = false;
  // Writer thread only: a pass was requested and its result not yet caught up.
  bool requested_ = false;
  int64_t catchUps_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_, done_;
  bool pending_ = false;  // a pass is asked for
  bool running_ = false;  // a pass runs
  bool stop_ = false;
  int copied_ = 0;        // log pages the last pass left copied
  int64_t passes_ = 0;
  int64_t pagesCopied_ = 0;
  std::thread thread_;    // started with the first pass
};

}  // namespace kv
