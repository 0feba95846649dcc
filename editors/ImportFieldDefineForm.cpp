#include "editors/ImportFieldDefineForm.h"

#include <QApplication>
#include <QVBoxLayout>
#include <exception>
#include <memory>

#include "data/OracleDataSets.h"
#include "data/TableDataSets.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

namespace {

std::unique_ptr<TKVCustomTableDataSet> TableOfKind(TConnectType type) {
  if (type == ctAlias) return std::make_unique<TKVODBCDataSet>();
  if (type == ctOracle) return std::make_unique<TKVOracleDataSet>();
  return std::make_unique<TKVFileDBDataSet>();
}

// Opens `table` and leaves its definitions in FieldDefs and IndexDefs.
void ReadTable(TKVCustomTableDataSet& table) {
  if (auto* oracle = ObjCast<TKVOracleDataSet>(&table)) {
    const bool found = oracle->GetFieldDef();
    oracle->CloseSession();
    if (!found)
      throw EDatabaseError(
          Format(Translate("TableForms_NoTable", "The table %s has no columns or does not exist.").c_str(),
                 table.TableName));
    return;
  }
  table.GetDataset()->Open();
  table.CloseSession();
}

}  // namespace

TImportFieldDefineForm::TImportFieldDefineForm(TKVFieldDefs& fields, TKVIndexDefs& indexes, QWidget* parent)
    : QDialog(parent), fields_(fields), indexes_(indexes) {
  setObjectName("ImportFieldDefineForm");
  setWindowTitle("Import field define from a table");
  panel_ = new TDbConnectionPanel(this, {"ODBC", "Oracle", "Paradox", "dBase", "FoxPro", "PostgreSQL", "SQLite"},
                                  true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panel_, 1);
  layout->addLayout(OkCancelRow(*this));
  resize(480, 360);
  LanguageTanslate(*this);
}

TImportFieldDefineForm::~TImportFieldDefineForm() = default;

bool TImportFieldDefineForm::ReadDefinitions() {
  TDataBaseInfo info;
  panel_->Store(info);
  std::unique_ptr<TKVCustomTableDataSet> table = TableOfKind(info.ConnectType);
  try {
    table->SetDataBaseInfo(&info);
    table->TableName = StdStr(panel_->TableName());
    if (table->TableName.empty()) throw EDatabaseError(Translate("ImportFieldDefine_NoTable", "Choose a table first."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ReadTable(*table);
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& error) {
    if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    table->CloseSession();
    ShowError(MaskPassword(error.what(), info.PassWord));
    return false;
  }
  if (table->FieldDefs)
    fields_.Assign(table->FieldDefs.get());
  else
    fields_.Clear();
  if (table->IndexDefs)
    indexes_.Assign(table->IndexDefs.get());
  else
    indexes_.Clear();
  return true;
}

void TImportFieldDefineForm::accept() {
  if (ReadDefinitions()) QDialog::accept();
}

bool ImportFieldDefine(TKVFieldDefs& fields, TKVIndexDefs& indexes, QWidget* parent) {
  TImportFieldDefineForm form(fields, indexes, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
