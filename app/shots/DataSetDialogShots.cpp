// Screenshots of the dataset dialogs, the browse window and the field
// definition import, on a sample text file and SQLite database made in a
// temporary folder.
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/shots/Shots.h"
#include "data/KVFieldDefs.h"
#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/BrowseDataForm.h"
#include "editors/FileDataSetDlg.h"
#include "editors/ImportFieldDefineForm.h"
#include "editors/QueryDataSetForm.h"
#include "editors/TableDataSetForms.h"
#include "jobs/Job.h"

namespace kv {

namespace {

void ShootPage(QWidget& window, int page, const QString& outDir, const QString& name, const QString& suffix) {
  if (auto* pages = window.findChild<QTabWidget*>()) pages->setCurrentIndex(page);
  window.show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  window.grab().save(QDir(outDir).filePath(name + "-" + suffix + ".png"));
  window.close();
}

std::string SampleText(const QTemporaryDir& dir) {
  const QString path = dir.filePath("orders.txt");
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) {
    file.write("order;customer;amount\r\n1001;Ann Lee;19.90\r\n1002;Bo Chen;7.50\r\n1003;Cai Wu;120.00\r\n");
  }
  return path.toStdString();
}

std::string SampleDatabase(const QTemporaryDir& dir) {
  const std::string path = dir.filePath("shop.db").toStdString();
  TSqliteDatabase db(path);
  db.Exec("CREATE TABLE orders (id INTEGER NOT NULL PRIMARY KEY, customer VARCHAR(40), amount NUMERIC(10,2))");
  db.Exec("CREATE TABLE customers (name TEXT)");
  db.Exec("INSERT INTO orders VALUES (1001, 'Ann Lee', 19.9), (1002, 'Bo Chen', 7.5), (1003, 'Cai Wu', 120)");
  return path;
}

void PointAt(TKVCustomDataSet& dataSet, const std::string& path, const std::string& table) {
  dataSet.DataBaseInfo->DriverName = "SQLite";
  dataSet.DataBaseInfo->Path = path;
  dataSet.TableName = table;
}

void ShootText(TJob& job, const std::string& file, const QString& outDir, const QString& suffix) {
  TKVTextDataSet text;
  text.Name = "Orders";
  text.Description = "The day's orders exported by the shop.";
  text.TextFile().SetTextFileType(tftDelimited);
  text.TextFile().SetColumnSeperator(";");
  text.TextFile().SetExtractColumnNamesFromFirstLine(true);
  text.TextFile().SetTableName(file);
  TKVFileDataSetDlg general(text, job);
  ShootPage(general, 0, outDir, "KVFileDataSetDlg", suffix);
  TKVFileDataSetDlg format(text, job);
  format.RefreshPreview();
  ShootPage(format, 1, outDir, "KVFileDataSetDlg-Format", suffix);
}

void ShootQuery(TJob& job, const std::string& db, const QString& outDir, const QString& suffix) {
  TKVQueryDataSet query;
  query.Name = "BigOrders";
  PointAt(query, db, "");
  query.SQL->SetText("select id, customer, amount\nfrom orders\nwhere amount > 10");
  TKVQueryDataSetForm database(query, job);
  ShootPage(database, 1, outDir, "KVQueryDataSetForm", suffix);
  TKVQueryDataSetForm sql(query, job);
  ShootPage(sql, 2, outDir, "KVQueryDataSetForm-SQL", suffix);
}

void ShootTables(TJob& job, const std::string& db, const QString& outDir, const QString& suffix) {
  TKVODBCDataSet odbc;
  odbc.Name = "Warehouse";
  odbc.DataBaseInfo->ConnectType = ctAlias;
  odbc.DataBaseInfo->AliasName = "warehouse";
  odbc.DataBaseInfo->UserName = "loader";
  odbc.TableName = "stock";
  TKVODBCDataSetForm odbcForm(odbc, job);
  ShootPage(odbcForm, 1, outDir, "KVODBCDataSetForm", suffix);

  TKVFileDBDataSet fileDb;
  fileDb.Name = "Shop";
  PointAt(fileDb, db, "orders");
  TKVFileDBDataSetForm fileDbForm(fileDb, job);
  ShootPage(fileDbForm, 1, outDir, "KVFileDBDataSetForm", suffix);
  TKVFileDBDataSetForm fields(fileDb, job);
  QEventLoop loop;
  QObject::connect(&fields, &TKVDataSetDialog::fieldsImported, &loop, &QEventLoop::quit);
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  fields.ImportFields();
  if (fields.Importing()) loop.exec();
  ShootPage(fields, 2, outDir, "KVFileDBDataSetForm-Fields", suffix);

  TKVOracleDataSet oracle;
  oracle.DataBaseInfo->ServerName = "ORCL";
  oracle.DataBaseInfo->UserName = "scott";
  oracle.TableName = "EMP";
  TKVOracleDataSetForm oracleForm(oracle, job);
  ShootPage(oracleForm, 1, outDir, "KVOracleDataSetForm", suffix);

  TBrowseDataForm browse(fileDb);
  if (browse.OpenData()) ShootPage(browse, 0, outDir, "BrowseDataForm", suffix);

  TKVFieldDefs defs;
  TKVIndexDefs indexes;
  TImportFieldDefineForm import(defs, indexes);
  ShootPage(import, 0, outDir, "ImportFieldDefineForm", suffix);
}

}  // namespace

void ShootDataSetDialogs(const QString& outDir, const QString& suffix, const QString& home) {
  (void)home;  // sample data is made here
  QTemporaryDir dir;
  if (!dir.isValid()) return;
  TJob job;
  job.Name = "orders-to-sqlite";
  const std::string file = SampleText(dir);
  const std::string db = SampleDatabase(dir);
  ShootText(job, file, outDir, suffix);
  ShootQuery(job, db, outDir, suffix);
  ShootTables(job, db, outDir, suffix);
}

}  // namespace kv
