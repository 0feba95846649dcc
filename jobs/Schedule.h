// The schedule of a job: TScheduleMode holds the run mode, the period and
// one schedule object of the period's kind (owned). This header holds the
// schedule data, its persistence and copying; when a schedule is due is the
// scheduler's work (GetAutoExecTime of the base raises an error).
#pragma once

#include <cstdint>

#include "KVCore_export.h"
#include "foundation/BaseObject.h"
#include "jobs/DBLink.h"

namespace kv {

enum TSchedulePeriod : uint8_t { spEveryDay, spEveryWeek, spEveryMonth, spOnce };

class KVCORE_EXPORT TCustomSchedule : public TBaseObject {
  KV_CLASS(TCustomSchedule, TBaseObject)
public:
  // "LastTime" (double, when non-zero).
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // LastTime from any schedule; the kinds copy their own fields first when
  // the source is of the same kind. Anything else: EConvertError.
  void Assign(const TBaseObject* source) override;
  // The next time the job is due; the base raises Exception with an empty message.
  virtual double GetAutoExecTime();

  double LastTime = 0;  // date-time of the job's last run
};

class KVCORE_EXPORT TScheduleEveryDay : public TCustomSchedule {
  KV_CLASS(TScheduleEveryDay, TCustomSchedule)
public:
  TScheduleEveryDay();
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
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
  double StartTime;
  uint8_t FNumberDay = 1;  // day of the month
};

class KVCORE_EXPORT TScheduleOnce : public TCustomSchedule {
  KV_CLASS(TScheduleOnce, TCustomSchedule)
public:
  TScheduleOnce();
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
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
