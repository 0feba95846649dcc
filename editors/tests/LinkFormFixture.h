// A job for the DB link dialogs: the SQLite file "data.db" in a temporary
// folder with the tables src (ID INTEGER, NAME TEXT, AMOUNT REAL) and dst
// (the same columns); the job "J" owns the table datasets "S" (on src) and
// "D" (on dst) and the DB links "L" (S -> D, mapping ID, NAME, AMOUNT) and
// "L2". The job's variable RATE is 3.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "expression/VarList.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"
#include "testsupport/SqliteRows.h"
#include "testsupport/TempFiles.h"

namespace kvtest {

class LinkFormFixture {
public:
  LinkFormFixture() : folder_("linkform") {
    Exec("CREATE TABLE src(ID INTEGER, NAME TEXT, AMOUNT REAL)");
    Exec("CREATE TABLE dst(ID INTEGER, NAME TEXT, AMOUNT REAL)");
    job.Name = "J";
    job.SaveFileName = folder_.File("J.job");
    job.VarList->SetVarExp("RATE", kv::CreateIntExp(3));
    source = AddTable("S", "src");
    dest = AddTable("D", "dst");
    auto made = std::make_unique<kv::TDBLink>();
    link = made.get();
    link->Name = "L";
    link->Job = &job;
    link->SetSourceDataSet(source);
    link->SetDestDataSet(dest);
    for (const char* line : {"ID=S.ID", "NAME=S.NAME", "AMOUNT=S.AMOUNT"}) link->Mappings().Add(line);
    job.DBLinks->AddOwned("L", std::move(made));
    auto other = std::make_unique<kv::TDBLink>();
    other->Name = "L2";
    job.DBLinks->AddOwned("L2", std::move(other));
  }

  ~LinkFormFixture() { job.DBLinks->Clear(); }

  std::string DbPath() const { return folder_.File("data.db"); }
  std::string File(const std::string& name) const { return folder_.File(name); }

  // Runs SQL on the file through a connection of its own.
  void Exec(const std::string& sql) const {
    kv::TSqliteDatabase db(DbPath());
    db.Exec(sql);
  }

  // Rows 1..count into src: ID n, NAME "Name<n>", AMOUNT n * 1.5 (NAME Null for the rows in `nullNames`).
  void FillSource(int count, const std::vector<int>& nullNames = {}) const {
    kv::TSqliteDatabase db(DbPath());
    db.Exec("BEGIN");
    for (int n = 1; n <= count; ++n) {
      bool null = false;
      for (int x : nullNames) null = null || x == n;
      const std::string name = null ? "NULL" : "'Name" + std::to_string(n) + "'";
      db.Exec("INSERT INTO src VALUES(" + std::to_string(n) + "," + name + "," + std::to_string(n) + "* 1.5)");
    }
    db.Exec("COMMIT");
  }

  // The rows of a query, fields joined by '|' (NULL as "null").
  std::vector<std::string> Query(const std::string& sql) const { return kvtest::SqliteRows(DbPath(), sql); }

  TempFolder folder_;
  kv::TJob job;
  kv::TKVTableDataSet* source = nullptr;  // owned by job.DataSets
  kv::TKVTableDataSet* dest = nullptr;    // owned by job.DataSets
  kv::TDBLink* link = nullptr;            // owned by job.DBLinks

private:
  kv::TKVTableDataSet* AddTable(const std::string& name, const std::string& table) {
    auto dataSet = std::make_unique<kv::TKVTableDataSet>();
    dataSet->Name = name;
    dataSet->DataBaseInfo->DriverName = "SQLITE";
    dataSet->DataBaseInfo->Path = DbPath();
    dataSet->TableName = table;
    kv::TKVTableDataSet* raw = dataSet.get();
    job.DataSets->AddOwned(name, std::move(dataSet));
    return raw;
  }
};

}  // namespace kvtest
