// Jobs for the tests of the debug and error-data windows: each DB link
// reads a CSV file ("ID,NAME,BORN", dataset "S") into table t of a SQLite
// file of its own whose NAME column is NOT NULL, so the records given an
// empty name fail. The program folder ($VANDREL_HOME, where "KVCore.env"
// goes) and the job's files live in a temporary folder; the fixture puts
// its own environment in GlobalEnv and a user interface that answers as the
// test says.
#pragma once

#include <QByteArray>
#include <QTest>
#include <QWidget>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/MemDataSet.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "foundation/FileUtils.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"
#include "testsupport/TempFiles.h"

namespace kvtest {

// Shows `window` and makes it the active one, so that its keys (F5, F6, ...)
// reach it; false when it never became active.
inline bool ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

// Records every message and answers through `answer` (when set and not
// mrNone), else Yes to a question and OK to a message.
class TAnswers : public kv::IUserInterface {
public:
  int MessageDlg(const std::string& text, kv::TMsgDlgType, kv::TMsgDlgButtons buttons, int) override {
    messages.push_back(text);
    if (answer) {
      if (const int given = answer(text); given != kv::mrNone) return given;
    }
    return (buttons & (1u << kv::mbYes)) ? kv::mrYes : kv::mrOk;
  }
  void Beep() override {}
  int Count(const std::string& part) const {
    int n = 0;
    for (const std::string& m : messages) n += m.find(part) != std::string::npos;
    return n;
  }
  std::vector<std::string> messages;
  std::function<int(const std::string&)> answer;
};

class TDebugJobs {
public:
  TDebugJobs() : folder_("debugform") {
    qputenv("VANDREL_HOME", QByteArray::fromStdString(folder_.Path() + "/"));
    oldEnv_ = kv::GlobalEnv;
    kv::GlobalEnv = &env;
    oldUI_ = kv::SetUserInterface(&ui);
    job.Name = "Orders";
    job.SaveFileName = folder_.File("Orders.job");
  }
  ~TDebugJobs() {
    job.DBLinks->ClearLinks();
    kv::SetUserInterface(oldUI_);
    kv::GlobalEnv = oldEnv_;
    qunsetenv("VANDREL_HOME");
  }

  // Adds link `name` reading `rows` records into table t of NAME.db; the
  // records numbered in `emptyNames` have no name. Names read "<prefix><n>".
  kv::TDBLink& AddLink(const std::string& name, int rows, const std::vector<int>& emptyNames = {},
                       const std::string& prefix = "Name") {
    WriteCsv(name, rows, emptyNames, prefix);
    Exec(name, "CREATE TABLE t(ID INTEGER, NAME TEXT NOT NULL, BORN TEXT)");
    auto source = std::make_unique<kv::TKVTextDataSet>();
    source->Name = "S";
    source->TextFile().SetExtractColumnNamesFromFirstLine(true);
    source->TextFile().SetTableName(folder_.File(name + ".csv"));
    auto dest = std::make_unique<kv::TKVTableDataSet>();
    dest->Name = "D";
    dest->DataBaseInfo->DriverName = "SQLITE";
    dest->DataBaseInfo->Path = Db(name);
    dest->TableName = "t";
    auto* link = new kv::TDBLink;
    link->Name = name;
    link->Job = &job;
    link->SetSourceDataSet(source.get());
    link->SetDestDataSet(dest.get());
    link->Mappings().Add("ID=ID");
    link->Mappings().Add("NAME=S.NAME");
    link->Mappings().Add("BORN=Upper(S.BORN)");
    job.DBLinks->AddObject(name, link);
    dataSets_.push_back(std::move(source));
    dataSets_.push_back(std::move(dest));
    return *link;
  }

  std::string Db(const std::string& link) const { return folder_.File(link + ".db"); }
  std::string File(const std::string& name) const { return folder_.File(name); }
  void Exec(const std::string& link, const std::string& sql) const {
    kv::TSqliteDatabase db(Db(link));
    db.Exec(sql);
  }
  // The first column of the first row of `sql` on the link's table file.
  std::string Query(const std::string& link, const std::string& sql) const {
    kv::TSqliteDatabase db(Db(link));
    auto st = db.Prepare(sql);
    if (!st->Step()) return {};
    const kv::TVariant v = st->Column(0);
    return v.IsNull() ? std::string() : v.AsString();
  }
  // NAME may be empty from now on.
  void RelaxName(const std::string& link) const {
    Exec(link,
         "ALTER TABLE t RENAME TO t_old; CREATE TABLE t(ID INTEGER, NAME TEXT, BORN TEXT);"
         "INSERT INTO t SELECT * FROM t_old; DROP TABLE t_old");
  }
  // How many records the link's ".err" file holds (-1: no such file).
  static int ErrorFileRecords(const kv::TDBLink& link) {
    kv::TDBLink reader;
    reader.Job = link.Job;
    reader.Name = link.Name;
    const std::string file = link.GetErrorDataFileName();
    if (!kv::FileExists(file)) return -1;
    reader.LoadErrorDataFromFile(file);
    return reader.ErrorData().Active() ? reader.ErrorData().RecordCount() : 0;
  }
  // The IDs of a dataset's records, in order.
  static std::vector<std::string> Ids(kv::TDataSet& data) {
    std::vector<std::string> ids;
    if (!data.Active()) return ids;
    for (data.First(); !data.Eof(); data.Next()) ids.push_back(data.FieldByName("ID").AsString());
    return ids;
  }

  kv::TKVEnvironment env;
  TAnswers ui;
  kv::TJob job;

private:
  void WriteCsv(const std::string& name, int rows, const std::vector<int>& emptyNames, const std::string& prefix) {
    std::string text = "ID,NAME,BORN\r\n";
    for (int n = 1; n <= rows; ++n) {
      bool empty = false;
      for (int e : emptyNames) empty = empty || e == n;
      text += std::to_string(n) + "," + (empty ? std::string() : prefix + std::to_string(n)) + ",2020-01-0" +
              std::to_string(n % 9 + 1) + "\r\n";
    }
    WriteFile(folder_.File(name + ".csv"), text);
  }

  TempFolder folder_;
  kv::TKVEnvironment* oldEnv_ = nullptr;
  kv::IUserInterface* oldUI_ = nullptr;
  std::vector<std::unique_ptr<kv::TKVCustomDataSet>> dataSets_;
};

}  // namespace kvtest
