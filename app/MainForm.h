// The main window: the operator's console over the process-wide job group.
//
// It lists the jobs of JobGroup filtered by status (tvwJobPro, lvwJobs), the
// DB links of the current job (lvwDBLinks), the progress, log, properties
// and error records of the current DB link (pctDBLinkInfo), a throughput
// chart (chartMonitor) and totals in the status bar. Every command goes
// through the job group, job and DB link operations of the core and through
// the editor dialogs, which the program hands in as hooks (TMainFormHooks),
// so the window itself keeps only its selection.
//
// Life cycle. The constructor reads the stored layout (ReadWindowLayout),
// creates JobQueue and JobGroup when absent and loads the group from the
// program folder ("KVCore.jbg"), reads "KVCore.env" into GlobalEnv, attaches
// its handlers to every job, applies the log-clearing rule, resets the
// monitor and the tree, switches the language and translates itself, and
// adds the tray icon. FirstTimerTick (called once by the program after the
// event loop started) starts GlobalThread and shows the tips. Closing
// (Exit, or the title bar's close without a tray) asks SSureCloseMainForm
// while jobs run, then writes the layout, applies the log rule, writes
// "KVCore.jbg" and "KVCore.env", detaches the handlers and stops every job.
// The destructor ends every run and frees JobGroup, JobQueue, GlobalThread
// and GlobalEnv (all of which the window made or took over).
//
// A "KVCore.env" that cannot be read is reported through the user-interface
// hook; the window then starts with default settings and never writes over
// that file, so nothing of it is lost.
//
// Threads: everything here runs in the GUI thread; worker threads reach the
// handlers only through the core's main-thread dispatcher, and the window
// reads a run's counters through TDBLink::Counters only, never a dataset a
// run uses.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

#include "environment/Environment.h"
#include "jobs/Job.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QSystemTrayIcon;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

class TDataSetTableModel;
class TKVCustomDataSet;
class TMonitorChart;
class TAboutWnd;

// What the window needs from outside: the editor dialogs and the file
// dialogs (tests answer these without a modal loop), the tray's
// availability, the tick period. An unset dialog hook disables its command.
struct TMainFormHooks {
  std::function<bool(TJob& job)> EditJobPro;                 // true on OK
  std::function<bool(TScheduleMode& schedule)> EditSchedule;  // true on OK
  std::function<bool(TKVEnvironment& env)> SetSysDefaultPro;  // true on OK
  std::function<void(const TKVLog& log)> ShowLogInfoForm;
  std::function<void(TJob& job)> DebugJob;             // the debug window on a copy of the job
  std::function<void(TDBLink& link)> ManageErrorData;  // the error-data window of the link
  std::function<void()> ShowTips;
  // The job designer, true on OK (the job is then rebuilt from its diagram
  // and saved; an Apply before a Cancel may have rebuilt it too).
  std::function<bool(TJob& job)> DesignJob;
  // The DB link dialogs over `link` of `job`; true on OK.
  std::function<bool(TDBLink& link, TJob& job)> EditDBLinkPro;
  std::function<bool(TDBLink& link)> EditDBLinkMaping;
  // The dialog of the dataset's kind; true on OK, false also for a kind
  // without a dialog.
  std::function<bool(TKVCustomDataSet& dataSet, TJob& job)> EditDataSet;
  // The import preview of `link` and the browse window of a dataset.
  std::function<void(TDBLink& link, TJob& job)> PreImpData;
  std::function<void(TKVCustomDataSet& dataSet)> BrowseData;
  // File dialogs: the chosen file, or an empty text on Cancel. Default: QFileDialog.
  std::function<QString(const QString& dir, const QString& filter)> OpenFileName;
  std::function<QString(const QString& initial, const QString& filter)> SaveFileName;
  // Default: QSystemTrayIcon::isSystemTrayAvailable().
  std::function<bool()> TrayAvailable;
  // Opens a local document in the desktop's viewer. Default: QDesktopServices.
  std::function<bool(const QString& path)> OpenDocument;
  // Period of the job group's ticker (monitor) and of GlobalThread (clock).
  std::chrono::milliseconds TickPeriod{1000};
};

// The nodes of the status tree, in their order.
enum TJobNode : int { jnAll = 0, jnRunning, jnWaiting, jnComplete, jnStop, jnError };

// Whether the tree node (TJobNode) lists a job of `status`: a paused job
// is listed only under jnAll.
bool NodeShowsStatus(int node, TJobStatus status);

// The log list keeps at most this many rows.
inline constexpr int kMaxLogRows = 501;

class TMainForm : public QMainWindow {
  Q_OBJECT
public:
  explicit TMainForm(TMainFormHooks hooks = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The first tick of the start-up timer: GlobalThread made and started with
  // the clock-and-totals callback (which also runs JobGroup->Scheduler), then
  // the tips when ShowTipDlgOnStart is set. Later calls do nothing.
  void FirstTimerTick();

  // Fills lvwJobs with the jobs the tree node selects (TJobNode).
  void ShowJobsOfNode(int node);
  // Recomputes the enabling of every action (also done when idle).
  void UpdateActions();
  // True when "KVCore.env" could not be read at start (it is then never written).
  bool EnvironmentUnreadable() const { return envUnreadable_; }
  bool Running() const { return running_; }
  TJob* CurrentJob() const { return currentJob_; }
  TDBLink* CurrentLink() const { return currentLink_; }
  bool TrayInUse() const { return tray_ != nullptr; }
  // Whether closing ended the program (false after a close hid the window).
  bool Exited() const { return exited_; }
  // The Exit command: the close question, then the closing steps.
  void ExitProgram();
  // The session ends (the program was told to terminate): the closing steps
  // without a question (running jobs are stopped), then every event loop
  // ends, open dialogs included. Nothing more happens when already closed.
  void EndSession();

protected:
  bool event(QEvent* event) override;  // status tips go to panel 0
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  // ---- building (MainFormBuild.cpp) ----
  void BuildActions();
  QAction* NewAction(const char* name, const QString& caption, const QString& hint, const char* theme = nullptr);
  void BuildMenus();
  void BuildToolBar();
  void BuildPopups();
  void BuildCentral();
  QWidget* BuildInfoPages();
  void BuildStatusBar();
  void BuildTray();
  void ConnectActions();
  void ConnectLists();

  // ---- start and close (MainForm.cpp) ----
  void ApplyLayout();
  void LoadGroupAndSettings();
  void ApplyLogRuleAtStart();
  void InitMonitorAndTree();
  void Translate();
  bool CloseQuery();
  void CloseSteps();
  void StoreLayout();
  void SaveEnvironment();
  void DetachAndStopAll();

  // ---- lists (MainFormLists.cpp) ----
  void AddJobRow(TJob& job);
  void FillJobRow(QTreeWidgetItem& row, TJob& job);
  QTreeWidgetItem* JobRow(const TJob& job) const;
  void RefreshJobRow(TJob& job);
  void JobFocused();
  void JobSelectionChanged();
  void FillDBLinks();
  void FillLinkRow(QTreeWidgetItem& row, TDBLink& link);
  QTreeWidgetItem* LinkRow(const TDBLink& link) const;
  void RefreshLinkRow(TDBLink& link);
  void LinkFocused();
  void SetCurrentLink(TDBLink* link);
  void FillPropertyPage();
  void ResetProgressPage();
  // Shows the current link's error records again (after they changed).
  void ReloadErrorGrid();
  void FillTotals();
  void AddLogRow(const TKVLog& log);
  void LogByWindow(TKVLogs& owner, TLogType type, const std::string& text);
  int SelectedNode() const;
  void SelectAllJobRows();

  // ---- handlers and commands (MainFormHandlers.cpp) ----
  void HookJobEvents(TJob& job);
  void UnhookJobEvents(TJob& job);
  void HookLinkEvents(TJob& job, TDBLink& link);
  void JobStatusChanged(TJob& job, TJobStatus status);
  void LinkStatusChanged(TDBLink& link, TJobStatus status);
  void LinkError(TDBLink& link, const std::string& error, TDataSet* dataSet);
  void LinkLog(TDBLink& link, TLogType type, const std::string& text);
  void JobDoubleClicked();
  void ImportJob();
  void ExportJob();
  void DeleteJob();
  void SaveJob(TJob& job);
  void EditJobProperty();
  void EditJobSchedule();
  void ClearLog();
  void SetOption();
  void SetEnglish();
  void SetChinese();
  void OpenContext();
  void ShowAbout();
  void ErrDataSaveAs();
  void ErrDataLoad();
  void DebugCurrentJob();
  void RetransferErrorData();
  void LogProperty();
  void ShowOrHide();
  void ClockAndTotals();

  // ---- designing commands (MainFormDesign.cpp) ----
  // New job: job property, job file, designer; the job joins the group only
  // when all three were confirmed.
  void NewJob();
  void DesignCurrentJob();
  void EditLinkProperty();
  void EditLinkMapping();
  // The dialog of the current link's destination (dest) or source dataset.
  void EditLinkDataSet(bool dest);
  void PreviewImportData();
  void BrowseLinkData(bool dest);
  // The current link of a stopped current job, when both are stopped.
  TDBLink* StoppedLink() const;
  void UpdateDesignActions();
  void ConnectDesignActions();
  // Runs `command`; an error it raises is shown through the hook.
  void Guarded(const std::function<void()>& command);

  // ---- monitor (MainFormMonitor.cpp) ----
  void ResetMonitor();
  void ApplyMonitorParams();
  void UpdateMonitor();
  void EmptyTotalsPanels();

  TMainFormHooks hooks_;
  std::unique_ptr<TKVEnvironment> env_;  // what GlobalEnv points at
  bool envUnreadable_ = false;
  bool running_ = false;
  bool started_ = false;       // FirstTimerTick has run
  bool closed_ = false;        // the close steps have run
  bool exiting_ = false;       // a close that ends the program is under way
  bool exited_ = false;
  TJob* currentJob_ = nullptr;
  TDBLink* currentLink_ = nullptr;
  std::chrono::steady_clock::time_point monitorStart_;
  // The panel sizes to apply once the window has its size (first show).
  QList<int> mainSizes_{180, 820};
  QList<int> listSizes_{200, 120, 280};
  bool sizesApplied_ = false;

  // Widgets and actions (owned by the Qt object tree).
  QTreeWidget* tvwJobPro_ = nullptr;
  QTreeWidget* lvwJobs_ = nullptr;
  QTreeWidget* lvwDBLinks_ = nullptr;
  QTabWidget* pctDBLinkInfo_ = nullptr;
  QTreeWidget* lvwLog_ = nullptr;
  QTableWidget* sgdDBLinkPro_ = nullptr;
  QTableView* dgdErrData_ = nullptr;
  TDataSetTableModel* errModel_ = nullptr;  // over the current link's error records
  TMonitorChart* chart_ = nullptr;
  QSplitter* mainSplit_ = nullptr;
  QSplitter* listSplit_ = nullptr;
  QLabel* lblLinkName_ = nullptr;
  QLabel* lblAddedValue_ = nullptr;
  QLabel* lblUpdatedValue_ = nullptr;
  QLabel* lblDeletedValue_ = nullptr;
  QLabel* lblErrorsValue_ = nullptr;
  QLabel* lblProcessedValue_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* panels_[6] = {};
  QToolBar* toolBar_ = nullptr;
  QMenu* pmJob_ = nullptr;
  QMenu* pmDBLink_ = nullptr;
  QMenu* pmLog_ = nullptr;
  QMenu* pmErrData_ = nullptr;
  QMenu* pmNotify_ = nullptr;
  QTimer* idleTimer_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  TAboutWnd* about_ = nullptr;

  struct TActions;
  std::unique_ptr<TActions> ac_;
};

}  // namespace kv
