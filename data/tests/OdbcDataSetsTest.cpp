// The ODBC engine against real databases through unixODBC: SQLite files
// (the SQLite ODBC driver, no server) and a private PostgreSQL server
// (psqlODBC), both as test-local data sources. Each table test runs on both:
// create from definitions and read them back, append, locate, update,
// delete, empty, NULLs, Chinese text, a refused row among good ones,
// refused rows anywhere in the batches (before and after commits, after a read),
// transactions every PostRecords writes, queries with parameters, and a
// table copied into another of the same database while both are open.
// Plus connection strings, GetDataBaseType of data sources, and passwords
// kept out of every error.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/OdbcConnection.h"
#include "data/OdbcDataSets.h"
#include "data/TableDataSets.h"
#include "testsupport/Errors.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::ErrorOf;

namespace {

// ---- Connection strings ------------------------------------------------------------------------

struct ConnCase {
  TOdbcConnectParts parts;
  const char* expected;
};

TEST(OdbcConnectionString, KeywordsAreWrittenInOrderWithValuesBracedWhenTheyMustBe) {
  const ConnCase cases[] = {
      {{"PostgreSQL Unicode", "db.example", "shop", "anna", "pw"},
       "DRIVER={PostgreSQL Unicode};SERVER=db.example;DATABASE=shop;UID=anna;PWD=pw"},
      {{"SQLite3", "", "/data/a.db", "", ""}, "DRIVER={SQLite3};DATABASE=/data/a.db"},
      {{"X", "h", "d", "u", "a;b"}, "DRIVER={X};SERVER=h;DATABASE=d;UID=u;PWD={a;b}"},
      {{"X", "", "", "", "x}y"}, "DRIVER={X};PWD={x}}y}"},
      {{"X", "", "", "", "{start"}, "DRIVER={X};PWD={{start}"},
      {{"X", "", "", "", "a=b"}, "DRIVER={X};PWD={a=b}"},
      {{"X", "", "", "", " padded "}, "DRIVER={X};PWD={ padded }"},
      {{"Odd}Driver", "", "", "", ""}, "DRIVER={Odd}}Driver}"},
      {{"X", "h:5432", "", "名字", ""}, "DRIVER={X};SERVER=h;PORT=5432;UID=名字"},
      {{"X", "::1", "", "", ""}, "DRIVER={X};SERVER=::1"},
      {{"X", "h:x1", "", "", ""}, "DRIVER={X};SERVER=h:x1"},
      {{"X", "h:", "", "", ""}, "DRIVER={X};SERVER=h:"},
  };
  for (const ConnCase& c : cases) EXPECT_EQ(OdbcConnectionString(c.parts), c.expected) << c.expected;
}

TEST(OdbcConnectionString, ABracedValueReadsBackAsTheSameText) {
  // Undo the braces as a driver manager does and compare.
  for (const std::string v : {"plain", "a;b", "}}", "{", "=;{}", " x"}) {
    const std::string w = OdbcConnectionValue(v);
    std::string back;
    if (!w.empty() && w.front() == '{') {
      for (size_t i = 1; i + 1 < w.size(); ++i) {
        back += w[i];
        if (w[i] == '}') ++i;
      }
    } else {
      back = w;
    }
    EXPECT_EQ(back, v);
  }
}

// Stops the PostgreSQL test server, when a test started it, after the last
// test: before the program's static objects go, which its cleanup uses.
class StopPgTestServer : public ::testing::Environment {
public:
  void TearDown() override { kvtest::PgTestServer::Shared().Remove(); }
};
[[maybe_unused]] ::testing::Environment* const g_stopPgTestServer =
    ::testing::AddGlobalTestEnvironment(new StopPgTestServer);

// ---- Backends -----------------------------------------------------------------------------------

// The data source of a backend, defined (and its server started) on first use.
struct Backend {
  std::string dsn;
  std::string user;
  std::string password;
};

const Backend& SqliteBackend() {
  static const Backend b = [] {
    const std::string file = kvtest::NewTempFolder("odbcsqlite") + "/shop.db";
    kvtest::DefineOdbcSqliteSource("vt_sqlite", file);
    return Backend{"vt_sqlite", "", ""};
  }();
  return b;
}

const Backend& PostgresBackend() {
  static const Backend b = [] {
    auto& server = kvtest::PgTestServer::Shared();
    server.Start();
    kvtest::DefineOdbcPostgresSource("vt_pg", server.Host(), server.Port(), server.DbName());
    return Backend{"vt_pg", server.User(), server.Password()};
  }();
  return b;
}

const Backend& BackendOf(const std::string& name) { return name == "sqlite" ? SqliteBackend() : PostgresBackend(); }

int g_tableNo = 0;

class OdbcTables : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    const Backend& b = BackendOf(GetParam());
    backend = &b;
    conn = std::shared_ptr<TOdbcConnection>(TOdbcConnection::ConnectDataSource(b.dsn, b.user, b.password));
    table = "orders_" + std::to_string(++g_tableNo);
  }

  // Definitions of an orders table: ID (key), CODE, PRICE, WHEN, NOTE, FLAG.
  static void Define(TDataSet& t) {
    t.FieldDefs().Clear();
    t.FieldDefs().Add("ID", ftLargeint, 0, true);
    t.FieldDefs().Add("CODE", ftString, 20);
    TFieldDef& price = t.FieldDefs().Add("PRICE", ftFMTBcd, 10);
    price.Precision = 2;
    t.FieldDefs().Add("WHEN", ftDateTime);
    t.FieldDefs().Add("NOTE", ftMemo);
    t.FieldDefs().Add("FLAG", ftBoolean);
    t.IndexDefs().Clear();
    t.IndexDefs().Add("PK", "ID", static_cast<TIndexOptions>(1u << ixPrimary));
    t.IndexDefs().Add("BYCODE", "CODE");
  }

  std::unique_ptr<TOdbcTableDataSet> NewTable(bool create = true, int32_t postRecords = 100) {
    auto t = std::make_unique<TOdbcTableDataSet>(conn);
    t->SetTableName(table);
    t->SetPostRecords(postRecords);
    if (create) {
      Define(*t);
      EXPECT_TRUE(t->CreateTable());
    }
    return t;
  }

  static void Add(TDataSet& t, int64_t id, const std::string& code, double price) {
    t.Append();
    t.FieldByName("ID").SetAsInteger(id);
    t.FieldByName("CODE").SetAsString(code);
    t.FieldByName("PRICE").SetAsFloat(price);
    t.Post();
  }

  int64_t Count() {
    auto q = conn->NewStatement();
    q->ExecDirect("SELECT count(*) FROM " + conn->QuoteIdentifier(table));
    TVariant n;
    EXPECT_TRUE(q->Fetch() && q->Read(1, varInteger, false, n));
    return n.IsNullOrEmpty() ? -1 : n.RawInteger();
  }

  const Backend* backend = nullptr;
  std::shared_ptr<TOdbcConnection> conn;
  std::string table;
};

TEST_P(OdbcTables, ATableIsCreatedFromDefinitionsAndTheCatalogGivesThemBack) {
  auto t = NewTable();
  EXPECT_FALSE(t->CreateTable());  // it exists now
  t->Open();
  ASSERT_EQ(t->FieldDefs().Count(), 6);
  const TFieldDefs& d = t->FieldDefs();
  EXPECT_EQ(d[0].Name, "ID");
  EXPECT_EQ(FieldTypeValueKind(d[0].DataType), varInteger);
  EXPECT_TRUE(d[0].Required());
  EXPECT_EQ(d[1].DataType, ftString);
  EXPECT_EQ(d[1].Size, 20);
  EXPECT_FALSE(d[1].Required());
  EXPECT_EQ(FieldTypeValueKind(d[2].DataType), varFloat);
  EXPECT_EQ(FieldTypeValueKind(d[3].DataType), varDateTime);
  EXPECT_EQ(FieldTypeValueKind(d[4].DataType), varString);
  EXPECT_EQ(FieldTypeValueKind(d[5].DataType), varBoolean);
  for (const TFieldDef& f : d) EXPECT_FALSE(f.DataTypeName.empty()) << f.Name;
  ASSERT_GE(t->IndexDefs().Count(), 2);
  EXPECT_TRUE(t->IndexDefs()[0].Has(ixPrimary));
  EXPECT_EQ(t->IndexDefs()[0].Fields, "ID");
  const TIndexDef* byCode = t->IndexDefs().FindByFields("CODE");
  ASSERT_NE(byCode, nullptr);
  EXPECT_FALSE(byCode->Has(ixUnique));
  EXPECT_EQ(t->RecordCount(), 0);
  EXPECT_TRUE(t->Eof());
}

TEST_P(OdbcTables, RowsAreAppendedLocatedUpdatedAndDeletedWithNullsAndChineseText) {
  auto t = NewTable(true, 3);
  t->Open();
  Add(*t, 1, "苹果", 1.5);
  Add(*t, 2, "梨", 2.25);
  t->Append();
  t->FieldByName("ID").SetAsInteger(3);  // everything else NULL
  t->Post();
  t->Append();
  t->FieldByName("ID").SetAsInteger(4);
  t->FieldByName("CODE").SetAsString("d");
  t->FieldByName("WHEN").SetAsDateTime(45000.75);  // 2023-03-15 18:00
  t->FieldByName("NOTE").SetAsString(std::string(5000, 'n') + "长文本");
  t->FieldByName("FLAG").SetAsBoolean(true);
  t->Post();
  EXPECT_EQ(t->RecordCount(), 4);

  ASSERT_TRUE(t->Locate("CODE", TVariant("梨")));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);
  EXPECT_DOUBLE_EQ(t->FieldByName("PRICE").AsFloat(), 2.25);
  EXPECT_FALSE(t->Locate("CODE", TVariant("桃")));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 2);  // not found: stays
  ASSERT_TRUE(t->Locate("CODE;PRICE", TVariant::Array({TVariant(), TVariant()})));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 3);
  ASSERT_TRUE(t->Locate("code", TVariant("D"), LocateOptionBit(loCaseInsensitive)));
  EXPECT_EQ(t->FieldByName("ID").AsInteger(), 4);
  EXPECT_FALSE(t->Locate("ID", TVariant("not a number")));

  ASSERT_TRUE(t->Locate("ID", TVariant(int64_t{1})));
  t->Edit();
  t->FieldByName("CODE").SetAsString("香蕉");
  t->FieldByName("PRICE").Clear();
  t->Post();
  ASSERT_TRUE(t->Locate("ID", TVariant(int64_t{3})));
  t->Delete();
  EXPECT_EQ(t->RecordCount(), 3);
  t->Close();
  EXPECT_EQ(Count(), 3);

  t->Open();
  std::vector<std::string> seen;
  for (; !t->Eof(); t->Next()) {
    const int64_t id = t->FieldByName("ID").AsInteger();
    seen.push_back(std::to_string(id) + ":" + t->FieldByName("CODE").AsString());
    if (id == 1) {
      EXPECT_TRUE(t->FieldByName("PRICE").IsNull());
    }
    if (id == 4) {
      EXPECT_DOUBLE_EQ(t->FieldByName("WHEN").AsDateTime(), 45000.75);
      EXPECT_EQ(t->FieldByName("NOTE").AsString(), std::string(5000, 'n') + "长文本");
      EXPECT_TRUE(t->FieldByName("FLAG").AsBoolean());
      EXPECT_TRUE(t->FieldByName("PRICE").IsNull());
    }
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"1:香蕉", "2:梨", "4:d"}));
}

TEST_P(OdbcTables, ARefusedRowFailsAloneWithTheServersMessageAndTheOthersAreKept) {
  auto t = NewTable(true, 100);
  t->Open();
  Add(*t, 1, "a", 1);
  Add(*t, 2, "b", 2);
  // Row by row the Post fails; in a batch (parameter arrays) the send does.
  const std::string error = ErrorOf<EDatabaseError>([&] {
    Add(*t, 1, "dup", 3);
    t->FlushAppends();
  });
  EXPECT_NE(error, "(no error)");
  // The server's own words name the broken rule.
  EXPECT_TRUE(error.find("UNIQUE") != std::string::npos || error.find("unique") != std::string::npos) << error;
  t->Cancel();
  // A NOT NULL column left empty is refused too.
  t->Append();
  t->FieldByName("CODE").SetAsString("no id");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Post(); }), "(no error)");
  t->Cancel();
  Add(*t, 3, "c", 3);
  t->Close();
  EXPECT_EQ(Count(), 3);
}

TEST_P(OdbcTables, RefusedRowsAmongManyAppendsAreFoundAndReportedAndTheOthersStored) {
  auto t = NewTable(true, 100);
  std::vector<std::string> refused;
  t->OnRefusedRow = [&](const std::vector<TVariant>& values, const std::string& message) {
    refused.push_back(values[0].AsString() + ":" + values[1].AsString() + ":" + message);
  };
  t->Open();
  for (int i = 1; i <= 250; ++i) {
    const bool dup = i % 100 == 0;  // rows 100 and 200 take ID 1 again
    try {
      Add(*t, dup ? 1 : i, dup ? "dup" + std::to_string(i) : "c", i);
    } catch (const EDatabaseError& e) {  // refused at once (no parameter arrays)
      refused.push_back("1:dup" + std::to_string(i) + ":" + e.Message());
      t->Cancel();
    }
  }
  t->Close();
  ASSERT_EQ(refused.size(), 2u);
  EXPECT_EQ(refused[0].substr(0, 9), "1:dup100:");
  EXPECT_EQ(refused[1].substr(0, 9), "1:dup200:");
  EXPECT_TRUE(refused[1].find("UNIQUE") != std::string::npos || refused[1].find("unique") != std::string::npos)
      << refused[1];
  EXPECT_EQ(Count(), 248);
  t->Open();
  EXPECT_EQ(t->RecordCount(), 248);
  int rows = 0;
  for (; !t->Eof(); t->Next()) rows += t->FieldByName("CODE").AsString() == "c";
  EXPECT_EQ(rows, 248);
}

// Refused rows at every place a batch can hold them: the first batch, the
// first and last row of a batch sent right after a commit, two batches in
// a row, the last (partial) batch sent at close; without batches
// (PostRecords 1) and in one transaction (PostRecords 0).
struct RefusedCase {
  int32_t postRecords;
  int rows;
  std::vector<int> refused;  // rows (1-based) that take ID 1 again
};

TEST_P(OdbcTables, RefusedRowsAnywhereInTheBatchesAreEachReportedOnceAndTheOthersStored) {
  const RefusedCase cases[] = {
      {10, 60, {3, 20, 21, 60}},  {7, 52, {8, 14, 15, 29, 52}}, {25, 120, {26, 50, 51, 100, 101, 120}},
      {1, 20, {5, 6, 20}},        {0, 30, {2, 29}},             {4, 13, {5, 6, 7, 8, 13}},
  };
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE("PostRecords " + std::to_string(c.postRecords) + ", " + std::to_string(c.rows) + " rows");
    table = "orders_" + std::to_string(++g_tableNo);
    auto t = NewTable(true, c.postRecords);
    std::vector<int> reported;
    t->OnRefusedRow = [&](const std::vector<TVariant>& values, const std::string&) {
      reported.push_back(std::stoi(values[1].AsString()));
    };
    t->Open();
    int64_t idSum = 0;
    for (int i = 1; i <= c.rows; ++i) {
      const bool refuse = std::find(c.refused.begin(), c.refused.end(), i) != c.refused.end();
      if (!refuse) idSum += i;
      try {
        Add(*t, refuse ? 1 : i, std::to_string(i), i);
      } catch (const EDatabaseError&) {  // refused at once (no parameter arrays)
        reported.push_back(i);
        t->Cancel();
      }
    }
    t->Close();
    EXPECT_EQ(reported, c.refused);
    EXPECT_EQ(conn->PendingWrites(), 0);
    EXPECT_EQ(Count(), c.rows - static_cast<int64_t>(c.refused.size()));
    auto q = conn->NewStatement();
    q->ExecDirect("SELECT sum(" + conn->QuoteIdentifier("ID") + ") FROM " + conn->QuoteIdentifier(table));
    TVariant sum;
    ASSERT_TRUE(q->Fetch() && q->Read(1, varInteger, false, sum));
    EXPECT_EQ(sum.RawInteger(), idSum);
  }
}

// A batch refused after a read (a locate) that followed writes not yet
// committed: the writes before the read are kept.
TEST_P(OdbcTables, ABatchRefusedAfterALocateKeepsTheWritesBeforeIt) {
  auto t = NewTable(true, 100);
  std::vector<int64_t> reported;
  t->OnRefusedRow = [&](const std::vector<TVariant>& values, const std::string&) {
    reported.push_back(values[0].RawInteger());
  };
  t->Open();
  for (int i = 1; i <= 30; ++i) Add(*t, i, "a", i);
  ASSERT_TRUE(t->Locate("ID", TVariant(int64_t{5})));
  for (int i = 31; i <= 40; ++i) {
    try {
      Add(*t, i == 35 ? 5 : i, "b", i);
    } catch (const EDatabaseError&) {  // refused at once (no parameter arrays)
      reported.push_back(5);
      t->Cancel();
    }
  }
  t->FlushAppends();
  EXPECT_EQ(reported, std::vector<int64_t>{5});
  Add(*t, 41, "c", 41);
  t->Close();
  EXPECT_EQ(Count(), 40);
}

TEST_P(OdbcTables, WritesAreCommittedEveryPostRecordsAndWhenTheTableCloses) {
  auto t = NewTable(true, 4);
  const int64_t before = conn->Commits();
  t->Open();
  for (int i = 1; i <= 10; ++i) Add(*t, i, "c", i);
  EXPECT_EQ(conn->Commits() - before, 2);
  t->FlushAppends();  // the last two rows may still wait for their batch
  EXPECT_EQ(conn->PendingWrites(), 2);
  t->Close();
  EXPECT_EQ(conn->PendingWrites(), 0);
  // Another connection sees every row.
  auto other = TOdbcConnection::ConnectDataSource(backend->dsn, backend->user, backend->password);
  auto q = other->NewStatement();
  q->ExecDirect("SELECT count(*) FROM " + other->QuoteIdentifier(table));
  TVariant n;
  ASSERT_TRUE(q->Fetch() && q->Read(1, varInteger, false, n));
  EXPECT_EQ(n.RawInteger(), 10);
}

TEST_P(OdbcTables, DatesAndTimesOfDayComeBackAsWritten) {
  auto t = std::make_unique<TOdbcTableDataSet>(conn);
  t->SetTableName(table);
  t->FieldDefs().Add("ID", ftInteger, 0, true);
  t->FieldDefs().Add("D", ftDate);
  t->FieldDefs().Add("T", ftTime);
  t->FieldDefs().Add("DT", ftDateTime);
  t->IndexDefs().Add("PK", "ID", static_cast<TIndexOptions>(1u << ixPrimary));
  ASSERT_TRUE(t->CreateTable());
  t->Open();
  EXPECT_EQ(t->FieldDefs()[1].DataType, ftDate);
  EXPECT_EQ(t->FieldDefs()[2].DataType, ftTime);
  t->Append();
  t->FieldByName("ID").SetAsInteger(1);
  t->FieldByName("D").SetAsDateTime(45000);           // 2023-03-15
  t->FieldByName("T").SetAsDateTime(0.75);            // 18:00
  t->FieldByName("DT").SetAsDateTime(-36522.5);       // 1800-01-01 12:00
  t->Post();
  t->Close();
  t->Open();
  ASSERT_FALSE(t->Eof());
  EXPECT_DOUBLE_EQ(t->FieldByName("D").AsDateTime(), 45000);
  EXPECT_DOUBLE_EQ(t->FieldByName("T").AsDateTime(), 0.75);
  EXPECT_DOUBLE_EQ(t->FieldByName("DT").AsDateTime(), -36522.5);
  // A row deleted meanwhile by someone else: the delete says so.
  conn->Execute("DELETE FROM " + conn->QuoteIdentifier(table));
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Delete(); }), "(no error)");
}

TEST_P(OdbcTables, EmptyTableRemovesEveryRowAtOnce) {
  auto t = NewTable();
  t->Open();
  for (int i = 1; i <= 5; ++i) Add(*t, i, "c", i);
  EXPECT_EQ(t->EmptyTable(), 5);
  t->Close();
  EXPECT_EQ(Count(), 0);
  t->Open();
  EXPECT_TRUE(t->IsEmpty());
}

TEST_P(OdbcTables, TheWalkReadsForwardAndFirstRunsTheSelectAgainOnlyWhenRowsWereRead) {
  auto t = NewTable();
  t->Open();
  for (int i = 1; i <= 3; ++i) Add(*t, i, "c", i);
  t->Close();
  t->Open();
  t->First();  // still on the first row
  int rows = 0;
  for (; !t->Eof(); t->Next()) ++rows;
  EXPECT_EQ(rows, 3);
  t->First();
  EXPECT_FALSE(t->Eof());
  EXPECT_EQ(t->RecNo(), 1);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Last(); }), "(no error)");
}

TEST_P(OdbcTables, AQueryRunsOncePerWalkWithItsParameters) {
  auto t = NewTable();
  t->Open();
  for (int i = 1; i <= 5; ++i) Add(*t, i, "c" + std::to_string(i), i * 1.5);
  t->Close();
  TOdbcQueryDataSet q(conn);
  q.SetSQL("SELECT " + conn->QuoteIdentifier("ID") + ", " + conn->QuoteIdentifier("CODE") + " FROM " +
           conn->QuoteIdentifier(table) + " WHERE " + conn->QuoteIdentifier("ID") + " > ? ORDER BY 1");
  q.SetParameters({TVariant(int64_t{3})});
  q.Open();
  EXPECT_EQ(q.FieldDefs()[0].Name, "ID");
  q.First();
  std::vector<std::string> codes;
  for (; !q.Eof(); q.Next()) codes.push_back(q.FieldByName("CODE").AsString());
  EXPECT_EQ(codes, (std::vector<std::string>{"c4", "c5"}));
  EXPECT_EQ(q.ExecutionCount(), 1);
  q.First();
  EXPECT_EQ(q.ExecutionCount(), 2);
  EXPECT_EQ(q.FieldByName("CODE").AsString(), "c4");
  q.Close();

  // Text beyond ASCII in the statement itself, whatever the process's locale.
  TOdbcQueryDataSet literal(conn);
  literal.SetSQL("SELECT '价格' AS " + conn->QuoteIdentifier("名称"));
  literal.Open();
  EXPECT_EQ(literal.Fields(0).FieldName(), "名称");
  EXPECT_EQ(literal.Fields(0).AsString(), "价格");
  literal.Close();

  TOdbcQueryDataSet bad(conn);
  bad.SetSQL("SELECT * FROM no_such_table_here");
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad.Open(); }), "(no error)");
  // A statement that changes rows is refused before it runs.
  bad.SetSQL("DELETE FROM " + conn->QuoteIdentifier(table));
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { bad.Open(); }).find("only a statement that returns rows"), std::string::npos);
  conn->CommitPending();
  EXPECT_EQ(Count(), 5);
}

// The kinds as a job holds them: a source and a destination on one data source.
std::unique_ptr<TKVODBCDataSet> OdbcKind(const Backend& b, const std::string& table, int32_t postRecords) {
  auto d = std::make_unique<TKVODBCDataSet>();
  d->DataBaseInfo->ConnectType = ctAlias;
  d->DataBaseInfo->AliasName = b.dsn;
  d->DataBaseInfo->UserName = b.user;
  d->DataBaseInfo->PassWord = b.password;
  d->TableName = table;
  d->PostRecords = postRecords;
  return d;
}

TEST_P(OdbcTables, ATableIsCopiedIntoAnotherOfTheSameDatabaseWhileBothAreOpen) {
  auto t = NewTable();
  t->Open();
  constexpr int kRows = 250;
  for (int i = 1; i <= kRows; ++i) Add(*t, i, "代码" + std::to_string(i), i * 0.5);
  t->Close();
  const std::string source = table;
  table = source + "_copy";
  NewTable();  // the destination, empty

  auto from = OdbcKind(*backend, source, 100);
  auto to = OdbcKind(*backend, table, 7);  // commits while the source is being read
  from->BeforeImport();
  to->BeforeImport();
  TDataSet& in = *from->GetDataset();
  TDataSet& out = *to->GetDataset();
  EXPECT_EQ(ObjCast<TOdbcTableDataSet>(&in)->Connection(), ObjCast<TOdbcTableDataSet>(&out)->Connection());
  int copied = 0;
  for (from->GoFirst(); from->NeedMore(); from->GoNext()) {
    out.Append();
    for (int i = 0; i < in.FieldCount(); ++i) out.Fields(i).SetValue(in.Fields(i).Value());
    out.Post();
    ++copied;
  }
  to->AfterImport();
  from->AfterImport();
  EXPECT_EQ(copied, kRows);
  EXPECT_EQ(Count(), kRows);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcTables, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

TEST(OdbcPostgres, AServerStoppedMidRunGivesAClearErrorAndNoHang) {
  const Backend& b = PostgresBackend();
  auto& server = kvtest::PgTestServer::Shared();
  auto conn = std::shared_ptr<TOdbcConnection>(TOdbcConnection::ConnectDataSource(b.dsn, b.user, b.password));
  conn->Execute("CREATE TABLE stopped_mid_run (id integer PRIMARY KEY)");
  conn->Execute("INSERT INTO stopped_mid_run SELECT generate_series(1, 1000)");
  conn->WriteDone(0);
  conn->CommitPending();
  TOdbcTableDataSet t(conn);
  t.SetTableName("stopped_mid_run");
  t.SetPostRecords(1);
  t.Open();
  t.Next();
  server.Stop();
  struct Restart {
    kvtest::PgTestServer& s;
    ~Restart() { s.Start(); }
  } restart{server};
  // Reading on past the fetched rows, or writing, fails with a message naming the data source.
  const std::string error = ErrorOf<EDatabaseError>([&] {
    for (int i = 0; i < 1000; ++i) t.Next();
    t.Append();
    t.FieldByName("id").SetAsInteger(5000);
    t.Post();
  });
  EXPECT_NE(error.find("ODBC data source 'vt_pg'"), std::string::npos) << error;
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TOdbcConnection::ConnectDataSource(b.dsn, b.user, b.password); }),
            "(no error)");
}

// ---- Data sources, server drivers and passwords -------------------------------------------------

TEST(OdbcDataSources, GetDataBaseTypeClassifiesATestSourceByItsDriversName) {
  const std::string file = kvtest::NewTempFolder("odbctype") + "/t.db";
  kvtest::DefineOdbcSqliteSource("vt_type_sqlite", file);
  kvtest::DefineOdbcSqliteSource("vt_type_oracle", file, kvtest::kOdbcOracleNamedDriver);
  kvtest::DefineOdbcSqliteSource("vt_type_mssql", file, kvtest::kOdbcSqlServerNamedDriver);
  EXPECT_EQ(GetDataBaseType("vt_type_sqlite"), kDataBaseTypeOther);
  EXPECT_EQ(GetDataBaseType("VT_TYPE_SQLITE"), kDataBaseTypeOther);  // names ignore letter case
  EXPECT_EQ(GetDataBaseType("vt_type_oracle"), 0);
  EXPECT_EQ(GetDataBaseType("vt_type_mssql"), 2);
  EXPECT_EQ(GetDataBaseType("vt_no_such_source"), kDataBaseTypeUnknown);
  EXPECT_EQ(GetDataBaseType(""), kDataBaseTypeUnknown);
}

TEST(OdbcDataSources, AServerDriverIsReachedThroughAConnectionString) {
  const std::string file = kvtest::NewTempFolder("odbcdrv") + "/x y.db";
  TDataBaseInfo info;
  info.ConnectType = ctDBParams;
  info.DriverName = kvtest::kOdbcSqliteDriver;
  info.DataBaseName = file;
  auto connection = std::dynamic_pointer_cast<TOdbcConnection>(ConnectDataBase(info));
  ASSERT_NE(connection, nullptr);
  connection->Execute("CREATE TABLE t (a INTEGER)");
  connection->Execute("INSERT INTO t VALUES (1)");
  connection->WriteDone(0);
  connection->CommitPending();
  EXPECT_TRUE(kvtest::ReadFile(file).size() > 0);
  EXPECT_NE(connection->Describe().find(kvtest::kOdbcSqliteDriver), std::string::npos);

  // Engines: POSTGRESQL and the file drivers are never served here.
  TConnectionKey key{TConnectionMode::Parameters, "POSTGRESQL", ""};
  const TDataEngine* pg = FindDataEngine(key);
  EXPECT_TRUE(pg == nullptr || !pg->IsTable(TOdbcTableDataSet()));
}

TEST(OdbcDataSources, APasswordNeverAppearsInAConnectionError) {
  const Backend& pg = PostgresBackend();
  const std::string secret = "Wr0ng;pa}ss";
  const std::string viaSource =
      ErrorOf<EDatabaseError>([&] { TOdbcConnection::ConnectDataSource(pg.dsn, pg.user, secret); });
  EXPECT_NE(viaSource, "(no error)");
  EXPECT_EQ(viaSource.find(secret), std::string::npos) << viaSource;
  EXPECT_EQ(viaSource.find("Wr0ng"), std::string::npos) << viaSource;

  auto& server = kvtest::PgTestServer::Shared();
  TDataBaseInfo info;
  info.DriverName = kvtest::kOdbcPostgresDriver;
  info.ServerName = server.Host() + ":" + std::to_string(server.Port());
  info.DataBaseName = server.DbName();
  info.UserName = server.User();
  info.PassWord = secret;
  const std::string viaDriver = ErrorOf<EDatabaseError>([&] { ConnectDataBase(info); });
  EXPECT_NE(viaDriver, "(no error)");
  EXPECT_EQ(viaDriver.find("Wr0ng"), std::string::npos) << viaDriver;

  const std::string noSource = ErrorOf<EDatabaseError>([&] {
    TOdbcConnection::ConnectDataSource("vt_missing", "someone", secret);
  });
  EXPECT_NE(noSource.find("vt_missing"), std::string::npos) << noSource;
  EXPECT_EQ(noSource.find("Wr0ng"), std::string::npos) << noSource;
}

}  // namespace
