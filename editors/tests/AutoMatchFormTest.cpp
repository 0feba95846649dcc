// The auto-match options dialog: the boxes show the set given, OK answers
// the boxes checked, Cancel leaves the set alone.
#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

#include "DialogTestSupport.h"
#include "editors/AutoMatchForm.h"

using namespace kv;
using kvtest::Find;

namespace {

constexpr TMatchModes Bit(TMatchMode mode) { return static_cast<TMatchModes>(1u << mode); }

const char* const kBoxes[3] = {"cbPartialToOutput", "cbPartialToInput", "cbCaseInsensitive"};

}  // namespace

class AutoMatchFormTest : public QObject {
  Q_OBJECT
private slots:
  void boxesShowTheMembersOfTheSet_data();
  void boxesShowTheMembersOfTheSet();
  void okAnswersTheCheckedBoxes();
  void cancelLeavesTheSetAlone();
};

void AutoMatchFormTest::boxesShowTheMembersOfTheSet_data() {
  QTest::addColumn<int>("flags");
  QTest::newRow("empty") << 0;
  QTest::newRow("partial to output") << int(Bit(mmPartialToOutput));
  QTest::newRow("partial to input") << int(Bit(mmPartialToInput));
  QTest::newRow("case insensitive") << int(Bit(mmCaseInsensitive));
  QTest::newRow("all three") << int(Bit(mmPartialToOutput) | Bit(mmPartialToInput) | Bit(mmCaseInsensitive));
  QTest::newRow("bits beyond the three are ignored") << 0xF8;
}

void AutoMatchFormTest::boxesShowTheMembersOfTheSet() {
  QFETCH(int, flags);
  TAutoMatchForm form(static_cast<TMatchModes>(flags));
  for (int mode = 0; mode < 3; ++mode)
    QCOMPARE(Find<QCheckBox>(form, kBoxes[mode])->isChecked(), (flags & (1 << mode)) != 0);
  QCOMPARE(int(form.Flags()), flags & 7);
}

void AutoMatchFormTest::okAnswersTheCheckedBoxes() {
  TMatchModes flags = Bit(mmCaseInsensitive);
  kvtest::OnModal<TAutoMatchForm>([](TAutoMatchForm& form) {
    QTest::mouseClick(Find<QCheckBox>(form, "cbPartialToOutput"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>(form, "cbCaseInsensitive"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  });
  QVERIFY(OpenAutoMatch(flags));
  QCOMPARE(int(flags), int(Bit(mmPartialToOutput)));
  kvtest::OnModal<TAutoMatchForm>([](TAutoMatchForm& form) {
    QTest::mouseClick(Find<QCheckBox>(form, "cbPartialToOutput"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  });
  QVERIFY(OpenAutoMatch(flags));
  QCOMPARE(int(flags), 0);  // nothing chosen is an answer too
}

void AutoMatchFormTest::cancelLeavesTheSetAlone() {
  TMatchModes flags = Bit(mmPartialToInput);
  kvtest::OnModal<TAutoMatchForm>([](TAutoMatchForm& form) {
    QTest::mouseClick(Find<QCheckBox>(form, "cbPartialToInput"), Qt::LeftButton);
    QTest::mouseClick(Find<QCheckBox>(form, "cbCaseInsensitive"), Qt::LeftButton);
    QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  });
  QVERIFY(!OpenAutoMatch(flags));
  QCOMPARE(int(flags), int(Bit(mmPartialToInput)));
}

QTEST_MAIN(AutoMatchFormTest)
#include "AutoMatchFormTest.moc"
