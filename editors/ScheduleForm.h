// The schedule dialog "TKVScheduleForm" and its entry EditSchedule.
//
// rgpPeriodType ("Select Run period": every day, every week, every month,
// only once = spEveryDay .. spOnce) chooses the page shown in pgcSchedule:
//   tshEveryDay    dtpEDStartDate + dtpEDStartTime (one date-time), seEDEverySomeDay
//   tshEveryWeek   dtpEWStartTime, cbxMonday .. cbxSunday
//   tshEveryMonth  dtpEMStartTime, seEMNumDay (day of the month)
//   tshOnlyOnce    dtpOOStartDate + dtpOOStartTime (one date-time)
// rgpRunMode ("Run Mode") is by hand or automatic. On the every-day and
// only-once pages the date and the time picker edit one value: changing
// either sets the other to the same date-time.
//
// Loading copies the schedule: the page of its period is filled from its
// schedule object, the other pages from a new schedule of their period.
// Writing back sets the copy's period (a new period replaces the schedule
// object), then its run mode, then the fields of that period's page, and
// assigns the copy to the edited schedule. Date-times are days since
// 30 December 1899, shown without time zone conversion.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <memory>

#include "KVEditorLib_export.h"

class QCheckBox;
class QDateTimeEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;

namespace kv {

class TRadioGroup;
class TScheduleMode;

class KVEDITORLIB_EXPORT TKVScheduleForm : public QDialog {
  Q_OBJECT
public:
  // `schedule` (not owned) must outlive the dialog; the widgets show a copy at once.
  explicit TKVScheduleForm(TScheduleMode& schedule, QWidget* parent = nullptr);
  ~TKVScheduleForm() override;

  // Writes the widgets into the copy and assigns it to the edited schedule.
  void WriteBack();
  void accept() override;  // WriteBack, then close

  // Days since 30 December 1899 <-> a date-time without time zone.
  static QDateTime ToQDateTime(double value);
  static double FromQDateTime(const QDateTime& value);

private:
  void BuildForm();
  QWidget* BuildEveryDay();
  QWidget* BuildEveryWeek();
  QWidget* BuildEveryMonth();
  QWidget* BuildOnlyOnce();
  QDateTimeEdit* NewPicker(QWidget* page, const char* name, bool date);
  void PairPickers(QDateTimeEdit* date, QDateTimeEdit* time);
  void LoadSchedule();
  void FillPage(int period, const class TCustomSchedule& schedule);
  void StorePage(class TCustomSchedule& schedule) const;
  void ShowPeriod(int period);

  TScheduleMode& schedule_;
  std::unique_ptr<TScheduleMode> copy_;
  TRadioGroup* rgpPeriodType_ = nullptr;
  TRadioGroup* rgpRunMode_ = nullptr;
  QStackedWidget* pages_ = nullptr;
  QDateTimeEdit* dtpEDStartDate_ = nullptr;
  QDateTimeEdit* dtpEDStartTime_ = nullptr;
  QSpinBox* seEDEverySomeDay_ = nullptr;
  QDateTimeEdit* dtpEWStartTime_ = nullptr;
  QCheckBox* weekDays_[7] = {};
  QDateTimeEdit* dtpEMStartTime_ = nullptr;
  QSpinBox* seEMNumDay_ = nullptr;
  QDateTimeEdit* dtpOOStartDate_ = nullptr;
  QDateTimeEdit* dtpOOStartTime_ = nullptr;
  QPushButton* btnOk_ = nullptr;
};

// Edits `schedule` modally; true only when closed with OK (Cancel changes nothing).
KVEDITORLIB_EXPORT bool EditSchedule(TScheduleMode& schedule, QWidget* parent = nullptr);

}  // namespace kv
