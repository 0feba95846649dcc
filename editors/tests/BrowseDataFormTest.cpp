// The browse window over a million-row SQLite table (pages read as the
// view scrolls, a bounded number kept), over a query from the query
// dialog's "&Browse data", and the "Import field define from a table"
// window reading definitions from a SQLite table.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>
#include <fstream>

#include "DialogTestSupport.h"
#include "data/KVFieldDefs.h"
#include "data/QueryDataSet.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/BrowseDataForm.h"
#include "editors/DataSetTableModel.h"
#include "editors/FileDataSetDlg.h"
#include "editors/ImportFieldDefineForm.h"
#include "editors/QueryDataSetForm.h"
#include "editors/QtText.h"
#include "jobs/Job.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::Find;

namespace {

constexpr int kBigRows = 1000000;

std::string MakeBigDatabase(const kvtest::TempFolder& folder) {
  const std::string path = folder.File("big.db");
  TSqliteDatabase db(path);
  db.Exec("CREATE TABLE big (id INTEGER PRIMARY KEY, label TEXT NOT NULL)");
  db.Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000) "
          "INSERT INTO big SELECT x, 'row ' || x FROM c");
  db.Exec("CREATE TABLE small (code VARCHAR(8) NOT NULL, qty INTEGER)");
  db.Exec("CREATE UNIQUE INDEX small_code ON small(code)");
  return path;
}

void PointAt(TKVCustomDataSet& dataSet, const std::string& path) {
  dataSet.DataBaseInfo->ConnectType = ctDBParams;
  dataSet.DataBaseInfo->DriverName = "SQLITE";
  dataSet.DataBaseInfo->Path = path;
}

}  // namespace

class BrowseDataFormTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();
  void millionRowTableOpensWithOnePageAndKeepsFewPages();
  void tableThatCannotOpenShowsTheErrorAndNoWindow();
  void queryDialogBrowsesItsStatementAsTyped();
  void textDialogBrowsesTheFileWithThePagesSettings();
  void importFieldDefineCopiesFieldsAndIndexesOfTheChosenTable();
  void importFieldDefineKeepsTheListsWhenTheTableIsMissing();

private:
  std::unique_ptr<kvtest::TempFolder> folder_;
  std::string path_;
  std::unique_ptr<kvtest::TRecordingUI> ui_;
  std::unique_ptr<kvtest::UIScope> scope_;
};

void BrowseDataFormTest::initTestCase() {
  folder_ = std::make_unique<kvtest::TempFolder>("browse");
  path_ = MakeBigDatabase(*folder_);
}

void BrowseDataFormTest::init() {
  ui_ = std::make_unique<kvtest::TRecordingUI>();
  scope_ = std::make_unique<kvtest::UIScope>(ui_.get());
}

void BrowseDataFormTest::cleanup() {
  scope_.reset();
  ui_.reset();
}

void BrowseDataFormTest::millionRowTableOpensWithOnePageAndKeepsFewPages() {
  TKVFileDBDataSet table;
  PointAt(table, path_);
  table.TableName = "big";
  {
    TBrowseDataForm form(table);
    QVERIFY(form.OpenData());
    form.show();
    TDataSetTableModel& model = form.Model();
    QCOMPARE(model.rowCount(), TDataSetTableModel::kPageRows);
    QCOMPARE(model.columnCount(), 2);
    QVERIFY(model.canFetchMore());
    QCOMPARE(model.index(0, 1).data().toString(), QString("row 1"));
    QTableView& view = form.View();
    for (int i = 0; i < 20; ++i) {
      view.scrollToBottom();
      QCoreApplication::processEvents();
    }
    const int rows = model.rowCount();
    QVERIFY2(rows > 5 * TDataSetTableModel::kPageRows, qPrintable(QString::number(rows)));
    QVERIFY(rows < kBigRows);
    QVERIFY(model.CachedPageCount() <= TDataSetTableModel::kCachedPages);
    QCOMPARE(model.index(rows - 1, 0).data().toString(), QString::number(rows));
    QCOMPARE(model.index(0, 1).data().toString(), QString("row 1"));  // an early page read again
    QVERIFY(model.CachedPageCount() <= TDataSetTableModel::kCachedPages);
    QVERIFY(table.GetDataset()->Active());
  }
  QVERIFY(!table.GetDataset()->Active());  // the window closes what it opened
  QVERIFY(ui_->messages.empty());
}

void BrowseDataFormTest::tableThatCannotOpenShowsTheErrorAndNoWindow() {
  TKVFileDBDataSet table;
  PointAt(table, path_);
  table.TableName = "nosuchtable";
  TBrowseDataForm form(table);
  QVERIFY(!form.OpenData());
  QCOMPARE(ui_->messages.size(), size_t(1));
  QCOMPARE(ui_->types.back(), mtError);
  QVERIFY(!table.GetDataset()->Active());
}

void BrowseDataFormTest::queryDialogBrowsesItsStatementAsTyped() {
  TJob job;
  auto owned = std::make_unique<TKVQueryDataSet>();
  TKVQueryDataSet& query = *owned;
  job.DataSets->AddOwned("Q", std::move(owned));
  TKVQueryDataSetForm form(query, job);
  auto* type = Find<QComboBox>(form, "cbDriverName");
  type->setCurrentIndex(type->findText("SQLite"));
  Find<QLineEdit>(form, "edPath")->setText(QStr(path_));
  Find<QPlainTextEdit>(form, "moSQL")->setPlainText("select label from big where id > 999990");
  int rows = -1;
  QString first;
  kvtest::OnModal<TBrowseDataForm>([&](TBrowseDataForm& browse) {
    rows = browse.Model().rowCount();
    first = browse.Model().index(0, 0).data().toString();
    browse.reject();
  });
  QTest::mouseClick(Find<QPushButton>(form, "btnBrowsedata"), Qt::LeftButton);
  QCOMPARE(rows, 10);
  QCOMPARE(first, QString("row 999991"));
  QVERIFY(query.SQL->Count() == 0);  // browsing writes nothing back
}

void BrowseDataFormTest::textDialogBrowsesTheFileWithThePagesSettings() {
  const std::string path = folder_->File("stock.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "sku|qty\nA1|4\nB2|7\n";
  }
  TJob job;
  auto owned = std::make_unique<TKVTextDataSet>();
  TKVTextDataSet& text = *owned;
  job.DataSets->AddOwned("T", std::move(owned));
  text.TextFile().SetTextFileType(tftDelimited);
  TKVFileDataSetDlg form(text, job);
  Find<QLineEdit>(form, "edFileName")->setText(QStr(path));
  Find<QLineEdit>(form, "edFieldSeperator")->setText("|");
  Find<QCheckBox>(form, "cbxFieldNamesAtFirstLine")->setChecked(true);
  QStringList header;
  int rows = -1;
  kvtest::OnModal<TBrowseDataForm>([&](TBrowseDataForm& browse) {
    rows = browse.Model().rowCount();
    for (int i = 0; i < browse.Model().columnCount(); ++i)
      header << browse.Model().headerData(i, Qt::Horizontal).toString();
    browse.reject();
  });
  Find<QAction>(form, "acBrowsedata")->trigger();
  QCOMPARE(rows, 2);
  QCOMPARE(header, (QStringList{"sku", "qty"}));
  QCOMPARE(text.TextFile().TableName(), std::string());  // nothing written back
}

void BrowseDataFormTest::importFieldDefineCopiesFieldsAndIndexesOfTheChosenTable() {
  TKVFieldDefs fields;
  TKVIndexDefs indexes;
  TImportFieldDefineForm form(fields, indexes);
  auto* type = Find<QComboBox>(form, "cbDriverName");
  QCOMPARE(type->itemText(0), QString("ODBC"));
  type->setCurrentIndex(type->findText("SQLite"));
  Find<QLineEdit>(form, "edPath")->setText(QStr(path_));
  Find<QComboBox>(form, "cbTableName")->setCurrentText("small");
  form.show();
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QVERIFY2(ui_->messages.empty(), ui_->messages.empty() ? "" : ui_->messages[0].c_str());
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(fields.Count(), 2);
  QCOMPARE(fields.GetObj(0)->Name, std::string("code"));
  QVERIFY(fields.GetObj(0)->Required());
  QVERIFY(indexes.Count() >= 1);
  QCOMPARE(indexes.GetObj(0)->FieldExpression, std::string("code"));
}

void BrowseDataFormTest::importFieldDefineKeepsTheListsWhenTheTableIsMissing() {
  TKVFieldDefs fields;
  fields.AddFieldDef("Keep");
  TKVIndexDefs indexes;
  TImportFieldDefineForm form(fields, indexes);
  auto* type = Find<QComboBox>(form, "cbDriverName");
  type->setCurrentIndex(type->findText("SQLite"));
  Find<QLineEdit>(form, "edPath")->setText(QStr(path_));
  form.show();
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);  // no table chosen
  QCOMPARE(ui_->messages.size(), size_t(1));
  Find<QComboBox>(form, "cbTableName")->setCurrentText("nosuchtable");
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(ui_->messages.size(), size_t(2));
  QVERIFY(form.isVisible());
  QCOMPARE(fields.Count(), 1);
  QCOMPARE(fields.GetObj(0)->Name, std::string("Keep"));
}

QTEST_MAIN(BrowseDataFormTest)
#include "BrowseDataFormTest.moc"
