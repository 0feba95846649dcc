#include "editors/ErrorDataForm.h"

#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

#include "data/MemDataSet.h"
#include "editors/DataSetTableModel.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

TErrorDataForm::TErrorDataForm(TDBLink& link, QWidget* parent)
    : TDebugFormBase(parent), copy_(std::make_unique<TDBLink>()) {
  copy_->Assign(&link);
  copy_->Job = link.Job;
  link.LoadErrorData(copy_->ErrorData());
  BuildForm();
  LanguageTanslate(*this);
  setWindowTitle(QStr(Format(SErrorDataFormName.Text(), link.Name)));
  HookLink(*copy_);
  ShowErrorRecords();
  UpdateActions();
}

TErrorDataForm::~TErrorDataForm() {
  Shutdown();
  GridModel().SetDataSet(nullptr);
}

void TErrorDataForm::BuildForm() {
  setObjectName("ErrorDataForm");
  setWindowTitle("Manage Error Data");
  auto* bar = new QToolBar(this);
  bar->setObjectName("ToolBar");
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BuildCommonActions(*bar);

  auto* pages = new QTabWidget(this);
  pages->setObjectName("pgcErrData");
  auto* errPage = new QWidget;
  errPage->setObjectName("tshErrordata");
  auto* errLayout = new QVBoxLayout(errPage);
  errLayout->addWidget(BuildErrorGrid(errPage));
  pages->addTab(errPage, "Errordata");
  pages->addTab(BuildLogPage(), "Log");

  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName("StatusBar");
  counters_ = new QLabel(statusBar_);
  counters_->setObjectName("lbCounters");
  records_ = new QLabel(statusBar_);
  records_->setObjectName("lbErrorRecords");
  statusBar_->addWidget(counters_, 1);
  statusBar_->addPermanentWidget(records_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar);
  layout->addWidget(pages, 1);
  layout->addWidget(statusBar_);
  resize(760, 480);
}

std::vector<TDBLink*> TErrorDataForm::Links() const { return {copy_.get()}; }

void TErrorDataForm::LinkCountersChanged(TDBLink& link) {
  const TRunStatistic stat = link.Counters().Statistic;
  counters_->setText(QStr(Format(Translate("ErrorDataForm_Counters", "Rows: %d  Append: %d  Update: %d  Delete: %d  Errors: %d"),
                                 stat.Rows, stat.Inserted, stat.Updated, stat.Deleted, stat.Errors)));
}

void TErrorDataForm::LinkConverted(TDBLink& link, const TVariant&) { LinkCountersChanged(link); }

void TErrorDataForm::ShowErrorRecords() {
  TKVMemDataSet& errors = copy_->ErrorData();
  GridModel().SetDataSet(&errors);
  running_.reset();
  const int count = errors.Active() ? errors.RecordCount() : 0;
  records_->setText(QStr(Format(Translate("ErrorDataForm_Records", "Error records: %d"), count)));
}

void TErrorDataForm::StartRun(TDBLink& link, bool step) {
  if (!link.Thread()) {
    // The grid follows a copy of the records under transfer: the run's
    // source belongs to its thread from now on.
    auto shown = std::make_unique<TKVMemDataSet>();
    link.LoadErrorData(*shown);
    GridModel().SetDataSet(shown.get());
    running_ = std::move(shown);
    link.SetSourceDataType(sdtError);
    transferred_ = true;
  }
  step ? link.Step() : link.Run();
}

void TErrorDataForm::LinkFinished(TDBLink& link) {
  TDebugFormBase::LinkFinished(link);
  ShowErrorRecords();
}

void ManageErrorData(TDBLink& link, QWidget* parent) {
  bool transferred = false;
  {
    TErrorDataForm form(link, parent);
    form.exec();
    transferred = form.Transferred();
  }
  if (!transferred) return;
  try {
    link.LoadErrorDataFromFile(link.GetErrorDataFileName());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

}  // namespace kv
