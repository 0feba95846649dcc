#include "jobs/DBLink.h"

#include <fstream>
#include <sstream>

#include "data/MemDataSet.h"
#include "data/OracleDataSets.h"
#include "data/QueryDataSet.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/TextFileDataset.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "expression/DBFunctions.h"
#include "expression/Expression.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "foundation/StringLists.h"
#include "foundation/MainThread.h"
#include "jobs/DBLinkThread.h"
#include "jobs/Job.h"
#include "jobs/RunPlan.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDebugMode, TBaseObject)
KV_IMPLEMENT_CLASS(TDBLink, TBaseObject)
KV_IMPLEMENT_CLASS(TDBLinks, TStoredStrList)

bool StatusIsRunning(TJobStatus status) noexcept { return status == jsStart || status == jsRunning; }

bool StatusIsStop(TJobStatus status) noexcept {
  return status == jsStop || status == jsOk || status == jsError || status == jsPause;
}

void TSpeedValue::Reset() {
  SourceBrowse = Import = ErrRecords = 0;
  SampleTime = Now();
}

TSpeedValue& TSpeedValue::operator+=(const TSpeedValue& other) noexcept {
  SourceBrowse += other.SourceBrowse;
  Import += other.Import;
  ErrRecords += other.ErrRecords;
  return *this;
}

TRunStatistic& TRunStatistic::operator+=(const TRunStatistic& other) noexcept {
  Rows += other.Rows;
  Inserted += other.Inserted;
  Deleted += other.Deleted;
  Updated += other.Updated;
  Errors += other.Errors;
  return *this;
}

// ---- TDebugMode ----------------------------------------------------------------------------
void TDebugMode::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptByte>(proc, param, StopOption, "StopOption", StopOption != 0);
  Prop<ptByte>(proc, param, PauseOption, "PauseOption", PauseOption != 0);
  Prop<ptByte>(proc, param, WarningOption, "WarningOption", WarningOption != 0);
  Prop<ptInteger>(proc, param, StopAfterRows, "StopAfterRows", StopAfterRows != 0);
  Prop<ptInteger>(proc, param, PauseAfterRows, "PauseAfterRows", PauseAfterRows != 0);
  Prop<ptInteger>(proc, param, WarningAfterRows, "WarningAfterRows", WarningAfterRows != 0);
}

void TDebugMode::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TDebugMode>(source);
  if (!s) return inherited::Assign(source);
  StopOption = s->StopOption;
  PauseOption = s->PauseOption;
  WarningOption = s->WarningOption;
}

// ---- TDBLink ----------------------------------------------------------------------------------
TDBLink::TDBLink()
    : CreateTime(Now()),
      debugMode_(new TDebugMode),
      mappings_(new TPlainStringList),
      varList_(new TVarList),
      logs_(std::make_unique<TKVLogs>()),
      errorData_(std::make_unique<TKVMemDataSet>()),
      reconcileData_(std::make_unique<TKVMemDataSet>()) {
  ReplaceDataSet(source_, ownSource_, nullptr);
  ReplaceDataSet(dest_, ownDest_, nullptr);
  ownSource_ = std::make_unique<TKVCustomDataSet>();
  ownDest_ = std::make_unique<TKVCustomDataSet>();
  source_ = ownSource_.get();
  dest_ = ownDest_.get();
  source_->OwnerLink = this;
  dest_->OwnerLink = this;
}

TDBLink::~TDBLink() {
  // A running thread ends first (its end runs DoTerminate, on the main thread).
  if (thread_) thread_->TerminateAndWait();
  thread_.reset();
  oldThread_.reset();
  // A dataset of a shape outlives its link: it must not call back into it.
  if (source_ && source_->OwnerLink == this) source_->OwnerLink = nullptr;
  if (dest_ && dest_->OwnerLink == this) dest_->OwnerLink = nullptr;
}

void TDBLink::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptBoolean>(proc, param, BackErrorData, "BackErrorData", true);
  Prop<ptDouble>(proc, param, CreateTime, "CreateTime", CreateTime != 0);
  Prop<ptObject>(proc, param, debugMode_, "DebugMode", debugMode_.get() != nullptr);
  Prop<ptString>(proc, param, DefaultFolder, "DefaultFolder", !DefaultFolder.empty());
  Prop<ptString>(proc, param, Description, "Description", !Description.empty());
  Prop<ptInteger>(proc, param, destIndex_, "DestDataSetIndex", destIndex_ != 0);
  Prop<ptString>(proc, param, ErrorExp, "ErrorExp", !ErrorExp.empty());
  Prop<ptString>(proc, param, ErrorDataFileName, "ErrorDataFileName", !ErrorDataFileName.empty());
  Prop<ptString>(proc, param, FilterExp, "FilterExp", !FilterExp.empty());
  Prop<ptString>(proc, param, LogFileName, "LogFileName", !LogFileName.empty());
  Prop<ptObjects>(proc, param, mappings_, "Mappings", mappings_.get() != nullptr);
  Prop<ptSet8>(proc, param, MatchModes, "MatchModes", MatchModes != 0);
  // Written even when 0 ("no limit"): left out, it would read back as 100.
  Prop<ptInteger>(proc, param, MaxErrors, "MaxErrors", true);
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptSet8>(proc, param, Options, "Options", Options != 0);
  Prop<ptString>(proc, param, PauseExp, "PauseExp", !PauseExp.empty());
  Prop<ptDouble>(proc, param, RunTime, "RunTime", RunTime != 0);
  Prop<ptInteger>(proc, param, sourceIndex_, "SourceDataSetIndex", sourceIndex_ != 0);
  Prop<ptByte>(proc, param, sourceDataType_, "SourceDataType", sourceDataType_ != sdtOrigin);
  Prop<ptString>(proc, param, StartExp, "StartExp", !StartExp.empty());
  // The status is read and written through a plain byte.
  uint8_t status = status_.load();
  Prop<ptByte>(proc, param, status, "Status", status != jsStop);
  status_.store(static_cast<TJobStatus>(status));
  Prop<ptString>(proc, param, StopExp, "StopExp", !StopExp.empty());
  Prop<ptString>(proc, param, TitleStatus, "TitleStatus", !TitleStatus.empty());
  Prop<ptObject>(proc, param, varList_, "VarList", varList_.get() != nullptr);
}

void TDBLink::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TDBLink>(source);
  if (!s) return inherited::Assign(source);
  if (s == this) return;
  OnIntelStatus = s->OnIntelStatus;
  BackErrorData = s->BackErrorData;
  CreateTime = s->CreateTime;
  debugMode_->Assign(s->debugMode_.get());
  debugMode_->StopAfterRows = s->debugMode_->StopAfterRows;
  debugMode_->PauseAfterRows = s->debugMode_->PauseAfterRows;
  debugMode_->WarningAfterRows = s->debugMode_->WarningAfterRows;
  DefaultFolder = s->DefaultFolder;
  Description = s->Description;
  CopyDataSet(dest_, ownDest_, s->dest_);
  ErrorExp = s->ErrorExp;
  ErrorDataFileName = s->ErrorDataFileName;
  FilterExp = s->FilterExp;
  logs_->Assign(s->logs_.get());
  LogFileName = s->LogFileName;
  Name = s->Name;
  mappings_->Assign(*s->mappings_);
  MatchModes = s->MatchModes;
  MaxErrors = s->MaxErrors;
  Options = s->Options;
  PauseExp = s->PauseExp;
  runOperate_.store(s->runOperate_.load());
  RunTime = s->RunTime;
  CopyDataSet(source_, ownSource_, s->source_);
  sourceDataType_ = s->sourceDataType_;
  StartExp = s->StartExp;
  status_.store(s->status_.load());
  StopExp = s->StopExp;
  TitleStatus = s->TitleStatus;
  varList_->Assign(s->varList_.get());
}

namespace {
// A new, empty dataset of the kind of `from` (the kinds a job uses), or null.
std::unique_ptr<TKVCustomDataSet> NewOfKind(const TKVCustomDataSet& from) {
  if (ObjCast<TKVTextDataSet>(&from)) return std::make_unique<TKVTextDataSet>();
  if (ObjCast<TKVQueryDataSet>(&from)) return std::make_unique<TKVQueryDataSet>();
  if (from.ClassType() == TKVTableDataSet::StaticClass()) return std::make_unique<TKVTableDataSet>();
  if (ObjCast<TKVOracleDataSet>(&from)) return std::make_unique<TKVOracleDataSet>();
  if (ObjCast<TKVODBCDataSet>(&from)) return std::make_unique<TKVODBCDataSet>();
  if (ObjCast<TKVFileDBDataSet>(&from)) return std::make_unique<TKVFileDBDataSet>();
  return nullptr;
}
}  // namespace

void TDBLink::CopyDataSet(TKVCustomDataSet*& slot, std::unique_ptr<TKVCustomDataSet>& owned,
                          const TKVCustomDataSet* from) {
  if (!from) return;
  std::unique_ptr<TKVCustomDataSet> copy = NewOfKind(*from);
  if (!copy) {
    if (slot) slot->Assign(from);
    return;
  }
  copy->Assign(from);
  TKVCustomDataSet* raw = copy.get();
  ReplaceDataSet(slot, owned, raw);
  owned = std::move(copy);
}

void TDBLink::ReplaceDataSet(TKVCustomDataSet*& slot, std::unique_ptr<TKVCustomDataSet>& owned,
                             TKVCustomDataSet* dataSet) {
  if (slot && slot != dataSet && slot->OwnerLink == this) slot->OwnerLink = nullptr;
  slot = dataSet;
  if (owned.get() != dataSet) owned.reset();
  if (dataSet) dataSet->OwnerLink = this;
}

void TDBLink::SetSourceDataSet(TKVCustomDataSet* dataSet) { ReplaceDataSet(source_, ownSource_, dataSet); }
void TDBLink::SetDestDataSet(TKVCustomDataSet* dataSet) { ReplaceDataSet(dest_, ownDest_, dataSet); }

namespace {
constexpr const char* kDuplicateIndex = "not allow duplicate between source and dest !";
}

void TDBLink::SetSourceDataSetIndex(int32_t index) {
  if (index == destIndex_) throw Exception(kDuplicateIndex);
  sourceIndex_ = index;
}

void TDBLink::SetDestDataSetIndex(int32_t index) {
  if (index == sourceIndex_) throw Exception(kDuplicateIndex);
  destIndex_ = index;
}

void TDBLink::SetMappings(const TPlainStringList& list) {
  if (&list != mappings_.get()) mappings_->Assign(list);
}

void TDBLink::SetSourceDataType(TSourceDataType type) {
  if (type == sourceDataType_) return;
  sourceDataType_ = type;
  if (!source_) return;
  if (type == sdtError) {
    auto errorSource = std::make_unique<TKVMemDataSet>();
    LoadErrorData(*errorSource);
    source_->SetDataSet(std::move(errorSource));
  } else {
    // An unbound engine dataset: the source's kind puts its own in place again.
    source_->SetDataSet(nullptr);
  }
}

void TDBLink::AutoMapping() {
  if (!dest_) return;
  TDataSet* data = dest_->GetDataset();
  if (!data->Active()) data->Open();
  for (int i = 0; i < data->FieldCount(); ++i) {
    const std::string& field = data->Fields(i).FieldName();
    mappings_->Add(field + "=" + field);
  }
}

void TDBLink::SetAllVarList() {
  auto translator = std::make_unique<TExpTranslator>();
  TVarList* sourceVars = source_ ? source_->GetVarList() : varList_.get();
  translator->VarList = sourceVars;
  SetTranslator(std::move(translator));
  if (sourceVars != varList_.get()) {
    sourceVars->SetVarListParent(varList_.get());
    sourceVars->SetParentEnabled(true);
  }
  if (Job) {
    varList_->SetVarListParent(Job->VarList.get());
    varList_->SetParentEnabled(true);
  }
  RegisterBaseFunctions();
  RegisterDBFunctions();
}

// ---- Error data ----------------------------------------------------------------------------
std::string TDBLink::GetErrorDataFileName() const {
  if (Job) {
    const std::string file = Job->GetSaveFileName();
    const size_t slash = file.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    return Format("%s%s%s.err", folder, Job->Name, Name);
  }
  return Format("%s%s.err", GlobalEnv ? GlobalEnv->DefaultFolder : std::string(), Name);
}

void TDBLink::SaveErrorDataToFile(const std::string& fileName) const { errorData_->SaveToFile(fileName); }

void TDBLink::LoadErrorDataFromFile(const std::string& fileName) {
  if (!FileExists(fileName)) return;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFOpenError(Format("Cannot open file \"%s\"", fileName));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  // Read into a scratch dataset first, so a bad file leaves ErrorData alone.
  TKVMemDataSet check;
  check.LoadFromBytes(bytes.str());
  errorData_->LoadFromBytes(bytes.str());
}

void TDBLink::LoadErrorData(TKVMemDataSet& into) {
  if (errorData_->FieldDefs().Count() == 0 && errorData_->FieldCount() == 0) return;
  into.Close();
  into.CopyStructure(*errorData_);
  into.CreateDataSet();
  if (errorData_->Active()) into.AppendRecords(*errorData_);
  into.First();
}

// ---- Logs ------------------------------------------------------------------------------------
void TDBLink::SaveLogToFile(const std::string& fileName) const {
  logs_->SaveLogToFile(fileName);
  ApplyLogSizeLimit(fileName);
}

void TDBLink::LoadLogFromFile(const std::string& fileName) { logs_->LoadLogFromFile(fileName); }

void TDBLink::ClearLog() { logs_->Clear(); }

void TDBLink::AddLog(TLogType type, const std::string& text) {
  RunInMainThread([&] {
    logs_->AddLog(type, text);
    TKVLog* log = logs_->GetObj(logs_->Count() - 1);
    if (OnLogOccur && log) OnLogOccur(*log);
  });
}

// ---- Checks -------------------------------------------------------------------------------------
bool TDBLink::CheckExp(const std::string& text, const TMessage& ok, const TMessage& err) {
  const bool valid = ValidateExp(text, expression_);
  if (valid) {
    AddLog(ltInfo, Format(ok.c_str(), Name));
  } else {
    AddLog(ltError, Format(err.c_str(), Name, GetExpErrorMsg()));
  }
  return valid;
}

bool TDBLink::CheckStartExp() { return CheckExp(StartExp, SCheckStartExpSuc, SCheckStartExpErr); }
bool TDBLink::CheckStopExp() { return CheckExp(StopExp, SCheckStopExpSuc, SCheckStopExpErr); }
bool TDBLink::CheckFilterExp() { return CheckExp(FilterExp, SCheckFilterExpSuc, SCheckFilterExpErr); }
bool TDBLink::CheckErrorExp() { return CheckExp(ErrorExp, SCheckErrorExpSuc, SCheckErrorExpErr); }
bool TDBLink::CheckPauseExp() { return CheckExp(PauseExp, SCheckPauseExpSuc, SCheckPauseExpErr); }

bool TDBLink::CheckMappingExp() {
  bool all = true;
  for (int i = 0; i < mappings_->Count(); ++i) {
    const std::string field = mappings_->Names(i);
    if (ValidateExp(mappings_->Values(field), expression_)) continue;
    all = false;
    AddLog(ltError, Format(SCheckFieldExpErr.c_str(), field, Name, GetExpErrorMsg()));
  }
  if (all) AddLog(ltInfo, Format(SCheckAllFieldExpSuc.c_str(), Name));
  return all;
}

bool TDBLink::Validate() {
  SetAllVarList();
  return CheckStartExp() && CheckStopExp() && CheckFilterExp() && CheckErrorExp() && CheckPauseExp() &&
         CheckMappingExp();
}

// ---- TDBLinks ----------------------------------------------------------------------------------
TDBLinks::TDBLinks() = default;

TDBLinks::~TDBLinks() { ClearLinks(); }

void TDBLinks::Assign(const TBaseObject* source) {
  const auto* s = ObjCast<TDBLinks>(source);
  if (!s) return inherited::Assign(source);
  if (s == this) return;
  ClearLinks();
  for (int i = 0; i < s->Count(); ++i) {
    auto link = std::make_unique<TDBLink>();
    if (const TDBLink* from = s->GetObj(i)) link->Assign(from);
    const std::string name = link->Name;
    AddOwned(name, std::move(link));
  }
}

TDBLink* TDBLinks::GetObj(int index) const { return ObjCast<TDBLink>(inherited::GetObj(index)); }

int TDBLinks::AddReference(const std::string& key, TDBLink* link) {
  if (!references_ && Count() > 0) throw EListError("A DB link list cannot mix owned and referred links");
  references_ = true;
  return Inner().AddObject(key, link);
}

void TDBLinks::ClearLinks() {
  // A list whose reading failed half-way may have no inner list.
  if (!List) {
    references_ = false;
    return;
  }
  if (references_) {
    for (int i = Count() - 1; i >= 0; --i) Extract(i);
  }
  Clear();
  references_ = false;
}

}  // namespace kv
