// Screenshots of the DB link dialogs: the property dialog (its three
// pages), the debug settings and the import preview, over a sample job
// built here: an orders CSV file into a SQLite table, in a folder of its
// own that goes when the shots are taken.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/shots/Shots.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/DBLinkProForm.h"
#include "editors/DebugModeForm.h"
#include "editors/PreviewImportForm.h"
#include "editors/QtText.h"
#include "expression/Expression.h"
#include "expression/VarList.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"

namespace kv {

namespace {

const char kOrders[] =
    "ID,CUSTOMER,AMOUNT,REGION\r\n"
    "1,ada lovelace,120.50,north\r\n"
    "2,charles babbage,80,south\r\n"
    "3,grace hopper,15.25,north\r\n"
    "4,alan turing,,east\r\n"
    "5,wang zhenyi,42.10,north\r\n"
    "6,emmy noether,230,west\r\n"
    "7,john von neumann,9.99,north\r\n";

// The sample job in `folder`: the CSV "Orders" into the SQLite table
// "Sales", through the link "OrdersToSales" (owned by the job).
class TSampleLinkJob {
public:
  explicit TSampleLinkJob(const QString& folder) {
    const std::string dir = StdStr(folder);
    WriteText(dir + "/orders.csv", kOrders);
    job.Name = "orders-to-sqlite";
    job.SaveFileName = dir + "/orders-to-sqlite.job";
    job.VarList->SetVarExp("RATE", CreateRealExp(1.5));
    auto orders = std::make_unique<TKVTextDataSet>();
    orders->Name = "Orders";
    orders->TextFile().SetExtractColumnNamesFromFirstLine(true);
    orders->TextFile().SetTableName(dir + "/orders.csv");
    auto sales = std::make_unique<TKVTableDataSet>();
    sales->Name = "Sales";
    sales->DataBaseInfo->DriverName = "SQLITE";
    sales->DataBaseInfo->Path = dir + "/sales.db";
    sales->TableName = "SALES";
    auto made = std::make_unique<TDBLink>();
    link = made.get();
    link->Name = "OrdersToSales";
    link->Description = "The day's orders of the north region, with tax.";
    link->Job = &job;
    link->SetSourceDataSet(orders.get());
    link->SetDestDataSet(sales.get());
    for (const char* line : {"ID=Orders.ID", "CUSTOMER=Upper(Orders.CUSTOMER)", "AMOUNT=Orders.AMOUNT",
                             "WITH_TAX=Orders.AMOUNT * TAX", "SOURCE=ORIGIN"})
      link->Mappings().Add(line);
    link->StartExp = "Orders.CUSTOMER <> ''";
    link->FilterExp = "Orders.REGION = 'north'";
    link->StopExp = "Orders.REGION = 'none'";
    link->ErrorExp = "ERRORS := ERRORS + 1";
    link->VarList().SetVarExp("TAX", CreateRealExp(1.08));
    link->VarList().SetVarExp("ORIGIN", CreateStrExp("csv"));
    link->VarList().SetVarExp("ERRORS", CreateIntExp(0));
    link->DebugMode().StopOption = soStopAfterRows;
    link->DebugMode().StopAfterRows = 500;
    link->DebugMode().WarningOption = woWarningEverRows;
    link->DebugMode().WarningAfterRows = 100;
    job.DataSets->AddOwned("Orders", std::move(orders));
    job.DataSets->AddOwned("Sales", std::move(sales));
    job.DBLinks->AddOwned(link->Name, std::move(made));
  }
  ~TSampleLinkJob() { job.DBLinks->Clear(); }  // the link goes before the datasets it refers to

  TJob job;
  TDBLink* link = nullptr;  // owned by job.DBLinks

private:
  static void WriteText(const std::string& path, const char* text) {
    QFile file(QStr(path));
    if (file.open(QIODevice::WriteOnly)) file.write(text);
  }
};

void ShootLinkPro(TSampleLinkJob& sample, const QString& outDir, const QString& suffix) {
  const char* const pages[3] = {"", "-CleanCondition", "-VarList"};
  for (int page = 0; page < 3; ++page) {
    TKVDBLinkProForm form(*sample.link, sample.job);
    form.findChild<QTabWidget*>()->setCurrentIndex(page);
    ShootWindow(form, outDir, QString("KVDBLinkProForm") + pages[page], suffix);
  }
}

void ShootPreview(TSampleLinkJob& sample, const QString& outDir, const QString& suffix) {
  TPreviewImportDataForm form(*sample.link, sample.job);
  form.show();
  QElapsedTimer waited;
  waited.start();
  while ((!form.isVisible() || form.Walking() || waited.elapsed() < 100) && waited.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ShootWindow(form, outDir, "PreviewImportDataForm", suffix);
}

}  // namespace

void ShootLinkDialogs(const QString& outDir, const QString& suffix, const QString& home) {
  (void)home;  // the sample job is built in code, in a folder of its own
  QTemporaryDir folder;
  if (!folder.isValid()) return;
  TSampleLinkJob sample(folder.path());
  ShootLinkPro(sample, outDir, suffix);
  TKVDebugModeForm debug(sample.link->DebugMode());
  ShootWindow(debug, outDir, "KVDebugModeForm", suffix);
  ShootPreview(sample, outDir, suffix);
}

}  // namespace kv
