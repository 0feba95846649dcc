// The job (a set of datasets and the DB links between them, run together),
// the job group (every job the program knows, listed in "KVCore.jbg"), the
// queue of jobs waiting for a run slot, and the process-wide JobGroup and
// JobQueue. docs/jobs.md describes the model and its files.
//
// Ownership: a job owns its DataSets, DBLinks, schedule, variables, logs and
// its design chart. After LoadFromFlChart the DBLinks list refers to the
// links of the chart's connections (the chart owns them) and the DataSets
// list refers to the datasets of the chart's shapes; both stay valid until
// the chart changes, and the next LoadFromFlChart gathers them again.
// The job group owns its jobs; the queue only refers to jobs.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/BaseDataSet.h"
#include "flowchart/FlowChart.h"
#include "jobs/DBLink.h"
#include "jobs/Schedule.h"

namespace kv {

class TPlainStringList;

class TJob;
using TJobNotifyEvent = std::function<void(TJob& sender)>;
using TJobStatusEvent = std::function<void(TJob& sender, TJobStatus status)>;

class KVCORE_EXPORT TJob : public TBaseObject {
  KV_CLASS(TJob, TBaseObject)
public:
  TJob();
  ~TJob() override;

  // Stored after the inherited entries, each when not its default:
  // AfterExecuteExp, BeforeExecuteExp, CreateTime, DefaultFolder,
  // Description, DataSets, DBLinks, RunTime, Name, SaveFileName,
  // FScheduleMode, Status, FVarList.
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // From another TJob: the expressions, times, folder, description, copies
  // of its DB links (their Job becomes this job), logs, name, file name,
  // schedule and variables. DataSets, Status and Selected are not copied.
  void Assign(const TBaseObject* source) override;

  // DefaultFolder, or when empty the program folder + "Project/".
  std::string GetDefaultFolder() const;
  // When different: stored, and copied into every DB link.
  void SetDefaultFolder(const std::string& folder);
  // SaveFileName, or when empty Name + ".job".
  std::string GetSaveFileName() const;
  // A path as the job's datasets use it: an absolute path is returned as it
  // is; a relative one is taken from the folder of the job file
  // (GetSaveFileName), so a folder of jobs and their data can move whole.
  std::string ResolvePath(const std::string& path) const;
  // The design chart (owned), made on the first call.
  TKVFlowChart& GetDesignControl();
  // Rebuilds the job from its design chart: Assign of the chart's job, then
  // the links of the chart's connections in connection order (referred to,
  // their OnIntelStatus bound to this job) and the shapes' datasets.
  void LoadFromFlChart();
  // The first dataset whose Name equals `name` exactly; null when none.
  TKVBaseDataSet* FindDataSet(const std::string& name) const;
  // Deletes every link's error data file and the job file (those that exist).
  void DeleteFile();
  void ClearLog();  // the links' logs (the job's own stay)
  // Appends every link's log lines, each with its record (not owned by
  // `lines`), link by link.
  void LoadLog(TPlainStringList& lines) const;
  void SetDataSets(const TKVBaseDataSets& list);
  void SetDBLinks(const TDBLinks& list);
  void SetSourceDataType(TSourceDataType type);
  // When different: stored, and the schedule's LastTime follows.
  void SetRunTime(double time);
  // The calling thread gets a new translator on FVarList with the base and
  // database functions.
  void SetAllVarList();
  double GetAutoExecTime() { return ScheduleMode->Schedule()->GetAutoExecTime(); }
  // Every link's Validate, stopping at the first failure; then the
  // AfterExecute and BeforeExecute expressions, each logged.
  bool Validate();
  void AddLog(TLogType type, const std::string& text);
  // The handler bound to every link's OnIntelStatus (forwards to OnStatus
  // while the run engine is not there).
  void StatusEvent(TDBLink& link, TJobStatus status);

  TJobStatus Status() const { return status_.load(); }
  void SetStatusValue(TJobStatus status) { status_.store(status); }
  bool IsRunning() const { return StatusIsRunning(Status()); }
  bool IsStop() const { return StatusIsStop(Status()); }
  bool IsWaiting() const { return Status() == jsWaiting; }
  bool IsDebug() const { return false; }

  std::string AfterExecuteExp;
  std::string BeforeExecuteExp;
  double CreateTime = 0;
  std::string DefaultFolder;
  std::string Description;
  // Never null outside loading. Stored as a TKVBaseDataSets; after
  // LoadFromFlChart its entries are the chart's datasets (not owned).
  ObjPtr<TKVBaseDataSets> DataSets;
  ObjPtr<TDBLinks> DBLinks;        // never null outside loading
  double RunTime = 0;
  std::string Name;
  std::string SaveFileName;
  ObjPtr<TScheduleMode> ScheduleMode;  // stored as "FScheduleMode"
  ObjPtr<TVarList> VarList;            // stored as "FVarList"
  std::unique_ptr<TKVLogs> Logs;       // never null
  bool Selected = false;
  TSpeedValue Speed;

  TJobNotifyEvent OnBeforeExecute, OnAfterExecute, OnTimer;
  TJobStatusEvent OnStatus;
  TLogOccurEvent OnLogOccur;

private:
  bool CheckJobExp(const std::string& text, const TMessage& ok, const TMessage& err);
  // Empties DataSets; the chart's datasets it refers to are taken out
  // unfreed first.
  void ClearDataSets();
  bool dataSetRefs_ = false;  // DataSets refers to the design chart's datasets
  std::atomic<TJobStatus> status_{jsStop};
  std::unique_ptr<TKVFlowChart> chart_;
  std::unique_ptr<TExpression> expression_;
};

// Every job of the program, keyed by Name; the group owns them.
class KVCORE_EXPORT TJobGroup : public TStoredStrList {
  KV_CLASS(TJobGroup, TStoredStrList)
public:
  TJobGroup();
  ~TJobGroup() override;
  // The inherited list, then "ProgramFileInfo" (strings).
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;
  TJob* GetObj(int index) const override;

  // The group file: the program folder + "KVCore.jbg".
  static std::string GroupFileName();
  // Reads the group file (when it exists) into ProgramFileInfo and loads one
  // job per line. A line naming a missing file is dropped. A file that
  // cannot be read keeps its line; the file and the reason are logged in
  // the group's Logs and the loading goes on with the next line.
  void LoadPrograms();
  // Writes ProgramFileInfo to the group file atomically.
  void SavePrograms() const;
  // The same, with the group file named explicitly.
  void LoadPrograms(const std::string& groupFile);
  void SavePrograms(const std::string& groupFile) const;

  void ClearLog();
  int32_t GetRunCount() const;         // running or waiting
  int32_t GetRunningCount() const;     // running
  int32_t GetSelectCount() const;      // Selected
  int32_t GetSelectRunCount() const;   // Selected, running or waiting
  int32_t GetSelectStopCount() const;  // Selected and stopped

  ObjPtr<TStringList> ProgramFileInfo;  // job file names; never null outside loading
  std::unique_ptr<TKVLogs> Logs;        // problems met while loading
  TSpeedValue Speed;
  std::function<void(TObject& sender)> OnTimer;

private:
  int32_t CountIf(const std::function<bool(const TJob&)>& pred) const;
};

// Jobs waiting for a free run slot, oldest first; not owned.
class KVCORE_EXPORT TJobQueue {
public:
  void Push(TJob* job) { jobs_.push_back(job); }
  TJob* Pop();   // the oldest job (removed); null when empty
  TJob* Peek() const { return jobs_.empty() ? nullptr : jobs_.front(); }
  int Count() const { return static_cast<int>(jobs_.size()); }
  void DeleteJob(const TJob* job);  // the first entry of `job`, if any
  void Stop() { Pop(); }

private:
  std::deque<TJob*> jobs_;
};

// The process-wide group and queue; made by the program at start-up
// (each only when still null). Owned by these variables.
extern KVCORE_EXPORT std::unique_ptr<TJobGroup> JobGroup;
extern KVCORE_EXPORT std::unique_ptr<TJobQueue> JobQueue;

// After a log file was saved: when the environment's log options say so and
// the file is larger than DelFileSize KB, clears the logs of every job of JobGroup.
KVCORE_EXPORT void ApplyLogSizeLimit(const std::string& logFile);

// The hooks that make a design chart create TJob and TDBLink objects; set
// as the default chart hooks when the library loads.
KVCORE_EXPORT TKVFcJobHooks JobChartHooks();

}  // namespace kv
