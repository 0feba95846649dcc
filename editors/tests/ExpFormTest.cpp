// The expression editor over real widgets: OK only for a text, validation
// through the user-interface hook, the function templates and categories,
// insertion at the cursor, the variables of a whole chain, and Execute.
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "DialogTestSupport.h"
#include "editors/ExpForm.h"
#include "editors/FunctionTemplates.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "expression/FunctionList.h"
#include "expression/Translator.h"
#include "expression/VarList.h"
#include "testsupport/RecordingUI.h"

using namespace kv;
using kvtest::Find;

namespace {

void DoubleClick(QListWidget* list, int row) {
  QListWidgetItem* item = list->item(row);
  list->setCurrentItem(item);
  emit list->itemDoubleClicked(item);
}

QPushButton* OperatorButton(QWidget& form, const QString& caption) {
  for (QPushButton* b : form.findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  qFatal("no operator button");
}

}  // namespace

class ExpFormTest : public QObject {
  Q_OBJECT
private slots:
  void okOnlyForANonBlankText();
  void validateReportsThroughTheHook_data();
  void validateReportsThroughTheHook();
  void everyTemplateNamesARegisteredFunction();
  void categoriesFillTheTemplatesAndDoubleClicksInsertAtTheCursor();
  void variablesOfTheWholeChainAreOfferedOnce();
  void executeReturnsTrueOnlyOnOk();
};

void ExpFormTest::okOnlyForANonBlankText() {
  TExpForm form;
  form.show();
  auto* ok = Find<QPushButton>(form, "btnOk");
  auto* memo = Find<QPlainTextEdit>(form, "moExp");
  QVERIFY(!ok->isEnabled());
  QTest::keyClicks(memo, "  ");
  QVERIFY(!ok->isEnabled());
  QTest::keyClicks(memo, "1+2");
  QVERIFY(ok->isEnabled());
  memo->clear();
  QVERIFY(!ok->isEnabled());
  QTest::mouseClick(ok, Qt::LeftButton);
  QVERIFY(form.isVisible());  // a disabled OK does not close
}

void ExpFormTest::validateReportsThroughTheHook_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("valid");
  QTest::addColumn<QString>("detail");  // expected inside the error message
  QTest::newRow("sum") << "1+2" << true << "";
  QTest::newRow("chained variable") << "TOTAL * 2 + RATE" << true << "";
  QTest::newRow("unbalanced bracket") << "(1+2" << false << QStr(TransResultMessage(trBrktNotMatch));
  QTest::newRow("unknown variable") << "NOPE + 1" << false << QStr(TransResultMessage(trNoVarName));
  QTest::newRow("unknown function") << "NoSuchFun(1)" << false << QStr(TransResultMessage(trNoFuncName));
}

void ExpFormTest::validateReportsThroughTheHook() {
  QFETCH(QString, text);
  QFETCH(bool, valid);
  QFETCH(QString, detail);
  TVarList parent;
  parent.SetVarExp("RATE", CreateRealExp(1.5));
  TVarList vars;
  vars.SetVarListParent(&parent);
  vars.SetParentEnabled(true);
  vars.SetVarExp("TOTAL", CreateIntExp(10));
  kvtest::TRecordingUI ui;
  kvtest::UIScope scope(&ui);
  TExpForm form;
  form.SetVarList(&vars);
  form.SetExpStr(StdStr(text));
  QTest::mouseClick(Find<QPushButton>(form, "btnValidate"), Qt::LeftButton);
  QCOMPARE(ui.messages.size(), size_t{1});
  const QString shown = QStr(ui.messages[0]);
  if (valid) {
    QCOMPARE(shown, QString("Validate ok!"));
    QCOMPARE(ui.types[0], mtInformation);
    return;
  }
  QCOMPARE(ui.types[0], mtError);
  QVERIFY2(shown.startsWith("Find error while checking expression. Error:"), qPrintable(shown));
  QVERIFY2(shown.endsWith(" "), qPrintable(shown));
  QVERIFY2(shown.contains(detail), qPrintable(shown));
}

void ExpFormTest::everyTemplateNamesARegisteredFunction() {
  QSet<QString> registered;
  for (int b = 0; b < kFunctionBatchCount; ++b)
    for (const TFunctionDef& def : FunctionBatch(static_cast<TFunctionBatch>(b)))
      registered << QString(def.Name).toUpper();
  const auto& categories = FunctionCategories();
  QCOMPARE(categories.size(), size_t{6});
  const std::vector<size_t> counts = {53, 28, 11, 132, 8, 11};
  for (size_t c = 0; c < categories.size(); ++c) {
    QCOMPARE(categories[c].Templates.size(), counts[c]);
    for (const char* text : categories[c].Templates) {
      const QString name = QStr(text).section('(', 0, 0).trimmed();
      QVERIFY2(registered.contains(name.toUpper()), text);
    }
  }
}

void ExpFormTest::categoriesFillTheTemplatesAndDoubleClicksInsertAtTheCursor() {
  TExpForm form;
  form.show();
  auto* types = Find<QListWidget>(form, "lbxFunType");
  auto* functions = Find<QListWidget>(form, "lbxFunction");
  auto* memo = Find<QPlainTextEdit>(form, "moExp");
  QCOMPARE(kvtest::ListItems(*types), (QStringList{"Number function", "Character function", "Conversion function",
                                                   "Date function", "Miscellaneous function", "Database function"}));
  QCOMPARE(form.FunType(), -1);
  QCOMPARE(functions->count(), 0);
  types->setCurrentRow(0);
  QCOMPARE(functions->count(), 53);
  QVERIFY(kvtest::ListItems(*functions)
              .contains(QString::fromUtf8("Div (Dividend\xEF\xBC\x8C"
                                          "Divisor)")));
  types->setCurrentRow(3);
  QCOMPARE(form.FunType(), 3);
  QCOMPARE(functions->item(0)->text(), QString("CompareDate(A,B)"));
  QCOMPARE(functions->item(131)->text(), QString("Yesterday()"));
  // Choosing the category shown keeps the list as it is (and its selection).
  functions->setCurrentRow(5);
  form.SetFunType(3);
  QCOMPARE(functions->currentRow(), 5);
  // Insertion at the cursor: templates and operators.
  memo->setPlainText("AB");
  QTextCursor cursor = memo->textCursor();
  cursor.setPosition(1);
  memo->setTextCursor(cursor);
  QTest::mouseClick(OperatorButton(form, "<>"), Qt::LeftButton);
  QCOMPARE(memo->toPlainText(), QString("A<>B"));
  types->setCurrentRow(5);
  DoubleClick(functions, 0);
  QCOMPARE(memo->toPlainText(), QString("A<>RecordNum(Dataset)B"));
  QCOMPARE(TExpForm::OperatorCaptions().size(), 14);
}

void ExpFormTest::variablesOfTheWholeChainAreOfferedOnce() {
  TVarList top, middle, bottom;
  bottom.SetVarExp("c", CreateIntExp(3));
  bottom.SetVarExp("A", CreateIntExp(4));  // shadowed by the top list's A
  middle.SetVarExp("B", CreateStrExp("x"));
  middle.SetVarListParent(&bottom);
  top.SetVarExp("A", CreateIntExp(1));
  top.SetVarListParent(&middle);
  TExpForm form;
  form.SetVarList(&top);
  form.show();
  auto* variants = Find<QListWidget>(form, "lbxVariants");
  QCOMPARE(kvtest::ListItems(*variants), (QStringList{"A", "B", "C"}));
  Find<QPlainTextEdit>(form, "moExp")->setPlainText("1+");
  Find<QPlainTextEdit>(form, "moExp")->moveCursor(QTextCursor::End);
  DoubleClick(variants, 1);
  QCOMPARE(QStr(form.GetExpStr()), QString("1+B"));
  // Without variables the list is empty.
  TExpForm bare;
  bare.show();
  QCOMPARE(Find<QListWidget>(bare, "lbxVariants")->count(), 0);
}

void ExpFormTest::executeReturnsTrueOnlyOnOk() {
  for (const char* button : {"btnOk", "btnCancel"}) {
    TExpForm form;
    form.SetExpStr("1");
    QTimer::singleShot(0, [button] {
      QWidget* modal = QApplication::activeModalWidget();
      QVERIFY(modal);
      Find<QPlainTextEdit>(*modal, "moExp")->setPlainText("2 * 3");
      QTest::mouseClick(Find<QPushButton>(*modal, button), Qt::LeftButton);
    });
    const bool ok = form.Execute();
    QCOMPARE(ok, QByteArray(button) == "btnOk");
    QCOMPARE(QStr(form.GetExpStr()), QString("2 * 3"));
  }
}

QTEST_MAIN(ExpFormTest)
#include "ExpFormTest.moc"
