// The job property dialog over jobs of the job group: the name rules, the
// variables rebuilt by type, Apply, Cancel, and the expression editor
// opened from the "..." buttons.
#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "DialogTestSupport.h"
#include "editors/ExpForm.h"
#include "editors/JobProForm.h"
#include "editors/QtText.h"
#include "expression/VarList.h"
#include "jobs/Job.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::Find;

namespace {

TJob& AddJob(const std::string& name) {
  auto job = std::make_unique<TJob>();
  job->Name = name;
  TJob* raw = job.get();
  JobGroup->AddOwned(name, std::move(job));
  return *raw;
}

void SetCell(QTableWidget* grid, int row, int column, const QString& text) {
  grid->setItem(row, column, new QTableWidgetItem(text));
}

}  // namespace

class JobProFormTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void anotherJobsNameIsRefusedItsOwnIsKept();
  void okNeedsAName();
  void variablesAreRebuiltByTheFirstConversionThatSucceeds_data();
  void variablesAreRebuiltByTheFirstConversionThatSucceeds();
  void applyWritesBackAndCancelLeavesTheJobAlone();
  void dotsOpenTheExpressionEditorOnTheMemoWithTheGridsVariables();
  void editJobProAnswersTrueOnlyOnOk();

private:
  TJob* alpha_ = nullptr;
  TJob* beta_ = nullptr;
};

void JobProFormTest::init() {
  JobGroup = std::make_unique<TJobGroup>();
  alpha_ = &AddJob("Alpha");
  beta_ = &AddJob("Beta");
  beta_->Description = "the second";
  beta_->BeforeExecuteExp = "1";
  beta_->VarList->SetVarExp("COUNT", CreateIntExp(5));
}

void JobProFormTest::cleanup() { JobGroup.reset(); }

void JobProFormTest::anotherJobsNameIsRefusedItsOwnIsKept() {
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TKVJobProForm form(*beta_);
  QCOMPARE(form.windowTitle(), QString("Beta: Job Property"));
  form.show();
  auto* name = Find<QLineEdit>(form, "edName");
  name->setText("alpha");  // names compare without regard to case
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(ui.messages, (std::vector<std::string>{"A job alpha already exist"}));
  QCOMPARE(ui.types[0], mtError);
  QVERIFY(form.isVisible());
  QCOMPARE(QStr(beta_->Name), QString("Beta"));
  name->setText("Beta");
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(ui.messages.size(), size_t{1});
  // A new name is taken, and the group finds the job under it.
  TKVJobProForm again(*beta_);
  again.show();
  Find<QLineEdit>(again, "edName")->setText("  Gamma ");
  QTest::mouseClick(Find<QPushButton>(again, "btnOk"), Qt::LeftButton);
  QCOMPARE(QStr(beta_->Name), QString("Gamma"));
  QCOMPARE(JobGroup->IndexOf("Gamma"), JobGroup->IndexOfObject(beta_));
  QCOMPARE(QStr(alpha_->Name), QString("Alpha"));
}

void JobProFormTest::okNeedsAName() {
  TKVJobProForm form(*alpha_);
  form.show();
  auto* ok = Find<QPushButton>(form, "btnOk");
  QVERIFY(ok->isEnabled());
  Find<QLineEdit>(form, "edName")->setText("   ");
  QVERIFY(!ok->isEnabled());
  QVERIFY(!form.Apply());
  QCOMPARE(QStr(alpha_->Name), QString("Alpha"));
  Find<QLineEdit>(form, "edName")->setText("A");
  QVERIFY(ok->isEnabled());
}

void JobProFormTest::variablesAreRebuiltByTheFirstConversionThatSucceeds_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("type");
  QTest::addColumn<QString>("text");
  QTest::newRow("integer") << "12" << int(etInteger) << "12";
  QTest::newRow("negative integer") << "-7" << int(etInteger) << "-7";
  QTest::newRow("hexadecimal integer") << "$1F" << int(etInteger) << "31";
  QTest::newRow("real") << "1.5" << int(etReal) << "1.5";
  QTest::newRow("real with exponent") << "2e3" << int(etReal) << "2000";
  QTest::newRow("string") << "abc" << int(etString) << "abc";
  QTest::newRow("one character") << "x" << int(etString) << "x";
  QTest::newRow("empty") << "" << int(etString) << "";
  QTest::newRow("overflowing real") << "1e999" << int(etString) << "1e999";
  QTest::newRow("not a number") << "nan" << int(etString) << "nan";
  QTest::newRow("number and text") << "12abc" << int(etString) << "12abc";
}

void JobProFormTest::variablesAreRebuiltByTheFirstConversionThatSucceeds() {
  QFETCH(QString, value);
  QFETCH(int, type);
  QFETCH(QString, text);
  TKVJobProForm form(*beta_);
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  QCOMPARE(grid->rowCount(), 1);  // COUNT
  QCOMPARE(grid->item(0, 1)->text(), QString("5"));
  Find<QAction>(form, "acInsertRow")->trigger();
  SetCell(grid, 1, 0, "V");
  SetCell(grid, 1, 1, value);
  QVERIFY(form.Apply());
  QCOMPARE(beta_->VarList->Count(), 2);
  TExpression* v = beta_->VarList->GetVarExp("V");
  QVERIFY(v);
  QCOMPARE(int(v->DataType), type);
  QCOMPARE(QStr(v->GetString()), text);
  QCOMPARE(beta_->VarList->GetVarExp("COUNT")->GetInteger(), int64_t{5});
}

void JobProFormTest::applyWritesBackAndCancelLeavesTheJobAlone() {
  TKVJobProForm form(*beta_);
  form.show();
  Find<QPlainTextEdit>(form, "moDescription")->setPlainText("changed");
  Find<QPlainTextEdit>(form, "moAfterExecuteExp")->setPlainText("2+2");
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  grid->setCurrentCell(0, 0);
  Find<QAction>(form, "acDelRow")->trigger();
  QCOMPARE(grid->rowCount(), 0);
  QTest::mouseClick(Find<QPushButton>(form, "acApply"), Qt::LeftButton);
  QVERIFY(form.isVisible());
  QCOMPARE(QStr(beta_->Description), QString("changed"));
  QCOMPARE(QStr(beta_->AfterExecuteExp), QString("2+2"));
  QCOMPARE(beta_->VarList->Count(), 0);
  // Changes after the Apply are dropped by Cancel.
  Find<QPlainTextEdit>(form, "moDescription")->setPlainText("dropped");
  Find<QLineEdit>(form, "edName")->setText("Other");
  QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(QStr(beta_->Description), QString("changed"));
  QCOMPARE(QStr(beta_->Name), QString("Beta"));
}

void JobProFormTest::dotsOpenTheExpressionEditorOnTheMemoWithTheGridsVariables() {
  TKVJobProForm form(*beta_);
  form.show();
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  Find<QAction>(form, "acInsertRow")->trigger();
  SetCell(grid, 1, 0, "LIMIT");
  SetCell(grid, 1, 1, "9");
  QStringList offered;
  QString shownText;
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    offered = kvtest::ListItems(*Find<QListWidget>(editor, "lbxVariants"));
    shownText = QStr(editor.GetExpStr());
    editor.SetExpStr("COUNT + LIMIT");
    QTest::mouseClick(Find<QPushButton>(editor, "btnOk"), Qt::LeftButton);
  });
  QTest::mouseClick(Find<QPushButton>(form, "btnBeforeExecuteExp"), Qt::LeftButton);
  QCOMPARE(shownText, QString("1"));
  QCOMPARE(offered, (QStringList{"COUNT", "LIMIT"}));
  QCOMPARE(Find<QPlainTextEdit>(form, "moBeforeExecuteExp")->toPlainText(), QString("COUNT + LIMIT"));
  QCOMPARE(QStr(beta_->BeforeExecuteExp), QString("1"));  // not written back yet
  // Cancel in the editor keeps the memo.
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    editor.SetExpStr("ignored");
    QTest::mouseClick(Find<QPushButton>(editor, "btnCancel"), Qt::LeftButton);
  });
  QTest::mouseClick(Find<QPushButton>(form, "btnAfterExecuteExp"), Qt::LeftButton);
  QCOMPARE(Find<QPlainTextEdit>(form, "moAfterExecuteExp")->toPlainText(), QString(""));
}

void JobProFormTest::editJobProAnswersTrueOnlyOnOk() {
  for (const char* button : {"btnOk", "btnCancel"}) {
    kvtest::OnModal<TKVJobProForm>([button](TKVJobProForm& form) {
      Find<QPlainTextEdit>(form, "moDescription")->setPlainText(button);
      QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
    });
    const bool ok = EditJobPro(*alpha_);
    QCOMPARE(ok, QByteArray(button) == "btnOk");
  }
  QCOMPARE(QStr(alpha_->Description), QString("btnOk"));
}

QTEST_MAIN(JobProFormTest)
#include "JobProFormTest.moc"
