#include "editors/DebugFormBase.h"

#include <QAction>
#include <QHeaderView>
#include <QKeySequence>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "editors/DataSetTableModel.h"
#include "editors/LinkRunEvents.h"
#include "editors/LogInfoForm.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "environment/Environment.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"
#include "expression/DateTimeText.h"
#include "jobs/DBLinkThread.h"

namespace kv {

namespace {

constexpr int kLogTypeRole = Qt::UserRole + 1;
constexpr int kLogTimeRole = Qt::UserRole + 2;
constexpr int kIdleMs = 100;

QAction* NewAction(QWidget* owner, const char* name, const QString& caption, const QKeySequence& key,
                   QStyle::StandardPixmap icon) {
  auto* action = new QAction(owner->style()->standardIcon(icon), caption, owner);
  action->setObjectName(name);
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  owner->addAction(action);
  return action;
}

bool Confirmed(bool ask, const TMessage& question, const TDBLink& link) {
  if (!ask) return true;
  return UserInterface().MessageDlg(Format(question.Text(), link.Name), mtWarning, mbYesNo, mrNo) == mrYes;
}

}  // namespace

bool LinkCanStart(const TDBLink& link) {
  return link.IsStop() && (link.Status() == jsPause || link.Thread() == nullptr);
}

TDebugFormBase::TDebugFormBase(QWidget* parent) : QDialog(parent) {
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  gridModel_ = new TDataSetTableModel(this);
  idle_ = new QTimer(this);
  connect(idle_, &QTimer::timeout, this, [this] {
    SettleFinishedLinks();
    // The counters a run publishes between its records.
    if (!shutDown_)
      for (TDBLink* link : ran_) LinkCountersChanged(*link);
    UpdateActions();
  });
  idle_->start(kIdleMs);
}

TDebugFormBase::~TDebugFormBase() { gridModel_->SetDataSet(nullptr); }

QString TDebugFormBase::DateTimeText(const TMessage& pattern, double value) {
  if (value <= 0) return {};
  try {
    return QStr(FormatDateTime(pattern.Text(), value));
  } catch (const std::exception&) {
    return {};
  }
}

// ---- building ----

void TDebugFormBase::BuildCommonActions(QToolBar& bar) {
  acDebugGo = NewAction(this, "acDebugGo", "&Debug go", Qt::Key_F5, QStyle::SP_MediaPlay);
  acDebugStep = NewAction(this, "acDebugStep", "&Step", Qt::Key_F6, QStyle::SP_MediaSkipForward);
  acDebugPause = NewAction(this, "acDebugPause", "&Pause", Qt::Key_F7, QStyle::SP_MediaPause);
  acDebugStop = NewAction(this, "acDebugStop", "&Stop", Qt::Key_F9, QStyle::SP_MediaStop);
  acLogPro = NewAction(this, "acLogPro", "&Property", {}, QStyle::SP_FileDialogDetailedView);
  acClearLog = NewAction(this, "acClearLog", "&Clear Log", {}, QStyle::SP_DialogResetButton);
  acExit = NewAction(this, "acExit", "E&xit", {}, QStyle::SP_DialogCloseButton);
  bar.addActions({acDebugGo, acDebugStep, acDebugPause, acDebugStop});
  bar.addSeparator();
  bar.addActions({acLogPro, acClearLog});
  bar.addSeparator();
  bar.addAction(acExit);
  ConnectCommonActions();
}

void TDebugFormBase::ConnectCommonActions() {
  auto start = [this](bool step) {
    TDBLink* link = CurrentLink();
    if (!link || !LinkCanStart(*link)) return;
    try {
      StartRun(*link, step);
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
    UpdateActions();
  };
  connect(acDebugGo, &QAction::triggered, this, [start] { start(false); });
  connect(acDebugStep, &QAction::triggered, this, [start] { start(true); });
  connect(acDebugPause, &QAction::triggered, this, [this] { PauseCurrent(); });
  connect(acDebugStop, &QAction::triggered, this, [this] { StopCurrent(); });
  connect(acLogPro, &QAction::triggered, this, [this] { ShowLogProperty(); });
  connect(acClearLog, &QAction::triggered, this, [this] { lvwLog_->clear(); });
  connect(acExit, &QAction::triggered, this, [this] { reject(); });
}

QWidget* TDebugFormBase::BuildLogPage() {
  lvwLog_ = new QTreeWidget;
  lvwLog_->setObjectName("lvwLog");
  lvwLog_->setRootIsDecorated(false);
  lvwLog_->setHeaderLabels({"Date", "Time", "Event"});
  lvwLog_->header()->setStretchLastSection(true);
  lvwLog_->setContextMenuPolicy(Qt::ActionsContextMenu);
  lvwLog_->addActions({acLogPro, acClearLog});
  connect(lvwLog_, &QTreeWidget::itemDoubleClicked, this, [this] { ShowLogProperty(); });
  connect(lvwLog_, &QTreeWidget::currentItemChanged, this, [this] { UpdateActions(); });
  auto* page = new QWidget;
  page->setObjectName("tshLog");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(lvwLog_);
  return page;
}

QTableView* TDebugFormBase::BuildErrorGrid(QWidget* parent) {
  auto* grid = new QTableView(parent);
  grid->setObjectName("dgdErrData");
  grid->setModel(gridModel_);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return grid;
}

// ---- links ----

void TDebugFormBase::HookLink(TDBLink& link) {
  // Every handler does nothing once the window shuts down: the runs still
  // ending then reach none of its widgets.
  link.OnLogOccur = [this](const TKVLog& log) {
    if (!shutDown_) AddLogRow(log);
  };
  link.OnError = [this](TDBLink& sender, const std::string& error, TDataSet* dataSet, TAbortMode&) {
    if (shutDown_) return;
    HandleLinkError(sender, error, dataSet, [] { SaveGlobalEnvironment(); });
    // The grid shows the record just captured.
    if (gridModel_->DataSet() == &sender.ErrorData()) gridModel_->SetDataSet(&sender.ErrorData());
    LinkCountersChanged(sender);
  };
  link.OnConvertRecord = [this](TDBLink& sender, const TVariant& values, const TSpeedValue&, TAbortMode&) {
    if (!shutDown_) LinkConverted(sender, values);
  };
  link.OnStatus = [this](TDBLink& sender, TJobStatus status) {
    if (shutDown_) return;
    ran_.insert(&sender);
    LinkStatusChanged(sender, status);
  };
  auto logged = [this](const TMessage& message) {
    return [this, &message](TDBLink& sender) {
      if (!shutDown_) sender.AddLog(ltInfo, Format(message.Text(), sender.Name));
    };
  };
  link.OnBeforeConvert = logged(SDBLinkStartConvert);
  link.OnAfterConvert = logged(SDBLinkEndConvert);
  link.OnBeforeOpenSource = logged(SDBLinkOpeningSourceDataSetMsg);
  link.OnAfterOpenSource = logged(SDBLinkOpenedSourceDataSetMsg);
  link.OnBeforeOpenDest = logged(SDBLinkOpeningDestDataSetMsg);
  link.OnAfterOpenDest = logged(SDBLinkOpenedDestDataSetMsg);
  link.OnAfterExecute = [this](TDBLink& sender) {
    if (!shutDown_) AfterExecute(sender);
  };
  link.OnUpdateProgress = [this](TDBLink& sender) {
    if (!shutDown_) LinkCountersChanged(sender);
  };
  // The windows run copies: the job a copy was made from is not told of its
  // status (it might be running on schedule meanwhile).
  link.OnIntelStatus = nullptr;
}

void TDebugFormBase::UnhookLink(TDBLink& link) {
  for (TLinkNotifyEvent* e : {&link.OnBeforeOpenSource, &link.OnAfterOpenSource, &link.OnBeforeOpenDest,
                              &link.OnAfterOpenDest, &link.OnBeforeConvert, &link.OnAfterConvert,
                              &link.OnAfterExecute, &link.OnUpdateProgress})
    *e = nullptr;
  link.OnConvertRecord = nullptr;
  link.OnError = nullptr;
  link.OnStatus = nullptr;
  link.OnLogOccur = nullptr;
}

void TDebugFormBase::LinkStatusChanged(TDBLink& link, TJobStatus status) {
  LinkCountersChanged(link);
  TLogType type = ltInfo;
  const std::string text = LinkStatusLogText(link, status, type);
  if (!text.empty()) link.AddLog(type, text);
  UpdateActions();
}

// The run is about to end: its thread closes the datasets it opened. The
// source goes back to its own records once that thread is gone.
void TDebugFormBase::AfterExecute(TDBLink& link) {
  if (std::find(finishing_.begin(), finishing_.end(), &link) == finishing_.end()) finishing_.push_back(&link);
}

void TDebugFormBase::SettleFinishedLinks() {
  for (auto it = finishing_.begin(); it != finishing_.end();) {
    TDBLink* link = *it;
    if (link->Thread()) {
      ++it;
      continue;
    }
    it = finishing_.erase(it);
    if (!shutDown_) LinkFinished(*link);
  }
}

void TDebugFormBase::LinkFinished(TDBLink& link) {
  if (link.SourceDataType() == sdtError) link.SetSourceDataType(sdtOrigin);
  LinkCountersChanged(link);
}

// ---- commands ----

void TDebugFormBase::UpdateActions() {
  if (!acDebugGo) return;
  TDBLink* link = CurrentLink();
  const bool canStart = link && LinkCanStart(*link);
  acDebugGo->setEnabled(canStart);
  acDebugStep->setEnabled(canStart);
  acDebugPause->setEnabled(link && link->IsRunning());
  // A paused run holds its thread and datasets: it can be stopped too.
  acDebugStop->setEnabled(link && (link->IsRunning() || (link->Status() == jsPause && link->Thread())));
  acLogPro->setEnabled(lvwLog_ && lvwLog_->currentItem() != nullptr);
  UpdateExtraActions();
}

void TDebugFormBase::PauseCurrent() {
  TDBLink* link = CurrentLink();
  if (!link || !link->IsRunning()) return;
  if (!Confirmed(GlobalEnv && GlobalEnv->Prompting->PausePrompt, SDBLinkWillPauseMsg, *link)) return;
  link->Pause();
  UpdateActions();
}

void TDebugFormBase::StopCurrent() {
  TDBLink* link = CurrentLink();
  if (!link || !acDebugStop->isEnabled()) return;
  if (!Confirmed(GlobalEnv && GlobalEnv->Prompting->StopPrompt, SDBLinkWillStopMsg, *link)) return;
  link->Stop();
  if (TDBLinkThread* thread = link->Thread(); thread && link->Status() == jsPause) {
    // A paused link ignores Stop; its parked thread is ended all the same.
    link->SetStatus(jsStop);
    thread->Terminate();
  }
  UpdateActions();
}

void TDebugFormBase::AddLogRow(const TKVLog& log) {
  static const QStyle::StandardPixmap icons[] = {QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning,
                                                 QStyle::SP_MessageBoxInformation};
  auto* row = new QTreeWidgetItem(lvwLog_);
  if (static_cast<size_t>(log.LogType) < std::size(icons)) row->setIcon(0, style()->standardIcon(icons[log.LogType]));
  row->setText(0, DateTimeText(SDateFormatString, log.OccurTime));
  row->setText(1, DateTimeText(STimeFormatString, log.OccurTime));
  row->setText(2, QStr(log.Event));
  row->setData(0, kLogTypeRole, static_cast<int>(log.LogType));
  row->setData(0, kLogTimeRole, log.OccurTime);
  lvwLog_->setCurrentItem(row);
}

void TDebugFormBase::ShowLogProperty() {
  const QTreeWidgetItem* row = lvwLog_->currentItem();
  if (!row) return;
  const TKVLog log(static_cast<TLogType>(row->data(0, kLogTypeRole).toInt()), row->data(0, kLogTimeRole).toDouble(),
                   StdStr(row->text(2)));
  ShowLogInfoForm(log, this);
}

// ---- closing ----

void TDebugFormBase::StopAndJoin(TDBLink& link) {
  link.Stop();
  if (TDBLinkThread* thread = link.Thread()) {
    // A single-stepping run would park again on its way out.
    link.SetRunOperate(roRun);
    if (link.Status() == jsPause) link.SetStatus(jsStop);
    thread->Terminate();
    thread->Resume();
  }
  link.WaitFor();
  // A run that has ended is not paused any more.
  if (link.Status() == jsPause) link.SetStatus(jsStop);
}

void TDebugFormBase::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  idle_->stop();
  gridModel_->SetDataSet(nullptr);
  for (TDBLink* link : Links()) StopAndJoin(*link);
  for (TDBLink* link : Links()) {
    if (link->SourceDataType() == sdtError) link->SetSourceDataType(sdtOrigin);
    UnhookLink(*link);
  }
  finishing_.clear();
  ran_.clear();
}

void TDebugFormBase::done(int result) {
  Shutdown();
  QDialog::done(result);
}

}  // namespace kv
