// The main window over real jobs: CSV files into SQLite tables in a
// temporary program folder ($VANDREL_HOME), settings in a temporary QSettings
// store, questions answered through the user-interface hook.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>
#include <filesystem>
#include <memory>

#include "app/MainForm.h"
#include "app/MainFormParts.h"
#include "app/tests/MainFormFixture.h"
#include "editors/DebugForm.h"
#include "editors/DebugModeForm.h"
#include "editors/ErrorDataForm.h"
#include "editors/QtMainThread.h"
#include "editors/tests/DialogTestSupport.h"
#include "environment/CoreMessages.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "jobs/Job.h"
#include "jobs/JobThreads.h"

using namespace kv;
using kvtest::ClickRow;
using kvtest::Ended;
using kvtest::JobNamed;
using kvtest::RowNamed;

namespace {

constexpr int kPatience = 120000;  // ms; runs under the sanitizers are slow
constexpr int kLongRows = 1000000;  // a run that lasts while the test acts on it

template <class T>
T* Child(QWidget& form, const char* name) {
  T* child = form.findChild<T*>(name);
  if (!child) qFatal("no child %s", name);
  return child;
}

QAction* Action(QWidget& form, const char* name) { return Child<QAction>(form, name); }

QStringList Column(QTreeWidget& list, int column) {
  QStringList texts;
  for (int i = 0; i < list.topLevelItemCount(); ++i) texts << list.topLevelItem(i)->text(column);
  return texts;
}

QTreeWidgetItem* Node(QTreeWidget& tree, int node) {
  QTreeWidgetItem* root = tree.topLevelItem(0);
  return node == jnAll ? root : root->child(node - 1);
}

}  // namespace

class MainFormTest : public kvtest::TMainFormTestBase {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();

  void firstStartWithoutSettingsCreatesThemOnExit();
  void aMissingWidthEndsTheLayoutReading();
  void actionsFollowTheFocusedJob_data();
  void actionsFollowTheFocusedJob();
  void theNodesListJobsByStatus();
  void theLogListKeeps501Rows();
  void answeringNoToTheErrorQuestionSurvivesARestart();
  void importingAJobAlreadyInTheGroupAddsNothing();
  void deletingAJobDeletesItsFile();
  void exportingAJobMovesItAndTheGroupListFollows();
  void closingHidesToTheTrayOrEndsWithoutOne_data();
  void closingHidesToTheTrayOrEndsWithoutOne();
  void closeQuestionAnsweredNoKeepsJobsRunning();
  void switchingLanguages();
  void aRunFromTheWindowUpdatesRowsTotalsAndChart();
  void closingDuringARunStopsItCleanly();
  void anUnreadableSettingsFileIsReportedAndKept();
  void optionsAreWrittenAndTheMonitorFollows();
  void doubleClickFollowsTheOptions_data();
  void doubleClickFollowsTheOptions();
  void errorRecordsAreSavedAndLoaded();
  void logPropertyShowsTheSelectedRow();
  void contextOpensTheManualOfTheProgramFolder();
  void debugOpensTheDebugWindowOnACopyOfTheJob();
  void translateErrorDataNeedsErrorRecordsAndAStoppedJob();
  void debugParametersAreSavedToTheJobFile();

private:
  std::unique_ptr<TMainForm> Open();
  void StartLongRun(TMainForm& form, const std::string& name);
  void StopAndWait(TJob& job);

  bool tray_ = false;
  QString nextOpen_;
  QString nextSave_;
  int jobProCalls_ = 0;
  int scheduleCalls_ = 0;
  std::function<bool(TKVEnvironment&)> options_;
  std::vector<std::string> shownLogs_;
  QStringList opened_;
};

void MainFormTest::initTestCase() { StartProgram("mainform-settings"); }

void MainFormTest::init() {
  BeginCase();
  tray_ = false;
  nextOpen_.clear();
  nextSave_.clear();
  jobProCalls_ = scheduleCalls_ = 0;
  options_ = [](TKVEnvironment&) { return false; };
  shownLogs_.clear();
  opened_.clear();
  KVSetLanguage(ltEnglish);
}

void MainFormTest::cleanup() {
  EndCase();
  KVSetLanguage(ltEnglish);
}

std::unique_ptr<TMainForm> MainFormTest::Open() {
  TMainFormHooks hooks;
  hooks.TickPeriod = std::chrono::milliseconds(100);
  hooks.TrayAvailable = [this] { return tray_; };
  hooks.OpenFileName = [this](const QString&, const QString&) { return nextOpen_; };
  hooks.SaveFileName = [this](const QString&, const QString&) { return nextSave_; };
  hooks.EditJobPro = [this](TJob&) { return ++jobProCalls_, false; };
  hooks.EditSchedule = [this](TScheduleMode&) { return ++scheduleCalls_, false; };
  hooks.SetSysDefaultPro = [this](TKVEnvironment& env) { return options_(env); };
  hooks.ShowLogInfoForm = [this](const TKVLog& log) { shownLogs_.push_back(log.Event); };
  hooks.OpenDocument = [this](const QString& path) { return opened_ << path, true; };
  hooks.DebugJob = [](TJob& job) { DebugJob(job); };
  hooks.ManageErrorData = [](TDBLink& link) { ManageErrorData(link); };
  auto form = std::make_unique<TMainForm>(std::move(hooks));
  form->show();
  form->FirstTimerTick();
  return form;
}

// Focuses and selects the job's row and runs it with the Run command.
void MainFormTest::StartLongRun(TMainForm& form, const std::string& name) {
  auto& jobs = *Child<QTreeWidget>(form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, QString::fromStdString(name)));
  TJob* job = JobNamed(name);
  QVERIFY(job && job->Selected);
  QTRY_VERIFY(Action(form, "acRun")->isEnabled());
  Action(form, "acRun")->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(job->IsRunning(), kPatience);
}

void MainFormTest::StopAndWait(TJob& job) {
  if (!Ended(job)) job.Stop();
  QTRY_VERIFY_WITH_TIMEOUT(Ended(job), kPatience);
}

// ---- start and layout ----

void MainFormTest::firstStartWithoutSettingsCreatesThemOnExit() {
  auto form = Open();
  QCOMPARE(Child<QTreeWidget>(*form, "lvwJobs")->topLevelItemCount(), 0);
  QCOMPARE(Child<QTreeWidget>(*form, "tvwJobPro")->currentItem()->text(0), QString("Job Status"));
  QVERIFY(GlobalEnv != nullptr);
  QCOMPARE(int(GlobalEnv->MaxRunJobs), 3);
  QCOMPARE(form->size(), QSize(1000, 700));
  QVERIFY(!FileExists(home_->File("KVCore.env")));
  form->ExitProgram();
  QVERIFY(form->Exited());
  QVERIFY(FileExists(home_->File("KVCore.env")));
  QVERIFY(FileExists(home_->File("KVCore.jbg")));
  QSettings store("Vandrelworks", "WindowsPosition");
  QCOMPARE(store.value("Width").toInt(), 1000);
  QCOMPARE(store.value("Language").toInt(), 0);
  QCOMPARE(store.value("Maximize").toBool(), false);
}

void MainFormTest::aMissingWidthEndsTheLayoutReading() {
  {
    QSettings store("Vandrelworks", "WindowsPosition");
    for (auto [key, value] : {std::pair{"Language", 0}, {"JobProWidth", 150}, {"DBLinkHeight", 90},
                              {"DBLinkInfo", 200}, {"Left", 31}, {"Top", 42}, {"Height", 456}})
      store.setValue(key, value);
    store.setValue("Maximize", true);  // after the missing Width: never read
  }
  auto form = Open();
  QCOMPARE(form->geometry().left(), 31);
  QCOMPARE(form->geometry().top(), 42);
  QCOMPARE(form->height(), 456);
  QCOMPARE(form->width(), 1000);
  QVERIFY(!form->isMaximized());
}

// ---- actions ----

void MainFormTest::actionsFollowTheFocusedJob_data() {
  QTest::addColumn<QString>("focus");  // "", "stopped" or "running"
  QTest::addColumn<QStringList>("disabled");
  QTest::addColumn<QStringList>("enabled");
  const QStringList jobCommands{"acSetJobProperty", "acSetJobSchedule", "acDelJob", "acDesignJob", "acDebug"};
  QTest::newRow("no job") << "" << (QStringList{"acExportJob"} + jobCommands)
                          << QStringList{"acImportJob", "acRunAllJob", "acValidate", "acClearLog", "acExit"};
  QTest::newRow("stopped job") << "stopped"
                               << QStringList{"acStop", "acPause", "acDesignJob", "acStopAllJob"}
                               << QStringList{"acExportJob", "acSetJobProperty", "acSetJobSchedule", "acDelJob",
                                              "acRun", "acValidate", "acDebug"};
  QTest::newRow("running job") << "running" << (QStringList{"acRun", "acValidate"} + jobCommands)
                               << QStringList{"acExportJob", "acStop", "acPause", "acStopAllJob", "acPauseAllJob"};
}

void MainFormTest::actionsFollowTheFocusedJob() {
  QFETCH(QString, focus);
  QFETCH(QStringList, disabled);
  QFETCH(QStringList, enabled);
  home_->WriteGroup({home_->MakeJob("Orders", focus == "running" ? kLongRows : 10)});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  if (focus == "stopped") ClickRow(jobs, RowNamed(jobs, "Orders"));
  if (focus == "running") StartLongRun(*form, "Orders");
  QCOMPARE(form->CurrentJob(), focus.isEmpty() ? nullptr : JobNamed("Orders"));
  for (const QString& name : disabled) QTRY_VERIFY2(!Action(*form, qPrintable(name))->isEnabled(), qPrintable(name));
  for (const QString& name : enabled) QTRY_VERIFY2(Action(*form, qPrintable(name))->isEnabled(), qPrintable(name));
  if (focus == "running") StopAndWait(*JobNamed("Orders"));
}

// ---- lists ----

void MainFormTest::theNodesListJobsByStatus() {
  home_->WriteGroup({home_->MakeJob("Long", kLongRows), home_->MakeJob("Idle", 5)});
  auto form = Open();
  auto& tree = *Child<QTreeWidget>(*form, "tvwJobPro");
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(tree, Node(tree, jnWaiting));
  QCOMPARE(jobs.topLevelItemCount(), 0);
  ClickRow(tree, Node(tree, jnAll));
  StartLongRun(*form, "Long");
  Action(*form, "acPause")->trigger();  // PausePrompt: answered Yes
  TJob* job = JobNamed("Long");
  QTRY_VERIFY_WITH_TIMEOUT(job->Status() == jsPause && job->DBLinks->GetObj(0)->Status() == jsPause, kPatience);
  const std::pair<int, QStringList> expected[] = {{jnAll, {"Long", "Idle"}}, {jnRunning, {}}, {jnWaiting, {}},
                                                  {jnComplete, {}},          {jnStop, {"Idle"}}, {jnError, {}}};
  for (const auto& [node, names] : expected) {
    tree.setCurrentItem(Node(tree, node));
    QCOMPARE(Column(jobs, 1), names);
  }
  StopAndWait(*job);
}

void MainFormTest::theLogListKeeps501Rows() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  TJob* job = JobNamed("Orders");
  for (int i = 1; i <= 502; ++i) job->AddLog(ltInfo, "entry " + std::to_string(i));
  auto& log = *Child<QTreeWidget>(*form, "lvwLog");
  QCOMPARE(log.topLevelItemCount(), kMaxLogRows);
  QCOMPARE(log.topLevelItem(0)->text(3), QString("entry 2"));
  QCOMPARE(log.currentItem()->text(3), QString("entry 502"));
  QVERIFY(!log.currentItem()->text(1).isEmpty());
}

// ---- errors ----

void MainFormTest::answeringNoToTheErrorQuestionSurvivesARestart() {
  {
    TKVEnvironment env;
    env.Prompting->ErrorPrompt = true;
    kv::SaveEnvironment(env, home_->File("KVCore.env"));
  }
  home_->WriteGroup({home_->MakeJob("Orders", 20, 5)});
  ui_.answer = [](const std::string& text) { return text.find("next time") != std::string::npos ? mrNo : mrNone; };
  {
    auto form = Open();
    StartLongRun(*form, "Orders");
    QTRY_VERIFY_WITH_TIMEOUT(Ended(*JobNamed("Orders")), kPatience);
    QCOMPARE(ui_.Count("next time"), 1);
    // Written at once, before the window closes.
    QVERIFY(!LoadEnvironment(home_->File("KVCore.env"))->Prompting->ErrorPrompt);
    QCOMPARE(JobNamed("Orders")->Status(), jsError);
  }
  auto form = Open();
  QVERIFY(!GlobalEnv->Prompting->ErrorPrompt);
  // The error records come back from the link's ".err" file when it is focused.
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  auto& links = *Child<QTreeWidget>(*form, "lvwDBLinks");
  QCOMPARE(links.topLevelItemCount(), 1);
  ClickRow(links, links.topLevelItem(0));
  QVERIFY(form->CurrentLink());
  QCOMPARE(Child<QTableView>(*form, "dgdErrData")->model()->rowCount(), 4);
  auto& props = *Child<QTableWidget>(*form, "sgdDBLinkPro");
  QCOMPARE(props.item(3, 1)->text(), QString("4"));
}

// ---- job files ----

void MainFormTest::importingAJobAlreadyInTheGroupAddsNothing() {
  const std::string file = home_->MakeJob("Orders", 3);
  home_->WriteGroup({file});
  auto form = Open();
  nextOpen_ = QString::fromStdString(file);
  Action(*form, "acImportJob")->trigger();
  QCOMPARE(ui_.Count("A job Orders already exist"), 1);
  QCOMPARE(JobGroup->Count(), 1);
  // Another file whose job has the same name is a second job.
  std::filesystem::create_directory(home_->File("copy"));
  const std::string copy = home_->File("copy/Orders.job");
  std::filesystem::copy_file(file, copy);
  nextOpen_ = QString::fromStdString(copy);
  Action(*form, "acImportJob")->trigger();
  QCOMPARE(JobGroup->Count(), 2);
  QCOMPARE(Column(*Child<QTreeWidget>(*form, "lvwJobs"), 1), (QStringList{"Orders", "Orders"}));
  form->ExitProgram();
  QCOMPARE(QString::fromStdString(kvtest::ReadFile(home_->File("KVCore.jbg"))).split('\n', Qt::SkipEmptyParts).size(), 2);
}

void MainFormTest::exportingAJobMovesItAndTheGroupListFollows() {
  const std::string orders = home_->MakeJob("Orders", 3);
  const std::string other = home_->MakeJob("Other", 2);
  home_->WriteGroup({orders, other});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acExportJob")->isEnabled());
  // The file of another job of the group is refused, and the dialog asks again.
  nextSave_ = QString::fromStdString(other);
  ui_.answer = [this](const std::string& text) {
    if (text.find("holds the job Other") != std::string::npos) nextSave_.clear();  // then Cancel
    return mrOk;
  };
  const std::string otherBefore = kvtest::ReadFile(other);
  Action(*form, "acExportJob")->trigger();
  QCOMPARE(ui_.Count("holds the job Other"), 1);
  QCOMPARE(kvtest::ReadFile(other), otherBefore);
  QCOMPARE(QString::fromStdString(form->CurrentJob()->SaveFileName), QString::fromStdString(orders));
  // A new file: the job is saved there and lives there from now on.
  const std::string exported = home_->File("exported.job");
  nextSave_ = QString::fromStdString(exported);
  Action(*form, "acExportJob")->trigger();
  QVERIFY(std::filesystem::exists(exported));
  QCOMPARE(QString::fromStdString(form->CurrentJob()->SaveFileName), QString::fromStdString(exported));
  form->ExitProgram();
  const QStringList listed =
      QString::fromStdString(kvtest::ReadFile(home_->File("KVCore.jbg"))).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(listed, (QStringList{QString::fromStdString(exported), QString::fromStdString(other)}));
}

void MainFormTest::deletingAJobDeletesItsFile() {
  const std::string file = home_->MakeJob("Orders", 3);
  home_->WriteGroup({file});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acDelJob")->isEnabled());
  ui_.answer = [](const std::string&) { return mrNo; };
  Action(*form, "acDelJob")->trigger();
  QCOMPARE(ui_.Count("Delete job:Orders"), 1);
  QVERIFY(FileExists(file));
  QCOMPARE(JobGroup->Count(), 1);
  ui_.answer = nullptr;
  Action(*form, "acDelJob")->trigger();
  QVERIFY(!FileExists(file));
  QCOMPARE(JobGroup->Count(), 0);
  QCOMPARE(jobs.topLevelItemCount(), 0);
  QCOMPARE(Child<QTreeWidget>(*form, "lvwDBLinks")->topLevelItemCount(), 0);
  QCOMPARE(form->CurrentJob(), nullptr);
}

// ---- closing ----

void MainFormTest::closingHidesToTheTrayOrEndsWithoutOne_data() {
  QTest::addColumn<bool>("tray");
  QTest::newRow("tray") << true;
  QTest::newRow("no tray") << false;
}

void MainFormTest::closingHidesToTheTrayOrEndsWithoutOne() {
  QFETCH(bool, tray);
  tray_ = tray;
  auto form = Open();
  QCOMPARE(form->TrayInUse(), tray);
  form->showMinimized();
  if (tray) QTRY_VERIFY(!form->isVisible());
  form->showNormal();
  QVERIFY(form->isVisible());
  form->close();
  QVERIFY(!form->isVisible());
  QCOMPARE(form->Exited(), !tray);
  QCOMPARE(FileExists(home_->File("KVCore.jbg")), !tray);
  if (!tray) return;
  // Exit from the tray's menu ends the program even while the window is hidden.
  Action(*form, "acShowOrHide")->trigger();
  QVERIFY(form->isVisible());
  Action(*form, "acShowOrHide")->trigger();
  QVERIFY(!form->isVisible());
  Action(*form, "acExit")->trigger();
  QVERIFY(form->Exited());
  QVERIFY(FileExists(home_->File("KVCore.jbg")));
}

void MainFormTest::closeQuestionAnsweredNoKeepsJobsRunning() {
  home_->WriteGroup({home_->MakeJob("Long", kLongRows)});
  auto form = Open();
  StartLongRun(*form, "Long");
  ui_.answer = [](const std::string& text) { return text.find("be sure to quit") != std::string::npos ? mrNo : mrNone; };
  form->close();
  QCOMPARE(ui_.Count("be sure to quit"), 1);
  QVERIFY(form->isVisible());
  QVERIFY(!form->Exited());
  TJob* job = JobNamed("Long");
  QVERIFY(job->IsRunning());
  QVERIFY(job->OnStatus != nullptr);
  QVERIFY(!QSettings("Vandrelworks", "WindowsPosition").contains("Width"));  // no closing step ran
  StopAndWait(*job);
}

void MainFormTest::closingDuringARunStopsItCleanly() {
  home_->WriteGroup({home_->MakeJob("Long", kLongRows), home_->MakeJob("Other", kLongRows)});
  auto form = Open();
  Action(*form, "acRunAllJob")->trigger();
  TJob* job = JobNamed("Long");
  TJob* other = JobNamed("Other");
  // One job is under way, the other may still be starting its link.
  QTRY_VERIFY_WITH_TIMEOUT(other->IsRunning() && job->DBLinks->GetObj(0)->Counters().Statistic.Rows > 0, kPatience);
  form->ExitProgram();  // the close question: answered Yes
  QCOMPARE(ui_.Count("be sure to quit"), 1);
  QVERIFY(form->Exited());
  for (TJob* j : {job, other}) {
    QVERIFY(Ended(*j));
    QVERIFY(j->OnStatus == nullptr && j->OnLogOccur == nullptr);
    TDBLink* link = j->DBLinks->GetObj(0);
    QVERIFY(link->OnStatus == nullptr && link->OnError == nullptr);
    QVERIFY(link->Counters().Statistic.Rows < kLongRows);
  }
  // Calls the runs handed over after the stop reach no widget.
  QTest::qWait(50);
  form.reset();
  QVERIFY(!JobGroup && !JobQueue && !GlobalThread && !GlobalEnv);
}

// ---- language ----

void MainFormTest::switchingLanguages() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  auto& tree = *Child<QTreeWidget>(*form, "tvwJobPro");
  const QString runCaption = Action(*form, "acRun")->text();
  Action(*form, "acEngLanguage")->trigger();
  QCOMPARE(ui_.messages, (std::vector<std::string>{"Please close and restart application."}));
  QCOMPARE(Action(*form, "acRun")->text(), runCaption);
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  Action(*form, "acSimChinese")->trigger();
  QCOMPARE(KVLanguageType, ltSimpleChinese);
  // The window is translated in place: the focused job and its links stay.
  QCOMPARE(form->CurrentJob(), JobNamed("Orders"));
  QCOMPARE(Child<QTreeWidget>(*form, "lvwDBLinks")->topLevelItemCount(), 1);
  QCOMPARE(jobs.headerItem()->text(1), QString::fromUtf8("作业名称"));
  QCOMPARE(Node(tree, jnRunning)->text(0), QString::fromUtf8("正在运行"));
  QCOMPARE(Action(*form, "acRun")->text(), QString::fromUtf8("运行(&R)"));
  QCOMPARE(form->windowTitle(), QString("Vandrel Pro 1.02"));
  QCOMPARE(Action(*form, "acNewJob")->toolTip(), QString::fromUtf8("新建一个作业"));
  form->ExitProgram();
  QCOMPARE(QSettings("Vandrelworks", "WindowsPosition").value("Language").toInt(), 1);
}

// ---- a run ----

void MainFormTest::aRunFromTheWindowUpdatesRowsTotalsAndChart() {
  const int rows = 500000;
  home_->WriteGroup({home_->MakeJob("Orders", rows, 100000)});
  auto form = Open();
  QCOMPARE(Action(*form, "acRun")->shortcut(), QKeySequence(Qt::Key_F5));
  StartLongRun(*form, "Orders");
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  auto& chart = *Child<TMonitorChart>(*form, "chartMonitor");
  QTRY_VERIFY_WITH_TIMEOUT(chart.Series(1)->count() > 0, kPatience);
  QVERIFY(form->Running());
  // The clock's totals count the records the running link has added so far.
  const QLabel& added = *Child<QLabel>(*form, "StatusPanel2");
  QTRY_VERIFY_WITH_TIMEOUT(added.text().startsWith("Added:") && added.text() != "Added:0", kPatience);
  QVERIFY(!RowNamed(jobs, "Orders")->text(3).isEmpty());  // start time while running
  QTRY_VERIFY_WITH_TIMEOUT(Ended(*JobNamed("Orders")), kPatience);
  QVERIFY(!form->Running());
  QCOMPARE(chart.Series(1)->count(), 0);  // the monitor is reset when no job runs
  QCOMPARE(JobNamed("Orders")->Status(), jsError);  // 5 records failed
  QVERIFY(RowNamed(jobs, "Orders")->text(3).isEmpty());
  auto& links = *Child<QTreeWidget>(*form, "lvwDBLinks");
  QCOMPARE(links.topLevelItem(0)->text(4), QString::number(rows));
  ClickRow(links, links.topLevelItem(0));
  QCOMPARE(Child<QTableView>(*form, "dgdErrData")->model()->rowCount(), 5);
  QCOMPARE(Child<QLabel>(*form, "lblErrorsValue")->text(), QString("5"));
  QCOMPARE(Child<QLabel>(*form, "lblAddedValue")->text(), QString::number(rows - 5));
  const QStringList events = Column(*Child<QTreeWidget>(*form, "lvwLog"), 3);
  QVERIFY(events.contains("DBLink:OrdersToTable start convert."));
  QVERIFY(events.contains(QString::fromStdString(Format(SJobFindErrorMsg.Text(), "Orders"))));
  // The clock ticks on; the totals count running links only.
  QTRY_VERIFY(Child<QLabel>(*form, "StatusPanel2")->text() == "Added:0");
  QVERIFY(!Child<QLabel>(*form, "StatusPanel1")->text().isEmpty());
}

void MainFormTest::anUnreadableSettingsFileIsReportedAndKept() {
  const std::string bytes = "not a settings file";
  kvtest::WriteFile(home_->File("KVCore.env"), bytes);
  auto form = Open();
  QVERIFY(form->EnvironmentUnreadable());
  QCOMPARE(ui_.messages.size(), size_t(1));
  QCOMPARE(int(GlobalEnv->MaxRunJobs), 3);
  form->ExitProgram();
  QVERIFY(form->Exited());
  QCOMPARE(kvtest::ReadFile(home_->File("KVCore.env")), bytes);
  QVERIFY(FileExists(home_->File("KVCore.jbg")));
}

// ---- settings, double click, error records, log entries ----

void MainFormTest::optionsAreWrittenAndTheMonitorFollows() {
  auto form = Open();
  Action(*form, "acSetOption")->trigger();  // cancelled: nothing written
  QVERIFY(!FileExists(home_->File("KVCore.env")));
  options_ = [](TKVEnvironment& env) {
    env.MonitorParam->MaxSpeedScale = 555;
    env.MonitorParam->ImportSpeedColor = 0x0000FF;  // red, in the settings' blue-green-red order
    return true;
  };
  Action(*form, "acSetOption")->trigger();
  QCOMPARE(LoadEnvironment(home_->File("KVCore.env"))->MonitorParam->MaxSpeedScale, 555);
  auto& chart = *Child<TMonitorChart>(*form, "chartMonitor");
  QCOMPARE(chart.SpeedAxis()->max(), 555.0);
  QCOMPARE(chart.Series(1)->color(), QColor(255, 0, 0));
}

void MainFormTest::doubleClickFollowsTheOptions_data() {
  QTest::addColumn<int>("option");
  QTest::addColumn<bool>("runs");
  QTest::addColumn<int>("properties");
  QTest::addColumn<int>("schedules");
  QTest::newRow("run or pause") << int(drpRunOrPause) << true << 0 << 0;
  QTest::newRow("property") << int(drpProperty) << false << 1 << 0;
  QTest::newRow("schedule") << int(drpSchedule) << false << 0 << 1;
}

void MainFormTest::doubleClickFollowsTheOptions() {
  QFETCH(int, option);
  QFETCH(bool, runs);
  QFETCH(int, properties);
  QFETCH(int, schedules);
  {
    TKVEnvironment env;
    env.DblClickJobOption->DblClickOnRunJob = static_cast<TDblClickOnRunJob>(option);
    kv::SaveEnvironment(env, home_->File("KVCore.env"));
  }
  home_->WriteGroup({home_->MakeJob("Orders", 5)});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  QTreeWidgetItem* row = RowNamed(jobs, "Orders");
  ClickRow(jobs, row);
  QTest::mouseDClick(jobs.viewport(), Qt::LeftButton, {}, jobs.visualItemRect(row).center());
  TJob* job = JobNamed("Orders");
  if (runs) QTRY_VERIFY_WITH_TIMEOUT(job->Status() == jsOk && Ended(*job), kPatience);
  QCOMPARE(job->Status(), runs ? jsOk : jsStop);
  QCOMPARE(jobProCalls_, properties);
  QCOMPARE(scheduleCalls_, schedules);
}

void MainFormTest::errorRecordsAreSavedAndLoaded() {
  home_->WriteGroup({home_->MakeJob("Orders", 20, 5)});
  auto form = Open();
  StartLongRun(*form, "Orders");
  QTRY_VERIFY_WITH_TIMEOUT(Ended(*JobNamed("Orders")), kPatience);
  auto& links = *Child<QTreeWidget>(*form, "lvwDBLinks");
  ClickRow(links, links.topLevelItem(0));
  auto& grid = *Child<QTableView>(*form, "dgdErrData");
  QCOMPARE(grid.model()->rowCount(), 4);
  nextSave_ = QString::fromStdString(home_->File("saved.err"));
  Action(*form, "acErrDataSaveAs")->trigger();
  QVERIFY(FileExists(home_->File("saved.err")));
  // A file that holds no error records is refused and changes nothing.
  kvtest::WriteFile(home_->File("bad.err"), "no records here");
  nextOpen_ = QString::fromStdString(home_->File("bad.err"));
  ui_.messages.clear();
  Action(*form, "acErrDataLoad")->trigger();
  QCOMPARE(ui_.messages.size(), size_t(1));
  QCOMPARE(grid.model()->rowCount(), 4);
  form->CurrentLink()->ErrorData().Close();
  nextOpen_ = QString::fromStdString(home_->File("saved.err"));
  Action(*form, "acErrDataLoad")->trigger();
  QCOMPARE(grid.model()->rowCount(), 4);
  QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QString("ID"));
}

void MainFormTest::logPropertyShowsTheSelectedRow() {
  home_->WriteGroup({home_->MakeJob("Orders", 3)});
  auto form = Open();
  QTRY_VERIFY(!Action(*form, "acLogPro")->isEnabled());
  JobNamed("Orders")->AddLog(ltWarnint, "first");
  JobNamed("Orders")->AddLog(ltError, "second");
  auto& log = *Child<QTreeWidget>(*form, "lvwLog");
  auto& pages = *Child<QTabWidget>(*form, "pctDBLinkInfo");
  QTest::mouseClick(pages.tabBar(), Qt::LeftButton, {}, pages.tabBar()->tabRect(1).center());
  QCOMPARE(pages.currentWidget()->objectName(), QString("tshLog"));
  ClickRow(log, log.topLevelItem(0));
  QTRY_VERIFY(Action(*form, "acLogPro")->isEnabled());
  Action(*form, "acLogPro")->trigger();
  QCOMPARE(shownLogs_, (std::vector<std::string>{"first"}));
  // The row keeps its entry after the logs were cleared.
  JobNamed("Orders")->Logs->Clear();
  Action(*form, "acLogPro")->trigger();
  QCOMPARE(shownLogs_.back(), std::string("first"));
  Action(*form, "acClearLog")->trigger();
  QCOMPARE(log.topLevelItemCount(), 0);
  QTRY_VERIFY(!Action(*form, "acLogPro")->isEnabled());
}

void MainFormTest::contextOpensTheManualOfTheProgramFolder() {
  kvtest::WriteFile(home_->File("README.md"), "# manual\n");
  auto form = Open();
  Action(*form, "acContext")->trigger();
  QCOMPARE(opened_, QStringList{QDir::cleanPath(QString::fromStdString(home_->File("README.md")))});
  QVERIFY(ui_.messages.empty());
}

// ---- debugging and error data ----

void MainFormTest::debugOpensTheDebugWindowOnACopyOfTheJob() {
  home_->WriteGroup({home_->MakeJob("Orders", 10)});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acDebug")->isEnabled());
  TJob* job = JobNamed("Orders");
  QStringList listed;
  QString title;
  kvtest::OnModal<TDebugForm>([&](TDebugForm& debug) {
    title = debug.windowTitle();
    listed << kvtest::Find<QTreeWidget>(debug, "lvwDBLinks")->topLevelItem(0)->text(0);
    // The window runs its own copy: stepping it leaves the job alone.
    auto& debugLinks = *kvtest::Find<QTreeWidget>(debug, "lvwDBLinks");
    ClickRow(debugLinks, debugLinks.topLevelItem(0));
    debug.acDebugStep->trigger();
    [&] { QTRY_VERIFY_WITH_TIMEOUT(debug.CurrentLink()->Status() == jsPause, kPatience); }();
    listed << QString::number(job->DBLinks->GetObj(0)->Status());
    debug.reject();
  });
  Action(*form, "acDebug")->trigger();
  QCOMPARE(title, QString("Debug DBLinks of Job:Orders"));
  QCOMPARE(listed, (QStringList{"OrdersToTable", QString::number(jsStop)}));
  QCOMPARE(job->Status(), jsStop);
  QVERIFY(!job->LinksBusy());
}

void MainFormTest::translateErrorDataNeedsErrorRecordsAndAStoppedJob() {
  home_->WriteGroup({home_->MakeJob("Orders", 20, 5)});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  auto& links = *Child<QTreeWidget>(*form, "lvwDBLinks");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  ClickRow(links, links.topLevelItem(0));
  QAction& retrans = *Action(*form, "acErrDataReTrans");
  QTRY_VERIFY(!retrans.isEnabled());  // no error records yet
  StartLongRun(*form, "Orders");
  QTRY_VERIFY_WITH_TIMEOUT(Ended(*JobNamed("Orders")), kPatience);
  ClickRow(links, links.topLevelItem(0));
  QTRY_VERIFY(retrans.isEnabled());
  TDBLink& link = *form->CurrentLink();
  int shown = -1;
  kvtest::OnModal<TErrorDataForm>([&](TErrorDataForm& window) {
    shown = kvtest::Find<QTableView>(window, "dgdErrData")->model()->rowCount();
    // The records still fail the link's filter: all four stay.
    window.acDebugGo->trigger();
    [&] {
      QTRY_VERIFY_WITH_TIMEOUT(window.CurrentLink()->IsStop() && !window.CurrentLink()->Thread() &&
                                   window.CurrentLink()->SourceDataType() == sdtOrigin,
                               kPatience);
    }();
    window.accept();
  });
  retrans.trigger();
  QCOMPARE(shown, 4);
  QCOMPARE(link.ErrorData().RecordCount(), 4);
  QCOMPARE(Child<QTableView>(*form, "dgdErrData")->model()->rowCount(), 4);
  QCOMPARE(link.SourceDataType(), sdtOrigin);
}

void MainFormTest::debugParametersAreSavedToTheJobFile() {
  const std::string file = home_->MakeJob("Orders", 10);
  home_->WriteGroup({file});
  auto form = Open();
  auto& jobs = *Child<QTreeWidget>(*form, "lvwJobs");
  ClickRow(jobs, RowNamed(jobs, "Orders"));
  QTRY_VERIFY(Action(*form, "acDebug")->isEnabled());
  bool edited = false;
  kvtest::OnModal<TDebugForm>([&](TDebugForm& debug) {
    QVERIFY(!debug.acSetDebugParameters->isEnabled());  // no link selected
    auto& debugLinks = *kvtest::Find<QTreeWidget>(debug, "lvwDBLinks");
    ClickRow(debugLinks, debugLinks.topLevelItem(0));
    QVERIFY(debug.acSetDebugParameters->isEnabled());
    kvtest::OnModal<TKVDebugModeForm>([&](TKVDebugModeForm& mode) {
      kvtest::Find<QRadioButton>(mode, "rbtPauseAfterRows")->setChecked(true);
      kvtest::Find<QSpinBox>(mode, "sePauseRows")->setValue(3);
      mode.accept();
      edited = true;
    });
    debug.acSetDebugParameters->trigger();
    debug.reject();
  });
  Action(*form, "acDebug")->trigger();
  QVERIFY(edited);
  // The job in the list and its file both hold the new limit.
  TDebugMode& mode = JobNamed("Orders")->DBLinks->GetObj(0)->DebugMode();
  QCOMPARE(mode.PauseOption, poPauseAfterRows);
  QCOMPARE(mode.PauseAfterRows, 3);
  TJob reread;
  reread.GetDesignControl().LoadFromFile(file);
  reread.LoadFromFlChart();
  QCOMPARE(reread.DBLinks->GetObj(0)->DebugMode().PauseOption, poPauseAfterRows);
  QCOMPARE(reread.DBLinks->GetObj(0)->DebugMode().PauseAfterRows, 3);
  QCOMPARE(reread.DBLinks->Count(), 1);
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
