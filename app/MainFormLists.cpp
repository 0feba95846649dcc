// The job list, the DB link list, the information pages and the log list.
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>

#include "app/MainFormActions.h"
#include "app/MainFormParts.h"
#include "editors/DataSetTableModel.h"
#include "data/DataSet.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "expression/DateTimeText.h"
#include "foundation/Format.h"
#include "jobs/DBLinkThread.h"

namespace kv {

namespace {

constexpr int kObjectRole = Qt::UserRole;
constexpr int kLogTypeRole = Qt::UserRole + 1;
constexpr int kLogTimeRole = Qt::UserRole + 2;

QColor StatusColor(TJobStatus status) {
  switch (status) {
    case jsStart:
    case jsRunning: return QColor(0x2e, 0xa0, 0x43);
    case jsWaiting: return QColor(0xe0, 0xb0, 0x10);
    case jsOk: return QColor(0x1f, 0x6f, 0xd0);
    case jsError: return QColor(0xd0, 0x30, 0x30);
    default: return QColor(0x90, 0x90, 0x90);  // stopped and paused
  }
}

// One icon per status group (stopped/paused, starting/running, waiting, complete, error).
QIcon StatusIcon(TJobStatus status) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(StatusColor(status));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(2, 2, 12, 12);
  return QIcon(pixmap);
}

QString DateTimeText(const TMessage& pattern, double value) {
  if (value <= 0) return {};
  try {
    return QStr(FormatDateTime(pattern.Text(), value));
  } catch (const std::exception&) {
    return {};
  }
}

template <class T>
T* RowObject(const QTreeWidgetItem* row) {
  return row ? reinterpret_cast<T*>(row->data(0, kObjectRole).value<quintptr>()) : nullptr;
}

// The row of `list` holding `object`; null when none does.
QTreeWidgetItem* RowOf(const QTreeWidget& list, const void* object) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = list.topLevelItem(i);
    if (RowObject<const void>(row) == object) return row;
  }
  return nullptr;
}

}  // namespace

bool NodeShowsStatus(int node, TJobStatus status) {
  switch (node) {
    case jnAll: return true;
    case jnRunning: return status == jsStart || status == jsRunning;
    case jnWaiting: return status == jsWaiting;
    case jnComplete: return status == jsOk;
    case jnStop: return status == jsStop;
    case jnError: return status == jsError;
    default: return false;
  }
}

namespace {

std::string DatabaseName(const TKVCustomDataSet* dataSet) {
  if (!dataSet || !dataSet->DataBaseInfo) return {};
  const TDataBaseInfo& info = *dataSet->DataBaseInfo;
  return info.ConnectType != ctDBParams ? info.AliasName : info.Path;
}

}  // namespace

int TMainForm::SelectedNode() const {
  const QTreeWidgetItem* item = tvwJobPro_->currentItem();
  if (!item || !item->parent()) return jnAll;
  return item->parent()->indexOfChild(const_cast<QTreeWidgetItem*>(item)) + 1;
}

// The focused job keeps the focus when the node still lists it.
void TMainForm::ShowJobsOfNode(int node) {
  {
    const QSignalBlocker block(lvwJobs_);
    lvwJobs_->clear();
    if (JobGroup) {
      for (int i = 0; i < JobGroup->Count(); ++i) {
        TJob* job = JobGroup->GetObj(i);
        if (job && NodeShowsStatus(node, job->Status())) AddJobRow(*job);
      }
    }
    if (QTreeWidgetItem* row = currentJob_ ? JobRow(*currentJob_) : nullptr)
      lvwJobs_->selectionModel()->setCurrentIndex(lvwJobs_->indexFromItem(row), QItemSelectionModel::NoUpdate);
  }
  JobFocused();
}

void TMainForm::AddJobRow(TJob& job) {
  auto* row = new QTreeWidgetItem(lvwJobs_);
  row->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(&job)));
  FillJobRow(*row, job);
  row->setSelected(job.Selected);
}

void TMainForm::FillJobRow(QTreeWidgetItem& row, TJob& job) {
  row.setIcon(0, StatusIcon(job.Status()));
  row.setText(1, QStr(job.Name));
  row.setText(2, DateTimeText(SDateTimeFormatString, job.CreateTime));
  const bool running = job.IsRunning();
  row.setText(3, running ? DateTimeText(SDateTimeFormatString, job.RunTime) : QString());
  const double consumed = LogNow() - job.RunTime;
  row.setText(4, running && consumed >= 0 ? QStr(FormatDateTime(STimeFormatString.Text(), consumed)) : QString());
  row.setText(5, QStr(job.Description));
}

QTreeWidgetItem* TMainForm::JobRow(const TJob& job) const { return RowOf(*lvwJobs_, &job); }

void TMainForm::RefreshJobRow(TJob& job) {
  if (QTreeWidgetItem* row = JobRow(job)) FillJobRow(*row, job);
}

void TMainForm::JobSelectionChanged() {
  for (int i = 0; i < lvwJobs_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = lvwJobs_->topLevelItem(i);
    if (TJob* job = RowObject<TJob>(row)) job->Selected = row->isSelected();
  }
  UpdateActions();
}

void TMainForm::JobFocused() {
  TJob* job = RowObject<TJob>(lvwJobs_->currentItem());
  if (job == currentJob_) return;
  currentJob_ = job;
  FillDBLinks();
  UpdateActions();
}

void TMainForm::SelectAllJobRows() {
  lvwJobs_->selectAll();
  JobSelectionChanged();
}

void TMainForm::FillDBLinks() {
  SetCurrentLink(nullptr);
  const QSignalBlocker block(lvwDBLinks_);
  lvwDBLinks_->clear();
  if (!currentJob_) return;
  for (int i = 0; i < currentJob_->DBLinks->Count(); ++i) {
    TDBLink* link = currentJob_->DBLinks->GetObj(i);
    if (!link) continue;
    auto* row = new QTreeWidgetItem(lvwDBLinks_);
    row->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(link)));
    FillLinkRow(*row, *link);
  }
}

// The source's record count is not shown: during a run only the run's own
// thread may touch the source, and after it the source is closed again.
void TMainForm::FillLinkRow(QTreeWidgetItem& row, TDBLink& link) {
  const TRunCounters counters = link.Counters();
  row.setIcon(0, StatusIcon(link.Status()));
  row.setText(1, QStr(link.Name));
  const double started = link.Job ? link.Job->RunTime : 0;
  row.setText(2, link.IsRunning() ? DateTimeText(SDateTimeFormatString, started) : QString());
  row.setText(3, QString());
  row.setText(4, QString::number(counters.Statistic.Rows));
  row.setText(5, QString::number(counters.Speed.Import));
}

QTreeWidgetItem* TMainForm::LinkRow(const TDBLink& link) const { return RowOf(*lvwDBLinks_, &link); }

void TMainForm::RefreshLinkRow(TDBLink& link) {
  if (QTreeWidgetItem* row = LinkRow(link)) FillLinkRow(*row, link);
}

void TMainForm::LinkFocused() {
  TDBLink* link = RowObject<TDBLink>(lvwDBLinks_->currentItem());
  if (link != currentLink_) SetCurrentLink(link);
}

void TMainForm::SetCurrentLink(TDBLink* link) {
  currentLink_ = link;
  errModel_->SetDataSet(nullptr);
  if (!link) {
    sgdDBLinkPro_->setRowCount(0);
    ResetProgressPage();
    return;
  }
  if (!link->Job) link->Job = currentJob_;
  TKVMemDataSet& errors = link->ErrorData();
  if (!link->Thread() && (!errors.Active() || errors.IsEmpty()))
    Guarded([link] { link->LoadErrorDataFromFile(link->GetErrorDataFileName()); });
  FillPropertyPage();
  ResetProgressPage();
  FillTotals();
  errModel_->SetDataSet(&errors);
  UpdateActions();
}

void TMainForm::ReloadErrorGrid() {
  errModel_->SetDataSet(currentLink_ ? &currentLink_->ErrorData() : nullptr);
}

void TMainForm::FillPropertyPage() {
  TDBLink& link = *currentLink_;
  TKVMemDataSet& errors = link.ErrorData();
  const std::pair<std::string, std::string> rows[] = {
      {SDBLinkPropertyFieldParam, SDBLinkPropertyFieldValue},
      {SDBLinkProperty_DestDatabaseName, DatabaseName(link.DestDataSet())},
      {SDBLinkProperty_SourceDatabaseName, DatabaseName(link.SourceDataSet())},
      {SDBLinkProperty_ErrorDataRows, errors.Active() ? std::to_string(errors.RecordCount()) : std::string()},
      {SDBLinkProperty_SourceDataRows, std::string()},
      {SDBLinkProperty_SourceDataType,
       link.SourceDataType() == sdtError ? SDBLinkProperty_ErrorData.Text() : SDBLinkProperty_Orgin.Text()},
  };
  sgdDBLinkPro_->setRowCount(static_cast<int>(std::size(rows)));
  for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
    sgdDBLinkPro_->setItem(i, 0, new QTableWidgetItem(QStr(rows[i].first)));
    sgdDBLinkPro_->setItem(i, 1, new QTableWidgetItem(QStr(rows[i].second)));
  }
}

void TMainForm::ResetProgressPage() {
  lblLinkName_->setText(currentLink_ ? QStr(Format(SDBLinkName.Text(), currentLink_->Name)) : QString());
  // The source's size is unknown while it runs: the bar shows activity only.
  progressBar_->setRange(0, currentLink_ && currentLink_->IsRunning() ? 0 : 1);
  progressBar_->setValue(0);
  for (QLabel* label : {lblAddedValue_, lblUpdatedValue_, lblDeletedValue_, lblErrorsValue_, lblProcessedValue_})
    label->clear();
}

void TMainForm::FillTotals() {
  if (!currentLink_) return;
  const TRunStatistic s = currentLink_->Counters().Statistic;
  lblProcessedValue_->setText(QString::number(s.Rows));
  lblErrorsValue_->setText(QString::number(s.Errors));
  lblAddedValue_->setText(QString::number(s.Inserted));
  lblDeletedValue_->setText(QString::number(s.Deleted));
  lblUpdatedValue_->setText(QString::number(s.Updated));
  if (currentLink_->IsRunning()) {
    progressBar_->setRange(0, 0);
  } else {
    progressBar_->setRange(0, std::max(1, s.Rows));
    progressBar_->setValue(s.Rows);
  }
}

void TMainForm::AddLogRow(const TKVLog& log) {
  while (lvwLog_->topLevelItemCount() >= kMaxLogRows) delete lvwLog_->takeTopLevelItem(0);
  auto* row = new QTreeWidgetItem(lvwLog_);
  static const QStyle::StandardPixmap icons[kLogTypeCount] = {
      QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxInformation};
  if (log.LogType < kLogTypeCount) row->setIcon(0, style()->standardIcon(icons[log.LogType]));
  row->setText(1, DateTimeText(SDateFormatString, log.OccurTime));
  row->setText(2, DateTimeText(STimeFormatString, log.OccurTime));
  row->setText(3, QStr(log.Event));
  // The row keeps a copy: the log lists may be cleared while it is shown.
  row->setData(0, kLogTypeRole, static_cast<int>(log.LogType));
  row->setData(0, kLogTimeRole, log.OccurTime);
  lvwLog_->setCurrentItem(row);
}

void TMainForm::LogProperty() {
  const QTreeWidgetItem* row = lvwLog_->currentItem();
  if (!row || !hooks_.ShowLogInfoForm) return;
  const TKVLog log(static_cast<TLogType>(row->data(0, kLogTypeRole).toInt()), row->data(0, kLogTimeRole).toDouble(),
                   StdStr(row->text(3)));
  hooks_.ShowLogInfoForm(log);
}

void TMainForm::ConnectLists() {
  connect(tvwJobPro_, &QTreeWidget::currentItemChanged, this, [this] { ShowJobsOfNode(SelectedNode()); });
  connect(lvwJobs_, &QTreeWidget::currentItemChanged, this, &TMainForm::JobFocused);
  connect(lvwJobs_, &QTreeWidget::itemSelectionChanged, this, &TMainForm::JobSelectionChanged);
  connect(lvwJobs_, &QTreeWidget::itemDoubleClicked, this, &TMainForm::JobDoubleClicked);
  connect(lvwDBLinks_, &QTreeWidget::currentItemChanged, this, &TMainForm::LinkFocused);
  auto popup = [this](QWidget* view, QMenu* menu) {
    connect(view, &QWidget::customContextMenuRequested, this, [this, view, menu](const QPoint& at) {
      UpdateActions();
      menu->popup(view->mapToGlobal(at));
    });
  };
  popup(lvwJobs_, pmJob_);
  popup(lvwDBLinks_, pmDBLink_);
  popup(lvwLog_, pmLog_);
  popup(dgdErrData_, pmErrData_);
}

}  // namespace kv
