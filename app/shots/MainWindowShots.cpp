// Screenshots of the main window: idle over the sample jobs, during a run
// with the monitor moving, and after the run with its error records. The
// run works on a copy of the sample orders job in a temporary program
// folder, over a generated orders file large enough to last a few seconds
// (one record in 50000 fails), so the sample folder stays as it is.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <QtCharts/QLineSeries>
#include <cstdio>
#include <functional>

#include "MainForm.h"
#include "MainFormParts.h"
#include "Shots.h"
#include "environment/Environment.h"
#include "jobs/Job.h"

namespace kv {
namespace {

constexpr int kShotRows = 2000000;
constexpr int kBadEvery = 50000;

void Save(QWidget& window, const QString& outDir, const QString& name, const QString& suffix) {
  QApplication::processEvents();
  const QString file = QString("%1/%2-%3.png").arg(outDir, name, suffix);
  if (!window.grab().save(file, "PNG")) std::fprintf(stderr, "vandrel-shots: cannot write %s\n", qPrintable(file));
}

// Runs the event loop until `done` or `ms` have passed; false on the timeout.
bool PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

std::unique_ptr<TMainForm> OpenForm() {
  TMainFormHooks hooks;
  hooks.TrayAvailable = [] { return false; };
  hooks.TickPeriod = std::chrono::milliseconds(250);
  auto form = std::make_unique<TMainForm>(std::move(hooks));
  form->resize(1280, 800);
  form->show();
  form->FirstTimerTick();
  return form;
}

// The first job file of the folder's group whose name speaks of orders.
QString OrdersJob(const QString& home) {
  QFile group(home + "/KVCore.jbg");
  if (!group.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& line : group.readAll().split('\n')) {
    const QString file = QString::fromUtf8(line).trimmed();
    if (file.contains("orders", Qt::CaseInsensitive) && QFile::exists(file)) return file;
  }
  return {};
}

// A program folder holding a copy of the orders job over a large orders file.
bool MakeRunFolder(const QString& home, const QString& job, const QString& dir) {
  const QString copy = dir + "/orders.job";
  QDir(dir).mkpath("data");
  if (!QFile::copy(job, copy)) return false;
  QFile::copy(home + "/KVCore.env", dir + "/KVCore.env");
  QFile csv(dir + "/data/orders.csv");
  QFile group(dir + "/KVCore.jbg");
  if (!csv.open(QIODevice::WriteOnly) || !group.open(QIODevice::WriteOnly)) return false;
  csv.write("ID,CUSTOMER,AMOUNT,ORDER_DATE\r\n");
  for (int i = 1; i <= kShotRows; ++i) {
    const QByteArray amount = i % kBadEvery == 0 ? "n/a" : QByteArray::number(i % 90 + 10);
    csv.write(QByteArray::number(i) + ",customer " + QByteArray::number(i) + "," + amount + ",2024-05-01\r\n");
  }
  group.write(copy.toUtf8() + "\n");
  return true;
}

void ShootRun(const QString& outDir, const QString& suffix) {
  auto form = OpenForm();
  auto* jobs = form->findChild<QTreeWidget*>("lvwJobs");
  auto* links = form->findChild<QTreeWidget*>("lvwDBLinks");
  auto* chart = form->findChild<TMonitorChart*>("chartMonitor");
  if (!JobGroup || JobGroup->Count() == 0 || jobs->topLevelItemCount() == 0) return;
  jobs->setCurrentItem(jobs->topLevelItem(0));
  jobs->topLevelItem(0)->setSelected(true);
  JobGroup->Run();
  TJob* job = JobGroup->GetObj(0);
  if (links->topLevelItemCount() > 0) links->setCurrentItem(links->topLevelItem(0));
  form->findChild<QTabWidget*>("pctDBLinkInfo")->setCurrentIndex(0);
  // The shot shows the lines moving: a scale that fits the rate, and a dozen samples with rows in them.
  TKVMonitorParam scale;
  scale.Assign(GlobalEnv->MonitorParam.get());
  scale.MaxSpeedScale = 400000;
  chart->Apply(scale);
  const auto importing = [&] {
    const QList<QPointF> points = chart->Series(1)->points();
    int withRows = 0;
    for (const QPointF& p : points) withRows += p.y() > 0 ? 1 : 0;
    return withRows >= 12 && points.last().x() - points.first().x() >= 3;
  };
  PumpUntil([&] { return importing() || job->IsStop(); }, 120000);
  Save(*form, outDir, "MainFormRunning", suffix);
  PumpUntil([&] { return job->IsStop() && !job->Thread() && !job->LinksBusy(); }, 300000);
  links->setCurrentItem(nullptr);
  if (links->topLevelItemCount() > 0) links->setCurrentItem(links->topLevelItem(0));
  form->findChild<QTabWidget*>("pctDBLinkInfo")->setCurrentIndex(3);
  Save(*form, outDir, "MainFormErrors", suffix);
}

}  // namespace

void ShootMainWindow(const QString& outDir, const QString& suffix, const QString& home) {
  {
    auto form = OpenForm();
    Save(*form, outDir, "MainForm", suffix);
  }
  const QString job = OrdersJob(home);
  QTemporaryDir dir;
  if (job.isEmpty() || !dir.isValid() || !MakeRunFolder(home, job, dir.path())) {
    std::fprintf(stderr, "vandrel-shots: no orders job in %s: the run is not shown\n", qPrintable(home));
    return;
  }
  const QByteArray oldHome = qgetenv("VANDREL_HOME");
  qputenv("VANDREL_HOME", dir.path().toUtf8());
  ShootRun(outDir, suffix);
  qputenv("VANDREL_HOME", oldHome);
}

}  // namespace kv
