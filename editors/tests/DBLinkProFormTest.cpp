// The DB link property dialog over a job with SQLite datasets: the name
// rules, the variables rebuilt by type, what writing back changes and what
// it leaves alone, the expression editor and the mapping editor opened from
// the dialog.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "DialogTestSupport.h"
#include "LinkFormFixture.h"
#include "editors/DBLinkProForm.h"
#include "editors/ExpForm.h"
#include "editors/MapingForm.h"
#include "editors/QtText.h"
#include "expression/ThreadExp.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::Find;

namespace {

void SetCell(QTableWidget* grid, int row, int column, const QString& text) {
  grid->setItem(row, column, new QTableWidgetItem(text));
}

void Click(const QWidget& form, const char* button) {
  QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
}

}  // namespace

class DBLinkProFormTest : public QObject {
  Q_OBJECT
private slots:
  void init();
  void cleanup();
  void loadingShowsTheLinkUnderItsCaption();
  void anotherLinksOrADataSetsNameIsRefusedItsOwnIsKept();
  void aNewNameRenamesTheLinkInTheJob();
  void okNeedsAName();
  void variablesAreTypedByTheirInitialValue_data();
  void variablesAreTypedByTheirInitialValue();
  void deleteVariantNeedsASelectedRow();
  void applyWritesTheSettingsAndKeepsTheLinksDataSets();
  void cancelLeavesTheLinkAlone();
  void aLinkWithoutAJobGetsTheDialogsJob();
  void dotsOfferTheSourceFieldsAndTheVariablesAndKeepTheTranslator();
  void anUnreadableSourceIsReportedAndTheEditorStillOpens();
  void theMappingEditorWorksOnTheCopyUntilOk();
  void editDBLinkProAnswersTrueOnlyOnOk();

private:
  std::unique_ptr<kvtest::LinkFormFixture> fx_;
};

void DBLinkProFormTest::init() {
  fx_ = std::make_unique<kvtest::LinkFormFixture>();
  TDBLink& link = *fx_->link;
  link.Description = "orders";
  link.BackErrorData = false;
  link.MaxErrors = 7;
  link.StartExp = "S.ID > 2";
  link.FilterExp = "S.AMOUNT > 0";
  link.VarList().SetVarExp("LIMIT", CreateIntExp(10));
}

void DBLinkProFormTest::cleanup() { fx_.reset(); }

void DBLinkProFormTest::loadingShowsTheLinkUnderItsCaption() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  QCOMPARE(form.windowTitle(), QString("Set DBLink: L Property"));
  QCOMPARE(Find<QLineEdit>(form, "edName")->text(), QString("L"));
  QCOMPARE(Find<QPlainTextEdit>(form, "moDescription")->toPlainText(), QString("orders"));
  QVERIFY(!Find<QCheckBox>(form, "cbxBackErrorData")->isChecked());
  QCOMPARE(Find<QSpinBox>(form, "seMaxErrors")->value(), 7);
  QCOMPARE(Find<QPlainTextEdit>(form, "moStartExp")->toPlainText(), QString("S.ID > 2"));
  QCOMPARE(Find<QPlainTextEdit>(form, "moFilterExp")->toPlainText(), QString("S.AMOUNT > 0"));
  QCOMPARE(Find<QPlainTextEdit>(form, "moStopExp")->toPlainText(), QString(""));
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  QCOMPARE(grid->rowCount(), 1);
  QCOMPARE(grid->item(0, 0)->text(), QString("LIMIT"));
  QCOMPARE(grid->item(0, 1)->text(), QString("10"));
  QCOMPARE(form.WorkingCopy().Job, &fx_->job);
  QVERIFY(&form.WorkingCopy() != fx_->link);
}

void DBLinkProFormTest::anotherLinksOrADataSetsNameIsRefusedItsOwnIsKept() {
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  auto* name = Find<QLineEdit>(form, "edName");
  for (const char* taken : {"S", "d", "l2"}) {  // names compare without regard to case
    name->setText(taken);
    Find<QPlainTextEdit>(form, "moDescription")->setPlainText("changed");
    Click(form, "btnOk");
    QVERIFY(form.isVisible());
  }
  QCOMPARE(ui.messages, (std::vector<std::string>{"A dblink S already exist", "A dblink d already exist",
                                                  "A dblink l2 already exist"}));
  QCOMPARE(ui.types[0], mtError);
  QCOMPARE(QStr(fx_->link->Name), QString("L"));
  QCOMPARE(QStr(fx_->link->Description), QString("orders"));  // nothing written
  name->setText(" L ");
  Click(form, "btnOk");
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(ui.messages.size(), size_t{3});
  QCOMPARE(QStr(fx_->link->Name), QString("L"));
  QCOMPARE(QStr(fx_->link->Description), QString("changed"));
}

void DBLinkProFormTest::aNewNameRenamesTheLinkInTheJob() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  Find<QLineEdit>(form, "edName")->setText("Orders");
  Click(form, "acApply");
  QVERIFY(form.isVisible());
  QCOMPARE(QStr(fx_->link->Name), QString("Orders"));
  QCOMPARE(form.windowTitle(), QString("Set DBLink: Orders Property"));
  QCOMPARE(fx_->job.DBLinks->IndexOf("Orders"), fx_->job.DBLinks->IndexOfObject(fx_->link));
  QCOMPARE(fx_->job.DBLinks->IndexOf("L"), -1);
}

void DBLinkProFormTest::okNeedsAName() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  auto* ok = Find<QPushButton>(form, "btnOk");
  QVERIFY(ok->isEnabled());
  auto* name = Find<QLineEdit>(form, "edName");
  name->selectAll();
  QTest::keyClick(name, Qt::Key_Delete);
  QVERIFY(!ok->isEnabled());
  QTest::keyClicks(name, "  ");
  QVERIFY(!ok->isEnabled());
  QVERIFY(!form.Apply());
  QTest::keyClick(name, Qt::Key_Return);  // the default button is off: the dialog stays
  QVERIFY(form.isVisible());
  QCOMPARE(QStr(fx_->link->Name), QString("L"));
  QTest::keyClicks(name, "M");
  QVERIFY(ok->isEnabled());
}

void DBLinkProFormTest::variablesAreTypedByTheirInitialValue_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<int>("type");
  QTest::addColumn<QString>("text");
  QTest::newRow("integer") << "12" << int(etInteger) << "12";
  QTest::newRow("negative integer") << "-3" << int(etInteger) << "-3";
  QTest::newRow("real") << "1.5" << int(etReal) << "1.5";
  QTest::newRow("string") << "abc" << int(etString) << "abc";
  QTest::newRow("empty") << "" << int(etString) << "";
  QTest::newRow("number then text") << "12abc" << int(etString) << "12abc";
}

void DBLinkProFormTest::variablesAreTypedByTheirInitialValue() {
  QFETCH(QString, value);
  QFETCH(int, type);
  QFETCH(QString, text);
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  Find<QAction>(form, "acInsertRow")->trigger();
  QCOMPARE(grid->rowCount(), 2);
  SetCell(grid, 1, 0, "V");
  SetCell(grid, 1, 1, value);
  Click(form, "btnOk");
  QCOMPARE(form.result(), int(QDialog::Accepted));
  TVarList& vars = fx_->link->VarList();
  QCOMPARE(vars.Count(), 2);
  TExpression* v = vars.GetVarExp("V");
  QVERIFY(v);
  QCOMPARE(int(v->DataType), type);
  QCOMPARE(QStr(v->GetString()), text);
  QCOMPARE(vars.GetVarExp("LIMIT")->GetInteger(), int64_t{10});
}

void DBLinkProFormTest::deleteVariantNeedsASelectedRow() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  auto* del = Find<QAction>(form, "acDelVariant");
  grid->clearSelection();
  grid->setCurrentItem(nullptr);
  QVERIFY(!del->isEnabled());
  del->trigger();  // nothing selected: nothing goes
  QCOMPARE(grid->rowCount(), 1);
  const QRect cell = grid->visualItemRect(grid->item(0, 0));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  QVERIFY(del->isEnabled());
  del->trigger();
  QCOMPARE(grid->rowCount(), 0);
  QVERIFY(!del->isEnabled());
  QVERIFY(form.Apply());
  QCOMPARE(fx_->link->VarList().Count(), 0);
}

void DBLinkProFormTest::applyWritesTheSettingsAndKeepsTheLinksDataSets() {
  fx_->link->AddLog(ltInfo, "kept");
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  Find<QCheckBox>(form, "cbxBackErrorData")->setChecked(true);
  Find<QSpinBox>(form, "seMaxErrors")->setValue(0);
  Find<QPlainTextEdit>(form, "moErrorExp")->setPlainText("1");
  Find<QPlainTextEdit>(form, "moPauseExp")->setPlainText("S.ID = 4");
  Find<QPlainTextEdit>(form, "moStopExp")->setPlainText("S.ID = 9");
  Find<QPlainTextEdit>(form, "moStartExp")->setPlainText("");
  Click(form, "acApply");
  TDBLink& link = *fx_->link;
  QVERIFY(link.BackErrorData);
  QCOMPARE(link.MaxErrors, 0);
  QCOMPARE(QStr(link.ErrorExp), QString("1"));
  QCOMPARE(QStr(link.PauseExp), QString("S.ID = 4"));
  QCOMPARE(QStr(link.StopExp), QString("S.ID = 9"));
  QCOMPARE(QStr(link.StartExp), QString(""));
  QCOMPARE(QStr(link.FilterExp), QString("S.AMOUNT > 0"));
  // The link still uses the job's datasets, and keeps its mapping and logs.
  QCOMPARE(link.SourceDataSet(), fx_->source);
  QCOMPARE(link.DestDataSet(), fx_->dest);
  QCOMPARE(link.Mappings().Count(), 3);
  QCOMPARE(QStr(link.Mappings().Strings(1)), QString("NAME=S.NAME"));
  QCOMPARE(link.Logs().Count(), 1);
}

void DBLinkProFormTest::cancelLeavesTheLinkAlone() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  Find<QLineEdit>(form, "edName")->setText("Other");
  Find<QPlainTextEdit>(form, "moFilterExp")->setPlainText("0");
  Find<QAction>(form, "acInsertRow")->trigger();
  SetCell(Find<QTableWidget>(form, "vleVarList"), 1, 0, "DROPPED");
  Click(form, "btnCancel");
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(QStr(fx_->link->Name), QString("L"));
  QCOMPARE(QStr(fx_->link->FilterExp), QString("S.AMOUNT > 0"));
  QCOMPARE(fx_->link->VarList().Count(), 1);
}

void DBLinkProFormTest::aLinkWithoutAJobGetsTheDialogsJob() {
  fx_->link->Job = nullptr;
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  QCOMPARE(form.WorkingCopy().Job, &fx_->job);
  form.show();
  QVERIFY(form.Apply());
  QCOMPARE(fx_->link->Job, &fx_->job);
}

void DBLinkProFormTest::dotsOfferTheSourceFieldsAndTheVariablesAndKeepTheTranslator() {
  fx_->FillSource(2);
  CreatePubVarList();  // the GUI thread's own translator
  TExpTranslator* before = GetTranslator();
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  auto* grid = Find<QTableWidget>(form, "vleVarList");
  Find<QAction>(form, "acInsertRow")->trigger();
  SetCell(grid, 1, 0, "STEP");
  SetCell(grid, 1, 1, "2");
  QStringList offered;
  QString shown;
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    offered = kvtest::ListItems(*Find<QListWidget>(editor, "lbxVariants"));
    shown = QStr(editor.GetExpStr());
    editor.SetExpStr("S.ID > LIMIT + STEP + RATE");
    QTest::mouseClick(Find<QPushButton>(editor, "btnOk"), Qt::LeftButton);
  });
  Click(form, "btnStartExp");
  QCOMPARE(shown, QString("S.ID > 2"));
  for (const char* name : {"S", "S.ID", "S.NAME", "S.AMOUNT", "LIMIT", "STEP", "RATE"}) {
    QVERIFY2(offered.contains(name), name);
  }
  QCOMPARE(Find<QPlainTextEdit>(form, "moStartExp")->toPlainText(), QString("S.ID > LIMIT + STEP + RATE"));
  QCOMPARE(QStr(fx_->link->StartExp), QString("S.ID > 2"));  // not written back yet
  QCOMPARE(GetTranslator(), before);
  // Cancel in the editor keeps the memo.
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    editor.SetExpStr("ignored");
    QTest::mouseClick(Find<QPushButton>(editor, "btnCancel"), Qt::LeftButton);
  });
  Click(form, "btnErrorExp");
  QCOMPARE(Find<QPlainTextEdit>(form, "moErrorExp")->toPlainText(), QString(""));
  QVERIFY(form.Apply());
  QCOMPARE(QStr(fx_->link->StartExp), QString("S.ID > LIMIT + STEP + RATE"));
}

void DBLinkProFormTest::anUnreadableSourceIsReportedAndTheEditorStillOpens() {
  fx_->source->TableName = "missing";
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  QStringList offered;
  kvtest::OnModal<TExpForm>([&](TExpForm& editor) {
    offered = kvtest::ListItems(*Find<QListWidget>(editor, "lbxVariants"));
    editor.SetExpStr("LIMIT > 1");
    QTest::mouseClick(Find<QPushButton>(editor, "btnOk"), Qt::LeftButton);
  });
  Click(form, "btnStopExp");
  QCOMPARE(ui.messages.size(), size_t{1});
  QVERIFY(QStr(ui.messages[0]).startsWith("The fields of S cannot be read: "));
  QCOMPARE(ui.types[0], mtError);
  QVERIFY(offered.contains("LIMIT"));
  QVERIFY(offered.contains("RATE"));
  QCOMPARE(Find<QPlainTextEdit>(form, "moStopExp")->toPlainText(), QString("LIMIT > 1"));
}

void DBLinkProFormTest::theMappingEditorWorksOnTheCopyUntilOk() {
  TKVDBLinkProForm form(*fx_->link, fx_->job);
  form.show();
  int destRows = 0;
  kvtest::OnModal<TKVMapingForm>([&](TKVMapingForm& mapping) {
    destRows = mapping.DestRowCount();
    mapping.SetExpression(2, "S.AMOUNT * 2");
    QTest::mouseClick(Find<QPushButton>(mapping, "btnOk"), Qt::LeftButton);
  });
  Click(form, "acMapping");
  QCOMPARE(destRows, 3);
  QCOMPARE(QStr(form.WorkingCopy().Mappings().Values("AMOUNT")), QString("S.AMOUNT * 2"));
  QCOMPARE(QStr(fx_->link->Mappings().Values("AMOUNT")), QString("S.AMOUNT"));
  Click(form, "btnOk");
  QCOMPARE(QStr(fx_->link->Mappings().Values("AMOUNT")), QString("S.AMOUNT * 2"));
  QCOMPARE(QStr(fx_->link->Mappings().Values("ID")), QString("S.ID"));
  QCOMPARE(fx_->link->DestDataSet(), fx_->dest);
}

void DBLinkProFormTest::editDBLinkProAnswersTrueOnlyOnOk() {
  for (const char* button : {"btnOk", "btnCancel"}) {
    kvtest::OnModal<TKVDBLinkProForm>([button](TKVDBLinkProForm& form) {
      Find<QPlainTextEdit>(form, "moDescription")->setPlainText(button);
      QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
    });
    const bool ok = EditDBLinkPro(*fx_->link, fx_->job);
    QCOMPARE(ok, QByteArray(button) == "btnOk");
  }
  QCOMPARE(QStr(fx_->link->Description), QString("btnOk"));
}

QTEST_MAIN(DBLinkProFormTest)
#include "DBLinkProFormTest.moc"
