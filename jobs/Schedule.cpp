#include "jobs/Schedule.h"

#include <cmath>

#include "foundation/Clock.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"

namespace kv {

KV_IMPLEMENT_CLASS(TCustomSchedule, TBaseObject)
KV_IMPLEMENT_CLASS(TScheduleEveryDay, TCustomSchedule)
KV_IMPLEMENT_CLASS(TScheduleEveryWeek, TCustomSchedule)
KV_IMPLEMENT_CLASS(TScheduleEveryMonth, TCustomSchedule)
KV_IMPLEMENT_CLASS(TScheduleOnce, TCustomSchedule)
KV_IMPLEMENT_CLASS(TScheduleMode, TBaseObject)

void TCustomSchedule::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptDouble>(proc, param, LastTime, "LastTime", LastTime != 0);
}

void TCustomSchedule::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TCustomSchedule>(source);
  if (!s) return inherited::Assign(source);
  LastTime = s->LastTime;
}

double TCustomSchedule::DueTimeNear(double) const { throw Exception(""); }

double TCustomSchedule::GetAutoExecTime() { return GetAutoExecTimeAt(ClockNow()); }

double TCustomSchedule::GetAutoExecTimeAt(double now) {
  const double due = DueTimeNear(now);
  if (due == 0 || LastTime >= due - kScheduleWindow) return 0;
  return due;
}

namespace {

bool WithinWindow(double due, double now) { return std::fabs(now - due) < kScheduleWindow; }

// The due time on the day before, of or after `now` (at `timeOfDay`) that
// lies within the window and not before `start`, when `isDueDay` says the
// day has one; else 0.
template <typename DayTest>
double DueDayNear(double now, double start, double timeOfDay, DayTest isDueDay) {
  const double today = std::floor(now);
  for (double day = today - 1; day <= today + 1; ++day) {
    const double due = day + timeOfDay;
    if (due >= start && WithinWindow(due, now) && isDueDay(day)) return due;
  }
  return 0;
}

double TimeOfDay(double dateTime) { return dateTime - std::floor(dateTime); }

}  // namespace

TScheduleEveryDay::TScheduleEveryDay() : StartDateTime(ClockNow()) {}

void TScheduleEveryDay::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptDouble>(proc, param, StartDateTime, "StartDateTime", StartDateTime != 0);
  Prop<ptByte>(proc, param, EverySomeDay, "EverySomeDay", EverySomeDay != 0);
}

void TScheduleEveryDay::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TScheduleEveryDay>(source)) {
    StartDateTime = s->StartDateTime;
    EverySomeDay = s->EverySomeDay;
  }
  inherited::Assign(source);
}

double TScheduleEveryDay::DueTimeNear(double now) const {
  const double interval = EverySomeDay == 0 ? 1 : EverySomeDay;
  const double firstDay = std::floor(StartDateTime);
  return DueDayNear(now, StartDateTime, TimeOfDay(StartDateTime), [&](double day) {
    return std::fmod(day - firstDay, interval) == 0;
  });
}

TScheduleEveryWeek::TScheduleEveryWeek() : StartTime(ClockNow()) {}

double TScheduleEveryWeek::DueTimeNear(double now) const {
  const bool flags[8] = {false, Monday, Tuesday, Wednesday, Thursday, Friday, Saturday, Sunday};
  return DueDayNear(now, StartTime, TimeOfDay(StartTime),
                    [&](double day) { return flags[DayOfTheWeek(day)]; });
}

void TScheduleEveryWeek::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptDouble>(proc, param, StartTime, "StartTime", StartTime != 0);
  Prop<ptBoolean>(proc, param, Monday, "Monday");
  Prop<ptBoolean>(proc, param, Tuesday, "Tuesday");
  Prop<ptBoolean>(proc, param, Wednesday, "Wednesday");
  Prop<ptBoolean>(proc, param, Thursday, "Thursday");
  Prop<ptBoolean>(proc, param, Friday, "Friday");
  Prop<ptBoolean>(proc, param, Saturday, "Saturday");
  Prop<ptBoolean>(proc, param, Sunday, "Sunday");
}

void TScheduleEveryWeek::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TScheduleEveryWeek>(source)) {
    StartTime = s->StartTime;
    Monday = s->Monday;
    Tuesday = s->Tuesday;
    Wednesday = s->Wednesday;
    Thursday = s->Thursday;
    Friday = s->Friday;
    Saturday = s->Saturday;
    Sunday = s->Sunday;
  }
  inherited::Assign(source);
}

TScheduleEveryMonth::TScheduleEveryMonth() : StartTime(ClockNow()) {}

void TScheduleEveryMonth::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptDouble>(proc, param, StartTime, "StartTime", StartTime != 0);
  Prop<ptByte>(proc, param, FNumberDay, "FNumberDay", FNumberDay != 0);
}

void TScheduleEveryMonth::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TScheduleEveryMonth>(source)) {
    StartTime = s->StartTime;
    FNumberDay = s->FNumberDay;
  }
  inherited::Assign(source);
}

double TScheduleEveryMonth::DueTimeNear(double now) const {
  const int wanted = FNumberDay == 0 ? 1 : FNumberDay;
  return DueDayNear(now, StartTime, TimeOfDay(StartTime), [&](double day) {
    int year, month, dayOfMonth;
    DecodeDate(day, year, month, dayOfMonth);
    const int last = DaysInAMonth(year, month);
    return dayOfMonth == (wanted > last ? last : wanted);
  });
}

TScheduleOnce::TScheduleOnce() : StartDateTime(ClockNow()) {}

double TScheduleOnce::DueTimeNear(double now) const {
  return WithinWindow(StartDateTime, now) ? StartDateTime : 0;
}

void TScheduleOnce::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptDouble>(proc, param, StartDateTime, "StartDateTime", StartDateTime != 0);
}

void TScheduleOnce::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TScheduleOnce>(source)) StartDateTime = s->StartDateTime;
  inherited::Assign(source);
}

std::unique_ptr<TCustomSchedule> NewSchedule(TSchedulePeriod period) {
  switch (period) {
    case spEveryWeek: return std::make_unique<TScheduleEveryWeek>();
    case spEveryMonth: return std::make_unique<TScheduleEveryMonth>();
    case spOnce: return std::make_unique<TScheduleOnce>();
    case spEveryDay: break;
  }
  return std::make_unique<TScheduleEveryDay>();
}

TScheduleMode::TScheduleMode() : schedule_(NewSchedule(spEveryDay).release()) {}
TScheduleMode::~TScheduleMode() = default;

void TScheduleMode::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, RunMode, "RunMode", RunMode != rmByHand);
  Prop<ptByte>(proc, param, period_, "SchedulePeriod", period_ != spEveryDay);
  Prop<ptObject>(proc, param, schedule_, "Schedule", schedule_.get() != nullptr);
}

void TScheduleMode::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TScheduleMode>(source);
  if (!s) return inherited::Assign(source);
  RunMode = s->RunMode;
  SetSchedulePeriod(s->period_);
  if (s->schedule_) SetSchedule(*s->schedule_);
}

void TScheduleMode::SetSchedulePeriod(TSchedulePeriod period) {
  if (period == period_ && schedule_) return;
  period_ = period;
  schedule_.reset(NewSchedule(period).release());
}

void TScheduleMode::SetSchedule(const TCustomSchedule& schedule) {
  if (!schedule_) schedule_.reset(NewSchedule(period_).release());
  if (&schedule != schedule_.get()) schedule_->Assign(&schedule);
}

}  // namespace kv
