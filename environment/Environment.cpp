#include "environment/Environment.h"

#include <sys/stat.h>

#include "environment/CoreMessages.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/ObjectStream.h"
#include "foundation/UserInterface.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExpressionOption, TBaseObject)
KV_IMPLEMENT_CLASS(TPrompting, TBaseObject)
KV_IMPLEMENT_CLASS(TDblClickJobOption, TBaseObject)
KV_IMPLEMENT_CLASS(TKVMonitorParam, TBaseObject)
KV_IMPLEMENT_CLASS(TLogOption, TBaseObject)
KV_IMPLEMENT_CLASS(TKVEnvironment, TBaseObject)

namespace {
// TKVMonitorParam is stored inside every settings file, so it must be known
// to the reader like the other option classes.
const TClassRegistrar g_registrar{TDblClickJobOption::StaticClass(), TLogOption::StaticClass(),
                                  TPrompting::StaticClass(), TExpressionOption::StaticClass(),
                                  TKVMonitorParam::StaticClass(), TKVEnvironment::StaticClass()};
}

TKVEnvironment* GlobalEnv = nullptr;

// ---- Option objects -------------------------------------------------------------

void TExpressionOption::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TExpressionOption>(source)) {
    ZeroAsNull = s->ZeroAsNull;
    NullStringAsNull = s->NullStringAsNull;
    return;
  }
  inherited::Assign(source);
}

void TExpressionOption::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptBoolean>(proc, param, ZeroAsNull, "ZeroAsNull");
  Prop<ptBoolean>(proc, param, NullStringAsNull, "NullStringAsNull");
}

void TPrompting::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TPrompting>(source)) {
    JobDeletion = s->JobDeletion;
    ErrorPrompt = s->ErrorPrompt;
    StopPrompt = s->StopPrompt;
    PausePrompt = s->PausePrompt;
    return;
  }
  inherited::Assign(source);
}

void TPrompting::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptBoolean>(proc, param, JobDeletion, "JobDeletion");
  Prop<ptBoolean>(proc, param, ErrorPrompt, "ErrorPrompt");
  Prop<ptBoolean>(proc, param, StopPrompt, "StopPrompt");
  Prop<ptBoolean>(proc, param, PausePrompt, "PausePrompt");
}

void TDblClickJobOption::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TDblClickJobOption>(source)) {
    DblClickOnRunJob = s->DblClickOnRunJob;
    DblClickOnCompleteJob = s->DblClickOnCompleteJob;
    DblClickOnErrorJob = s->DblClickOnErrorJob;
    return;
  }
  inherited::Assign(source);
}

void TDblClickJobOption::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, DblClickOnRunJob, "DblClickOnRunJob", DblClickOnRunJob != 0);
  Prop<ptByte>(proc, param, DblClickOnCompleteJob, "DblClickOnCompleteJob", DblClickOnCompleteJob != 0);
  Prop<ptByte>(proc, param, DblClickOnErrorJob, "DblClickOnErrorJob", DblClickOnErrorJob != 0);
}

void TKVMonitorParam::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TKVMonitorParam>(source)) {
    BKColor = s->BKColor;
    SourceBrowseSpeedColor = s->SourceBrowseSpeedColor;
    ImportSpeedColor = s->ImportSpeedColor;
    ErrRecordsSpeedColor = s->ErrRecordsSpeedColor;
    MaxSpeedScale = s->MaxSpeedScale;
    return;
  }
  inherited::Assign(source);
}

void TKVMonitorParam::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptLongint>(proc, param, BKColor, "BKColor", BKColor != 0);
  Prop<ptLongint>(proc, param, SourceBrowseSpeedColor, "SourceBrowseSpeedColor", SourceBrowseSpeedColor != 0);
  Prop<ptLongint>(proc, param, ImportSpeedColor, "ImportSpeedColor", ImportSpeedColor != 0);
  Prop<ptLongint>(proc, param, ErrRecordsSpeedColor, "ErrRecordsSpeedColor", ErrRecordsSpeedColor != 0);
  Prop<ptInteger>(proc, param, MaxSpeedScale, "MaxSpeedScale", MaxSpeedScale != 0);
}

void TLogOption::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TLogOption>(source)) {
    DelTime = s->DelTime;
    DelLogModes = s->DelLogModes;
    DelLogDays = s->DelLogDays;
    DelFileSize = s->DelFileSize;
    return;
  }
  inherited::Assign(source);
}

void TLogOption::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptSet8>(proc, param, DelLogModes, "FDelLogModes", DelLogModes != 0);
  Prop<ptInteger>(proc, param, DelLogDays, "DelLogDays", DelLogDays != 0);
  Prop<ptInteger>(proc, param, DelFileSize, "DelFileSize", DelFileSize != 0);
  Prop<ptDouble>(proc, param, DelTime, "DelTime", DelTime != 0);
}

// ---- TKVEnvironment -------------------------------------------------------------

TKVEnvironment::TKVEnvironment() {
  ExpOption.reset(new TExpressionOption);
  Prompting.reset(new TPrompting);
  DblClickJobOption.reset(new TDblClickJobOption);
  MonitorParam.reset(new TKVMonitorParam);
  LogOption.reset(new TLogOption);
}

void TKVEnvironment::Assign(const TBaseObject* source) {
  if (source == this) return;
  if (auto* s = ObjCast<TKVEnvironment>(source)) {
    ExpOption->Assign(s->ExpOption.get());
    Prompting->Assign(s->Prompting.get());
    DblClickJobOption->Assign(s->DblClickJobOption.get());
    MonitorParam->Assign(s->MonitorParam.get());
    LogOption->Assign(s->LogOption.get());
    DefaultFolder = s->DefaultFolder;
    MaxRunJobs = s->MaxRunJobs;
    ShowTipDlgOnStart = s->ShowTipDlgOnStart;
    ShowMonitorDlg = s->ShowMonitorDlg;
    ShowDebugDlg = s->ShowDebugDlg;
    return;
  }
  inherited::Assign(source);
}

void TKVEnvironment::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, ExpOption, "ExpOption", ExpOption.get() != nullptr);
  Prop<ptObject>(proc, param, Prompting, "Prompting", Prompting.get() != nullptr);
  Prop<ptString>(proc, param, DefaultFolder, "DefaultFolder", !DefaultFolder.empty());
  Prop<ptObject>(proc, param, DblClickJobOption, "DblClickJobOption", DblClickJobOption.get() != nullptr);
  Prop<ptByte>(proc, param, MaxRunJobs, "MaxRunJobs", MaxRunJobs != 0);
  Prop<ptObject>(proc, param, MonitorParam, "MonitorParam", MonitorParam.get() != nullptr);
  Prop<ptBoolean>(proc, param, ShowTipDlgOnStart, "ShowTipDlgOnStart");
  Prop<ptBoolean>(proc, param, ShowMonitorDlg, "ShowMonitorDlg");
  Prop<ptBoolean>(proc, param, ShowDebugDlg, "ShowDebugDlg");
  Prop<ptObject>(proc, param, LogOption, "LogOption", LogOption.get() != nullptr);
}

void TKVEnvironment::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  // The option objects are always there, whatever the file held.
  if (!ExpOption) ExpOption.reset(new TExpressionOption);
  if (!Prompting) Prompting.reset(new TPrompting);
  if (!DblClickJobOption) DblClickJobOption.reset(new TDblClickJobOption);
  if (!MonitorParam) MonitorParam.reset(new TKVMonitorParam);
  if (!LogOption) LogOption.reset(new TLogOption);
  if (MaxRunJobs > kMaxRunJobsLimit) MaxRunJobs = kMaxRunJobsLimit;
}

void TKVEnvironment::SetMaxRunJobs(int value) {
  if (value > kMaxRunJobsLimit || value < 0) {
    ShowWarning(SExceedMaxJobs.Text());
    return;
  }
  MaxRunJobs = static_cast<uint8_t>(value);
}

void TKVEnvironment::SetDefaultFolder(const std::string& value) {
  if (value == DefaultFolder) return;
  if (value.empty() || value.back() == '/' || value.back() == '\\')
    DefaultFolder = value;
  else
    DefaultFolder = value + "/";
}

// ---- The settings file ------------------------------------------------------------

std::string EnvironmentFilePath() { return PrgDir() + kEnvironmentFileName; }

std::unique_ptr<TKVEnvironment> LoadEnvironment(const std::string& fileName) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return std::make_unique<TKVEnvironment>();
  std::unique_ptr<TBaseObject> obj = ReadObjectFromFile(fileName);
  if (std::unique_ptr<TKVEnvironment> env = OwnedCast<TKVEnvironment>(obj)) return env;
  throw Exception(CannotOpenObjectFilePrefix() + fileName + " does not hold settings (" +
                  (obj ? obj->ClassName() : "nothing") + ")");
}

void SaveEnvironment(const TKVEnvironment& env, const std::string& fileName) { WriteObjectToFile(fileName, &env); }

}  // namespace kv
