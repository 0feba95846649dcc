// The run of one DB link: opening, the record loop, the per-record steps
// and the end of the run. Everything here runs on the link's thread except
// what is handed to the main thread (events, logs, error data).
#include <algorithm>
#include <utility>

#include "data/ComputedValue.h"
#include "data/DatabaseError.h"
#include "data/DbConnection.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "expression/ThreadExp.h"
#include "foundation/DateUtils.h"
#include "foundation/Exceptions.h"
#include "foundation/Format.h"
#include "foundation/MainThread.h"
#include "foundation/StrUtils.h"
#include "foundation/ThreadLocks.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/DBLinkThread.h"
#include "jobs/RunPlan.h"

namespace kv {

namespace {

constexpr uint32_t kRecordsPerClockRead = 16;
// Rows per batch at least for engines that send appends in batches.

std::string ErrorText(const std::exception& e) {
  if (const auto* k = dynamic_cast<const Exception*>(&e)) return k->Message();
  return e.what();
}

bool IsKeyMode(TImportMode mode) { return mode == imUpdate || mode == imAppendUpdate || mode == imDelete; }

bool IsEditing(const TDataSet* d) { return d && (d->State() == dsEdit || d->State() == dsInsert); }

// Without blanks at either end (Trim alone keeps the leading ones).
std::string TrimBoth(const std::string& s) { return LTrim(Trim(s)); }

std::string UpperTrimmed(const std::string& s) {
  std::string t = TrimBoth(s);
  std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return t;
}

// One evaluation of a translated condition, read as a boolean.
bool Holds(TExpression& exp) {
  exp.Evaluate(NextStamp(exp.SyncFlag));
  return exp.GetBoolean();
}

// The translated `text`, or null for an empty text; a text that does not
// translate raises `err` filled with the link's name and the reason.
std::unique_ptr<TExpression> Compile(const std::string& text, const TMessage& err, const std::string& link) {
  if (TrimBoth(text).empty()) return nullptr;
  std::unique_ptr<TExpression> exp;
  if (!ValidateExp(text, exp)) throw Exception(Format(err.c_str(), link, GetExpErrorMsg()));
  return exp;
}

}  // namespace

// ---- The run (steps 1 to 7) --------------------------------------------------------------

void TDBLink::ExecuteRun(TDBLinkThread& thread) {
  SetStatus(jsStart);
  try {
    SetAllVarList();
    if (GlobalEnv && GlobalEnv->LogOption && GlobalEnv->LogOption->Has(dlmDelAtRun)) {
      RunInMainThread([this] { ClearLog(); });
    }
    DoBeforeExecute();
    if (!source_) throw Exception(Format(SPropertyError.c_str(), "SourceDataSet"));
    if (!dest_) throw Exception(Format(SPropertyError.c_str(), "DestDataSet"));
    if (IsKeyMode(dest_->ImportMode) && dest_->DatasetKeys.empty()) {
      throw Exception(Format(SPropertyError.c_str(), "DatasetKeys"));
    }
    if (mappings_->Count() == 0) throw Exception(SDBLinkNoDefineMaping.Text());
    PrepareAndConvert(thread);
  } catch (const std::exception& e) {
    FailRun(ErrorText(e));
  }
  BindClientDataSet(false);
  BindAppendRefusals(false);
  PublishCounters();
  const TJobStatus status = Status();
  if (status == jsStop || status == jsOk || status == jsError) DoAfterExecute();
  EndWriter();
  plan_.reset();
  destData_ = sourceData_ = nullptr;
  client_ = nullptr;
  CloseSessions();
}

// The datasets' connections belong to this thread: the run's end closes
// them here, so no engine dataset outlives the thread that opened it and
// no table stays open or locked for writing once the run is over.
void TDBLink::CloseSessions() {
  for (TKVCustomDataSet* d : {dest_, source_}) {
    if (!d) continue;
    try {
      d->CloseSession();
    } catch (const std::exception& e) {
      AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, ErrorText(e)));
    }
  }
}

void TDBLink::FailRun(const std::string& message) {
  std::string commitError;
  EndWriter();
  try {
    CancelPendingEdit();
    // What was written and counted before the failure is kept.
    FlushDestination();
  } catch (const std::exception& e) {
    commitError = ErrorText(e);
  }
  ResumeControls();
  AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, message));
  if (!commitError.empty()) AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, commitError));
  SetStatus(jsError);
}

// ---- Prepare and convert -----------------------------------------------------------------------

void TDBLink::PrepareAndConvert(TDBLinkThread& thread) {
  OpenDataSets();
  // Without an index on the key fields every locate walks the whole table.
  if (IsKeyMode(dest_->ImportMode) && !destData_->IndexDefs().FindForKeys(dest_->DatasetKeys)) {
    AddLog(ltWarnint, Format(SDBLinkNoKeyIndexMsg.c_str(), Name, dest_->DatasetKeys));
  }
  RunInMainThread([this] { InitErrorDataSetControl(); });
  Speed.Reset();
  sampleStart_ = std::chrono::steady_clock::now();
  thread.SetSampleSeconds(0);
  BuildFieldMapping();
  CompilePlan();
  Statistic.Reset();
  writeCounted_ = false;
  pendingWrites_ = 0;
  for (TDataSet* d : {destData_, sourceData_}) {
    d->DisableControls();
    disabled_.push_back(d);
  }
  if (dest_->ImportMode == imCopy) {
    Statistic.Deleted = std::max(0, destData_->RecordCount());
    dest_->EmptyData();
  }
  PublishCounters();
  source_->GoFirst();
  located_ = false;
  BindClientDataSet(true);
  BindAppendRefusals(true);
  writesInBackground_.store(WriterFits());
  if (writesInBackground_.load()) StartWriter();
  DoBeforeConvert();
  ConvertLoop(thread);
  DoAfterConvert();
  FinishRun(thread);
}

void TDBLink::OpenDataSets() {
  DoBeforeOpenSource();
  source_->BeforeImport();
  DoAfterOpenSource();
  DoBeforeOpenDest();
  dest_->BeforeImport();
  DoAfterOpenDest();
  sourceData_ = source_->GetDataset();
  destData_ = dest_->GetDataset();
  client_ = ObjCast<TKVMemDataSet>(destData_);
  if (client_ && !client_->CachedUpdates) client_ = nullptr;
}

// Translates the conditions and the mapping once, and binds the source and
// destination fields by name, now that both datasets are open.
void TDBLink::CompilePlan() {
  TRunPlan& plan = *plan_;
  plan.start = Compile(StartExp, SCheckStartExpErr, Name);
  plan.stop = Compile(StopExp, SCheckStopExpErr, Name);
  plan.filter = Compile(FilterExp, SCheckFilterExpErr, Name);
  plan.error = Compile(ErrorExp, SCheckErrorExpErr, Name);
  plan.pause = Compile(PauseExp, SCheckPauseExpErr, Name);
  for (TMapEntry& e : plan.values) {
    e.source = sourceData_->FindField(e.text);
    e.textIndex = e.source && e.source->ValueKind() == varString ? e.source->Index() : -1;
    if (!e.source && !e.text.empty()) {
      if (!ValidateExp(e.text, e.tree)) {
        throw Exception(Format(SCheckFieldExpErr.c_str(), e.field, Name, GetExpErrorMsg()));
      }
    }
    e.dest = destData_->FindField(e.field);
  }
  plan.destFields.clear();
  for (const TMapEntry& e : plan.values) plan.destFields.push_back(e.dest);
  plan.row.assign(plan.values.size(), TVariant::Null());
  for (TKeyEntry& k : plan.keys) {
    for (size_t i = 0; i < plan.values.size(); ++i) {
      if (plan.values[i].field == k.item) {
        k.valueIndex = i;
        break;
      }
    }
  }
  const TImportMode mode = dest_->ImportMode;
  plan.keysLoaded = mode != imAppend && mode != imCopy && !plan.keysNull && !plan.keys.empty();
}

void TDBLink::ConvertLoop(TDBLinkThread& thread) {
  for (;;) {
    ConvertRecords(thread);
    if (!writer_) return;
    // Every row read is written (or refused and reported) before the run
    // ends; a refusal that pauses the run lets it go on from the record after.
    SettleWriter(thread, true);
    if (!std::exchange(rewound_, false)) return;
    BetweenRecords(thread);
  }
}

void TDBLink::ConvertRecords(TDBLinkThread& thread) {
  while (!thread.Terminated() && source_->NeedMore()) {
    if (writer_ && (writer_->Failed() || IsDebug())) {
      // Refused rows are dealt with before the next record is taken; a run
      // switched to debugging goes on record by record.
      SettleWriter(thread, IsDebug());
      if (IsDebug() && !rewound_) EndWriter();
      if (std::exchange(rewound_, false)) {
        BetweenRecords(thread);
        continue;
      }
    }
    ConvertRecord(thread);
    if (!std::exchange(rewound_, false)) source_->GoNext();
    BetweenRecords(thread);
  }
}

void TDBLink::BetweenRecords(TDBLinkThread& thread) {
  PublishCounters();
  if (thread.Suspended()) {
    // The rows read before the pause are written before it.
    if (writer_) {
      SettleWriter(thread, true);
      rewound_ = false;
      PublishCounters();
      if (thread.Terminated() || Status() == jsStop) {
        thread.Terminate();
        return;
      }
    }
    CancelPendingEdit();
    SetStatus(jsPause);
    thread.PauseHere();
  } else if (Status() == jsStop) {
    CancelPendingEdit();
    thread.Terminate();
  }
}

void TDBLink::FinishRun(TDBLinkThread& thread) {
  EndWriter();
  const bool usedUp = !thread.Terminated() && !source_->NeedMore();
  if (!usedUp) {
    // Stopped: what was written so far is kept; the source stays where it is.
    CancelPendingEdit();
    FlushDestination();
    ResumeControls();
    if (IsRunning()) SetStatus(jsStop);
    return;
  }
  destData_->First();
  FlushDestination();
  ResumeControls();
  source_->AfterImport();
  TJobStatus status = jsOk;
  RunInMainThread([&] {
    SaveErrorDataToFile(GetErrorDataFileName());
    const bool clean = errorData_->Active() && errorData_->RecordCount() == 0;
    status = clean && Statistic.Errors == 0 ? jsOk : jsError;
  });
  SetStatus(status);
}

// Posts a pending write, applies what a client dataset still caches and
// commits the destination's connection: rows reported as written are in
// the database when the run ends, or the run fails.
void TDBLink::FlushDestination() {
  if (!destData_ || !destData_->Active()) return;
  if (IsEditing(destData_)) destData_->Post();
  if (client_) ApplyClient();
  if (dest_ && dest_->Connection()) dest_->Connection()->CommitPending();
}

void TDBLink::CancelPendingEdit() {
  // The writer thread owns the destination while it runs, and cancels what it fails itself.
  if (writer_) return;
  if (IsEditing(destData_)) destData_->Cancel();
}

void TDBLink::ResumeControls() {
  // Source first, then destination: the reverse of the suspension order.
  while (!disabled_.empty()) {
    TDataSet* d = disabled_.back();
    disabled_.pop_back();
    d->EnableControls();
  }
}

void TDBLink::BindClientDataSet(bool bind) {
  if (!client_) return;
  if (bind) {
    savedReconcile_ = std::move(client_->OnReconcileError);
    client_->OnReconcileError = [this](TKVMemDataSet& delta, const Exception& error, TUpdateKind kind,
                                       TReconcileAction& action) { ReconcileError(delta, error, kind, action); };
  } else {
    client_->OnReconcileError = std::move(savedReconcile_);
    savedReconcile_ = nullptr;
  }
}

void TDBLink::PublishCounters() {
  std::lock_guard<std::mutex> lock(countersMutex_);
  published_.Statistic = Statistic;
  published_.Speed = Speed;
}

TRunCounters TDBLink::Counters() const {
  std::lock_guard<std::mutex> lock(countersMutex_);
  return published_;
}

// ---- Convert one record ------------------------------------------------------------------------

void TDBLink::ConvertRecord(TDBLinkThread& thread) {
  // A record reached only because the run was told to end is not taken.
  if (thread.Terminated()) return;
  ++Statistic.Rows;
  writeCounted_ = false;
  bool debugStop = false;
  bool debugPause = false;
  bool goOn = true;
  try {
    if (LoadRecord()) {
      goOn = TakeRecord(thread, debugStop, debugPause);
    } else {
      ErrorMessage = Format(SDBLinkLoadErrorMsg.c_str(), Name);
      DoErrorEvent(sourceData_);
      ++Statistic.Errors;
    }
  } catch (const std::exception& e) {
    RecordFailed(ErrorText(e));
  }
  // A refused row before this record stopped the run: this record is not taken.
  if (rewound_) return;
  if (goOn) {
    ++Speed.Import;
    SampleSpeed(thread);
    if (IsDebug()) DoConvertRecord();
  }
  // The debug limits act after the record, whatever it set meanwhile.
  if (debugStop) {
    StopFromRun(&thread);
  } else if (debugPause) {
    RequestPause();
  }
}

// Steps 2.1 to 2.4 of a record whose values are loaded; false when the
// record ends early (stop condition, filter).
bool TDBLink::TakeRecord(TDBLinkThread& thread, bool& debugStop, bool& debugPause) {
  if (IsDebug()) DebugChecks(debugStop, debugPause);
  ++Speed.SourceBrowse;
  if (!started_.load() && (!plan_->start || Holds(*plan_->start))) {
    SetStatus(jsRunning);
    started_.store(true);
  }
  if (!started_.load() || thread.Terminated()) return true;
  if (Status() != jsRunning) SetStatus(jsRunning);
  if (plan_->stop && Holds(*plan_->stop)) {
    if (writer_) {
      SettleWriter(thread, true);
      if (rewound_) return false;
    }
    StopFromRun(&thread);
    return false;
  }
  if (plan_->filter && !Holds(*plan_->filter)) return false;
  LocateDest();
  WriteDest();
  if (RunOperate() == roDebugStep || (IsDebug() && plan_->pause && Holds(*plan_->pause))) {
    RequestPause();
    DoPause();
  }
  return true;
}

void TDBLink::DebugChecks(bool& debugStop, bool& debugPause) {
  const TDebugMode& d = *debugMode_;
  const int32_t rows = Statistic.Rows;
  if (d.StopOption == soStopAfterRows && d.StopAfterRows <= rows) {
    debugStop = true;
  } else if (d.PauseOption == poPauseAfterRows && d.PauseAfterRows > 0 && rows % d.PauseAfterRows == 0) {
    debugPause = true;
  }
  if (d.WarningOption == woWarningEverRows && d.WarningAfterRows > 0 && rows % d.WarningAfterRows == 0) {
    const std::string text = Format(SSourceDataSetAlreadyBrowseRows.c_str(), rows);
    RunInMainThread([&] { UserInterface().MessageDlg(text, mtWarning, mbOKOnly, mrOk); });
  }
}

void TDBLink::LocateDest() {
  TRunPlan& plan = *plan_;
  if (!IsKeyMode(dest_->ImportMode) || dest_->DatasetKeys.empty() || plan.keysNull || plan.keys.empty()) return;
  if (plan.keys.size() == 1) {
    located_ = dest_->LocateRecord(dest_->DatasetKeys, plan.values[plan.keys[0].valueIndex].value, 0);
    return;
  }
  if (!plan.keyValue.IsArray() || plan.keyValue.ArrayCount() != plan.keys.size()) {
    plan.keyValue = TVariant(std::vector<TVariant>(plan.keys.size()));
  }
  std::vector<TVariant>& elements = plan.keyValue.Elements();
  for (size_t i = 0; i < plan.keys.size(); ++i) elements[i] = plan.values[plan.keys[i].valueIndex].value;
  located_ = dest_->LocateRecord(dest_->DatasetKeys, plan.keyValue, 0);
}

void TDBLink::WriteDest() {
  TDataSet& d = *destData_;
  bool append = false;
  bool update = false;
  switch (dest_->ImportMode) {
    case imAppend:
    case imCopy:
      ++Statistic.Inserted;
      if (writer_) {
        writeCounted_ = true;
        PushRow();
        return;
      }
      append = true;
      break;
    case imUpdate:
      if (!located_) return;
      ++Statistic.Updated;
      update = true;
      break;
    case imAppendUpdate:
      if (located_) {
        ++Statistic.Updated;
        update = true;
      } else {
        ++Statistic.Inserted;
        append = true;
      }
      break;
    case imDelete:
      if (!located_) return;
      ++Statistic.Deleted;
      writeCounted_ = true;
      d.Delete();
      break;
  }
  writeCounted_ = true;
  if (append) {
    PostDest(true);
  } else if (update) {
    UpdateMapped();
  } else if (IsEditing(&d)) {
    for (const TMapEntry& e : plan_->values) {
      if (e.dest) e.dest->SetValue(e.value);
    }
    PostDest();
  }
  if (client_) {
    ++pendingWrites_;
    if (dest_->PostRecords > 0 && pendingWrites_ >= dest_->PostRecords) ApplyClient();
  }
}

// Hands the client dataset's cached writes to its database; when the
// database refused any, the writes still cached are dropped.
void TDBLink::ApplyClient() {
  pendingWrites_ = 0;
  if (IsEditing(client_)) client_->Post();
  if (client_->ChangeCount() == 0) return;
  if (client_->ApplyUpdates(-1) > 0) client_->CancelUpdates();
}

void TDBLink::RecordFailed(const std::string& message) {
  // The rows before this record are settled first, so that failures are reported in record order.
  if (writer_ && thread_) {
    SettleWriter(*thread_, true);
    if (rewound_) return;
  }
  try {
    CancelPendingEdit();
  } catch (const std::exception&) {
    // The record failed already; a refused cancel changes nothing more.
  }
  ++Speed.ErrRecords;
  ++Statistic.Errors;
  TakeBackWrite();
  ErrorMessage = Format(SDBLinkErrorMsg.c_str(), Name, message);
  DoErrorEvent(sourceData_);
  EvaluateErrorExp();
}

// Takes back the write counted for the record that failed (only when one
// was counted: a record failing before its write leaves the counters alone).
void TDBLink::TakeBackWrite() {
  if (!writeCounted_) return;
  writeCounted_ = false;
  auto takeBack = [](int32_t& counter) { counter = std::max(0, counter - 1); };
  switch (dest_->ImportMode) {
    case imAppend:
    case imCopy: takeBack(Statistic.Inserted); break;
    case imUpdate:
    case imAppendUpdate: takeBack(located_ ? Statistic.Updated : Statistic.Inserted); break;
    case imDelete:
      if (located_) takeBack(Statistic.Deleted);
      break;
  }
}

void TDBLink::EvaluateErrorExp() {
  if (!plan_ || !plan_->error) return;
  try {
    plan_->error->Evaluate(NextStamp(plan_->error->SyncFlag));
  } catch (const std::exception& e) {
    AddLog(ltError, Format(SDBLinkErrorMsg.c_str(), Name, ErrorText(e)));
  }
}

void TDBLink::SampleSpeed(TDBLinkThread& thread) {
  // The clock is read every few records: reading it costs about as much as a short record.
  if (++sampleTick_ % kRecordsPerClockRead != 0) return;
  const auto now = std::chrono::steady_clock::now();
  const int64_t s = std::chrono::duration_cast<std::chrono::seconds>(now - sampleStart_).count();
  thread.SetSampleSeconds(s);
  if (s < 2) return;
  const auto perSecond = [s](int32_t& counter) { counter = static_cast<int32_t>(counter / s); };
  Speed.SampleTime = Now();
  perSecond(Speed.SourceBrowse);
  perSecond(Speed.Import);
  perSecond(Speed.ErrRecords);
  DoConvertRecord();
  Speed.Reset();
  sampleStart_ = now;
  thread.SetSampleSeconds(0);
  DoUpdateProgress();
}

void TDBLink::RequestPause() {
  SetStatus(jsPause);
  if (thread_) thread_->Suspend();
}

void TDBLink::StopFromRun(TDBLinkThread* thread) {
  SetStatus(jsStop);
  if (thread) thread->Terminate();
}

// ---- Mapping -----------------------------------------------------------------------------

void TDBLink::BuildFieldMapping() {
  plan_ = std::make_unique<TRunPlan>();
  FillKey4Locate();
  FillKey4Values();
}

void TDBLink::FillKey4Values() {
  if (!plan_) plan_ = std::make_unique<TRunPlan>();
  plan_->values.clear();
  plan_->values.resize(static_cast<size_t>(mappings_->Count()));
  for (int i = 0; i < mappings_->Count(); ++i) {
    const std::string name = mappings_->Names(i);
    TMapEntry& e = plan_->values[static_cast<size_t>(i)];
    e.field = UpperTrimmed(name);
    e.text = TrimBoth(mappings_->Values(name));
  }
}

void TDBLink::FillKey4Locate() {
  if (!plan_) plan_ = std::make_unique<TRunPlan>();
  plan_->keys.clear();
  plan_->keysNull = true;
  if (!dest_ || !IsKeyMode(dest_->ImportMode) || dest_->DatasetKeys.empty()) return;
  plan_->keysNull = false;
  const std::string& keys = dest_->DatasetKeys;
  for (int n = 0; n < SParamCount(keys, ';'); ++n) {
    const std::string item = SParam(keys, ';', n);
    for (int i = 0; i < mappings_->Count(); ++i) {
      const std::string name = mappings_->Names(i);
      if (UpperTrimmed(name) != item) continue;
      plan_->keys.push_back(TKeyEntry{item, TrimBoth(mappings_->Values(name)), 0});
      break;
    }
  }
}

bool TDBLink::LoadRecord() {
  if (!plan_) return false;
  std::vector<TMapEntry>& values = plan_->values;
  // With the writer thread the values go straight into its next row,
  // unless the convert-record event is to show them.
  loadedRow_ = writer_ && !OnConvertRecord ? writer_->Row() : nullptr;
  // A source holding its records as text hands the record over at once,
  // fetched again after an expression (which may move the source).
  const std::vector<std::string_view>* texts = nullptr;
  bool textsFetched = false;
  for (size_t i = 0; i < values.size(); ++i) {
    TMapEntry& e = values[i];
    TVariant& value = loadedRow_ ? loadedRow_[i] : e.value;
    if (e.source) {
      if (e.textIndex >= 0 && !textsFetched) {
        texts = sourceData_->CurrentTexts();
        textsFetched = true;
      }
      if (e.textIndex >= 0 && texts) {
        const auto at = static_cast<size_t>(e.textIndex);
        value.AssignText(at < texts->size() ? (*texts)[at] : std::string_view());
      } else {
        e.source->ReadValue(value);
      }
    } else if (e.tree) {
      textsFetched = false;
      try {
        e.tree->Evaluate(NextStamp(e.tree->SyncFlag));
      } catch (const std::exception& error) {
        throw EDatabaseError(Format(SExpressionError.c_str(), ErrorText(error)));
      }
      value = ComputedFieldValue(*e.tree);
    } else {
      value = TVariant::Null();
    }
  }
  return true;
}

TVariant TDBLink::GetParsedValue(const std::string& exp, int) { return source_->GetFieldValue(TVariant(exp)); }

TVariant TDBLink::FieldValues() const {
  std::vector<TVariant> entries;
  if (!plan_) return TVariant(std::move(entries));
  entries.reserve(plan_->values.size());
  for (const TMapEntry& e : plan_->values) {
    entries.push_back(TVariant::Array({TVariant(e.field), TVariant(e.text), e.value, TVariant(-1)}));
  }
  return TVariant(std::move(entries));
}

TVariant TDBLink::KeyValues() const {
  if (!plan_ || plan_->keysNull) return TVariant::Null();
  std::vector<TVariant> entries;
  for (const TKeyEntry& k : plan_->keys) {
    const TVariant value = plan_->keysLoaded && k.valueIndex < plan_->values.size()
                               ? plan_->values[k.valueIndex].value
                               : TVariant();
    entries.push_back(TVariant::Array({TVariant(k.item), TVariant(k.text), value, TVariant(-1)}));
  }
  return TVariant(std::move(entries));
}

// ---- Error data and reconciliation -----------------------------------------------------------

void TDBLink::InitErrorDataSetControl() {
  TDataSet* source = source_ ? source_->GetDataset() : nullptr;
  if (!source || !source->Active()) return;
  errorData_->Close();
  errorData_->CopyStructure(*source);
  errorData_->CreateDataSet();
}

// Posts the destination's edit. An append the engine may keep unsent
// remembers its source record until the engine has sent it, so that a
// refusal reported later (AppendRefused) fails the right record.
void TDBLink::PostDest(bool append) {
  TDataSet& d = *destData_;
  const bool remember = (append || d.State() == dsInsert) && d.AppendsBatched();
  if (remember) {
    // A bookmark finds the record again without copying it.
    const TBookmark bookmark = sourceData_->GetBookmark();
    std::vector<TVariant> record;
    if (bookmark == kNoBookmark) {
      record.resize(static_cast<size_t>(sourceData_->FieldCount()));
      for (int i = 0; i < sourceData_->FieldCount(); ++i) record[static_cast<size_t>(i)] = sourceData_->Fields(i).Value();
    }
    unsent_.push_back({d.AppendsPosted() + 1, bookmark, std::move(record)});
  }
  try {
    if (append) AppendMapped();
    else d.Post();
  } catch (...) {
    if (remember && !unsent_.empty() && unsent_.back().appendNo > d.AppendsPosted()) unsent_.pop_back();
    throw;
  }
  const int64_t sent = d.AppendsPosted() - d.PendingAppends();
  while (!unsent_.empty() && unsent_.front().appendNo <= sent) unsent_.pop_front();
}

// The mapped values as one new record. They are swapped into the row
// (the next record assigns every value again), except while the
// convert-record event or the key values may show them between two records.
void TDBLink::AppendMapped() {
  TRunPlan& plan = *plan_;
  std::vector<TMapEntry>& values = plan.values;
  if (OnConvertRecord || plan.keysLoaded) {
    for (size_t i = 0; i < values.size(); ++i) plan.row[i] = values[i].value;
  } else {
    for (size_t i = 0; i < values.size(); ++i) plan.row[i].Swap(values[i].value);
  }
  destData_->AppendRecord(plan.destFields.data(), plan.row.data(), plan.row.size());
}

// The located record changed to the mapped values (copied: the key
// values show them between two records).
void TDBLink::UpdateMapped() {
  TRunPlan& plan = *plan_;
  for (size_t i = 0; i < plan.values.size(); ++i) plan.row[i] = plan.values[i].value;
  destData_->UpdateRecord(plan.destFields.data(), plan.row.data(), plan.row.size());
}

void TDBLink::BindAppendRefusals(bool bind) {
  if (!destData_) return;
  if (bind) {
    savedAppendRefused_ = std::move(destData_->OnAppendRefused);
    destData_->OnAppendRefused = [this](int64_t appendNo, const std::string& message) {
      AppendRefused(appendNo, message);
    };
  } else {
    destData_->OnAppendRefused = std::move(savedAppendRefused_);
    savedAppendRefused_ = nullptr;
    unsent_.clear();
  }
}

// A row the server refused when its batch was sent: the record it came
// from fails as if its own write had failed -- counted, its insertion taken
// back, reported with its source record (in ReconcileData) and the error
// expression evaluated.
void TDBLink::AppendRefused(int64_t appendNo, const std::string& message) {
  auto it = std::find_if(unsent_.begin(), unsent_.end(), [&](const TUnsentAppend& u) { return u.appendNo == appendNo; });
  if (it != unsent_.end() && it->bookmark != kNoBookmark) {
    const TBookmark bookmark = it->bookmark;
    unsent_.erase(it);
    ++Speed.ErrRecords;
    ++Statistic.Errors;
    Statistic.Inserted = std::max(0, Statistic.Inserted - 1);
    ErrorMessage = Format(SDBLinkErrorMsg.c_str(), Name, message);
    ErrorOnSourceRecord(bookmark);
    return;
  }
  TDataSet* record = nullptr;
  if (it != unsent_.end()) {
    reconcileData_->Close();
    reconcileData_->CopyStructure(*sourceData_);
    reconcileData_->CreateDataSet();
    reconcileData_->Append();
    for (size_t i = 0; i < it->source.size(); ++i) reconcileData_->Fields(static_cast<int>(i)).SetValue(it->source[i]);
    reconcileData_->Post();
    record = reconcileData_.get();
    unsent_.erase(it);
  }
  ++Speed.ErrRecords;
  ++Statistic.Errors;
  Statistic.Inserted = std::max(0, Statistic.Inserted - 1);
  ErrorMessage = Format(SDBLinkErrorMsg.c_str(), Name, message);
  DoErrorEvent(record);
  EvaluateErrorExp();
}

void TDBLink::ReconcileError(TKVMemDataSet& dataSet, const Exception& error, TUpdateKind kind, TReconcileAction&) {
  reconcileData_->Close();
  reconcileData_->CopyStructure(dataSet);
  reconcileData_->CreateDataSet();
  reconcileData_->AppendRecords(dataSet);
  reconcileData_->First();
  ++Speed.ErrRecords;
  ++Statistic.Errors;
  auto takeBack = [](int32_t& counter) { counter = std::max(0, counter - 1); };
  takeBack(kind == ukModify ? Statistic.Updated : kind == ukInsert ? Statistic.Inserted : Statistic.Deleted);
  ErrorMessage = Format(SDBLinkErrorMsg.c_str(), Name, error.Message());
  DoErrorEvent(reconcileData_.get());
  EvaluateErrorExp();
}

// ---- Events -------------------------------------------------------------------------------------

void TDBLink::RaiseInMain(const TLinkNotifyEvent& event) {
  if (event) RunInMainThread([&] { event(*this); });
}

void TDBLink::DoBeforeExecute() { RaiseInMain(OnBeforeExecute); }
void TDBLink::DoAfterExecute() { RaiseInMain(OnAfterExecute); }
void TDBLink::DoBeforeOpenSource() { RaiseInMain(OnBeforeOpenSource); }
void TDBLink::DoAfterOpenSource() { RaiseInMain(OnAfterOpenSource); }
void TDBLink::DoBeforeOpenDest() { RaiseInMain(OnBeforeOpenDest); }
void TDBLink::DoAfterOpenDest() { RaiseInMain(OnAfterOpenDest); }
void TDBLink::DoBeforeConvert() { RaiseInMain(OnBeforeConvert); }
void TDBLink::DoAfterConvert() { RaiseInMain(OnAfterConvert); }
void TDBLink::DoUpdateProgress() { RaiseInMain(OnUpdateProgress); }
void TDBLink::DoPause() { RaiseInMain(OnPause); }

void TDBLink::DoStatusEvent() {
  if (!OnStatus) return;
  const TJobStatus status = Status();
  RunInMainThread([&] { OnStatus(*this, status); });
}

void TDBLink::DoIntelStatusEvent() {
  if (OnIntelStatus) OnIntelStatus(*this, Status());
}

void TDBLink::DoLogOccur() {
  RunInMainThread([this] {
    TKVLog* log = logs_->Count() > 0 ? logs_->GetObj(logs_->Count() - 1) : nullptr;
    if (OnLogOccur && log) OnLogOccur(*log);
  });
}

void TDBLink::DoErrorEvent(TDataSet* dataSet) {
  RunInMainThread([&] {
    {
      TThreadLockGuard lock;
      if (OnError) {
        OnError(*this, ErrorMessage, dataSet, Abort);
        if (Abort == amPause) {
          RequestPause();
        } else if (Abort == amStop) {
          StopFromRun(thread_.get());
        }
      }
    }
    if (MaxErrors > 0 && Statistic.Errors >= MaxErrors) Stop();
  });
}

void TDBLink::DoConvertRecord() {
  if (!OnConvertRecord) return;
  const TVariant values = FieldValues();
  RunInMainThread([&] {
    OnConvertRecord(*this, values, Speed, Abort);
    if (Abort == amPause) {
      RequestPause();
    } else if (Abort == amStop) {
      StopFromRun(thread_.get());
    }
  });
}

}  // namespace kv
