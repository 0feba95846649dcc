// Screenshots of the editor library's dialogs: each is opened without
// blocking on sample data built here, grabbed and closed.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTabWidget>
#include <memory>

#include "app/shots/Shots.h"
#include "editors/EnvForm.h"
#include "editors/FChartEditor.h"
#include "editors/FlowChartView.h"
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
#include "jobs/DBLink.h"

namespace kv {

namespace {

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
  ShootWindow(form, outDir, "ExpForm", suffix);
}

void ShootJobForms(TJob& job, const QString& outDir, const QString& suffix) {
  TKVJobProForm general(job);
  ShootWindow(general, outDir, "KVJobProForm", suffix);
  TKVJobProForm condition(job);
  condition.findChild<QTabWidget*>()->setCurrentIndex(1);
  ShootWindow(condition, outDir, "KVJobProForm-Condition", suffix);
  TKVScheduleForm schedule(*job.ScheduleMode);
  ShootWindow(schedule, outDir, "KVScheduleForm", suffix);
}

void ShootEnvForm(const QString& outDir, const QString& suffix) {
  TKVEnvironment env;
  env.SetDefaultFolder(QDir::homePath().toStdString() + "/Vandrel/Project");
  env.LogOption->Include(dlmDelExceedSize);
  const char* const pages[4] = {"", "-Log", "-MonitorParam", "-Other"};
  for (int page = 0; page < 4; ++page) {
    TKVEnvForm form(env);
    form.findChild<QTabWidget*>()->setCurrentIndex(page);
    ShootWindow(form, outDir, QString("KVEnvForm") + pages[page], suffix);
  }
}

// A job with a dataset of every kind and DB links between them, written
// to `file` as a job file.
void WriteDesignerSample(const std::string& file) {
  TJob maker;
  TKVFlowChart& chart = maker.GetDesignControl();
  auto* job = ObjCast<TJob>(chart.Job());
  job->Name = "orders-to-reports";
  job->SaveFileName = file;
  struct Spec {
    TDataSetObjType kind;
    int32_t x, y;
    const char* name;
  };
  const Spec specs[5] = {{dotText, 40, 40, "Orders"},
                         {dotQuery, 40, 220, "Refunds"},
                         {dotFileDB, 300, 40, "Reports"},
                         {dotODBC, 300, 220, "Sales"},
                         {dotOracle, 560, 130, "Ledger"}};
  std::vector<TKVFcObject*> shapes;
  for (const Spec& spec : specs) {
    TKVFcObject* s = chart.CreateObject(spec.x, spec.y, 60, 60, fcsRectangle, spec.kind);
    s->DataSet()->Name = spec.name;
    s->SetText(spec.name);
    shapes.push_back(s);
  }
  const int links[4][2] = {{0, 2}, {1, 3}, {2, 4}, {3, 4}};
  const char* const names[4] = {"LoadOrders", "LoadRefunds", "PostReports", "PostSales"};
  for (int i = 0; i < 4; ++i) {
    TKVFcConnection* c = chart.CreateConnection(shapes[size_t(links[i][0])], shapes[size_t(links[i][1])], 6, 14);
    if (auto* link = ObjCast<TDBLink>(c->DBLink())) link->Name = names[i];
    c->SetText(names[i]);
  }
  chart.SaveToFile(file);
}

// The job designer on the sample job, one diagram item selected.
void ShootDesigner(const QString& outDir, const QString& suffix) {
  QTemporaryDir folder;
  if (!folder.isValid()) return;
  const std::string file = QDir(folder.path()).filePath("orders-to-reports.job").toStdString();
  WriteDesignerSample(file);
  TJob job;
  job.Name = "orders-to-reports";
  job.SaveFileName = file;
  TFChartEditor editor(job);
  if (!editor.LoadFromJob()) return;
  editor.resize(900, 560);
  editor.Chart().Select(editor.Chart().GetObject(2));
  editor.show();
  editor.View().setFocus();
  QApplication::processEvents();
  editor.grab().save(QDir(outDir).filePath("FChartEditor-" + suffix + ".png"));
  editor.done(QDialog::Rejected);  // closing without the question
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
  ShootWindow(logForm, outDir, "LogInfoForm", suffix);
  ShootDesigner(outDir, suffix);
}

}  // namespace kv
