// The DB link run, text file -> SQLite table (and in-memory destinations):
// the run's checks, the import modes, conditions, error limits, error
// records and their re-transfer.
#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "data/MemDataSet.h"
#include "environment/Environment.h"
#include "environment/CoreMessages.h"
#include "expression/Expression.h"
#include "foundation/Format.h"
#include "jobs/tests/RunFixture.h"

using namespace kv;
using kvtest::OrdersCsv;
using kvtest::RunFixture;

namespace {

// "1|Name1|2020-01-02" ... for the records first..last of OrdersCsv.
std::vector<std::string> OrderRows(int first, int last) {
  std::vector<std::string> rows;
  for (int n = first; n <= last; ++n) {
    const int d = n % 28 + 1;
    rows.push_back(std::to_string(n) + "|Name" + std::to_string(n) + "|2020-01-" + (d < 10 ? "0" : "") +
                   std::to_string(d));
  }
  return rows;
}

void ExpectStat(const TRunStatistic& s, int rows, int inserted, int deleted, int updated, int errors) {
  EXPECT_EQ(s.Rows, rows);
  EXPECT_EQ(s.Inserted, inserted);
  EXPECT_EQ(s.Deleted, deleted);
  EXPECT_EQ(s.Updated, updated);
  EXPECT_EQ(s.Errors, errors);
}

}  // namespace

// ---- The run's own checks --------------------------------------------------------------------

TEST(DBLinkRun, MissingKeysOrMappingFailsBeforeOpeningAnything) {
  struct Case {
    TImportMode mode;
    std::string keys;
    bool mapping;
    std::string message;
  };
  const std::string noKeys = Format(SPropertyError.c_str(), "DatasetKeys");
  const std::vector<Case> cases = {
      {imUpdate, "", true, noKeys},
      {imAppendUpdate, "", true, noKeys},
      {imDelete, "", true, noKeys},
      {imAppend, "", false, SDBLinkNoDefineMaping.Text()},
      {imAppendUpdate, "ID", false, SDBLinkNoDefineMaping.Text()},
  };
  for (const Case& c : cases) {
    RunFixture f;
    f.WriteSource(OrdersCsv(3));
    f.CreateTable();
    f.dest.ImportMode = c.mode;
    f.dest.DatasetKeys = c.keys;
    if (!c.mapping) f.link->Mappings().Clear();
    f.RunLink();
    EXPECT_EQ(f.link->Status(), jsError) << c.message;
    ASSERT_EQ(f.logs.size(), 1u) << c.message;
    EXPECT_EQ(f.logs[0], Format(SDBLinkErrorMsg.c_str(), "L", c.message));
    EXPECT_FALSE(f.source.GetDataset()->Active()) << "no dataset is opened";
    EXPECT_EQ(f.Count(), 0);
  }
}

TEST(DBLinkRun, EmptySourceEndsOkWithZeroCountersAndAnEmptyErrorFile) {
  RunFixture f;
  f.WriteSource("ID,NAME,BORN\r\n");
  f.CreateTable();
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 0, 0, 0, 0, 0);
  ASSERT_TRUE(std::filesystem::exists(f.ErrFile()));
  TKVMemDataSet saved;
  saved.LoadFromFile(f.ErrFile());
  EXPECT_EQ(saved.RecordCount(), 0);
  EXPECT_EQ(saved.FieldCount(), 3) << "the error data has the source's structure";
}

TEST(DBLinkRun, AppendWritesEveryRecordAndCommits) {
  RunFixture f;
  f.WriteSource(OrdersCsv(25));
  f.CreateTable();
  f.dest.PostRecords = 10;
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 25, 25, 0, 0, 0);
  EXPECT_EQ(f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID"), OrderRows(1, 25));
  const TSpeedValue speed = f.link->Counters().Speed;
  EXPECT_EQ(speed.SourceBrowse, 25);
  EXPECT_EQ(speed.Import, 25);
}

TEST(DBLinkRun, FieldsAfterAnExpressionThatMovesTheSourceReadTheRecordBeingConverted) {
  // FieldNextValue looks at the next record and comes back: the fields
  // mapped after it still read the record being converted, not the one
  // it looked at.
  RunFixture f;
  f.WriteSource(OrdersCsv(6));
  f.CreateTable("ID INTEGER, NAME TEXT, BORN DATE");
  f.link->Mappings().Clear();
  f.link->Mappings().Add("ID=ID");
  f.link->Mappings().Add("NAME=FieldNextValue(S, 'NAME')");
  f.link->Mappings().Add("BORN=BORN");
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  const std::vector<std::string> own = OrderRows(1, 6);
  const std::vector<std::string> rows = f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID");
  ASSERT_EQ(rows.size(), 6u);
  for (int n = 1; n < 6; ++n) {
    // "n|Name<n+1>|<born of n>"
    const std::string& mine = own[static_cast<size_t>(n - 1)];
    const std::string born = mine.substr(mine.rfind('|') + 1);
    EXPECT_EQ(rows[static_cast<size_t>(n - 1)], std::to_string(n) + "|Name" + std::to_string(n + 1) + "|" + born);
  }
}

TEST(DBLinkRun, FilterFalseForEveryRecordWritesNothing) {
  RunFixture f;
  f.WriteSource(OrdersCsv(12));
  f.CreateTable();
  f.link->FilterExp = "S.ID = 'none'";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 12, 0, 0, 0, 0);
  EXPECT_EQ(f.link->Counters().Speed.SourceBrowse, 12);
  EXPECT_EQ(f.link->Counters().Speed.Import, 0);
  EXPECT_EQ(f.Count(), 0);
}

TEST(DBLinkRun, StartConditionMetAtTheFifthRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(8));
  f.CreateTable();
  f.link->StartExp = "S.ID = '5'";
  std::vector<TJobStatus> seen;
  f.link->OnStatus = [&](TDBLink&, TJobStatus s) { seen.push_back(s); };
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 8, 4, 0, 0, 0);
  EXPECT_EQ(f.link->Counters().Speed.Import, 8) << "records before the start count as handled";
  EXPECT_EQ(f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID"), OrderRows(5, 8));
  EXPECT_EQ(seen, (std::vector<TJobStatus>{jsStart, jsRunning, jsOk}));
}

TEST(DBLinkRun, StopConditionAtTheTenthRecordStopsBeforeWritingIt) {
  RunFixture f;
  f.WriteSource(OrdersCsv(15));
  f.CreateTable();
  f.link->StopExp = "S.ID = '10'";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsStop);
  ExpectStat(f.Stat(), 10, 9, 0, 0, 0);
  EXPECT_EQ(f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID"), OrderRows(1, 9));
  // The end of the link's thread closes its session: nothing stays open on a thread that is gone.
  EXPECT_FALSE(f.source.GetDataset()->Active());
  EXPECT_FALSE(f.dest.GetDataset()->Active());
  EXPECT_FALSE(f.link->Started());
}

TEST(DBLinkRun, StopConditionOnTheLastRecordStillEndsStopped) {
  RunFixture f;
  f.WriteSource(OrdersCsv(4));
  f.CreateTable();
  f.link->StopExp = "S.ID = '4'";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsStop);
  EXPECT_EQ(f.Count(), 3);
}

TEST(DBLinkRun, UpdateWithALowerCaseKeyItemMatchesNoMappingAndWritesNothing) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5));
  f.CreateTable();
  f.Exec("INSERT INTO t VALUES (1, 'old', '2000-01-01'), (2, 'old', '2000-01-01')");
  f.dest.ImportMode = imUpdate;
  f.dest.DatasetKeys = "id";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 5, 0, 0, 0, 0);
  EXPECT_EQ(f.Query("SELECT NAME FROM t ORDER BY ID"), (std::vector<std::string>{"old", "old"}));
}

TEST(DBLinkRun, KeyModesLocateByKey) {
  struct Case {
    TImportMode mode;
    int inserted, deleted, updated;
    std::vector<std::string> names;  // NAME of the rows afterwards, by ID
  };
  const std::vector<Case> cases = {
      {imAppendUpdate, 2, 0, 3, {"Name1", "Name2", "Name3", "Name4", "Name5"}},
      {imUpdate, 0, 0, 3, {"Name1", "Name2", "Name3"}},
      {imDelete, 0, 3, 0, {}},
  };
  for (const Case& c : cases) {
    RunFixture f;
    f.WriteSource(OrdersCsv(5));
    f.CreateTable();
    f.Exec("INSERT INTO t VALUES (1, 'old', '2000-01-01'), (2, 'old', '2000-01-01'), (3, 'old', '2000-01-01')");
    f.dest.ImportMode = c.mode;
    f.dest.DatasetKeys = "ID";
    f.RunLink();
    EXPECT_EQ(f.link->Status(), jsOk) << c.mode;
    ExpectStat(f.Stat(), 5, c.inserted, c.deleted, c.updated, 0);
    EXPECT_EQ(f.Query("SELECT NAME FROM t ORDER BY ID"), c.names) << c.mode;
  }
}

TEST(DBLinkRun, KeyModeWarnsOnlyWhenNoIndexServesTheKeys) {
  for (const bool indexed : {false, true}) {
    RunFixture f;
    f.WriteSource(OrdersCsv(2));
    f.CreateTable();
    if (indexed) f.Exec("CREATE INDEX t_id ON t(ID)");
    f.dest.ImportMode = imAppendUpdate;
    f.dest.DatasetKeys = "ID";
    f.RunLink();
    EXPECT_EQ(f.link->Status(), jsOk);
    EXPECT_EQ(f.LogHas("has no index on its key fields ID"), !indexed) << testing::PrintToString(f.logs);
  }
}

TEST(DBLinkRun, SeveralKeysLocateByAllOfThem) {
  RunFixture f;
  f.WriteSource(OrdersCsv(3));
  f.CreateTable();
  f.Exec("INSERT INTO t VALUES (1, 'Name1', '2000-01-01'), (2, 'other', '2000-01-01')");
  f.dest.ImportMode = imAppendUpdate;
  f.dest.DatasetKeys = "ID;NAME";
  f.RunLink();
  ExpectStat(f.Stat(), 3, 2, 0, 1, 0);
  EXPECT_EQ(f.Count(), 4);
}

TEST(DBLinkRun, CopyEmptiesTheFiftyDestinationRecordsFirst) {
  RunFixture f;
  f.WriteSource(OrdersCsv(7));
  f.CreateTable();
  for (int i = 0; i < 50; ++i) f.Exec("INSERT INTO t VALUES (" + std::to_string(100 + i) + ", 'x', '2001-01-01')");
  f.dest.ImportMode = imCopy;
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 7, 7, 50, 0, 0);
  EXPECT_EQ(f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID"), OrderRows(1, 7));
}

TEST(DBLinkRun, MaxErrorsStopsAfterTheThirdFailedRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  f.CreateTable();
  f.link->MaxErrors = 3;
  int errorEvents = 0;
  auto headless = f.link->OnError;
  f.link->OnError = [&](TDBLink& l, const std::string& e, TDataSet* d, TAbortMode& a) {
    ++errorEvents;
    headless(l, e, d, a);
  };
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsStop);
  ExpectStat(f.Stat(), 3, 0, 0, 0, 3);
  EXPECT_EQ(errorEvents, 3);
  EXPECT_EQ(f.ErrorIds(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(f.Count(), 0);
}

TEST(DBLinkRun, NoErrorLimitGoesThroughEveryRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(6, {2, 4}));
  f.CreateTable();
  f.link->MaxErrors = 0;
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsError) << "source used up with error records";
  ExpectStat(f.Stat(), 6, 4, 0, 0, 2);
  EXPECT_EQ(f.link->Counters().Speed.ErrRecords, 2);
}

TEST(DBLinkRun, MissingDestinationFieldIsComputedButNotWritten) {
  RunFixture f;
  f.WriteSource(OrdersCsv(3));
  f.CreateTable();
  f.link->Mappings().Add("EXTRA=upper(S.NAME)");
  std::vector<std::string> extras;
  f.link->OnConvertRecord = [&](TDBLink&, const TVariant& values, const TSpeedValue&, TAbortMode&) {
    extras.push_back(values.Element(3).Element(2).AsString());
  };
  f.link->SetRunOperate(roDebugGo);
  f.link->DebugGo();
  f.link->WaitFor();
  EXPECT_EQ(f.link->Status(), jsOk);
  EXPECT_EQ(f.Query("SELECT ID, NAME, BORN FROM t ORDER BY ID"), OrderRows(1, 3));
  EXPECT_EQ(extras, (std::vector<std::string>{"NAME1", "NAME2", "NAME3"}));
}

TEST(DBLinkRun, ExpressionThatDoesNotTranslateFailsTheRunOnce) {
  RunFixture f;
  f.WriteSource(OrdersCsv(3));
  f.CreateTable();
  f.link->FilterExp = "S.ID = ";
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsError);
  EXPECT_EQ(f.Count(), 0);
  EXPECT_EQ(f.Stat().Rows, 0);
  EXPECT_TRUE(f.LogHas("Filter condition of DBLink:L")) << testing::PrintToString(f.logs);
}

TEST(DBLinkRun, ErrorExpressionIsEvaluatedOncePerFailedRecord) {
  RunFixture f;
  f.WriteSource(OrdersCsv(5, {2, 5}));
  f.CreateTable();
  f.link->VarList().SetVarExp("FAILS", CreateStrExp(""));
  f.link->ErrorExp = "FAILS := FAILS + 'x'";
  f.RunLink();
  EXPECT_EQ(f.Stat().Errors, 2);
  EXPECT_EQ(f.link->VarList().GetVarExp("FAILS")->GetString(), "xx");
}

// ---- Error records ---------------------------------------------------------------------------

TEST(DBLinkRunErrors, FailingRecordsAreCapturedAndTransferredAgainOnceFixed) {
  RunFixture f;
  f.WriteSource(OrdersCsv(6, {2}, {4}));
  f.CreateTable();
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsError);
  ExpectStat(f.Stat(), 6, 4, 0, 0, 2);
  EXPECT_EQ(f.ErrorIds(), (std::vector<std::string>{"2", "4"}));
  {
    TKVMemDataSet saved;
    saved.LoadFromFile(f.ErrFile());
    EXPECT_EQ(saved.RecordCount(), 2);
  }
  // Only the empty name is fixed: the bad date fails again and stays captured.
  f.dest.GetDataset()->Close();
  f.Exec("CREATE TABLE t2(ID INTEGER, NAME TEXT, BORN DATE); INSERT INTO t2 SELECT * FROM t; DROP TABLE t;"
         "ALTER TABLE t2 RENAME TO t");
  f.link->SetSourceDataType(sdtError);
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsError);
  ExpectStat(f.Stat(), 2, 1, 0, 0, 1);
  EXPECT_EQ(f.ErrorIds(), (std::vector<std::string>{"4"}));
  // Now the date too.
  f.dest.GetDataset()->Close();
  f.Exec("CREATE TABLE t2(ID INTEGER, NAME TEXT, BORN TEXT); INSERT INTO t2 SELECT * FROM t; DROP TABLE t;"
         "ALTER TABLE t2 RENAME TO t");
  f.link->SetSourceDataType(sdtOrigin);
  f.link->SetSourceDataType(sdtError);
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 1, 1, 0, 0, 0);
  EXPECT_TRUE(f.ErrorIds().empty());
  EXPECT_EQ(f.Query("SELECT ID, coalesce(NAME, 'null'), BORN FROM t ORDER BY ID"),
            (std::vector<std::string>{"1|Name1|2020-01-02", "2|null|2020-01-03", "3|Name3|2020-01-04",
                                      "4|Name4|2020-13-45", "5|Name5|2020-01-06", "6|Name6|2020-01-07"}));
}

TEST(DBLinkRunErrors, NothingIsCapturedWithoutBackErrorDataButTheRunStillEndsInError) {
  RunFixture f;
  f.WriteSource(OrdersCsv(3, {3}));
  f.CreateTable();
  f.link->BackErrorData = false;
  f.RunLink();
  EXPECT_TRUE(f.ErrorIds().empty());
  EXPECT_EQ(f.link->Status(), jsError);
  EXPECT_TRUE(f.LogHas("must have a value") || f.LogHas("NOT NULL")) << testing::PrintToString(f.logs);
}

// ---- In-memory destinations with cached updates --------------------------------------------------

namespace {

// Takes the applied changes; refuses insertions whose ID is a multiple of `refuseEvery` (0: none).
class TestResolver : public IUpdateResolver {
public:
  explicit TestResolver(int refuseEvery = 0) : refuseEvery_(refuseEvery) {}
  void BeginApply() override { ++applies; }
  void ApplyUpdate(TUpdateKind, const TFieldDefs& fields, const std::vector<TVariant>&,
                   const std::vector<TVariant>& newValues) override {
    const int id = static_cast<int>(newValues.at(static_cast<size_t>(fields.IndexOf("ID"))).AsInteger());
    if (refuseEvery_ > 0 && id % refuseEvery_ == 0) throw EDatabaseError("refused " + std::to_string(id));
    applied.push_back(id);
  }
  int applies = 0;
  std::vector<int> applied;

private:
  int refuseEvery_;
};

struct ClientDest {
  explicit ClientDest(RunFixture& f, TestResolver& resolver) {
    auto mem = std::make_unique<TKVMemDataSet>();
    mem->FieldDefs().Add("ID", ftInteger);
    mem->FieldDefs().Add("NAME", ftString, 20);
    mem->FieldDefs().Add("BORN", ftString, 10);
    mem->CachedUpdates = true;
    mem->SetResolver(&resolver);
    mem->CreateDataSet();
    data = mem.get();
    dest.Name = "M";
    dest.SetDataSet(std::move(mem));
    f.link->SetDestDataSet(&dest);
  }
  TKVCustomDataSet dest;
  TKVMemDataSet* data = nullptr;
};

}  // namespace

TEST(DBLinkRunClient, PostRecordsAppliesEveryHundredWritesAndTheRestAtTheEnd) {
  RunFixture f;
  f.WriteSource(OrdersCsv(250));
  TestResolver resolver;
  ClientDest client(f, resolver);
  client.dest.PostRecords = 100;
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsOk);
  ExpectStat(f.Stat(), 250, 250, 0, 0, 0);
  EXPECT_EQ(resolver.applies, 3);
  ASSERT_EQ(resolver.applied.size(), 250u);
  EXPECT_EQ(resolver.applied.front(), 1);
  EXPECT_EQ(resolver.applied.back(), 250);
  EXPECT_EQ(client.data->ChangeCount(), 0);
  f.link.reset();
}

TEST(DBLinkRunClient, ZeroPostRecordsAppliesOnceAtTheEnd) {
  RunFixture f;
  f.WriteSource(OrdersCsv(30));
  TestResolver resolver;
  ClientDest client(f, resolver);
  client.dest.PostRecords = 0;
  f.RunLink();
  EXPECT_EQ(resolver.applies, 1);
  EXPECT_EQ(resolver.applied.size(), 30u);
  f.link.reset();
}

TEST(DBLinkRunClient, RefusedChangesAreReconciledCountedAndCaptured) {
  RunFixture f;
  f.WriteSource(OrdersCsv(250));
  TestResolver resolver(50);
  ClientDest client(f, resolver);
  client.dest.PostRecords = 100;
  f.RunLink();
  EXPECT_EQ(f.link->Status(), jsError);
  ExpectStat(f.Stat(), 250, 245, 0, 0, 5);
  EXPECT_EQ(resolver.applied.size(), 245u);
  EXPECT_EQ(f.ErrorIds(), (std::vector<std::string>{"50", "100", "150", "200", "250"}));
  EXPECT_EQ(f.link->ReconcileData().FieldByName("ID").AsInteger(), 250);
  EXPECT_EQ(client.data->ChangeCount(), 0) << "refused changes are dropped";
  EXPECT_TRUE(f.LogHas("refused 150")) << testing::PrintToString(f.logs);
  f.link.reset();
}

// ---- Mapping entries ---------------------------------------------------------------------------

TEST(DBLinkMapping, FieldAndKeyEntriesFollowTheMappingLines) {
  struct Case {
    TImportMode mode;
    std::string keys;
    std::string expectedKeys;  // items of the key entries, joined by ';'; "null" for no KeyValues
  };
  const std::vector<Case> cases = {
      {imAppend, "ID", "null"},
      {imCopy, "ID", "null"},
      {imUpdate, "", "null"},
      {imUpdate, "ID", "ID"},
      {imUpdate, "id", ""},
      {imAppendUpdate, "NAME;ID;MISSING", "NAME;ID"},
      {imDelete, "BORN", "BORN"},
  };
  for (const Case& c : cases) {
    TDBLink link;
    link.DestDataSet()->ImportMode = c.mode;
    link.DestDataSet()->DatasetKeys = c.keys;
    link.Mappings().Add(" id = S.ID ");
    link.Mappings().Add("Name=upper(S.NAME)");
    link.Mappings().Add("BORN=");
    link.BuildFieldMapping();
    const TVariant values = link.FieldValues();
    ASSERT_EQ(values.ArrayCount(), 3u);
    EXPECT_EQ(values.Element(0).Element(0).AsString(), "ID");
    EXPECT_EQ(values.Element(0).Element(1).AsString(), "S.ID");
    EXPECT_TRUE(values.Element(0).Element(2).IsEmpty()) << "not computed yet";
    EXPECT_EQ(values.Element(0).Element(3).AsInteger(), -1);
    EXPECT_EQ(values.Element(1).Element(0).AsString(), "NAME");
    EXPECT_EQ(values.Element(1).Element(1).AsString(), "upper(S.NAME)");
    EXPECT_EQ(values.Element(2).Element(1).AsString(), "");
    const TVariant keys = link.KeyValues();
    std::string items = keys.IsNull() ? "null" : "";
    for (size_t i = 0; !keys.IsNull() && i < keys.ArrayCount(); ++i) {
      items += (i ? ";" : "") + keys.Element(i).Element(0).AsString();
    }
    EXPECT_EQ(items, c.expectedKeys) << c.mode << " " << c.keys;
  }
}

TEST(DBLinkMapping, KeyEntriesCarryTheComputedValuesDuringTheRun) {
  RunFixture f;
  f.WriteSource(OrdersCsv(2));
  f.CreateTable();
  f.dest.ImportMode = imAppendUpdate;
  f.dest.DatasetKeys = "NAME;ID";
  std::vector<std::string> seen;
  f.link->OnAfterConvert = [&](TDBLink& link) {
    const TVariant keys = link.KeyValues();
    for (size_t i = 0; i < keys.ArrayCount(); ++i) seen.push_back(keys.Element(i).Element(2).AsString());
  };
  f.RunLink();
  EXPECT_EQ(seen, (std::vector<std::string>{"Name2", "2"})) << "the last record's values, in key order";
}

TEST(DBLinkRun, DeleteAtRunClearsTheLogFirst) {
  TKVEnvironment env;
  env.LogOption->Include(dlmDelAtRun);
  TKVEnvironment* old = std::exchange(GlobalEnv, &env);
  RunFixture f;
  f.WriteSource(OrdersCsv(2, {1}));
  f.CreateTable();
  f.link->AddLog(ltInfo, "from an earlier run");
  f.RunLink();
  GlobalEnv = old;
  ASSERT_EQ(f.link->Logs().Count(), 1);
  EXPECT_EQ(f.link->Logs().GetObj(0)->Event, Format(SDBLinkErrorMsg.c_str(), "L", "Field 'NAME' must have a value"));
}
