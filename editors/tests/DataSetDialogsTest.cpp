// The dataset dialogs over datasets of a real job: the name rules against
// datasets and DB links, the text dialog's enabling rules, write-back
// through the setters and live preview, the query's database types and
// the "no field defined" warning, and the table dialogs' table list,
// "&Import" and connection test on SQLite files made here.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "DialogTestSupport.h"
#include "data/QueryDataSet.h"
#include "data/SqliteDatabase.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FieldDefGrid.h"
#include "editors/FileDataSetDlg.h"
#include "editors/QueryDataSetForm.h"
#include "editors/TableDataSetForms.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"
#include "testsupport/RecordingUI.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using kvtest::Find;

namespace {

template <class T>
T& AddDataSet(TJob& job, const std::string& name) {
  auto dataSet = std::make_unique<T>();
  dataSet->Name = name;
  T& raw = *dataSet;
  job.DataSets->AddOwned(name, std::move(dataSet));
  return raw;
}

void AddLink(TJob& job, const std::string& name) {
  auto link = std::make_unique<TDBLink>();
  link->Name = name;
  job.DBLinks->AddOwned(name, std::move(link));
}

void ClickOk(QDialog& form) { QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton); }

// A SQLite file with "orders" (primary key id, a unique code) and "customers".
std::string MakeShopDatabase(const kvtest::TempFolder& folder) {
  const std::string path = folder.File("shop.db");
  TSqliteDatabase db(path);
  db.Exec("CREATE TABLE orders (id INTEGER NOT NULL PRIMARY KEY, code VARCHAR(12), amount NUMERIC(10,2))");
  db.Exec("CREATE UNIQUE INDEX orders_code ON orders(code)");
  db.Exec("CREATE TABLE customers (name TEXT)");
  db.Exec("INSERT INTO orders VALUES (1, 'A-1', 9.5)");
  return path;
}

QStringList ComboItems(const QComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
  return items;
}

}  // namespace

class DataSetDialogsTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void textDataSetNamedLikeADBLinkOrAnotherDataSetIsRefused();
  void okNeedsANameAndApplyKeepsTheDialogOpen();
  void textDialogEnablesWidthsOrSeparatorsByLayout();
  void textDialogWritesEverySettingThroughTheSetters();
  void refusedTextSettingShowsTheSettersErrorAndChangesNothing();
  void livePreviewFollowsTheSeparatorAndFirstLineSettings();
  void textImportReadsTheFieldsWithTheSettingsOnThePage();
  void queryTypeParadoxHidesTheDataSourceAndDisablesTheLogin();
  void queryTypeIsWrittenAsConnectTypeAndDriver();
  void confirmingAQueryWithAnEmptyGridKeepsItAndWarns();
  void tableListIsLoadedFromASqliteFile();
  void importFillsTheGridFromASqliteTableWithItsKey();
  void testConnectionReportsSuccessAndFailureWithoutThePassword();
  void odbcDialogOffersPostgresWithServerAndDatabase();

private:
  std::unique_ptr<TJob> job_;
  std::unique_ptr<kvtest::TRecordingUI> ui_;
  std::unique_ptr<kvtest::UIScope> scope_;
  std::unique_ptr<kvtest::TempFolder> folder_;
};

void DataSetDialogsTest::init() {
  job_ = std::make_unique<TJob>();
  job_->Name = "Job";
  ui_ = std::make_unique<kvtest::TRecordingUI>();
  scope_ = std::make_unique<kvtest::UIScope>(ui_.get());
  folder_ = std::make_unique<kvtest::TempFolder>("dsdlg");
}

void DataSetDialogsTest::cleanup() {
  scope_.reset();
  ui_.reset();
  job_.reset();
  folder_.reset();
}

void DataSetDialogsTest::textDataSetNamedLikeADBLinkOrAnotherDataSetIsRefused() {
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  AddDataSet<TKVQueryDataSet>(*job_, "Other");
  AddLink(*job_, "Orders");
  TKVFileDataSetDlg form(text, *job_);
  form.show();
  auto* name = Find<QLineEdit>(form, "edName");
  for (const char* taken : {"orders", "OTHER"}) {
    name->setText(taken);
    ClickOk(form);
    QVERIFY(form.isVisible());
    QCOMPARE(ui_->messages.back(), std::string("A dataset ") + taken + " already exist");
    QCOMPARE(ui_->types.back(), mtError);
    QCOMPARE(text.Name, std::string("Source"));
  }
  name->setText("Source");
  ClickOk(form);
  QCOMPARE(form.result(), int(QDialog::Accepted));
}

void DataSetDialogsTest::okNeedsANameAndApplyKeepsTheDialogOpen() {
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  TKVFileDataSetDlg form(text, *job_);
  form.show();
  auto* name = Find<QLineEdit>(form, "edName");
  auto* ok = Find<QPushButton>(form, "btnOk");
  name->setText("  ");
  QVERIFY(!ok->isEnabled());
  QTest::keyClicks(name, "Renamed");
  QVERIFY(ok->isEnabled());
  QTest::mouseClick(Find<QPushButton>(form, "acApply"), Qt::LeftButton);
  QVERIFY(form.isVisible());
  QCOMPARE(text.Name, std::string("Renamed"));
  QCOMPARE(job_->DataSets->Strings(0), std::string("Renamed"));
  QVERIFY(form.windowTitle().contains("Renamed"));
}

void DataSetDialogsTest::textDialogEnablesWidthsOrSeparatorsByLayout() {
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  text.TextFile().SetTextFileType(tftDelimited);
  TKVFileDataSetDlg form(text, *job_);
  auto* fixed = Find<QCheckBox>(form, "cbxFixWidth");
  auto* widths = Find<QLineEdit>(form, "edFieldWidths");
  auto* separator = Find<QLineEdit>(form, "edFieldSeperator");
  auto* quote = Find<QLineEdit>(form, "edStringQualifier");
  QVERIFY(!fixed->isChecked());
  QVERIFY(!widths->isEnabled() && separator->isEnabled() && quote->isEnabled());
  fixed->setChecked(true);
  QVERIFY(widths->isEnabled() && !separator->isEnabled() && !quote->isEnabled());
  QVERIFY(Find<QLineEdit>(form, "edRowSeperator")->isEnabled());
}

void DataSetDialogsTest::textDialogWritesEverySettingThroughTheSetters() {
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  TKVFileDataSetDlg form(text, *job_);
  form.show();
  Find<QLineEdit>(form, "edName")->setText("Renamed");
  Find<QPlainTextEdit>(form, "moDescription")->setPlainText("daily file");
  Find<QCheckBox>(form, "cbxFixWidth")->setChecked(false);
  Find<QCheckBox>(form, "cbxFieldNamesAtFirstLine")->setChecked(true);
  Find<QLineEdit>(form, "edFieldSeperator")->setText(";");
  Find<QLineEdit>(form, "edRowSeperator")->setText("<lf>");
  Find<QLineEdit>(form, "edStringQualifier")->setText("'");
  Find<QSpinBox>(form, "seSkipRows")->setValue(2);
  Find<QLineEdit>(form, "edFileName")->setText("in.txt");
  form.FieldGrid().InsertRow();
  form.FieldGrid().Grid().item(0, TFieldDefGrid::colName)->setText("Code");
  ClickOk(form);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  TTextFileDataset& file = text.TextFile();
  QCOMPARE(text.Name, std::string("Renamed"));
  QCOMPARE(text.Description, std::string("daily file"));
  QCOMPARE(file.TextFileType(), tftDelimited);
  QVERIFY(file.ExtractColumnNamesFromFirstLine());
  QCOMPARE(file.ColumnSeperator(), std::string(";"));
  QCOMPARE(file.RowSeperator(), std::string("<lf>"));
  QCOMPARE(file.StringQualifier(), std::string("'"));
  QCOMPARE(file.SkipRows(), 2);
  QCOMPARE(file.TableName(), std::string("in.txt"));
  QVERIFY(text.FieldDefs && text.FieldDefs->Count() == 1);
  QVERIFY(ui_->messages.empty());  // a field is defined: no warning
}

void DataSetDialogsTest::refusedTextSettingShowsTheSettersErrorAndChangesNothing() {
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  text.TextFile().SetTextFileType(tftDelimited);
  TKVFileDataSetDlg form(text, *job_);
  form.show();
  Find<QLineEdit>(form, "edName")->setText("Renamed");
  Find<QLineEdit>(form, "edStringQualifier")->setText("ab");
  ClickOk(form);
  QVERIFY(form.isVisible());
  QCOMPARE(ui_->messages.size(), size_t(1));
  QCOMPARE(ui_->types.back(), mtError);
  QCOMPARE(text.Name, std::string("Source"));  // the name comes first but nothing was assigned
  QCOMPARE(text.TextFile().StringQualifier(), std::string("\""));
  Find<QCheckBox>(form, "cbxFixWidth")->setChecked(true);
  Find<QLineEdit>(form, "edStringQualifier")->setText("\"");
  Find<QLineEdit>(form, "edFieldWidths")->setText("4,x");
  ClickOk(form);
  QVERIFY(form.isVisible());
  QCOMPARE(ui_->messages.size(), size_t(2));
  QCOMPARE(text.TextFile().TextFileType(), tftDelimited);
}

void DataSetDialogsTest::livePreviewFollowsTheSeparatorAndFirstLineSettings() {
  const std::string path = folder_->File("people.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "name;age;city\r\nAnn;31;Oslo\r\nBo;42;Rome\r\n";
  }
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  text.TextFile().SetTextFileType(tftDelimited);
  text.TextFile().SetColumnSeperator("<tab>");
  text.TextFile().SetTableName(path);
  TKVFileDataSetDlg form(text, *job_);
  auto* preview = Find<QTableWidget>(form, "sgPreview");
  QTRY_VERIFY_WITH_TIMEOUT(form.PreviewCount() >= 1, 5000);
  QCOMPARE(preview->columnCount(), 1);
  QCOMPARE(preview->rowCount(), 3);
  int before = form.PreviewCount();
  Find<QLineEdit>(form, "edFieldSeperator")->setText(";");
  QTRY_VERIFY_WITH_TIMEOUT(form.PreviewCount() > before, 5000);
  QCOMPARE(preview->columnCount(), 3);
  QCOMPARE(preview->rowCount(), 3);
  QCOMPARE(preview->item(0, 0)->text(), QString("name"));
  before = form.PreviewCount();
  Find<QCheckBox>(form, "cbxFieldNamesAtFirstLine")->setChecked(true);
  QTRY_VERIFY_WITH_TIMEOUT(form.PreviewCount() > before, 5000);
  QCOMPARE(preview->rowCount(), 2);
  QCOMPARE(preview->horizontalHeaderItem(2)->text(), QString("city"));
  QCOMPARE(preview->item(1, 2)->text(), QString("Rome"));
  before = form.PreviewCount();
  Find<QLineEdit>(form, "edFileName")->setText(QStr(folder_->File("missing.txt")));
  QTRY_VERIFY_WITH_TIMEOUT(form.PreviewCount() > before, 5000);
  QCOMPARE(preview->rowCount(), 0);
  QVERIFY(!Find<QLabel>(form, "lbPreviewError")->text().isEmpty());
}

void DataSetDialogsTest::textImportReadsTheFieldsWithTheSettingsOnThePage() {
  const std::string path = folder_->File("stock.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "sku,qty\r\nA1,4\r\n";
  }
  auto& text = AddDataSet<TKVTextDataSet>(*job_, "Source");
  text.TextFile().SetTextFileType(tftDelimited);
  TKVFileDataSetDlg form(text, *job_);
  Find<QLineEdit>(form, "edFileName")->setText(QStr(path));
  Find<QLineEdit>(form, "edFieldSeperator")->setText(",");
  Find<QCheckBox>(form, "cbxFieldNamesAtFirstLine")->setChecked(true);
  QSignalSpy imported(&form, &TKVDataSetDialog::fieldsImported);
  QTest::mouseClick(Find<QPushButton>(form, "btnImportField"), Qt::LeftButton);
  QVERIFY(imported.count() == 1 || imported.wait(10000));
  QVERIFY(imported.at(0).at(0).toBool());
  QTableWidget& grid = form.FieldGrid().Grid();
  QCOMPARE(grid.rowCount(), 2);
  QCOMPARE(grid.item(0, TFieldDefGrid::colName)->text(), QString("sku"));
  QCOMPARE(grid.item(1, TFieldDefGrid::colType)->text(), QString("String"));
  QVERIFY(!text.FieldDefs || text.FieldDefs->Count() == 0);  // the dataset itself is not touched
  QCOMPARE(text.TextFile().ExtractColumnNamesFromFirstLine(), false);
}

void DataSetDialogsTest::queryTypeParadoxHidesTheDataSourceAndDisablesTheLogin() {
  auto& query = AddDataSet<TKVQueryDataSet>(*job_, "Q");
  TKVQueryDataSetForm form(query, *job_);
  form.show();
  auto* type = Find<QComboBox>(form, "cbDriverName");
  QCOMPARE(type->currentText(), QString("ODBC"));  // a new query starts on ODBC
  auto* alias = Find<QComboBox>(form, "cbAliases");
  auto* user = Find<QLineEdit>(form, "edUserName");
  auto* password = Find<QLineEdit>(form, "edPassword");
  QVERIFY(!alias->isHidden() && user->isEnabled() && password->isEnabled());
  QVERIFY(Find<QLineEdit>(form, "edPath")->isHidden());
  type->setCurrentIndex(type->findText("Paradox"));
  QVERIFY(alias->isHidden());
  QVERIFY(!user->isEnabled() && !password->isEnabled());
  QVERIFY(!Find<QLineEdit>(form, "edPath")->isHidden());
  QVERIFY(!Find<QPushButton>(form, "btnPath")->isHidden());
  type->setCurrentIndex(type->findText("Oracle"));
  QVERIFY(!Find<QLineEdit>(form, "edServerName")->isHidden());
  QVERIFY(Find<QLineEdit>(form, "edPath")->isHidden());
  QVERIFY(user->isEnabled());
}

void DataSetDialogsTest::queryTypeIsWrittenAsConnectTypeAndDriver() {
  auto& query = AddDataSet<TKVQueryDataSet>(*job_, "Q");
  query.DataBaseInfo->ConnectType = ctDBParams;
  query.DataBaseInfo->DriverName = "SQLITE";
  TKVQueryDataSetForm form(query, *job_);
  auto* type = Find<QComboBox>(form, "cbDriverName");
  QCOMPARE(type->currentText(), QString("SQLite"));  // loaded by the driver name, any case
  const struct {
    const char* type;
    TConnectType connect;
  } cases[] = {{"ODBC", ctAlias}, {"Oracle", ctOracle}, {"dBase", ctDBParams}, {"PostgreSQL", ctDBParams}};
  for (const auto& c : cases) {
    type->setCurrentIndex(type->findText(c.type));
    QVERIFY(form.Apply());
    QCOMPARE(query.DataBaseInfo->ConnectType, c.connect);
    QCOMPARE(query.DataBaseInfo->DriverName, std::string(c.type));
  }
}

void DataSetDialogsTest::confirmingAQueryWithAnEmptyGridKeepsItAndWarns() {
  auto& query = AddDataSet<TKVQueryDataSet>(*job_, "Q");
  TKVQueryDataSetForm form(query, *job_);
  form.show();
  Find<QPlainTextEdit>(form, "moSQL")->setPlainText("select * from orders");
  Find<QLineEdit>(form, "edUserName")->setText("clerk");
  ClickOk(form);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(ui_->messages, std::vector<std::string>{"Have no Field define!"});
  QCOMPARE(ui_->types.back(), mtWarning);
  QCOMPARE(query.SQL->Strings(0), std::string("select * from orders"));
  QCOMPARE(query.DataBaseInfo->UserName, std::string("clerk"));
}

void DataSetDialogsTest::tableListIsLoadedFromASqliteFile() {
  const std::string path = MakeShopDatabase(*folder_);
  auto& table = AddDataSet<TKVFileDBDataSet>(*job_, "Dest");
  TKVFileDBDataSetForm form(table, *job_);
  auto* type = Find<QComboBox>(form, "cbDriverName");
  QCOMPARE(ComboItems(*type), (QStringList{"Paradox", "dBase", "FoxPro", "SQLite"}));
  type->setCurrentIndex(type->findText("SQLite"));
  QVERIFY(!Find<QLineEdit>(form, "edUserName")->isEnabled());
  Find<QLineEdit>(form, "edPath")->setText(QStr(path));
  QSignalSpy loaded(&form.Connection(), &TDbConnectionPanel::tablesLoaded);
  QTest::mouseClick(Find<QPushButton>(form, "btnRefreshTables"), Qt::LeftButton);
  QVERIFY(loaded.wait(10000));
  QVERIFY(loaded.at(0).at(0).toBool());
  QCOMPARE(ComboItems(*Find<QComboBox>(form, "cbTableName")), (QStringList{"customers", "orders"}));
  Find<QComboBox>(form, "cbTableName")->setCurrentText("orders");
  Find<QComboBox>(form, "cbUpdateMode")->setCurrentIndex(2);
  Find<QCheckBox>(form, "cbxCreateTable")->setChecked(true);
  ClickOk(form);
  QCOMPARE(table.TableName, std::string("orders"));
  QCOMPARE(table.DataBaseInfo->DriverName, std::string("SQLite"));
  QCOMPARE(table.DataBaseInfo->Path, path);
  QCOMPARE(table.ImportMode, imAppendUpdate);
  QVERIFY(table.NewTable);
}

void DataSetDialogsTest::importFillsTheGridFromASqliteTableWithItsKey() {
  const std::string path = MakeShopDatabase(*folder_);
  auto& table = AddDataSet<TKVFileDBDataSet>(*job_, "Dest");
  table.DataBaseInfo->DriverName = "SQLite";
  table.DataBaseInfo->Path = path;
  table.TableName = "orders";
  TKVFileDBDataSetForm form(table, *job_);
  QCOMPARE(form.FieldGrid().Grid().rowCount(), 0);
  QSignalSpy imported(&form, &TKVDataSetDialog::fieldsImported);
  auto* button = Find<QPushButton>(form, "btnImportField");
  QTest::mouseClick(button, Qt::LeftButton);
  QVERIFY(!button->isEnabled() || imported.count() == 1);  // disabled while the worker reads
  QVERIFY(imported.count() == 1 || imported.wait(10000));
  QVERIFY(imported.at(0).at(0).toBool());
  QVERIFY(button->isEnabled());
  QVERIFY2(ui_->messages.empty(), ui_->messages.empty() ? "" : ui_->messages[0].c_str());
  QTableWidget& grid = form.FieldGrid().Grid();
  QCOMPARE(grid.rowCount(), 3);
  QCOMPARE(grid.item(0, TFieldDefGrid::colName)->text(), QString("id"));
  QCOMPARE(grid.item(0, TFieldDefGrid::colKey)->checkState(), Qt::Checked);
  QCOMPARE(grid.item(1, TFieldDefGrid::colKey)->checkState(), Qt::Checked);  // unique index on code
  QCOMPARE(grid.item(2, TFieldDefGrid::colKey)->checkState(), Qt::Unchecked);
  QCOMPARE(grid.item(0, TFieldDefGrid::colNull)->checkState(), Qt::Checked);
  QVERIFY(!table.FieldDefs || table.FieldDefs->Count() == 0);  // nothing written before Ok
  ClickOk(form);
  QVERIFY(table.FieldDefs && table.FieldDefs->Count() == 3);
  QCOMPARE(table.FieldDefs->GetObj(1)->Name, std::string("code"));

  table.TableName = "nosuchtable";
  TKVFileDBDataSetForm again(table, *job_);
  QSignalSpy failed(&again, &TKVDataSetDialog::fieldsImported);
  QTest::mouseClick(Find<QPushButton>(again, "btnImportField"), Qt::LeftButton);
  QVERIFY(failed.count() == 1 || failed.wait(10000));
  QVERIFY(!failed.at(0).at(0).toBool());
  QCOMPARE(ui_->messages.size(), size_t(1));
  QCOMPARE(again.FieldGrid().Grid().rowCount(), 3);  // the grid stays as it was
}

void DataSetDialogsTest::testConnectionReportsSuccessAndFailureWithoutThePassword() {
  const std::string path = MakeShopDatabase(*folder_);
  auto& table = AddDataSet<TKVFileDBDataSet>(*job_, "Dest");
  table.DataBaseInfo->DriverName = "SQLite";
  table.DataBaseInfo->Path = path;
  TKVFileDBDataSetForm form(table, *job_);
  QSignalSpy tested(&form.Connection(), &TDbConnectionPanel::connectionTested);
  auto* test = Find<QPushButton>(form, "btnTestConnection");
  QTest::mouseClick(test, Qt::LeftButton);
  QVERIFY(tested.wait(10000));
  QVERIFY(tested.at(0).at(0).toBool());

  const std::string missing = folder_->File("missing.db");
  Find<QLineEdit>(form, "edPath")->setText(QStr(missing));
  QTest::mouseClick(test, Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(tested.count(), 2, 10000);
  QVERIFY(!tested.at(1).at(0).toBool());
  QVERIFY(tested.at(1).at(1).toString().contains("missing.db"));
  QVERIFY(!std::filesystem::exists(missing));  // testing never creates the file

  auto& odbc = AddDataSet<TKVODBCDataSet>(*job_, "Remote");
  odbc.DataBaseInfo->ConnectType = ctAlias;
  odbc.DataBaseInfo->AliasName = "no_such_dsn_s3cretPw";
  odbc.DataBaseInfo->UserName = "clerk";
  odbc.DataBaseInfo->PassWord = "s3cretPw";
  TKVODBCDataSetForm odbcForm(odbc, *job_);
  QSignalSpy odbcTested(&odbcForm.Connection(), &TDbConnectionPanel::connectionTested);
  QTest::mouseClick(Find<QPushButton>(odbcForm, "btnTestConnection"), Qt::LeftButton);
  QVERIFY(odbcTested.wait(20000));
  QVERIFY(!odbcTested.at(0).at(0).toBool());
  const QString message = odbcTested.at(0).at(1).toString();
  QVERIFY(!message.isEmpty());
  QVERIFY2(!message.contains("s3cretPw"), qPrintable(message));
}

void DataSetDialogsTest::odbcDialogOffersPostgresWithServerAndDatabase() {
  auto& odbc = AddDataSet<TKVODBCDataSet>(*job_, "Remote");
  odbc.DataBaseInfo->ConnectType = ctDBParams;
  odbc.DataBaseInfo->DriverName = "POSTGRESQL";
  odbc.DataBaseInfo->ServerName = "db.example:5433";
  odbc.DataBaseInfo->DataBaseName = "sales";
  TKVODBCDataSetForm form(odbc, *job_);
  form.show();
  auto* type = Find<QComboBox>(form, "cbDriverName");
  QCOMPARE(ComboItems(*type), (QStringList{"ODBC", "PostgreSQL"}));
  QCOMPARE(type->currentText(), QString("PostgreSQL"));
  QVERIFY(!Find<QLineEdit>(form, "edServerName")->isHidden());
  QCOMPARE(Find<QLineEdit>(form, "edDataBaseName")->text(), QString("sales"));
  QVERIFY(Find<QComboBox>(form, "cbAliases")->isHidden());
  QVERIFY(form.findChild<QSpinBox*>("sePostRecords") == nullptr);
  type->setCurrentIndex(0);
  QVERIFY(Find<QLineEdit>(form, "edServerName")->isHidden());
  QVERIFY(form.Apply());
  QCOMPARE(odbc.DataBaseInfo->ConnectType, ctAlias);
}

QTEST_MAIN(DataSetDialogsTest)
#include "DataSetDialogsTest.moc"
