// The log's writes gathered per commit: every commit is in the log file the
// moment it returns (a copy of the files taken then, as a crash would leave
// them, holds it), a transaction too large for the page cache spills and
// commits or rolls back whole, and other connections see each commit.
#include "data/SqliteLogWrites.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <memory>
#include <string>

#include "data/SqliteDatabase.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ReadFile;
using kvtest::TempFolder;
using kvtest::WriteFile;

int64_t Scalar(const TSqliteDatabase& db, const std::string& sql) {
  auto q = db.Prepare(sql);
  EXPECT_TRUE(q->Step()) << sql;
  return q->Column(0).AsInteger();
}

void Insert(TSqliteDatabase& db, int first, int count, int bytes) {
  auto insert = db.Prepare("INSERT INTO t(id, b) VALUES (?1, zeroblob(?2))");
  for (int i = first; i < first + count; ++i) {
    insert->Bind(1, TVariant(static_cast<int64_t>(i)));
    insert->Bind(2, TVariant(static_cast<int64_t>(bytes)));
    insert->Execute();
  }
}

// A writer on a new table "t" in a folder of its own.
struct TWriter {
  TempFolder dir{"logw"};
  std::string path = dir.File("t.db");
  TSqliteDatabase db{path};
  TWriter() { db.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)"); }
  // Commits `count` rows of `bytes` bytes, ids from `first`.
  void Commit(int first, int count, int bytes) {
    db.Begin();
    Insert(db, first, count, bytes);
    db.Commit();
  }
  // A copy of the database and log files as they are now, opened with no
  // shared-memory index (as after a crash): what the log alone recovers.
  std::unique_ptr<TSqliteDatabase> RecoveredCopy() {
    const std::string copy = dir.File("copy.db");
    WriteFile(copy, ReadFile(path));
    WriteFile(copy + "-wal", ReadFile(path + "-wal"));
    std::remove((copy + "-shm").c_str());
    return std::make_unique<TSqliteDatabase>(copy);
  }
};

TEST(SqliteLogWrites, IsTheLayerOurConnectionsUse) {
  ASSERT_NE(SqliteLogWritesVfs(), nullptr);
  TempFolder dir("logw");
  TSqliteDatabase db(dir.File("t.db"));
  sqlite3_vfs* vfs = nullptr;
  ASSERT_EQ(sqlite3_file_control(db.Handle(), "main", SQLITE_FCNTL_VFS_POINTER, &vfs), SQLITE_OK);
  ASSERT_NE(vfs, nullptr);
  EXPECT_STREQ(vfs->zName, SqliteLogWritesVfs());
}

TEST(SqliteLogWrites, EveryCommitIsInTheLogFileWhenItReturns) {
  TWriter w;
  int rows = 0;
  // Commits of one row, of a few pages and of a page and a half: the copy
  // must recover every one of them from the log alone.
  for (int bytes : {10, 9000, 6000, 100, 20000}) {
    for (int n = 0; n < 3; ++n) {
      w.Commit(rows + 1, 7, bytes);
      rows += 7;
      const auto recovered = w.RecoveredCopy();
      EXPECT_EQ(Scalar(*recovered, "SELECT count(*) FROM t"), rows) << bytes << " bytes a row";
      EXPECT_EQ(Scalar(*recovered, "SELECT sum(length(b)) FROM t WHERE id > " + std::to_string(rows - 7)),
                7 * bytes);
    }
  }
}

TEST(SqliteLogWrites, ALargeTransactionSpillsAndCommitsOrRollsBackWhole) {
  TempFolder dir("logw");
  const std::string path = dir.File("t.db");
  TSqliteDatabase db(path);
  TSqliteDatabase reader(path, TSqliteOpenMode::ReadOnly);
  // A tiny page cache: the transaction's pages go to the log long before it commits.
  db.Exec("PRAGMA cache_size=10; CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
  db.Begin();
  Insert(db, 1, 3000, 700);
  EXPECT_EQ(Scalar(db, "SELECT sum(length(b)) FROM t"), 3000 * 700) << "spilled pages read back";
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), 0);
  db.Rollback();
  EXPECT_EQ(Scalar(db, "SELECT count(*) FROM t"), 0);
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), 0);

  db.Begin();
  Insert(db, 1, 3000, 700);
  db.Commit();
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), 3000);
  EXPECT_EQ(Scalar(reader, "SELECT sum(length(b)) FROM t"), 3000 * 700);
  auto q = reader.Prepare("PRAGMA integrity_check");
  ASSERT_TRUE(q->Step());
  EXPECT_EQ(q->Column(0).AsString(), "ok");
}

TEST(SqliteLogWrites, ARestartedLogHoldsOnlyTheNewCommits) {
  // After a full checkpoint the log starts again from its beginning (over
  // the old frames, or emptied); a copy taken then must hold exactly what
  // was committed.
  TWriter w;
  int rows = 0;
  for (int round = 0; round < 4; ++round) {
    for (int n = 0; n < 20; ++n, rows += 5) w.Commit(rows + 1, 5, 3000);
    w.db.Exec(round % 2 ? "PRAGMA wal_checkpoint(TRUNCATE)" : "PRAGMA wal_checkpoint(RESTART)");
    w.Commit(++rows, 1, 50);
    const auto recovered = w.RecoveredCopy();
    EXPECT_EQ(Scalar(*recovered, "SELECT count(*) FROM t"), rows);
    EXPECT_EQ(Scalar(*recovered, "SELECT max(id) FROM t"), rows);
  }
}

}  // namespace
}  // namespace kv
