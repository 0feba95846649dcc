// link run: a job file made here (a text file -> a SQLite table, relative
// file names), run as a user's script would run it.
#include <gtest/gtest.h>

#include <filesystem>

#include "RunCli.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "flowchart/FlowChart.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"

using namespace kv;

namespace {

class LinkRunCli : public testing::Test {
protected:
  void SetUp() override {
    std::string csv = "ID,NAME\r\n";
    for (int n = 1; n <= 5; ++n) csv += std::to_string(n) + "," + (n == 2 || n == 4 ? "" : "N" + std::to_string(n)) + "\r\n";
    kvtest::WriteFile(folder.File("orders.csv"), csv);
    Exec("CREATE TABLE t(ID INTEGER, NAME TEXT NOT NULL)");
    WriteJob();
  }
  void Exec(const std::string& sql) {
    TSqliteDatabase db(folder.File("dest.db"));
    db.Exec(sql);
  }
  std::string Count() {
    TSqliteDatabase db(folder.File("dest.db"));
    auto st = db.Prepare("SELECT count(*) FROM t");
    st->Step();
    return st->Column(0).AsString();
  }
  // Job "J": shape "S" (the text file) -> shape "D" (the table), link "L"; file names relative.
  void WriteJob() {
    TJob job;
    TKVFlowChart& chart = job.GetDesignControl();
    ObjCast<TJob>(chart.Job())->Name = "J";
    TKVFcObject* s = chart.CreateObject(0, 0, 50, 50, fcsRectangle, dotText);
    auto* text = ObjCast<TKVTextDataSet>(s->DataSet());
    text->Name = "S";
    text->TextFile().SetExtractColumnNamesFromFirstLine(true);
    text->TextFile().SetTableName("orders.csv");
    TKVFcObject* d = chart.CreateObject(100, 0, 50, 50, fcsRectangle, dotFileDB);
    d->DataSet()->Name = "D";
    d->DataSet()->DataBaseInfo->DriverName = "SQLITE";
    d->DataSet()->DataBaseInfo->Path = "dest.db";
    d->DataSet()->TableName = "t";
    auto* link = ObjCast<TDBLink>(chart.CreateConnection(s, d, 0, 0)->DBLink());
    ASSERT_NE(link, nullptr);
    link->Name = "L";
    link->Mappings().Add("ID=ID");
    link->Mappings().Add("NAME=S.NAME");
    chart.SaveToFile(JobFile());
  }
  std::string JobFile() const { return folder.File("J.job"); }

  kvtest::TempFolder folder{"clilink"};
};

}  // namespace

TEST_F(LinkRunCli, FailingRecordsAreLoggedSavedAndTransferredAgain) {
  kvtest::CliResult r = kvtest::RunCli({"link", "run", JobFile()});
  EXPECT_EQ(r.status, 1) << r.err;
  const std::vector<std::string> lines = kvtest::Lines(r.out);
  ASSERT_EQ(lines.size(), 3u) << r.out;
  EXPECT_EQ(lines[0], "L\terror\tDBLink:L error:Field 'NAME' must have a value");
  EXPECT_EQ(lines[2], "L\terror\trows=5 inserted=3 updated=0 deleted=0 errors=2");
  EXPECT_TRUE(std::filesystem::exists(folder.File("JL.err")));
  EXPECT_EQ(Count(), "3");

  Exec("CREATE TABLE t2(ID INTEGER, NAME TEXT); INSERT INTO t2 SELECT * FROM t; DROP TABLE t; ALTER TABLE t2 RENAME TO t");
  r = kvtest::RunCli({"link", "run", JobFile(), "L", "--error-data", "--quiet"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "L\tok\trows=2 inserted=2 updated=0 deleted=0 errors=0\n");
  EXPECT_EQ(Count(), "5");
}

TEST_F(LinkRunCli, AllLinksOkExitsZero) {
  Exec("CREATE TABLE t2(ID INTEGER, NAME TEXT); DROP TABLE t; ALTER TABLE t2 RENAME TO t");
  const kvtest::CliResult r = kvtest::RunCli({"link", "run", JobFile()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "L\tok\trows=5 inserted=5 updated=0 deleted=0 errors=0\n");
}

TEST_F(LinkRunCli, BadCommandLinesAndUnknownLinks) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of standard error
  };
  const std::vector<Case> cases = {
      {{"link"}, 2, "the only link command is \"run\""},
      {{"link", "walk", JobFile()}, 2, "the only link command is \"run\""},
      {{"link", "run"}, 2, "a job file is required"},
      {{"link", "run", JobFile(), "--fast"}, 2, "unknown option \"--fast\""},
      {{"link", "run", JobFile(), "NOPE"}, 1, "has no DB link named \"NOPE\""},
      {{"link", "run", folder.File("missing.job")}, 1, "Cannot open the job file"},
      {{"link", "run", JobFile(), "--error-data"}, 1, "has no error records"},
  };
  for (const Case& c : cases) {
    const kvtest::CliResult r = kvtest::RunCli(c.args);
    EXPECT_EQ(r.status, c.status) << c.err << "\n" << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  EXPECT_EQ(Count(), "0");
}
