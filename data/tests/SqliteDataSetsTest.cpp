// The SQLite table and query engines: the cursor over a table, values of
// every storage class, the type mapping both ways, creating tables, writes
// and their transactions (refused rows, lost transactions, commits every
// PostRecords writes), locate, two writers on one file, queries run once per
// walk, and the errors of bad settings.
#include "data/SqliteDataSets.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using kvtest::TempFolder;

int64_t Count(const std::string& path, const std::string& table) {
  TSqliteDatabase db(path, TSqliteOpenMode::ReadOnly);
  auto q = db.Prepare("SELECT count(*) FROM " + SqliteQuoteIdentifier(table));
  EXPECT_TRUE(q->Step());
  return q->Column(0).AsInteger();
}

class SqliteDataSets : public ::testing::Test {
protected:
  SqliteDataSets() : dir_("sqliteds"), path_(dir_.File("t.db")), conn_(std::make_shared<TSqliteConnection>(path_)) {}

  void Exec(const std::string& sql) { conn_->Database().Exec(sql); }
  std::unique_ptr<TSqliteTableDataSet> Table(const std::string& name) {
    auto t = std::make_unique<TSqliteTableDataSet>(conn_);
    t->SetTableName(name);
    return t;
  }
  // The values of `field` walking forward from the first record.
  static std::vector<std::string> Walk(TDataSet& ds, const char* field) {
    std::vector<std::string> out;
    for (ds.First(); !ds.Eof(); ds.Next()) out.push_back(ds.FieldByName(field).AsString());
    return out;
  }
  static void Add(TDataSet& ds, int64_t id, const std::string& name) {
    ds.Append();
    ds.FieldByName("ID").SetAsInteger(id);
    ds.FieldByName("NAME").SetAsString(name);
    ds.Post();
  }

  TempFolder dir_;
  std::string path_;
  std::shared_ptr<TSqliteConnection> conn_;
};

using Names = std::vector<std::string>;

// ---- The cursor -----------------------------------------------------------------------

TEST_F(SqliteDataSets, WalksInRowidOrderBothWaysWithRecNoAndBookmarks) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT);"
       "INSERT INTO t(rowid, ID, NAME) VALUES (50, 5, 'e'), (10, 1, 'a'), (30, 3, 'c'), (20, 2, 'b'), (40, 4, 'd')");
  auto t = Table("t");
  t->Open();
  EXPECT_EQ(t->RecordCount(), 5);
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_EQ(Walk(*t, "NAME"), (Names{"a", "b", "c", "d", "e"}));
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "e");  // Eof stays on the last record
  Names back;
  for (t->Last(); !t->Bof(); t->Prior()) back.push_back(t->FieldByName("NAME").AsString());
  EXPECT_EQ(back, (Names{"e", "d", "c", "b", "a"}));
  EXPECT_EQ(t->RecNo(), 1);
  t->MoveBy(2);
  EXPECT_EQ(t->RecNo(), 3);
  const TBookmark third = t->GetBookmark();
  EXPECT_EQ(third, 30);
  t->Last();
  EXPECT_EQ(t->RecNo(), 5);
  t->GotoBookmark(third);
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 3);
  EXPECT_EQ(t->RecNo(), 3);
  t->SetRecNo(4);
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "d");
  t->Prior();
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "c");
  t->GotoBookmark(50);  // the last row: Next finds nothing and the fields still read it
  t->Next();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "e");
  ASSERT_TRUE(t->Locate("ID", TVariant(1)));
  t->Prior();
  EXPECT_TRUE(t->Bof());
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "a");
  t->SetRecNo(3);
  EXPECT_EQ(ErrorOf([&] { t->GotoBookmark(35); }), "Bookmark not found");
  EXPECT_EQ(ErrorOf([&] { t->SetRecNo(6); }), "SetRecNo: out of range");
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "c");
  std::string name;
  EXPECT_TRUE(t->GetPublishedString("TableName", name));
  EXPECT_EQ(name, "t");
}

TEST_F(SqliteDataSets, AnEmptyTableHasEofAndBof) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT)");
  auto t = Table("t");
  t->Open();
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(t->RecNo(), -1);
  t->Last();
  EXPECT_TRUE(t->Eof() && t->Bof());
  EXPECT_TRUE(t->FieldByName("ID").IsNull());
}

TEST_F(SqliteDataSets, TheWalkGoesOnAfterWritesMadeDuringIt) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT)");
  auto t = Table("t");
  t->SetPostRecords(2);
  t->Open();
  for (int i = 1; i <= 5; ++i) Add(*t, i, "n" + std::to_string(i));
  EXPECT_EQ(t->RecordCount(), 5);
  t->First();
  t->Next();  // on 2
  t->Edit();
  t->FieldByName("NAME").SetAsString("two");
  t->Post();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);
  t->Next();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 3);
  t->Delete();  // onto the record that followed
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 4);
  EXPECT_EQ(t->RecNo(), 3);
  EXPECT_EQ(t->RecordCount(), 4);
  Add(*t, 6, "n6");
  t->Prior();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 5);
  t->Last();
  t->Delete();  // the last one: onto the new last
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 5);
  EXPECT_EQ(Walk(*t, "NAME"), (Names{"n1", "two", "n4", "n5"}));
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 4);
}

TEST_F(SqliteDataSets, ASourceWalkGoesOnWhileAnotherDatasetOnTheConnectionWrites) {
  Exec("CREATE TABLE src(ID INTEGER, NAME TEXT); CREATE TABLE dst(ID INTEGER, NAME TEXT);"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 250) "
       "INSERT INTO src SELECT i, 'n' || i FROM n");
  auto src = Table("src");
  auto dst = Table("dst");
  dst->SetPostRecords(7);
  src->Open();
  dst->Open();
  int64_t sum = 0;
  for (src->First(); !src->Eof(); src->Next()) {
    sum += src->FieldByName("ID").AsInteger();
    Add(*dst, src->FieldByName("ID").AsInteger(), src->FieldByName("NAME").AsString());
  }
  EXPECT_EQ(sum, 250 * 251 / 2);
  EXPECT_EQ(src->RecNo(), 250);
  EXPECT_EQ(dst->RecordCount(), 250);
  EXPECT_EQ(Count(path_, "dst"), 245);  // 35 commits of 7
  dst->Close();
  EXPECT_EQ(Count(path_, "dst"), 250);
  src->Close();
}

TEST_F(SqliteDataSets, AColumnNamedRowidDoesNotHideTheRowid) {
  Exec("CREATE TABLE r(rowid TEXT, ID INTEGER); INSERT INTO r VALUES ('x', 1), ('y', 2), ('z', 3)");
  auto t = Table("r");
  t->Open();
  EXPECT_EQ(Walk(*t, "rowid"), (Names{"x", "y", "z"}));
  t->Prior();
  const TBookmark b = t->GetBookmark();
  t->First();
  t->GotoBookmark(b);
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);
  EXPECT_TRUE(t->Locate("rowid", TVariant("z")));
  t->Edit();
  t->FieldByName("rowid").SetAsString("zz");
  t->Post();
  t->Delete();
  EXPECT_EQ(Walk(*t, "rowid"), (Names{"x", "y"}));
}

TEST_F(SqliteDataSets, ReadingAMillionRowsStreams) {
  Exec("CREATE TABLE big(ID INTEGER, NAME TEXT);"
       "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000000) "
       "INSERT INTO big SELECT i, 'name ' || i FROM n");
  auto t = Table("big");
  t->Open();
  EXPECT_EQ(t->RecordCount(), 1000000);
  int64_t sum = 0, rows = 0;
  std::string text;
  for (t->First(); !t->Eof(); t->Next()) {
    sum += t->Fields(0).AsInteger();
    t->Fields(1).ReadText(text);
    ++rows;
  }
  EXPECT_EQ(rows, 1000000);
  EXPECT_EQ(sum, int64_t{1000000} * 1000001 / 2);
  EXPECT_EQ(text, "name 1000000");
  EXPECT_EQ(t->RecNo(), 1000000);
}

// ---- Values ------------------------------------------------------------------------------

struct StoredCase {
  const char* column;   // of table v
  const char* literal;  // SQL text of the stored value
  TVariant expected;    // read back as (Null: null)
  const char* error;    // or this error ("" when none)
};

TEST_F(SqliteDataSets, EveryStorageClassReadsBackInEveryColumnKindOrIsAClearError) {
  Exec("CREATE TABLE v(I INTEGER, R REAL, T TEXT, B BLOB, D DATE, BO BOOLEAN, U, N NUMERIC(10,2))");
  const StoredCase cases[] = {
      {"I", "42", TVariant(int64_t{42}), ""},
      {"I", "-9223372036854775808", TVariant(INT64_MIN), ""},
      {"I", "'abc'", TVariant(), "column 'I', row 3: the TEXT value does not convert to an integer"},
      {"I", "2.5", TVariant(), "the REAL value does not convert to an integer"},
      {"I", "x'00ff'", TVariant(), "the BLOB value does not convert to an integer"},
      {"I", "NULL", TVariant::Null(), ""},
      {"R", "0.1", TVariant(0.1), ""},
      {"R", "'12.5'", TVariant(12.5), ""},  // REAL affinity converts numeric text on the way in
      {"R", "'n/a'", TVariant(), "the TEXT value does not convert to a number"},
      {"T", "7", TVariant("7"), ""},
      {"T", "x'410042'", TVariant(std::string("A\0B", 3)), ""},
      {"T", "'h\xc3\xa9'", TVariant("h\xc3\xa9"), ""},
      {"B", "x'00ff80'", TVariant(std::string("\x00\xff\x80", 3)), ""},
      {"B", "12", TVariant("12"), ""},
      {"D", "'2024-05-31'", TVariant::FromDateTime(45443), ""},
      {"D", "'2024-05-31 12:00:00'", TVariant::FromDateTime(45443.5), ""},
      {"D", "2460461.5", TVariant::FromDateTime(45443), ""},  // a Julian day number
      {"D", "'soon'", TVariant(), "the TEXT value does not convert to a date-time"},
      {"BO", "1", TVariant(true), ""},
      {"BO", "0", TVariant(false), ""},
      {"BO", "'True'", TVariant(true), ""},
      {"BO", "'maybe'", TVariant(), "the TEXT value does not convert to a boolean"},
      {"U", "7", TVariant(int64_t{7}), ""},
      {"U", "'7'", TVariant("7"), ""},
      {"U", "1.5", TVariant(1.5), ""},
      {"N", "12.25", TVariant(12.25), ""},
      {"N", "'abc'", TVariant(), "the TEXT value does not convert to a number"},
  };
  for (const StoredCase& c : cases) {
    SCOPED_TRACE(std::string(c.column) + " = " + c.literal);
    Exec("DELETE FROM v; INSERT INTO v(rowid) VALUES (1), (2), (3); UPDATE v SET " + std::string(c.column) + " = " +
         c.literal + " WHERE rowid = 3");
    auto t = Table("v");
    t->Open();
    t->Last();
    TField& f = t->FieldByName(c.column);
    if (*c.error) {
      const std::string e = ErrorOf<EDatabaseError>([&] { f.Value(); });
      EXPECT_NE(e.find(c.error), std::string::npos) << e;
      EXPECT_NE(e.find("Table 'v'"), std::string::npos) << e;
      continue;
    }
    const TVariant v = f.Value();
    EXPECT_EQ(v, c.expected) << v.AsString();
    EXPECT_EQ(f.IsNull(), c.expected.IsNull());
  }
}

TEST_F(SqliteDataSets, ValuesOfSeveralMegabytesReadAndWriteWhole) {
  Exec("CREATE TABLE m(ID INTEGER, TXT TEXT, BIN BLOB)");
  std::string text(6 << 20, 'x');
  for (size_t i = 0; i < text.size(); i += 4093) text[i] = static_cast<char>('a' + i % 26);
  std::string bytes(5 << 20, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  {
    auto t = Table("m");
    t->Open();
    t->Append();
    t->FieldByName("ID").SetAsInteger(1);
    t->FieldByName("TXT").SetAsString(text);
    t->FieldByName("BIN").SetAsString(bytes);
    t->Post();
  }
  auto q = conn_->Database().Prepare("SELECT typeof(BIN), length(TXT), length(BIN) FROM m");
  ASSERT_TRUE(q->Step());
  EXPECT_EQ(q->Column(0).AsString(), "blob");
  EXPECT_EQ(q->Column(1).AsInteger(), 6 << 20);
  EXPECT_EQ(q->Column(2).AsInteger(), 5 << 20);
  q.reset();
  auto t = Table("m");
  t->Open();
  std::string read;
  EXPECT_TRUE(t->FieldByName("TXT").ReadText(read));
  EXPECT_TRUE(read == text);
  EXPECT_TRUE(t->FieldByName("BIN").Value().RawString() == bytes);
}

// ---- Types both ways --------------------------------------------------------------------------

TEST(SqliteTypes, DeclaredTypesMapByAffinityAndKnownNames) {
  struct Case {
    const char* declared;
    TFieldType type;
    int32_t size, precision;
  };
  const Case cases[] = {
      {"INTEGER", ftLargeint, 0, 0},     {"BIGINT", ftLargeint, 0, 0},      {"int", ftInteger, 0, 0},
      {"SMALLINT", ftSmallint, 0, 0},    {"UNSIGNED BIG INT", ftLargeint, 0, 0},
      {"VARCHAR(20)", ftString, 20, 0},  {"varchar( 8 )", ftString, 8, 0},  {"CHAR(3)", ftFixedChar, 3, 0},
      {"NVARCHAR(5)", ftWideString, 5, 0}, {"TEXT", ftMemo, 0, 0},          {"CLOB", ftMemo, 0, 0},
      {"BLOB", ftBlob, 0, 0},            {"REAL", ftFloat, 0, 0},           {"DOUBLE PRECISION", ftFloat, 0, 0},
      {"FLOAT", ftFloat, 0, 0},          {"NUMERIC", ftFMTBcd, 0, 0},       {"DECIMAL(10,2)", ftFMTBcd, 10, 2},
      {"BOOLEAN", ftBoolean, 0, 0},      {"DATE", ftDate, 0, 0},            {"DATETIME", ftDateTime, 0, 0},
      {"TIMESTAMP", ftTimeStamp, 0, 0},  {"TIME", ftTime, 0, 0},            {"CURRENCY", ftCurrency, 0, 0},
      {"", ftVariant, 0, 0},             {"STRING", ftVariant, 0, 0},       {"POINT", ftLargeint, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declared);
    const TFieldDef d = SqliteFieldDefOf("F", c.declared);
    EXPECT_EQ(d.DataType, c.type) << FieldTypeName(d.DataType);
    EXPECT_EQ(d.Size, c.size);
    EXPECT_EQ(d.Precision, c.precision);
    EXPECT_EQ(d.DataTypeName, c.declared);
  }
}

TEST_F(SqliteDataSets, DefinitionsRoundTripThroughCreateTable) {
  struct Case {
    TFieldType type;
    int32_t size, precision;
    bool required;
    const char* typeName;  // DataTypeName given
    const char* declared;  // the column's declared type
    TFieldType back;       // read back as
  };
  const Case cases[] = {
      {ftString, 20, 0, true, "", "VARCHAR(20)", ftString},
      {ftString, 0, 0, false, "", "TEXT", ftMemo},
      {ftFixedChar, 4, 0, false, "", "CHAR(4)", ftFixedChar},
      {ftMemo, 0, 0, false, "", "TEXT", ftMemo},
      {ftSmallint, 0, 0, false, "", "SMALLINT", ftSmallint},
      {ftInteger, 0, 0, true, "", "INT", ftInteger},
      {ftLargeint, 0, 0, false, "", "INTEGER", ftLargeint},
      {ftLargeint, 0, 0, false, "BIGINT", "BIGINT", ftLargeint},          // a type name that means the same is kept
      {ftString, 10, 0, false, "VARCHAR2", "VARCHAR(10)", ftString},     // one that does not is replaced
      {ftString, 10, 0, false, "TEXT); DROP TABLE x; --", "VARCHAR(10)", ftString},
      {ftFloat, 0, 0, false, "", "REAL", ftFloat},
      {ftFMTBcd, 12, 3, false, "", "DECIMAL(12,3)", ftFMTBcd},
      {ftCurrency, 0, 0, false, "", "CURRENCY", ftCurrency},
      {ftBoolean, 0, 0, false, "", "BOOLEAN", ftBoolean},
      {ftDate, 0, 0, false, "", "DATE", ftDate},
      {ftTime, 0, 0, false, "", "TIME", ftTime},
      {ftDateTime, 0, 0, false, "", "DATETIME", ftDateTime},
      {ftBlob, 0, 0, false, "", "BLOB", ftBlob},
      {ftVarBytes, 0, 0, false, "", "BLOB", ftBlob},
      {ftVariant, 0, 0, false, "", "", ftVariant},
  };
  auto t = Table("made");
  for (size_t i = 0; i < std::size(cases); ++i) {
    TFieldDef& d = t->FieldDefs().Add("F" + std::to_string(i), cases[i].type, cases[i].size, cases[i].required);
    d.Precision = cases[i].precision;
    d.DataTypeName = cases[i].typeName;
  }
  EXPECT_TRUE(t->CreateTable());
  EXPECT_FALSE(t->CreateTable());  // exists now: left as it is
  const std::vector<TSqliteColumnInfo> cols = conn_->Database().TableColumns("made");
  t->Open();
  ASSERT_EQ(t->FieldDefs().Count(), static_cast<int>(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("F" + std::to_string(i));
    const TFieldDef& d = t->FieldDefs()[static_cast<int>(i)];
    EXPECT_EQ(cols[i].DeclaredType, cases[i].declared);
    EXPECT_EQ(d.DataType, cases[i].back);
    EXPECT_EQ(d.Size, cases[i].back == ftMemo || cases[i].back == ftBlob ? 0 : cases[i].size);
    EXPECT_EQ(d.Precision, cases[i].precision);
    EXPECT_EQ(d.Required(), cases[i].required);
  }
  EXPECT_TRUE(conn_->Database().TableExists("made"));
}

TEST_F(SqliteDataSets, CreateTableMakesPrimaryUniqueAndPlainIndexes) {
  Exec("CREATE TABLE other(a); CREATE INDEX ByName ON other(a)");
  auto t = Table("made");
  t->FieldDefs().Add("ID", ftLargeint, 0, true);
  t->FieldDefs().Add("CODE", ftString, 8);
  t->FieldDefs().Add("NAME", ftString, 30);
  t->IndexDefs().Add("PK", "ID", static_cast<TIndexOptions>(1u << ixPrimary));
  t->IndexDefs().Add("ByCode", "CODE", static_cast<TIndexOptions>(1u << ixUnique));
  t->IndexDefs().Add("ByName", "NAME;CODE");  // the name another table's index has
  EXPECT_TRUE(t->CreateTable());
  t->Open();
  const TIndexDefs& x = t->IndexDefs();
  ASSERT_EQ(x.Count(), 3);
  EXPECT_EQ(x[0].Fields, "ID");
  EXPECT_TRUE(x[0].Has(ixPrimary));
  const TIndexDef* code = x.FindByFields("CODE");
  ASSERT_NE(code, nullptr);
  EXPECT_TRUE(code->Has(ixUnique));
  const TIndexDef* name = x.FindByFields("NAME;CODE");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Name, "made_ByName");
  EXPECT_FALSE(name->Has(ixUnique));
  Add(*t, 1, "x");
  t->Append();
  t->FieldByName("ID").SetAsInteger(1);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("UNIQUE constraint failed: made.ID"), std::string::npos);
  t->Cancel();
}

TEST_F(SqliteDataSets, CreateTableRefusesBadDefinitionsAndCreatesNothing) {
  auto t = Table("made");
  EXPECT_EQ(ErrorOf([&] { t->CreateTable(); }), "Cannot create table 'made': it has no fields");
  t->FieldDefs().Add("A", ftString, 5);
  t->FieldDefs().Add("B", ftString, 5);
  t->IndexDefs().Add("X", "A;NOPE");
  EXPECT_NE(ErrorOf([&] { t->CreateTable(); }).find("NOPE"), std::string::npos);
  EXPECT_FALSE(t->TableExists());
}

// ---- Writing ----------------------------------------------------------------------------------

TEST_F(SqliteDataSets, AppendEditDeleteAndDefaults) {
  Exec("CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL DEFAULT 'none', QTY INT NOT NULL, "
       "MADE TEXT DEFAULT 'today')");
  auto t = Table("t");
  t->Open();
  EXPECT_FALSE(t->FieldByName("NAME").Required());  // it has a default
  EXPECT_TRUE(t->FieldByName("QTY").Required());
  EXPECT_TRUE(t->CanModify());
  t->Append();
  t->FieldByName("QTY").SetAsInteger(3);
  t->Post();  // ID from the rowid, NAME and MADE from their defaults
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "none");
  EXPECT_EQ(t->FieldByName("MADE").AsString(), "today");
  t->Append();
  t->FieldByName("QTY").SetAsInteger(4);
  t->FieldByName("MADE").Clear();  // set to null on purpose: stays null
  t->Post();
  EXPECT_TRUE(t->FieldByName("MADE").IsNull());
  EXPECT_EQ(ErrorOf([&] {
              t->Append();
              t->Post();
            }),
            "Field 'QTY' must have a value");
  t->Cancel();
  // Changing the INTEGER PRIMARY KEY changes the rowid: the cursor follows the row.
  t->First();
  t->Edit();
  t->FieldByName("ID").SetAsInteger(10);
  t->Post();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 10);
  EXPECT_EQ(t->GetBookmark(), 10);
  EXPECT_EQ(t->RecNo(), 2);
  t->First();
  EXPECT_EQ(t->FieldByName("QTY").AsInteger(), 4);
  t->Delete();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 10);
  t->Delete();
  EXPECT_TRUE(t->IsEmpty());
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 0);
}

// An edit posts a plain UPDATE while the rowid cannot change, and one that
// reports the new rowid when an INTEGER PRIMARY KEY (the rowid under another
// name) changes: the cursor follows the row either way, and a row deleted
// meanwhile is reported, not passed for updated.
TEST_F(SqliteDataSets, EditedRowsKeepOrFollowTheirRowidAndAVanishedRowIsReported) {
  struct Case {
    const char* columns;
    bool rowidAlias;  // ID is the rowid under another name
  };
  const Case cases[] = {
      {"ID INTEGER PRIMARY KEY, NAME TEXT", true},
      {"id integer primary key, NAME TEXT", true},
      {"ID INTEGER, NAME TEXT, PRIMARY KEY (ID)", true},
      {"ID INT PRIMARY KEY, NAME TEXT", false},  // INT is not INTEGER: an ordinary key
      {"ID INTEGER, NAME TEXT", false},
      {"ID INTEGER, NAME TEXT, PRIMARY KEY (ID, NAME)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.columns);
    Exec(std::string("DROP TABLE IF EXISTS t; CREATE TABLE t(") + c.columns +
         "); INSERT INTO t(rowid, ID, NAME) VALUES (1, 1, 'a'), (2, 2, 'b'), (3, 3, 'c')");
    auto t = Table("t");
    t->SetPostRecords(1);
    t->Open();
    t->SetRecNo(2);
    t->Edit();
    t->FieldByName("NAME").SetAsString("same key");
    t->Post();
    EXPECT_EQ(t->GetBookmark(), 2);
    t->Edit();
    t->FieldByName("ID").SetAsInteger(20);
    t->Post();
    EXPECT_EQ(t->GetBookmark(), c.rowidAlias ? 20 : 2);
    EXPECT_EQ(t->FieldByName("NAME").AsString(), "same key");
    t->Next();
    EXPECT_EQ(t->FieldByName("ID").AsInteger(), c.rowidAlias ? 20 : 3);  // Next from the row where it now is
    // The row being edited goes away meanwhile.
    t->First();
    t->Edit();
    t->FieldByName("NAME").SetAsString("lost");
    Exec("DELETE FROM t WHERE NAME = 'a'");
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("no longer exists"), std::string::npos);
    t->Cancel();
    t->Close();
    EXPECT_EQ(Count(path_, "t"), 2);
  }
}

// UpdateRecord changes a located row as Edit, SetValue and Post would:
// the fields not given keep their values, the row keeps or follows its
// rowid, refused and unconvertible values fail with the same errors and
// leave the dataset in edit state; with views suspended nothing else is
// read or written.
TEST_F(SqliteDataSets, UpdateRecordChangesWhatEditSetValueAndPostChange) {
  struct Step {
    const char* key;    // ID of the row located
    const char* field;  // the one field given
    TVariant value;
  };
  const Step steps[] = {
      {"2", "NAME", TVariant("b2")},           // another field keeps its value
      {"3", "ID", TVariant(int64_t{3})},       // the rowid kept
      {"1", "ID", TVariant("10")},             // converted, the row follows its new rowid
      {"10", "QTY", TVariant("many")},         // does not convert
      {"2", "NAME", TVariant::Null()},         // NOT NULL
      {"3", "QTY", TVariant(int64_t{-1})},     // CHECK
      {"3", "QTY", TVariant(int64_t{7})},
  };
  const char* table = "CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, QTY INT CHECK (QTY >= 0), NOTE TEXT)";
  auto run = [&](int way) {  // 0: Edit, SetValue, Post; 1: UpdateRecord; 2: UpdateRecord while observed
    Exec(std::string("DROP TABLE IF EXISTS t; ") + table +
         "; INSERT INTO t VALUES (1, 'a', 1, 'n1'), (2, 'b', 2, 'n2'), (3, 'c', 3, 'n3')");
    auto t = Table("t");
    t->SetPostRecords(2);
    t->Open();
    if (way == 1) t->DisableControls();
    int posts = 0;
    if (way == 2) t->AfterPost = [&](TDataSet&) { ++posts; };
    std::vector<std::string> out;
    for (const Step& step : steps) {
      EXPECT_TRUE(t->Locate("ID", TVariant(step.key)));
      TVariant v = step.value;
      TField* f = &t->FieldByName(step.field);
      try {
        if (way == 0) {
          t->Edit();
          f->SetValue(v);
          t->Post();
        } else {
          t->UpdateRecord(&f, &v, 1);
        }
        out.push_back("ok " + t->FieldByName("ID").AsString() + " rowid " + std::to_string(t->GetBookmark()));
      } catch (const Exception& e) {
        out.push_back(e.Message());
        EXPECT_EQ(t->State(), dsEdit);
        t->Cancel();
      }
    }
    if (way == 2) {
      EXPECT_EQ(posts, 4);
    }
    if (way == 1) t->EnableControls();
    for (t->First(); !t->Eof(); t->Next()) {
      std::string row;
      for (int i = 0; i < t->FieldCount(); ++i) row += t->Fields(i).AsString() + "|";
      out.push_back(row);
    }
    t->Close();
    return out;
  };
  const std::vector<std::string> expected = run(0);
  ASSERT_EQ(expected.size(), 10u);
  EXPECT_EQ(expected[6], "ok 3 rowid 3");
  EXPECT_EQ(expected[7], "2|b2|2|n2|");
  EXPECT_EQ(expected[8], "3|c|7|n3|");
  EXPECT_EQ(expected[9], "10|a|1|n1|");
  EXPECT_EQ(run(1), expected);
  EXPECT_EQ(run(2), expected);
}

TEST_F(SqliteDataSets, EmptyTableRemovesEveryRowInTheTransaction) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT); INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
  auto t = Table("t");
  t->SetPostRecords(0);
  t->Open();
  t->Next();
  EXPECT_EQ(t->EmptyTable(), 3);
  EXPECT_TRUE(t->IsEmpty());
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_EQ(Count(path_, "t"), 3);  // not committed yet
  Add(*t, 9, "z");
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 1);
  EXPECT_EQ(t->EmptyTable(), 1);  // closed: committed at once
  EXPECT_EQ(Count(path_, "t"), 0);
  t->SetTableName("nope");
  EXPECT_NE(ErrorOf([&] { t->EmptyTable(); }).find("no such table: nope"), std::string::npos);
}

TEST_F(SqliteDataSets, ARefusedRowFailsAloneAndTheRestOfTheBatchCommits) {
  Exec("CREATE TABLE t(ID INTEGER UNIQUE, NAME TEXT NOT NULL DEFAULT 'x', QTY INT CHECK (QTY >= 0))");
  auto t = Table("t");
  t->Open();
  struct Row {
    int64_t id;
    bool nullName;
    int qty;
    const char* error;
  };
  const Row rows[] = {
      {1, false, 1, ""},
      {1, false, 1, "UNIQUE constraint failed: t.ID"},
      {2, false, 1, ""},
      {3, true, 1, "NOT NULL constraint failed: t.NAME"},
      {4, false, -1, "CHECK constraint failed"},
      {5, false, 1, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    t->Append();
    t->FieldByName("ID").SetAsInteger(r.id);
    if (r.nullName) t->FieldByName("NAME").Clear();
    t->FieldByName("QTY").SetAsInteger(r.qty);
    const std::string e = ErrorOf<EDatabaseError>([&] { t->Post(); });
    if (!*r.error) {
      EXPECT_EQ(e, "(no error)");
      continue;
    }
    EXPECT_NE(e.find(r.error), std::string::npos) << e;
    EXPECT_NE(e.find(path_), std::string::npos) << e;
    EXPECT_EQ(t->State(), dsInsert);  // the caller may correct or cancel
    t->Cancel();
  }
  EXPECT_EQ(t->RecordCount(), 3);
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 3);
}

TEST_F(SqliteDataSets, AConflictThatRollsBackTheTransactionIsReportedAsLostRows) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT UNIQUE ON CONFLICT ROLLBACK)");
  auto t = Table("t");
  t->SetPostRecords(10);
  t->Open();
  Add(*t, 1, "a");
  Add(*t, 2, "b");
  Add(*t, 3, "c");
  t->Append();
  t->FieldByName("ID").SetAsInteger(4);
  t->FieldByName("NAME").SetAsString("a");
  const std::string e = ErrorOf<EDatabaseError>([&] { t->Post(); });
  EXPECT_NE(e.find("UNIQUE constraint failed: t.NAME"), std::string::npos) << e;
  EXPECT_NE(e.find("the 3 rows written since the last commit were lost"), std::string::npos) << e;
  t->Cancel();
  Add(*t, 5, "e");  // a new transaction begins
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 1);
}

TEST_F(SqliteDataSets, ACommitThatFailsIsAnErrorAndKeepsNothingHalfDone) {
  // A deferred foreign key is checked at COMMIT, which then fails.
  Exec("PRAGMA foreign_keys = ON; CREATE TABLE p(ID INTEGER PRIMARY KEY);"
       "CREATE TABLE t(ID INTEGER, NAME TEXT REFERENCES p(ID) DEFERRABLE INITIALLY DEFERRED); INSERT INTO p VALUES (1)");
  auto t = Table("t");
  t->SetPostRecords(0);
  t->Open();
  Add(*t, 1, "1");
  Add(*t, 2, "7");  // no parent 7
  const std::string e = ErrorOf<EDatabaseError>([&] { t->Close(); });
  EXPECT_NE(e.find("FOREIGN KEY constraint failed"), std::string::npos) << e;
  EXPECT_NE(e.find("the 2 rows written since the last commit were lost"), std::string::npos) << e;
  EXPECT_FALSE(t->Active());
  EXPECT_FALSE(conn_->Database().InTransaction());
  EXPECT_EQ(Count(path_, "t"), 0);
  // The connection goes on: the next run commits.
  t->Open();
  Add(*t, 3, "1");
  t->Close();
  EXPECT_EQ(Count(path_, "t"), 1);
}

TEST_F(SqliteDataSets, CommitsEveryPostRecordsWritesAndWhenTheDatasetCloses) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT)");
  struct Case {
    int32_t postRecords;
    int64_t seenBeforeClose;
  };
  for (const Case c : {Case{3, 6}, Case{1, 7}, Case{0, 0}, Case{-1, 0}, Case{100, 0}}) {
    SCOPED_TRACE(c.postRecords);
    Exec("DELETE FROM t");
    auto t = Table("t");
    t->SetPostRecords(c.postRecords);
    t->Open();
    for (int i = 1; i <= 7; ++i) Add(*t, i, "n");
    EXPECT_EQ(Count(path_, "t"), c.seenBeforeClose);  // a second connection sees committed rows only
    EXPECT_EQ(conn_->PendingWrites(), 7 - c.seenBeforeClose);
    t->Close();
    EXPECT_EQ(Count(path_, "t"), 7);
  }
  auto t = Table("t");
  t->SetPostRecords(0);
  t->Open();
  Add(*t, 8, "n");
  t->Commit();
  EXPECT_EQ(Count(path_, "t"), 8);
}

TEST_F(SqliteDataSets, AnAbandonedRunKeepsEverythingUpToTheLastCommit) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT)");
  conn_.reset();
  // A child process writes 25 rows committing every 10 and ends without closing anything.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto conn = std::make_shared<TSqliteConnection>(path_);
    auto* t = new TSqliteTableDataSet(conn);  // never closed: the process just ends
    t->SetTableName("t");
    t->SetPostRecords(10);
    t->Open();
    for (int i = 1; i <= 25; ++i) Add(*t, i, "n");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(Count(path_, "t"), 20);
  // Dropping a connection with an open transaction (no close) rolls back that transaction only.
  conn_ = std::make_shared<TSqliteConnection>(path_);
  {
    TSqliteTableDataSet t(conn_);
    t.SetTableName("t");
    t.SetPostRecords(0);
    t.Open();
    Add(t, 26, "n");
    conn_->Database().Rollback();  // as a lost connection would
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { t.Close(); }).find("1 row written since the last commit was lost"),
              std::string::npos);
  }
  EXPECT_EQ(Count(path_, "t"), 20);
}

// ---- Locate -------------------------------------------------------------------------------------

TEST_F(SqliteDataSets, LocateByOneOrSeveralKeysWithTheOptions) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT, CITY VARCHAR(20), PRICE REAL, DAY DATE);"
       "INSERT INTO t VALUES (1, 'Apple', 'Rome', 1.5, '2024-01-02'), (2, 'banana', 'Oslo', 2, '2024-01-03'),"
       " (3, 'Cherry', NULL, 3.25, '2024-01-04 00:00:00'), (4, 'apple pie', 'Rome', 4, NULL),"
       " (7, 'Apple', 'Oslo', 7, '2024-01-05')");
  auto t = Table("t");
  t->Open();
  struct Case {
    const char* fields;
    TVariant key;
    TLocateOptions options;
    int64_t foundId;  // 0: not found
  };
  const TLocateOptions ci = LocateOptionBit(loCaseInsensitive), pk = LocateOptionBit(loPartialKey);
  const Case cases[] = {
      {"ID", TVariant(3), 0, 3},
      {"ID", TVariant("7"), 0, 7},  // numbers compare by value
      {"ID", TVariant(7.0), 0, 7},
      {"ID", TVariant(7.5), 0, 0},
      {"ID", TVariant("x"), 0, 0},
      {"PRICE", TVariant(2), 0, 2},
      {"PRICE", TVariant("3.25"), 0, 3},
      {"NAME", TVariant("apple"), 0, 0},
      {"NAME", TVariant("apple"), ci, 1},
      {"NAME", TVariant("APP"), static_cast<TLocateOptions>(ci | pk), 1},
      {"NAME", TVariant("app"), pk, 4},
      {"NAME", TVariant("Cherry pie"), pk, 0},
      {"CITY", TVariant::Null(), 0, 3},
      {"CITY", TVariant::Null(), pk, 3},
      {"NAME;CITY", TVariant::Array({"Apple", "Oslo"}), 0, 7},
      {"name;city", TVariant::Array({"APPLE", "oslo"}), ci, 7},
      {"ID;NAME", TVariant::Array({"1", "Apple"}), 0, 1},
      {"ID;NAME", TVariant::Array({2, "Apple"}), 0, 0},
      {"DAY", TVariant::FromDateTime(45295), 0, 3},  // 2024-01-04 stored with a time of midnight
      {"DAY", TVariant("2024-01-05"), 0, 7},
      {"DAY", TVariant::Null(), 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fields) + " = " + (c.key.IsArray() ? "array" : c.key.AsString()));
    t->Last();
    t->Prior();  // on ID 4
    const bool found = t->Locate(c.fields, c.key, c.options);
    EXPECT_EQ(found, c.foundId != 0);
    EXPECT_EQ(t->FieldByName("ID").AsInteger(), c.foundId ? c.foundId : 4);  // not found: the cursor stays
    EXPECT_FALSE(t->Eof());
    if (found) {
      t->Next();  // the cursor goes on from the row found
      EXPECT_TRUE(t->Eof() || t->FieldByName("ID").AsInteger() > c.foundId);
    }
  }
  // Rows written by the dataset itself are found.
  Add(*t, 99, "fresh");
  t->First();
  EXPECT_TRUE(t->Locate("NAME", TVariant("fresh")));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 99);
  EXPECT_EQ(t->RecNo(), 6);
}

// Append-or-update as a keyed run drives it: locate, then edit the row found
// (the cursor stands on the locate's own row) or append; the same locate
// again right after its row was changed; and a locate that misses leaves
// the cursor on the row before.
TEST_F(SqliteDataSets, LocateThenEditOrAppendByKeyRepeatedly) {
  Exec("CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT, QTY INT);"
       "INSERT INTO t VALUES (1, 'a', 1), (2, 'b', 2), (3, 'c', 3)");
  auto t = Table("t");
  t->SetPostRecords(2);
  t->Open();
  struct Step {
    int64_t id;
    const char* name;
  };
  const Step steps[] = {{2, "B"}, {2, "BB"}, {9, "new"}, {1, "A"}, {9, "NEW"}, {3, "C"}, {10, "ten"}, {2, "B3"}};
  for (const Step& s : steps) {
    SCOPED_TRACE(s.id);
    if (t->Locate("ID", TVariant(s.id))) {
      EXPECT_EQ(t->FieldByName("ID").AsInteger(), s.id);
      t->Edit();
    } else {
      t->Append();
      t->FieldByName("ID").SetAsInteger(s.id);
    }
    t->FieldByName("NAME").SetAsString(s.name);
    t->FieldByName("QTY").SetAsInteger(s.id * 10);
    t->Post();
    EXPECT_EQ(t->FieldByName("NAME").AsString(), s.name);
  }
  ASSERT_TRUE(t->Locate("ID", TVariant(3)));
  EXPECT_FALSE(t->Locate("ID", TVariant(77)));
  EXPECT_EQ(t->FieldByName("NAME").AsString(), "C");  // still on ID 3
  t->Next();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 9);
  t->Close();
  TSqliteDatabase db(path_, TSqliteOpenMode::ReadOnly);
  auto q = db.Prepare("SELECT group_concat(ID || ':' || NAME || ':' || QTY, ' ') FROM (SELECT * FROM t ORDER BY ID)");
  ASSERT_TRUE(q->Step());
  EXPECT_EQ(q->Column(0).AsString(), "1:A:10 2:B3:20 3:C:30 9:NEW:90 10:ten:100");
}

// ---- Two connections on one file ----------------------------------------------------------------

TEST_F(SqliteDataSets, TwoWritersOnOneFileWaitForEachOtherAndAReaderGoesOnMeanwhile) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT); INSERT INTO t VALUES (0, 'seed')");
  constexpr int kRows = 400;
  std::atomic<int> failures{0};
  std::atomic<bool> writing{true};
  auto writer = [&](int base) {
    try {
      auto conn = std::make_shared<TSqliteConnection>(path_);
      TSqliteTableDataSet t(conn);
      t.SetTableName("t");
      t.SetPostRecords(25);
      t.Open();
      for (int i = 1; i <= kRows; ++i) Add(t, base + i, "w");
      t.Close();
    } catch (const Exception& e) {
      ADD_FAILURE() << "writer: " << e.Message();
      ++failures;
    }
  };
  auto reader = [&] {
    try {
      auto conn = std::make_shared<TSqliteConnection>(path_);
      while (writing) {
        TSqliteTableDataSet t(conn);
        t.SetTableName("t");
        t.Open();
        int64_t rows = 0;
        for (t.First(); !t.Eof(); t.Next()) ++rows;
        if (rows < 1) ++failures;
      }
    } catch (const Exception& e) {
      ADD_FAILURE() << "reader: " << e.Message();
      ++failures;
    }
  };
  std::thread r(reader);
  std::thread a(writer, 1000), b(writer, 2000);
  a.join();
  b.join();
  writing = false;
  r.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Count(path_, "t"), 1 + 2 * kRows);
}

// ---- Queries ----------------------------------------------------------------------------------------

TEST_F(SqliteDataSets, AQueryRunsOncePerWalk) {
  Exec("CREATE TABLE t(ID INTEGER, NAME VARCHAR(10)); INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c')");
  TSqliteQueryDataSet q(conn_);
  q.SetSQL("SELECT ID, NAME, ID * 2 AS TWICE, 'x' || NAME, 1.5 AS R, NULL AS N, ID AS id FROM t ORDER BY ID");
  q.Open();
  EXPECT_EQ(q.ExecutionCount(), 1);
  EXPECT_TRUE(q.IsUniDirectional());
  EXPECT_FALSE(q.CanModify());
  const TFieldDefs& d = q.FieldDefs();
  ASSERT_EQ(d.Count(), 7);
  EXPECT_EQ(d[0].DataType, ftLargeint);
  EXPECT_EQ(d[1].DataType, ftString);
  EXPECT_EQ(d[1].Size, 10);
  EXPECT_EQ(d[2].DataType, ftLargeint);  // from the first row
  EXPECT_EQ(d[3].DataType, ftMemo);
  EXPECT_EQ(d[4].DataType, ftFloat);
  EXPECT_EQ(d[5].DataType, ftMemo);
  EXPECT_EQ(d[6].Name, "id_1");  // a repeated name
  q.First();
  EXPECT_EQ(Walk(q, "NAME"), (Names{"a", "b", "c"}));
  EXPECT_EQ(q.ExecutionCount(), 1);
  EXPECT_EQ(q.FieldByName("TWICE").AsInteger(), 6);  // Eof stays on the last record
  EXPECT_EQ(q.RecNo(), 3);
  q.First();
  EXPECT_EQ(q.ExecutionCount(), 2);
  EXPECT_EQ(q.FieldByName("NAME").AsString(), "a");
  q.First();  // still on the first row, nothing read beyond it
  EXPECT_EQ(q.ExecutionCount(), 2);
  EXPECT_EQ(Walk(q, "ID"), (Names{"1", "2", "3"}));
  EXPECT_EQ(q.ExecutionCount(), 2);
  EXPECT_THROW(q.Prior(), EDatabaseError);
  EXPECT_THROW(q.Last(), EDatabaseError);
  std::string sql;
  EXPECT_TRUE(q.GetPublishedString("SQL", sql));
  EXPECT_EQ(sql, q.SQL());
  q.SetSQL("SELECT * FROM t WHERE ID > 5");
  EXPECT_FALSE(q.Active());
  q.Open();
  EXPECT_TRUE(q.IsEmpty());
  q.First();
  EXPECT_EQ(q.ExecutionCount(), 3);
}

TEST_F(SqliteDataSets, BadSettingsAreClearErrors) {
  Exec("CREATE TABLE t(ID INTEGER); CREATE VIEW v AS SELECT * FROM t; CREATE TABLE w(k INTEGER PRIMARY KEY, x) "
       "WITHOUT ROWID; CREATE TABLE h(rowid, _rowid_, oid)");
  struct Case {
    const char* what;
    std::function<void()> run;
    const char* error;
  };
  auto table = [&](const char* name, std::shared_ptr<TSqliteConnection> c) {
    return [name, c] {
      TSqliteTableDataSet t(c);
      t.SetTableName(name);
      t.Open();
    };
  };
  auto query = [&](const char* sql, std::shared_ptr<TSqliteConnection> c) {
    return [sql, c] {
      TSqliteQueryDataSet q(c);
      q.SetSQL(sql);
      q.Open();
    };
  };
  const Case cases[] = {
      {"table without connection", table("t", nullptr), "Cannot open the table: no database connection is set"},
      {"query without connection", query("SELECT 1", nullptr), "Cannot open the query: no database connection is set"},
      {"no table name", table("", conn_), "Cannot open the table: no table name is set"},
      {"missing table", table("nope", conn_), "no such table: nope"},
      {"a view", table("v", conn_), "it is a view; open it with a query"},
      {"without rowid", table("w", conn_), "a table without rowid opens with a query"},
      {"rowid hidden", table("h", conn_), "its columns hide the rowid"},
      {"bad SQL", query("SELEC 1", conn_), "cannot prepare the statement: near \"SELEC\": syntax error"},
      {"missing table in SQL", query("SELECT * FROM nope", conn_), "no such table: nope"},
      {"not a SELECT", query("DELETE FROM t", conn_), "only a statement that reads rows (SELECT)"},
      {"RETURNING", query("INSERT INTO t VALUES (1) RETURNING ID", conn_), "only a statement that reads rows"},
      {"two statements", query("SELECT 1; SELECT 2", conn_), "more than one statement"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string e = ErrorOf<EDatabaseError>(c.run);
    EXPECT_NE(e.find(c.error), std::string::npos) << e;
  }
  EXPECT_EQ(Count(path_, "t"), 0);
}

TEST_F(SqliteDataSets, AReadOnlyConnectionOpensTablesThatCannotBeModified) {
  Exec("CREATE TABLE t(ID INTEGER, NAME TEXT); INSERT INTO t VALUES (1, 'a')");
  auto ro = std::make_shared<TSqliteConnection>(path_, TSqliteOpenMode::ReadOnly);
  TSqliteTableDataSet t(ro);
  t.SetTableName("t");
  t.Open();
  EXPECT_FALSE(t.CanModify());
  EXPECT_THROW(t.Append(), EDatabaseError);
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "a");
}

// Whether a locate by the key fields can search an index, as the table's
// index definitions tell (a run warns when it cannot).
TEST_F(SqliteDataSets, TheIndexALocateByKeyFieldsCanSearch) {
  struct Case {
    const char* schema;
    const char* keys;
    const char* index;  // the index found, "" for none
  };
  const Case cases[] = {
      {"CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT)", "ID", "PRIMARY"},
      {"CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT)", "id", "PRIMARY"},
      {"CREATE TABLE t(ID INTEGER PRIMARY KEY, NAME TEXT)", "NAME", ""},
      {"CREATE TABLE t(ID INTEGER, NAME TEXT)", "ID", ""},
      {"CREATE TABLE t(A INT, B INT, C INT, PRIMARY KEY (A, B))", "B", ""},
      {"CREATE TABLE t(A INT, B INT, C INT, PRIMARY KEY (A, B))", "C; A", "PRIMARY"},
      {"CREATE TABLE t(A INT, B INT UNIQUE, C INT)", "B", "sqlite_autoindex_t_1"},
      {"CREATE TABLE t(A INT, B TEXT); CREATE INDEX t_ab ON t(A, B)", "B;A", "t_ab"},
      {"CREATE TABLE t(A INT, B TEXT); CREATE INDEX t_lower ON t(lower(B))", "B", ""},
      {"CREATE TABLE t(A INT, B TEXT); CREATE INDEX t_b ON t(B)", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.schema) + " / " + c.keys);
    Exec("DROP TABLE IF EXISTS t");
    Exec(c.schema);
    auto t = Table("t");
    t->Open();
    const TIndexDef* found = t->IndexDefs().FindForKeys(c.keys);
    EXPECT_EQ(found ? found->Name : std::string(), c.index);
  }
}

}  // namespace
}  // namespace kv
