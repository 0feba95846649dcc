// The schedule dialog over real schedule objects: each period's page
// loaded and written back, the period switch, the paired date and time
// pickers, run mode, Cancel, and the day-count conversion.
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QtTest>
#include <cmath>

#include "DialogTestSupport.h"
#include "editors/RadioGroup.h"
#include "editors/ScheduleForm.h"
#include "foundation/DateUtils.h"
#include "jobs/Schedule.h"

using namespace kv;
using kvtest::Find;

namespace {

QString PageName(TKVScheduleForm& form) {
  return Find<QStackedWidget>(form, "pgcSchedule")->currentWidget()->objectName();
}

void ClickPeriod(TKVScheduleForm& form, int index) {
  QTest::mouseClick(Find<TRadioGroup>(form, "rgpPeriodType")->Button(index), Qt::LeftButton);
}

bool Near(double a, double b) { return std::fabs(a - b) < 1.0 / 86400 / 2; }  // within half a second

// A schedule of `period` with values other than the defaults.
std::unique_ptr<TScheduleMode> Sample(TSchedulePeriod period) {
  auto mode = std::make_unique<TScheduleMode>();
  mode->SetSchedulePeriod(period);
  mode->RunMode = rmByAuto;
  TCustomSchedule* s = mode->Schedule();
  s->LastTime = EncodeDateTime(2020, 1, 2, 3, 4, 5);
  if (auto* d = ObjCast<TScheduleEveryDay>(s)) {
    d->StartDateTime = EncodeDateTime(2021, 6, 7, 8, 9, 10);
    d->EverySomeDay = 3;
  } else if (auto* w = ObjCast<TScheduleEveryWeek>(s)) {
    w->StartTime = EncodeTime(22, 15, 0);  // a time of day alone (day 0)
    w->Tuesday = w->Sunday = true;
  } else if (auto* m = ObjCast<TScheduleEveryMonth>(s)) {
    m->StartTime = EncodeDateTime(2021, 6, 7, 5, 0, 30);
    m->FNumberDay = 28;
  } else if (auto* o = ObjCast<TScheduleOnce>(s)) {
    o->StartDateTime = EncodeDateTime(2030, 12, 31, 23, 59, 59);
  }
  return mode;
}

// The schedule's stored fields as one comparable text.
QString Describe(const TScheduleMode& mode) {
  const TCustomSchedule* s = mode.Schedule();
  QString text =
      QString("period %1 mode %2 last %3").arg(mode.SchedulePeriod()).arg(mode.RunMode).arg(s->LastTime, 0, 'f', 6);
  if (auto* d = ObjCast<TScheduleEveryDay>(s))
    text += QString(" start %1 every %2").arg(d->StartDateTime, 0, 'f', 5).arg(d->EverySomeDay);
  if (auto* w = ObjCast<TScheduleEveryWeek>(s))
    text += QString(" start %1 days %2%3%4%5%6%7%8")
                .arg(w->StartTime, 0, 'f', 5)
                .arg(w->Monday)
                .arg(w->Tuesday)
                .arg(w->Wednesday)
                .arg(w->Thursday)
                .arg(w->Friday)
                .arg(w->Saturday)
                .arg(w->Sunday);
  if (auto* m = ObjCast<TScheduleEveryMonth>(s))
    text += QString(" start %1 day %2").arg(m->StartTime, 0, 'f', 5).arg(m->FNumberDay);
  if (auto* o = ObjCast<TScheduleOnce>(s)) text += QString(" start %1").arg(o->StartDateTime, 0, 'f', 5);
  return text;
}

}  // namespace

class ScheduleFormTest : public QObject {
  Q_OBJECT
private slots:
  void eachPeriodLoadsItsPageAndRoundTrips_data();
  void eachPeriodLoadsItsPageAndRoundTrips();
  void switchingFromWeekToMonthLeavesTheMonthPagesValues();
  void dateAndTimePickersEditOneValue();
  void cancelChangesNothingAndEditScheduleAnswersOk();
  void dayCountsConvertBothWays();
};

void ScheduleFormTest::eachPeriodLoadsItsPageAndRoundTrips_data() {
  QTest::addColumn<int>("period");
  QTest::addColumn<QString>("page");
  QTest::newRow("every day") << int(spEveryDay) << "tshEveryDay";
  QTest::newRow("every week") << int(spEveryWeek) << "tshEveryWeek";
  QTest::newRow("every month") << int(spEveryMonth) << "tshEveryMonth";
  QTest::newRow("once") << int(spOnce) << "tshOnlyOnce";
}

void ScheduleFormTest::eachPeriodLoadsItsPageAndRoundTrips() {
  QFETCH(int, period);
  QFETCH(QString, page);
  auto mode = Sample(static_cast<TSchedulePeriod>(period));
  const QString before = Describe(*mode);
  TKVScheduleForm form(*mode);
  form.show();
  QCOMPARE(PageName(form), page);
  QCOMPARE(Find<TRadioGroup>(form, "rgpPeriodType")->ItemIndex(), period);
  QCOMPARE(Find<TRadioGroup>(form, "rgpRunMode")->ItemIndex(), 1);
  if (period == spEveryWeek) {
    QVERIFY(Find<QCheckBox>(form, "cbxTuesday")->isChecked());
    QVERIFY(!Find<QCheckBox>(form, "cbxMonday")->isChecked());
    QCOMPARE(Find<QDateTimeEdit>(form, "dtpEWStartTime")->time(), QTime(22, 15, 0));
  }
  if (period == spEveryMonth) QCOMPARE(Find<QSpinBox>(form, "seEMNumDay")->value(), 28);
  if (period == spEveryDay) QCOMPARE(Find<QSpinBox>(form, "seEDEverySomeDay")->value(), 3);
  if (period == spOnce) QCOMPARE(Find<QDateTimeEdit>(form, "dtpOOStartDate")->date(), QDate(2030, 12, 31));
  QVERIFY(Find<QPushButton>(form, "btnOk")->isEnabled());
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(form.result(), int(QDialog::Accepted));
  QCOMPARE(Describe(*mode), before);  // nothing changed, LastTime kept
}

void ScheduleFormTest::switchingFromWeekToMonthLeavesTheMonthPagesValues() {
  auto mode = Sample(spEveryWeek);
  TKVScheduleForm form(*mode);
  form.show();
  ClickPeriod(form, spEveryMonth);
  QCOMPARE(PageName(form), QString("tshEveryMonth"));
  Find<QDateTimeEdit>(form, "dtpEMStartTime")->setTime(QTime(6, 45, 0));
  Find<QSpinBox>(form, "seEMNumDay")->setValue(17);
  QTest::mouseClick(Find<TRadioGroup>(form, "rgpRunMode")->Button(0), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  QCOMPARE(mode->SchedulePeriod(), spEveryMonth);
  QCOMPARE(mode->RunMode, rmByHand);
  auto* month = ObjCast<TScheduleEveryMonth>(mode->Schedule());
  QVERIFY(month);
  QCOMPARE(int(month->FNumberDay), 17);
  const double timeOfDay = month->StartTime - std::floor(month->StartTime);
  QVERIFY(Near(timeOfDay, EncodeTime(6, 45, 0)));
  QCOMPARE(month->LastTime, 0.0);  // a new period starts over
}

void ScheduleFormTest::dateAndTimePickersEditOneValue() {
  TScheduleMode mode;
  TKVScheduleForm form(mode);
  form.show();
  for (const auto& [date, time] :
       {std::pair{"dtpEDStartDate", "dtpEDStartTime"}, std::pair{"dtpOOStartDate", "dtpOOStartTime"}}) {
    auto* datePicker = Find<QDateTimeEdit>(form, date);
    auto* timePicker = Find<QDateTimeEdit>(form, time);
    datePicker->setDateTime(QDateTime(QDate(2024, 2, 29), QTime(1, 2, 3), Qt::UTC));
    QCOMPARE(timePicker->dateTime(), QDateTime(QDate(2024, 2, 29), QTime(1, 2, 3), Qt::UTC));
    timePicker->setTime(QTime(23, 0, 0));
    QCOMPARE(datePicker->dateTime(), QDateTime(QDate(2024, 2, 29), QTime(23, 0, 0), Qt::UTC));
  }
  ClickPeriod(form, spOnce);
  QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  auto* once = ObjCast<TScheduleOnce>(mode.Schedule());
  QVERIFY(once);
  QVERIFY(Near(once->StartDateTime, EncodeDateTime(2024, 2, 29, 23, 0, 0)));
}

void ScheduleFormTest::cancelChangesNothingAndEditScheduleAnswersOk() {
  auto mode = Sample(spEveryDay);
  const QString before = Describe(*mode);
  kvtest::OnModal<TKVScheduleForm>([](TKVScheduleForm& form) {
    ClickPeriod(form, spEveryWeek);
    Find<QCheckBox>(form, "cbxFriday")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>(form, "btnCancel"), Qt::LeftButton);
  });
  QVERIFY(!EditSchedule(*mode));
  QCOMPARE(Describe(*mode), before);
  kvtest::OnModal<TKVScheduleForm>([](TKVScheduleForm& form) {
    Find<QSpinBox>(form, "seEDEverySomeDay")->setValue(9);
    QTest::mouseClick(Find<QPushButton>(form, "btnOk"), Qt::LeftButton);
  });
  QVERIFY(EditSchedule(*mode));
  QCOMPARE(int(ObjCast<TScheduleEveryDay>(mode->Schedule())->EverySomeDay), 9);
}

void ScheduleFormTest::dayCountsConvertBothWays() {
  QCOMPARE(TKVScheduleForm::ToQDateTime(0), QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC));
  const double sample = EncodeDateTime(2003, 5, 17, 8, 30, 5);
  QCOMPARE(TKVScheduleForm::ToQDateTime(sample), QDateTime(QDate(2003, 5, 17), QTime(8, 30, 5), Qt::UTC));
  QVERIFY(Near(TKVScheduleForm::FromQDateTime(TKVScheduleForm::ToQDateTime(sample)), sample));
  QCOMPARE(TKVScheduleForm::ToQDateTime(std::nan("")), TKVScheduleForm::ToQDateTime(0));
}

QTEST_MAIN(ScheduleFormTest)
#include "ScheduleFormTest.moc"
