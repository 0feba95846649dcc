// The debug window over real jobs: CSV files into SQLite tables made by the
// test, driven through its commands (keys F5, F6, F7, F9 and actions) and
// its lists, with the questions answered through the user-interface hook.
#include <QAction>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>
#include <atomic>

#include "DebugFormFixture.h"
#include "DialogTestSupport.h"
#include "editors/DebugForm.h"
#include "editors/LogInfoForm.h"
#include "editors/QtMainThread.h"
#include "environment/Environment.h"
#include "jobs/DBLinkThread.h"

using namespace kv;
using kvtest::Find;
using kvtest::ShowActive;

namespace {

constexpr int kPatience = 120000;  // ms; runs under the sanitizers are slow
constexpr int kLongRows = 30000;  // a debug run (one GUI round trip per record) that lasts while the test acts

QStringList RowTexts(const QTreeWidgetItem& row) {
  QStringList texts;
  for (int c = 0; c < row.treeWidget()->columnCount(); ++c) texts << row.text(c);
  return texts;
}

QStringList Column(const QTreeWidget& list, int column) {
  QStringList texts;
  for (int i = 0; i < list.topLevelItemCount(); ++i) texts << list.topLevelItem(i)->text(column);
  return texts;
}

void ClickRow(QTreeWidget& list, int index) {
  QTreeWidgetItem* row = list.topLevelItem(index);
  QVERIFY(row);
  list.scrollToItem(row);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(row).center());
}

// Paused after its `rows`-th record, whose convert event has been handled
// (the run publishes its counters after that event).
bool SteppedTo(const TDBLink& link, int rows) {
  return link.Status() == jsPause && link.Counters().Statistic.Rows >= rows;
}

bool Ended(const TDBLink& link) { return link.IsStop() && link.Status() != jsPause && !link.Thread(); }

// The copy's link of that name.
TDBLink& CopyLink(TDebugForm& form, const std::string& name) {
  TDBLinks& links = *form.DebugJobCopy().DBLinks;
  TDBLink* link = links.GetObj(links.IndexOf(name));
  if (!link) qFatal("no link %s", name.c_str());
  return *link;
}

}  // namespace

class DebugFormTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();

  void listsTheCopysLinksWithAnEmptyCountForAClosedSource();
  void commandsFollowTheCurrentLinksState();
  void eachStepConvertsOneRecordAndShowsItsSourceValues();
  void debugGoDoesNotRefreshTheWatchList();
  void eventsOfAnotherLinkUpdateOnlyItsCounters();
  void pausingAndResumingContinuesWithTheNextRecord();
  void pauseAndStopQuestionsAnsweredNoChangeNothing();
  void failedRecordsAreCapturedAndTheNoAnswerSurvivesARestart();
  void statusChangesAndEventsAreLogged();
  void viewExpressionShowsTheSelectedWatchRow();
  void closingWhileRunningStopsAndJoinsTheRun_data();
  void closingWhileRunningStopsAndJoinsTheRun();
  void debuggingLeavesTheOriginalJobAlone();

private:
  std::unique_ptr<TQtMainThreadScope> mainThread_;
  std::unique_ptr<kvtest::TDebugJobs> jobs_;
};

void DebugFormTest::initTestCase() { mainThread_ = std::make_unique<TQtMainThreadScope>(); }

void DebugFormTest::init() {
  jobs_ = std::make_unique<kvtest::TDebugJobs>();
  KVSetLanguage(ltEnglish);
}

void DebugFormTest::cleanup() { jobs_.reset(); }

void DebugFormTest::listsTheCopysLinksWithAnEmptyCountForAClosedSource() {
  jobs_->AddLink("First", 5);
  jobs_->AddLink("Second", 5);
  TDebugForm form(jobs_->job);
  QCOMPARE(form.windowTitle(), QString("Debug DBLinks of Job:Orders"));
  auto& links = *Find<QTreeWidget>(form, "lvwDBLinks");
  QCOMPARE(links.columnCount(), 8);
  QCOMPARE(links.headerItem()->text(7), QString("Errors"));
  QCOMPARE(Column(links, 0), (QStringList{"First", "Second"}));
  // Never run: no start time; the source is closed: no count; no counters yet.
  QCOMPARE(RowTexts(*links.topLevelItem(0)), (QStringList{"First", "", "", "", "", "", "", ""}));
  auto& watch = *Find<QTreeWidget>(form, "lvwDebug");
  QCOMPARE(watch.headerItem()->text(3), QString("Source field"));
  QCOMPARE(watch.headerItem()->text(4), QString("Source field value"));
  // The window debugs copies: the job's own links are not the ones listed.
  QVERIFY(&CopyLink(form, "First") != jobs_->job.DBLinks->GetObj(0));
}

void DebugFormTest::commandsFollowTheCurrentLinksState() {
  jobs_->AddLink("Long", kLongRows);
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  const char* all[] = {"acDebugGo", "acDebugStep", "acDebugPause", "acDebugStop", "acViewExp", "acLogPro"};
  for (const char* name : all) QVERIFY2(!Find<QAction>(form, name)->isEnabled(), name);
  QCOMPARE(Find<QAction>(form, "acDebugGo")->shortcut(), QKeySequence(Qt::Key_F5));
  QCOMPARE(Find<QAction>(form, "acDebugStep")->shortcut(), QKeySequence(Qt::Key_F6));
  QCOMPARE(Find<QAction>(form, "acDebugPause")->shortcut(), QKeySequence(Qt::Key_F7));
  QCOMPARE(Find<QAction>(form, "acDebugStop")->shortcut(), QKeySequence(Qt::Key_F9));
  auto& links = *Find<QTreeWidget>(form, "lvwDBLinks");
  ClickRow(links, 0);
  QCOMPARE(form.CurrentLink(), &CopyLink(form, "Long"));
  QVERIFY(form.acDebugGo->isEnabled() && form.acDebugStep->isEnabled());
  QVERIFY(!form.acDebugPause->isEnabled() && !form.acDebugStop->isEnabled());
  QTest::keyClick(&form, Qt::Key_F5);
  TDBLink& link = *form.CurrentLink();
  QTRY_VERIFY_WITH_TIMEOUT(link.IsRunning(), kPatience);
  QTRY_VERIFY(form.acDebugPause->isEnabled() && form.acDebugStop->isEnabled());
  QVERIFY(!form.acDebugGo->isEnabled() && !form.acDebugStep->isEnabled());
  // Deselecting leaves no current link: nothing is enabled, the grid is unbound.
  links.clearSelection();
  QCOMPARE(form.CurrentLink(), nullptr);
  QVERIFY(!form.acDebugStop->isEnabled());
  QCOMPARE(Find<QTableView>(form, "dgdErrData")->model()->columnCount(), 0);
  ClickRow(links, 0);
  QTest::keyClick(&form, Qt::Key_F9);  // the stop question: Yes
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  QTRY_VERIFY(form.acDebugGo->isEnabled());
}

void DebugFormTest::eachStepConvertsOneRecordAndShowsItsSourceValues() {
  jobs_->AddLink("Orders", 10);
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  TDBLink& link = *form.CurrentLink();
  auto& watch = *Find<QTreeWidget>(form, "lvwDebug");
  for (int record = 1; record <= 3; ++record) {
    QTRY_VERIFY_WITH_TIMEOUT(form.acDebugStep->isEnabled(), kPatience);
    QTest::keyClick(&form, Qt::Key_F6);
    QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(link, record), kPatience);
    const QString n = QString::number(record);
    QCOMPARE(watch.topLevelItemCount(), 3);
    QCOMPARE(RowTexts(*watch.topLevelItem(0)), (QStringList{"ID", n, "ID", "ID", n}));
    QCOMPARE(RowTexts(*watch.topLevelItem(1)), (QStringList{"NAME", "Name" + n, "S.NAME", "NAME", "Name" + n}));
    // A computed value names no source field.
    QCOMPARE(RowTexts(*watch.topLevelItem(2)).mid(2), (QStringList{"Upper(S.BORN)", "", ""}));
    auto& row = *Find<QTreeWidget>(form, "lvwDBLinks")->topLevelItem(0);
    QTRY_COMPARE(row.text(3), n);
  }
  // One more record converted, none skipped: Stop ends the paused run.
  QVERIFY(form.acDebugStop->isEnabled());
  QTest::keyClick(&form, Qt::Key_F9);
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  QCOMPARE(link.Counters().Statistic.Rows, 3);
}

void DebugFormTest::debugGoDoesNotRefreshTheWatchList() {
  jobs_->AddLink("Orders", 50);
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  TDBLink& link = *form.CurrentLink();
  auto& watch = *Find<QTreeWidget>(form, "lvwDebug");
  QTest::keyClick(&form, Qt::Key_F6);
  QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(link, 1), kPatience);
  QCOMPARE(watch.topLevelItem(0)->text(1), QString("1"));
  QTest::keyClick(&form, Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  QCOMPARE(link.Status(), jsOk);
  QCOMPARE(link.Counters().Statistic.Rows, 50);
  QCOMPARE(watch.topLevelItem(0)->text(1), QString("1"));
  QCOMPARE(jobs_->Query("Orders", "SELECT count(DISTINCT ID) FROM t"), std::string("50"));
  // The row shows the counters of the whole run; no start time once it has ended.
  auto& row = *Find<QTreeWidget>(form, "lvwDBLinks")->topLevelItem(0);
  QTRY_COMPARE(row.text(4), QString("50"));
  QCOMPARE(row.text(1), QString());
  QCOMPARE(row.text(7), QString("0"));
}

void DebugFormTest::eventsOfAnotherLinkUpdateOnlyItsCounters() {
  jobs_->AddLink("Ann", 10, {}, "Ann");
  jobs_->AddLink("Bob", 10, {}, "Bob");
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  auto& links = *Find<QTreeWidget>(form, "lvwDBLinks");
  auto& watch = *Find<QTreeWidget>(form, "lvwDebug");
  ClickRow(links, 1);
  TDBLink& bob = *form.CurrentLink();
  QTest::keyClick(&form, Qt::Key_F6);
  QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(bob, 1), kPatience);
  QCOMPARE(watch.topLevelItem(1)->text(1), QString("Bob1"));
  ClickRow(links, 0);
  QCOMPARE(form.CurrentLink(), &CopyLink(form, "Ann"));
  // Bob goes on stepping while Ann is current: only Bob's row follows.
  for (int record = 2; record <= 3; ++record) {
    bob.Step();
    QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(bob, record), kPatience);
    QTRY_COMPARE(links.topLevelItem(1)->text(3), QString::number(record));
  }
  QCOMPARE(watch.topLevelItem(1)->text(1), QString("Bob1"));
  QCOMPARE(links.topLevelItem(0)->text(3), QString());
  // Ann's own step shows Ann's record.
  QTest::keyClick(&form, Qt::Key_F6);
  TDBLink& ann = *form.CurrentLink();
  QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(ann, 1), kPatience);
  QCOMPARE(watch.topLevelItem(1)->text(1), QString("Ann1"));
  form.close();
  QVERIFY(Ended(ann) && Ended(bob));
}

void DebugFormTest::pausingAndResumingContinuesWithTheNextRecord() {
  jobs_->AddLink("Long", kLongRows);
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  TDBLink& link = *form.CurrentLink();
  QTest::keyClick(&form, Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(link.IsRunning() && link.Counters().Statistic.Rows > 0, kPatience);
  QTest::keyClick(&form, Qt::Key_F7);  // the pause question: Yes
  QTRY_VERIFY_WITH_TIMEOUT(link.Status() == jsPause, kPatience);
  QCOMPARE(jobs_->ui.Count("Pause the dblink:Long"), 1);
  const int paused = link.Counters().Statistic.Rows;
  QVERIFY(paused < kLongRows);
  QTRY_VERIFY(form.acDebugGo->isEnabled());
  QTest::keyClick(&form, Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  QCOMPARE(link.Status(), jsOk);
  // Every record once: none skipped, none written twice across the pause.
  QCOMPARE(link.Counters().Statistic.Rows, kLongRows);
  QCOMPARE(jobs_->Query("Long", "SELECT count(*) FROM t"), std::to_string(kLongRows));
  QCOMPARE(jobs_->Query("Long", "SELECT count(DISTINCT ID) FROM t"), std::to_string(kLongRows));
}

void DebugFormTest::pauseAndStopQuestionsAnsweredNoChangeNothing() {
  jobs_->AddLink("Long", kLongRows);
  jobs_->ui.answer = [](const std::string&) { return mrNo; };
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  TDBLink& link = *form.CurrentLink();
  QTest::keyClick(&form, Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(link.IsRunning(), kPatience);
  QTRY_VERIFY(form.acDebugPause->isEnabled());
  QTest::keyClick(&form, Qt::Key_F7);
  QTest::keyClick(&form, Qt::Key_F9);
  QCOMPARE(jobs_->ui.Count("Pause the dblink:Long"), 1);
  QCOMPARE(jobs_->ui.Count("You will stop dblink:Long"), 1);
  QVERIFY(link.IsRunning());
  // Without confirmation the command runs at once.
  jobs_->env.Prompting->StopPrompt = false;
  QTest::keyClick(&form, Qt::Key_F9);
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  QCOMPARE(link.Status(), jsStop);
  QCOMPARE(jobs_->ui.Count("You will stop"), 1);
}

void DebugFormTest::failedRecordsAreCapturedAndTheNoAnswerSurvivesARestart() {
  jobs_->AddLink("Orders", 100, {7, 40, 93});
  jobs_->env.Prompting->ErrorPrompt = true;
  jobs_->ui.answer = [](const std::string& text) { return text.find("next time") != std::string::npos ? mrNo : mrNone; };
  {
    TDebugForm form(jobs_->job);
    QVERIFY(ShowActive(form));
    ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
    TDBLink& link = *form.CurrentLink();
    QTest::keyClick(&form, Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
    QCOMPARE(jobs_->ui.Count("Error found when importing into table:D"), 1);
    QVERIFY(!jobs_->env.Prompting->ErrorPrompt);
    QCOMPARE(link.Counters().Statistic.Errors, 3);
    QCOMPARE(kvtest::TDebugJobs::Ids(link.ErrorData()), (std::vector<std::string>{"7", "40", "93"}));
    QTRY_COMPARE(Find<QTreeWidget>(form, "lvwDBLinks")->topLevelItem(0)->text(7), QString("3"));
    QCOMPARE(Find<QTableView>(form, "dgdErrData")->model()->rowCount(), 3);
    QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("97"));
  }
  // The answer was written at once: a program started now reads it.
  QVERIFY(!LoadEnvironment(EnvironmentFilePath())->Prompting->ErrorPrompt);
  // A new window reads the records captured from the link's ".err" file.
  TDebugForm again(jobs_->job);
  QVERIFY(ShowActive(again));
  ClickRow(*Find<QTreeWidget>(again, "lvwDBLinks"), 0);
  QCOMPARE(Find<QTableView>(again, "dgdErrData")->model()->rowCount(), 3);
}

void DebugFormTest::statusChangesAndEventsAreLogged() {
  jobs_->AddLink("Orders", 5, {2});
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  TDBLink& link = *form.CurrentLink();
  QTest::keyClick(&form, Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience);
  auto& log = *Find<QTreeWidget>(form, "lvwLog");
  const QStringList events = Column(log, 2);
  for (const char* text : {"DBLink:Orders start.", "Opening source database of dblink:Orders.",
                           "Open source source of dblink:Orders success.", "Opening Target database of dblink:Orders.",
                           "Open source Target of dblink:Orders success.", "DBLink:Orders start convert.",
                           "DBLink:Orders convert complete.", "DBLink:Orders find error."})
    QVERIFY2(events.contains(text), text);
  QVERIFY(events.indexOf("DBLink:Orders start.") < events.indexOf("DBLink:Orders find error."));
  // The failed record's error text, at error level.
  QVERIFY(std::any_of(events.begin(), events.end(), [](const QString& e) { return e.contains("NOT NULL") || e.contains("NAME"); }));
  QVERIFY(!log.topLevelItem(0)->text(0).isEmpty() && !log.topLevelItem(0)->text(1).isEmpty());
  // Each entry went to the link's own log too.
  QCOMPARE(link.Logs().Count(), log.topLevelItemCount());
  // Property shows the selected entry; Clear Log empties the window's list only.
  QString shown;
  kvtest::OnModal<TLogInfoForm>([&shown](TLogInfoForm& info) {
    shown = Find<QWidget>(info, "moDescription")->property("plainText").toString();
    info.reject();
  });
  QVERIFY(form.acLogPro->isEnabled());
  form.acLogPro->trigger();
  QCOMPARE(shown, log.currentItem()->text(2));
  form.acClearLog->trigger();
  QCOMPARE(log.topLevelItemCount(), 0);
  QVERIFY(link.Logs().Count() > 0);
}

void DebugFormTest::viewExpressionShowsTheSelectedWatchRow() {
  jobs_->AddLink("Orders", 5);
  TDebugForm form(jobs_->job);
  QVERIFY(ShowActive(form));
  ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
  QTest::keyClick(&form, Qt::Key_F6);
  QTRY_VERIFY_WITH_TIMEOUT(SteppedTo(*form.CurrentLink(), 1), kPatience);
  QVERIFY(!form.acViewExp->isEnabled());
  auto& watch = *Find<QTreeWidget>(form, "lvwDebug");
  ClickRow(watch, 2);
  QVERIFY(form.acViewExp->isEnabled());
  form.acViewExp->trigger();
  QCOMPARE(jobs_->ui.messages.back(), std::string("Upper(S.BORN)"));
}

void DebugFormTest::closingWhileRunningStopsAndJoinsTheRun_data() {
  QTest::addColumn<bool>("paused");
  QTest::newRow("running") << false;
  QTest::newRow("paused after a step") << true;
}

void DebugFormTest::closingWhileRunningStopsAndJoinsTheRun() {
  QFETCH(bool, paused);
  jobs_->AddLink("Long", kLongRows);
  auto form = std::make_unique<TDebugForm>(jobs_->job);
  form->show();
  form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  ClickRow(*Find<QTreeWidget>(*form, "lvwDBLinks"), 0);
  TDBLink& link = *form->CurrentLink();
  QTest::keyClick(form.get(), paused ? Qt::Key_F6 : Qt::Key_F5);
  QTRY_VERIFY_WITH_TIMEOUT(paused ? link.Status() == jsPause : link.IsRunning(), kPatience);
  QVERIFY(form->close());
  // The run ended before the window went: no thread is left to reach it.
  QVERIFY(!link.Thread());
  QCOMPARE(link.Status(), jsStop);
  QVERIFY(link.Counters().Statistic.Rows < kLongRows);
  form.reset();
  // Nothing of the run waits for the window that has gone.
  QCOMPARE(mainThread_->Dispatcher().PendingCount(), 0);
}

void DebugFormTest::debuggingLeavesTheOriginalJobAlone() {
  TDBLink& original = jobs_->AddLink("Orders", 20);
  // What the job is told of its link's status (from the run's thread).
  std::atomic<int> told{0};
  original.OnIntelStatus = [&told](TDBLink&, TJobStatus) { ++told; };
  {
    TDebugForm form(jobs_->job);
    QVERIFY(ShowActive(form));
    ClickRow(*Find<QTreeWidget>(form, "lvwDBLinks"), 0);
    QTest::keyClick(&form, Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(Ended(*form.CurrentLink()), kPatience);
    QCOMPARE(form.CurrentLink()->Status(), jsOk);
  }
  QCOMPARE(original.Status(), jsStop);
  QCOMPARE(told.load(), 0);
  QCOMPARE(original.Logs().Count(), 0);
  QVERIFY(!original.OnStatus && !original.OnConvertRecord);
  QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("20"));
}

QTEST_MAIN(DebugFormTest)
#include "DebugFormTest.moc"
