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

#include <chrono>
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
class TFileLock;
class TJobThread;
class TThread;

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

  // ---- Run control (main thread unless said otherwise) ----
  // A run: the job thread runs BeforeExecuteExp and OnBeforeExecute, starts
  // every DB link (InternalExecute), then checks the job every CheckPeriod
  // until the job has ended. A run holds the advisory lock of the job file
  // (when the job has a SaveFileName) from Run until its thread has ended
  // and every link thread with it; a job locked elsewhere does not run: it
  // gets an ltError log record naming the holder and status jsError.
  //
  // Status rule: while any link runs the job is jsRunning; else while a
  // link is paused, jsPause; else jsError when any link ended in error (a
  // stopped link never hides it), jsOk when all ended ok, jsStop otherwise.

  // When not running: SetRunTime(now); without a thread: jsRunning and
  // Execute; with a thread (a paused run): jsRunning, Run of every link still under
  // way (a link that has ended is not run again), resume the thread.
  void Run();
  // Makes the job thread and starts it.
  void Execute();
  // ClearLog when the log options say dlmDelAtRun; then every link gets the
  // job's variables as its parent list, this job as Job, and Run.
  void InternalExecute();
  // When not stopped: Pause every link, jsPause, park the job thread.
  void Pause();
  // Stop every link (a paused link's thread is ended too, so nothing of the
  // run stays parked), jsStop, and tell the job thread to end.
  void Stop();
  // jsWaiting and queued in JobQueue.
  void Wait();
  // When different: a waiting job leaving for jsStop or jsPause leaves the
  // queue; stored; the group's Running flag follows; OnStatus; when the
  // job is now stopped, the oldest queued job starts while fewer than
  // MaxRunJobs run; when the run has ended (jsStop, jsOk, jsError, not a
  // pause), OnAfterExecute and AfterExecuteExp once per run.
  void SetStatus(TJobStatus status);
  // The handler bound to every link's OnIntelStatus (any thread): in the
  // main thread, while the job has a thread, SetStatus(ComputeStatus()).
  void StatusEvent(TDBLink& link, TJobStatus status);
  // The status the links give the job (the status rule above).
  TJobStatus ComputeStatus() const;
  // The job thread has ended: lets it go and releases the file lock.
  void DoTerminate();
  void DoTimer();              // OnTimer, in the main thread
  void DoBeforeExecute();      // OnBeforeExecute, in the main thread
  void DoAfterExecute();       // OnAfterExecute, in the main thread
  void DoBeforeExecuteExp();   // SetAllVarList, BeforeExecuteExp once
  void DoAfterExecuteExp();    // SetAllVarList, AfterExecuteExp once
  // Speed := the sum of the Speed of the running links.
  void CalSpeedValue();
  // A failure of the run: an ltError record SJobErrorMsg (OnLogOccur),
  // the links stopped, status jsError.
  void RunFailed(const std::string& message);
  // The running (or paused) job thread, or null; owned by the job.
  TJobThread* Thread() const { return thread_.get(); }
  // Waits until the job thread has ended (pumping the main-thread calls).
  void WaitFor();
  // Whether any link still has a thread (its run or its end is under way).
  bool LinksBusy() const;
  // How often the job thread checks the job; set before Run.
  std::chrono::milliseconds CheckPeriod{1000};

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
  bool TakeFileLock();
  void ResumeLinks();
  // Ends a run that still goes on (the job is going away; it has left the queue).
  void EndRun();
  void StopLinks();
  std::atomic<TJobStatus> status_{jsStop};
  bool afterPending_ = false;                 // a run began whose after-execute has not run yet
  std::unique_ptr<TJobThread> thread_;        // the current run's thread
  std::unique_ptr<TJobThread> oldThread_;     // an ended thread, freed by the next Execute
  std::unique_ptr<TFileLock> lock_;           // the job file's lock while a run goes on
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

  // ---- Run control (main thread) ----
  // Run (= Execute = InternalExecute): every Selected stopped job, in order,
  // runs while fewer than MaxRunJobs jobs run or wait, and waits otherwise.
  void Run();
  void Execute() { Run(); }
  void InternalExecute() { Run(); }
  // Marks every job Selected, then Run.
  void RunAll();
  // With PausePrompt on, asks SJobWillPauseMsg (Yes/No, warning) and does
  // nothing on No; then Pause of every selected job (PauseAll: every job).
  void Pause();
  void PauseAll();
  // The same with StopPrompt and SJobWillStopMsg, and Stop.
  void Stop();
  void StopAll();
  // Every Selected stopped job reads its links' captured error records
  // (the error data in memory, or its ".err" file when none is loaded),
  // then Run. Jobs not selected keep their sources.
  void RunErrorData();
  // Validate of every job that is stopped and Selected; true when all passed.
  bool Validate();
  // The Statistic of every running link of every running job, summed.
  TRunStatistic GetStatistic() const;
  // Speed := the sum of the running jobs' speeds (each job's CalSpeedValue first).
  void CalSpeedValue();
  // DoTerminate of every job.
  void DoTerminate();
  void Terminate() {}
  // Starts or queues every stopped job that is due now (GetAutoExecTime
  // within a minute of the clock) and whose run mode is rmByAuto: a job
  // run by hand is never started by the clock.
  void Scheduler();
  // CalSpeedValue and OnTimer, as the ticker does every second (main thread).
  void Tick();
  // Starts the group's ticker (TJobGroupThread) with `period`, replacing a
  // running one; StopTicker ends it. The destructor stops it.
  void StartTicker(std::chrono::milliseconds period = std::chrono::milliseconds(1000));
  void StopTicker();
  // Whether the last job whose status changed is running.
  bool Running() const { return running_.load(); }
  void SetRunning(bool running) { running_.store(running); }

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
  void ForJobs(const std::function<bool(const TJob&)>& pred, const std::function<void(TJob&)>& action);
  std::atomic<bool> running_{false};
  std::unique_ptr<TThread> ticker_;
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
// JobQueue, made when still null.
KVCORE_EXPORT TJobQueue& TheJobQueue();
// The environment's MaxRunJobs (3 without settings); 0 counts as 1, so
// queued jobs can always start.
KVCORE_EXPORT int MaxRunJobs();

// After a log file was saved: when the environment's log options say so and
// the file is larger than DelFileSize KB, clears the logs of every job of JobGroup.
KVCORE_EXPORT void ApplyLogSizeLimit(const std::string& logFile);

// The hooks that make a design chart create TJob and TDBLink objects; set
// as the default chart hooks when the library loads.
KVCORE_EXPORT TKVFcJobHooks JobChartHooks();

}  // namespace kv
