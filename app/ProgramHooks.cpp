#include "ProgramHooks.h"

#include "TipForm.h"
#include "editors/DebugForm.h"
#include "editors/EnvForm.h"
#include "editors/ErrorDataForm.h"
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
  hooks.DebugJob = [&owner](TJob& job) { DebugJob(job, owner); };
  hooks.ManageErrorData = [&owner](TDBLink& link) { ManageErrorData(link, owner); };
  // A settings file the main window could not read is never written over.
  hooks.ShowTips = [&owner] {
    const auto* form = qobject_cast<const TMainForm*>(owner.data());
    ShowTips(owner, form == nullptr || !form->EnvironmentUnreadable());
  };
  return hooks;
}

}  // namespace kv
