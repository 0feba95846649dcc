// The DB link run into the other engines: the five import modes from a text
// file into PostgreSQL (native and through ODBC) and into dBase and Paradox tables,
// and failing rows captured as error records when the server refuses them
// in a batch.
#include <gtest/gtest.h>

#include <algorithm>

#include "data/MemDataSet.h"
#include "data/TableDataSets.h"
#include "jobs/tests/RunFixture.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"

using namespace kv;
using kvtest::OrdersCsv;

namespace {

::testing::Environment* const kServer = ::testing::AddGlobalTestEnvironment(new kvtest::PgTestEnvironment);

kvtest::PgTestServer& Server() { return kvtest::PgTestServer::Shared(); }

int g_table = 0;

// A DB link from a text file into a table of one engine, with the headless handlers.
class EngineRun {
public:
  EngineRun(const std::string& engine, const std::string& nameColumn = "NAME VARCHAR(30)")
      : engine_(engine), folder_("enginerun") {
    job.Name = "J";
    job.SaveFileName = folder_.File("J.job");
    source.Name = "S";
    source.TextFile().SetExtractColumnNamesFromFirstLine(true);
    source.TextFile().SetTableName(folder_.File("orders.csv"));
    table_ = "modes_" + std::to_string(++g_table);
    if (!IsFileDatabase()) Server().Psql("create table " + table_ + "(RID serial primary key, ID integer, " + nameColumn + ", BORN date)");
    dest = NewDest();
    link = std::make_unique<TDBLink>();
    link->Name = "L";
    link->Job = &job;
    link->SetSourceDataSet(&source);
    link->SetDestDataSet(dest.get());
    for (const char* m : {"ID=ID", "NAME=S.NAME", "BORN=BORN"}) link->Mappings().Add(m);
    AttachHeadlessHandlers(*link, [this](TDBLink&, const TKVLog& log) { logs.push_back(log.Event); });
  }
  ~EngineRun() { link.reset(); }

  // dBase and Paradox tables in the run's folder.
  bool IsFileDatabase() const { return engine_ == "dbase" || engine_ == "paradox"; }
  // A destination kind on the engine's table (a new table for dBase and Paradox when `create`).
  std::unique_ptr<TKVCustomTableDataSet> NewDest(bool create = true) {
    std::unique_ptr<TKVCustomTableDataSet> d;
    if (IsFileDatabase()) {
      d = std::make_unique<TKVFileDBDataSet>();
      d->DataBaseInfo->DriverName = engine_ == "dbase" ? "dBase" : "Paradox";
      d->DataBaseInfo->Path = folder_.Path();
      d->NewTable = create;
      d->FieldDefs.reset(new TKVFieldDefs);
      d->FieldDefs->AddFieldDef("ID")->DataType = ftInteger;
      TKVFieldDef* name = d->FieldDefs->AddFieldDef("NAME");
      name->DataType = ftString;
      name->Size = 30;
      d->FieldDefs->AddFieldDef("BORN")->DataType = ftDate;
    } else {
      d = std::make_unique<TKVODBCDataSet>();
      TDataBaseInfo& info = *d->DataBaseInfo;
      info.ConnectType = ctDBParams;
      info.DriverName = engine_ == "postgres" ? "POSTGRESQL" : kvtest::kOdbcPostgresDriver;
      info.ServerName = Server().Host() + ":" + std::to_string(Server().Port());
      info.DataBaseName = Server().DbName();
      info.UserName = Server().User();
      info.PassWord = Server().Password();
    }
    d->Name = "D";
    d->TableName = IsFileDatabase() ? "modes" : table_;
    return d;
  }
  // Appends rows (ID, NAME) to the destination table through a kind of its own.
  void Seed(const std::vector<std::pair<int, std::string>>& rows) {
    auto d = NewDest(true);
    d->BeforeImport();
    TDataSet& t = *d->GetDataset();
    for (const auto& [id, name] : rows) {
      t.Append();
      t.FieldByName("ID").SetValue(TVariant(id));
      t.FieldByName("NAME").SetValue(TVariant(name));
      t.FieldByName("BORN").SetValue(TVariant("2000-01-01"));
      t.Post();
    }
    d->AfterImport();
  }
  // "ID|NAME" of every row of the destination table, sorted.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    if (!IsFileDatabase()) {
      std::string out = Server().Psql("select ID || '|' || coalesce(NAME, 'null') from " + table_);
      size_t start = 0;
      for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        rows.push_back(out.substr(start, end - start));
    } else {
      auto d = NewDest(false);
      d->BeforeImport();
      TDataSet& t = *d->GetDataset();
      for (t.First(); !t.Eof(); t.Next())
        rows.push_back(t.FieldByName("ID").AsString() + "|" + t.FieldByName("NAME").AsString());
      d->AfterImport();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
  }
  void WriteSource(const std::string& text) { kvtest::WriteFile(folder_.File("orders.csv"), text); }
  void RunLink() {
    link->Run();
    link->WaitFor();
  }
  TRunStatistic Stat() const { return link->Counters().Statistic; }
  std::vector<std::string> ErrorIds() {
    std::vector<std::string> ids;
    TKVMemDataSet& e = link->ErrorData();
    if (!e.Active()) return ids;
    for (e.First(); !e.Eof(); e.Next()) ids.push_back(e.FieldByName("ID").AsString());
    return ids;
  }

  std::string engine_;
  kvtest::TempFolder folder_;
  std::string table_;
  TJob job;
  TKVTextDataSet source;
  std::unique_ptr<TKVCustomTableDataSet> dest;
  std::unique_ptr<TDBLink> link;
  std::vector<std::string> logs;
};

std::vector<std::string> Names(std::initializer_list<const char*> rows) { return {rows.begin(), rows.end()}; }

class EngineImportModes : public ::testing::TestWithParam<std::string> {
protected:
  static void SetUpTestSuite() {
    Server().Start();
    kvtest::DefineOdbcPostgresSource("vt_pg_run", Server().Host(), Server().Port(), Server().DbName());
  }
};

TEST_P(EngineImportModes, TheFiveModesWriteWhatTheyPromise) {
  struct Case {
    TImportMode mode;
    int inserted, deleted, updated;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {imAppend, 5, 0, 0, Names({"1|Name1", "1|old", "2|Name2", "2|old", "3|Name3", "3|old", "4|Name4", "5|Name5"})},
      {imUpdate, 0, 0, 3, Names({"1|Name1", "2|Name2", "3|Name3"})},
      {imAppendUpdate, 2, 0, 3, Names({"1|Name1", "2|Name2", "3|Name3", "4|Name4", "5|Name5"})},
      {imDelete, 0, 3, 0, {}},
      {imCopy, 5, 3, 0, Names({"1|Name1", "2|Name2", "3|Name3", "4|Name4", "5|Name5"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << GetParam() << " mode " << static_cast<int>(c.mode));
    EngineRun r(GetParam());
    r.Seed({{1, "old"}, {2, "old"}, {3, "old"}});
    r.WriteSource(OrdersCsv(5));
    r.dest->ImportMode = c.mode;
    if (c.mode != imAppend && c.mode != imCopy) r.dest->DatasetKeys = "ID";
    r.RunLink();
    EXPECT_EQ(r.link->Status(), jsOk) << testing::PrintToString(r.logs);
    const TRunStatistic s = r.Stat();
    EXPECT_EQ(s.Rows, 5);
    EXPECT_EQ(s.Inserted, c.inserted);
    EXPECT_EQ(s.Deleted, c.deleted);
    EXPECT_EQ(s.Updated, c.updated);
    EXPECT_EQ(s.Errors, 0);
    EXPECT_EQ(r.Rows(), c.rows);
  }
}

// Rows the server refuses inside a batch are the failing records: exactly
// those are captured, in order, the others are written, and the counters
// say so.
TEST_P(EngineImportModes, RowsRefusedInABatchAreCapturedAsTheFailingRecords) {
  if (GetParam() == "dbase" || GetParam() == "paradox")
    GTEST_SKIP() << "a dBase or Paradox table has no constraint a row could break";
  EngineRun r(GetParam(), "NAME VARCHAR(30) CHECK (NAME NOT IN ('Name3', 'Name8'))");
  r.WriteSource(OrdersCsv(12));
  r.dest->PostRecords = 100;
  r.RunLink();
  EXPECT_EQ(r.link->Status(), jsError);
  const TRunStatistic s = r.Stat();
  EXPECT_EQ(s.Rows, 12);
  EXPECT_EQ(s.Inserted, 10);
  EXPECT_EQ(s.Errors, 2);
  EXPECT_EQ(r.ErrorIds(), Names({"3", "8"}));
  EXPECT_EQ(r.Rows().size(), 10u);

  // The cause fixed, a run on the error records transfers exactly those.
  Server().Psql("alter table " + r.table_ + " drop constraint " + r.table_ + "_name_check");
  r.link->SetSourceDataType(sdtError);
  r.RunLink();
  EXPECT_EQ(r.link->Status(), jsOk) << testing::PrintToString(r.logs);
  EXPECT_EQ(r.Stat().Inserted, 2);
  EXPECT_EQ(r.Stat().Errors, 0);
  EXPECT_TRUE(r.ErrorIds().empty());
  EXPECT_EQ(r.Rows().size(), 12u);
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineImportModes, ::testing::Values("postgres", "odbc", "dbase", "paradox"));

}  // namespace
