// A DB link from a delimited text file (dataset "S", header line) into a
// SQLite table (or an in-memory destination), with the headless handlers
// attached, for the run tests. The datasets and the job outlive the link.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/CustomDataSet.h"
#include "data/MemDataSet.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "environment/Logs.h"
#include "jobs/DBLink.h"
#include "jobs/DBLinkThread.h"
#include "jobs/HeadlessHandlers.h"
#include "jobs/Job.h"
#include "testsupport/SqliteRows.h"
#include "testsupport/TempFiles.h"

namespace kvtest {

// Source lines "ID,NAME,BORN" then one per record; rows whose number is in
// `emptyNames` get an empty name, in `badDates` the date 2020-13-45.
inline std::string OrdersCsv(int rows, const std::vector<int>& emptyNames = {}, const std::vector<int>& badDates = {}) {
  std::string text = "ID,NAME,BORN\r\n";
  auto in = [](const std::vector<int>& list, int n) {
    for (int x : list)
      if (x == n) return true;
    return false;
  };
  for (int n = 1; n <= rows; ++n) {
    const std::string day = n % 28 < 9 ? "0" + std::to_string(n % 28 + 1) : std::to_string(n % 28 + 1);
    text += std::to_string(n) + "," + (in(emptyNames, n) ? "" : "Name" + std::to_string(n)) + "," +
            (in(badDates, n) ? "2020-13-45" : "2020-01-" + day) + "\r\n";
  }
  return text;
}

class RunFixture {
public:
  RunFixture() : folder_("linkrun") {
    job.Name = "J";
    job.SaveFileName = folder_.File("J.job");
    source.Name = "S";
    source.TextFile().SetExtractColumnNamesFromFirstLine(true);
    source.TextFile().SetTableName(folder_.File("orders.csv"));
    dest.Name = "D";
    dest.DataBaseInfo->DriverName = "SQLITE";
    dest.DataBaseInfo->Path = DbPath();
    dest.TableName = "t";
    link = std::make_unique<kv::TDBLink>();
    link->Name = "L";
    link->Job = &job;
    link->SetSourceDataSet(&source);
    link->SetDestDataSet(&dest);
    link->Mappings().Add("ID=ID");
    link->Mappings().Add("NAME=S.NAME");
    link->Mappings().Add("BORN=BORN");
    kv::AttachHeadlessHandlers(*link, [this](kv::TDBLink&, const kv::TKVLog& log) { logs.push_back(log.Event); });
  }
  ~RunFixture() { link.reset(); }

  std::string DbPath() const { return folder_.File("dest.db"); }
  std::string Folder() const { return folder_.Path(); }
  void WriteSource(const std::string& text) { WriteFile(folder_.File("orders.csv"), text); }
  // Runs SQL on the destination file through a connection of its own.
  void Exec(const std::string& sql) {
    kv::TSqliteDatabase db(DbPath());
    db.Exec(sql);
  }
  void CreateTable(const std::string& columns = "ID INTEGER, NAME TEXT NOT NULL, BORN DATE") {
    Exec("CREATE TABLE t(" + columns + ")");
  }
  // The rows of a query on the destination, fields joined by '|' (NULL as "null").
  std::vector<std::string> Query(const std::string& sql) { return kvtest::SqliteRows(DbPath(), sql); }
  int64_t Count() { return std::stoll(Query("SELECT count(*) FROM t").at(0)); }
  // Runs the link on its thread and waits for its end (pumping the main-thread calls).
  void RunLink() {
    link->Run();
    link->WaitFor();
  }
  kv::TRunStatistic Stat() const { return link->Counters().Statistic; }
  std::string ErrFile() const { return link->GetErrorDataFileName(); }
  // The IDs held by the link's error data, in order.
  std::vector<std::string> ErrorIds() {
    std::vector<std::string> ids;
    kv::TKVMemDataSet& e = link->ErrorData();
    if (!e.Active()) return ids;
    for (e.First(); !e.Eof(); e.Next()) ids.push_back(e.FieldByName("ID").AsString());
    return ids;
  }
  bool LogHas(const std::string& part) const {
    for (const std::string& l : logs)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

  TempFolder folder_;
  kv::TJob job;
  kv::TKVTextDataSet source;
  kv::TKVTableDataSet dest;
  std::unique_ptr<kv::TDBLink> link;
  std::vector<std::string> logs;
};

}  // namespace kvtest
