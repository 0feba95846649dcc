// The native PostgreSQL engines against a private server: tables created
// from definitions and read back (types, NULLs, Chinese text, bytes),
// appends streamed through COPY with refused rows found one by one, the
// cursor, locate, edit and delete, tables without a key, a source and a
// destination sharing one connection, queries, the kinds on PostgreSQL,
// two writers on two threads, a server stopped mid-run, and passwords kept
// out of every message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "data/DataBaseInfo.h"
#include "data/Connections.h"
#include "data/PgConnection.h"
#include "data/PgDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "testsupport/Errors.h"
#include "testsupport/PgTestServer.h"

using namespace kv;
using kvtest::ErrorOf;
using kvtest::PgTestServer;

namespace {

::testing::Environment* const kServer = ::testing::AddGlobalTestEnvironment(new kvtest::PgTestEnvironment);

PgTestServer& Server() { return PgTestServer::Shared(); }

TPgConnectParams TcpParams() {
  const PgTestServer& s = Server();
  return {s.Host() + ":" + std::to_string(s.Port()), s.DbName(), s.User(), s.Password()};
}

std::shared_ptr<TPgConnection> Connect() { return std::make_shared<TPgConnection>(TcpParams()); }

int64_t Count(const std::string& table) { return std::stoll(Server().Psql("select count(*) from " + table)); }

class PgDataSets : public ::testing::Test {
protected:
  std::shared_ptr<TPgConnection> conn = Connect();

  // A dataset on `table` (dropped first) with id bigint primary key, code varchar(10), price numeric(10,2)
  // (lower-case names: the table is created with quoted names, and SQL text folds unquoted ones).
  std::unique_ptr<TPgTableDataSet> Orders(const std::string& table, int32_t postRecords = 100, bool key = true) {
    Server().Psql("drop table if exists " + table);
    auto t = std::make_unique<TPgTableDataSet>(conn);
    t->SetTableName(table);
    t->SetPostRecords(postRecords);
    t->FieldDefs().Add("id", ftLargeint, 0, true);
    t->FieldDefs().Add("code", ftString, 10);
    TFieldDef& price = t->FieldDefs().Add("price", ftFMTBcd, 10);
    price.Precision = 2;
    if (key) t->IndexDefs().Add("", "id", static_cast<TIndexOptions>(1u << ixPrimary));
    t->IndexDefs().Add(table + "_code", "code", static_cast<TIndexOptions>(1u << ixUnique));
    EXPECT_TRUE(t->CreateTable());
    t->Open();
    return t;
  }

  static void Add(TDataSet& t, int64_t id, const std::string& code, double price) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(id));
    if (!code.empty()) t.FieldByName("CODE").SetValue(TVariant(code));
    t.FieldByName("PRICE").SetValue(TVariant(price));
    t.Post();
  }

  static std::vector<int64_t> Ids(TDataSet& t, bool backward = false) {
    std::vector<int64_t> ids;
    if (backward)
      for (t.Last(); !t.Bof(); t.Prior()) ids.push_back(t.FieldByName("ID").AsInteger());
    else
      for (t.First(); !t.Eof(); t.Next()) ids.push_back(t.FieldByName("ID").AsInteger());
    return ids;
  }
};

TEST_F(PgDataSets, FieldAndIndexDefinitionsRoundTripThroughCreateTable) {
  Server().Psql("drop table if exists kinds");
  TPgTableDataSet t(conn);
  t.SetTableName("Kinds");  // created quoted, exactly so
  struct TCase {
    const char* name;
    TFieldType type;
    int size, precision;
    const char* typeName;  // as the server names it
  } cases[] = {
      {"S", ftString, 20, 0, "character varying(20)"}, {"F", ftFixedChar, 3, 0, "character(3)"},
      {"M", ftMemo, 0, 0, "text"},           {"I2", ftSmallint, 0, 0, "smallint"},
      {"I4", ftInteger, 0, 0, "integer"},    {"I8", ftLargeint, 0, 0, "bigint"},
      {"B", ftBoolean, 0, 0, "boolean"},     {"D", ftFloat, 0, 0, "double precision"},
      {"N", ftFMTBcd, 10, 2, "numeric(10,2)"}, {"DT", ftDate, 0, 0, "date"},
      {"TM", ftTime, 0, 0, "time without time zone"}, {"TS", ftDateTime, 0, 0, "timestamp without time zone"},
      {"BL", ftBlob, 0, 0, "bytea"},         {"G", ftGuid, 38, 0, "uuid"},
  };
  for (const TCase& c : cases) {
    TFieldDef& d = t.FieldDefs().Add(c.name, c.type, c.size, std::string(c.name) == "I8");
    d.Precision = c.precision;
  }
  t.FieldDefs()[0].DataTypeName = "VARCHAR2";  // another server's name: the type comes from DataType
  t.IndexDefs().Add("", "I8", static_cast<TIndexOptions>(1u << ixPrimary));
  t.IndexDefs().Add("kinds_s_i4", "S;I4", 0);
  ASSERT_TRUE(t.CreateTable());
  EXPECT_FALSE(t.CreateTable());
  t.Open();
  ASSERT_EQ(t.FieldDefs().Count(), static_cast<int>(std::size(cases)));
  for (int i = 0; i < t.FieldDefs().Count(); ++i) {
    const TFieldDef& d = t.FieldDefs()[i];
    SCOPED_TRACE(d.Name);
    EXPECT_EQ(d.DataType, cases[i].type);
    EXPECT_EQ(d.Size, cases[i].size);
    EXPECT_EQ(d.Precision, cases[i].precision);
    EXPECT_EQ(d.DataTypeName, cases[i].typeName);
    EXPECT_EQ(d.Required(), d.Name == "I8");
    EXPECT_EQ(PgDeclaredTypeOf(d), cases[i].typeName);
  }
  ASSERT_EQ(t.IndexDefs().Count(), 2);
  EXPECT_TRUE(t.IndexDefs()[0].Has(ixPrimary));
  EXPECT_EQ(t.IndexDefs()[0].Fields, "I8");
  EXPECT_EQ(t.IndexDefs()[1].Name, "kinds_s_i4");
  EXPECT_EQ(t.IndexDefs()[1].Fields, "S;I4");
  t.Close();
  Server().Psql("drop table \"Kinds\"");
}

TEST_F(PgDataSets, ValuesNullsChineseTextAndBytesComeBackAsWritten) {
  Server().Psql("drop table if exists vals; create table vals(id int primary key, s text, n numeric(12,3), b boolean,"
                " d date, t time, ts timestamp, tz timestamptz, f float8, bl bytea, m money)");
  const std::string bytes("a\0\x01\xff\\", 5);
  const std::string text = "中文 text\twith\ttabs\nnewline \\backslash \\N";
  for (int32_t post : {100, 1}) {  // through COPY, and through COPY batches of one row
    Server().Psql("truncate vals");
    TPgTableDataSet t(conn);
    t.SetTableName("vals");
    t.SetPostRecords(post);
    t.Open();
    t.Append();
    t.FieldByName("id").SetValue(TVariant(1));
    t.FieldByName("s").SetValue(TVariant(text));
    t.FieldByName("n").SetValue(TVariant(-1234.125));
    t.FieldByName("b").SetValue(TVariant(true));
    t.FieldByName("d").SetValue(TVariant::FromDateTime(EncodeDate(2024, 2, 29)));
    t.FieldByName("t").SetValue(TVariant::FromDateTime(EncodeTime(13, 45, 10, 250)));
    t.FieldByName("ts").SetValue(TVariant::FromDateTime(EncodeDateTime(1999, 12, 31, 23, 59, 58, 7)));
    t.FieldByName("tz").SetValue(TVariant("2020-01-02 03:04:05"));
    t.FieldByName("f").SetValue(TVariant(0.1));
    t.FieldByName("bl").SetValue(TVariant(bytes));
    t.FieldByName("m").SetValue(TVariant(12.5));
    t.Post();
    t.Append();
    t.FieldByName("id").SetValue(TVariant(2));  // everything else NULL
    t.Post();
    t.Close();

    t.Open();
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.FieldByName("s").AsString(), text);
    EXPECT_EQ(t.FieldByName("n").AsFloat(), -1234.125);
    EXPECT_TRUE(t.FieldByName("b").AsBoolean());
    EXPECT_EQ(t.FieldByName("d").AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(t.FieldByName("t").AsString(), "13:45:10.250");
    EXPECT_EQ(t.FieldByName("ts").AsDateTime(), EncodeDateTime(1999, 12, 31, 23, 59, 58, 7));
    EXPECT_EQ(t.FieldByName("tz").AsDateTime(), EncodeDateTime(2020, 1, 2, 3, 4, 5));
    EXPECT_EQ(t.FieldByName("f").AsFloat(), 0.1);
    EXPECT_EQ(t.FieldByName("bl").AsString(), bytes);
    EXPECT_EQ(t.FieldByName("m").AsFloat(), 12.5);
    t.Next();
    for (const char* f : {"s", "n", "b", "d", "t", "ts", "tz", "f", "bl", "m"}) EXPECT_TRUE(t.FieldByName(f).IsNull()) << f;
    t.Close();
  }
  EXPECT_EQ(Server().Psql("select s = E'中文 text\\twith\\ttabs\\nnewline \\\\backslash \\\\N' from vals where id = 1"), "t\n");

  TPgQueryDataSet q(conn);
  q.SetSQL("select s, bl, n from vals order by id");
  q.Open();
  EXPECT_EQ(q.FieldByName("s").AsString(), text);
  EXPECT_EQ(q.FieldByName("bl").AsString(), bytes);
  EXPECT_EQ(q.FieldByName("n").AsFloat(), -1234.125);
  q.Next();
  EXPECT_TRUE(q.FieldByName("s").IsNull());
}

TEST_F(PgDataSets, AppendsGoThroughCopyInBatchesAndTheCursorWalksBothWays) {
  auto t = Orders("walk", 100);
  for (int i = 1; i <= 1050; ++i) Add(*t, i, "C" + std::to_string(i), i * 0.5);
  EXPECT_EQ(t->RecordCount(), 1050);
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 1050);  // on the appended row
  t->Commit();
  EXPECT_EQ(t->CopyBatches(), 11);
  EXPECT_EQ(Count("walk"), 1050);

  std::vector<int64_t> ids = Ids(*t);
  ASSERT_EQ(ids.size(), 1050u);
  for (size_t i = 0; i < ids.size(); ++i) ASSERT_EQ(ids[i], static_cast<int64_t>(i + 1));
  ids = Ids(*t, true);
  ASSERT_EQ(ids.size(), 1050u);
  EXPECT_EQ(ids.front(), 1050);
  EXPECT_EQ(ids.back(), 1);

  t->SetRecNo(777);
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 777);
  const TBookmark mark = t->GetBookmark();
  t->Next();
  EXPECT_EQ(t->RecNo(), 778);
  t->First();
  EXPECT_EQ(t->RecNo(), 1);
  t->GotoBookmark(mark);
  EXPECT_EQ(t->FieldByName("CODE").AsString(), "C777");
  EXPECT_EQ(t->RecNo(), 777);
  EXPECT_THROW(t->SetRecNo(1051), EDatabaseError);
}

TEST_F(PgDataSets, RowsAreLocatedEditedDeletedAndEmptied) {
  auto t = Orders("led", 2);
  for (int i = 1; i <= 6; ++i) Add(*t, i, "Code" + std::to_string(i), i);
  struct TCase {
    const char* fields;
    TVariant values;
    TLocateOptions options;
    int64_t found;  // 0: not found
  } cases[] = {
      {"ID", TVariant(4), 0, 4},
      {"ID;CODE", TVariant::Array({2, "Code2"}), 0, 2},
      {"ID;CODE", TVariant::Array({2, "Code3"}), 0, 0},
      {"CODE", TVariant("code5"), 0, 0},
      {"CODE", TVariant("code5"), LocateOptionBit(loCaseInsensitive), 5},
      {"CODE", TVariant("Code"), LocateOptionBit(loPartialKey), 1},
      {"CODE", TVariant("CODE6"), LocateOptionBit(loPartialKey) | LocateOptionBit(loCaseInsensitive), 6},
      {"ID", TVariant("not a number"), 0, 0},
      {"PRICE", TVariant(3.0), 0, 3},
      {"CODE", TVariant::Null(), 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.fields + std::string(" ") + (c.values.IsArray() ? c.values.Element(1).AsString() : c.values.AsString()));
    t->First();
    EXPECT_EQ(t->Locate(c.fields, c.values, c.options), c.found != 0);
    EXPECT_EQ(t->FieldByName("ID").AsInteger(), c.found ? c.found : 1);
  }
  ASSERT_TRUE(t->Locate("ID", TVariant(3)));
  t->Edit();
  t->FieldByName("CODE").SetValue(TVariant("changed"));
  t->FieldByName("ID").SetValue(TVariant(30));  // the key itself changes
  t->Post();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 30);
  t->Next();
  EXPECT_TRUE(t->Eof());
  ASSERT_TRUE(t->Locate("ID", TVariant(4)));
  t->Delete();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 5);  // the row that followed
  EXPECT_EQ(t->RecordCount(), 5);
  t->Last();
  t->Delete();
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 6);  // the new last row
  t->Close();
  EXPECT_EQ(Server().Psql("select string_agg(id || ':' || code, ',' order by id) from led"),
            "1:Code1,2:Code2,5:Code5,6:Code6\n");
  t->Open();
  EXPECT_EQ(t->EmptyTable(), 4);
  EXPECT_TRUE(t->IsEmpty());
  t->Close();
  EXPECT_EQ(Count("led"), 0);
}

TEST_F(PgDataSets, RefusedAppendsAreFoundOneByOneWhileTheOthersLand) {
  auto t = Orders("refused", 5);
  std::vector<std::pair<int64_t, std::string>> refused;
  t->OnRefusedRow = [&](const std::vector<TVariant>& values, const std::string& message) {
    refused.emplace_back(values[0].AsInteger(), message);
  };
  // Rows 3 (a duplicate key) and 7 (a duplicate code) among good ones, in two COPY batches.
  for (int i = 1; i <= 10; ++i) Add(*t, i == 3 ? 2 : i, i == 7 ? "C1" : "C" + std::to_string(i), i);
  t->Commit();
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[0].first, 2);
  EXPECT_NE(refused[0].second.find("duplicate key"), std::string::npos) << refused[0].second;
  EXPECT_EQ(refused[1].first, 7);
  EXPECT_EQ(t->RefusedRows(), 2);
  EXPECT_EQ(Count("refused"), 8);
  EXPECT_EQ(t->RecordCount(), 8);

  // Without a handler the flush names the refused row, after the others landed.
  t->OnRefusedRow = nullptr;
  Add(*t, 11, "C11", 1);
  Add(*t, 12, "C11", 1);
  const std::string error = ErrorOf<EDatabaseError>([&] { t->Commit(); });
  EXPECT_NE(error.find("refused 1 of 2"), std::string::npos) << error;
  EXPECT_NE(error.find("row 2 of the batch"), std::string::npos) << error;
  EXPECT_EQ(Count("refused"), 9);
}

// AppendRecords, as a writer thread calls it: the rows before a refused
// one are stored, its error is raised, the rows after it are not sent; the
// caller goes on after it. Commits come every PostRecords rows.
TEST_F(PgDataSets, AppendRecordsStopsAtTheRefusedRowAndCommitsEveryPostRecordsRows) {
  auto t = Orders("appendrecords", 10);
  t->DisableControls();
  ASSERT_TRUE(t->AppendRecordsSettle());
  std::vector<TField*> fields{&t->FieldByName("ID"), &t->FieldByName("CODE"), &t->FieldByName("PRICE")};
  // 48 rows; 4 (a duplicate key), 21 (a duplicate code) and 47 (the last) are refused.
  std::vector<TVariant> values;
  for (int i = 0; i < 48; ++i) {
    values.emplace_back(TVariant(int64_t{i == 4 || i == 47 ? 3 : i}));
    values.emplace_back(TVariant(i == 21 ? std::string("C1") : "C" + std::to_string(i)));
    values.emplace_back(TVariant(std::to_string(i) + ".5"));  // converted to the field's kind
  }
  std::vector<int64_t> failed;
  for (size_t next = 0; next < 48;) {
    size_t appended = 0;
    try {
      t->AppendRecords(fields.data(), values.data() + next * 3, 3, 48 - next, appended);
      next = 48;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find("duplicate key"), std::string::npos) << e.Message();
      failed.push_back(static_cast<int64_t>(next + appended));
      EXPECT_EQ(t->State(), dsInsert);
      t->Cancel();
      next += appended + 1;
    }
  }
  EXPECT_EQ(failed, (std::vector<int64_t>{4, 21, 47}));
  EXPECT_EQ(conn->Commits(), 4);
  EXPECT_EQ(conn->PendingWrites(), 5);
  t->Commit();
  EXPECT_EQ(Count("appendrecords"), 45);
  EXPECT_EQ(Server().Psql("select sum(price) from appendrecords where id <> 3"), "1075.00\n");
  EXPECT_EQ(t->RecordCount(), 45);
}

// The binary COPY of AppendRecords against the text format: the same rows
// go into a table whose columns all have a binary form and into one that
// also has a numeric column (so it is sent as text). What lands, the rows
// refused and their errors must be the same.
class PgBinaryCopy : public PgDataSets {
protected:
  static constexpr const char* kColumns =
      "k int primary key, b boolean, s smallint, i integer, l bigint, f float8, t text, v varchar(6), c char(3), "
      "d date, ts timestamp";
  static constexpr const char* kRead = "select k, b, s, i, l, f, t, v, c, d, ts from %s order by k";

  struct TOutcome {
    std::vector<std::pair<size_t, std::string>> refused;  // row index, the error's first line
    std::string stored;                                  // the table as psql shows it
    int64_t rows = 0;
    int64_t binaryCopies = 0;
  };

  // Appends `rows` (values of k, b, s, ..., ts) through AppendRecords as a
  // writer thread does, going on after each refused row.
  TOutcome Append(bool textOnly, const std::vector<std::vector<TVariant>>& rows) {
    const std::string table = "binary_copy";
    Server().Psql("drop table if exists " + table + "; create table " + table + "(" + kColumns +
                  (textOnly ? ", n numeric)" : ")"));
    TPgTableDataSet t(conn);
    t.SetTableName(table);
    t.SetPostRecords(4);
    t.Open();
    t.DisableControls();
    std::vector<TField*> fields;
    for (const char* name : {"k", "b", "s", "i", "l", "f", "t", "v", "c", "d", "ts"}) fields.push_back(&t.FieldByName(name));
    std::vector<TVariant> values;
    for (const auto& row : rows) values.insert(values.end(), row.begin(), row.end());
    const size_t width = fields.size();
    TOutcome out;
    for (size_t next = 0; next < rows.size();) {
      size_t appended = 0;
      try {
        t.AppendRecords(fields.data(), values.data() + next * width, width, rows.size() - next, appended);
        next = rows.size();
      } catch (const Exception& e) {
        out.refused.emplace_back(next + appended, e.Message().substr(0, e.Message().find('\n')));
        t.Cancel();
        next += appended + 1;
      }
    }
    t.Commit();
    out.binaryCopies = t.BinaryCopyBatches();
    char sql[128];
    std::snprintf(sql, sizeof sql, kRead, table.c_str());
    out.stored = Server().Psql(sql);
    out.rows = Count(table);
    return out;
  }

  static std::vector<TVariant> Row(int k, TVariant b, TVariant s, TVariant i, TVariant l, TVariant f, TVariant t,
                                   TVariant v, TVariant c, TVariant d, TVariant ts) {
    return {TVariant(k), b, s, i, l, f, t, v, c, d, ts};
  }
  static TVariant Date(double days) { return TVariant::FromDateTime(days); }
};

TEST_F(PgBinaryCopy, StoresWhatTheTextFormatStores) {
  const TVariant null = TVariant::Null();
  const TVariant unset;
  const std::vector<std::vector<TVariant>> rows = {
      // bounds of each integer, texts that the text format escapes, a leap day, milliseconds
      Row(1, TVariant(true), TVariant(-32768), TVariant(int64_t{-2147483648}), TVariant(INT64_MIN), TVariant(0.1),
          TVariant("中文\ttab\nline\rcr \\N"), TVariant("abc"), TVariant("x"), Date(EncodeDate(2024, 2, 29)),
          Date(EncodeDateTime(1999, 12, 31, 23, 59, 58, 7))),
      Row(2, TVariant(false), TVariant(32767), TVariant(2147483647), TVariant(INT64_MAX), TVariant(-0.0), TVariant(""),
          TVariant(""), TVariant(""), Date(EncodeDate(1, 1, 1)), Date(EncodeDateTime(9999, 12, 31, 23, 59, 59, 999))),
      Row(3, null, null, null, null, null, null, null, null, null, null),
      Row(4, unset, unset, unset, unset, unset, unset, unset, unset, unset, unset),
      // floats the text format spells out; dates before 2000 and the days' own start
      Row(5, null, null, null, null, TVariant(std::nan("")), null, null, null, Date(0), Date(0)),
      Row(6, null, null, null, null, TVariant(-HUGE_VAL), null, null, null, Date(-693593), Date(-1.25)),
      Row(7, null, null, null, null, TVariant(HUGE_VAL), null, null, null, Date(45000.75), Date(45000.75)),
      Row(8, null, TVariant(0), TVariant(0), TVariant(0), TVariant(5e-324), TVariant("  padded  "), TVariant("ü中"),
          TVariant("ab "), Date(36526), Date(36526.5)),
      Row(9, null, null, null, null, TVariant(1.7976931348623157e308), null, null, null, null, null),
      // numbers given as text, converted to the columns' kinds on the way
      Row(10, TVariant("true"), TVariant("12"), TVariant("-34"), TVariant("9007199254740993"), TVariant("2.5"),
          TVariant(42), TVariant(7), TVariant(1.5), TVariant("2001-02-03"), TVariant("2001-02-03 04:05:06")),
  };
  const TOutcome binary = Append(false, rows);
  const TOutcome text = Append(true, rows);
  EXPECT_GT(binary.binaryCopies, 0);
  EXPECT_EQ(text.binaryCopies, 0);
  EXPECT_TRUE(binary.refused.empty()) << binary.refused.front().second;
  EXPECT_EQ(binary.refused, text.refused);
  EXPECT_EQ(binary.stored, text.stored);
  EXPECT_NE(binary.stored.find("NaN"), std::string::npos) << binary.stored;
  EXPECT_EQ(binary.rows, 10);
}

// Rows the server refuses in a binary batch, and rows without a binary
// form (a date-time without a date: its text holds the time alone), fail
// as in the text format; the rows around them land, and later batches go
// binary again.
TEST_F(PgBinaryCopy, RefusedRowsAndRowsWithoutABinaryFormFailAsInTheTextFormat) {
  const TVariant null = TVariant::Null();
  std::vector<std::vector<TVariant>> rows;
  for (int k = 1; k <= 16; ++k) {
    TVariant v("ok"), t("text"), ts = TVariant::FromDateTime(45000 + k);
    int key = k;
    if (k == 3) v = TVariant("toolong");                 // longer than varchar(6)
    if (k == 5) t = TVariant(std::string("bad \xff utf-8"));  // not UTF-8
    if (k == 7) ts = TVariant::FromDateTime(0.25);       // a time alone: no binary form, and no timestamp
    if (k == 9) key = 8;                                 // a duplicate key
    TVariant d = k == 11 ? TVariant::FromDateTime(-700000) : null;  // before the year 1: no text either
    TVariant i = k == 13 ? TVariant(int64_t{3000000000}) : null;     // beyond integer
    rows.push_back(Row(key, null, TVariant(k), i, null, null, t, v, null, d, ts));
  }
  const TOutcome binary = Append(false, rows);
  const TOutcome text = Append(true, rows);
  const std::vector<size_t> expected{2, 4, 6, 8, 10, 12};
  std::vector<size_t> failed;
  for (const auto& r : binary.refused) failed.push_back(r.first);
  EXPECT_EQ(failed, expected);
  EXPECT_EQ(binary.refused, text.refused);
  EXPECT_EQ(binary.stored, text.stored);
  EXPECT_EQ(binary.rows, 10);
  EXPECT_GE(binary.binaryCopies, 3);
}

// A value in COPY's binary format: its length and its bytes in network
// order; values without an exact binary form are declined (nothing written).
TEST(PgCopyBinary, ValuesAreWrittenInNetworkOrderOrDeclined) {
  enum : uint32_t { kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kFloat8 = 701, kDate = 1082,
                    kTimestamp = 1114, kNumeric = 1700 };
  struct Case {
    uint32_t oid;
    TFieldType type;
    TVariant value;
    const char* hex;  // nullptr: declined
  } cases[] = {
      {kInt4, ftInteger, TVariant::Null(), "ffffffff"},
      {kText, ftMemo, TVariant(), "ffffffff"},
      {kInt2, ftSmallint, TVariant(-2), "00000002fffe"},
      {kInt2, ftSmallint, TVariant(32768), nullptr},
      {kInt4, ftInteger, TVariant(int64_t{-2147483649}), nullptr},
      {kInt4, ftInteger, TVariant("5"), nullptr},
      {kInt8, ftLargeint, TVariant(int64_t{0x0102030405060708}), "000000080102030405060708"},
      {kFloat8, ftFloat, TVariant(1.0), "000000083ff0000000000000"},
      {kFloat8, ftFloat, TVariant(3), "000000084008000000000000"},
      {kFloat8, ftFloat, TVariant(-std::nan("")), "000000087ff8000000000000"},
      {kBool, ftBoolean, TVariant(true), "0000000101"},
      {kBool, ftBoolean, TVariant(1), nullptr},
      {kText, ftMemo, TVariant("a\tb"), "00000003610962"},
      {kText, ftBlob, TVariant("ab"), nullptr},
      {kDate, ftDate, TVariant::FromDateTime(EncodeDate(2000, 1, 2)), "0000000400000001"},
      {kDate, ftDate, TVariant::FromDateTime(EncodeDate(1999, 12, 31) + 0.5), "00000004ffffffff"},
      {kTimestamp, ftDateTime, TVariant::FromDateTime(EncodeDateTime(2000, 1, 1, 0, 0, 1, 5)), "0000000800000000000f55c8"},
      {kTimestamp, ftDateTime, TVariant::FromDateTime(0.5), nullptr},  // a time alone
      {kDate, ftDate, TVariant("2000-01-02"), nullptr},
      {kNumeric, ftFMTBcd, TVariant(1.5), nullptr},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    const bool written = AppendPgBinaryValue(out, c.oid, c.type, c.value);
    std::string hex;
    for (size_t i = 1; i < out.size(); ++i) {
      char b[3];
      std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(out[i]));
      hex += b;
    }
    if (!c.hex) {
      EXPECT_FALSE(written) << c.oid << " " << c.value.AsString();
      EXPECT_EQ(out, "x");
    } else {
      EXPECT_TRUE(written) << c.hex;
      EXPECT_EQ(hex, c.hex);
    }
  }
  EXPECT_TRUE(PgBinaryCopyType(kTimestamp));
  EXPECT_FALSE(PgBinaryCopyType(kNumeric));
  EXPECT_FALSE(PgBinaryCopyType(1184));  // timestamptz: read in the session's time zone
}

// A value in COPY's text format: PgTextOf's text with backslash, LF, CR and
// TAB escaped, "\\N" for null.
TEST(PgCopyText, ValuesAreWrittenAsPgTextOfWithTheEscapes) {
  struct Case {
    TFieldType type;
    TVariant value;
    const char* expected;
  } cases[] = {
      {ftString, TVariant::Null(), "\\N"},
      {ftString, TVariant(), "\\N"},
      {ftLargeint, TVariant(int64_t{-9007199254740993}), "-9007199254740993"},
      {ftFloat, TVariant(0.1), "0.1"},
      {ftFloat, TVariant(std::nan("")), "NaN"},
      {ftFloat, TVariant(-HUGE_VAL), "-Infinity"},
      {ftString, TVariant("a\tb\\c\nd\re"), "a\\tb\\\\c\\nd\\re"},
      {ftString, TVariant("\xE4\xB8\xAD"), "\xE4\xB8\xAD"},
      {ftBoolean, TVariant(true), "true"},
      {ftBlob, TVariant(std::string("\x01\n", 2)), "\\\\x010a"},
      {ftDate, TVariant::FromDateTime(45000.75), "2023-03-15"},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    AppendPgCopyValue(out, c.type, c.value);
    EXPECT_EQ(out, std::string("x") + c.expected) << c.expected;
  }
}

TEST_F(PgDataSets, ARefusedEditFailsAloneAndKeepsTheTransaction) {
  auto t = Orders("edits", 0);  // one transaction until close
  for (int i = 1; i <= 3; ++i) Add(*t, i, "C" + std::to_string(i), i);
  ASSERT_TRUE(t->Locate("ID", TVariant(2)));
  t->Edit();
  t->FieldByName("CODE").SetValue(TVariant("C1"));  // breaks the unique index
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("duplicate key"), std::string::npos);
  EXPECT_EQ(t->State(), dsEdit);
  t->Cancel();
  t->Edit();
  t->FieldByName("CODE").SetValue(TVariant("fine"));
  t->Post();
  t->Close();
  EXPECT_EQ(Server().Psql("select string_agg(code, ',' order by id) from edits"), "C1,fine,C3\n");
}

TEST_F(PgDataSets, ATableWithoutPrimaryKeyIsReadAndAppendedButNotChanged) {
  auto t = Orders("nokey", 100, false);
  for (int i = 1; i <= 3; ++i) Add(*t, i, "C" + std::to_string(i), i);
  t->Commit();
  EXPECT_EQ(Ids(*t), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(Ids(*t, true), (std::vector<int64_t>{3, 2, 1}));
  t->First();
  t->Edit();
  t->FieldByName("CODE").SetValue(TVariant("x"));
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }).find("has no primary key"), std::string::npos);
  t->Cancel();
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Delete(); }).find("has no primary key"), std::string::npos);
  EXPECT_EQ(Count("nokey"), 3);
}

TEST_F(PgDataSets, AKeylessTableIsWalkedAcrossPageRangesThatHoldNoRows) {
  // About 16 rows a page: 10,000 rows fill some 600 pages, and the deleted
  // middle leaves hundreds of empty pages behind (ranges of 256 are read at once).
  Server().Psql("drop table if exists sparse; create table sparse(id int, pad text);"
                "insert into sparse select i, repeat('x', 480) from generate_series(1, 10000) i;"
                "delete from sparse where id between 2000 and 9000; vacuum sparse;");
  TPgTableDataSet t(conn);
  t.SetTableName("sparse");
  t.Open();
  EXPECT_EQ(t.RecordCount(), 2999);
  std::vector<int64_t> ids = Ids(t);
  ASSERT_EQ(ids.size(), 2999u);
  EXPECT_EQ(ids[1998], 1999);
  EXPECT_EQ(ids[1999], 9001);
  EXPECT_EQ(ids.back(), 10000);
  std::vector<int64_t> back = Ids(t, true);
  std::reverse(back.begin(), back.end());
  EXPECT_EQ(back, ids);
}

TEST_F(PgDataSets, ASourceAndADestinationShareOneConnection) {
  auto source = Orders("copy_a", 100);
  for (int i = 1; i <= 1203; ++i) Add(*source, i, "C" + std::to_string(i), i);
  source->Commit();
  auto dest = Orders("copy_b", 100);
  // A table read in batches while the destination commits every 100 rows.
  for (source->First(); !source->Eof(); source->Next())
    Add(*dest, source->FieldByName("ID").AsInteger(), source->FieldByName("CODE").AsString(),
        source->FieldByName("PRICE").AsFloat());
  dest->Commit();
  EXPECT_EQ(Count("copy_b"), 1203);

  // A query read through its cursor while the destination (emptied first) commits.
  dest->EmptyTable();
  TPgQueryDataSet q(conn);
  q.SetSQL("select ID, CODE, PRICE from copy_a order by ID");
  q.Open();
  for (; !q.Eof(); q.Next())
    Add(*dest, q.FieldByName("ID").AsInteger() + 10000, q.FieldByName("CODE").AsString(), q.FieldByName("PRICE").AsFloat());
  dest->Close();
  EXPECT_EQ(q.ExecutionCount(), 1);
  EXPECT_EQ(Server().Psql("select count(*), sum(id) from copy_b"), "1203|" + std::to_string(1203 * 10000 + 1203 * 1204 / 2) + "\n");
}

TEST_F(PgDataSets, AQueryRunsOncePerWalkAndOtherStatementsRunOnce) {
  auto t = Orders("q", 100);
  for (int i = 1; i <= 1100; ++i) Add(*t, i, "C" + std::to_string(i), i);
  t->Close();
  TPgQueryDataSet q(conn);
  q.SetSQL("  SELECT id, code AS \"Code\", id * 2 AS id FROM q WHERE id > 100 ORDER BY 1");
  q.Open();
  ASSERT_EQ(q.FieldCount(), 3);
  EXPECT_EQ(q.Fields(0).DataType(), ftLargeint);
  EXPECT_EQ(q.Fields(2).FieldName(), "id_1");
  int rows = 0;
  for (q.First(); !q.Eof(); q.Next()) ++rows;
  EXPECT_EQ(rows, 1000);
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1100);  // still on the last row
  EXPECT_EQ(q.ExecutionCount(), 1);
  q.First();
  EXPECT_EQ(q.FieldByName("Code").AsString(), "C101");
  EXPECT_EQ(q.ExecutionCount(), 2);
  q.Close();

  q.SetSQL("update q set code = 'u' || id where id <= 2 returning id");
  q.Open();
  EXPECT_EQ(q.FieldByName("id").AsInteger(), 1);
  q.Close();
  EXPECT_EQ(Server().Psql("select count(*) from q where code like 'u_'"), "2\n");
  q.SetSQL("select * from no_such_table");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { q.Open(); }).find("does not exist"), std::string::npos);
}

TEST_F(PgDataSets, TheKindsReachPostgreSqlByDriverName) {
  Server().Psql("drop table if exists kind_orders");
  auto d = std::make_unique<TKVODBCDataSet>();
  d->Name = "Orders";
  d->DataBaseInfo->DriverName = "PostgreSQL";
  d->DataBaseInfo->ServerName = Server().SocketDir() + ":" + std::to_string(Server().Port());
  d->DataBaseInfo->DataBaseName = Server().DbName();
  d->DataBaseInfo->UserName = Server().User();
  d->TableName = "kind_orders";
  d->NewTable = true;
  d->PostRecords = 2;
  d->FieldDefs.reset(new TKVFieldDefs);
  TKVFieldDef* id = d->FieldDefs->AddFieldDef("ID");
  id->DataType = ftInteger;
  id->Attributes = static_cast<TFieldAttributes>(1u << faRequired);
  TKVFieldDef* name = d->FieldDefs->AddFieldDef("NAME");
  name->DataType = ftString;
  name->Size = 30;
  d->IndexDefs.reset(new TKVIndexDefs);
  TKVIndexDef* pk = d->IndexDefs->AddIndexDef();
  pk->Name = "PK";
  pk->FieldExpression = "ID";
  pk->Options = static_cast<TIndexOptions>(1u << ixPrimary);
  d->ImportMode = imAppendUpdate;
  d->BeforeImport();
  TDataSet& t = *d->GetDataset();
  ASSERT_NE(ObjCast<TPgTableDataSet>(&t), nullptr);
  for (int i = 1; i <= 3; ++i) {
    t.Append();
    t.FieldByName("ID").SetValue(TVariant(i));
    t.FieldByName("NAME").SetValue(TVariant("名字" + std::to_string(i)));
    t.Post();
  }
  ASSERT_TRUE(d->LocateRecord("ID", TVariant(2), 0));
  EXPECT_EQ(t.FieldByName("NAME").AsString(), "名字2");
  d->AfterImport();
  EXPECT_EQ(Count("kind_orders"), 3);

  TKVQueryDataSet q;
  q.DataBaseInfo->Assign(d->DataBaseInfo.get());
  q.SQL->SetText("select count(*) as n from kind_orders");
  q.BeforeImport();
  ASSERT_NE(ObjCast<TPgQueryDataSet>(q.GetDataset()), nullptr);
  EXPECT_EQ(q.GetDataset()->FieldByName("n").AsInteger(), 3);
  q.AfterImport();
}

TEST_F(PgDataSets, TwoLinksAppendingOnTwoThreadsEachGetTheirOwnConnection) {
  Server().Psql("drop table if exists threaded; create table threaded(id int primary key, who text)");
  auto writer = [](int first, const std::string& who) {
    TKVODBCDataSet d;
    d.DataBaseInfo->DriverName = "POSTGRESQL";
    d.DataBaseInfo->ServerName = Server().SocketDir() + ":" + std::to_string(Server().Port());
    d.DataBaseInfo->DataBaseName = Server().DbName();
    d.DataBaseInfo->UserName = Server().User();
    d.TableName = "threaded";
    d.PostRecords = 50;
    d.BeforeImport();
    TDataSet& t = *d.GetDataset();
    for (int i = first; i < first + 300; ++i) {
      t.Append();
      t.FieldByName("id").SetValue(TVariant(i));
      t.FieldByName("who").SetValue(TVariant(who));
      t.Post();
    }
    d.AfterImport();
  };
  const size_t before = LiveConnectionCount();
  std::thread one(writer, 1, "one");
  std::thread two(writer, 1001, "two");
  one.join();
  two.join();
  EXPECT_EQ(LiveConnectionCount(), before);
  EXPECT_EQ(Server().Psql("select who, count(*) from threaded group by who order by who"), "one|300\ntwo|300\n");
}

TEST_F(PgDataSets, PasswordsNeverAppearInErrors) {
  TPgConnectParams wrong = TcpParams();
  wrong.Password = "Sekrit-Wrong-Pw";
  const std::string error = ErrorOf<EDatabaseError>([&] { TPgConnection c(wrong); });
  EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
  EXPECT_EQ(error.find(wrong.Password), std::string::npos) << error;
  EXPECT_NE(error.find(Server().User()), std::string::npos) << error;

  // Errors of a working connection: a missing table, a refused statement.
  TPgTableDataSet t(conn);
  t.SetTableName("no_such_table");
  const std::string missing = ErrorOf<EDatabaseError>([&] { t.Open(); });
  EXPECT_NE(missing.find("does not exist"), std::string::npos);
  EXPECT_EQ(missing.find(Server().Password()), std::string::npos);
  const std::string bad = ErrorOf<EDatabaseError>([&] { conn->Exec("select '" + Server().Password() + "'::int"); });
  EXPECT_EQ(bad.find(Server().Password()), std::string::npos) << bad;
  EXPECT_NE(bad.find("***"), std::string::npos) << bad;

  // Through the kinds: the password stays out of the message.
  TKVODBCDataSet d;
  d.DataBaseInfo->DriverName = "POSTGRESQL";
  d.DataBaseInfo->ServerName = Server().Host() + ":" + std::to_string(Server().Port());
  d.DataBaseInfo->DataBaseName = Server().DbName();
  d.DataBaseInfo->UserName = Server().User();
  d.DataBaseInfo->PassWord = "Other-Wrong-Pw";
  d.TableName = "x";
  const std::string kind = ErrorOf<Exception>([&] { d.BeforeImport(); });
  EXPECT_NE(kind.find("password authentication failed"), std::string::npos) << kind;
  EXPECT_EQ(kind.find("Other-Wrong-Pw"), std::string::npos) << kind;
}

// Last: the server stops and starts again.
TEST_F(PgDataSets, AServerStoppedMidRunGivesAClearErrorAndNoHang) {
  auto t = Orders("stopped", 10);
  for (int i = 1; i <= 25; ++i) Add(*t, i, "C" + std::to_string(i), i);  // 20 committed, 5 buffered
  Server().Stop();
  const std::string error = ErrorOf<EDatabaseError>([&] {
    for (int i = 26; i <= 40; ++i) Add(*t, i, "C" + std::to_string(i), i);
  });
  EXPECT_NE(error.find("connection to the PostgreSQL server was lost"), std::string::npos) << error;
  EXPECT_NE(error.find("appended rows not yet stored were lost"), std::string::npos) << error;
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->First(); }).find("was lost"), std::string::npos);
  Server().Start();
  EXPECT_EQ(Count("stopped"), 20);
  // The broken connection stays broken; a new one works.
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { conn->Exec("select 1"); }).find("was lost"), std::string::npos);
  EXPECT_NO_THROW(Connect()->Exec("select 1"));
}

}  // namespace
