// The error-data window over a real run: a CSV file into a SQLite table
// whose NAME column refuses empty names captures the failing records; the
// window transfers them again before and after the column is relaxed.
#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QTreeWidget>
#include <QtTest>

#include "DebugFormFixture.h"
#include "DialogTestSupport.h"
#include "editors/ErrorDataForm.h"
#include "editors/QtMainThread.h"
#include "jobs/DBLinkThread.h"
#include "jobs/HeadlessHandlers.h"

using namespace kv;
using kvtest::Find;
using kvtest::ShowActive;
using kvtest::TDebugJobs;

namespace {

constexpr int kPatience = 120000;  // ms

bool Ended(const TDBLink& link) { return link.IsStop() && link.Status() != jsPause && !link.Thread(); }

// Waits until the window's run has ended and its source is its own again.
bool Settled(const TErrorDataForm& form) {
  const TDBLink& link = *form.CurrentLink();
  return Ended(link) && link.SourceDataType() == sdtOrigin && form.acDebugGo->isEnabled();
}

}  // namespace

class ErrorDataFormTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void init();
  void cleanup();

  void aRunLeavesOneErrorRecordPerRefusedRow();
  void retransferKeepsWhatFailsAgainAndDropsWhatNowSucceeds();
  void theWindowHasNoDebugOnlyCommands();
  void closingDuringARetransferStopsItAndRestoresTheSource();

private:
  // Runs the job's link "Orders" (100 records, 3 without a name) normally.
  TDBLink& RunFailingLink();

  std::unique_ptr<TQtMainThreadScope> mainThread_;
  std::unique_ptr<TDebugJobs> jobs_;
};

void ErrorDataFormTest::initTestCase() { mainThread_ = std::make_unique<TQtMainThreadScope>(); }

void ErrorDataFormTest::init() {
  jobs_ = std::make_unique<TDebugJobs>();
  KVSetLanguage(ltEnglish);
}

void ErrorDataFormTest::cleanup() { jobs_.reset(); }

TDBLink& ErrorDataFormTest::RunFailingLink() {
  TDBLink& link = jobs_->AddLink("Orders", 100, {10, 50, 90});
  AttachHeadlessHandlers(link);
  link.Run();
  [&] { QTRY_VERIFY_WITH_TIMEOUT(Ended(link), kPatience); }();
  return link;
}

void ErrorDataFormTest::aRunLeavesOneErrorRecordPerRefusedRow() {
  TDBLink& link = RunFailingLink();
  QCOMPARE(link.Status(), jsError);
  QCOMPARE(TDebugJobs::Ids(link.ErrorData()), (std::vector<std::string>{"10", "50", "90"}));
  QCOMPARE(TDebugJobs::ErrorFileRecords(link), 3);
  QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("97"));
}

void ErrorDataFormTest::retransferKeepsWhatFailsAgainAndDropsWhatNowSucceeds() {
  TDBLink& link = RunFailingLink();
  {
    TErrorDataForm form(link);
    QVERIFY(ShowActive(form));
    QCOMPARE(form.windowTitle(), QString("Manage Error Data of DBLink:Orders"));
    auto& grid = *Find<QTableView>(form, "dgdErrData");
    QCOMPARE(grid.model()->rowCount(), 3);
    QVERIFY(form.acDebugGo->isEnabled());
    // The column still refuses empty names: all three fail again and stay.
    QTest::keyClick(&form, Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(Settled(form), kPatience);
    QCOMPARE(form.CurrentLink()->Counters().Statistic.Errors, 3);
    QCOMPARE(TDebugJobs::Ids(form.CurrentLink()->ErrorData()), (std::vector<std::string>{"10", "50", "90"}));
    QCOMPARE(grid.model()->rowCount(), 3);
    QCOMPARE(TDebugJobs::ErrorFileRecords(link), 3);
    QVERIFY(Find<QLabel>(form, "lbCounters")->text().contains("Errors: 3"));
    QCOMPARE(Find<QLabel>(form, "lbErrorRecords")->text(), QString("Error records: 3"));
  }
  QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("97"));

  jobs_->RelaxName("Orders");
  bool ran = false;
  kvtest::OnModal<TErrorDataForm>([&ran](TErrorDataForm& form) {
    [&] {
      form.acDebugGo->trigger();
      QVERIFY(form.Transferred());
      QTRY_VERIFY_WITH_TIMEOUT(Settled(form), kPatience);
      QCOMPARE(form.CurrentLink()->Counters().Statistic.Inserted, 3);
      QCOMPARE(Find<QTableView>(form, "dgdErrData")->model()->rowCount(), 0);
      ran = true;
    }();
    form.accept();
  });
  ManageErrorData(link);
  QVERIFY(ran);
  // All three went in; the ".err" file and the link's error records are empty.
  QCOMPARE(TDebugJobs::ErrorFileRecords(link), 0);
  QVERIFY(TDebugJobs::Ids(link.ErrorData()).empty());
  QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("100"));
  QCOMPARE(jobs_->Query("Orders", "SELECT group_concat(ID) FROM t WHERE NAME IS NULL OR NAME = ''"),
           std::string("10,50,90"));
  // The link itself still reads its own source.
  QCOMPARE(link.SourceDataType(), sdtOrigin);
}

void ErrorDataFormTest::theWindowHasNoDebugOnlyCommands() {
  TDBLink& link = RunFailingLink();
  TErrorDataForm form(link);
  QVERIFY(!form.findChild<QAction*>("acSetDebugParameters"));
  QVERIFY(!form.findChild<QAction*>("acViewExp"));
  QVERIFY(!form.findChild<QWidget*>("lvwDBLinks"));
  for (const char* name : {"acDebugGo", "acDebugStep", "acDebugPause", "acDebugStop", "acLogPro", "acClearLog", "acExit"})
    QVERIFY2(form.findChild<QAction*>(name), name);
  QVERIFY(Find<QWidget>(form, "lvwLog"));
  QVERIFY(Find<QWidget>(form, "StatusBar"));
  // The window works on a copy: the link's records are not touched by it.
  QVERIFY(form.CurrentLink() != &link);
  form.CurrentLink()->ErrorData().Close();
  QCOMPARE(TDebugJobs::Ids(link.ErrorData()).size(), size_t(3));
}

void ErrorDataFormTest::closingDuringARetransferStopsItAndRestoresTheSource() {
  TDBLink& link = RunFailingLink();
  jobs_->RelaxName("Orders");  // the step pauses after a record that went in
  auto form = std::make_unique<TErrorDataForm>(link);
  form->show();
  form->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(form.get()));
  TDBLink& copy = *form->CurrentLink();
  QTest::keyClick(form.get(), Qt::Key_F6);  // one record, then the run waits
  QTRY_VERIFY_WITH_TIMEOUT(copy.Status() == jsPause, kPatience);
  QCOMPARE(copy.SourceDataType(), sdtError);
  QVERIFY(form->close());
  QVERIFY(!copy.Thread());
  QCOMPARE(copy.Status(), jsStop);
  QCOMPARE(copy.SourceDataType(), sdtOrigin);
  // The stopped run wrote what it had not transferred yet... nothing more than it read.
  QCOMPARE(jobs_->Query("Orders", "SELECT count(*) FROM t"), std::string("98"));
  form.reset();
  QCOMPARE(mainThread_->Dispatcher().PendingCount(), 0);
}

QTEST_MAIN(ErrorDataFormTest)
#include "ErrorDataFormTest.moc"
