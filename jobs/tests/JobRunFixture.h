// Jobs of the process-wide job group whose DB links move the records of
// their own CSV files into their own SQLite tables, for the tests of job
// runs. The fixture puts a fresh JobGroup and JobQueue in place and frees
// them (ending every run) before the datasets the links read.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "foundation/MainThread.h"
#include "jobs/DBLinkThread.h"
#include "jobs/HeadlessHandlers.h"
#include "jobs/Job.h"
#include "jobs/JobThreads.h"
#include "jobs/tests/RunFixture.h"
#include "testsupport/TempFiles.h"

namespace kvtest {

inline constexpr std::chrono::seconds kJobPatience{30};

class JobsFixture {
public:
  JobsFixture() : folder_("jobrun") {
    kv::JobGroup = std::make_unique<kv::TJobGroup>();
    kv::JobQueue = std::make_unique<kv::TJobQueue>();
  }
  ~JobsFixture() {
    kv::JobGroup.reset();
    kv::JobQueue.reset();
  }

  // A job `name` (file NAME.job in the fixture's folder, checked every
  // 20 ms) with `links` links; link i reads NAME_i.csv (`rows` records)
  // into table t of NAME_i.db, made empty here.
  kv::TJob& AddJob(const std::string& name, int links, int rows) {
    auto job = std::make_unique<kv::TJob>();
    job->Name = name;
    job->SaveFileName = folder_.File(name + ".job");
    job->CheckPeriod = std::chrono::milliseconds(20);
    for (int i = 0; i < links; ++i) AddLink(*job, i, rows);
    kv::TJob& ref = *job;
    kv::JobGroup->AddOwned(name, std::move(job));
    return ref;
  }

  std::string Db(const std::string& job, int link) const { return folder_.File(job + "_" + std::to_string(link) + ".db"); }
  int64_t Count(const std::string& job, int link) const {
    kv::TSqliteDatabase db(Db(job, link));
    auto st = db.Prepare("SELECT count(*) FROM t");
    st->Step();
    return st->Column(0).AsInteger();
  }
  std::string Ids(const std::string& job, int link) const {
    kv::TSqliteDatabase db(Db(job, link));
    auto st = db.Prepare("SELECT group_concat(ID) FROM t");
    st->Step();
    return st->Column(0).IsNull() ? std::string() : st->Column(0).AsString();
  }
  // Pumps until every job of the group has a final status and no thread.
  bool AllEnded() {
    return kv::PumpMainThreadUntil(
        [] {
          for (int i = 0; i < kv::JobGroup->Count(); ++i) {
            kv::TJob* j = kv::JobGroup->GetObj(i);
            if (j->Thread() || j->LinksBusy() || j->IsRunning() || j->IsWaiting()) return false;
          }
          return true;
        },
        kJobPatience);
  }
  std::string Folder() const { return folder_.Path(); }

  std::vector<std::string> logs;

private:
  void AddLink(kv::TJob& job, int i, int rows) {
    const std::string base = job.Name + "_" + std::to_string(i);
    WriteFile(folder_.File(base + ".csv"), OrdersCsv(rows));
    {
      kv::TSqliteDatabase db(Db(job.Name, i));
      db.Exec("CREATE TABLE t(ID INTEGER, NAME TEXT NOT NULL, BORN DATE)");
    }
    auto source = std::make_unique<kv::TKVTextDataSet>();
    source->Name = "S";
    source->TextFile().SetExtractColumnNamesFromFirstLine(true);
    source->TextFile().SetTableName(folder_.File(base + ".csv"));
    auto dest = std::make_unique<kv::TKVTableDataSet>();
    dest->Name = "D";
    dest->DataBaseInfo->DriverName = "SQLITE";
    dest->DataBaseInfo->Path = Db(job.Name, i);
    dest->TableName = "t";
    auto* link = new kv::TDBLink;
    link->Name = "L" + std::to_string(i);
    link->SetSourceDataSet(source.get());
    link->SetDestDataSet(dest.get());
    link->Mappings().Add("ID=ID");
    link->Mappings().Add("NAME=S.NAME");
    link->Mappings().Add("BORN=BORN");
    kv::TJob* owner = &job;
    link->OnIntelStatus = [owner](kv::TDBLink& l, kv::TJobStatus s) { owner->StatusEvent(l, s); };
    kv::AttachHeadlessHandlers(*link, [this](kv::TDBLink&, const kv::TKVLog& log) { logs.push_back(log.Event); });
    job.DBLinks->AddObject(link->Name, link);
    dataSets_.push_back(std::move(source));
    dataSets_.push_back(std::move(dest));
  }

  TempFolder folder_;
  std::vector<std::unique_ptr<kv::TKVCustomDataSet>> dataSets_;  // declared after the folder: freed first
};

}  // namespace kvtest
