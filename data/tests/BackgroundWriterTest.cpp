// Rows appended by a writer thread: the rows written, the failures and
// their order match a loop that appends and posts each row itself (several
// batch sizes, refused rows in the first, middle and last row of a batch);
// a failure halts the writer until the caller resumes or discards; a drain
// hands the destination back to the caller; bad destinations are refused.
#include "data/BackgroundWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "data/SqliteDataSets.h"
#include "testsupport/Errors.h"
#include "testsupport/SqliteRows.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using kvtest::TempFolder;

// A row for a table t(ID INTEGER UNIQUE, NAME TEXT NOT NULL, QTY INT CHECK (QTY >= 0)):
// the values as the caller computed them (a text for QTY is converted by the field).
struct Row {
  TVariant id, name, qty;
};

// `message` with the database file's path left out (the loop and the writer write to different files).
std::string Plain(std::string message, const std::string& path) {
  for (size_t at; (at = message.find(path)) != std::string::npos;) message.replace(at, path.size(), "DB");
  return message;
}

struct Outcome {
  std::vector<std::pair<int64_t, std::string>> failures;  // tag, message
  std::vector<std::string> table;                         // "ID|NAME|QTY" in rowid order
};

class BackgroundWriter : public ::testing::Test {
protected:
  // A new database file in a folder of its own.
  std::shared_ptr<TSqliteConnection> NewDatabase(const std::string& name) {
    folders_.push_back(std::make_unique<TempFolder>("bgwriter"));
    auto conn = std::make_shared<TSqliteConnection>(folders_.back()->File(name));
    conn->Database().Exec(ddl_);
    return conn;
  }
  static std::unique_ptr<TSqliteTableDataSet> OpenTable(const std::shared_ptr<TSqliteConnection>& conn,
                                                        int32_t postRecords) {
    auto t = std::make_unique<TSqliteTableDataSet>(conn);
    t->SetTableName("t");
    t->SetPostRecords(postRecords);
    t->Open();
    t->DisableControls();
    return t;
  }
  static std::vector<TField*> Fields(TDataSet& t) {
    return {&t.FieldByName("ID"), &t.FieldByName("NAME"), &t.FieldByName("QTY")};
  }
  static std::vector<std::string> Contents(TDataSet& t) {
    std::vector<std::string> out;
    t.EnableControls();
    for (t.First(); !t.Eof(); t.Next())
      out.push_back(t.Fields(0).AsString() + "|" + t.Fields(1).AsString() + "|" + t.Fields(2).AsString());
    return out;
  }
  static void Fill(TBackgroundWriter& w, const Row& r, int64_t tag) {
    TVariant* slots = w.Row();
    slots[0] = r.id;
    slots[1] = r.name;
    slots[2] = r.qty;
    w.Push(tag);
  }

  // The reference: each row appended and posted in turn; a refused row is cancelled.
  Outcome Loop(const std::vector<Row>& rows) {
    auto conn = NewDatabase("t.db");
    auto t = OpenTable(conn, 4);
    Outcome out;
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::vector<TField*> f = Fields(*t);
      try {
        t->Append();
        f[0]->SetValue(rows[i].id);
        f[1]->SetValue(rows[i].name);
        f[2]->SetValue(rows[i].qty);
        t->Post();
      } catch (const Exception& e) {
        out.failures.emplace_back(static_cast<int64_t>(i), Plain(e.Message(), conn->Describe()));
        t->Cancel();
      }
    }
    out.table = Contents(*t);
    return out;
  }

  // The same rows through a writer thread, every failure handled and resumed.
  Outcome Writer(const std::vector<Row>& rows, size_t batchRows) {
    auto conn = NewDatabase("t.db");
    auto t = OpenTable(conn, 4);
    Outcome out;
    {
      TBackgroundWriter w(*t, Fields(*t), batchRows, 2);
      auto handle = [&] {
        const TBackgroundWriter::TFailure f = w.Failure();
        out.failures.emplace_back(f.tag, Plain(f.message, conn->Describe()));
        w.Resume();
      };
      for (size_t i = 0; i < rows.size(); ++i) {
        while (w.Failed()) handle();
        Fill(w, rows[i], static_cast<int64_t>(i));
      }
      for (;;) {
        if (w.Drain()) break;
        handle();
      }
      EXPECT_EQ(w.Written(), static_cast<int64_t>(rows.size() - out.failures.size()));
    }
    out.table = Contents(*t);
    return out;
  }

  // The same rows through AppendRecords, `chunk` rows a call (with an
  // AfterPost handler when `observed`); after a refused row the dataset is
  // cancelled and the next call starts after it.
  Outcome Chunks(const std::vector<Row>& rows, size_t chunk, bool observed) {
    auto conn = NewDatabase("t.db");
    auto t = OpenTable(conn, 4);
    int posts = 0;
    if (observed) t->AfterPost = [&](TDataSet&) { ++posts; };
    const std::vector<TField*> f = Fields(*t);
    Outcome out;
    std::vector<TVariant> values;
    for (size_t next = 0; next < rows.size();) {
      const size_t n = std::min(chunk, rows.size() - next);
      values.clear();
      for (size_t r = next; r < next + n; ++r) {
        values.push_back(rows[r].id);
        values.push_back(rows[r].name);
        values.push_back(rows[r].qty);
      }
      size_t appended = 0;
      try {
        t->AppendRecords(f.data(), values.data(), 3, n, appended);
        EXPECT_EQ(appended, n);
        next += n;
      } catch (const Exception& e) {
        out.failures.emplace_back(static_cast<int64_t>(next + appended), Plain(e.Message(), conn->Describe()));
        EXPECT_EQ(t->State(), dsInsert);
        t->Cancel();
        next += appended + 1;
      }
    }
    if (observed) {
      EXPECT_EQ(posts, static_cast<int>(rows.size() - out.failures.size()));
    }
    out.table = Contents(*t);
    return out;
  }

  std::vector<std::unique_ptr<TempFolder>> folders_;
  std::string ddl_ = "CREATE TABLE t(ID INTEGER UNIQUE, NAME TEXT NOT NULL, QTY INT CHECK (QTY >= 0))";
};

std::vector<Row> MixedRows() {
  std::vector<Row> rows;
  for (int i = 0; i < 40; ++i) {
    Row r{TVariant(int64_t{i}), TVariant("name " + std::to_string(i)), TVariant(int64_t{i % 5})};
    if (i % 7 == 3) r.id = TVariant(int64_t{i - 1});       // UNIQUE
    if (i % 11 == 5) r.name = TVariant::Null();            // NOT NULL
    if (i % 13 == 8) r.qty = TVariant(int64_t{-1});        // CHECK
    if (i == 20) r.qty = TVariant("twelve");                // does not convert to an integer
    if (i == 21) r.qty = TVariant("12");                    // converts
    rows.push_back(std::move(r));
  }
  return rows;
}

TEST_F(BackgroundWriter, WritesAndFailsExactlyAsTheRecordByRecordLoop) {
  const std::vector<Row> rows = MixedRows();
  const Outcome expected = Loop(rows);
  ASSERT_GE(expected.failures.size(), 5u);  // the rows above do fail
  for (size_t batch : {size_t{1}, size_t{3}, size_t{7}, size_t{256}}) {
    SCOPED_TRACE(batch);
    const Outcome got = Writer(rows, batch);
    EXPECT_EQ(got.failures, expected.failures);
    EXPECT_EQ(got.table, expected.table);
  }
}

TEST_F(BackgroundWriter, AppendRecordsStoresAndFailsExactlyAsTheRecordByRecordLoop) {
  const std::vector<Row> rows = MixedRows();
  const Outcome expected = Loop(rows);
  for (size_t chunk : {size_t{1}, size_t{5}, size_t{16}, size_t{40}}) {
    for (bool observed : {false, true}) {
      SCOPED_TRACE(std::to_string(chunk) + (observed ? " observed" : ""));
      const Outcome got = Chunks(rows, chunk, observed);
      EXPECT_EQ(got.failures, expected.failures);
      EXPECT_EQ(got.table, expected.table);
    }
  }
}

// Tables whose constraints or triggers decide otherwise what a refused row
// leaves behind: rows stored several at a time leave the same table.
TEST_F(BackgroundWriter, AppendRecordsFollowsTheTablesConflictClausesAndTriggers) {
  const char* tables[] = {
      "CREATE TABLE t(ID INTEGER UNIQUE ON CONFLICT FAIL, NAME TEXT NOT NULL ON CONFLICT FAIL, QTY INT CHECK (QTY >= 0))",
      "CREATE TABLE t(ID INTEGER UNIQUE ON CONFLICT IGNORE, NAME TEXT NOT NULL ON CONFLICT IGNORE, QTY INT)",
      "CREATE TABLE t(ID INTEGER UNIQUE ON CONFLICT REPLACE, NAME TEXT NOT NULL DEFAULT 'none', QTY INT)",
      "CREATE TABLE t(ID INTEGER, NAME TEXT, QTY INT); CREATE TRIGGER no_negative BEFORE INSERT ON t "
      "WHEN NEW.QTY < 0 BEGIN SELECT RAISE(FAIL, 'negative'); END",
  };
  const std::vector<Row> rows = MixedRows();
  for (const char* ddl : tables) {
    SCOPED_TRACE(ddl);
    ddl_ = ddl;
    const Outcome expected = Loop(rows);
    const Outcome got = Chunks(rows, 16, false);
    EXPECT_EQ(got.failures, expected.failures);
    EXPECT_EQ(got.table, expected.table);
  }
}

TEST_F(BackgroundWriter, TransactionsHoldPostRecordsWritesWhateverTheBatch) {
  for (size_t batch : {size_t{3}, size_t{64}}) {
    SCOPED_TRACE(batch);
    auto conn = NewDatabase("t.db");
    auto t = OpenTable(conn, 10);
    {
      TBackgroundWriter w(*t, Fields(*t), batch, 2);
      for (int i = 0; i < 96; ++i) {
        // Row 33 is refused: it is no write.
        Fill(w, Row{TVariant(int64_t{i}), i == 33 ? TVariant::Null() : TVariant("n"), TVariant(int64_t{1})}, i);
        if (w.Failed()) w.Resume();
      }
      while (!w.Drain()) w.Resume();
    }
    EXPECT_EQ(conn->Commits(), 9);
    EXPECT_EQ(conn->PendingWrites(), 5);
    t->Close();
    EXPECT_EQ(kvtest::SqliteRows(conn->Describe(), "SELECT count(*) FROM t"), std::vector<std::string>{"95"});
  }
}

// Columns with a default that no value sets take their default; the others are Null.
TEST_F(BackgroundWriter, AppendRecordsLeavesUnsetColumnsToTheirDefaults) {
  auto conn = NewDatabase("t.db");
  conn->Database().Exec("CREATE TABLE d(ID INTEGER, KIND TEXT DEFAULT 'plain', NOTE TEXT)");
  TSqliteTableDataSet d(conn);
  d.SetTableName("d");
  d.Open();
  d.DisableControls();
  std::vector<TField*> fields{&d.FieldByName("ID")};
  std::vector<TVariant> values;
  for (int i = 0; i < 20; ++i) values.emplace_back(TVariant(std::to_string(i)));  // converted to integers
  size_t appended = 0;
  d.AppendRecords(fields.data(), values.data(), 1, values.size(), appended);
  EXPECT_EQ(appended, 20u);
  d.Close();
  EXPECT_EQ(kvtest::SqliteRows(conn->Describe(),
                               "SELECT count(*), sum(ID) FROM d WHERE KIND = 'plain' AND NOTE IS NULL AND "
                               "typeof(ID) = 'integer'"),
            std::vector<std::string>{"20|190"});
}

TEST_F(BackgroundWriter, AFailureHaltsTheWriterUntilTheCallerDiscardsTheRowsAfterIt) {
  auto conn = NewDatabase("discard.db");
  auto t = OpenTable(conn, 0);
  TBackgroundWriter w(*t, Fields(*t), 4, 3);
  // Row 2 repeats ID 1: rows 3..9 (pushed behind it) must not be written while it is unhandled.
  for (int64_t i = 0; i < 10; ++i) Fill(w, {TVariant(i == 2 ? 1 : i), TVariant("n"), TVariant(int64_t{1})}, 100 + i);
  EXPECT_FALSE(w.Drain());
  ASSERT_TRUE(w.Failed());
  EXPECT_EQ(w.Failure().tag, 102);
  EXPECT_NE(w.Failure().message.find("UNIQUE constraint failed: t.ID"), std::string::npos) << w.Failure().message;
  EXPECT_EQ(w.Written(), 2);
  EXPECT_EQ(w.Discard(), (std::vector<int64_t>{103, 104, 105, 106, 107, 108, 109}));
  EXPECT_FALSE(w.Failed());
  // The writer takes new rows after a discard; a drain with nothing pending returns at once.
  Fill(w, {TVariant(int64_t{50}), TVariant("m"), TVariant(int64_t{2})}, 200);
  EXPECT_TRUE(w.Drain());
  EXPECT_TRUE(w.Drain());
  EXPECT_EQ(w.Written(), 3);
  EXPECT_EQ(w.Discard(), std::vector<int64_t>{});
  EXPECT_EQ(Contents(*t), (std::vector<std::string>{"0|n|1", "1|n|1", "50|m|2"}));
}

TEST_F(BackgroundWriter, ADrainHandsTheDestinationBackBetweenRows) {
  auto conn = NewDatabase("drain.db");
  auto t = OpenTable(conn, 0);
  TBackgroundWriter w(*t, {&t->FieldByName("ID"), nullptr, &t->FieldByName("NAME")}, 8, 2);
  for (int64_t round = 0; round < 3; ++round) {
    for (int64_t i = 0; i < 5; ++i) {
      TVariant* slots = w.Row();
      slots[0] = TVariant(round * 10 + i);
      slots[1] = TVariant("dropped: no field");
      slots[2] = TVariant("r" + std::to_string(round));
      w.Push(i);
    }
    ASSERT_TRUE(w.Drain());
    // Between rows the caller's thread may use the destination and its connection.
    EXPECT_EQ(t->RecordCount(), static_cast<int>(5 * (round + 1)));
    t->Commit();
  }
  EXPECT_EQ(w.Written(), 15);
  const std::vector<std::string> rows = Contents(*t);
  ASSERT_EQ(rows.size(), 15u);
  EXPECT_EQ(rows.front(), "0|r0|");
  EXPECT_EQ(rows.back(), "24|r2|");
}

TEST_F(BackgroundWriter, DestroyingAWriterWithRowsQueuedLosesNoWrittenRowAndReturns) {
  auto conn = NewDatabase("destroy.db");
  auto t = OpenTable(conn, 0);
  int64_t written = 0;
  {
    TBackgroundWriter w(*t, Fields(*t), 16, 2);
    for (int64_t i = 0; i < 200; ++i) Fill(w, {TVariant(i), TVariant("n"), TVariant(int64_t{0})}, i);
    written = w.Written();
  }
  // What was posted stays; the rest was dropped. The destination is the caller's again.
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_GE(t->RecordCount(), written);
  EXPECT_LE(t->RecordCount(), 200);
}

TEST_F(BackgroundWriter, RefusesADestinationThatIsClosedEditingOrWatched) {
  auto conn = NewDatabase("refuse.db");
  TSqliteTableDataSet t(conn);
  t.SetTableName("t");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TBackgroundWriter w(t, {}); }).find("open destination"), std::string::npos);
  t.Open();
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TBackgroundWriter w(t, {}); }).find("views are suspended"),
            std::string::npos);
  t.DisableControls();
  t.Append();
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TBackgroundWriter w(t, {}); }).find("browse state"), std::string::npos);
  t.Cancel();
}

}  // namespace
}  // namespace kv
