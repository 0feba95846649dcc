#include "ProgramHooks.h"

#include "TipForm.h"
#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "editors/BrowseDataForm.h"
#include "editors/DBLinkProForm.h"
#include "editors/DataSetDialogs.h"
#include "editors/DebugForm.h"
#include "editors/EnvForm.h"
#include "editors/ErrorDataForm.h"
#include "editors/FChartEditor.h"
#include "editors/JobProForm.h"
#include "editors/LogInfoForm.h"
#include "editors/MapingForm.h"
#include "editors/PreviewImportForm.h"
#include "editors/ScheduleForm.h"

namespace kv {

bool EditDataSetOfKind(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent) {
  if (auto* text = ObjCast<TKVTextDataSet>(&dataSet)) return EditFileDataSet(*text, job, parent);
  if (auto* query = ObjCast<TKVQueryDataSet>(&dataSet)) return EditQueryDataSet(*query, job, parent);
  if (auto* odbc = ObjCast<TKVODBCDataSet>(&dataSet)) return EditODBCDataSet(*odbc, job, parent);
  if (auto* fileDB = ObjCast<TKVFileDBDataSet>(&dataSet)) return EditFileDBDataSet(*fileDB, job, parent);
  if (auto* oracle = ObjCast<TKVOracleDataSet>(&dataSet)) return EditOracleDataSet(*oracle, job, parent);
  return false;
}

TMainFormHooks ProgramHooks(const QPointer<QWidget>& owner) {
  TMainFormHooks hooks;
  hooks.EditJobPro = [&owner](TJob& job) { return EditJobPro(job, owner); };
  hooks.EditSchedule = [&owner](TScheduleMode& schedule) { return EditSchedule(schedule, owner); };
  hooks.SetSysDefaultPro = [&owner](TKVEnvironment& env) { return SetSysDefaultPro(env, owner); };
  hooks.ShowLogInfoForm = [&owner](const TKVLog& log) { ShowLogInfoForm(log, owner); };
  hooks.DesignJob = [&owner](TJob& job) { return DesignJob(job, owner); };
  hooks.EditDBLinkPro = [&owner](TDBLink& link, TJob& job) { return EditDBLinkPro(link, job, owner); };
  hooks.EditDBLinkMaping = [&owner](TDBLink& link) { return EditDBLinkMaping(link, owner); };
  hooks.EditDataSet = [&owner](TKVCustomDataSet& dataSet, TJob& job) { return EditDataSetOfKind(dataSet, job, owner); };
  hooks.PreImpData = [&owner](TDBLink& link, TJob& job) { PreImpData(link, job, owner); };
  hooks.BrowseData = [&owner](TKVCustomDataSet& dataSet) { BrowseData(dataSet, owner); };
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
