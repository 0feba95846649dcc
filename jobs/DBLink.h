// The DB link: moves the records of one source dataset into one destination
// dataset through a field mapping (one line per destination field,
// "field=expression"). This header holds the model side of the link: its
// settings and their persistence, copying, the error data and its ".err"
// file, the variable chain used to translate its expressions, the condition
// checks, and the status predicates; then the run of the link (its thread,
// the commands that start, pause, step and stop it, and the record loop).
//
// Ownership: a link owns its DebugMode, Mappings, VarList, Logs and the three
// in-memory datasets (ErrorData, ReconcileData, ErrorSource). Its source and
// destination datasets are owned by the link only when the link made them
// (a new link, or Assign); SetSourceDataSet/SetDestDataSet refer to a
// dataset that stays with its giver (a shape of the design chart), which
// must outlive the link or hand it a new one first. Job is not owned.
//
// Threads: a run executes on the link's own TDBLinkThread (owned by the
// link). The commands (Execute, Run, DebugGo, Step, Pause, Stop) and
// DoTerminate belong to the main thread. While a run goes on, only the run
// thread touches the datasets, the counters (Statistic, Speed) and the run
// state; the main thread reads the counters through Counters(), and the
// link's events, its log list and its error data are used in the main
// thread only (the run hands every event over to it and waits). A link
// that is freed first tells its thread to end and waits for it: free it on
// the main thread, or while the main thread pumps.
#pragma once

#include <atomic>
#include <deque>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/BackgroundWriter.h"
#include "data/BaseDataSet.h"
#include "data/CustomDataSet.h"
#include "data/MemDataSet.h"
#include "environment/Logs.h"
#include "expression/VarList.h"
#include "foundation/BaseObject.h"
#include "foundation/LibMessages.h"
#include "foundation/StringLists.h"

namespace kv {

class TExpression;
class TJob;
class TKVLog;
class TKVLogs;
class TKVMemDataSet;
class TDBLinkThread;
class Exception;
struct TRunPlan;

// ---- Enumerations (one byte each) ----------------------------------------------------
enum TJobStatus : uint8_t { jsStop, jsPause, jsStart, jsWaiting, jsRunning, jsOk, jsError };
enum TSourceDataType : uint8_t { sdtOrigin, sdtError };
enum TMatchMode : uint8_t { mmPartialToOutput, mmPartialToInput, mmCaseInsensitive };
using TMatchModes = uint8_t;  // bit n = TMatchMode n
enum TStopOption : uint8_t { soNolimit, soStopAfterRows };
enum TPauseOption : uint8_t { poNolimit, poPauseAfterRows };
enum TWarningOption : uint8_t { woNoWarning, woWarningEverRows };
enum TAbortMode : uint8_t { amNone, amPause, amStop };
enum TRunMode : uint8_t { rmByHand, rmByAuto };

// Running: jsStart or jsRunning. Stopped: jsStop, jsOk, jsError, jsPause.
KVCORE_EXPORT bool StatusIsRunning(TJobStatus status) noexcept;
KVCORE_EXPORT bool StatusIsStop(TJobStatus status) noexcept;

// ---- Run counters -----------------------------------------------------------------------
// Records per sample (later per second) of one link or job.
struct KVCORE_EXPORT TSpeedValue {
  int32_t SourceBrowse = 0;
  int32_t Import = 0;
  int32_t ErrRecords = 0;
  double SampleTime = 0;  // days since 30 December 1899
  // The three counters to 0, SampleTime to now.
  void Reset();
  // Adds the three counters; SampleTime stays.
  TSpeedValue& operator+=(const TSpeedValue& other) noexcept;
};

struct KVCORE_EXPORT TRunStatistic {
  int32_t Rows = 0;
  int32_t Inserted = 0;
  int32_t Deleted = 0;
  int32_t Updated = 0;
  int32_t Errors = 0;
  void Reset() noexcept { *this = TRunStatistic{}; }
  TRunStatistic& operator+=(const TRunStatistic& other) noexcept;
};

// The counters of a link as the main thread may read them during a run.
struct TRunCounters {
  TRunStatistic Statistic;
  TSpeedValue Speed;
};

// ---- Events (the sender always comes first) ------------------------------------------------
class TDBLink;
using TLinkNotifyEvent = std::function<void(TDBLink& sender)>;
using TLinkStatusEvent = std::function<void(TDBLink& sender, TJobStatus status)>;
using TLinkErrorEvent =
    std::function<void(TDBLink& sender, const std::string& error, TDataSet* dataSet, TAbortMode& abort)>;
using TLinkConvertRecordEvent = std::function<void(TDBLink& sender, const TVariant& values,
                                                   const TSpeedValue& speed, TAbortMode& abort)>;
using TLogOccurEvent = std::function<void(const TKVLog& log)>;

// ---- Debug settings ---------------------------------------------------------------------
class KVCORE_EXPORT TDebugMode : public TBaseObject {
  KV_CLASS(TDebugMode, TBaseObject)
public:
  // Stored after the inherited entries: the three options (byte), then the
  // three row counts (integer), each only when non-zero.
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // From another TDebugMode: the three options only (the row counts are set
  // by the debug settings dialog directly). Anything else: EConvertError.
  void Assign(const TBaseObject* source) override;

  TStopOption StopOption = soNolimit;
  int32_t StopAfterRows = 0;
  TPauseOption PauseOption = poNolimit;
  int32_t PauseAfterRows = 0;
  TWarningOption WarningOption = woNoWarning;
  int32_t WarningAfterRows = 0;
};

// ---- The DB link ---------------------------------------------------------------------------
class KVCORE_EXPORT TDBLink : public TBaseObject, public IDataSetOwner {
  KV_CLASS(TDBLink, TBaseObject)
public:
  static constexpr int32_t kDefaultMaxErrors = 100;
  // A link named "DBLink", created now, with two base-kind datasets of its own.
  TDBLink();
  ~TDBLink() override;

  // Stored after the inherited entries in this order, each when it differs
  // from its default: BackErrorData (always), CreateTime, DebugMode,
  // DefaultFolder, Description, DestDataSetIndex, ErrorExp,
  // ErrorDataFileName, FilterExp, LogFileName, Mappings, MatchModes,
  // MaxErrors (always, so that 0 survives), Name, Options, PauseExp, RunTime, SourceDataSetIndex,
  // SourceDataType, StartExp, Status, StopExp, TitleStatus, VarList.
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // From another TDBLink: its settings, logs, mappings and variables, and
  // new copies of its two datasets (of the same kind; owned by this link).
  // The dataset indexes, Job, the events (OnIntelStatus aside) and the run
  // state are not copied. Anything else: the inherited Assign.
  void Assign(const TBaseObject* source) override;

  // ---- Datasets ----
  TKVCustomDataSet* SourceDataSet() const { return source_; }
  TKVCustomDataSet* DestDataSet() const { return dest_; }
  // Refers to `dataSet` (not owned; null allowed); the dataset's OwnerLink
  // becomes this link. A dataset this link made itself is freed.
  void SetSourceDataSet(TKVCustomDataSet* dataSet);
  void SetDestDataSet(TKVCustomDataSet* dataSet);
  int32_t SourceDataSetIndex() const { return sourceIndex_; }
  int32_t DestDataSetIndex() const { return destIndex_; }
  // EKVException "not allow duplicate between source and dest !" when the
  // index equals the other one (both stay as they were).
  void SetSourceDataSetIndex(int32_t index);
  void SetDestDataSetIndex(int32_t index);

  // ---- Settings ----
  void SetMappings(const TPlainStringList& list);
  TPlainStringList& Mappings() const { return *mappings_; }
  TVarList& VarList() const { return *varList_; }
  TDebugMode& DebugMode() const { return *debugMode_; }
  TKVLogs& Logs() const { return *logs_; }
  TRunOperate RunOperate() const { return runOperate_.load(); }
  void SetRunOperate(TRunOperate operate) { runOperate_.store(operate); }
  TSourceDataType SourceDataType() const { return sourceDataType_; }
  // Switches the records the run reads. To sdtError: an in-memory dataset
  // holding a copy of ErrorData is put in place of the source's engine
  // dataset (the source kinds keep it until switched back). To sdtOrigin:
  // the source gets an unbound engine dataset again, which its kind
  // replaces with its own on the next GetDataset. Nothing when unchanged.
  void SetSourceDataType(TSourceDataType type);
  TJobStatus Status() const { return status_.load(); }
  void SetStatusValue(TJobStatus status) { status_.store(status); }

  // Appends "field=field" for every destination field, in field order,
  // opening the destination's engine dataset when it is closed.
  void AutoMapping();
  // The calling thread gets a new translator on the source's variable list,
  // chained source -> VarList -> (the job's variables, when there is a job),
  // with the base and database functions registered.
  void SetAllVarList();

  // ---- Error data ----
  // With a job: folder of the job's file + job name + link name + ".err";
  // without: the environment's DefaultFolder + link name + ".err".
  std::string GetErrorDataFileName() const;
  // Writes ErrorData (structure and records) atomically: a failed save
  // keeps the old file.
  void SaveErrorDataToFile(const std::string& fileName) const;
  // Replaces ErrorData with the file's content; nothing when the file does
  // not exist. A file that is not error data raises EDatabaseError and
  // leaves ErrorData as it was.
  void LoadErrorDataFromFile(const std::string& fileName);
  // IDataSetOwner: fills `into` with a copy of ErrorData (structure and
  // records); leaves it closed when ErrorData has no structure.
  void LoadErrorData(TKVMemDataSet& into) override;
  // IDataSetOwner: through the link's Job (TJob::ResolvePath); as it is
  // without a job.
  std::string ResolvePath(const std::string& path) const override;
  TKVMemDataSet& ErrorData() const { return *errorData_; }
  TKVMemDataSet& ReconcileData() const { return *reconcileData_; }

  // ---- Logs ----
  // The log list's file operations. After saving, when the environment's
  // log options say so and the file is larger than DelFileSize KB, the logs
  // of every job of the job group are cleared.
  void SaveLogToFile(const std::string& fileName) const;
  void LoadLogFromFile(const std::string& fileName);
  void ClearLog();
  // Adds a record to Logs and raises OnLogOccur with it, both in the main thread.
  void AddLog(TLogType type, const std::string& text);

  // ---- Checks ----
  // Translate the condition (an empty one translates as true) and log the
  // outcome; true when it translated.
  bool CheckStartExp();
  bool CheckStopExp();
  bool CheckFilterExp();
  bool CheckErrorExp();
  bool CheckPauseExp();
  // Translates every mapping line's expression, logging each failure, and
  // one success record when all translated.
  bool CheckMappingExp();
  // SetAllVarList, then the six checks in the order start, stop, filter,
  // error, pause, mapping, each only while all before it succeeded.
  bool Validate();

  // ---- Status predicates ----
  bool IsRunning() const { return StatusIsRunning(Status()); }
  bool IsStop() const { return StatusIsStop(Status()); }
  bool IsWaiting() const { return Status() == jsWaiting; }
  bool IsDebug() const {
    const TRunOperate op = runOperate_.load();
    return op == roDebugGo || op == roDebugStep;
  }
  void PreviewImportData() {}

  // ---- Commands (main thread) ----
  // Makes the link's thread and starts it: SetAllVarList on that thread,
  // then the run (ExecuteRun). A thread of an earlier run is let go first.
  void Execute();
  // roRun; no thread: Execute; a paused thread: status jsRunning and resume it.
  void Run();
  // roDebugGo; no thread: Execute; a paused thread: resume it (the status is left to the run).
  void DebugGo();
  // roDebugStep, otherwise as DebugGo: the run pauses again after the next
  // record that passes its start, stop and filter checks.
  void Step();
  // While running: status jsPause, and the thread parks after the record it
  // is converting (never in the middle of one).
  void Pause();
  // While running: status jsStop, and the thread leaves its loop before the
  // next record. A paused link is not running: Stop does nothing to it.
  void Stop();
  // When `status` differs from the current one: stores it, clears Started for
  // jsStop/jsOk/jsError, raises OnStatus in the main thread and then
  // OnIntelStatus in the calling thread. Any thread.
  void SetStatus(TJobStatus status);
  // The end of the thread (main thread): saves the error data to its file
  // when it is open (a failure is logged), then lets the thread go.
  void DoTerminate();
  // The running (or paused) thread, or null; owned by the link.
  TDBLinkThread* Thread() const { return thread_.get(); }
  // Waits until the link's thread has ended and DoTerminate has run
  // (pumping the main-thread calls meanwhile; main thread only).
  void WaitFor();

  // ---- The run ----
  // The run of the link on `thread` (its body after SetAllVarList): opens
  // the datasets, converts every record, ends in jsOk, jsError, jsStop or
  // a failure logged as jsError. Never raises.
  void ExecuteRun(TDBLinkThread& thread);
  // FillKey4Locate, then FillKey4Values.
  virtual void BuildFieldMapping();
  // Computes the values of the current source record (the key entries
  // take theirs from the field entries of the same name); true. A value
  // that cannot be computed raises (the record fails).
  virtual bool LoadRecord();
  // The source's GetFieldValue(exp): a source field's value, or `exp`
  // computed as an expression. The run computes through the plan it
  // compiled at its start instead (the same values).
  virtual TVariant GetParsedValue(const std::string& exp, int index);
  void BuildArrayIntersection() {}
  void BackupErrorRec() {}
  // One field entry per mapping line (name trimmed and upper-cased, the
  // expression of the first line of that name, trimmed).
  void FillKey4Values();
  // In the key modes with DatasetKeys set: one entry per item of
  // DatasetKeys (taken as it stands) that equals a mapping line's trimmed,
  // upper-cased name; otherwise none (KeyValues Null).
  void FillKey4Locate();
  // With the source's engine dataset open: ErrorData reopened empty with
  // exactly the source's field structure.
  void InitErrorDataSetControl();
  // Handler of a cached update the destination's database refused: counts
  // it as an error, takes its write back, raises the error event with
  // ReconcileData (a copy of the refused change) and evaluates ErrorExp.
  void ReconcileError(TKVMemDataSet& dataSet, const Exception& error, TUpdateKind kind, TReconcileAction& action);
  // The mapping entries as variant arrays of (field, expression, value, -1);
  // KeyValues is Null when no locate is needed. Built on request.
  TVariant FieldValues() const;
  TVariant KeyValues() const;
  // A copy of the counters, safe from any thread.
  TRunCounters Counters() const;
  bool Started() const { return started_.load(); }
  // Whether the current (or last) run writes its rows through a writer thread.
  bool WritesInBackground() const { return writesInBackground_.load(); }
  bool Located() const { return located_; }
  std::string ErrorMessage;  // the text handed to the error event

  // ---- Raising events (each in the main thread; nothing when unset) ----
  void DoBeforeExecute();
  void DoAfterExecute();
  void DoBeforeOpenSource();
  void DoAfterOpenSource();
  void DoBeforeOpenDest();
  void DoAfterOpenDest();
  void DoBeforeConvert();
  void DoAfterConvert();
  void DoUpdateProgress();
  void DoPause();
  void DoStatusEvent();
  void DoIntelStatusEvent();  // in the calling thread
  void DoLogOccur();
  // The error event under the global thread lock with ErrorMessage and
  // `dataSet` (the failing record); then Stop when MaxErrors is reached.
  void DoErrorEvent(TDataSet* dataSet);
  void DoConvertRecord();

  // ---- Settings (fields) ----
  bool BackErrorData = true;
  double CreateTime = 0;
  std::string DefaultFolder;
  std::string Description;
  std::string ErrorExp;
  std::string ErrorDataFileName;  // stored only; GetErrorDataFileName computes the name used
  std::string FilterExp;
  std::string LogFileName;
  TMatchModes MatchModes = 0;
  int32_t MaxErrors = kDefaultMaxErrors;  // 0 or less: no limit
  std::string Name = "DBLink";
  uint8_t Options = 0;  // stored and copied; not consulted
  std::string PauseExp;
  double RunTime = 0;
  std::string StartExp;
  std::string StopExp;
  std::string TitleStatus;

  TJob* Job = nullptr;  // not owned
  TAbortMode Abort = amNone;
  TSpeedValue Speed;
  TRunStatistic Statistic;

  // ---- Events (empty by default) ----
  TLinkNotifyEvent OnBeforeOpenSource, OnAfterOpenSource, OnBeforeOpenDest, OnAfterOpenDest;
  TLinkNotifyEvent OnBeforeExecute, OnAfterExecute, OnBeforeConvert, OnAfterConvert;
  TLinkNotifyEvent OnDebugRecord, OnUpdateProgress, OnUpdateRecord, OnPause;
  TLinkConvertRecordEvent OnConvertRecord;
  TLinkErrorEvent OnError;
  TLinkStatusEvent OnStatus;      // for the user interface
  TLinkStatusEvent OnIntelStatus;  // for the owning job
  TLogOccurEvent OnLogOccur;

private:
  bool CheckExp(const std::string& text, const TMessage& ok, const TMessage& err);
  void RaiseInMain(const TLinkNotifyEvent& event);
  // The run's parts (DBLinkRun.cpp).
  void PrepareAndConvert(TDBLinkThread& thread);
  void OpenDataSets();
  void CompilePlan();
  void ConvertLoop(TDBLinkThread& thread);
  void ConvertRecords(TDBLinkThread& thread);
  void ConvertRecord(TDBLinkThread& thread);
  bool TakeRecord(TDBLinkThread& thread, bool& debugStop, bool& debugPause);
  void DebugChecks(bool& debugStop, bool& debugPause);
  void LocateDest();
  void WriteDest();
  void ApplyClient();
  void CancelPendingEdit();
  void FailRun(const std::string& message);
  void CloseSessions();
  void BindAppendRefusals(bool bind);
  void AppendRefused(int64_t appendNo, const std::string& message);
  // Posts the destination's edit; with `append`, appends the mapped values
  // as one new record instead (the destination in browse state).
  void PostDest(bool append = false);
  void AppendMapped();
  void UpdateMapped();
  void StopFromRun(TDBLinkThread* thread);
  void RecordFailed(const std::string& message);
  void TakeBackWrite();
  void EvaluateErrorExp();
  void SampleSpeed(TDBLinkThread& thread);
  // Publishes the counters and honours a pause or stop asked for between records.
  void BetweenRecords(TDBLinkThread& thread);
  // The writer thread (DBLinkWriter.cpp): in the append and copy modes
  // without per-record events, the rows go to the destination through a
  // TBackgroundWriter while the next records are read and converted.
  bool WriterFits();
  bool ExpressionsReachOnlySource() const;
  void StartWriter();
  void PushRow();
  // Deals with the rows the writer refused, in order (wait: also with every
  // row not written yet). A failure that stops or pauses the run drops the
  // rows after it and moves the source back to the record after it (rewound_).
  void SettleWriter(TDBLinkThread& thread, bool wait);
  void WriterRowFailed(const TBackgroundWriter::TFailure& failure);
  // Raises the error event (ErrorMessage) and evaluates the error expression
  // with the source standing on the record of `bookmark`, then moves the
  // source back where it was (also to its end).
  void ErrorOnSourceRecord(int64_t bookmark);
  void RewindAfter(int64_t failedRow, TDBLinkThread& thread);
  // Ends the writer: the rows pushed are written (failures dealt with) when
  // that can be done; otherwise dropped and their counts taken back.
  void EndWriter();
  void FlushDestination();
  void FinishRun(TDBLinkThread& thread);
  void ResumeControls();
  void RequestPause();
  void PublishCounters();
  void BindClientDataSet(bool bind);


  void ReplaceDataSet(TKVCustomDataSet*& slot, std::unique_ptr<TKVCustomDataSet>& owned,
                      TKVCustomDataSet* dataSet);
  void CopyDataSet(TKVCustomDataSet*& slot, std::unique_ptr<TKVCustomDataSet>& owned,
                   const TKVCustomDataSet* from);

  TKVCustomDataSet* source_ = nullptr;  // owned through ownSource_ or by the giver
  TKVCustomDataSet* dest_ = nullptr;
  std::unique_ptr<TKVCustomDataSet> ownSource_;
  std::unique_ptr<TKVCustomDataSet> ownDest_;
  int32_t sourceIndex_ = 0;
  int32_t destIndex_ = 0;
  TSourceDataType sourceDataType_ = sdtOrigin;
  std::atomic<TJobStatus> status_{jsStop};
  std::atomic<TRunOperate> runOperate_{roRun};
  std::atomic<bool> started_{false};
  std::atomic<bool> writesInBackground_{false};
  bool located_ = false;
  std::unique_ptr<TDBLinkThread> thread_;     // the current run's thread
  std::unique_ptr<TDBLinkThread> oldThread_;  // an ended thread, joined and freed by the next Execute
  std::unique_ptr<TRunPlan> plan_;
  TDataSet* destData_ = nullptr;   // the destination's engine dataset during a run
  TKVMemDataSet* client_ = nullptr;  // the same, when it is a client dataset with cached updates
  TDataSet* sourceData_ = nullptr;
  std::vector<TDataSet*> disabled_;  // engine datasets whose views the run suspended, in order
  int32_t pendingWrites_ = 0;       // writes to a client dataset since its last application
  bool writeCounted_ = false;       // the current record's write is counted (taken back when it fails)
  TKVMemDataSet::TReconcileErrorEvent savedReconcile_;  // the client dataset's own handler during a run
  // The source records of rows the destination holds unsent (appends sent
  // in batches), by their append number: a row the server refuses later
  // fails as the record it came from. Never more than one batch.
  struct TUnsentAppend {
    int64_t appendNo;
    int64_t bookmark;                // the source record's bookmark, when the source has bookmarks
    std::vector<TVariant> source;    // otherwise a copy of its values
  };
  std::deque<TUnsentAppend> unsent_;
  // The writer thread of the run, when it has one (see WriterFits), and the
  // rows pushed to it and not yet settled: their row numbers (Statistic.Rows
  // when pushed) and source bookmarks, in push order.
  std::unique_ptr<TBackgroundWriter> writer_;
  struct TPushedRow {
    int64_t row;
    int64_t bookmark;
  };
  std::deque<TPushedRow> pushed_;
  int64_t pushedCount_ = 0;  // rows pushed during the run
  TVariant* loadedRow_ = nullptr;  // the writer's row LoadRecord filled for the record, or null
  int64_t droppedCount_ = 0;  // of these, failed or discarded (not written)
  bool rewound_ = false;  // a writer failure moved the source back: the current record is not taken
  int64_t rewindTo_ = -1;  // the bookmark of the failed record a rewind moves on from
  std::function<void(int64_t, const std::string&)> savedAppendRefused_;
  std::chrono::steady_clock::time_point sampleStart_;  // start of the current speed sample
  uint32_t sampleTick_ = 0;  // records since the run began, for reading the clock every few of them
  mutable std::mutex countersMutex_;
  TRunCounters published_;
  ObjPtr<TDebugMode> debugMode_;
  ObjPtr<TPlainStringList> mappings_;  // a plain list: also reads lists stored with owned objects
  ObjPtr<TVarList> varList_;
  std::unique_ptr<TKVLogs> logs_;
  std::unique_ptr<TKVMemDataSet> errorData_;
  std::unique_ptr<TKVMemDataSet> reconcileData_;
  std::unique_ptr<TExpression> expression_;
};

// The DB links of one job keyed by Name. Links added with AddObject or made
// by Assign belong to the list; links added with AddReference (the links of
// the job's design chart) do not. A list holds either kind, never both.
class KVCORE_EXPORT TDBLinks : public TStoredStrList {
  KV_CLASS(TDBLinks, TStoredStrList)
public:
  TDBLinks();
  ~TDBLinks() override;
  // From another TDBLinks: a new copy of each of its links, in order, under
  // the copy's name (the list then owns its links). Else the inherited Assign.
  void Assign(const TBaseObject* source) override;
  TDBLink* GetObj(int index) const override;
  // Refers to `link` without owning it (the design chart's links).
  int AddReference(const std::string& key, TDBLink* link);
  // Empties the list (freeing only the links it owns).
  void ClearLinks();

private:
  bool references_ = false;  // the lines refer to links owned elsewhere
};

}  // namespace kv
