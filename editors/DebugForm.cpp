#include "editors/DebugForm.h"

#include <QAction>
#include <QHeaderView>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "data/CustomDataSet.h"
#include "data/DataSet.h"
#include "data/Fields.h"
#include "editors/DataSetTableModel.h"
#include "editors/DebugModeForm.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"
#include "flowchart/FlowChart.h"
#include "jobs/Job.h"

namespace kv {

namespace {

enum TLinkColumn { lcName, lcStart, lcSource, lcExtract, lcAppend, lcUpdate, lcDelete, lcErrors };
enum TWatchColumn { wcDestField, wcDestValue, wcExpression, wcSourceField, wcSourceValue };

constexpr int kLinkRole = Qt::UserRole + 10;

QIcon StatusIcon(const QWidget& owner, TJobStatus status) {
  QStyle::StandardPixmap pixmap = QStyle::SP_MediaStop;
  switch (status) {
    case jsStart:
    case jsRunning: pixmap = QStyle::SP_MediaPlay; break;
    case jsWaiting: pixmap = QStyle::SP_BrowserReload; break;
    case jsOk: pixmap = QStyle::SP_DialogApplyButton; break;
    case jsError: pixmap = QStyle::SP_MessageBoxCritical; break;
    case jsStop:
    case jsPause: break;
  }
  return owner.style()->standardIcon(pixmap);
}

bool SameAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsFieldName(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

void CopyDebugMode(const TDebugMode& from, TDebugMode& to) {
  to.StopOption = from.StopOption;
  to.StopAfterRows = from.StopAfterRows;
  to.PauseOption = from.PauseOption;
  to.PauseAfterRows = from.PauseAfterRows;
  to.WarningOption = from.WarningOption;
  to.WarningAfterRows = from.WarningAfterRows;
}

QString CellText(const TVariant& value) {
  try {
    return value.IsNull() ? QString() : QStr(value.AsString());
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

TDebugForm::TDebugForm(TJob& job, QWidget* parent)
    : TDebugFormBase(parent), original_(job), copy_(std::make_unique<TJob>()) {
  copy_->Assign(&job);
  BuildForm();
  LanguageTanslate(*this);
  setWindowTitle(QStr(Format(SDebugFormName.Text(), job.Name)));
  for (TDBLink* link : Links()) HookLink(*link);
  ListLinks();
  UpdateActions();
}

TDebugForm::~TDebugForm() {
  Shutdown();
  current_ = nullptr;
}

void TDebugForm::BuildForm() {
  setObjectName("DebugForm");
  setWindowTitle("Debug dblink");
  auto* bar = new QToolBar(this);
  bar->setObjectName("ToolBar");
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BuildCommonActions(*bar);
  acSetDebugParameters = new QAction(style()->standardIcon(QStyle::SP_FileDialogContentsView), "Debug &Parameters", this);
  acSetDebugParameters->setObjectName("acSetDebugParameters");
  acViewExp = new QAction(style()->standardIcon(QStyle::SP_FileDialogInfoView), "&View expression", this);
  acViewExp->setObjectName("acViewExp");
  addActions({acSetDebugParameters, acViewExp});
  bar->insertActions(acLogPro, {acSetDebugParameters, acViewExp});
  bar->insertSeparator(acLogPro);
  connect(acSetDebugParameters, &QAction::triggered, this, [this] { SetDebugParameters(); });
  connect(acViewExp, &QAction::triggered, this, [this] { ViewExpression(); });

  lvwDBLinks_ = new QTreeWidget(this);
  lvwDBLinks_->setObjectName("lvwDBLinks");
  lvwDBLinks_->setRootIsDecorated(false);
  lvwDBLinks_->setSelectionMode(QAbstractItemView::SingleSelection);
  lvwDBLinks_->setHeaderLabels(
      {"DBLink Name", "Start time", "Source rows", "Extract rows", "Append", "Update", "Delete", "Errors"});
  connect(lvwDBLinks_, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });

  pages_ = new QTabWidget(this);
  pages_->setObjectName("pgcDebug");
  pages_->addTab(BuildWatchPage(), "Debug watch");
  pages_->addTab(BuildLogPage(), "Log");
  QWidget* errPage = new QWidget;
  errPage->setObjectName("tshErrordata");
  auto* errLayout = new QVBoxLayout(errPage);
  errLayout->addWidget(BuildErrorGrid(errPage));
  pages_->addTab(errPage, "Errordata");

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(lvwDBLinks_);
  splitter->addWidget(pages_);
  splitter->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar);
  layout->addWidget(splitter, 1);
  resize(820, 560);
}

QWidget* TDebugForm::BuildWatchPage() {
  lvwDebug_ = new QTreeWidget;
  lvwDebug_->setObjectName("lvwDebug");
  lvwDebug_->setRootIsDecorated(false);
  lvwDebug_->setHeaderLabels(
      {"Dest field", "Dest field value", "Dest value expression", "Source field", "Source field value"});
  lvwDebug_->setContextMenuPolicy(Qt::ActionsContextMenu);
  lvwDebug_->addAction(acViewExp);
  connect(lvwDebug_, &QTreeWidget::currentItemChanged, this, [this] { UpdateActions(); });
  connect(lvwDebug_, &QTreeWidget::itemDoubleClicked, this, [this] { ViewExpression(); });
  auto* page = new QWidget;
  page->setObjectName("tshDebug");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(lvwDebug_);
  return page;
}

std::vector<TDBLink*> TDebugForm::Links() const {
  std::vector<TDBLink*> links;
  for (int i = 0; i < copy_->DBLinks->Count(); ++i)
    if (TDBLink* link = copy_->DBLinks->GetObj(i)) links.push_back(link);
  return links;
}

// ---- the link list ----

void TDebugForm::ListLinks() {
  lvwDBLinks_->clear();
  for (TDBLink* link : Links()) {
    auto* row = new QTreeWidgetItem(lvwDBLinks_);
    row->setData(lcName, kLinkRole, QVariant::fromValue(static_cast<void*>(link)));
    RefreshRow(*link, true);
  }
  for (int c = 0; c <= lcErrors; ++c) lvwDBLinks_->resizeColumnToContents(c);
}

QTreeWidgetItem* TDebugForm::RowOf(const TDBLink& link) const {
  for (int i = 0; i < lvwDBLinks_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = lvwDBLinks_->topLevelItem(i);
    if (row->data(lcName, kLinkRole).value<void*>() == &link) return row;
  }
  return nullptr;
}

QString TDebugForm::SourceRows(TDBLink& link) const {
  TKVCustomDataSet* source = link.SourceDataSet();
  if (!source) return {};
  try {
    TDataSet* data = source->GetDataset();
    if (!data || !data->Active()) return {};
    const int count = data->RecordCount();
    return count >= 0 ? QString::number(count) : QString();
  } catch (const std::exception&) {
    return {};
  }
}

// Listing: name, the time the link last started, the source count, and no
// counters. Afterwards: the start time while it runs and the counters. The
// source is read only while no run is under way or while the run waits for
// this thread (a record event); otherwise its last count stays.
void TDebugForm::RefreshRow(TDBLink& link, bool listing) {
  QTreeWidgetItem* row = RowOf(link);
  if (!row) return;
  row->setIcon(lcName, StatusIcon(*this, link.Status()));
  row->setText(lcName, QStr(link.Name));
  if (listing) {
    row->setText(lcStart, DateTimeText(SDateTimeFormatString, link.RunTime));
    row->setText(lcSource, link.Thread() ? QString() : SourceRows(link));
    for (int c = lcExtract; c <= lcErrors; ++c) row->setText(c, QString());
    return;
  }
  row->setText(lcStart, link.IsRunning() ? DateTimeText(STimeFormatString, link.RunTime) : QString());
  const TRunStatistic stat = link.Counters().Statistic;
  row->setText(lcExtract, QString::number(stat.Rows));
  row->setText(lcAppend, QString::number(stat.Inserted));
  row->setText(lcUpdate, QString::number(stat.Updated));
  row->setText(lcDelete, QString::number(stat.Deleted));
  row->setText(lcErrors, QString::number(stat.Errors));
}

void TDebugForm::LinkCountersChanged(TDBLink& link) { RefreshRow(link, false); }

void TDebugForm::LinkConverted(TDBLink& link, const TVariant& values) {
  RefreshRow(link, false);
  // The run waits for this call: its source can be read now.
  if (QTreeWidgetItem* row = RowOf(link)) row->setText(lcSource, SourceRows(link));
  if (&link == current_ && (link.Status() == jsPause || link.RunOperate() == roDebugStep)) FillWatch(link, values);
}

// ---- the watch list ----

std::string TDebugForm::PlainSourceField(const std::string& expression, const std::string& sourceName) {
  const std::string text = Trimmed(expression);
  const auto dot = text.find('.');
  if (dot == std::string::npos) return IsFieldName(text) ? text : std::string();
  const std::string field = text.substr(dot + 1);
  if (!SameAscii(text.substr(0, dot), sourceName) || !IsFieldName(field)) return {};
  return field;
}

void TDebugForm::FillWatch(TDBLink& link, const TVariant& values) {
  lvwDebug_->clear();
  if (!values.IsArray()) return;
  TKVCustomDataSet* source = link.SourceDataSet();
  TDataSet* record = nullptr;
  try {
    record = source ? source->GetDataset() : nullptr;
  } catch (const std::exception&) {
    record = nullptr;
  }
  for (const TVariant& entry : values.Elements()) {
    if (!entry.IsArray() || entry.ArrayCount() < 3) continue;
    auto* row = new QTreeWidgetItem(lvwDebug_);
    const std::string expression = CellText(entry.Element(1)).toStdString();
    row->setText(wcDestField, CellText(entry.Element(0)));
    row->setText(wcDestValue, CellText(entry.Element(2)));
    row->setText(wcExpression, QStr(expression));
    const std::string field = source ? PlainSourceField(expression, source->Name) : std::string();
    const TField* sourceField = record && record->Active() && !field.empty() ? record->FindField(field) : nullptr;
    if (!sourceField) continue;
    row->setText(wcSourceField, QStr(field));
    row->setText(wcSourceValue, sourceField->IsNull() ? QString() : QStr(sourceField->AsString()));
  }
  for (int c = wcDestField; c <= wcSourceValue; ++c) lvwDebug_->resizeColumnToContents(c);
}

void TDebugForm::ViewExpression() {
  const QTreeWidgetItem* row = lvwDebug_->currentItem();
  if (!row) return;
  ShowMessage(StdStr(row->text(wcExpression)));
}

// ---- selecting ----

void TDebugForm::SelectionChanged() {
  const QList<QTreeWidgetItem*> rows = lvwDBLinks_->selectedItems();
  Select(rows.isEmpty() ? nullptr : static_cast<TDBLink*>(rows.first()->data(lcName, kLinkRole).value<void*>()));
}

void TDebugForm::Select(TDBLink* link) {
  GridModel().SetDataSet(nullptr);
  current_ = link;
  if (link) {
    if (!link->Job) link->Job = copy_.get();
    // A run under way owns the records it captures; its end writes them.
    if (!link->Thread()) {
      try {
        link->LoadErrorDataFromFile(link->GetErrorDataFileName());
      } catch (const std::exception& e) {
        link->AddLog(ltError, e.what());
      }
    }
    GridModel().SetDataSet(&link->ErrorData());
  }
  UpdateActions();
}

// ---- commands ----

void TDebugForm::UpdateExtraActions() {
  const bool canStart = current_ && LinkCanStart(*current_);
  acSetDebugParameters->setEnabled(canStart && current_->Status() != jsPause);
  acViewExp->setEnabled(lvwDebug_->currentItem() != nullptr);
}

// The limits are edited on the debugged copy and written into the same link
// of the job itself, whose design is then saved to the job file. A job whose
// design is not loaded is never saved: its file would lose the design.
void TDebugForm::SetDebugParameters() {
  TDBLink* link = current_;
  if (!link || !acSetDebugParameters->isEnabled()) return;
  if (!EditDebugMode(link->DebugMode(), this)) return;
  const int index = original_.DBLinks->IndexOf(link->Name);
  TDBLink* target = index >= 0 ? original_.DBLinks->GetObj(index) : nullptr;
  TKVFlowChart& chart = original_.GetDesignControl();
  if (!target || chart.GetConnectionCount() == 0) {
    ShowError(Translate("DebugForm_NotSavedMsg", "The job's design is not loaded: the debug settings were not saved."));
    return;
  }
  CopyDebugMode(link->DebugMode(), target->DebugMode());
  try {
    chart.SetJob(&original_);
    chart.SaveToFile(original_.GetSaveFileName());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

// ---- entry ----

void DebugJob(TJob& job, QWidget* parent) {
  TDebugForm form(job, parent);
  form.exec();
}

}  // namespace kv
