// The schedule of a job: TScheduleMode holds the run mode, the period and
// one schedule object of the period's kind (owned), with its persistence,
// copying and the due test.
//
// When a job is due. Every kind describes a series of due times (every N
// days at the start's time of day; chosen weekdays at the start's time of
// day; one day of every month at the start's time of day; once). A job is
// due while the clock is less than two minutes before or after one of them
// (the window the job group's scheduler tests), and only once for each: a
// due time is served once the job's last run (LastTime, set when a run
// starts) lies within that window or later. So a job that finishes within
// the window, or a weekly job stopped later on its day, is not started
// again for the same due time. No due time lies before the start.
#pragma once

#include <cstdint>

#include "KVCore_export.h"
#include "foundation/BaseObject.h"
#include "jobs/DBLink.h"

namespace kv {

enum TSchedulePeriod : uint8_t { spEveryDay, spEveryWeek, spEveryMonth, spOnce };

// How far before or after a due time a job counts as due, in days (two minutes).
inline constexpr double kScheduleWindow = 2.0 / (24 * 60);

class KVCORE_EXPORT TCustomSchedule : public TBaseObject {
  KV_CLASS(TCustomSchedule, TBaseObject)
public:
  // "LastTime" (double, when non-zero).
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // LastTime from any schedule; the kinds copy their own fields first when
  // the source is of the same kind. Anything else: EConvertError.
  void Assign(const TBaseObject* source) override;
  // The due time being served now (within the window of ClockNow()), or 0
  // when the job is not due. The base raises Exception with an empty message.
  double GetAutoExecTime();
  // The same at `now`.
  double GetAutoExecTimeAt(double now);
  // The due time of the series that lies within the window of `now`
  // (served or not), or 0. The base raises Exception with an empty message.
  virtual double DueTimeNear(double now) const;

  double LastTime = 0;  // date-time of the job's last run
};

class KVCORE_EXPORT TScheduleEveryDay : public TCustomSchedule {
  KV_CLASS(TScheduleEveryDay, TCustomSchedule)
public:
  TScheduleEveryDay();
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
  // StartDateTime, then every EverySomeDay days at its time of day (an
  // interval of 0 counts as 1).
  double DueTimeNear(double now) const override;
  double StartDateTime;      // now
  uint8_t EverySomeDay = 1;  // interval in days
};

class KVCORE_EXPORT TScheduleEveryWeek : public TCustomSchedule {
  KV_CLASS(TScheduleEveryWeek, TCustomSchedule)
public:
  TScheduleEveryWeek();
  // "StartTime" when non-zero, then the seven day flags Monday..Sunday, always.
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
  // Each chosen weekday at StartTime's time of day, from StartTime on.
  double DueTimeNear(double now) const override;
  double StartTime;
  bool Monday = false, Tuesday = false, Wednesday = false, Thursday = false, Friday = false, Saturday = false,
       Sunday = false;
};

class KVCORE_EXPORT TScheduleEveryMonth : public TCustomSchedule {
  KV_CLASS(TScheduleEveryMonth, TCustomSchedule)
public:
  TScheduleEveryMonth();
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
  // Day FNumberDay of every month at StartTime's time of day, from
  // StartTime on; in a month with fewer days, its last day (0 counts as 1).
  double DueTimeNear(double now) const override;
  double StartTime;
  uint8_t FNumberDay = 1;  // day of the month
};

class KVCORE_EXPORT TScheduleOnce : public TCustomSchedule {
  KV_CLASS(TScheduleOnce, TCustomSchedule)
public:
  TScheduleOnce();
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
  // StartDateTime, once.
  double DueTimeNear(double now) const override;
  double StartDateTime;
};

// A new schedule of the kind that belongs to `period` (with its defaults).
KVCORE_EXPORT std::unique_ptr<TCustomSchedule> NewSchedule(TSchedulePeriod period);

class KVCORE_EXPORT TScheduleMode : public TBaseObject {
  KV_CLASS(TScheduleMode, TBaseObject)
public:
  TScheduleMode();
  ~TScheduleMode() override;
  // "RunMode" and "SchedulePeriod" (bytes, when not the first value), "Schedule".
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // RunMode, SetSchedulePeriod(source's period), then the schedule's Assign.
  void Assign(const TBaseObject* source) override;
  TSchedulePeriod SchedulePeriod() const { return period_; }
  // A different period: a new schedule of its kind replaces the current
  // one (LastTime and all fields start over). The same period: nothing.
  void SetSchedulePeriod(TSchedulePeriod period);
  // Assigns `schedule` to the current schedule object.
  void SetSchedule(const TCustomSchedule& schedule);
  // The schedule object (owned; never null outside loading).
  TCustomSchedule* Schedule() const { return schedule_.get(); }

  TRunMode RunMode = rmByHand;

private:
  TSchedulePeriod period_ = spEveryDay;
  ObjPtr<TCustomSchedule> schedule_;
};

}  // namespace kv
