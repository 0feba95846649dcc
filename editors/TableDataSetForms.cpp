#include "editors/TableDataSetForms.h"

#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "data/OracleDataSets.h"
#include "data/TableDataSets.h"
#include "editors/DataSetDialogs.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"

namespace kv {

TKVTableDataSetForm::TKVTableDataSetForm(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent,
                                         const QStringList& types)
    : TKVDataSetDialog(dataSet, job, parent), types_(types) {}

TKVTableDataSetForm::~TKVTableDataSetForm() = default;

void TKVTableDataSetForm::AddPages(QTabWidget& pages) {
  auto* page = new QWidget;
  page->setObjectName("tshDatabase");
  panel_ = new TDbConnectionPanel(page, types_, true);
  cbUpdateMode_ = new QComboBox(page);
  cbUpdateMode_->setObjectName("cbUpdateMode");
  cbUpdateMode_->addItems({"Append", "Update", "AppendUpdate", "Delete", "Copy"});
  cbxCreateTable_ = new QCheckBox("&CreateTable", page);
  cbxCreateTable_->setObjectName("cbxCreateTable");
  auto* grid = new QGridLayout;
  grid->addWidget(NamedLabel("lbUpdateMode", "&Update mode", cbUpdateMode_, page), 0, 0);
  grid->addWidget(cbUpdateMode_, 0, 1);
  grid->addWidget(cbxCreateTable_, 1, 0, 1, 2);
  if (types_.isEmpty()) {
    sePostRecords_ = NamedSpin(page, "sePostRecords", 0, 1000000);
    grid->addWidget(NamedLabel("lbPostRecords", "&Post Records", sePostRecords_, page), 2, 0);
    grid->addWidget(sePostRecords_, 2, 1);
  }
  grid->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(panel_);
  layout->addLayout(grid);
  layout->addStretch(1);
  pages.addTab(page, "Database");
}

void TKVTableDataSetForm::LoadPages(const TKVCustomDataSet& from) {
  panel_->Load(*from.DataBaseInfo);
  panel_->SetTableName(QStr(from.TableName));
  cbUpdateMode_->setCurrentIndex(from.ImportMode <= imCopy ? static_cast<int>(from.ImportMode) : 0);
  const auto* table = ObjCast<TKVCustomTableDataSet>(&from);
  cbxCreateTable_->setChecked(table && table->NewTable);
  if (sePostRecords_) sePostRecords_->setValue(from.PostRecords);
}

void TKVTableDataSetForm::StorePages(TKVCustomDataSet& into) {
  panel_->Store(*into.DataBaseInfo);
  into.TableName = StdStr(panel_->TableName());
  into.ImportMode = static_cast<TImportMode>(cbUpdateMode_->currentIndex());
  if (auto* table = ObjCast<TKVCustomTableDataSet>(&into)) table->NewTable = cbxCreateTable_->isChecked();
  if (sePostRecords_) into.PostRecords = sePostRecords_->value();
}

TKVODBCDataSetForm::TKVODBCDataSetForm(TKVODBCDataSet& dataSet, TJob& job, QWidget* parent)
    : TKVTableDataSetForm(dataSet, job, parent, {"ODBC", "PostgreSQL"}) {
  Init("KVODBCDataSetForm", "ODBC DataSet Property", "Description");
}

std::unique_ptr<TKVCustomDataSet> TKVODBCDataSetForm::NewOfKind() const { return std::make_unique<TKVODBCDataSet>(); }

const TMessage& TKVODBCDataSetForm::CaptionMessage() const { return SKVODBCDataSetFormName; }

TKVFileDBDataSetForm::TKVFileDBDataSetForm(TKVFileDBDataSet& dataSet, TJob& job, QWidget* parent)
    : TKVTableDataSetForm(dataSet, job, parent, {"Paradox", "dBase", "FoxPro", "SQLite"}) {
  Init("KVFileDBDataSetForm", "File Dataset Property", "Description");
}

std::unique_ptr<TKVCustomDataSet> TKVFileDBDataSetForm::NewOfKind() const {
  return std::make_unique<TKVFileDBDataSet>();
}

const TMessage& TKVFileDBDataSetForm::CaptionMessage() const { return SKVFileDBDataSetFormName; }

TKVOracleDataSetForm::TKVOracleDataSetForm(TKVOracleDataSet& dataSet, TJob& job, QWidget* parent)
    : TKVTableDataSetForm(dataSet, job, parent, {}) {
  Init("KVOracleDataSetForm", "Oracle Table Property", "Description");
}

std::unique_ptr<TKVCustomDataSet> TKVOracleDataSetForm::NewOfKind() const {
  return std::make_unique<TKVOracleDataSet>();
}

const TMessage& TKVOracleDataSetForm::CaptionMessage() const { return SKVOracleDataSetFormName; }

void TKVOracleDataSetForm::ReadDefinitions(TKVCustomDataSet& scratch) {
  auto& oracle = static_cast<TKVOracleDataSet&>(scratch);
  const bool found = oracle.GetFieldDef();
  oracle.CloseSession();
  if (!found)
    throw EDatabaseError(
        Format(Translate("TableForms_NoTable", "The table %s has no columns or does not exist.").c_str(),
               oracle.TableName));
}

bool EditODBCDataSet(TKVODBCDataSet& dataSet, TJob& job, QWidget* parent) {
  TKVODBCDataSetForm form(dataSet, job, parent);
  return form.exec() == QDialog::Accepted;
}

bool EditFileDBDataSet(TKVFileDBDataSet& dataSet, TJob& job, QWidget* parent) {
  TKVFileDBDataSetForm form(dataSet, job, parent);
  return form.exec() == QDialog::Accepted;
}

bool EditOracleDataSet(TKVOracleDataSet& dataSet, TJob& job, QWidget* parent) {
  TKVOracleDataSetForm form(dataSet, job, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
