// What the debug window (TDebugForm) and the error-data window
// (TErrorDataForm) have in common: the run commands with their keys and
// enabling, the pause and stop questions, the "Log" page, the error-record
// grid, and the handlers attached to the DB links they run.
//
// Threads: the links raise their events in the GUI thread while their run
// waits (the main-thread dispatcher), so the handlers may read the link and
// its datasets there. Nothing else of the window touches a dataset a run
// is moving.
//
// Closing: every link that runs or is paused is stopped and its thread
// joined (pumping the calls it hands to this thread) before the window
// goes, and the handlers are detached first, so no run ever reaches a closed
// window. A derived window calls Shutdown() in its destructor before it
// frees its links.
#pragma once

#include <QDialog>
#include <QString>
#include <set>
#include <vector>

#include "KVEditorLib_export.h"
#include "jobs/DBLink.h"

class QAction;
class QTableView;
class QTabWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace kv {

class TDataSetTableModel;
class TKVLog;

class KVEDITORLIB_EXPORT TDebugFormBase : public QDialog {
  Q_OBJECT
public:
  ~TDebugFormBase() override;

  // The commands (owned by the window); also reachable by their objectName.
  QAction* acDebugGo = nullptr;
  QAction* acDebugStep = nullptr;
  QAction* acDebugPause = nullptr;
  QAction* acDebugStop = nullptr;
  QAction* acLogPro = nullptr;
  QAction* acClearLog = nullptr;
  QAction* acExit = nullptr;

  // The link the commands act on (not owned), or null.
  virtual TDBLink* CurrentLink() const = 0;
  // Recomputes which commands are enabled (also done on a short timer).
  void UpdateActions();
  // Stops every link of the window that runs or is paused, waits for their
  // threads and detaches the handlers; the window can then close safely.
  void Shutdown();

protected:
  explicit TDebugFormBase(QWidget* parent);

  // ---- Building ----
  // The seven shared actions, put on `bar` in their order; their shortcuts
  // work while the window is active.
  void BuildCommonActions(QToolBar& bar);
  // The "Log" page: lvwLog with "Date", "Time", "Event" and its popup.
  QWidget* BuildLogPage();
  // The error-record grid (dgdErrData) over the window's table model.
  QTableView* BuildErrorGrid(QWidget* parent);
  QTreeWidget* LogList() const { return lvwLog_; }
  TDataSetTableModel& GridModel() const { return *gridModel_; }
  // The time of a log or a run formatted with `pattern`; empty for 0.
  static QString DateTimeText(const TMessage& pattern, double value);

  // ---- Links ----
  // The links the window runs (not owned).
  virtual std::vector<TDBLink*> Links() const = 0;
  // Attaches the window's handlers to a link copy the window owns (its
  // OnIntelStatus, copied from the original, is cleared).
  void HookLink(TDBLink& link);
  void UnhookLink(TDBLink& link);
  // Hooks for the windows, called in the GUI thread.
  virtual void LinkCountersChanged(TDBLink& link) = 0;
  virtual void LinkConverted(TDBLink& link, const TVariant& values) = 0;
  virtual void LinkStatusChanged(TDBLink& link, TJobStatus status);
  // After a run has ended and its thread is gone: the source is switched
  // back to its own records. Windows add what they need.
  virtual void LinkFinished(TDBLink& link);
  // Debug go (`step` false) or Step on a stopped or paused link: DebugGo or
  // Step by default.
  virtual void StartRun(TDBLink& link, bool step) { step ? link.Step() : link.DebugGo(); }
  // Extra enabling rules of a window (Debug Parameters, View expression).
  virtual void UpdateExtraActions() {}

  void done(int result) override;

private:
  void ConnectCommonActions();
  void AddLogRow(const TKVLog& log);
  void ShowLogProperty();
  void PauseCurrent();
  void StopCurrent();
  void AfterExecute(TDBLink& link);
  void SettleFinishedLinks();
  static void StopAndJoin(TDBLink& link);

  QTreeWidget* lvwLog_ = nullptr;
  TDataSetTableModel* gridModel_ = nullptr;  // owned by the window
  QTimer* idle_ = nullptr;                    // enabling and run ends
  std::vector<TDBLink*> finishing_;           // runs that ended, waiting for their threads
  std::set<TDBLink*> ran_;                    // links whose status changed here (their counters are shown)
  bool shutDown_ = false;
};

// True when `link` may be started, stepped or resumed: stopped or paused,
// with no thread of an earlier run still ending.
KVEDITORLIB_EXPORT bool LinkCanStart(const TDBLink& link);

}  // namespace kv
