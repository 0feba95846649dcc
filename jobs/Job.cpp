#include "jobs/Job.h"

#include <filesystem>

#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "expression/DBFunctions.h"
#include "expression/Expression.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/FileLock.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "foundation/StringLists.h"
#include "jobs/JobThreads.h"

namespace kv {

KV_IMPLEMENT_CLASS(TJob, TBaseObject)
KV_IMPLEMENT_CLASS(TJobGroup, TStoredStrList)

std::unique_ptr<TJobGroup> JobGroup;
std::unique_ptr<TJobQueue> JobQueue;

// ---- TJob --------------------------------------------------------------------------------------
TJob::TJob()
    : CreateTime(Now()),
      DataSets(new TKVBaseDataSets),
      DBLinks(new TDBLinks),
      ScheduleMode(new TScheduleMode),
      VarList(new TVarList),
      Logs(std::make_unique<TKVLogs>()) {}

TJob::~TJob() {
  if (JobQueue) JobQueue->DeleteJob(this);
  EndRun();
  // The lists may refer to the chart's links and datasets: empty them first.
  if (DBLinks) DBLinks->ClearLinks();
  ClearDataSets();
}

void TJob::ClearDataSets() {
  // A job whose reading failed half-way may lack the list or its inner list.
  if (!DataSets || !DataSets->List) return;
  if (dataSetRefs_) {
    for (int i = DataSets->Count() - 1; i >= 0; --i) DataSets->Extract(i);
  }
  DataSets->Clear();
  dataSetRefs_ = false;
}

void TJob::SetDataSets(const TKVBaseDataSets& list) {
  if (&list == DataSets.get()) return;
  ClearDataSets();
  DataSets->Assign(&list);
}

void TJob::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, AfterExecuteExp, "AfterExecuteExp", !AfterExecuteExp.empty());
  Prop<ptString>(proc, param, BeforeExecuteExp, "BeforeExecuteExp", !BeforeExecuteExp.empty());
  Prop<ptDouble>(proc, param, CreateTime, "CreateTime", CreateTime != 0);
  Prop<ptString>(proc, param, DefaultFolder, "DefaultFolder", !DefaultFolder.empty());
  Prop<ptString>(proc, param, Description, "Description", !Description.empty());
  Prop<ptObject>(proc, param, DataSets, "DataSets", DataSets.get() != nullptr);
  Prop<ptObject>(proc, param, DBLinks, "DBLinks", DBLinks.get() != nullptr);
  Prop<ptDouble>(proc, param, RunTime, "RunTime", RunTime != 0);
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptString>(proc, param, SaveFileName, "SaveFileName", !SaveFileName.empty());
  Prop<ptObject>(proc, param, ScheduleMode, "FScheduleMode", ScheduleMode.get() != nullptr);
  uint8_t status = status_.load();
  Prop<ptByte>(proc, param, status, "Status", status != jsStop);
  status_.store(static_cast<TJobStatus>(status));
  Prop<ptObject>(proc, param, VarList, "FVarList", VarList.get() != nullptr);
}

void TJob::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TJob>(source);
  if (!s) return inherited::Assign(source);
  if (s == this) return;
  AfterExecuteExp = s->AfterExecuteExp;
  BeforeExecuteExp = s->BeforeExecuteExp;
  CreateTime = s->CreateTime;
  DefaultFolder = s->DefaultFolder;
  Description = s->Description;
  DBLinks->Assign(s->DBLinks.get());
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->Job = this;
  }
  RunTime = s->RunTime;
  Logs->Assign(s->Logs.get());
  Name = s->Name;
  SaveFileName = s->SaveFileName;
  ScheduleMode->Assign(s->ScheduleMode.get());
  VarList->Assign(s->VarList.get());
}

std::string TJob::GetDefaultFolder() const { return DefaultFolder.empty() ? PrgDir() + "Project/" : DefaultFolder; }

void TJob::SetDefaultFolder(const std::string& folder) {
  if (folder == DefaultFolder) return;
  DefaultFolder = folder;
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->DefaultFolder = folder;
  }
}

std::string TJob::GetSaveFileName() const { return SaveFileName.empty() ? Name + ".job" : SaveFileName; }

std::string TJob::ResolvePath(const std::string& path) const {
  if (path.empty()) return path;
  const std::filesystem::path p(path);
  if (p.is_absolute()) return path;
  const std::filesystem::path folder = std::filesystem::path(GetSaveFileName()).parent_path();
  return folder.empty() ? path : (folder / p).lexically_normal().string();
}

// Defined here rather than with the rest of the link: it needs the job.
std::string TDBLink::ResolvePath(const std::string& path) const { return Job ? Job->ResolvePath(path) : path; }

TKVFlowChart& TJob::GetDesignControl() {
  if (!chart_) chart_ = std::make_unique<TKVFlowChart>();
  return *chart_;
}

void TJob::LoadFromFlChart() {
  TKVFlowChart& chart = GetDesignControl();
  if (const auto* job = ObjCast<TJob>(chart.Job())) Assign(job);
  DBLinks->ClearLinks();
  for (int i = 0; i < chart.GetConnectionCount(); ++i) {
    auto* link = ObjCast<TDBLink>(chart.GetConnection(i)->DBLink());
    if (!link) continue;
    link->Job = this;
    link->OnIntelStatus = [this](TDBLink& sender, TJobStatus status) { StatusEvent(sender, status); };
    DBLinks->AddReference(link->Name, link);
  }
  ClearDataSets();
  dataSetRefs_ = true;
  for (int i = 0; i < chart.GetObjectCount(); ++i) {
    if (TKVCustomDataSet* dataSet = chart.GetObject(i)->DataSet()) DataSets->Inner().AddObject(dataSet->Name, dataSet);
  }
}

TKVBaseDataSet* TJob::FindDataSet(const std::string& name) const {
  for (int i = 0; i < DataSets->Count(); ++i) {
    TKVBaseDataSet* dataSet = DataSets->GetObj(i);
    if (dataSet && dataSet->Name == name) return dataSet;
  }
  return nullptr;
}

void TJob::DeleteFile() {
  std::error_code ec;
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) std::filesystem::remove(link->GetErrorDataFileName(), ec);
  }
  std::filesystem::remove(GetSaveFileName(), ec);
}

void TJob::ClearLog() {
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->ClearLog();
  }
}

void TJob::LoadLog(TPlainStringList& lines) const {
  for (int i = 0; i < DBLinks->Count(); ++i) {
    const TDBLink* link = DBLinks->GetObj(i);
    if (!link) continue;
    TKVLogs& logs = link->Logs();
    for (int j = 0; j < logs.Count(); ++j) lines.AddObject(logs.Strings(j), logs.GetObj(j));
  }
}

void TJob::SetDBLinks(const TDBLinks& list) {
  DBLinks->Assign(&list);
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->Job = this;
  }
}

void TJob::SetSourceDataType(TSourceDataType type) {
  for (int i = 0; i < DBLinks->Count(); ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) link->SetSourceDataType(type);
  }
}

void TJob::SetRunTime(double time) {
  if (time == RunTime) return;
  RunTime = time;
  if (ScheduleMode->Schedule()) ScheduleMode->Schedule()->LastTime = time;
}

void TJob::SetAllVarList() {
  auto translator = std::make_unique<TExpTranslator>();
  translator->VarList = VarList.get();
  SetTranslator(std::move(translator));
  RegisterBaseFunctions();
  RegisterDBFunctions();
}

void TJob::AddLog(TLogType type, const std::string& text) {
  Logs->AddLog(type, text);
  TKVLog* log = Logs->GetObj(Logs->Count() - 1);
  if (OnLogOccur && log) OnLogOccur(*log);
}

bool TJob::CheckJobExp(const std::string& text, const TMessage& ok, const TMessage& err) {
  const bool valid = ValidateExp(text, expression_);
  if (valid) {
    AddLog(ltInfo, Format(ok.c_str(), Name));
  } else {
    AddLog(ltError, Format(err.c_str(), Name, GetExpErrorMsg()));
  }
  return valid;
}

bool TJob::Validate() {
  bool result = true;
  for (int i = 0; i < DBLinks->Count() && result; ++i) {
    if (TDBLink* link = DBLinks->GetObj(i)) result = link->Validate();
  }
  SetAllVarList();
  if (result) result = CheckJobExp(AfterExecuteExp, SCheckAfterExecExpSuc, SCheckAfterExecExpErr);
  if (result) result = CheckJobExp(BeforeExecuteExp, SCheckBeforeExecExpSuc, SCheckBeforeExecExpErr);
  return result;
}

// ---- TJobGroup --------------------------------------------------------------------------------
TJobGroup::TJobGroup() : ProgramFileInfo(new TStringList), Logs(std::make_unique<TKVLogs>()) {}

void TJobGroup::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptStrings>(proc, param, ProgramFileInfo, "ProgramFileInfo", ProgramFileInfo.get() != nullptr);
}

void TJobGroup::Assign(const TBaseObject* source) {
  if (const auto* s = ObjCast<TJobGroup>(source)) ProgramFileInfo->Assign(*s->ProgramFileInfo);
  inherited::Assign(source);
}

TJob* TJobGroup::GetObj(int index) const { return ObjCast<TJob>(inherited::GetObj(index)); }

std::string TJobGroup::GroupFileName() { return PrgDir() + "KVCore.jbg"; }

void TJobGroup::LoadPrograms() { LoadPrograms(GroupFileName()); }
void TJobGroup::SavePrograms() const { SavePrograms(GroupFileName()); }

void TJobGroup::LoadPrograms(const std::string& groupFile) {
  if (FileExists(groupFile)) ProgramFileInfo->LoadFromFile(groupFile);
  int i = 0;
  while (i < ProgramFileInfo->Count()) {
    const std::string file = ProgramFileInfo->Strings(i);
    if (!FileExists(file)) {
      ProgramFileInfo->Delete(i);
      continue;
    }
    try {
      auto job = std::make_unique<TJob>();
      job->GetDesignControl().LoadFromFile(file);
      job->LoadFromFlChart();
      job->SaveFileName = file;
      const std::string name = job->Name;
      AddOwned(name, std::move(job));
    } catch (const std::exception& e) {
      Logs->AddLog(ltError, Format("Cannot load the job file \"%s\": %s", file, e.what()));
    }
    ++i;
  }
}

void TJobGroup::SavePrograms(const std::string& groupFile) const {
  AtomicWriteFile(groupFile, ProgramFileInfo->Text());
}

void TJobGroup::ClearLog() {
  for (int i = 0; i < Count(); ++i) {
    if (TJob* job = GetObj(i)) job->ClearLog();
  }
}

int32_t TJobGroup::CountIf(const std::function<bool(const TJob&)>& pred) const {
  int32_t n = 0;
  for (int i = 0; i < Count(); ++i) {
    const TJob* job = GetObj(i);
    if (job && pred(*job)) ++n;
  }
  return n;
}

int32_t TJobGroup::GetRunCount() const {
  return CountIf([](const TJob& j) { return j.IsRunning() || j.IsWaiting(); });
}
int32_t TJobGroup::GetRunningCount() const {
  return CountIf([](const TJob& j) { return j.IsRunning(); });
}
int32_t TJobGroup::GetSelectCount() const {
  return CountIf([](const TJob& j) { return j.Selected; });
}
int32_t TJobGroup::GetSelectRunCount() const {
  return CountIf([](const TJob& j) { return j.Selected && (j.IsRunning() || j.IsWaiting()); });
}
int32_t TJobGroup::GetSelectStopCount() const {
  return CountIf([](const TJob& j) { return j.Selected && j.IsStop(); });
}

// ---- TJobQueue -----------------------------------------------------------------------------------
TJob* TJobQueue::Pop() {
  if (jobs_.empty()) return nullptr;
  TJob* job = jobs_.front();
  jobs_.pop_front();
  return job;
}

void TJobQueue::DeleteJob(const TJob* job) {
  for (auto it = jobs_.begin(); it != jobs_.end(); ++it) {
    if (*it == job) {
      jobs_.erase(it);
      return;
    }
  }
}

// ---- Log size limit -----------------------------------------------------------------------------
void ApplyLogSizeLimit(const std::string& logFile) {
  if (!GlobalEnv || !GlobalEnv->LogOption || !JobGroup) return;
  const TLogOption& option = *GlobalEnv->LogOption;
  if (!option.Has(dlmDelExceedSize)) return;
  std::error_code ec;
  const auto size = std::filesystem::file_size(logFile, ec);
  if (ec) return;
  if (static_cast<int64_t>(size / 1024) > option.DelFileSize) JobGroup->ClearLog();
}

// ---- Chart hooks and class registration ----------------------------------------------------------
TKVFcJobHooks JobChartHooks() {
  TKVFcJobHooks h;
  h.MakeJob = [](TKVCustomFlowChart&) { return std::make_unique<TJob>(); };
  h.MakeDBLink = [](TKVCustomFlowChart& chart, TKVFcConnection&, TKVCustomDataSet* source,
                    TKVCustomDataSet* dest) {
    auto link = std::make_unique<TDBLink>();
    link->SetSourceDataSet(source);
    link->SetDestDataSet(dest);
    if (auto* job = ObjCast<TJob>(chart.Job())) {
      link->Job = job;
      link->OnIntelStatus = [job](TDBLink& sender, TJobStatus status) { job->StatusEvent(sender, status); };
    }
    return link;
  };
  h.WireDBLink = [](TKVFcConnection&, TBaseObject& object, TKVCustomDataSet* source, TKVCustomDataSet* dest) {
    auto& link = static_cast<TDBLink&>(object);
    link.SetSourceDataSet(source);
    link.SetDestDataSet(dest);
  };
  h.JobClass = TJob::StaticClass();
  h.DBLinkClass = TDBLink::StaticClass();
  return h;
}

namespace {
const TClassRegistrar g_registrar{
    TCustomSchedule::StaticClass(),    TDBLink::StaticClass(),          TDBLinks::StaticClass(),
    TDebugMode::StaticClass(),         TJob::StaticClass(),             TJobGroup::StaticClass(),
    TScheduleEveryDay::StaticClass(), TScheduleEveryMonth::StaticClass(),
    TScheduleEveryWeek::StaticClass(), TScheduleMode::StaticClass(),    TScheduleOnce::StaticClass()};

// A chart made anywhere in the program makes jobs and DB links of this layer.
const bool g_hooksSet = [] {
  SetDefaultFlowChartHooks(JobChartHooks());
  return true;
}();
}  // namespace

}  // namespace kv
