#include "editors/BrowseDataForm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <exception>

#include "data/CustomDataSet.h"
#include "editors/DataSetTableModel.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

TBrowseDataForm::TBrowseDataForm(TKVCustomDataSet& dataSet, QWidget* parent) : QDialog(parent), dataSet_(dataSet) {
  setObjectName("BrowseDataForm");
  setWindowTitle("Browse Data");
  model_ = new TDataSetTableModel(this);
  view_ = new QTableView(this);
  view_->setObjectName("dbgData");
  view_->setModel(model_);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  lbStatus_ = new QLabel(this);
  lbStatus_->setObjectName("lbBrowseStatus");
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("btnClose");
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &TBrowseDataForm::UpdateStatus);
  connect(model_, &QAbstractItemModel::modelReset, this, &TBrowseDataForm::UpdateStatus);
  auto* row = new QHBoxLayout;
  row->addWidget(lbStatus_, 1);
  row->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(row);
  resize(720, 480);
  LanguageTanslate(*this);
  if (!dataSet_.Name.empty()) setWindowTitle(windowTitle() + " - " + QStr(dataSet_.Name));
}

TBrowseDataForm::~TBrowseDataForm() {
  model_->SetDataSet(nullptr);
  if (openedHere_) dataSet_.CloseSession();
}

bool TBrowseDataForm::OpenData() {
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TDataSet* engine = dataSet_.GetDataset();
    if (!engine->Active()) {
      engine->Open();
      openedHere_ = true;
    }
    model_->SetDataSet(engine);
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& error) {
    QApplication::restoreOverrideCursor();
    if (openedHere_) dataSet_.CloseSession();
    openedHere_ = false;
    ShowError(error.what());
    return false;
  }
  return true;
}

void TBrowseDataForm::UpdateStatus() {
  const QString more = model_->canFetchMore() ? QString("+") : QString();
  lbStatus_->setText(QStr(Format(Translate("BrowseDataForm_Rows", "%d rows read").c_str(), model_->rowCount())) +
                     more);
}

void BrowseData(TKVCustomDataSet& dataSet, QWidget* parent) {
  TBrowseDataForm form(dataSet, parent);
  if (form.OpenData()) form.exec();
}

}  // namespace kv
