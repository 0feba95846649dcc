// The main window's designing commands over real jobs in a temporary
// program folder: New job, Design job, the DB link and dataset dialogs,
// browsing, and a job built from New job through the designer's widgets
// that then runs from the window.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <stdexcept>

#include "app/MainForm.h"
#include "app/ProgramHooks.h"
#include "app/tests/MainFormFixture.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "editors/AutoMatchForm.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FChartEditor.h"
#include "editors/FieldDefGrid.h"
#include "editors/FileDataSetDlg.h"
#include "editors/FlowChartView.h"
#include "editors/JobProForm.h"
#include "editors/MapingForm.h"
#include "editors/QtMainThread.h"
#include "editors/TableDataSetForms.h"
#include "editors/tests/DialogTestSupport.h"
#include "environment/CoreMessages.h"
#include "foundation/FileUtils.h"
#include "jobs/Job.h"

using namespace kv;
using kvtest::ClickRow;
using kvtest::Ended;
using kvtest::Find;
using kvtest::JobNamed;
using kvtest::RowNamed;

namespace {

constexpr int kPatience = 120000;  // ms; runs under the sanitizers are slow

QAction* Action(QWidget& form, const char* name) { return Find<QAction>(form, name); }

// The link, dataset and preview commands of the DB link list.
const char* const kLinkCommands[] = {"acDBLinkPro",         "acDBLinkMapping",    "acDestDataSetPro", "acSourDataSetPro",
                                     "acPreviewImportData", "acBrowseSourceData", "acBrowseDestData"};

QStringList EnabledLinkCommands(QWidget& form) {
  QStringList enabled;
  for (const char* name : kLinkCommands)
    if (Action(form, name)->isEnabled()) enabled << name;
  return enabled;
}

QStringList AllLinkCommands() {
  QStringList all;
  for (const char* name : kLinkCommands) all << name;
  return all;
}

// The job of `file` as stored there.
std::unique_ptr<TJob> StoredJob(const std::string& file) {
  auto job = std::make_unique<TJob>();
  job->GetDesignControl().LoadFromFile(file);
  job->LoadFromFlChart();
  return job;
}

// ---- the designer's widgets ----

QPoint CentreOf(const TKVFcObject& shape) {
  const TFcPoint c = shape.DisplayRect().Center();
  const TFcPoint o = shape.Owner()->ChartPoint({0, 0});
  return {c.X - o.X, c.Y - o.Y};
}

void Drag(QWidget* viewport, QPoint from, QPoint to) {
  QTest::mousePress(viewport, Qt::LeftButton, {}, from);
  QTest::mouseMove(viewport, to);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
}

void UseTool(TFChartEditor& editor, const char* tool, QPoint from, QPoint to) {
  QTest::mouseClick(Find<QToolButton>(editor, tool), Qt::LeftButton);
  Drag(editor.View().viewport(), from, to);
}

void DoubleClick(QWidget* viewport, QPoint p) {
  QTest::mouseClick(viewport, Qt::LeftButton, {}, p);
  QTest::mouseDClick(viewport, Qt::LeftButton, {}, p);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, p);
}

void Click(QWidget& form, const char* button) { QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton); }

// "&Import" reads the field definitions on a worker: waits for them.
bool ImportFields(TKVDataSetDialog& dialog) {
  QSignalSpy done(&dialog, &TKVDataSetDialog::fieldsImported);
  Click(dialog, "btnImportField");
  return (!done.isEmpty() || done.wait(kPatience)) && done.at(0).at(0).toBool() && dialog.FieldGrid().NamedRowCount() > 0;
}

// ---- SQLite through its own library ----

void Exec(const std::string& file, const char* sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("cannot open " + file);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  const std::string text = error ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error(text);
}

// Every row of `sql` as "a|b|c" texts.
QStringList Rows(const std::string& file, const char* sql) {
  QStringList rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) return {"cannot open"};
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
    rows << QString("error: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    QStringList cells;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c)
      cells << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)));
    rows << cells.join('|');
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

}  // namespace

class MainFormDesignTest : public kvtest::TMainFormTestBase {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();

  void designCommandsFollowTheFocusedJobAndLink();
  void linkDialogsOpenOnTheCurrentLinkAndSaveOnlyOnOk();
  void aRunningJobLocksItsDesignCommands();
  void newJobJoinsTheGroupOnlyWhenEveryStepIsConfirmed_data();
  void newJobJoinsTheGroupOnlyWhenEveryStepIsConfirmed();
  void newJobListsItsRowOnlyUnderAllAndStop();
  void aNewJobNeverTakesTheFileOfAnotherJob();
  void aNewJobReplacingAFileStartsEmpty_data();
  void aNewJobReplacingAFileStartsEmpty();
  void designingRefillsTheLinkListEvenAfterCancel();
  void doubleClickDesignsAFinishedJobWhenTheOptionsSaySo_data();
  void doubleClickDesignsAFinishedJobWhenTheOptionsSaySo();
  void browsingTheDestinationKeepsItsNewTableFlag();
  void aCsvToSqliteJobBuiltInTheDesignerRuns();

private:
  // The window with hooks that record what they were called on.
  std::unique_ptr<TMainForm> Open();
  void FocusLink(TMainForm& form, const std::string& job);


  // What the hooks answer and saw.
  std::function<bool(TJob&)> jobPro_;
  std::function<bool(TJob&)> design_;
  std::deque<QString> saves_;  // the save dialog's answers, in turn ("" = Cancel)
  QStringList saveInitials_;
  std::function<bool(TKVCustomDataSet&)> dataSetAnswer_;
  std::function<void(TKVCustomDataSet&)> browse_;
  QStringList calls_;  // "<hook>:<object name>"
};

void MainFormDesignTest::initTestCase() { StartProgram("mainform-design-settings"); }

void MainFormDesignTest::init() {
  BeginCase();
  jobPro_ = [](TJob& job) { return job.Name = "Fresh", true; };
  design_ = [](TJob&) { return true; };
  saves_.clear();
  saveInitials_.clear();
  dataSetAnswer_ = [](TKVCustomDataSet&) { return false; };
  browse_ = [](TKVCustomDataSet&) {};
  calls_.clear();
  KVSetLanguage(ltEnglish);
}

void MainFormDesignTest::cleanup() {
  EndCase();
}

std::unique_ptr<TMainForm> MainFormDesignTest::Open() {
  TMainFormHooks hooks;
  hooks.TickPeriod = std::chrono::milliseconds(100);
  hooks.TrayAvailable = [] { return false; };
  hooks.SaveFileName = [this](const QString& initial, const QString&) {
    saveInitials_ << initial;
    if (saves_.empty()) return QString();
    const QString answer = saves_.front();
    saves_.pop_front();
    return answer;
  };
  hooks.EditJobPro = [this](TJob& job) { return calls_ << "jobPro", jobPro_(job); };
  hooks.DesignJob = [this](TJob& job) { return calls_ << "design:" + QString::fromStdString(job.Name), design_(job); };
  hooks.EditDBLinkPro = [this](TDBLink& link, TJob& job) {
    calls_ << QString::fromStdString("linkPro:" + link.Name + "/" + job.Name);
    return false;
  };
  hooks.EditDBLinkMaping = [this](TDBLink& link) { return calls_ << QString::fromStdString("mapping:" + link.Name), false; };
  hooks.EditDataSet = [this](TKVCustomDataSet& dataSet, TJob& job) {
    calls_ << QString::fromStdString("dataSet:" + dataSet.Name + "/" + job.Name);
    return dataSetAnswer_(dataSet);
  };
  hooks.PreImpData = [this](TDBLink& link, TJob&) { calls_ << QString::fromStdString("preview:" + link.Name); };
  hooks.BrowseData = [this](TKVCustomDataSet& dataSet) {
    calls_ << QString::fromStdString("browse:" + dataSet.Name);
    browse_(dataSet);
  };
  auto form = std::make_unique<TMainForm>(std::move(hooks));
  form->show();
  form->FirstTimerTick();
  return form;
}

void MainFormDesignTest::FocusLink(TMainForm& form, const std::string& job) {
  auto& jobs = *Find<QTreeWidget>(form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, QString::fromStdString(job)));
  auto& links = *Find<QTreeWidget>(form, "lvwDBLinks");
  QTRY_VERIFY(links.topLevelItemCount() > 0);
  ClickRow(links, links.topLevelItem(0));
  QTRY_VERIFY(form.CurrentLink() != nullptr);
}

// ---- enabling and the objects the dialogs get ----

void MainFormDesignTest::designCommandsFollowTheFocusedJobAndLink() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  form->UpdateActions();
  QVERIFY(Action(*form, "acNewJob")->isEnabled());
  QVERIFY(!Action(*form, "acDesignJob")->isEnabled());
  QCOMPARE(EnabledLinkCommands(*form), QStringList());
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acDesignJob")->isEnabled());
  QCOMPARE(EnabledLinkCommands(*form), QStringList());  // no DB link focused yet
  FocusLink(*form, "Orders");
  QTRY_COMPARE(EnabledLinkCommands(*form), AllLinkCommands());
}

void MainFormDesignTest::linkDialogsOpenOnTheCurrentLinkAndSaveOnlyOnOk() {
  const std::string file = home_->MakeJob("Orders", 3);
  home_->WriteGroup({file});
  auto form = Open();
  FocusLink(*form, "Orders");
  TDBLink* link = form->CurrentLink();
  const std::string source = link->SourceDataSet()->Name;
  const std::string dest = link->DestDataSet()->Name;
  QVERIFY(source != dest);
  const std::string before = kvtest::ReadFile(file);
  for (const char* name : kLinkCommands) Action(*form, name)->trigger();
  const QString l = QString::fromStdString(link->Name);
  QCOMPARE(calls_, (QStringList{"linkPro:" + l + "/Orders", "mapping:" + l,
                                QString::fromStdString("dataSet:" + dest + "/Orders"),
                                QString::fromStdString("dataSet:" + source + "/Orders"), "preview:" + l,
                                QString::fromStdString("browse:" + source), QString::fromStdString("browse:" + dest)}));
  QCOMPARE(kvtest::ReadFile(file), before);  // every dialog was cancelled: nothing saved
  // A confirmed dataset dialog saves the job with the change.
  dataSetAnswer_ = [](TKVCustomDataSet& dataSet) { return dataSet.Description = "checked by the clerk", true; };
  Action(*form, "acDestDataSetPro")->trigger();
  auto stored = StoredJob(file);
  QCOMPARE(stored->DBLinks->Count(), 1);
  QCOMPARE(stored->DBLinks->GetObj(0)->DestDataSet()->Description, std::string("checked by the clerk"));
  QCOMPARE(stored->DBLinks->GetObj(0)->SourceDataSet()->Description, link->SourceDataSet()->Description);
}

void MainFormDesignTest::aRunningJobLocksItsDesignCommands() {
  home_->WriteGroup({home_->MakeJob("Orders", 1000000)});
  auto form = Open();
  FocusLink(*form, "Orders");
  TJob* job = JobNamed("Orders");
  QVERIFY(job && job->Selected);
  QTRY_VERIFY(Action(*form, "acRun")->isEnabled());
  Action(*form, "acRun")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(job->IsRunning(), kPatience);
  QTRY_VERIFY(!Action(*form, "acDesignJob")->isEnabled());
  QCOMPARE(EnabledLinkCommands(*form), QStringList());
  // Triggered anyway (a shortcut or a stale menu), nothing opens on the running job.
  for (const char* name : kLinkCommands) Action(*form, name)->trigger();
  Action(*form, "acDesignJob")->trigger();
  QCOMPARE(calls_, QStringList());
  QVERIFY(Action(*form, "acNewJob")->isEnabled());
  job->Stop();
  QTRY_VERIFY_WITH_TIMEOUT(Ended(*job), kPatience);
  QTRY_VERIFY(Action(*form, "acDesignJob")->isEnabled());
}

// ---- New job ----

void MainFormDesignTest::newJobJoinsTheGroupOnlyWhenEveryStepIsConfirmed_data() {
  QTest::addColumn<int>("cancelAt");  // 0: none
  QTest::newRow("property cancelled") << 1;
  QTest::newRow("file cancelled") << 2;
  QTest::newRow("design cancelled") << 3;
  QTest::newRow("all confirmed") << 0;
}

void MainFormDesignTest::newJobJoinsTheGroupOnlyWhenEveryStepIsConfirmed() {
  QFETCH(int, cancelAt);
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  if (cancelAt == 1) jobPro_ = [](TJob& job) { return job.Name = "Fresh", false; };
  if (cancelAt != 2) saves_ = {QString::fromStdString(home_->File("fresh"))};  // no extension: ".job" is added
  std::string designedFile;
  design_ = [&](TJob& job) { return designedFile = job.SaveFileName, cancelAt != 3; };
  Action(*form, "acNewJob")->trigger();
  const QStringList steps{"jobPro", "design:Fresh"};
  QCOMPARE(calls_, steps.mid(0, cancelAt == 0 || cancelAt == 3 ? 2 : 1));
  if (cancelAt != 1) QCOMPARE(saveInitials_, QStringList{"Fresh"});
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  if (cancelAt != 0) {
    QCOMPARE(JobGroup->Count(), 1);
    QCOMPARE(JobGroup->ProgramFileInfo->Count(), 1);
    QCOMPARE(jobs.topLevelItemCount(), 1);
    return;
  }
  QCOMPARE(designedFile, home_->File("fresh.job"));
  TJob* fresh = JobNamed("Fresh");
  QVERIFY(fresh);
  QCOMPARE(fresh->SaveFileName, home_->File("fresh.job"));
  QVERIFY(JobGroup->ProgramFileInfo->IndexOf(home_->File("fresh.job")) >= 0);
  QVERIFY(RowNamed(jobs, "Fresh"));
  QVERIFY(fresh->OnStatus != nullptr);  // the window's handlers are attached
  // The group file written at exit lists the new job's file.
  form->ExitProgram();
  QVERIFY(QString::fromStdString(kvtest::ReadFile(home_->File("KVCore.jbg"))).contains("fresh.job"));
}

void MainFormDesignTest::newJobListsItsRowOnlyUnderAllAndStop() {
  auto form = Open();
  auto& tree = *Find<QTreeWidget>(*form, "tvwJobPro");
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  const struct {
    int node;
    const char* file;
    bool listed;
  } cases[] = {{jnRunning, "a", false}, {jnStop, "b", true}, {jnError, "c", false}, {jnAll, "d", true}};
  for (const auto& c : cases) {
    QTreeWidgetItem* root = tree.topLevelItem(0);
    tree.setCurrentItem(c.node == jnAll ? root : root->child(c.node - 1));
    const int before = jobs.topLevelItemCount();
    saves_ = {QString::fromStdString(home_->File(std::string(c.file) + ".job"))};
    Action(*form, "acNewJob")->trigger();
    QCOMPARE(jobs.topLevelItemCount(), before + (c.listed ? 1 : 0));
  }
  QCOMPARE(JobGroup->Count(), 4);
}

void MainFormDesignTest::aNewJobNeverTakesTheFileOfAnotherJob() {
  const std::string file = home_->MakeJob("Orders", 3);
  home_->WriteGroup({file});
  const std::string before = kvtest::ReadFile(file);
  auto form = Open();
  saves_ = {QString::fromStdString(file), QString::fromStdString(home_->File("other.job"))};
  Action(*form, "acNewJob")->trigger();
  QCOMPARE(ui_.Count("holds the job Orders"), 1);
  QCOMPARE(saveInitials_.size(), 2);  // asked again after the refusal
  QCOMPARE(JobGroup->Count(), 2);
  QCOMPARE(JobNamed("Fresh")->SaveFileName, home_->File("other.job"));
  QCOMPARE(kvtest::ReadFile(file), before);
  // Cancelling the second question abandons the job.
  saves_ = {QString::fromStdString(file), QString()};
  Action(*form, "acNewJob")->trigger();
  QCOMPARE(ui_.Count("holds the job Orders"), 2);
  QCOMPARE(JobGroup->Count(), 2);
}

void MainFormDesignTest::aNewJobReplacingAFileStartsEmpty_data() {
  QTest::addColumn<bool>("ok");
  QTest::newRow("designer confirmed") << true;
  QTest::newRow("designer cancelled") << false;
}

void MainFormDesignTest::aNewJobReplacingAFileStartsEmpty() {
  QFETCH(bool, ok);
  const std::string file = home_->MakeJob("Old", 3);  // a job file the group does not list
  const std::string before = kvtest::ReadFile(file);
  auto form = Open();
  saves_ = {QString::fromStdString(file)};
  int shapesShown = -1;
  std::string designedFile;
  design_ = [&](TJob& job) {
    designedFile = job.SaveFileName;
    kvtest::OnModal<TFChartEditor>([&](TFChartEditor& editor) {
      shapesShown = editor.Chart().GetObjectCount();
      Click(editor, ok ? "acOk" : "btnCancel");
    });
    return DesignJob(job);
  };
  Action(*form, "acNewJob")->trigger();
  QCOMPARE(shapesShown, 0);  // not the old job's diagram
  QVERIFY(designedFile != file);
  QVERIFY(!FileExists(designedFile));  // no scratch file is left behind
  if (!ok) {
    QCOMPARE(kvtest::ReadFile(file), before);
    QCOMPARE(JobGroup->Count(), 0);
    return;
  }
  QCOMPARE(JobNamed("Fresh")->SaveFileName, file);
  QVERIFY(JobGroup->ProgramFileInfo->IndexOf(file) >= 0);
  auto stored = StoredJob(file);
  QCOMPARE(stored->Name, std::string("Fresh"));
  QCOMPARE(stored->DataSets->Count(), 0);
}

// ---- Design job ----

void MainFormDesignTest::designingRefillsTheLinkListEvenAfterCancel() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  FocusLink(*form, "Orders");
  auto& links = *Find<QTreeWidget>(*form, "lvwDBLinks");
  // The designer may change the job before a Cancel (its Apply): the list follows.
  design_ = [](TJob& job) { return job.DBLinks->GetObj(0)->Name = "Renamed", false; };
  Action(*form, "acDesignJob")->trigger();
  QCOMPARE(calls_, QStringList{"design:Orders"});
  QCOMPARE(form->CurrentLink(), nullptr);
  QCOMPARE(links.topLevelItemCount(), 1);
  QCOMPARE(links.topLevelItem(0)->text(1), QString("Renamed"));
  design_ = [](TJob& job) {
    job.Description = "redesigned";
    return true;
  };
  Action(*form, "acDesignJob")->trigger();
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  QCOMPARE(RowNamed(jobs, "Orders")->text(5), QString("redesigned"));
  QVERIFY(JobNamed("Orders")->DBLinks->GetObj(0)->OnStatus != nullptr);
}

void MainFormDesignTest::doubleClickDesignsAFinishedJobWhenTheOptionsSaySo_data() {
  QTest::addColumn<int>("badEvery");  // 0: the run ends complete, else with errors
  QTest::addColumn<bool>("designOption");
  QTest::addColumn<bool>("designs");
  QTest::newRow("complete, design") << 0 << true << true;
  QTest::newRow("complete, property") << 0 << false << false;
  QTest::newRow("error, design") << 2 << true << true;
  QTest::newRow("error, schedule") << 2 << false << false;
}

void MainFormDesignTest::doubleClickDesignsAFinishedJobWhenTheOptionsSaySo() {
  QFETCH(int, badEvery);
  QFETCH(bool, designOption);
  QFETCH(bool, designs);
  {
    TKVEnvironment env;
    env.DblClickJobOption->DblClickOnCompleteJob = designOption ? dcpDesign : dcpProperty;
    env.DblClickJobOption->DblClickOnErrorJob = designOption ? depDesign : depSchedule;
    env.Prompting->ErrorPrompt = false;
    kv::SaveEnvironment(env, home_->File("KVCore.env"));
  }
  home_->WriteGroup({home_->MakeJob("Orders", 5, badEvery)});
  auto form = Open();
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acRun")->isEnabled());
  Action(*form, "acRun")->trigger();
  TJob* job = JobNamed("Orders");
  QTRY_VERIFY_WITH_TIMEOUT(job->Status() == (badEvery ? jsError : jsOk) && Ended(*job), kPatience);
  QTreeWidgetItem* row = RowNamed(jobs, "Orders");
  QTest::mouseDClick(jobs.viewport(), Qt::LeftButton, {}, jobs.visualItemRect(row).center());
  QCOMPARE(calls_.contains("design:Orders"), designs);
}

// ---- Browse Dest Data ----

void MainFormDesignTest::browsingTheDestinationKeepsItsNewTableFlag() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  FocusLink(*form, "Orders");
  auto* dest = ObjCast<TKVCustomTableDataSet>(form->CurrentLink()->DestDataSet());
  QVERIFY(dest && dest->NewTable);
  bool flagWhileBrowsing = true;
  browse_ = [&](TKVCustomDataSet&) { flagWhileBrowsing = dest->NewTable; };
  Action(*form, "acBrowseDestData")->trigger();
  QVERIFY(!flagWhileBrowsing);
  QVERIFY(dest->NewTable);
  // Also when browsing fails: the error is shown and the flag is back.
  browse_ = [](TKVCustomDataSet&) { throw std::runtime_error("no such table: ORDERS"); };
  Action(*form, "acBrowseDestData")->trigger();
  QCOMPARE(ui_.Count("no such table: ORDERS"), 1);
  QVERIFY(dest->NewTable);
  // A cleared flag stays cleared.
  dest->NewTable = false;
  browse_ = [](TKVCustomDataSet&) {};
  Action(*form, "acBrowseDestData")->trigger();
  QVERIFY(!dest->NewTable);
}

// ---- end to end ----

void MainFormDesignTest::aCsvToSqliteJobBuiltInTheDesignerRuns() {
  const std::string csv = home_->File("sales.csv");
  kvtest::WriteOrders(csv, 25);
  // The database holds a template the destination's fields are imported
  // from; the run creates the destination table itself.
  const std::string db = home_->File("shop.db");
  Exec(db, "CREATE TABLE template (ID INTEGER, CUSTOMER TEXT, AMOUNT INTEGER)");
  const std::string jobFile = home_->File("jobs/sales");
  std::filesystem::create_directory(home_->File("jobs"));

  QPointer<QWidget> owner;
  TMainFormHooks hooks = ProgramHooks(owner);
  hooks.TrayAvailable = [] { return false; };
  hooks.ShowTips = [] {};
  hooks.TickPeriod = std::chrono::milliseconds(100);
  hooks.SaveFileName = [&](const QString& initial, const QString&) { return saveInitials_ << initial, QString::fromStdString(jobFile); };
  auto form = std::make_unique<TMainForm>(std::move(hooks));
  owner = form.get();
  form->show();
  form->FirstTimerTick();

  kvtest::OnModal<TKVJobProForm>([](TKVJobProForm& dialog) {
    Find<QLineEdit>(dialog, "edName")->setText("Sales");
    Click(dialog, "btnOk");
  });
  bool designed = false;
  kvtest::OnModal<TFChartEditor>([&](TFChartEditor& editor) {
    QWidget* vp = editor.View().viewport();
    UseTool(editor, "btnCreateTextDataSet", QPoint(20, 20), QPoint(80, 80));
    UseTool(editor, "btnCreateFileDBDataSet", QPoint(260, 20), QPoint(320, 80));
    TKVFlowChart& chart = editor.Chart();
    if (chart.GetObjectCount() != 2) return Click(editor, "btnCancel");
    kvtest::OnModal<TKVFileDataSetDlg>([&](TKVFileDataSetDlg& dialog) {
      Find<QLineEdit>(dialog, "edName")->setText("Sales");
      Find<QLineEdit>(dialog, "edFileName")->setText(QString::fromStdString(csv));
      Find<QCheckBox>(dialog, "cbxFixWidth")->setChecked(false);
      Find<QLineEdit>(dialog, "edFieldSeperator")->setText(",");
      Find<QCheckBox>(dialog, "cbxFieldNamesAtFirstLine")->setChecked(true);
      Click(dialog, ImportFields(dialog) ? "btnOk" : "btnCancel");
    });
    DoubleClick(vp, CentreOf(*chart.GetObject(0)));
    kvtest::OnModal<TKVFileDBDataSetForm>([&](TKVFileDBDataSetForm& dialog) {
      Find<QLineEdit>(dialog, "edName")->setText("Shop");
      auto* type = Find<QComboBox>(dialog, "cbDriverName");
      type->setCurrentIndex(type->findText("SQLite"));
      Find<QLineEdit>(dialog, "edPath")->setText(QString::fromStdString(db));
      auto* table = Find<QComboBox>(dialog, "cbTableName");
      table->setCurrentText("template");
      if (!ImportFields(dialog)) return Click(dialog, "btnCancel");
      table->setCurrentText("orders");
      Find<QCheckBox>(dialog, "cbxCreateTable")->setChecked(true);
      Click(dialog, "btnOk");
    });
    DoubleClick(vp, CentreOf(*chart.GetObject(1)));
    QTest::mouseClick(Find<QToolButton>(editor, "btnCreateLink"), Qt::LeftButton);
    Drag(vp, CentreOf(*chart.GetObject(0)), CentreOf(*chart.GetObject(1)));
    designed = chart.GetConnectionCount() == 1;
    QTest::mouseClick(Find<QPushButton>(editor, "acOk"), Qt::LeftButton);
  });
  Action(*form, "acNewJob")->trigger();
  QVERIFY2(ui_.messages.empty(), ui_.messages.empty() ? "" : ui_.messages.front().c_str());
  QVERIFY(designed);
  QCOMPARE(saveInitials_, QStringList{"Sales"});
  TJob* job = JobNamed("Sales");
  QVERIFY(job);
  QCOMPARE(job->SaveFileName, jobFile + ".job");
  QVERIFY(FileExists(jobFile + ".job"));
  QCOMPARE(job->DBLinks->Count(), 1);

  // The mapping, through the DB link command: fields matched by their names
  // (the "Case Insensitive" option compares them as written).
  FocusLink(*form, "Sales");
  int matchedRows = 0;
  kvtest::OnModal<TKVMapingForm>([&](TKVMapingForm& mapping) {
    kvtest::OnModal<TAutoMatchForm>([](TAutoMatchForm& options) {
      Find<QCheckBox>(options, "cbCaseInsensitive")->setChecked(true);
      Click(options, "btnOk");
    });
    Click(mapping, "acAutoMatch");
    for (int row = 0; row < mapping.DestRowCount(); ++row) matchedRows += !mapping.Expression(row).empty();
    Click(mapping, "btnOk");
  });
  QTRY_VERIFY(Action(*form, "acDBLinkMapping")->isEnabled());
  Action(*form, "acDBLinkMapping")->trigger();
  QCOMPARE(matchedRows, 3);
  QCOMPARE(StoredJob(jobFile + ".job")->DBLinks->GetObj(0)->Mappings().Count(), 3);

  // Run it from the window.
  auto& jobs = *Find<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Sales"));
  QTRY_VERIFY(Action(*form, "acRun")->isEnabled());
  Action(*form, "acRun")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(job->Status() == jsOk && Ended(*job), kPatience);
  QStringList expected;
  for (int i = 1; i <= 25; ++i) expected << QString("%1|customer %1|%2").arg(i).arg(i % 90 + 10);
  QCOMPARE(Rows(db, "SELECT ID, CUSTOMER, AMOUNT FROM orders ORDER BY ID"), expected);
  QCOMPARE(Rows(db, "SELECT count(*) FROM template"), QStringList{"0"});
  form->ExitProgram();
}

QTEST_MAIN(MainFormDesignTest)
#include "MainFormDesignTest.moc"
