// The DB link: moves the records of one source dataset into one destination
// dataset through a field mapping (one line per destination field,
// "field=expression"). This header holds the model side of the link: its
// settings and their persistence, copying, the error data and its ".err"
// file, the variable chain used to translate its expressions, the condition
// checks, and the status predicates. Running a link is the engine's work.
//
// Ownership: a link owns its DebugMode, Mappings, VarList, Logs and the three
// in-memory datasets (ErrorData, ReconcileData, ErrorSource). Its source and
// destination datasets are owned by the link only when the link made them
// (a new link, or Assign); SetSourceDataSet/SetDestDataSet refer to a
// dataset that stays with its giver (a shape of the design chart), which
// must outlive the link or hand it a new one first. Job is not owned.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/BaseDataSet.h"
#include "data/CustomDataSet.h"
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
  TRunOperate RunOperate() const { return runOperate_; }
  void SetRunOperate(TRunOperate operate) { runOperate_ = operate; }
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
  // Adds a record to Logs and raises OnLogOccur with it.
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
  bool IsDebug() const { return runOperate_ == roDebugGo || runOperate_ == roDebugStep; }
  void PreviewImportData() {}

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
  TRunOperate runOperate_ = roRun;
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
