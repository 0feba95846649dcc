// The throughput monitor and the status bar's clock and totals.
#include <QDateTime>
#include <QLabel>

#include "app/MainFormParts.h"
#include "app/MainForm.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "foundation/Format.h"

namespace kv {

void TMainForm::ResetMonitor() {
  chart_->Reset();
  ApplyMonitorParams();
  monitorStart_ = std::chrono::steady_clock::now();
}

void TMainForm::ApplyMonitorParams() {
  if (GlobalEnv) chart_->Apply(*GlobalEnv->MonitorParam);
}

// The job group's ticker: one sample per tick while the group runs, at the
// seconds since the run began (the monitor's reset).
void TMainForm::UpdateMonitor() {
  if (!JobGroup || !JobGroup->Running()) return;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - monitorStart_).count();
  const TSpeedValue& speed = JobGroup->Speed;
  chart_->AddSample(seconds, speed.SourceBrowse, speed.Import, speed.ErrRecords);
}

void TMainForm::EmptyTotalsPanels() {
  for (int i = 2; i < 6; ++i) panels_[i]->clear();
}

// GlobalThread's callback: the clock, the totals of the running links, and
// the scheduler, so automatic jobs start while the program is open.
void TMainForm::ClockAndTotals() {
  if (!JobGroup) return;
  panels_[1]->setText(QTime::currentTime().toString("HH:mm:ss"));
  const TRunStatistic totals = JobGroup->GetStatistic();
  panels_[2]->setText(QStr(Format(SMainFormStatusAddMsg.Text(), totals.Inserted)));
  panels_[3]->setText(QStr(Format(SMainFormStatusDeleteMsg.Text(), totals.Deleted)));
  panels_[4]->setText(QStr(Format(SMainFormStatusUpdateMsg.Text(), totals.Updated)));
  panels_[5]->setText(QStr(Format(SMainFormStatusErrorMsg.Text(), totals.Errors)));
  Guarded([] { JobGroup->Scheduler(); });
}

}  // namespace kv
