// The main window's start, close and tray behaviour.
#include "app/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "app/MainFormActions.h"
#include "app/MainFormParts.h"
#include "editors/DataSetTableModel.h"
#include "app/WindowLayout.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/ThreadLocks.h"
#include "foundation/UserInterface.h"
#include "jobs/JobThreads.h"

namespace kv {

namespace {

void DefaultHooks(TMainFormHooks& hooks, QWidget* parent) {
  if (!hooks.OpenFileName)
    hooks.OpenFileName = [parent](const QString& dir, const QString& filter) {
      return QFileDialog::getOpenFileName(parent, QString(), dir, filter);
    };
  if (!hooks.SaveFileName)
    hooks.SaveFileName = [parent](const QString& initial, const QString& filter) {
      return QFileDialog::getSaveFileName(parent, QString(), initial, filter);
    };
  if (!hooks.TrayAvailable) hooks.TrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
  if (!hooks.OpenDocument)
    hooks.OpenDocument = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

}  // namespace

TMainForm::TMainForm(TMainFormHooks hooks, QWidget* parent) : QMainWindow(parent), hooks_(std::move(hooks)) {
  setObjectName("MainForm");
  setWindowTitle("Vandrel Pro 1.02");
  resize(1000, 700);
  DefaultHooks(hooks_, this);
  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildPopups();
  BuildCentral();
  BuildStatusBar();
  ConnectActions();
  ConnectLists();
  ApplyLayout();
  LoadGroupAndSettings();
  InitMonitorAndTree();
  Translate();
  BuildTray();
  idleTimer_ = new QTimer(this);
  idleTimer_->setInterval(200);
  connect(idleTimer_, &QTimer::timeout, this, &TMainForm::UpdateActions);
  idleTimer_->start();
  UpdateActions();
}

TMainForm::~TMainForm() {
  if (!closed_) DetachAndStopAll();
  errModel_->SetDataSet(nullptr);
  GlobalThread.reset();
  if (JobGroup) JobGroup->StopTicker();
  JobGroup.reset();
  JobQueue.reset();
  if (GlobalEnv == env_.get()) GlobalEnv = nullptr;
  if (tray_) tray_->hide();
}

// ---- start ----

void TMainForm::ApplyLayout() {
  const TWindowLayout layout = ReadWindowLayout();
  if (layout.Language) KVLanguageType = *layout.Language == 1 ? ltSimpleChinese : ltEnglish;
  if (layout.JobProWidth) mainSizes_[0] = *layout.JobProWidth;
  if (layout.DBLinkHeight) listSizes_[1] = *layout.DBLinkHeight;
  if (layout.DBLinkInfo) listSizes_[2] = *layout.DBLinkInfo;
  QRect bounds = geometry();
  if (layout.Left) bounds.moveLeft(*layout.Left);
  if (layout.Top) bounds.moveTop(*layout.Top);
  if (layout.Height) bounds.setHeight(*layout.Height);
  if (layout.Width) bounds.setWidth(*layout.Width);
  setGeometry(bounds);
  if (layout.Maximize && *layout.Maximize) setWindowState(windowState() | Qt::WindowMaximized);
}

void TMainForm::LoadGroupAndSettings() {
  if (!JobQueue) JobQueue = std::make_unique<TJobQueue>();
  if (!JobGroup) JobGroup = std::make_unique<TJobGroup>();
  Guarded([] { JobGroup->LoadPrograms(); });
  for (const TKVLogRecord& problem : JobGroup->Logs->Snapshot()) ShowError(problem.Event);
  JobGroup->OnTimer = [this](TObject&) { UpdateMonitor(); };
  JobGroup->StartTicker(hooks_.TickPeriod);
  try {
    env_ = LoadEnvironment(EnvironmentFilePath());
  } catch (const std::exception& e) {
    // The file stays as it is: it is never written over in this session.
    envUnreadable_ = true;
    ShowError(e.what());
    env_ = std::make_unique<TKVEnvironment>();
  }
  GlobalEnv = env_.get();
  for (int i = 0; i < JobGroup->Count(); ++i) {
    if (TJob* job = JobGroup->GetObj(i)) HookJobEvents(*job);
  }
  ApplyLogRuleAtStart();
}

void TMainForm::ApplyLogRuleAtStart() {
  if (!ClearLogsByDays(*GlobalEnv->LogOption, LogNow())) return;
  JobGroup->ClearLog();
  // The next period counts from now.
  GlobalEnv->LogOption->DelTime = LogNow();
}

void TMainForm::InitMonitorAndTree() {
  ResetMonitor();
  tvwJobPro_->expandAll();
  tvwJobPro_->setCurrentItem(tvwJobPro_->topLevelItem(0));
  ShowJobsOfNode(jnAll);
  EmptyTotalsPanels();
}

void TMainForm::Translate() {
  KVSetLanguage(KVLanguageType);
  LanguageTanslate(*this);
  LanguageTansAcMenu(*menuBar());
  for (QMenu* menu : findChildren<QMenu*>()) {
    if (menu->objectName() == "miLanguage") menu->setTitle(QStr(kv::Translate("&Language", "&Language")));
  }
  panels_[0]->clear();
  if (started_) ClockAndTotals();
  ShowJobsOfNode(SelectedNode());
}

void TMainForm::BuildTray() {
  if (!hooks_.TrayAvailable()) return;
  tray_ = new QSystemTrayIcon(this);
  tray_->setObjectName("TrayIcon");
  QIcon icon = windowIcon();
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
  tray_->setIcon(icon);
  tray_->setToolTip(windowTitle().left(63));
  tray_->setContextMenu(pmNotify_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::DoubleClick) return;
    showNormal();
    raise();
    activateWindow();
  });
  tray_->show();
  QApplication::setQuitOnLastWindowClosed(false);
}

void TMainForm::FirstTimerTick() {
  if (started_) return;
  started_ = true;
  GlobalThread = std::make_unique<TGlobalThread>(hooks_.TickPeriod);
  GlobalThread->OnTimer = [this](TGlobalThread&) { ClockAndTotals(); };
  GlobalThread->Start();
  if (GlobalEnv->ShowTipDlgOnStart && hooks_.ShowTips) hooks_.ShowTips();
}

// ---- close ----

bool TMainForm::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    panels_[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
    return true;
  }
  return QMainWindow::event(event);
}

// The splitters share out their real size only once the window has one.
void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (sizesApplied_) return;
  sizesApplied_ = true;
  mainSizes_[1] = std::max(1, mainSplit_->width() - mainSizes_[0]);
  listSizes_[0] = std::max(1, listSplit_->height() - listSizes_[1] - listSizes_[2]);
  mainSplit_->setSizes(mainSizes_);
  listSplit_->setSizes(listSizes_);
}

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !tray_) return;
  if (windowState() & Qt::WindowMinimized) QTimer::singleShot(0, this, [this] { hide(); });
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (closed_) return event->accept();
  if (tray_ && !exiting_) {
    // With a tray the title bar's close only hides the window.
    hide();
    return event->ignore();
  }
  exiting_ = false;
  if (!CloseQuery()) return event->ignore();
  CloseSteps();
  exited_ = true;
  if (tray_) tray_->hide();
  event->accept();
}

void TMainForm::ExitProgram() {
  exiting_ = true;
  if (isVisible()) {
    close();
  } else {
    // A hidden window gets no close event: run the same question and steps.
    exiting_ = false;
    if (!CloseQuery()) return;
    CloseSteps();
    exited_ = true;
    if (tray_) tray_->hide();
  }
  // With a tray the program does not end when its last window closes (a
  // message box closing while the window is hidden must not end it).
  if (exited_ && tray_) QCoreApplication::quit();
}

void TMainForm::EndSession() {
  if (!closed_) {
    CloseSteps();
    exited_ = true;
    if (tray_) tray_->hide();
  }
  QCoreApplication::quit();
}

bool TMainForm::CloseQuery() {
  if (JobGroup->GetRunCount() <= 0) return true;
  return UserInterface().MessageDlg(SSureCloseMainForm, mtWarning, mbYesNo, mrNo) == mrYes;
}

void TMainForm::CloseSteps() {
  closed_ = true;
  StoreLayout();
  if (ClearLogsAtExit(*GlobalEnv->LogOption)) JobGroup->ClearLog();
  Guarded([] { JobGroup->SavePrograms(); });
  SaveEnvironment();
  DetachAndStopAll();
}

void TMainForm::StoreLayout() {
  TWindowLayout layout;
  const QRect bounds = normalGeometry();
  layout.Left = bounds.left();
  layout.Top = bounds.top();
  layout.Height = bounds.height();
  layout.Width = bounds.width();
  layout.Maximize = isMaximized();
  const QList<int> main = sizesApplied_ ? mainSplit_->sizes() : mainSizes_;
  const QList<int> lists = sizesApplied_ ? listSplit_->sizes() : listSizes_;
  layout.JobProWidth = main.value(0);
  layout.DBLinkHeight = lists.value(1);
  layout.DBLinkInfo = lists.value(2);
  layout.Language = KVLanguageType == ltSimpleChinese ? 1 : 0;
  WriteWindowLayout(layout);
}

void TMainForm::SaveEnvironment() {
  if (envUnreadable_) return;
  Guarded([] { kv::SaveEnvironment(*GlobalEnv, EnvironmentFilePath()); });
}

// Detaches every handler under ThreadLock and tells every job to stop; then,
// without the lock (a link thread may need it to finish), waits for the runs
// to end, pumping the calls they hand to this thread (which no longer reach
// any handler of the window).
void TMainForm::DetachAndStopAll() {
  closed_ = true;
  if (!JobGroup) return;
  JobGroup->OnTimer = nullptr;
  {
    TThreadLockGuard lock;
    for (int i = 0; i < JobGroup->Count(); ++i) {
      TJob* job = JobGroup->GetObj(i);
      if (!job) continue;
      UnhookJobEvents(*job);
      if (!job->IsStop() || job->Thread() || job->LinksBusy()) job->Stop();
    }
  }
  for (int i = 0; i < JobGroup->Count(); ++i) {
    if (TJob* job = JobGroup->GetObj(i); job && job->Thread()) job->WaitFor();
  }
  currentLink_ = nullptr;
  currentJob_ = nullptr;
  errModel_->SetDataSet(nullptr);
}

}  // namespace kv
