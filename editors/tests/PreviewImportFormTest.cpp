// The import preview over a job with SQLite (and text) datasets: the header
// row, the start, stop and filter walk, "Show rows", values and Nulls as
// text, errors, and that neither the destination nor the GUI thread's
// translator is touched.
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "DialogTestSupport.h"
#include "LinkFormFixture.h"
#include "editors/PreviewImportForm.h"
#include "editors/QtMainThread.h"
#include "editors/QtText.h"
#include "expression/ThreadExp.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::Find;

namespace {

// The grid's rows, cells joined by '|'.
QStringList GridRows(const QWidget& form) {
  auto* grid = Find<QTableWidget>(form, "sgExpData");
  QStringList rows;
  for (int r = 0; r < grid->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c) cells << (grid->item(r, c) ? grid->item(r, c)->text() : "?");
    rows << cells.join('|');
  }
  return rows;
}

// The first cells of the rows after the header.
QStringList FirstColumn(const QWidget& form) {
  QStringList ids;
  const QStringList rows = GridRows(form);
  for (int r = 1; r < rows.size(); ++r) ids << rows[r].section('|', 0, 0);
  return ids;
}

QStringList Numbers(int from, int to) {
  QStringList list;
  for (int n = from; n <= to; ++n) list << QString::number(n);
  return list;
}

}  // namespace

class PreviewImportFormTest : public QObject {
  Q_OBJECT
private slots:
  void initTestCase();
  void cleanupTestCase();
  void init();
  void cleanup();
  void theHeaderRowHoldsTheDestinationNamesInMappingOrder();
  void valuesAreComputedThroughTheVariableChainAndNullsAreMarked();
  void aStartConditionSkipsRecordsUntilItIsFirstMet();
  void aStopConditionTrueForTheFirstRecordLeavesOnlyTheHeader();
  void aStopConditionEndsThePreviewBeforeItsRecord();
  void aFilterRejectingEverythingWalksTheWholeSource();
  void showRowsLimitsTheRowsAndOpenWalksAgain();
  void theDestinationIsNeverWritten();
  void aTextSourceIsPreviewedToo();
  void aConditionThatDoesNotTranslateIsReported();
  void aValueThatCannotBeComputedShowsItsError();
  void aRunningLinkIsNotPreviewed();
  void theWalkRunsOffTheWindowsThreadAndCanBeCutShort();
  void preImpDataAnswersTrueOnlyOnClose();

private:
  // Shows the form and waits until its first walk has ended.
  void ShowAndWait(TPreviewImportDataForm& form);

  std::unique_ptr<TQtMainThreadScope> mainThread_;
  std::unique_ptr<kvtest::LinkFormFixture> fx_;
};

void PreviewImportFormTest::initTestCase() { mainThread_ = std::make_unique<TQtMainThreadScope>(); }

void PreviewImportFormTest::cleanupTestCase() { mainThread_.reset(); }

void PreviewImportFormTest::init() { fx_ = std::make_unique<kvtest::LinkFormFixture>(); }

void PreviewImportFormTest::cleanup() { fx_.reset(); }

void PreviewImportFormTest::ShowAndWait(TPreviewImportDataForm& form) {
  QSignalSpy finished(&form, &TPreviewImportDataForm::WalkFinished);
  form.show();
  QVERIFY(finished.wait(30000));
  QVERIFY(!form.Walking());
}

void PreviewImportFormTest::theHeaderRowHoldsTheDestinationNamesInMappingOrder() {
  fx_->link->Mappings().Clear();
  for (const char* line : {"NAME=S.NAME", " AMOUNT = S.AMOUNT", "ID=S.ID"}) fx_->link->Mappings().Add(line);
  fx_->FillSource(2);
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  QCOMPARE(form.windowTitle(), QString("L: Preview Import Data"));
  QCOMPARE(Find<QSpinBox>(form, "seShowRows")->value(), 100);
  QCOMPARE(GridRows(form), (QStringList{"NAME|AMOUNT|ID"}));  // before the walk
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"NAME|AMOUNT|ID", "Name1|1.5|1", "Name2|3|2"}));
}

void PreviewImportFormTest::valuesAreComputedThroughTheVariableChainAndNullsAreMarked() {
  fx_->link->VarList().SetVarExp("BONUS", CreateIntExp(100));
  fx_->link->Mappings().Clear();
  for (const char* line : {"ID=S.ID * RATE + BONUS", "NAME=S.NAME", "AMOUNT=", "TAG='x' + S.NAME"})
    fx_->link->Mappings().Add(line);
  fx_->FillSource(3, {2});
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT|TAG", "103|Name1|<Null>|xName1", "106|<Null>|<Null>|x",
                                        "109|Name3|<Null>|xName3"}));
}

void PreviewImportFormTest::aStartConditionSkipsRecordsUntilItIsFirstMet() {
  fx_->FillSource(8);
  fx_->link->StartExp = "S.ID = 4";  // met once; the records after it are shown all the same
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(FirstColumn(form), Numbers(4, 8));
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QString("8 records read, 5 shown"));
}

void PreviewImportFormTest::aStopConditionTrueForTheFirstRecordLeavesOnlyTheHeader() {
  fx_->FillSource(5);
  fx_->link->StopExp = "S.ID > 0";
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT"}));
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QString("1 records read, 0 shown"));
}

void PreviewImportFormTest::aStopConditionEndsThePreviewBeforeItsRecord() {
  fx_->FillSource(9);
  fx_->link->StartExp = "S.ID >= 3";
  fx_->link->FilterExp = "S.ID <> 4";
  fx_->link->StopExp = "S.ID = 7";
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(FirstColumn(form), (QStringList{"3", "5", "6"}));
}

void PreviewImportFormTest::aFilterRejectingEverythingWalksTheWholeSource() {
  fx_->FillSource(3000);
  fx_->link->FilterExp = "S.ID < 0";
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT"}));
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QString("3000 records read, 0 shown"));
}

void PreviewImportFormTest::showRowsLimitsTheRowsAndOpenWalksAgain() {
  fx_->FillSource(20);
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(FirstColumn(form), Numbers(1, 20));
  auto* rows = Find<QSpinBox>(form, "seShowRows");
  rows->setFocus();
  rows->selectAll();
  QTest::keyClicks(rows, "3");
  QCOMPARE(rows->value(), 3);
  QSignalSpy finished(&form, &TPreviewImportDataForm::WalkFinished);
  QTest::mouseClick(Find<QPushButton>(form, "acOpen"), Qt::LeftButton);
  QVERIFY(finished.wait(30000));
  QCOMPARE(FirstColumn(form), Numbers(1, 3));
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QString("3 records read, 3 shown"));
  // The source changed meanwhile: "&Open" reads it again.
  fx_->Exec("DELETE FROM src WHERE ID = 2");
  QTest::mouseClick(Find<QPushButton>(form, "acOpen"), Qt::LeftButton);
  QVERIFY(finished.wait(30000));
  QCOMPARE(FirstColumn(form), (QStringList{"1", "3", "4"}));
  rows->setValue(0);  // below the smallest count
  QCOMPARE(rows->value(), 1);
}

void PreviewImportFormTest::theDestinationIsNeverWritten() {
  fx_->FillSource(4);
  fx_->Exec("INSERT INTO dst VALUES(99, 'kept', 0.5)");
  fx_->dest->ImportMode = imCopy;  // a run would empty it first
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(FirstColumn(form), Numbers(1, 4));
  QCOMPARE(fx_->Query("SELECT * FROM dst"), (std::vector<std::string>{"99|kept|0.5"}));
  QCOMPARE(fx_->link->Counters().Statistic.Rows, 0);
}

void PreviewImportFormTest::aTextSourceIsPreviewedToo() {
  const std::string file = fx_->File("orders.csv");
  kvtest::WriteFile(file, "ID,NAME\r\n7,Seven\r\n8,\r\n9,Nine\r\n");
  auto text = std::make_unique<TKVTextDataSet>();
  text->Name = "T";
  text->TextFile().SetExtractColumnNamesFromFirstLine(true);
  text->TextFile().SetTableName(file);
  TKVTextDataSet* raw = text.get();
  fx_->job.DataSets->AddOwned("T", std::move(text));
  fx_->link->SetSourceDataSet(raw);
  fx_->link->Mappings().Clear();
  for (const char* line : {"ID=T.ID", "NAME=T.NAME"}) fx_->link->Mappings().Add(line);
  fx_->link->FilterExp = "T.ID <> 8";
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME", "7|Seven", "9|Nine"}));
}

void PreviewImportFormTest::aConditionThatDoesNotTranslateIsReported() {
  fx_->FillSource(3);
  fx_->link->FilterExp = "S.ID >";
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT"}));
  QCOMPARE(ui.messages.size(), size_t{1});
  QVERIFY(QStr(ui.messages[0]).startsWith("Find error while check the Filter condition of DBLink:L!"));
  QCOMPARE(ui.types[0], mtError);
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QStr(ui.messages[0]));
  QVERIFY(Find<QPushButton>(form, "acOpen")->isEnabled());
  // A missing source table is reported the same way.
  fx_->link->FilterExp.clear();
  fx_->source->TableName = "missing";
  QSignalSpy finished(&form, &TPreviewImportDataForm::WalkFinished);
  QTest::mouseClick(Find<QPushButton>(form, "acOpen"), Qt::LeftButton);
  QVERIFY(finished.wait(30000));
  QCOMPARE(ui.messages.size(), size_t{2});
  QVERIFY(QStr(ui.messages[1]).contains("missing"));
}

void PreviewImportFormTest::aValueThatCannotBeComputedShowsItsError() {
  fx_->FillSource(2);
  fx_->link->Mappings().Clear();
  for (const char* line : {"ID=S.ID", "NAME=S.NAME +* 2"}) fx_->link->Mappings().Add(line);
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  ShowAndWait(form);
  auto* grid = Find<QTableWidget>(form, "sgExpData");
  QCOMPARE(grid->rowCount(), 3);
  QCOMPARE(grid->item(1, 0)->text(), QString("1"));
  QVERIFY(grid->item(1, 1)->text().startsWith("Expression: "));
  QCOMPARE(grid->item(1, 1)->foreground().color(), QColor(Qt::red));
  QCOMPARE(grid->item(2, 0)->text(), QString("2"));
}

void PreviewImportFormTest::aRunningLinkIsNotPreviewed() {
  fx_->FillSource(2);
  fx_->link->SetStatusValue(jsRunning);
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  form.show();
  QTRY_COMPARE_WITH_TIMEOUT(ui.messages.size(), size_t{1}, 10000);
  QCOMPARE(ui.messages[0], std::string("The DB link L is running; preview it once it has stopped."));
  QVERIFY(!form.Walking());
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT"}));
  fx_->link->SetStatusValue(jsStop);
}

void PreviewImportFormTest::theWalkRunsOffTheWindowsThreadAndCanBeCutShort() {
  fx_->FillSource(60000);
  fx_->link->FilterExp = "S.ID < 0";
  CreatePubVarList();
  TExpTranslator* mine = GetTranslator();
  TPreviewImportDataForm form(*fx_->link, fx_->job);
  form.show();
  QTRY_VERIFY_WITH_TIMEOUT(form.Walking(), 10000);
  QVERIFY(!Find<QPushButton>(form, "acOpen")->isEnabled());
  QVERIFY(!Find<QSpinBox>(form, "seShowRows")->isEnabled());
  // The window's event loop keeps running while the source is read.
  bool answered = false;
  bool walkingThen = false;
  QTimer::singleShot(0, &form, [&] {
    answered = true;
    walkingThen = form.Walking();
  });
  QTRY_VERIFY_WITH_TIMEOUT(answered, 10000);
  QVERIFY(walkingThen);
  QCOMPARE(GetTranslator(), mine);
  // Cut short: what was found so far (nothing) is shown, the counts with it.
  form.StopWalk();
  QVERIFY(!form.Walking());
  QVERIFY(Find<QPushButton>(form, "acOpen")->isEnabled());
  QCOMPARE(GridRows(form), (QStringList{"ID|NAME|AMOUNT"}));
  const QString status = Find<QLabel>(form, "lbStatus")->text();
  QVERIFY2(QRegularExpression("^\\d+ records read, 0 shown$").match(status).hasMatch(), qPrintable(status));
  QVERIFY(status.section(' ', 0, 0).toInt() <= 60000);
  // A new walk goes through the whole source.
  QSignalSpy finished(&form, &TPreviewImportDataForm::WalkFinished);
  QTest::mouseClick(Find<QPushButton>(form, "acOpen"), Qt::LeftButton);
  QVERIFY(finished.wait(60000));
  QCOMPARE(Find<QLabel>(form, "lbStatus")->text(), QString("60000 records read, 0 shown"));
  QCOMPARE(GetTranslator(), mine);
}

void PreviewImportFormTest::preImpDataAnswersTrueOnlyOnClose() {
  fx_->FillSource(2);
  QStringList seen;
  kvtest::OnModal<TPreviewImportDataForm>([&](TPreviewImportDataForm& form) {
    QTRY_VERIFY_WITH_TIMEOUT(!form.Walking() && form.findChild<QTableWidget*>("sgExpData")->rowCount() == 3, 30000);
    seen = GridRows(form);
    QTest::mouseClick(Find<QPushButton>(form, "btnClose"), Qt::LeftButton);
  });
  QVERIFY(PreImpData(*fx_->link, fx_->job));
  QCOMPARE(seen, (QStringList{"ID|NAME|AMOUNT", "1|Name1|1.5", "2|Name2|3"}));
  kvtest::OnModal<TPreviewImportDataForm>([](TPreviewImportDataForm& form) { QTest::keyClick(&form, Qt::Key_Escape); });
  QVERIFY(!PreImpData(*fx_->link, fx_->job));
}

QTEST_MAIN(PreviewImportFormTest)
#include "PreviewImportFormTest.moc"
