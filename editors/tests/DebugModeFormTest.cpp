// The debug settings dialog over a DB link's debug mode: what loading
// shows, which row counts can be edited, and what writing back keeps.
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

#include "DialogTestSupport.h"
#include "editors/DebugModeForm.h"
#include "jobs/DBLink.h"

using namespace kv;
using kvtest::Find;

namespace {

// The names of one option's widgets.
struct TOptionWidgets {
  const char* noLimit;
  const char* afterRows;
  const char* rows;
  const char* label;
};
const TOptionWidgets kStop{"rbtStopNolimit", "rbtStopAfterRows", "seStopRows", "lbStopRows"};
const TOptionWidgets kPause{"rbtPauseNolimit", "rbtPauseAfterRows", "sePauseRows", "lbPauseRows"};
const TOptionWidgets kWarning{"rbtNoWarning", "rbtWarningEverRows", "seWarningRows", "lbWarningRows"};

bool RowsEditable(const QWidget& form, const TOptionWidgets& w) {
  const bool spin = Find<QSpinBox>(form, w.rows)->isEnabled();
  const bool label = Find<QLabel>(form, w.label)->isEnabled();
  if (spin != label) qFatal("%s and %s disagree", w.rows, w.label);
  return spin;
}

// Clicks the button's indicator, as a user does.
void Click(const QWidget& form, const char* name) {
  auto* button = Find<QRadioButton>(form, name);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

}  // namespace

class DebugModeFormTest : public QObject {
  Q_OBJECT
private slots:
  void loadingChecksEachOptionAndShowsItsCount();
  void aCountCanBeEditedOnlyWhileItsAfterRowsButtonIsChecked();
  void writingBackTakesTheCountOnlyOfAfterRowsOptions();
  void aCountOfZeroOrLessIsNeverWritten();
  void cancelLeavesTheModeAlone();
  void editDebugModeAnswersTrueOnlyOnOk();
};

void DebugModeFormTest::loadingChecksEachOptionAndShowsItsCount() {
  TDebugMode mode;
  mode.StopOption = soStopAfterRows;
  mode.StopAfterRows = 250;
  mode.PauseOption = poNolimit;
  mode.PauseAfterRows = 40;
  mode.WarningOption = woWarningEverRows;
  mode.WarningAfterRows = 7;
  TKVDebugModeForm form(mode);
  form.show();
  QVERIFY(Find<QRadioButton>(form, kStop.afterRows)->isChecked());
  QVERIFY(!Find<QRadioButton>(form, kStop.noLimit)->isChecked());
  QVERIFY(Find<QRadioButton>(form, kPause.noLimit)->isChecked());
  QVERIFY(!Find<QRadioButton>(form, kPause.afterRows)->isChecked());
  QVERIFY(Find<QRadioButton>(form, kWarning.afterRows)->isChecked());
  QCOMPARE(Find<QSpinBox>(form, kStop.rows)->value(), 250);
  QCOMPARE(Find<QSpinBox>(form, kPause.rows)->value(), 40);  // shown though not in force
  QCOMPARE(Find<QSpinBox>(form, kWarning.rows)->value(), 7);
  QVERIFY(RowsEditable(form, kStop));
  QVERIFY(!RowsEditable(form, kPause));
  QVERIFY(RowsEditable(form, kWarning));
  // The groups are exclusive one by one, not across the dialog.
  Click(form, kPause.afterRows);
  QVERIFY(Find<QRadioButton>(form, kStop.afterRows)->isChecked());
  QVERIFY(Find<QRadioButton>(form, kWarning.afterRows)->isChecked());
  QVERIFY(!Find<QRadioButton>(form, kPause.noLimit)->isChecked());
}

void DebugModeFormTest::aCountCanBeEditedOnlyWhileItsAfterRowsButtonIsChecked() {
  TDebugMode mode;  // all at no limit
  TKVDebugModeForm form(mode);
  form.show();
  for (const TOptionWidgets* w : {&kStop, &kPause, &kWarning}) {
    QVERIFY(Find<QRadioButton>(form, w->noLimit)->isChecked());
    QVERIFY(!RowsEditable(form, *w));
    Click(form, w->afterRows);
    QVERIFY(RowsEditable(form, *w));
    Click(form, w->noLimit);
    QVERIFY(!RowsEditable(form, *w));
  }
  // Typing a count into an editable row.
  Click(form, kPause.afterRows);
  auto* spin = Find<QSpinBox>(form, kPause.rows);
  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "35");
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(mode.PauseOption, poPauseAfterRows);
  QCOMPARE(mode.PauseAfterRows, 35);
}

void DebugModeFormTest::writingBackTakesTheCountOnlyOfAfterRowsOptions() {
  TDebugMode mode;
  mode.StopOption = soStopAfterRows;
  mode.StopAfterRows = 100;
  mode.PauseOption = poPauseAfterRows;
  mode.PauseAfterRows = 20;
  mode.WarningOption = woNoWarning;
  mode.WarningAfterRows = 500;
  TKVDebugModeForm form(mode);
  form.show();
  // Stop: changed count, then switched off; its stored count stays.
  Find<QSpinBox>(form, kStop.rows)->setValue(9);
  Click(form, kStop.noLimit);
  // Pause stays on with a new count.
  Find<QSpinBox>(form, kPause.rows)->setValue(3);
  // Warning switched on with a new count.
  Click(form, kWarning.afterRows);
  Find<QSpinBox>(form, kWarning.rows)->setValue(1000);
  form.WriteBack();
  QCOMPARE(mode.StopOption, soNolimit);
  QCOMPARE(mode.StopAfterRows, 100);
  QCOMPARE(mode.PauseOption, poPauseAfterRows);
  QCOMPARE(mode.PauseAfterRows, 3);
  QCOMPARE(mode.WarningOption, woWarningEverRows);
  QCOMPARE(mode.WarningAfterRows, 1000);
}

void DebugModeFormTest::aCountOfZeroOrLessIsNeverWritten() {
  TDebugMode mode;
  mode.PauseOption = poPauseAfterRows;  // on, but no count stored (0: would never pause)
  TKVDebugModeForm form(mode);
  form.show();
  auto* spin = Find<QSpinBox>(form, kPause.rows);
  QCOMPARE(spin->value(), 1);
  spin->setValue(-5);
  QCOMPARE(spin->value(), 1);
  Click(form, kStop.afterRows);
  form.WriteBack();
  QCOMPARE(mode.PauseAfterRows, 1);
  QCOMPARE(mode.StopOption, soStopAfterRows);
  QCOMPARE(mode.StopAfterRows, 1);
  QCOMPARE(mode.WarningOption, woNoWarning);
  QCOMPARE(mode.WarningAfterRows, 0);  // left at no limit: untouched
}

void DebugModeFormTest::cancelLeavesTheModeAlone() {
  TDebugMode mode;
  mode.StopAfterRows = 12;
  TKVDebugModeForm form(mode);
  form.show();
  Click(form, kStop.afterRows);
  Find<QSpinBox>(form, kStop.rows)->setValue(99);
  QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Rejected));
  QCOMPARE(mode.StopOption, soNolimit);
  QCOMPARE(mode.StopAfterRows, 12);
}

void DebugModeFormTest::editDebugModeAnswersTrueOnlyOnOk() {
  TDBLink link;
  for (const char* button : {"btnCancel", "btnOk"}) {
    kvtest::OnModal<TKVDebugModeForm>([button](TKVDebugModeForm& form) {
      Click(form, kWarning.afterRows);
      Find<QSpinBox>(form, kWarning.rows)->setValue(8);
      QTest::mouseClick(Find<QPushButton>(form, button), Qt::LeftButton);
    });
    const bool ok = EditDebugMode(link.DebugMode());
    QCOMPARE(ok, QByteArray(button) == "btnOk");
    QCOMPARE(link.DebugMode().WarningOption, ok ? woWarningEverRows : woNoWarning);
  }
  QCOMPARE(link.DebugMode().WarningAfterRows, 8);
}

QTEST_MAIN(DebugModeFormTest)
#include "DebugModeFormTest.moc"
