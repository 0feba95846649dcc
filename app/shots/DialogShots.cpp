// Screenshots of the editor library's dialogs: each is opened without
// blocking on sample data built here, grabbed and closed.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <memory>

#include "app/shots/Shots.h"
#include "editors/EnvForm.h"
#include "editors/ExpForm.h"
#include "editors/JobProForm.h"
#include "editors/LogInfoForm.h"
#include "editors/ScheduleForm.h"
#include "environment/Environment.h"
#include "environment/Logs.h"
#include "expression/Expression.h"
#include "expression/VarList.h"
#include "foundation/DateUtils.h"
#include "jobs/Job.h"

namespace kv {

namespace {

// Shows `window`, lets it lay itself out, and writes "<name>-<suffix>.png".
void Shoot(QWidget& window, const QString& outDir, const QString& name, const QString& suffix) {
  window.show();
  QApplication::processEvents();
  window.grab().save(QDir(outDir).filePath(name + "-" + suffix + ".png"));
  window.close();
}

std::unique_ptr<TJob> SampleJob() {
  auto job = std::make_unique<TJob>();
  job->Name = "orders-to-sqlite";
  job->Description = "Loads the day's orders CSV into the reporting database.";
  job->BeforeExecuteExp = "LOADED := 0";
  job->AfterExecuteExp = "Iif(LOADED > 0, Beep(), Void())";
  job->VarList->SetVarExp("LOADED", CreateIntExp(0));
  job->VarList->SetVarExp("RATE", CreateRealExp(1.5));
  job->VarList->SetVarExp("REGION", CreateStrExp("north"));
  job->ScheduleMode->SetSchedulePeriod(spEveryWeek);
  job->ScheduleMode->RunMode = rmByAuto;
  auto* week = ObjCast<TScheduleEveryWeek>(job->ScheduleMode->Schedule());
  week->StartTime = EncodeDateTime(2024, 3, 4, 6, 30, 0);
  week->Monday = week->Wednesday = week->Friday = true;
  return job;
}

void ShootExpForm(TJob& job, const QString& outDir, const QString& suffix) {
  TExpForm form;
  form.SetExpStr("Iif(RATE > 1, FormatFloat('0.00', RATE), REGION)");
  form.SetVarList(job.VarList.get());
  form.SetFunType(3);
  Shoot(form, outDir, "ExpForm", suffix);
}

void ShootJobForms(TJob& job, const QString& outDir, const QString& suffix) {
  TKVJobProForm general(job);
  Shoot(general, outDir, "KVJobProForm", suffix);
  TKVJobProForm condition(job);
  condition.findChild<QTabWidget*>()->setCurrentIndex(1);
  Shoot(condition, outDir, "KVJobProForm-Condition", suffix);
  TKVScheduleForm schedule(*job.ScheduleMode);
  Shoot(schedule, outDir, "KVScheduleForm", suffix);
}

void ShootEnvForm(const QString& outDir, const QString& suffix) {
  TKVEnvironment env;
  env.SetDefaultFolder(QDir::homePath().toStdString() + "/Vandrel/Project");
  env.LogOption->Include(dlmDelExceedSize);
  const char* const pages[4] = {"", "-Log", "-MonitorParam", "-Other"};
  for (int page = 0; page < 4; ++page) {
    TKVEnvForm form(env);
    form.findChild<QTabWidget*>()->setCurrentIndex(page);
    Shoot(form, outDir, QString("KVEnvForm") + pages[page], suffix);
  }
}

}  // namespace

void ShootDialogs(const QString& outDir, const QString& suffix, const QString& home) {
  (void)home;  // the dialogs show sample data built in code, not the program folder's jobs
  auto job = SampleJob();
  ShootExpForm(*job, outDir, suffix);
  ShootJobForms(*job, outDir, suffix);
  ShootEnvForm(outDir, suffix);
  TKVLog log(ltWarnint, EncodeDateTime(2003, 5, 17, 8, 30, 5),
             "DBLink:orders start convert.\r\nRow 12: the value 'abc' is no number.");
  TLogInfoForm logForm(log);
  Shoot(logForm, outDir, "LogInfoForm", suffix);
}

}  // namespace kv
