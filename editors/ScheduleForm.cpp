#include "editors/ScheduleForm.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cmath>

#include "editors/FormHelpers.h"
#include "editors/QtTranslation.h"
#include "editors/RadioGroup.h"
#include "jobs/Schedule.h"

namespace kv {

namespace {

constexpr qint64 kMsPerDay = 86400000;
const char* const kWeekDayNames[7] = {"cbxMonday", "cbxTuesday",  "cbxWednesday", "cbxThursday",
                                      "cbxFriday", "cbxSaturday", "cbxSunday"};
const char* const kWeekDayCaptions[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

QWidget* NewPage(const char* name, const char* tipName) {
  auto* page = new QWidget;
  page->setObjectName(name);
  auto* layout = new QGridLayout(page);
  layout->addWidget(NamedLabel(tipName, "Please select start date and time.", nullptr, page), 0, 0, 1, 3);
  layout->setColumnStretch(2, 1);
  return page;
}

void AddRow(QWidget* page, QWidget* label, QWidget* field, QWidget* after = nullptr) {
  auto* grid = static_cast<QGridLayout*>(page->layout());
  const int row = grid->rowCount();
  grid->addWidget(label, row, 0);
  grid->addWidget(field, row, 1);
  if (after) grid->addWidget(after, row, 2);
}

void Finish(QWidget* page) {
  auto* grid = static_cast<QGridLayout*>(page->layout());
  grid->setRowStretch(grid->rowCount(), 1);
}

}  // namespace

QDateTime TKVScheduleForm::ToQDateTime(double value) {
  if (!std::isfinite(value)) value = 0;
  const qint64 ms = std::llround(value * kMsPerDay);
  return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC).addMSecs(ms);
}

double TKVScheduleForm::FromQDateTime(const QDateTime& value) {
  const QDateTime base(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  return static_cast<double>(base.msecsTo(value)) / kMsPerDay;
}

TKVScheduleForm::TKVScheduleForm(TScheduleMode& schedule, QWidget* parent)
    : QDialog(parent), schedule_(schedule), copy_(Duplicate(schedule)) {
  BuildForm();
  LanguageTanslate(*this);
  LoadSchedule();
}

TKVScheduleForm::~TKVScheduleForm() = default;

void TKVScheduleForm::BuildForm() {
  setObjectName("KVScheduleForm");
  setWindowTitle("Schedule");
  rgpPeriodType_ =
      new TRadioGroup("Select Run period", {"Every &day", "Every &week", "Every &month", "Only &once"}, this);
  rgpPeriodType_->setObjectName("rgpPeriodType");
  rgpRunMode_ = new TRadioGroup("Run Mode", {"By &hand", "&Auto execute"}, this);
  rgpRunMode_->setObjectName("rgpRunMode");
  pages_ = new QStackedWidget(this);
  pages_->setObjectName("pgcSchedule");
  pages_->addWidget(BuildEveryDay());
  pages_->addWidget(BuildEveryWeek());
  pages_->addWidget(BuildEveryMonth());
  pages_->addWidget(BuildOnlyOnce());
  connect(rgpPeriodType_, &TRadioGroup::ItemIndexChanged, this, &TKVScheduleForm::ShowPeriod);

  auto* left = new QVBoxLayout;
  left->addWidget(rgpPeriodType_);
  left->addWidget(rgpRunMode_);
  left->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(left);
  top->addWidget(pages_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(OkCancelRow(*this, &btnOk_));
}

QDateTimeEdit* TKVScheduleForm::NewPicker(QWidget* page, const char* name, bool date) {
  auto* picker = new QDateTimeEdit(page);
  picker->setObjectName(name);
  picker->setTimeSpec(Qt::UTC);
  picker->setDisplayFormat(date ? "yyyy-MM-dd" : "HH:mm:ss");
  picker->setCalendarPopup(date);
  return picker;
}

void TKVScheduleForm::PairPickers(QDateTimeEdit* date, QDateTimeEdit* time) {
  connect(date, &QDateTimeEdit::dateTimeChanged, time, [time](const QDateTime& value) {
    const QSignalBlocker block(time);
    time->setDateTime(value);
  });
  connect(time, &QDateTimeEdit::dateTimeChanged, date, [date](const QDateTime& value) {
    const QSignalBlocker block(date);
    date->setDateTime(value);
  });
}

QWidget* TKVScheduleForm::BuildEveryDay() {
  QWidget* page = NewPage("tshEveryDay", "lbSchduleTip1");
  dtpEDStartDate_ = NewPicker(page, "dtpEDStartDate", true);
  dtpEDStartTime_ = NewPicker(page, "dtpEDStartTime", false);
  PairPickers(dtpEDStartDate_, dtpEDStartTime_);
  seEDEverySomeDay_ = NamedSpin(page, "seEDEverySomeDay", 1, 255);
  AddRow(page, NamedLabel("lbEDStartDate", "Start date", dtpEDStartDate_, page), dtpEDStartDate_);
  AddRow(page, NamedLabel("lbEDStartTime", "Start time", dtpEDStartTime_, page), dtpEDStartTime_);
  AddRow(page, NamedLabel("lbEDEverySomeDay", "Every", seEDEverySomeDay_, page), seEDEverySomeDay_,
         NamedLabel("lbDay", "Day", nullptr, page));
  Finish(page);
  return page;
}

QWidget* TKVScheduleForm::BuildEveryWeek() {
  QWidget* page = NewPage("tshEveryWeek", "lbSchduleTip2");
  dtpEWStartTime_ = NewPicker(page, "dtpEWStartTime", false);
  AddRow(page, NamedLabel("ldEWStartTime", "Start time", dtpEWStartTime_, page), dtpEWStartTime_);
  auto* days = new QWidget(page);
  auto* grid = new QGridLayout(days);
  grid->setContentsMargins(0, 0, 0, 0);
  for (int d = 0; d < 7; ++d) {
    weekDays_[d] = new QCheckBox(kWeekDayCaptions[d], days);
    weekDays_[d]->setObjectName(kWeekDayNames[d]);
    grid->addWidget(weekDays_[d], d / 2, d % 2);
  }
  static_cast<QGridLayout*>(page->layout())->addWidget(days, 2, 0, 1, 3);
  Finish(page);
  return page;
}

QWidget* TKVScheduleForm::BuildEveryMonth() {
  QWidget* page = NewPage("tshEveryMonth", "lbSchduleTip3");
  dtpEMStartTime_ = NewPicker(page, "dtpEMStartTime", false);
  seEMNumDay_ = NamedSpin(page, "seEMNumDay", 1, 31);
  AddRow(page, NamedLabel("ldEMStartTime", "Start &time", dtpEMStartTime_, page), dtpEMStartTime_);
  AddRow(page, NamedLabel("lbEMNumDay", "Day", seEMNumDay_, page), seEMNumDay_,
         NamedLabel("lbDay2", "", nullptr, page));
  Finish(page);
  return page;
}

QWidget* TKVScheduleForm::BuildOnlyOnce() {
  QWidget* page = NewPage("tshOnlyOnce", "lbSchduleTip4");
  dtpOOStartDate_ = NewPicker(page, "dtpOOStartDate", true);
  dtpOOStartTime_ = NewPicker(page, "dtpOOStartTime", false);
  PairPickers(dtpOOStartDate_, dtpOOStartTime_);
  AddRow(page, NamedLabel("lbOOStartDate", "Start &date", dtpOOStartDate_, page), dtpOOStartDate_);
  AddRow(page, NamedLabel("lbOOStartTime", "Start &time", dtpOOStartTime_, page), dtpOOStartTime_);
  Finish(page);
  return page;
}

void TKVScheduleForm::LoadSchedule() {
  const int period = copy_->SchedulePeriod();
  for (int p = spEveryDay; p <= spOnce; ++p) {
    if (p == period && copy_->Schedule()) {
      FillPage(p, *copy_->Schedule());
    } else {
      FillPage(p, *NewSchedule(static_cast<TSchedulePeriod>(p)));
    }
  }
  rgpPeriodType_->SetItemIndex(period);
  rgpRunMode_->SetItemIndex(copy_->RunMode == rmByAuto ? 1 : 0);
  ShowPeriod(period);
}

void TKVScheduleForm::FillPage(int period, const TCustomSchedule& schedule) {
  if (auto* day = ObjCast<TScheduleEveryDay>(&schedule); day && period == spEveryDay) {
    dtpEDStartDate_->setDateTime(ToQDateTime(day->StartDateTime));
    seEDEverySomeDay_->setValue(std::max<int>(1, day->EverySomeDay));
  } else if (auto* week = ObjCast<TScheduleEveryWeek>(&schedule); week && period == spEveryWeek) {
    dtpEWStartTime_->setDateTime(ToQDateTime(week->StartTime));
    const bool flags[7] = {week->Monday, week->Tuesday,  week->Wednesday, week->Thursday,
                           week->Friday, week->Saturday, week->Sunday};
    for (int d = 0; d < 7; ++d) weekDays_[d]->setChecked(flags[d]);
  } else if (auto* month = ObjCast<TScheduleEveryMonth>(&schedule); month && period == spEveryMonth) {
    dtpEMStartTime_->setDateTime(ToQDateTime(month->StartTime));
    seEMNumDay_->setValue(std::max<int>(1, month->FNumberDay));
  } else if (auto* once = ObjCast<TScheduleOnce>(&schedule); once && period == spOnce) {
    dtpOOStartDate_->setDateTime(ToQDateTime(once->StartDateTime));
  }
}

void TKVScheduleForm::StorePage(TCustomSchedule& schedule) const {
  if (auto* day = ObjCast<TScheduleEveryDay>(&schedule)) {
    day->StartDateTime = FromQDateTime(dtpEDStartDate_->dateTime());
    day->EverySomeDay = static_cast<uint8_t>(seEDEverySomeDay_->value());
  } else if (auto* week = ObjCast<TScheduleEveryWeek>(&schedule)) {
    week->StartTime = FromQDateTime(dtpEWStartTime_->dateTime());
    bool* flags[7] = {&week->Monday, &week->Tuesday,  &week->Wednesday, &week->Thursday,
                      &week->Friday, &week->Saturday, &week->Sunday};
    for (int d = 0; d < 7; ++d) *flags[d] = weekDays_[d]->isChecked();
  } else if (auto* month = ObjCast<TScheduleEveryMonth>(&schedule)) {
    month->StartTime = FromQDateTime(dtpEMStartTime_->dateTime());
    month->FNumberDay = static_cast<uint8_t>(seEMNumDay_->value());
  } else if (auto* once = ObjCast<TScheduleOnce>(&schedule)) {
    once->StartDateTime = FromQDateTime(dtpOOStartDate_->dateTime());
  }
}

void TKVScheduleForm::ShowPeriod(int period) {
  if (period >= 0 && period < pages_->count()) pages_->setCurrentIndex(period);
  btnOk_->setEnabled(period >= 0);
}

void TKVScheduleForm::WriteBack() {
  const int period = rgpPeriodType_->ItemIndex();
  if (period < 0) return;
  copy_->SetSchedulePeriod(static_cast<TSchedulePeriod>(period));
  copy_->RunMode = rgpRunMode_->ItemIndex() == 1 ? rmByAuto : rmByHand;
  StorePage(*copy_->Schedule());
  schedule_.Assign(copy_.get());
}

void TKVScheduleForm::accept() {
  if (rgpPeriodType_->ItemIndex() < 0) return;
  WriteBack();
  QDialog::accept();
}

bool EditSchedule(TScheduleMode& schedule, QWidget* parent) {
  TKVScheduleForm form(schedule, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
