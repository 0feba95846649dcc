// Checkpoints on their own thread: a writer committing small transactions
// keeps the log bounded, every committed row stays readable from another
// connection meanwhile, a reader holding an old snapshot stops nothing, and
// the file is whole (log copied and removed) once the writer closes.
#include "data/SqliteCheckpointer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "data/SqliteDatabase.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::TempFolder;

constexpr int kThresholdPages = 32;
// A log page in the file: the page and its frame header.
constexpr int64_t kFrameBytes = 4096 + 24;

int64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int64_t Scalar(const TSqliteDatabase& db, const std::string& sql) {
  auto q = db.Prepare(sql);
  EXPECT_TRUE(q->Step()) << sql;
  return q->Column(0).AsInteger();
}

// Commits `count` transactions of one row (about a page of data each),
// ids from `first`.
void CommitRows(TSqliteDatabase& db, int first, int count) {
  auto insert = db.Prepare("INSERT INTO t(id, b) VALUES (?1, zeroblob(3000))");
  for (int i = first; i < first + count; ++i) {
    db.Begin();
    insert->Bind(1, TVariant(static_cast<int64_t>(i)));
    insert->Execute();
    db.Commit();
  }
}

class SqliteCheckpointerTest : public ::testing::Test {
protected:
  SqliteCheckpointerTest() : dir_("ckpt"), path_(dir_.File("t.db")) {}

  // After the writer has closed: the log is gone and the file holds `rows` rows, intact.
  void ExpectWholeFile(int64_t rows) {
    EXPECT_EQ(FileSize(path_ + "-wal"), -1) << "the last close copies the log and removes it";
    TSqliteDatabase check(path_, TSqliteOpenMode::ReadOnly);
    EXPECT_EQ(Scalar(check, "SELECT count(*) FROM t"), rows);
    EXPECT_EQ(Scalar(check, "SELECT sum(id) FROM t"), rows * (rows + 1) / 2);
    auto q = check.Prepare("PRAGMA integrity_check");
    ASSERT_TRUE(q->Step());
    EXPECT_EQ(q->Column(0).AsString(), "ok");
  }

  TempFolder dir_;
  std::string path_;
};

TEST_F(SqliteCheckpointerTest, SmallCommitsKeepTheLogBoundedAndEveryRowReadable) {
  constexpr int kCommits = 2500;
  int64_t passes = 0, catchUps = 0, copied = 0;
  {
    TSqliteDatabase writer(path_);
    writer.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
    TSqliteDatabase reader(path_, TSqliteOpenMode::ReadOnly);
    TSqliteCheckpointer checkpointer(writer.Handle(), path_, kThresholdPages);
    ASSERT_TRUE(checkpointer.Install());
    for (int done = 0; done < kCommits; done += 250) {
      CommitRows(writer, done + 1, 250);
      // What was committed is there for another connection, whatever the checkpoints did.
      EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), done + 250);
      EXPECT_EQ(Scalar(reader, "SELECT max(id) FROM t"), done + 250);
    }
    passes = checkpointer.Passes();
    catchUps = checkpointer.CatchUps();
    copied = checkpointer.PagesCopied();
    // The writer waits for a pass at four times the threshold, so the log
    // (whose file keeps its largest extent) never grew much beyond that;
    // without checkpoints it would hold every page of every commit.
    EXPECT_LE(FileSize(path_ + "-wal"), (4 * kThresholdPages + 8) * kFrameBytes + 32);
  }
  EXPECT_GE(passes, 1);
  EXPECT_GE(catchUps, 1);
  EXPECT_GT(copied, 0) << "the thread's passes copied nothing";
  ExpectWholeFile(kCommits);
}

TEST_F(SqliteCheckpointerTest, AReaderOnAnOldSnapshotStopsNeitherTheWriterNorTheCheckpoints) {
  constexpr int kCommits = 600;
  {
    TSqliteDatabase writer(path_);
    writer.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
    TSqliteCheckpointer checkpointer(writer.Handle(), path_, 8);
    ASSERT_TRUE(checkpointer.Install());
    CommitRows(writer, 1, 100);
    TSqliteDatabase reader(path_, TSqliteOpenMode::ReadOnly);
    reader.Exec("BEGIN");
    EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), 100);
    // The reader pins the log from its snapshot on: nothing past it can be
    // copied, and the writer must neither wait for it nor fail.
    CommitRows(writer, 101, kCommits - 200);
    EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), 100);
    reader.Exec("ROLLBACK");
    EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), kCommits - 100);
    CommitRows(writer, kCommits - 99, 100);
    EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM t"), kCommits);
  }
  ExpectWholeFile(kCommits);
}

TEST_F(SqliteCheckpointerTest, FindsTheFileByItsFullNameAfterTheWorkingFolderChanged) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir(dir_.Path().c_str()), 0);
  {
    TSqliteDatabase writer("t.db");
    writer.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
    TSqliteCheckpointer checkpointer(writer.Handle(), "t.db", kThresholdPages);
    ASSERT_TRUE(checkpointer.Install());
    // The relative name now names nothing: the thread must not go by it.
    ASSERT_EQ(::chdir("/"), 0);
    CommitRows(writer, 1, 600);
    EXPECT_GT(checkpointer.Passes(), 0);
    EXPECT_GT(checkpointer.PagesCopied(), 0) << "the thread's passes copied nothing";
  }
  ASSERT_EQ(::chdir(here), 0);
  ExpectWholeFile(600);
}

TEST_F(SqliteCheckpointerTest, LeavesADatabaseWithoutALogToSqlite) {
  TSqliteDatabase db(path_);
  db.Exec("PRAGMA journal_mode=DELETE");
  TSqliteCheckpointer checkpointer(db.Handle(), path_, kThresholdPages);
  EXPECT_FALSE(checkpointer.Install());
  db.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
  CommitRows(db, 1, 50);
  EXPECT_EQ(checkpointer.Passes(), 0);
  EXPECT_EQ(Scalar(db, "SELECT count(*) FROM t"), 50);
}

TEST_F(SqliteCheckpointerTest, GoingAwayWhileAPassRunsLosesNothing) {
  // Destroyed right after the commit that asked for a pass, many times over.
  TSqliteDatabase writer(path_);
  writer.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, b BLOB)");
  int next = 1;
  for (int round = 0; round < 20; ++round) {
    TSqliteCheckpointer checkpointer(writer.Handle(), path_, 4);
    ASSERT_TRUE(checkpointer.Install());
    CommitRows(writer, next, 10);
    next += 10;
  }
  // SQLite's own checkpoints are back.
  CommitRows(writer, next, 100);
  EXPECT_EQ(Scalar(writer, "SELECT count(*) FROM t"), next + 99);
}

}  // namespace
}  // namespace kv
