#include "ProgramHooks.h"

#include "TipForm.h"
#include "editors/EnvForm.h"
#include "editors/JobProForm.h"
#include "editors/LogInfoForm.h"
#include "editors/ScheduleForm.h"

namespace kv {

TMainFormHooks ProgramHooks(const QPointer<QWidget>& owner) {
  TMainFormHooks hooks;
  hooks.EditJobPro = [&owner](TJob& job) { return EditJobPro(job, owner); };
  hooks.EditSchedule = [&owner](TScheduleMode& schedule) { return EditSchedule(schedule, owner); };
  hooks.SetSysDefaultPro = [&owner](TKVEnvironment& env) { return SetSysDefaultPro(env, owner); };
  hooks.ShowLogInfoForm = [&owner](const TKVLog& log) { ShowLogInfoForm(log, owner); };
  hooks.ShowTips = [&owner] { ShowTips(owner); };
  return hooks;
}

}  // namespace kv
