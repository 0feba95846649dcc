// The main window's designing commands: New job, Design job, the DB link and
// dataset dialogs of the current DB link, the import preview and browsing.
#include <QDir>
#include <QFileInfo>
#include <QTreeWidget>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "app/MainFormActions.h"
#include "editors/QtText.h"
#include "environment/LanguageTranslate.h"
#include "foundation/FileUtils.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"
#include "data/TableDataSets.h"

namespace kv {

namespace {

const char* const kNewJobFilter = "*.job (*.job);;*.* (*)";

// The chosen job file as an absolute path; a name without an extension
// gets ".job".
std::string JobFilePath(const QString& chosen) {
  QFileInfo info(chosen);
  QString path = info.absoluteFilePath();
  if (info.suffix().isEmpty()) path += ".job";
  return StdStr(QDir::cleanPath(path));
}

// Where the save dialog of a new job starts: its file name, else its name
// in the default folder.
QString InitialJobFile(const TJob& job) {
  if (!job.SaveFileName.empty()) return QStr(job.SaveFileName);
  const QString name = QStr(job.Name);
  if (GlobalEnv && !GlobalEnv->DefaultFolder.empty()) return QDir(QStr(GlobalEnv->DefaultFolder)).filePath(name);
  return name;
}

// The group's job saved in `file` (an absolute, clean path), or null.
const TJob* JobSavedIn(const std::string& file) {
  for (int i = 0; i < JobGroup->Count(); ++i) {
    const TJob* job = JobGroup->GetObj(i);
    if (job && QDir::cleanPath(QFileInfo(QStr(job->GetSaveFileName())).absoluteFilePath()) == QStr(file))
      return job;
  }
  return nullptr;
}

// The name of the group's job saved in `file`, or empty when none is.
std::string JobOfFile(const std::string& file) {
  const TJob* job = JobSavedIn(file);
  return job ? job->Name : std::string();
}

// A free file name beside `file` for designing a job that is to replace it.
std::string ScratchBeside(const std::string& file) {
  std::string scratch = file + ".new";
  for (int n = 2; FileExists(scratch); ++n) scratch = file + ".new" + std::to_string(n);
  return scratch;
}

// Moves the designed scratch file over `file` (replacing it in one step).
void ReplaceWith(const std::string& scratch, const std::string& file) {
  std::error_code error;
  std::filesystem::rename(scratch, file, error);
  if (error) throw std::runtime_error(file + ": " + error.message());
}

// Switches a table dataset's NewTable flag off while it lives and restores
// it afterwards, however the scope is left.
class TNewTableOff {
public:
  explicit TNewTableOff(TKVCustomDataSet& dataSet) : table_(ObjCast<TKVCustomTableDataSet>(&dataSet)) {
    if (!table_) return;
    saved_ = table_->NewTable;
    table_->NewTable = false;
  }
  ~TNewTableOff() {
    if (table_) table_->NewTable = saved_;
  }
  TNewTableOff(const TNewTableOff&) = delete;
  TNewTableOff& operator=(const TNewTableOff&) = delete;

private:
  TKVCustomTableDataSet* table_;  // not owned
  bool saved_ = false;
};

}  // namespace

// The job is saved under the chosen name and lives there from now on: the
// group's file list follows it, so the next start loads the file that later
// changes are saved to. A file holding another job of the group is refused.
void TMainForm::ExportJob() {
  TJob* job = currentJob_;
  if (!job) return;
  const std::string initial = job->SaveFileName.empty() ? job->Name : job->SaveFileName;
  std::string file;
  for (;;) {
    const QString chosen = hooks_.SaveFileName(QStr(initial), kNewJobFilter);
    if (chosen.isEmpty()) return;
    file = StdStr(QDir::cleanPath(QFileInfo(chosen).absoluteFilePath()));
    const TJob* owner = JobSavedIn(file);
    if (!owner || owner == job) break;
    ShowError(Format(kv::Translate("MainForm_JobFileInUse", "The file %s holds the job %s; choose another file."),
                     file, owner->Name));
  }
  const std::string previous = job->SaveFileName;
  const int listed = JobGroup->ProgramFileInfo->IndexOf(job->GetSaveFileName());
  job->SaveFileName = file;
  try {
    SaveJob(*job);
  } catch (const std::exception& e) {
    job->SaveFileName = previous;  // the save is atomic: the job stays where it was
    ShowError(e.what());
    return;
  }
  if (listed >= 0) JobGroup->ProgramFileInfo->SetString(listed, file);
}

void TMainForm::NewJob() {
  if (!JobGroup || !hooks_.EditJobPro || !hooks_.DesignJob) return;
  auto job = std::make_unique<TJob>();
  if (!hooks_.EditJobPro(*job)) return;
  std::string file;
  // A file that holds another job of the group is never written over.
  for (;;) {
    const QString chosen = hooks_.SaveFileName(InitialJobFile(*job), kNewJobFilter);
    if (chosen.isEmpty()) return;
    file = JobFilePath(chosen);
    const std::string owner = JobOfFile(file);
    if (owner.empty()) break;
    ShowError(Format(kv::Translate("MainForm_JobFileInUse", "The file %s holds the job %s; choose another file."),
                     file, owner));
  }
  // The designer opens the diagram a job file holds. A new job that is to
  // replace a file starts empty: it is designed under a scratch name beside
  // that file (relative names resolve alike) and takes the file once confirmed.
  const bool replacing = FileExists(file);
  job->SaveFileName = replacing ? ScratchBeside(file) : file;
  if (!hooks_.DesignJob(*job)) {
    std::error_code ignored;  // the designer writes only on OK
    if (replacing) std::filesystem::remove(job->SaveFileName, ignored);
    return;
  }
  if (replacing) {
    const std::string scratch = job->SaveFileName;
    Guarded([&] {
      ReplaceWith(scratch, file);
      job->SaveFileName = file;  // else the design stays in the scratch file
    });
  }
  TJob& added = *job;
  const std::string name = added.Name;
  JobGroup->AddOwned(name, std::move(job));
  JobGroup->ProgramFileInfo->Add(added.SaveFileName);
  HookJobEvents(added);
  if (NodeShowsStatus(SelectedNode(), added.Status())) AddJobRow(added);
  UpdateActions();
}

void TMainForm::DesignCurrentJob() {
  TJob* job = currentJob_;
  if (!job || !job->IsStop() || !hooks_.DesignJob) return;
  // The designer rebuilds the job's DB links (also on Apply before a
  // Cancel): no row or grid may refer to the old ones meanwhile.
  SetCurrentLink(nullptr);
  lvwDBLinks_->clear();
  const bool ok = hooks_.DesignJob(*job);
  if (ok) RefreshJobRow(*job);
  FillDBLinks();
  HookJobEvents(*job);
  UpdateActions();
}

TDBLink* TMainForm::StoppedLink() const {
  if (!currentJob_ || !currentJob_->IsStop() || !currentLink_ || !currentLink_->IsStop()) return nullptr;
  return currentLink_;
}

void TMainForm::EditLinkProperty() {
  TDBLink* link = StoppedLink();
  if (!link || !hooks_.EditDBLinkPro) return;
  TJob& job = *currentJob_;
  const bool ok = hooks_.EditDBLinkPro(*link, job);
  // An Apply before a Cancel may have renamed the link: the row follows anyway.
  RefreshLinkRow(*link);
  FillPropertyPage();
  if (ok) Guarded([&] { SaveJob(job); });
}

void TMainForm::EditLinkMapping() {
  TDBLink* link = StoppedLink();
  if (!link || !hooks_.EditDBLinkMaping) return;
  if (hooks_.EditDBLinkMaping(*link)) Guarded([this] { SaveJob(*currentJob_); });
}

void TMainForm::EditLinkDataSet(bool dest) {
  TDBLink* link = StoppedLink();
  if (!link || !hooks_.EditDataSet) return;
  TKVCustomDataSet* dataSet = dest ? link->DestDataSet() : link->SourceDataSet();
  if (!dataSet) return;
  TJob& job = *currentJob_;
  const bool ok = hooks_.EditDataSet(*dataSet, job);
  FillPropertyPage();
  if (ok) Guarded([&] { SaveJob(job); });
}

void TMainForm::PreviewImportData() {
  TDBLink* link = StoppedLink();
  if (link && hooks_.PreImpData) hooks_.PreImpData(*link, *currentJob_);
}

void TMainForm::BrowseLinkData(bool dest) {
  TDBLink* link = StoppedLink();
  if (!link || !hooks_.BrowseData) return;
  TKVCustomDataSet* dataSet = dest ? link->DestDataSet() : link->SourceDataSet();
  if (!dataSet) return;
  if (!dest) {
    Guarded([&] { hooks_.BrowseData(*dataSet); });
    return;
  }
  // Browsing a destination shows the table as it is: it is never created here.
  const TNewTableOff keep(*dataSet);
  Guarded([&] { hooks_.BrowseData(*dataSet); });
}

void TMainForm::UpdateDesignActions() {
  TActions& a = *ac_;
  const bool jobStopped = currentJob_ && currentJob_->IsStop();
  const bool linkStopped = StoppedLink() != nullptr;
  a.acNewJob->setEnabled(JobGroup && hooks_.EditJobPro && hooks_.DesignJob);
  a.acDesignJob->setEnabled(jobStopped && hooks_.DesignJob);
  a.acDBLinkPro->setEnabled(linkStopped && hooks_.EditDBLinkPro);
  a.acDBLinkMapping->setEnabled(linkStopped && hooks_.EditDBLinkMaping);
  a.acDestDataSetPro->setEnabled(linkStopped && hooks_.EditDataSet && currentLink_->DestDataSet());
  a.acSourDataSetPro->setEnabled(linkStopped && hooks_.EditDataSet && currentLink_->SourceDataSet());
  a.acPreviewImportData->setEnabled(linkStopped && hooks_.PreImpData);
  a.acBrowseSourceData->setEnabled(linkStopped && hooks_.BrowseData && currentLink_->SourceDataSet());
  a.acBrowseDestData->setEnabled(linkStopped && hooks_.BrowseData && currentLink_->DestDataSet());
}

void TMainForm::ConnectDesignActions() {
  TActions& a = *ac_;
  auto on = [this](QAction* action, auto slot) { connect(action, &QAction::triggered, this, slot); };
  on(a.acNewJob, [this] { NewJob(); });
  on(a.acDesignJob, [this] { DesignCurrentJob(); });
  on(a.acDBLinkPro, [this] { EditLinkProperty(); });
  on(a.acDBLinkMapping, [this] { EditLinkMapping(); });
  on(a.acDestDataSetPro, [this] { EditLinkDataSet(true); });
  on(a.acSourDataSetPro, [this] { EditLinkDataSet(false); });
  on(a.acPreviewImportData, [this] { PreviewImportData(); });
  on(a.acBrowseSourceData, [this] { BrowseLinkData(false); });
  on(a.acBrowseDestData, [this] { BrowseLinkData(true); });
}

}  // namespace kv
