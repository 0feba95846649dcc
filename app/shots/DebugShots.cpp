// Screenshots of the debug window and the error-data window, each caught in
// the middle of a single-stepped run over a sample job built here: orders
// from a CSV file into a SQLite table whose NAME column refuses empty names.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/shots/Shots.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/DebugForm.h"
#include "editors/ErrorDataForm.h"
#include "editors/QtText.h"
#include "jobs/HeadlessHandlers.h"
#include "jobs/Job.h"

namespace kv {

namespace {

constexpr int kRows = 60;
constexpr int kPatienceMs = 60000;

bool PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

void Save(QWidget& window, const QString& outDir, const QString& name, const QString& suffix) {
  QApplication::processEvents();
  window.grab().save(QDir(outDir).filePath(name + "-" + suffix + ".png"));
}

// The job "daily-orders" with one link "OrdersToReport"; every 20th order has no customer name.
class TSampleJob {
public:
  explicit TSampleJob(const QString& dir) : dir_(StdStr(dir)) {
    std::string csv = "ID,NAME,AMOUNT\r\n";
    for (int i = 1; i <= kRows; ++i)
      csv += std::to_string(i) + "," + (i % 20 == 0 ? std::string() : "customer " + std::to_string(i)) + "," +
             std::to_string(i % 90 + 10) + ".50\r\n";
    if (std::FILE* f = std::fopen((dir_ + "/orders.csv").c_str(), "wb")) {
      std::fwrite(csv.data(), 1, csv.size(), f);
      std::fclose(f);
    }
    TSqliteDatabase(dir_ + "/report.db").Exec("CREATE TABLE ORDERS(ID INTEGER, NAME TEXT NOT NULL, AMOUNT REAL)");
    job.Name = "daily-orders";
    job.SaveFileName = dir_ + "/daily-orders.job";
    source_.Name = "Orders";
    source_.TextFile().SetExtractColumnNamesFromFirstLine(true);
    source_.TextFile().SetTableName(dir_ + "/orders.csv");
    dest_.Name = "Report";
    dest_.DataBaseInfo->DriverName = "SQLITE";
    dest_.DataBaseInfo->Path = dir_ + "/report.db";
    dest_.TableName = "ORDERS";
    link = new TDBLink;
    link->Name = "OrdersToReport";
    link->Job = &job;
    link->SetSourceDataSet(&source_);
    link->SetDestDataSet(&dest_);
    for (const char* line : {"ID=Orders.ID", "NAME=Orders.NAME", "AMOUNT=StrToFloat(Orders.AMOUNT) * 1.16"})
      link->Mappings().Add(line);
    job.DBLinks->AddObject(link->Name, link);
  }
  ~TSampleJob() { job.DBLinks->ClearLinks(); }
  void RelaxName() {
    TSqliteDatabase(dir_ + "/report.db").Exec("DROP TABLE ORDERS; CREATE TABLE ORDERS(ID INTEGER, NAME TEXT, AMOUNT REAL)");
  }

  TJob job;
  TDBLink* link = nullptr;  // owned by the job's list

private:
  std::string dir_;
  TKVTextDataSet source_;
  TKVTableDataSet dest_;
};

bool Paused(const TDBLink& link) { return link.Status() == jsPause; }

void ShootDebugForm(TSampleJob& sample, const QString& outDir, const QString& suffix) {
  TDebugForm form(sample.job);
  form.resize(1000, 620);
  form.show();
  auto* links = form.findChild<QTreeWidget*>("lvwDBLinks");
  links->setCurrentItem(links->topLevelItem(0));
  TDBLink* link = form.CurrentLink();
  for (int step = 0; link && step < 3; ++step) {
    form.acDebugStep->trigger();
    const int rows = step + 1;
    const auto stepped = [&] { return Paused(*link) && link->Counters().Statistic.Rows >= rows; };
    if (!PumpUntil(stepped, kPatienceMs)) break;
  }
  auto* watch = form.findChild<QTreeWidget*>("lvwDebug");
  if (watch && watch->topLevelItemCount() > 1) watch->setCurrentItem(watch->topLevelItem(1));
  PumpUntil([] { return false; }, 200);  // the counters of the idle refresh
  Save(form, outDir, "DebugForm", suffix);
  form.findChild<QTabWidget*>("pgcDebug")->setCurrentIndex(1);
  Save(form, outDir, "DebugFormLog", suffix);
  form.close();
}

void ShootErrorDataForm(TSampleJob& sample, const QString& outDir, const QString& suffix) {
  AttachHeadlessHandlers(*sample.link);
  sample.link->Run();
  sample.link->WaitFor();
  sample.RelaxName();
  TErrorDataForm form(*sample.link);
  form.resize(900, 480);
  form.show();
  form.acDebugStep->trigger();
  PumpUntil([&] { return Paused(*form.CurrentLink()) && form.CurrentLink()->Counters().Statistic.Rows >= 1; }, kPatienceMs);
  PumpUntil([] { return false; }, 200);
  Save(form, outDir, "ErrorDataForm", suffix);
  form.close();
}

}  // namespace

void ShootDebugWindows(const QString& outDir, const QString& suffix, const QString& home) {
  (void)home;  // the windows run a sample job built here
  QTemporaryDir dir;
  if (!dir.isValid()) return;
  {
    TSampleJob sample(dir.path());
    ShootDebugForm(sample, outDir, suffix);
  }
  QTemporaryDir errDir;
  if (!errDir.isValid()) return;
  TSampleJob sample(errDir.path());
  ShootErrorDataForm(sample, outDir, suffix);
}

}  // namespace kv
