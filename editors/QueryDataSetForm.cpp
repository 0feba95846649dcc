#include "editors/QueryDataSetForm.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "data/QueryDataSet.h"
#include "editors/DataSetDialogs.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"

namespace kv {

TKVQueryDataSetForm::TKVQueryDataSetForm(TKVQueryDataSet& dataSet, TJob& job, QWidget* parent)
    : TKVDataSetDialog(dataSet, job, parent) {
  Init("KVQueryDataSetForm", "Query Dataset Property", "Description");
}

TKVQueryDataSetForm::~TKVQueryDataSetForm() = default;

std::unique_ptr<TKVCustomDataSet> TKVQueryDataSetForm::NewOfKind() const {
  return std::make_unique<TKVQueryDataSet>();
}

const TMessage& TKVQueryDataSetForm::CaptionMessage() const { return SKVQueryDataSetFormName; }

void TKVQueryDataSetForm::AddPages(QTabWidget& pages) {
  auto* database = new QWidget;
  database->setObjectName("tshDatabase");
  panel_ = new TDbConnectionPanel(database, {"ODBC", "Oracle", "Paradox", "dBase", "FoxPro", "PostgreSQL", "SQLite"},
                                  false);
  auto* layout = new QVBoxLayout(database);
  layout->addWidget(panel_);
  pages.addTab(database, "Database");
  pages.addTab(BuildSQL(), "SQL");
}

QWidget* TKVQueryDataSetForm::BuildSQL() {
  auto* page = new QWidget;
  page->setObjectName("tshSQL");
  moSQL_ = new QPlainTextEdit(page);
  moSQL_->setObjectName("moSQL");
  auto* browse = SideButton(page, "btnBrowsedata", "&Browse data", this, &TKVQueryDataSetForm::BrowseStatement);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(NamedLabel("lbEnterSQLScript", "&Enter SQL Script", moSQL_, page));
  layout->addWidget(moSQL_, 1);
  layout->addWidget(browse, 0, Qt::AlignLeft);
  return page;
}

void TKVQueryDataSetForm::LoadPages(const TKVCustomDataSet& from) {
  const auto& query = static_cast<const TKVQueryDataSet&>(from);
  panel_->Load(*query.DataBaseInfo);
  moSQL_->setPlainText(query.SQL ? QStr(query.SQL->Text()) : QString());
}

void TKVQueryDataSetForm::StorePages(TKVCustomDataSet& into) {
  auto& query = static_cast<TKVQueryDataSet&>(into);
  panel_->Store(*query.DataBaseInfo);
  query.SQL->SetText(StdStr(moSQL_->toPlainText()));
}

void TKVQueryDataSetForm::BrowseStatement() { BrowseValues(); }

bool EditQueryDataSet(TKVQueryDataSet& dataSet, TJob& job, QWidget* parent) {
  TKVQueryDataSetForm form(dataSet, job, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
