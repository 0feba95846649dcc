// The Oracle kind opened as a job opens it, through ODBC, against the
// databases there are here: a SQLite file (the SQLite ODBC driver takes
// Oracle's type names, so the kind creates its own table) and the private
// PostgreSQL server through psqlODBC (the table made with PostgreSQL's
// types; the kind's select, insert, update and delete statements are
// standard SQL). Each test runs on both.
//
// Destination: nothing of the table is loaded; appends, a refused row
// reported through OnReconcileError with the server's message while the
// others are written, locate by key (one key, two keys, Null, a value the
// field cannot hold), edit, delete, cancel, empty, the record count.
// Source: read forward in packets with memory held to one packet. Also
// the variable list, the preview, a query with ctOracle, error data kept
// in place, the connection string form, and server names with IPv6
// addresses.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/DataEngines.h"
#include "data/OdbcClientDataSet.h"
#include "data/OdbcConnection.h"
#include "data/OdbcDataSets.h"
#include "data/OracleDataSets.h"
#include "data/OracleOdbc.h"
#include "data/QueryDataSet.h"
#include "data/ServerAddress.h"
#include "expression/VarList.h"
#include "testsupport/Errors.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::ErrorOf;

namespace {

// ---- Server names --------------------------------------------------------------------------

TEST(ServerAddress, HostAndPortAreSplitWithIPv6AddressesInOrOutOfBrackets) {
  struct Case {
    const char* server;
    const char* host;
    const char* port;
  };
  const Case cases[] = {
      {"db.example", "db.example", ""},
      {"db.example:5432", "db.example", "5432"},
      {"[::1]:5432", "::1", "5432"},
      {"[::1]", "::1", ""},
      {"[fe80::1%eth0]:6000", "fe80::1%eth0", "6000"},
      {"::1", "::1", ""},
      {"fe80::1:5432", "fe80::1:5432", ""},  // no brackets: all of it is the address
      {"/run/postgresql:5433", "/run/postgresql", "5433"},
      {"/run/postgresql", "/run/postgresql", ""},
      {"h:x1", "h:x1", ""},
      {"h:", "h:", ""},
      {"[::1]x", "[::1]x", ""},
      {"[::1", "[::1", ""},
      {"[::1]:", "[::1]:", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const TServerAddress a = SplitServerAddress(c.server);
    EXPECT_EQ(a.Host, c.host) << c.server;
    EXPECT_EQ(a.Port, c.port) << c.server;
  }
  EXPECT_EQ(OdbcConnectionString({"X", "[::1]:5432", "", "", ""}), "DRIVER={X};SERVER=::1;PORT=5432");
  EXPECT_EQ(OdbcConnectionString({"X", "[::1]", "", "", ""}), "DRIVER={X};SERVER=::1");
}

TEST(ServerAddress, ConnectionStringKeywordsAreReadWithBracesUndone) {
  const std::string cs = "Driver={Oracle 19; ODBC}}};DBQ=//db:1521/ORCL; pwd = {a;b} ;DSN=x";
  EXPECT_EQ(OdbcConnectionKeyword(cs, "DRIVER"), "Oracle 19; ODBC}");
  EXPECT_EQ(OdbcConnectionKeyword(cs, "dbq"), "//db:1521/ORCL");
  EXPECT_EQ(OdbcConnectionKeyword(cs, "PWD"), "a;b");
  EXPECT_EQ(OdbcConnectionKeyword(cs, "DSN"), "x");
  EXPECT_EQ(OdbcConnectionKeyword(cs, "UID"), "");
  EXPECT_EQ(OdbcConnectionKeyword("", "DSN"), "");
  EXPECT_EQ(OdbcConnectionKeyword("novalue", "novalue"), "");
}

// ---- Backends ------------------------------------------------------------------------------

struct Backend {
  std::string dsn;
  std::string user;
  std::string password;
  bool postgres = false;
};

const Backend& SqliteBackend() {
  static const Backend b = [] {
    kvtest::DefineOdbcSqliteSource("vt_orakind_sqlite", kvtest::NewTempFolder("orakind") + "/ora.db");
    return Backend{"vt_orakind_sqlite", "", "", false};
  }();
  return b;
}

const Backend& PostgresBackend() {
  static const Backend b = [] {
    auto& server = kvtest::PgTestServer::Shared();
    server.Start();
    kvtest::DefineOdbcPostgresSource("vt_orakind_pg", server.Host(), server.Port(), server.DbName());
    return Backend{"vt_orakind_pg", server.User(), server.Password(), true};
  }();
  return b;
}

int g_tableNo = 0;

class OracleKind : public ::testing::TestWithParam<std::string> {
protected:
  void SetUp() override {
    backend = GetParam() == "sqlite" ? &SqliteBackend() : &PostgresBackend();
    conn = TOdbcConnection::ConnectDataSource(backend->dsn, backend->user, backend->password);
    table = "ORA_T" + std::to_string(++g_tableNo);
  }

  // The kind on the backend's data source, with the orders definitions in
  // Oracle's type names and the key ID.
  std::unique_ptr<TKVOracleDataSet> Kind(TTablePurpose purpose, const std::string& keys = "ID") {
    auto d = std::make_unique<TKVOracleDataSet>();
    d->DataBaseInfo->ConnectType = ctOracle;
    d->DataBaseInfo->ServerName = backend->dsn;
    d->DataBaseInfo->UserName = backend->user;
    d->DataBaseInfo->PassWord = backend->password;
    d->TableName = table;
    d->Purpose = purpose;
    d->DatasetKeys = keys;
    d->PostRecords = 3;
    d->FieldDefs.reset(new TKVFieldDefs);
    const auto add = [&](const char* name, const char* type, int32_t size, int32_t precision) {
      TKVFieldDef* f = d->FieldDefs->AddFieldDef(name);
      f->DataTypeName = type;
      f->Size = size;
      f->Precision = precision;
    };
    add("ID", "NUMBER", 10, 0);
    add("CODE", "VARCHAR2", 10, 0);
    add("PRICE", "NUMBER", 10, 2);
    add("WHEN_", "DATE", 0, 0);
    d->IndexDefs.reset(new TKVIndexDefs);
    d->IndexDefs->AddIndexDef()->FieldExpression = "ID";
    return d;
  }

  // The table with `rows` rows (ID 1.., CODE "c<ID>", PRICE ID*1.5).
  void MakeTable(int rows) {
    if (backend->postgres) {
      conn->Execute("CREATE TABLE " + table +
                    " (ID numeric(10) NOT NULL, CODE varchar(10) NOT NULL, PRICE numeric(10,2), WHEN_ timestamp, "
                    "constraint PK_" + table + " primary key (ID))");
    } else {
      auto kind = Kind(TablePurposeBit(ttDest));
      kind->NewTable = true;
      kind->CreateTable();
      kind->CreateTable();  // exists now: nothing happens
    }
    if (rows > 0) {
      conn->Execute("INSERT INTO " + table + " (ID, CODE, PRICE) " +
                    (backend->postgres
                         ? "SELECT g, 'c' || g, g * 1.5 FROM generate_series(1, " + std::to_string(rows) + ") g"
                         : "WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < " +
                               std::to_string(rows) + ") SELECT n, 'c' || n, n * 1.5 FROM g"));
    }
    conn->WriteDone(0);
    conn->CommitPending();
  }

  // "ID:CODE" of every row, by ID.
  std::vector<std::string> Rows() {
    TOdbcQueryDataSet q(conn);
    q.SetSQL("SELECT ID, CODE FROM " + table + " ORDER BY ID");
    q.Open();
    std::vector<std::string> out;
    for (; !q.Eof(); q.Next()) out.push_back(q.Fields(0).AsString() + ":" + q.Fields(1).AsString());
    q.Close();
    conn->Rollback();  // ends the read (SQLite keeps its lock until then)
    return out;
  }

  static void Add(TDataSet& d, int64_t id, const std::string& code) {
    d.Append();
    d.FieldByName("ID").SetAsInteger(id);
    d.FieldByName("CODE").SetAsString(code);
    d.FieldByName("PRICE").SetAsFloat(static_cast<double>(id) / 4);
  }

  const Backend* backend = nullptr;
  std::shared_ptr<TOdbcConnection> conn;
  std::string table;
};

TEST_P(OracleKind, ADestinationLoadsNothingAndAppendsWithARefusedRowReportedAndTheOthersWritten) {
  MakeTable(200);
  auto kind = Kind(TablePurposeBit(ttDest));
  auto* client = ObjCast<TOdbcClientDataSet>(kind->GetDataset());
  ASSERT_NE(client, nullptr);
  std::vector<std::string> refused;
  client->OnReconcileError = [&](TKVMemDataSet& delta, const Exception& e, TUpdateKind kind, TReconcileAction&) {
    refused.push_back(std::to_string(kind) + ":" + delta.FieldByName("ID").AsString() + ":" + e.Message());
  };
  kind->BeforeImport();
  EXPECT_EQ(kind->QueryText, "select * from " + table + "  where  ID=:ID");
  EXPECT_EQ(client->Fetched(), 0);
  EXPECT_TRUE(client->IsEmpty());
  EXPECT_EQ(client->RecordCount(), 200);  // the table's rows, counted on the server
  for (int64_t id : {201, 5, 202, 203}) Add(*client, id, "n" + std::to_string(id));  // 5 is taken
  client->Post();
  EXPECT_EQ(client->HeldRecords(), 1);  // applied rows are let go
  EXPECT_EQ(client->ChangeCount(), 0);
  EXPECT_EQ(client->ApplyUpdates(-1), 0);  // nothing left to apply
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].substr(0, 4), std::to_string(ukInsert) + ":5:");
  EXPECT_TRUE(refused[0].find("UNIQUE") != std::string::npos || refused[0].find("unique") != std::string::npos ||
              refused[0].find("duplicate") != std::string::npos)
      << refused[0];
  // A pending insert cancelled is never written.
  Add(*client, 204, "cancelled");
  client->Cancel();
  if (backend->postgres) {
    // A row the server refuses for a NULL in a NOT NULL column.
    client->Append();
    client->FieldByName("ID").SetAsInteger(205);
    client->Post();
    EXPECT_EQ(refused.size(), 2u);
  }
  EXPECT_EQ(client->RecordCount(), 203);
  kind->AfterImport();
  EXPECT_FALSE(client->Active());
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 203u);
  EXPECT_EQ(rows[4], "5:c5");
  EXPECT_EQ(rows[200], "201:n201");
  EXPECT_EQ(rows[202], "203:n203");
  EXPECT_EQ(conn->PendingWrites(), 0);
}

TEST_P(OracleKind, WithoutAPurposeTheRowsAreReadInPacketsAndWrittenRowsAreLetGo) {
  MakeTable(120);
  auto kind = Kind(0);
  kind->BeforeImport();
  auto* client = ObjCast<TOdbcClientDataSet>(kind->GetDataset());
  ASSERT_NE(client, nullptr);
  EXPECT_FALSE(client->IsUniDirectional());
  EXPECT_EQ(client->Fetched(), TDBExpressDataSet::kPacketRecords);
  EXPECT_EQ(client->RecordCount(), 120);  // counted on the server: rows are still to be read
  for (int64_t id = 1001; id <= 1030; ++id) Add(*client, id, "w");
  client->Post();
  EXPECT_EQ(client->HeldRecords(), 1);
  if (backend->postgres) {  // its cursor reads the table as it was (SQLite's may see the new rows)
    client->Last();         // the rest of the table comes in packets
    EXPECT_EQ(client->Fetched(), 120);
    EXPECT_EQ(client->RecordCount(), 150);
    EXPECT_EQ(client->RecNo(), 150);
  }
  kind->AfterImport();
  EXPECT_EQ(Rows().size(), 150u);
}

TEST_P(OracleKind, LocateBringsTheRowsOfAKeyWhichAreEditedAndDeleted) {
  MakeTable(10);
  auto kind = Kind(TablePurposeBit(ttDest), "ID;CODE");
  kind->BeforeImport();
  TDataSet& d = *kind->GetDataset();
  ASSERT_TRUE(kind->LocateRecord("ID;CODE", TVariant::Array({TVariant(int64_t{3}), TVariant("c3")}), 0));
  EXPECT_EQ(d.RecordCount(), 1);
  EXPECT_DOUBLE_EQ(d.FieldByName("PRICE").AsFloat(), 4.5);
  d.Edit();
  d.FieldByName("CODE").SetAsString("变");
  d.FieldByName("WHEN_").SetAsDateTime(45000.25);
  // The next locate posts the edit, which is applied before the rows are read again.
  EXPECT_FALSE(kind->LocateRecord("ID;CODE", TVariant::Array({TVariant(int64_t{3}), TVariant("c3")}), 0));
  EXPECT_TRUE(d.IsEmpty());
  ASSERT_TRUE(kind->LocateRecord("ID;CODE", TVariant::Array({TVariant("3"), TVariant("变")}), 0));
  EXPECT_DOUBLE_EQ(d.FieldByName("WHEN_").AsDateTime(), 45000.25);
  ASSERT_TRUE(kind->LocateRecord("ID", TVariant(int64_t{7}), 0));
  d.Delete();
  EXPECT_FALSE(kind->LocateRecord("ID", TVariant(int64_t{7}), 0));
  EXPECT_FALSE(kind->LocateRecord("ID", TVariant("not a number"), 0));
  EXPECT_FALSE(kind->LocateRecord("ID", TVariant::Null(), 0));  // ID is never Null
  ASSERT_TRUE(kind->LocateRecord("WHEN_", TVariant::Null(), 0));
  EXPECT_EQ(d.RecordCount(), 8);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { kind->LocateRecord("NOSUCH", TVariant(int64_t{1}), 0); }), "(no error)");
  kind->AfterImport();
  const std::vector<std::string> rows = Rows();
  ASSERT_EQ(rows.size(), 9u);
  EXPECT_EQ(rows[2], "3:变");
  EXPECT_EQ(rows[6], "8:c8");
}

TEST_P(OracleKind, EmptyDataRemovesEveryRowWithOneStatement) {
  MakeTable(50);
  auto kind = Kind(TablePurposeBit(ttDest));
  kind->ImportMode = imCopy;
  kind->BeforeImport();
  TDataSet& d = *kind->GetDataset();
  EXPECT_EQ(d.RecordCount(), 50);
  kind->EmptyData();
  EXPECT_EQ(d.RecordCount(), 0);
  Add(d, 1, "new");
  d.Post();
  EXPECT_EQ(d.RecordCount(), 1);
  kind->AfterImport();
  EXPECT_EQ(Rows(), (std::vector<std::string>{"1:new"}));
  // Emptied while closed: committed at once.
  kind->EmptyData();
  EXPECT_TRUE(Rows().empty());
}

TEST_P(OracleKind, ASourceIsReadForwardHoldingOnePacket) {
  MakeTable(1234);
  auto kind = Kind(TablePurposeBit(ttSource));
  kind->BeforeImport();
  auto* client = ObjCast<TOdbcClientDataSet>(kind->GetDataset());
  ASSERT_NE(client, nullptr);
  EXPECT_TRUE(client->IsUniDirectional());
  EXPECT_EQ(client->Fetched(), TDBExpressDataSet::kPacketRecords);  // one packet read at open
  int64_t rows = 0, sum = 0;
  int most = 0;
  for (kind->GoFirst(); kind->NeedMore(); kind->GoNext()) {
    ++rows;
    sum += kind->GetFieldValue(TVariant("ID")).AsInteger();
    most = std::max(most, client->HeldRecords());
    EXPECT_EQ(client->RecNo(), rows);
  }
  EXPECT_EQ(rows, 1234);
  EXPECT_EQ(sum, 1234 * 1235 / 2);
  EXPECT_LE(most, TDBExpressDataSet::kPacketRecords + 1);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { client->Prior(); }), "(no error)");
  // First reads the table again.
  client->First();
  EXPECT_EQ(client->FieldByName("ID").AsInteger(), 1);
  EXPECT_EQ(client->RecNo(), 1);
  kind->AfterImport();
}

TEST_P(OracleKind, VariablesPreviewAndQueriesWorkOnTheOracleConnection) {
  MakeTable(30);
  auto kind = Kind(0);
  kind->Name = "Orders";
  TVarList* vars = kind->GetVarList();
  EXPECT_NE(vars->GetVarExp("Orders"), nullptr);
  EXPECT_NE(vars->GetVarExp("Orders.PRICE"), nullptr);
  kind->BeforeImport();
  // Field definitions stay as they were defined.
  EXPECT_EQ(kind->FieldDefs->GetObj(1)->DataTypeName, "VARCHAR2");
  EXPECT_NE(kind->GetVarList()->GetVarExp("Orders.WHEN_"), nullptr);
  EXPECT_EQ(kind->GetTableName(), table);
  kind->AfterImport();

  std::vector<std::string> preview;
  LoadBDEPreview(*kind->DataBaseInfo, table, "CODE",
                 [&](int row, const TVariant& value) { preview.push_back(std::to_string(row) + value.AsString()); });
  ASSERT_EQ(preview.size(), 19u);
  EXPECT_EQ(preview.front(), "1c1");

  TKVQueryDataSet query;
  query.DataBaseInfo->Assign(kind->DataBaseInfo.get());
  query.SQL->SetText("select count(*) from " + table);
  query.BeforeImport();
  EXPECT_EQ(query.GetFieldValue(TVariant(query.GetDataset()->Fields(0).FieldName())).AsInteger(), 30);
  query.AfterImport();
}

TEST_P(OracleKind, ErrorDataPutInPlaceIsKept) {
  auto kind = Kind(TablePurposeBit(ttSource));
  auto errors = std::make_unique<TKVMemDataSet>();
  errors->FieldDefs().Add("ID", ftInteger);
  errors->CreateDataSet();
  errors->Append();
  errors->Fields(0).SetAsInteger(42);
  errors->Post();
  TKVMemDataSet* held = errors.get();
  kind->SetDataSet(std::move(errors));
  EXPECT_EQ(kind->GetDataset(), held);
  EXPECT_EQ(kind->ClientDataSet(), nullptr);
  kind->BeforeImport();  // open already: nothing is connected
  EXPECT_EQ(kind->GetFieldValue(TVariant("ID")).AsInteger(), 42);
  kind->AfterImport();
}

INSTANTIATE_TEST_SUITE_P(Drivers, OracleKind, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

// ---- The client dataset on its own -------------------------------------------------------

TEST(OracleClientDataSet, CachedChangesApplyWithAnErrorLimitAndCancelDropsTheRest) {
  const Backend& b = PostgresBackend();
  auto conn = std::shared_ptr<TOdbcConnection>(TOdbcConnection::ConnectDataSource(b.dsn, b.user, b.password));
  conn->Execute("CREATE TABLE cds (id integer PRIMARY KEY, code varchar(10) NOT NULL)");
  conn->Execute("INSERT INTO cds VALUES (1, 'a'), (2, 'b')");
  conn->WriteDone(0);
  conn->CommitPending();
  TOdbcClientDataSet d;
  d.SetConnection(conn);
  d.SetCommand("select * from cds where id >= ? order by id", {TVariant(int64_t{1})});
  d.SetUpdateTable("cds", "id");
  d.PacketRecords = 1;
  d.Open();
  EXPECT_EQ(d.Fetched(), 1);
  d.Last();
  EXPECT_EQ(d.RecordCount(), 2);
  std::vector<std::string> refused;
  d.OnReconcileError = [&](TKVMemDataSet&, const Exception& e, TUpdateKind, TReconcileAction&) {
    refused.push_back(e.Message());
  };
  for (int id : {1, 2, 3}) {  // 1 and 2 are taken
    d.Append();
    d.FieldByName("id").SetAsInteger(id);
    d.FieldByName("code").SetAsString("n");
    d.Post();
  }
  ASSERT_TRUE(d.Locate("id", TVariant(int64_t{2})));
  d.Edit();
  d.FieldByName("code").SetAsString("B");
  d.Post();
  EXPECT_EQ(d.ChangeCount(), 4);
  EXPECT_EQ(d.ApplyUpdates(0), 1);  // stops at the first refusal
  EXPECT_EQ(refused.size(), 1u);
  d.CancelUpdates();
  EXPECT_EQ(d.ChangeCount(), 0);
  EXPECT_EQ(d.RecordCount(), 2);
  d.Close();
  TOdbcQueryDataSet q(conn);
  q.SetSQL("select id || ':' || code from cds order by id");
  q.Open();
  std::vector<std::string> rows;
  for (; !q.Eof(); q.Next()) rows.push_back(q.Fields(0).AsString());
  EXPECT_EQ(rows, (std::vector<std::string>{"1:a", "2:b"}));
}

// ---- Connecting ---------------------------------------------------------------------------

TEST(OracleConnection, AConnectionStringServerNameIsUsedAndThePasswordNeverShown) {
  const Backend& b = PostgresBackend();
  auto& server = kvtest::PgTestServer::Shared();
  TDataBaseInfo info;
  info.ConnectType = ctOracle;
  info.ServerName = std::string("DRIVER={") + kvtest::kOdbcPostgresDriver + "};SERVER=127.0.0.1;PORT=" +
                    std::to_string(server.Port()) + ";DATABASE=" + server.DbName();
  info.UserName = b.user;
  info.PassWord = b.password;
  auto c = OracleOdbcConnect(info);
  EXPECT_NE(c->Describe().find(kvtest::kOdbcPostgresDriver), std::string::npos);
  EXPECT_NO_THROW(c->Execute("select 1"));

  info.PassWord = "Wr0ng;secret";
  const std::string wrong = ErrorOf<EDatabaseError>([&] { OracleOdbcConnect(info); });
  EXPECT_NE(wrong, "(no error)");
  EXPECT_EQ(wrong.find("Wr0ng"), std::string::npos) << wrong;
  info.ServerName += ";PWD=InTheString";
  info.PassWord.clear();
  const std::string inString = ErrorOf<EDatabaseError>([&] { OracleOdbcConnect(info); });
  EXPECT_EQ(inString.find("InTheString"), std::string::npos) << inString;

  info.ServerName = " ";
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { OracleOdbcConnect(info); }).find("server name"), std::string::npos);
}

TEST(OracleConnection, ABracketedAddressWithAPortReachesTheServerThroughTheDriver) {
  const Backend& b = PostgresBackend();
  auto& server = kvtest::PgTestServer::Shared();
  TDataBaseInfo info;
  info.DriverName = kvtest::kOdbcPostgresDriver;
  info.ServerName = "[" + server.Host() + "]:" + std::to_string(server.Port());
  info.DataBaseName = server.DbName();
  info.UserName = b.user;
  info.PassWord = b.password;
  // The IPv4 address in brackets takes the path of an IPv6 one.
  auto c = std::dynamic_pointer_cast<TOdbcConnection>(ConnectDataBase(info));
  ASSERT_NE(c, nullptr);
  EXPECT_NO_THROW(c->Execute("select 1"));
  // The native PostgreSQL engine splits the name the same way.
  info.DriverName = "POSTGRESQL";
  std::shared_ptr<TDbConnection> native = ConnectDataBase(info);
  ASSERT_NE(native, nullptr);
  EXPECT_EQ(std::dynamic_pointer_cast<TOdbcConnection>(native), nullptr);
}

}  // namespace
