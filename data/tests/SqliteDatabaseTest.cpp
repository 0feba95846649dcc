// SQLite database files: values of every storage class, declared types, the
// table catalog, savepoints, two connections on one file, bad files and
// identifier quoting.
#include "data/SqliteDatabase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <random>
#include <thread>

#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using kvtest::TempFolder;

std::vector<std::vector<TVariant>> Rows(const TSqliteDatabase& db, std::string_view sql) {
  auto q = db.Prepare(sql);
  std::vector<std::vector<TVariant>> rows;
  while (q->Step()) {
    std::vector<TVariant> row;
    for (int i = 0; i < q->ColumnCount(); ++i) row.push_back(q->Column(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

int64_t Count(const TSqliteDatabase& db, const std::string& table) {
  auto q = db.Prepare("SELECT count(*) FROM " + SqliteQuoteIdentifier(table));
  EXPECT_TRUE(q->Step());
  return q->Column(0).AsInteger();
}

// ---- Values ----------------------------------------------------------------------

struct ValueCase {
  const char* name;
  TVariant bound;
  bool asBlob;  // bound with BindBlob (bound holds the bytes)
  TSqliteStorage storage;
  TVariant read;
};

TEST(SqliteDatabase, EveryStorageClassAndNullReadsBackAsStored) {
  const std::string nul("a\0b", 3);
  const std::string bytes("\x00\x01\xff\x7f\x80", 5);
  const std::string big(1 << 20, 'x');
  const ValueCase cases[] = {
      {"null", TVariant::Null(), false, TSqliteStorage::Null, TVariant::Null()},
      {"unassigned", TVariant(), false, TSqliteStorage::Null, TVariant::Null()},
      {"zero", TVariant(0), false, TSqliteStorage::Integer, TVariant(int64_t{0})},
      {"int64 max", TVariant(std::numeric_limits<int64_t>::max()), false, TSqliteStorage::Integer,
       TVariant(std::numeric_limits<int64_t>::max())},
      {"int64 min", TVariant(std::numeric_limits<int64_t>::min()), false, TSqliteStorage::Integer,
       TVariant(std::numeric_limits<int64_t>::min())},
      {"real", TVariant(0.1), false, TSqliteStorage::Real, TVariant(0.1)},
      {"real huge", TVariant(-1.5e308), false, TSqliteStorage::Real, TVariant(-1.5e308)},
      {"boolean true", TVariant(true), false, TSqliteStorage::Integer, TVariant(int64_t{1})},
      {"boolean false", TVariant(false), false, TSqliteStorage::Integer, TVariant(int64_t{0})},
      {"empty text", TVariant(""), false, TSqliteStorage::Text, TVariant("")},
      {"utf-8 text", TVariant("h\xc3\xa9llo \xe4\xb8\xad"), false, TSqliteStorage::Text,
       TVariant("h\xc3\xa9llo \xe4\xb8\xad")},
      {"text with NUL", TVariant(nul), false, TSqliteStorage::Text, TVariant(nul)},
      {"text of 1 MiB", TVariant(big), false, TSqliteStorage::Text, TVariant(big)},
      {"number as text stays text", TVariant("42"), false, TSqliteStorage::Text, TVariant("42")},
      {"date-time as ISO text", TVariant::FromDateTime(45443.5), false, TSqliteStorage::Text,
       TVariant("2024-05-31 12:00:00")},
      {"blob", TVariant(bytes), true, TSqliteStorage::Blob, TVariant(bytes)},
      {"empty blob", TVariant(""), true, TSqliteStorage::Blob, TVariant("")},
  };
  TempFolder dir("sqlite");
  TSqliteDatabase db(dir.File("values.db"));
  // A column without a declared type keeps every value in the class it came in.
  db.Exec("CREATE TABLE t(k INTEGER PRIMARY KEY, v)");
  auto insert = db.Prepare("INSERT INTO t(k, v) VALUES (?1, ?2)");
  for (size_t i = 0; i < std::size(cases); ++i) {
    insert->Bind(1, TVariant(i));
    if (cases[i].asBlob)
      insert->BindBlob(2, cases[i].bound.RawString());
    else
      insert->Bind(2, cases[i].bound);
    EXPECT_EQ(insert->Execute(), 1) << cases[i].name;
  }
  auto select = db.Prepare("SELECT v FROM t WHERE k = ?1");
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    select->Bind(1, TVariant(i));
    ASSERT_TRUE(select->Step());
    EXPECT_EQ(SqliteStorageName(select->ColumnStorage(0)), std::string(SqliteStorageName(cases[i].storage)));
    EXPECT_TRUE(select->Column(0) == cases[i].read) << select->Column(0).AsString().substr(0, 40);
    EXPECT_FALSE(select->Step());
    select->Reset();
  }
}

TEST(SqliteDatabase, DeclaredTypeNamesComeFromTheTableColumns) {
  TempFolder dir("sqlite");
  TSqliteDatabase db(dir.File("types.db"));
  db.Exec(
      "CREATE TABLE t(a INTEGER, b VARCHAR(20), c NUMERIC(10,2), d, e BLOB, f double precision, g DATETIME)");
  auto q = db.Prepare("SELECT a, b, c, d, e, f, g, a + 1 AS expr, 'x' AS lit FROM t");
  const char* expected[][2] = {{"a", "INTEGER"}, {"b", "VARCHAR(20)"},      {"c", "NUMERIC(10,2)"},
                               {"d", ""},        {"e", "BLOB"},             {"f", "double precision"},
                               {"g", "DATETIME"}, {"expr", ""},             {"lit", ""}};
  ASSERT_EQ(q->ColumnCount(), static_cast<int>(std::size(expected)));
  for (int i = 0; i < q->ColumnCount(); ++i) {
    EXPECT_EQ(q->ColumnName(i), expected[i][0]);
    EXPECT_EQ(q->DeclaredType(i), expected[i][1]) << expected[i][0];
  }
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { q->DeclaredType(9); }),
            dir.File("types.db") + ": cannot read column 9: the statement has 9 columns");
}

// ---- The table catalog -----------------------------------------------------------

TEST(SqliteDatabase, TableColumnsAndIndexes) {
  TempFolder dir("sqlite");
  TSqliteDatabase db(dir.File("catalog.db"));
  db.Exec(
      "CREATE TABLE Orders(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE, qty INT DEFAULT 0, "
      "note VARCHAR(200), placed DATE NOT NULL);"
      "CREATE INDEX ix_placed_qty ON Orders(placed, qty DESC);"
      "CREATE TABLE Lines(\"order\" INTEGER, line INTEGER, item TEXT, PRIMARY KEY(\"order\", line));"
      "CREATE VIEW Big AS SELECT * FROM Orders WHERE qty > 100;");

  EXPECT_TRUE(db.TableExists("Orders"));
  EXPECT_TRUE(db.TableExists("orders"));  // SQLite names are not case-sensitive
  EXPECT_TRUE(db.TableExists("Big"));
  EXPECT_FALSE(db.TableExists("ix_placed_qty"));  // an index is not a table
  EXPECT_FALSE(db.TableExists("Order"));

  const std::vector<TSqliteColumnInfo> cols = db.TableColumns("Orders");
  struct Col {
    const char* name;
    const char* type;
    bool notNull;
    int pk;
    const char* dflt;
  };
  const Col expected[] = {{"id", "INTEGER", false, 1, ""},
                          {"code", "TEXT", true, 0, ""},
                          {"qty", "INT", false, 0, "0"},
                          {"note", "VARCHAR(200)", false, 0, ""},
                          {"placed", "DATE", true, 0, ""}};
  ASSERT_EQ(cols.size(), std::size(expected));
  for (size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(cols[i].Name, expected[i].name);
    EXPECT_EQ(cols[i].DeclaredType, expected[i].type);
    EXPECT_EQ(cols[i].NotNull, expected[i].notNull);
    EXPECT_EQ(cols[i].PrimaryKey, expected[i].pk);
    EXPECT_EQ(cols[i].DefaultValue, expected[i].dflt);
  }

  std::vector<TSqliteIndexInfo> ix = db.TableIndexes("Orders");
  ASSERT_EQ(ix.size(), 2u);
  // Newest first, as SQLite lists them.
  EXPECT_EQ(ix[0].Name, "ix_placed_qty");
  EXPECT_FALSE(ix[0].Unique);
  EXPECT_EQ(ix[0].Origin, "c");
  EXPECT_EQ(ix[0].Columns, (std::vector<std::string>{"placed", "qty"}));
  EXPECT_TRUE(ix[1].Unique);
  EXPECT_EQ(ix[1].Origin, "u");
  EXPECT_EQ(ix[1].Columns, (std::vector<std::string>{"code"}));

  // A primary key of two columns: its place in the key, and its index.
  const std::vector<TSqliteColumnInfo> lines = db.TableColumns("Lines");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].PrimaryKey, 1);
  EXPECT_EQ(lines[1].PrimaryKey, 2);
  EXPECT_EQ(lines[2].PrimaryKey, 0);
  ix = db.TableIndexes("Lines");
  ASSERT_EQ(ix.size(), 1u);
  EXPECT_TRUE(ix[0].Unique);
  EXPECT_EQ(ix[0].Origin, "pk");
  EXPECT_EQ(ix[0].Columns, (std::vector<std::string>{"order", "line"}));

  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.TableColumns("Nothing"); }),
            dir.File("catalog.db") + ": cannot read the columns: no such table: Nothing");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.TableIndexes("Nothing"); }),
            dir.File("catalog.db") + ": cannot read the indexes: no such table: Nothing");
}

TEST(SqliteDatabase, IdentifierQuotingDoublesDoubleQuotes) {
  const char* cases[][2] = {
      {"a", "\"a\""},
      {"", "\"\""},
      {"my \"odd\" table", "\"my \"\"odd\"\" table\""},
      {"\"", "\"\"\"\""},
      {"x\"; DROP TABLE t; --", "\"x\"\"; DROP TABLE t; --\""},
  };
  for (const auto& c : cases) EXPECT_EQ(SqliteQuoteIdentifier(c[0]), c[1]) << c[0];

  // Names that would break or inject into SQL name exactly one table.
  TempFolder dir("sqlite");
  TSqliteDatabase db(dir.File("quoting.db"));
  db.Exec("CREATE TABLE t(a)");
  for (const std::string name : {"my \"odd\" table", "x\"; DROP TABLE t; --", "it's"}) {
    SCOPED_TRACE(name);
    const std::string q = SqliteQuoteIdentifier(name);
    db.Exec("CREATE TABLE " + q + "(" + SqliteQuoteIdentifier("col \"1\"") + " TEXT NOT NULL)");
    EXPECT_TRUE(db.TableExists(name));
    const std::vector<TSqliteColumnInfo> cols = db.TableColumns(name);
    ASSERT_EQ(cols.size(), 1u);
    EXPECT_EQ(cols[0].Name, "col \"1\"");
    EXPECT_TRUE(cols[0].NotNull);
    auto ins = db.Prepare("INSERT INTO " + q + " VALUES (?1)");
    ins->Bind(1, TVariant(name));
    ins->Execute();
    EXPECT_EQ(Rows(db, "SELECT * FROM " + q)[0][0].AsString(), name);
    EXPECT_TRUE(db.TableIndexes(name).empty());
  }
  EXPECT_TRUE(db.TableExists("t"));
}

// ---- Statements --------------------------------------------------------------------

TEST(SqliteDatabase, BadStatementsAndBindingsAreClearErrors) {
  TempFolder dir("sqlite");
  const std::string file = dir.File("errors.db");
  TSqliteDatabase db(file);
  db.Exec("CREATE TABLE t(a INTEGER NOT NULL, b)");
  struct Case {
    std::string sql;
    const char* message;
  };
  const Case prepare[] = {
      {"SELEC 1", "cannot prepare the statement: near \"SELEC\": syntax error"},
      {"SELECT * FROM missing", "cannot prepare the statement: no such table: missing"},
      {"", "cannot prepare the statement: the text holds no statement"},
      {"  ;  -- nothing", "cannot prepare the statement: the text holds no statement"},
      {"SELECT 1; SELECT 2", "cannot prepare the statement: the text holds more than one statement"},
      {"DELETE FROM t; DROP TABLE t", "cannot prepare the statement: the text holds more than one statement"},
      // SQLite alone would stop at the NUL and drop the rest unseen.
      {std::string("SELECT 1\0; DROP TABLE t", 23), "cannot prepare the statement: the text holds a NUL character"},
  };
  for (const Case& c : prepare)
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Prepare(c.sql); }), file + ": " + c.message) << c.sql;
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Exec(std::string("DELETE FROM t\0; DROP TABLE t", 28)); }),
            file + ": cannot run the statement: the text holds a NUL character");
  // Only the first statement of the refused text ran: nothing.
  EXPECT_TRUE(db.TableExists("t"));
  // Trailing semicolons and comments are no second statement.
  EXPECT_EQ(db.Prepare("SELECT 1;; -- done\n")->ColumnCount(), 1);

  auto ins = db.Prepare("INSERT INTO t VALUES (?1, ?2)");
  EXPECT_EQ(ins->ParameterCount(), 2);
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { ins->Bind(3, TVariant(1)); }),
            file + ": cannot bind parameter 3: the statement has 2 parameters");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { ins->Bind(1, TVariant::Array({1, 2})); }),
            file + ": cannot bind parameter 1: an array is not a database value");
  ins->BindAll({TVariant::Null(), TVariant(1)});
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { ins->Execute(); }),
            file + ": cannot run the statement: NOT NULL constraint failed: t.a");
  // The statement is usable again after a refused row.
  ins->Bind(1, TVariant(7));
  EXPECT_EQ(ins->Execute(), 1);
  EXPECT_EQ(db.LastInsertRowId(), 1);
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Exec("INSERT INTO t VALUES (1, 2); SELEC"); }),
            file + ": cannot run the statement: near \"SELEC\": syntax error");
  EXPECT_EQ(Count(db, "t"), 2);  // Exec ran the statements before the bad one
  EXPECT_TRUE(ins->IsReadOnly() == false);
  EXPECT_TRUE(db.Prepare("SELECT * FROM t")->IsReadOnly());
}

// ---- Transactions and savepoints ----------------------------------------------------

TEST(SqliteDatabase, RefusedRowInsideASavepointFailsAloneAndTheBatchCommits) {
  TempFolder dir("sqlite");
  const std::string file = dir.File("batch.db");
  TSqliteDatabase db(file);
  db.Exec("CREATE TABLE t(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE, n INTEGER CHECK (n >= 0))");
  struct Row {
    TVariant id, code, n;
    const char* error;  // "" when the row is stored
  };
  const Row rows[] = {
      {1, "a", 1, ""},
      {2, TVariant::Null(), 2, "NOT NULL constraint failed: t.code"},
      {3, "a", 3, "UNIQUE constraint failed: t.code"},
      {4, "b", 4, ""},
      {1, "c", 5, "UNIQUE constraint failed: t.id"},
      {5, "d", -1, "CHECK constraint failed: n >= 0"},
      {6, "e", 6, ""},
  };
  auto ins = db.Prepare("INSERT INTO t VALUES (?1, ?2, ?3)");
  db.Begin();
  EXPECT_TRUE(db.InTransaction());
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id.AsString());
    ins->BindAll({r.id, r.code, r.n});
    TSqliteSavepoint sp(db, "row");
    std::string error = ErrorOf<EDatabaseError>([&] { ins->Execute(); });
    if (error == "(no error)") {
      sp.Release();
      error = "";
    } else {
      error = error.substr((file + ": cannot run the statement: ").size());
    }
    EXPECT_EQ(error, r.error);
  }
  EXPECT_TRUE(db.InTransaction());
  db.Commit();
  EXPECT_FALSE(db.InTransaction());

  TSqliteDatabase other(file, TSqliteOpenMode::ReadOnly);
  const auto stored = Rows(other, "SELECT id, code FROM t ORDER BY id");
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored[0][1].AsString(), "a");
  EXPECT_EQ(stored[1][1].AsString(), "b");
  EXPECT_EQ(stored[2][1].AsString(), "e");
}

TEST(SqliteDatabase, SavepointWorkIsUndoneUnlessReleasedAndRollbackUndoesAll) {
  TempFolder dir("sqlite");
  const std::string file = dir.File("tx.db");
  TSqliteDatabase db(file);
  db.Exec("CREATE TABLE t(a)");
  db.Begin();
  db.Exec("INSERT INTO t VALUES (1)");
  {
    TSqliteSavepoint outer(db, "outer");
    db.Exec("INSERT INTO t VALUES (2)");
    {
      TSqliteSavepoint inner(db, "inner \"x\"");
      db.Exec("INSERT INTO t VALUES (3)");
    }  // not released: undone
    EXPECT_EQ(Count(db, "t"), 2);
    outer.Release();
  }
  EXPECT_EQ(Count(db, "t"), 2);
  db.Rollback();
  EXPECT_EQ(Count(db, "t"), 0);

  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Commit(); }), file + ": cannot commit: no transaction is open");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Rollback(); }), file + ": cannot roll back: no transaction is open");
  db.Begin();
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { db.Begin(); }),
            file + ": cannot begin a transaction: a transaction is already open");
  db.Exec("INSERT INTO t VALUES (9)");
  db.Commit();
  EXPECT_EQ(Count(db, "t"), 1);
}

TEST(SqliteDatabase, ClosingWithAnOpenTransactionKeepsOnlyWhatWasCommitted) {
  TempFolder dir("sqlite");
  const std::string file = dir.File("crash.db");
  {
    TSqliteDatabase db(file);
    db.Exec("CREATE TABLE t(a)");
    db.Begin();
    db.Exec("INSERT INTO t VALUES (1)");
    db.Commit();
    db.Begin();
    db.Exec("INSERT INTO t VALUES (2)");
  }
  TSqliteDatabase db(file, TSqliteOpenMode::ExistingOnly);
  EXPECT_EQ(Count(db, "t"), 1);
  EXPECT_EQ(Rows(db, "PRAGMA journal_mode")[0][0].AsString(), "wal");
  EXPECT_EQ(Rows(db, "PRAGMA synchronous")[0][0].AsInteger(), 1);  // NORMAL
}

// ---- Two connections on one file ---------------------------------------------------

TEST(SqliteDatabase, ASecondWriterWaitsForTheFirstInsteadOfFailing) {
  TempFolder dir("sqlite");
  const std::string file = dir.File("two.db");
  TSqliteDatabase first(file);
  first.Exec("CREATE TABLE t(who TEXT)");
  TSqliteDatabase second(file, TSqliteOpenMode::ExistingOnly);
  TSqliteDatabase reader(file, TSqliteOpenMode::ReadOnly);
  TSqliteDatabase impatient(file, TSqliteOpenMode::ExistingOnly, 0);

  first.Begin();
  first.Exec("INSERT INTO t VALUES ('first')");
  // A reader is not held up by the writer: it sees what was committed.
  EXPECT_EQ(Count(reader, "t"), 0);
  // Without a busy timeout the lock is a clear error at once.
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { impatient.Begin(); }),
            file + ": cannot run the statement: database is locked");

  std::atomic<bool> done{false};
  std::string error;
  std::thread writer([&] {
    error = ErrorOf<EDatabaseError>([&] {
      second.Begin();
      second.Exec("INSERT INTO t VALUES ('second')");
      second.Commit();
    });
    done = true;
  });
  // The first writer commits once the second is seen waiting for its lock
  // (or has given up, which the checks below report).
  while (second.BusyWaits() == 0 && !done) std::this_thread::yield();
  first.Commit();
  writer.join();
  EXPECT_EQ(error, "(no error)");
  EXPECT_GT(second.BusyWaits(), 0);
  EXPECT_EQ(Rows(reader, "SELECT who FROM t ORDER BY rowid"),
            (std::vector<std::vector<TVariant>>{{TVariant("first")}, {TVariant("second")}}));
}

// ---- Opening ------------------------------------------------------------------------

TEST(SqliteDatabase, FilesThatCannotBeOpenedAreClearErrors) {
  TempFolder dir("sqlite");
  std::mt19937 random(12345);
  std::string noise(8192, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  const std::string corrupt = dir.File("corrupt.db");
  kvtest::WriteFile(corrupt, noise);
  const std::string text = dir.File("text.db");
  kvtest::WriteFile(text, "name,qty\nbolt,5\n");
  const std::string missing = dir.File("missing.db");
  {
    TSqliteDatabase make(dir.File("ro.db"));
    make.Exec("CREATE TABLE t(a)");
  }
  struct Case {
    std::string path;
    TSqliteOpenMode mode;
    std::string message;
  };
  const Case cases[] = {
      {corrupt, TSqliteOpenMode::CreateIfMissing, corrupt + ": cannot open: file is not a database"},
      {corrupt, TSqliteOpenMode::ReadOnly, corrupt + ": cannot open: file is not a database"},
      {text, TSqliteOpenMode::ExistingOnly, text + ": cannot open: file is not a database"},
      {dir.Path(), TSqliteOpenMode::CreateIfMissing, dir.Path() + ": cannot open: is a folder, not a database file"},
      {missing, TSqliteOpenMode::ExistingOnly, missing + ": cannot open: no such database file"},
      {missing, TSqliteOpenMode::ReadOnly, missing + ": cannot open: no such database file"},
      {dir.File("no/such/folder.db"), TSqliteOpenMode::CreateIfMissing,
       dir.File("no/such/folder.db") + ": cannot open: unable to open database file"},
      {"", TSqliteOpenMode::CreateIfMissing, "No database file given"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ErrorOf<EDatabaseError>([&] { TSqliteDatabase db(c.path, c.mode); }), c.message) << c.path;
  // Nothing was made or changed by the refusals.
  EXPECT_EQ(kvtest::ReadFile(corrupt), noise);
  EXPECT_EQ(kvtest::ReadFile(missing), "");
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { TSqliteDatabase db(missing, TSqliteOpenMode::ExistingOnly); }),
            missing + ": cannot open: no such database file");

  // A read-only database refuses writes.
  TSqliteDatabase ro(dir.File("ro.db"), TSqliteOpenMode::ReadOnly);
  EXPECT_TRUE(ro.IsReadOnly());
  EXPECT_EQ(ErrorOf<EDatabaseError>([&] { ro.Exec("INSERT INTO t VALUES (1)"); }),
            dir.File("ro.db") + ": cannot run the statement: attempt to write a readonly database");
}

}  // namespace
}  // namespace kv
