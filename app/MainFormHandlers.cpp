// The handlers the main window attaches to jobs and DB links, and its commands.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>

#include "app/MainFormActions.h"
#include "app/MainFormParts.h"
#include "editors/DataSetTableModel.h"
#include "editors/LinkRunEvents.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

namespace {

const char* const kJobFilter = "*.job (*.job);;*.* (*)";
const char* const kErrFilter = "*.err (*.err);;*.* (*)";

std::string LinkLogText(const TMessage& message, const TDBLink& link) { return Format(message.Text(), link.Name); }

// The messages a status change is logged with, for a job or a DB link.
struct TStatusMessages {
  const TMessage &stop, &pause, &start, &finished, &error;
};
const TStatusMessages kJobMessages{SJobStopMsg, SJobPauseMsg, SJobStartMsg, SJobFinishedMsg, SJobFindErrorMsg};
const TStatusMessages kLinkMessages{SDBLinkStopMsg, SDBLinkPauseMsg, SDBLinkStartMsg, SDBLinkFinishedMsg,
                                    SDBLinkFindErrorMsg};

// The message for `status` (null: the status is not logged) and its log type.
const TMessage* StatusMessage(const TStatusMessages& messages, TJobStatus status, TLogType& type) {
  type = status == jsError ? ltError : ltInfo;
  switch (status) {
    case jsStop: return &messages.stop;
    case jsPause: return &messages.pause;
    case jsStart: return &messages.start;
    case jsOk: return &messages.finished;
    case jsError: return &messages.error;
    default: return nullptr;
  }
}

}  // namespace

void TMainForm::Guarded(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

// ---- attaching ----

void TMainForm::HookJobEvents(TJob& job) {
  job.OnLogOccur = [this](const TKVLog& log) { AddLogRow(log); };
  job.OnStatus = [this](TJob& sender, TJobStatus status) { JobStatusChanged(sender, status); };
  job.OnBeforeExecute = nullptr;
  job.OnAfterExecute = nullptr;
  job.OnTimer = [this](TJob& sender) {
    RefreshJobRow(sender);
    if (&sender == currentJob_)
      for (int i = 0; i < sender.DBLinks->Count(); ++i)
        if (TDBLink* link = sender.DBLinks->GetObj(i)) RefreshLinkRow(*link);
  };
  for (int i = 0; i < job.DBLinks->Count(); ++i)
    if (TDBLink* link = job.DBLinks->GetObj(i)) HookLinkEvents(job, *link);
}

void TMainForm::HookLinkEvents(TJob&, TDBLink& link) {
  link.OnLogOccur = [this](const TKVLog& log) { AddLogRow(log); };
  link.OnError = [this](TDBLink& sender, const std::string& error, TDataSet* dataSet, TAbortMode&) {
    LinkError(sender, error, dataSet);
  };
  link.OnConvertRecord = [this](TDBLink& sender, const TVariant&, const TSpeedValue&, TAbortMode&) {
    RefreshLinkRow(sender);
  };
  link.OnUpdateProgress = [this](TDBLink& sender) {
    if (&sender == currentLink_) FillTotals();
  };
  link.OnBeforeConvert = [this](TDBLink& sender) {
    LinkLog(sender, ltInfo, LinkLogText(SDBLinkStartConvert, sender));
    if (&sender == currentLink_) ResetProgressPage();
  };
  link.OnAfterConvert = [this](TDBLink& sender) {
    LinkLog(sender, ltInfo, LinkLogText(SDBLinkEndConvert, sender));
    RefreshLinkRow(sender);
    if (&sender == currentLink_) FillTotals();
  };
  link.OnStatus = [this](TDBLink& sender, TJobStatus status) { LinkStatusChanged(sender, status); };
  link.OnBeforeOpenSource = [this](TDBLink& s) { LinkLog(s, ltInfo, LinkLogText(SDBLinkOpeningSourceDataSetMsg, s)); };
  link.OnAfterOpenSource = [this](TDBLink& s) { LinkLog(s, ltInfo, LinkLogText(SDBLinkOpenedSourceDataSetMsg, s)); };
  link.OnBeforeOpenDest = [this](TDBLink& s) { LinkLog(s, ltInfo, LinkLogText(SDBLinkOpeningDestDataSetMsg, s)); };
  link.OnAfterOpenDest = [this](TDBLink& s) { LinkLog(s, ltInfo, LinkLogText(SDBLinkOpenedDestDataSetMsg, s)); };
  link.OnPause = nullptr;
  link.OnBeforeExecute = nullptr;
  link.OnAfterExecute = nullptr;
  link.OnUpdateRecord = nullptr;
  link.OnDebugRecord = nullptr;
}

void TMainForm::UnhookJobEvents(TJob& job) {
  job.OnLogOccur = nullptr;
  job.OnStatus = nullptr;
  job.OnBeforeExecute = nullptr;
  job.OnAfterExecute = nullptr;
  job.OnTimer = nullptr;
  for (int i = 0; i < job.DBLinks->Count(); ++i) {
    TDBLink* link = job.DBLinks->GetObj(i);
    if (!link) continue;
    for (TLinkNotifyEvent* e : {&link->OnBeforeOpenSource, &link->OnAfterOpenSource, &link->OnBeforeOpenDest,
                                &link->OnAfterOpenDest, &link->OnBeforeExecute, &link->OnAfterExecute,
                                &link->OnBeforeConvert, &link->OnAfterConvert, &link->OnDebugRecord,
                                &link->OnUpdateProgress, &link->OnUpdateRecord, &link->OnPause})
      *e = nullptr;
    link->OnConvertRecord = nullptr;
    link->OnError = nullptr;
    link->OnStatus = nullptr;
    link->OnLogOccur = nullptr;
  }
}

// ---- events ----

void TMainForm::LinkLog(TDBLink& link, TLogType type, const std::string& text) { link.AddLog(type, text); }

void TMainForm::JobStatusChanged(TJob& job, TJobStatus status) {
  RefreshJobRow(job);
  TLogType type = ltInfo;
  if (const TMessage* message = StatusMessage(kJobMessages, status, type)) job.AddLog(type, Format(message->Text(), job.Name));
  if (JobGroup->GetRunCount() == 0) {
    if (running_) ResetMonitor();
    running_ = false;
    EmptyTotalsPanels();
  } else {
    if (!running_) monitorStart_ = std::chrono::steady_clock::now();
    running_ = true;
  }
  if (&job == currentJob_ && currentLink_) FillTotals();
  UpdateActions();
}

void TMainForm::LinkStatusChanged(TDBLink& link, TJobStatus status) {
  RefreshLinkRow(link);
  TLogType type = ltInfo;
  if (const TMessage* message = StatusMessage(kLinkMessages, status, type)) LinkLog(link, type, LinkLogText(*message, link));
  if (&link == currentLink_) {
    FillTotals();
    ReloadErrorGrid();
  }
}

void TMainForm::LinkError(TDBLink& link, const std::string& error, TDataSet* dataSet) {
  // The user's choice is kept at once, so it holds after a crash too.
  HandleLinkError(link, error, dataSet, [this] {
    envUnreadable_ = false;
    SaveEnvironment();
  });
  if (&link == currentLink_) {
    FillTotals();
    ReloadErrorGrid();
  }
}

// ---- commands ----

void TMainForm::JobDoubleClicked() {
  TJob* job = currentJob_;
  if (!job) return;
  const TDblClickJobOption& option = *GlobalEnv->DblClickJobOption;
  switch (job->Status()) {
    case jsStop:
    case jsStart:
    case jsWaiting:
    case jsRunning:
      if (option.DblClickOnRunJob == drpRunOrPause)
        Guarded([job] { job->IsStop() ? JobGroup->Run() : JobGroup->Stop(); });
      else if (option.DblClickOnRunJob == drpProperty)
        EditJobProperty();
      else
        EditJobSchedule();
      break;
    case jsOk:
      if (option.DblClickOnCompleteJob == dcpRunOrPause)
        Guarded([] { JobGroup->Run(); });
      else if (option.DblClickOnCompleteJob == dcpProperty)
        EditJobProperty();
      else if (option.DblClickOnCompleteJob == dcpSchedule)
        EditJobSchedule();
      else
        DesignCurrentJob();
      break;
    case jsError:
      if (option.DblClickOnErrorJob == depDesign)
        DesignCurrentJob();
      else if (option.DblClickOnErrorJob == depProperty)
        EditJobProperty();
      else if (option.DblClickOnErrorJob == depSchedule)
        EditJobSchedule();
      break;
    case jsPause: break;
  }
}

void TMainForm::ImportJob() {
  const QString chosen = hooks_.OpenFileName(QStr(GlobalEnv->DefaultFolder), kJobFilter);
  if (chosen.isEmpty()) return;
  const std::string file = StdStr(QFileInfo(chosen).absoluteFilePath());
  Guarded([&] {
    auto job = std::make_unique<TJob>();
    job->GetDesignControl().LoadFromFile(file);
    job->LoadFromFlChart();
    if (JobGroup->IndexOf(job->Name) >= 0 && JobGroup->ProgramFileInfo->IndexOf(file) >= 0) {
      UserInterface().MessageDlg(Format(SJobAlreadyExist.Text(), job->Name), mtWarning, mbOKOnly, mrOk);
      return;
    }
    job->SaveFileName = file;
    SaveJob(*job);
    TJob& added = *job;
    const std::string name = job->Name;
    JobGroup->AddOwned(name, std::move(job));
    JobGroup->ProgramFileInfo->Add(file);
    HookJobEvents(added);
    if (NodeShowsStatus(SelectedNode(), added.Status())) AddJobRow(added);
  });
}

void TMainForm::DeleteJob() {
  TJob* job = currentJob_;
  if (!job || !job->IsStop() || job->Thread() || job->LinksBusy()) return;
  if (GlobalEnv->Prompting->JobDeletion &&
      UserInterface().MessageDlg(Format(SJobDeleteMsg.Text(), job->Name), mtWarning, mbYesNo, mrNo) != mrYes)
    return;
  Guarded([&] {
    delete JobRow(*job);
    currentJob_ = nullptr;
    FillDBLinks();
    const int fileIndex = JobGroup->ProgramFileInfo->IndexOf(job->SaveFileName);
    if (fileIndex >= 0) {
      JobGroup->ProgramFileInfo->Delete(fileIndex);
      job->DeleteFile();
    }
    JobGroup->Delete(JobGroup->IndexOfObject(job));
    JobFocused();
  });
}

void TMainForm::SaveJob(TJob& job) {
  TKVFlowChart& chart = job.GetDesignControl();
  chart.SetJob(&job);
  chart.SaveToFile(job.GetSaveFileName());
}

void TMainForm::EditJobProperty() {
  TJob* job = currentJob_;
  if (!job || !job->IsStop() || !hooks_.EditJobPro) return;
  if (!hooks_.EditJobPro(*job)) return;
  Guarded([&] { SaveJob(*job); });
  HookJobEvents(*job);
  RefreshJobRow(*job);
}

void TMainForm::EditJobSchedule() {
  TJob* job = currentJob_;
  if (!job || !job->IsStop() || !hooks_.EditSchedule) return;
  if (!hooks_.EditSchedule(*job->ScheduleMode)) return;
  Guarded([&] { SaveJob(*job); });
  HookJobEvents(*job);
}

void TMainForm::ClearLog() {
  JobGroup->ClearLog();
  for (int i = 0; i < JobGroup->Count(); ++i)
    if (TJob* job = JobGroup->GetObj(i)) job->Logs->Clear();
  lvwLog_->clear();
}

void TMainForm::SetOption() {
  if (!hooks_.SetSysDefaultPro || !hooks_.SetSysDefaultPro(*GlobalEnv)) return;
  envUnreadable_ = false;  // the user confirmed these settings
  SaveEnvironment();
  ApplyMonitorParams();
}

void TMainForm::SetEnglish() {
  KVLanguageType = ltEnglish;
  ShowMessage(kv::Translate("MainForm_RestartMsg", "Please close and restart application."));
}

void TMainForm::SetChinese() {
  KVLanguageType = ltSimpleChinese;
  Translate();
}

// The manual: beside the program folder's files, else where the package
// installs it (share/doc/vandrel beside bin/), else in the source tree of a
// program run from its build folder.
void TMainForm::OpenContext() {
  const QString home = QStr(PrgDir());
  const QString bin = QCoreApplication::applicationDirPath();
  const QString candidates[] = {home + "README.md", bin + "/../share/doc/vandrel/README.md", bin + "/../../README.md"};
  for (const QString& candidate : candidates) {
    const QString path = QDir::cleanPath(candidate);
    if (QFileInfo::exists(path)) {
      hooks_.OpenDocument(path);
      return;
    }
  }
  ShowWarning(kv::Translate("MainForm_NoManualMsg", "The manual was not found beside the program."));
}

void TMainForm::ShowAbout() {
  if (!about_) about_ = new TAboutWnd(this);
  about_->exec();
}

void TMainForm::ErrDataSaveAs() {
  TDBLink* link = currentLink_;
  if (!link) return;
  const QString chosen = hooks_.SaveFileName(QStr(link->GetErrorDataFileName()), kErrFilter);
  if (chosen.isEmpty()) return;
  Guarded([&] { link->SaveErrorDataToFile(StdStr(chosen)); });
}

void TMainForm::ErrDataLoad() {
  TDBLink* link = currentLink_;
  if (!link) return;
  const QString chosen = hooks_.OpenFileName(QStr(ExtractFilePath(link->GetErrorDataFileName())), kErrFilter);
  if (chosen.isEmpty()) return;
  Guarded([&] { link->LoadErrorDataFromFile(StdStr(chosen)); });
  ReloadErrorGrid();
  FillPropertyPage();
}

// The debug window works on a copy of the job: the job itself is not run.
void TMainForm::DebugCurrentJob() {
  TJob* job = currentJob_;
  if (!job || !ac_->acDebug->isEnabled() || !hooks_.DebugJob) return;
  Guarded([&] { hooks_.DebugJob(*job); });
  UpdateActions();
}

// The error-data window transfers a copy of the link's error records; the
// link's records are read again from its file afterwards.
void TMainForm::RetransferErrorData() {
  TDBLink* link = currentLink_;
  if (!link || !ac_->acErrDataReTrans->isEnabled() || !hooks_.ManageErrorData) return;
  Guarded([&] { hooks_.ManageErrorData(*link); });
  ReloadErrorGrid();
  FillPropertyPage();
  UpdateActions();
}

void TMainForm::ShowOrHide() {
  if (isVisible()) {
    hide();
  } else {
    showNormal();
    raise();
    activateWindow();
  }
}

// ---- enabling ----

void TMainForm::UpdateActions() {
  if (!ac_ || !JobGroup) return;
  TActions& a = *ac_;
  const bool jobStopped = currentJob_ && currentJob_->IsStop();
  const bool linkStopped = currentLink_ && currentLink_->IsStop();
  const int selectStop = JobGroup->GetSelectStopCount();
  const int selectRun = JobGroup->GetSelectRunCount();
  const int runCount = JobGroup->GetRunCount();
  a.acExportJob->setEnabled(currentJob_ != nullptr);
  a.acDelJob->setEnabled(jobStopped);
  a.acSetJobProperty->setEnabled(jobStopped && hooks_.EditJobPro);
  a.acSetJobSchedule->setEnabled(jobStopped && hooks_.EditSchedule);
  a.acRun->setEnabled(selectStop > 0);
  a.acStop->setEnabled(selectRun > 0);
  a.acPause->setEnabled(selectRun > 0);
  a.acRunAllJob->setEnabled(JobGroup->Count() > 0);
  a.acPauseAllJob->setEnabled(runCount > 0);
  a.acStopAllJob->setEnabled(runCount > 0);
  a.acValidate->setEnabled(selectRun == 0);
  a.acSetOption->setEnabled(static_cast<bool>(hooks_.SetSysDefaultPro));
  a.acErrDataSaveAs->setEnabled(linkStopped);
  a.acErrDataLoad->setEnabled(linkStopped);
  const bool jobIdle = jobStopped && !currentJob_->Thread() && !currentJob_->LinksBusy();
  a.acDebug->setEnabled(jobIdle && hooks_.DebugJob);
  const bool hasErrors = currentLink_ && currentLink_->ErrorData().Active() && currentLink_->ErrorData().RecordCount() > 0;
  a.acErrDataReTrans->setEnabled(linkStopped && !currentLink_->Thread() && hasErrors && jobIdle && hooks_.ManageErrorData);
  a.acLogPro->setEnabled(lvwLog_->currentItem() != nullptr && hooks_.ShowLogInfoForm);
  a.acViewToolBar->setChecked(toolBar_->isVisibleTo(this));
  a.acViewStatusBar->setChecked(statusBar()->isVisibleTo(this));
  UpdateDesignActions();
}

void TMainForm::ConnectActions() {
  TActions& a = *ac_;
  auto on = [this](QAction* action, auto slot) { connect(action, &QAction::triggered, this, slot); };
  on(a.acImportJob, [this] { ImportJob(); });
  on(a.acExportJob, [this] { ExportJob(); });
  on(a.acExit, [this] { ExitProgram(); });
  on(a.acDelJob, [this] { DeleteJob(); });
  on(a.acSetJobProperty, [this] { EditJobProperty(); });
  on(a.acSetJobSchedule, [this] { EditJobSchedule(); });
  on(a.acClearLog, [this] { ClearLog(); });
  on(a.acViewToolBar, [this](bool shown) { toolBar_->setVisible(shown); });
  on(a.acViewStatusBar, [this](bool shown) { statusBar()->setVisible(shown); });
  on(a.acRefresh, [this] { ShowJobsOfNode(SelectedNode()); });
  on(a.acRun, [this] { Guarded([] { JobGroup->Run(); }); });
  on(a.acStop, [this] { Guarded([] { JobGroup->Stop(); }); });
  on(a.acPause, [this] { Guarded([] { JobGroup->Pause(); }); });
  on(a.acRunAllJob, [this] { SelectAllJobRows(); Guarded([] { JobGroup->Run(); }); });
  on(a.acPauseAllJob, [this] { SelectAllJobRows(); Guarded([] { JobGroup->Pause(); }); });
  on(a.acStopAllJob, [this] { SelectAllJobRows(); Guarded([] { JobGroup->Stop(); }); });
  on(a.acValidate, [this] { Guarded([] { JobGroup->Validate(); }); });
  on(a.acShowOrHide, [this] { ShowOrHide(); });
  on(a.acSetOption, [this] { SetOption(); });
  on(a.acEngLanguage, [this] { SetEnglish(); });
  on(a.acSimChinese, [this] { SetChinese(); });
  on(a.acContext, [this] { OpenContext(); });
  on(a.acAbout, [this] { ShowAbout(); });
  on(a.acErrDataSaveAs, [this] { ErrDataSaveAs(); });
  on(a.acErrDataLoad, [this] { ErrDataLoad(); });
  on(a.acLogPro, [this] { LogProperty(); });
  ConnectDesignActions();
  on(a.acDebug, [this] { DebugCurrentJob(); });
  on(a.acErrDataReTrans, [this] { RetransferErrorData(); });
}

}  // namespace kv
