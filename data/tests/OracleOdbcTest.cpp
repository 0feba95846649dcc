// What the Oracle kinds run through ODBC, against real databases where it is
// not Oracle-specific: named parameters made into ODBC markers (and the
// select statement of a destination run with them), the CREATE TABLE of
// Oracle type names and the one-statement delete on a SQLite file (SQLite
// takes any type name), and cached updates applied with refused changes
// reported through the reconcile callback, on SQLite and PostgreSQL.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/KVFieldDefs.h"
#include "data/MemDataSet.h"
#include "data/OdbcDataSets.h"
#include "data/OracleDataSets.h"
#include "data/OracleOdbc.h"
#include "testsupport/Errors.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

TEST(OracleNamedParameters, NamesBecomeMarkersInOrderOutsideQuotesAndCasts) {
  struct Case {
    const char* sql;
    const char* expected;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"select * from T  where  ID=:ID and CODE=:CODE", "select * from T  where  ID=? and CODE=?", {"ID", "CODE"}},
      {"select * from T ", "select * from T ", {}},
      {"select ':X' from t where a = :A", "select ':X' from t where a = ?", {"A"}},
      {"select 'it''s :X' from t where a=:A", "select 'it''s :X' from t where a=?", {"A"}},
      {"select \"col:X\" from t where a=:A", "select \"col:X\" from t where a=?", {"A"}},
      {"select a::int from t where b=:B", "select a::int from t where b=?", {"B"}},
      {"begin x := :v; end;", "begin x := ?; end;", {"v"}},
      {"where a=:A or b=:A", "where a=? or b=?", {"A", "A"}},
      {"where a=:1 and b=:", "where a=:1 and b=:", {}},
      {"where a=:ID_2$#x", "where a=?", {"ID_2$#x"}},
      {"where a=:名", "where a=:名", {}},
  };
  for (const Case& c : cases) {
    const TOdbcNamedStatement s = OdbcNamedParameters(c.sql);
    EXPECT_EQ(s.Sql, c.expected) << c.sql;
    EXPECT_EQ(s.Names, c.names) << c.sql;
  }
}

TEST(OracleNamedParameters, ADateFieldIsBoundAsATimeStamp) {
  TFieldDef def;
  for (const char* name : {"DATE", "date", "Date"}) {
    def.DataTypeName = name;
    EXPECT_EQ(OracleParameterSqlType(def), SQL_TYPE_TIMESTAMP) << name;
  }
  for (const char* name : {"TIMESTAMP", "VARCHAR2", "", "DATE2"}) {
    def.DataTypeName = name;
    EXPECT_EQ(OracleParameterSqlType(def), 0) << name;
  }
}

// An Oracle kind with the orders definitions in Oracle type names.
std::unique_ptr<TKVOracleDataSet> OracleOrders(const std::string& table) {
  auto d = std::make_unique<TKVOracleDataSet>();
  d->TableName = table;
  d->FieldDefs.reset(new TKVFieldDefs);
  const auto add = [&](const char* name, const char* type, int32_t size, int32_t precision) {
    TKVFieldDef* f = d->FieldDefs->AddFieldDef(name);
    f->DataTypeName = type;
    f->Size = size;
    f->Precision = precision;
  };
  add("ID", "NUMBER", 10, 0);
  add("CODE", "CHAR", 4, 0);
  add("PRICE", "NUMBER", 10, 2);
  add("WHEN_", "DATE", 0, 0);
  add("NOTE", "VARCHAR2", 30, 0);
  d->IndexDefs.reset(new TKVIndexDefs);
  d->IndexDefs->AddIndexDef()->FieldExpression = "ID;CODE";
  return d;
}

std::shared_ptr<TOdbcConnection> SqliteSource() {
  static const std::string file = [] {
    const std::string f = kvtest::NewTempFolder("oraodbc") + "/ora.db";
    kvtest::DefineOdbcSqliteSource("vt_ora_sqlite", f);
    return f;
  }();
  return TOdbcConnection::ConnectDataSource("vt_ora_sqlite", "", "");
}

TEST(OracleOverOdbc, TheCreateTableOfOracleTypeNamesRunsAndItsSelectAndDeleteWork) {
  auto conn = SqliteSource();
  auto ora = OracleOrders("ORA_ORDERS");
  conn->Execute(ora->CreateTableSQL());
  conn->WriteDone(0);
  conn->CommitPending();

  TOdbcTableDataSet t(conn);
  t.SetTableName("ORA_ORDERS");
  t.Open();
  ASSERT_EQ(t.FieldDefs().Count(), 5);
  EXPECT_EQ(t.FieldDefs()[0].DataTypeName, "Number(10)");
  EXPECT_EQ(t.FieldDefs()[2].DataType, ftFMTBcd);
  EXPECT_EQ(t.FieldDefs()[2].Size, 10);
  EXPECT_EQ(t.FieldDefs()[2].Precision, 2);
  EXPECT_EQ(t.FieldDefs()[4].DataTypeName, "VARCHAR2(30)");
  ASSERT_GE(t.IndexDefs().Count(), 1);
  EXPECT_EQ(t.IndexDefs()[0].Fields, "ID;CODE");
  for (int i = 1; i <= 4; ++i) {
    t.Append();
    t.FieldByName("ID").SetAsInteger(i);
    t.FieldByName("CODE").SetAsString(i % 2 ? "A" : "B");
    t.FieldByName("PRICE").SetAsFloat(i * 1.25);
    t.FieldByName("WHEN_").SetAsDateTime(45000 + i + 0.5);
    t.Post();
  }
  t.Close();

  // The destination's select, its named parameters bound in order.
  ora->DatasetKeys = "ID;CODE";
  ora->Purpose = TablePurposeBit(ttDest);
  ora->SetSelectSQL();
  const TOdbcNamedStatement s = OdbcNamedParameters(ora->QueryText);
  ASSERT_EQ(s.Names, (std::vector<std::string>{"ID", "CODE"}));
  TOdbcQueryDataSet q(conn);
  q.SetSQL(s.Sql);
  q.SetParameters({TVariant(int64_t{3}), TVariant("A")});
  q.Open();
  ASSERT_FALSE(q.Eof());
  EXPECT_DOUBLE_EQ(q.FieldByName("PRICE").AsFloat(), 3.75);
  q.Next();
  EXPECT_TRUE(q.Eof());
  q.Close();

  EXPECT_EQ(conn->Execute(ora->EmptyDataSQL()), 4);
  conn->WriteDone(0);
  conn->CommitPending();
  t.Open();
  EXPECT_TRUE(t.IsEmpty());
}

TEST(OracleOverOdbc, FieldDefinitionsAndTableNamesComeFromTheCatalogViewsWithNamesBound) {
  auto conn = SqliteSource();
  // The catalog views, as tables of an attached database named sys.
  const std::string sys = kvtest::NewTempFolder("orasys") + "/sys.db";
  conn->CommitPending();
  conn->Execute("ATTACH DATABASE '" + sys + "' AS sys");
  for (const char* sql : {
           "CREATE TABLE sys.all_tab_columns (OWNER TEXT, TABLE_NAME TEXT, COLUMN_NAME TEXT, DATA_TYPE TEXT, "
           "DATA_PRECISION INTEGER, DATA_SCALE INTEGER)",
           "CREATE TABLE sys.all_indexes (OWNER TEXT, TABLE_NAME TEXT, INDEX_NAME TEXT, UNIQUENESS TEXT)",
           "CREATE TABLE sys.all_ind_columns (INDEX_OWNER TEXT, TABLE_NAME TEXT, INDEX_NAME TEXT, COLUMN_NAME TEXT)",
           "CREATE TABLE sys.all_tables (OWNER TEXT, TABLE_NAME TEXT)",
           "INSERT INTO sys.all_tab_columns VALUES ('SCOTT', 'ORDERS', 'ID', 'NUMBER', 10, 0), "
           "('SCOTT', 'ORDERS', 'PRICE', 'NUMBER', 10, 2), ('SCOTT', 'ORDERS', 'WHEN_', 'DATE', NULL, NULL), "
           "('OTHER', 'ORDERS', 'X', 'CHAR', 1, 0), ('SCOTT', 'O''B', 'Q', 'CHAR', 1, 0)",
           "INSERT INTO sys.all_indexes VALUES ('SCOTT', 'ORDERS', 'PK_ORDERS', 'UNIQUE'), "
           "('SCOTT', 'ORDERS', 'BY_PRICE', 'NONUNIQUE')",
           "INSERT INTO sys.all_ind_columns VALUES ('SCOTT', 'ORDERS', 'PK_ORDERS', 'ID'), "
           "('SCOTT', 'ORDERS', 'BY_PRICE', 'PRICE')",
           "INSERT INTO sys.all_tables VALUES ('SCOTT', 'ORDERS'), ('OTHER', 'T2'), ('SCOTT', 'O''B')",
       }) {
    conn->Execute(sql);
  }
  TFieldDefs fields;
  TIndexDefs indexes;
  ASSERT_TRUE(OracleReadFieldDefs(*conn, "scott", "orders", fields, indexes));
  ASSERT_EQ(fields.Count(), 3);
  EXPECT_EQ(fields[1].Name, "PRICE");
  EXPECT_EQ(fields[1].Size, 10);
  EXPECT_EQ(fields[1].Precision, 2);
  EXPECT_EQ(fields[1].DataTypeName, "NUMBER");
  EXPECT_EQ(fields[2].DataTypeName, "DATE");
  EXPECT_EQ(fields[2].Size, 0);
  ASSERT_EQ(indexes.Count(), 1);
  EXPECT_EQ(indexes[0].Fields, "ID");
  // A quote in a name is a value, not SQL.
  ASSERT_TRUE(OracleReadFieldDefs(*conn, "Scott", "o'b", fields, indexes));
  EXPECT_EQ(fields.Count(), 1);
  EXPECT_EQ(indexes.Count(), 0);
  EXPECT_FALSE(OracleReadFieldDefs(*conn, "scott", "missing", fields, indexes));
  EXPECT_EQ(fields.Count(), 0);
  EXPECT_EQ(OracleTableNames(*conn, "scott"), (std::vector<std::string>{"ORDERS", "O'B"}));
  EXPECT_TRUE(OracleTableNames(*conn, "nobody").empty());
  conn->CommitPending();
}

class OracleCachedUpdates : public ::testing::TestWithParam<std::string> {};

TEST_P(OracleCachedUpdates, ChangesAreAppliedAndARefusedOneIsReportedToTheReconcileCallback) {
  std::shared_ptr<TOdbcConnection> conn;
  if (GetParam() == "sqlite") {
    conn = SqliteSource();
  } else {
    auto& server = kvtest::PgTestServer::Shared();
    server.Start();
    kvtest::DefineOdbcPostgresSource("vt_ora_pg", server.Host(), server.Port(), server.DbName());
    conn = TOdbcConnection::ConnectDataSource("vt_ora_pg", server.User(), server.Password());
  }
  const std::string table = "cached_" + GetParam();
  conn->Execute("CREATE TABLE " + table + " (id integer PRIMARY KEY, code varchar(10) NOT NULL, when_ timestamp)");
  conn->Execute("INSERT INTO " + table + " VALUES (1, 'a', NULL), (2, 'b', NULL), (3, 'c', NULL)");
  conn->WriteDone(0);
  conn->CommitPending();

  TOdbcQueryDataSet source(conn);
  source.SetSQL("SELECT id, code, when_ FROM " + table + " ORDER BY id");
  TKVMemDataSet cache;
  source.Open();
  cache.CopyStructure(source);
  cache.FieldDefs()[2].DataTypeName = "DATE";  // bound as a time stamp
  cache.CreateDataSet();
  cache.AppendRecords(source);
  source.Close();
  cache.CachedUpdates = true;

  TOdbcUpdateResolver resolver(conn, table, "ID");
  cache.SetResolver(&resolver);
  std::vector<std::string> refused;
  cache.OnReconcileError = [&](TKVMemDataSet&, const Exception& e, TUpdateKind kind, TReconcileAction& action) {
    refused.push_back(std::to_string(kind) + ":" + e.Message());
    action = raCancel;
  };
  ASSERT_TRUE(cache.Locate("ID", TVariant(int64_t{2})));
  cache.Edit();
  cache.FieldByName("CODE").SetAsString("变");
  cache.FieldByName("WHEN_").SetAsDateTime(45000.25);
  cache.Post();
  ASSERT_TRUE(cache.Locate("ID", TVariant(int64_t{3})));
  cache.Delete();
  for (int64_t id : {4, 1, 5}) {  // 1 is taken
    cache.Append();
    cache.FieldByName("ID").SetAsInteger(id);
    cache.FieldByName("CODE").SetAsString("n" + std::to_string(id));
    cache.Post();
  }
  EXPECT_EQ(cache.ApplyUpdates(-1), 1);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].substr(0, 2), std::to_string(ukInsert) + ":");
  EXPECT_TRUE(refused[0].find("UNIQUE") != std::string::npos || refused[0].find("unique") != std::string::npos)
      << refused[0];
  EXPECT_EQ(resolver.Applied(), 4);

  auto other = conn;  // read back after the commit
  TOdbcQueryDataSet check(other);
  check.SetSQL("SELECT id, code, when_ FROM " + table + " ORDER BY id");
  check.Open();
  std::vector<std::string> rows;
  for (; !check.Eof(); check.Next()) {
    rows.push_back(check.Fields(0).AsString() + ":" + check.Fields(1).AsString());
    if (check.Fields(0).AsInteger() == 2) {
      EXPECT_DOUBLE_EQ(check.Fields(2).AsDateTime(), 45000.25);
    }
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"1:a", "2:变", "4:n4", "5:n5"}));
  EXPECT_EQ(conn->PendingWrites(), 0);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OracleCachedUpdates, ::testing::Values("sqlite", "postgres"),
                         [](const auto& info) { return info.param; });

}  // namespace
