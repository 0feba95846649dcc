#include "editors/DataSetDialogBase.h"

#include <QLabel>
#include <QApplication>
#include <QThread>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "data/CustomDataSet.h"
#include "data/TableDataSets.h"
#include "editors/BrowseDataForm.h"
#include "editors/DbConnectionPanel.h"
#include "editors/FieldDefGrid.h"
#include "editors/FormHelpers.h"
#include "editors/ImportFieldDefineForm.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "foundation/Format.h"
#include "foundation/KVObject.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"

namespace kv {

namespace {

void OpenForDefinitions(TKVCustomDataSet& scratch) {
  TDataSet* engine = scratch.GetDataset();
  if (!engine->Active()) engine->Open();
}

}  // namespace

TKVDataSetDialog::TKVDataSetDialog(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent)
    : QDialog(parent), dataSet_(dataSet), job_(job) {}

TKVDataSetDialog::~TKVDataSetDialog() = default;

void TKVDataSetDialog::Init(const char* formName, const QString& caption, const QString& descriptionCaption) {
  setObjectName(formName);
  setWindowTitle(caption);
  pages_ = new QTabWidget(this);
  pages_->addTab(BuildGeneral(descriptionCaption), "General");
  AddPages(*pages_);
  pages_->addTab(BuildFields(), "Fields");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(OkCancelApplyRow(*this, &btnOk_, [this] { Apply(); }));
  resize(560, 480);
  LanguageTanslate(*this);
  Load();
}

QWidget* TKVDataSetDialog::BuildGeneral(const QString& descriptionCaption) {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  NameDescriptionLayout(*page, descriptionCaption, edName_, moDescription_);
  connect(edName_, &QLineEdit::textChanged, this, &TKVDataSetDialog::UpdateOk);
  return page;
}

QWidget* TKVDataSetDialog::BuildFields() {
  auto* page = new QWidget;
  page->setObjectName("tshFields");
  fieldGrid_ = new TFieldDefGrid(page, "sgFieldDefs");
  auto* import = btnImportField_ = SideButton(page, "btnImportField", "&Import", this, &TKVDataSetDialog::ImportFields);
  auto* row = new QHBoxLayout;
  row->addWidget(import);
  if (OffersTableImport()) {
    auto* fromTable = SideButton(page, "btnImportFromTable", "Import from a &table...", this, &TKVDataSetDialog::ImportFromTable);
    row->addWidget(fromTable);
  }
  row->addStretch(1);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(row);
  layout->addWidget(fieldGrid_, 1);
  return page;
}

void TKVDataSetDialog::Load() {
  edName_->setText(QStr(dataSet_.Name));
  moDescription_->setPlainText(QStr(dataSet_.Description));
  LoadPages(dataSet_);
  fieldGrid_->Load(dataSet_.FieldDefs.get(), KeyIndexes(dataSet_));
  UpdateCaption();
  UpdateOk();
}

const TKVIndexDefs* TKVDataSetDialog::KeyIndexes(const TKVCustomDataSet& from) const {
  const auto* table = ObjCast<TKVCustomTableDataSet>(&from);
  return table ? table->IndexDefs.get() : nullptr;
}

void TKVDataSetDialog::UpdateOk() { btnOk_->setEnabled(!edName_->text().trimmed().isEmpty()); }

void TKVDataSetDialog::UpdateCaption() {
  setWindowTitle(QStr(Format(CaptionMessage().c_str(), dataSet_.Name)));
}

bool TKVDataSetDialog::NameTaken(const std::string& name) const {
  if (job_.DataSets) {
    for (int i = 0; i < job_.DataSets->Count(); ++i) {
      const TKVBaseDataSet* other = job_.DataSets->GetObj(i);
      if (other && other != &dataSet_ && SameTextAscii(other->Name, name)) return true;
    }
  }
  if (job_.DBLinks) {
    for (int i = 0; i < job_.DBLinks->Count(); ++i) {
      const TDBLink* link = job_.DBLinks->GetObj(i);
      if (link && SameTextAscii(link->Name, name)) return true;
    }
  }
  return false;
}

std::unique_ptr<TKVCustomDataSet> TKVDataSetDialog::BuildCopy(bool withGrid) {
  std::unique_ptr<TKVCustomDataSet> copy = NewOfKind();
  try {
    copy->Assign(&dataSet_);
    copy->Name = StdStr(edName_->text().trimmed());
    copy->Description = StdStr(moDescription_->toPlainText());
    StorePages(*copy);
    if (withGrid) {
      TKVFieldDefs defs;
      std::string error;
      if (!fieldGrid_->Store(defs, error)) throw EDatabaseError(error);
      copy->SetFieldDefs(&defs);
      auto* table = ObjCast<TKVCustomTableDataSet>(copy.get());
      if (table && importedIndexes_) table->SetIndexDefs(importedIndexes_.get());
    }
  } catch (const std::exception& error) {
    ShowError(error.what());
    return nullptr;
  }
  return copy;
}

bool TKVDataSetDialog::Apply() {
  const std::string name = StdStr(edName_->text().trimmed());
  if (name.empty()) return false;
  if (NameTaken(name)) return RefuseTakenName(*pages_, *edName_, Format(SDataSetAlreadyExist.c_str(), name));
  std::unique_ptr<TKVCustomDataSet> copy = BuildCopy(true);
  if (!copy) return false;
  try {
    dataSet_.Assign(copy.get());
  } catch (const std::exception& error) {
    ShowError(error.what());
    return false;
  }
  if (job_.DataSets) {
    const int index = job_.DataSets->IndexOfObject(&dataSet_);
    if (index >= 0) job_.DataSets->SetString(index, dataSet_.Name);
  }
  UpdateCaption();
  return true;
}

void TKVDataSetDialog::accept() {
  if (!btnOk_->isEnabled() || !Apply()) return;
  QDialog::accept();
  if (WarnWithoutFields() && (!dataSet_.FieldDefs || dataSet_.FieldDefs->Count() == 0))
    ShowWarning(SKVDataSetNoDefineFields.Text());
}

TKVDataSetDialog::TDefinitionReader TKVDataSetDialog::DefinitionReader() const { return &OpenForDefinitions; }

void TKVDataSetDialog::ImportFields() {
  if (importing_) return;
  std::shared_ptr<TKVCustomDataSet> scratch = BuildCopy(false);
  if (!scratch) {
    emit fieldsImported(false);
    return;
  }
  PrepareRead(*scratch);
  auto error = std::make_shared<std::string>();
  const TDefinitionReader reader = DefinitionReader();
  QThread* thread = QThread::create([scratch, error, reader] {
    try {
      reader(*scratch);
    } catch (const std::exception& failure) {
      *error = failure.what();
      if (error->empty()) *error = "Error";
    }
    scratch->CloseSession();  // on the thread that opened it
  });
  importing_ = true;
  btnImportField_->setEnabled(false);
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  connect(thread, &QThread::finished, this, [this, scratch, error] { ImportDone(*scratch, *error); });
  thread->start();
}

void TKVDataSetDialog::ImportDone(TKVCustomDataSet& scratch, const std::string& error) {
  importing_ = false;
  btnImportField_->setEnabled(true);
  if (!error.empty()) {
    ShowError(MaskPassword(error, scratch.DataBaseInfo->PassWord));
    emit fieldsImported(false);
    return;
  }
  const TKVIndexDefs* indexes = KeyIndexes(scratch);
  if (indexes) {
    importedIndexes_ = std::make_unique<TKVIndexDefs>();
    importedIndexes_->Assign(indexes);
  }
  fieldGrid_->Load(scratch.FieldDefs.get(), indexes);
  emit fieldsImported(true);
}

void TKVDataSetDialog::BrowseValues() {
  std::unique_ptr<TKVCustomDataSet> scratch = BuildCopy(false);
  if (!scratch) return;
  PrepareRead(*scratch);
  BrowseData(*scratch, this);
}

void TKVDataSetDialog::ImportFromTable() {
  TKVFieldDefs fields;
  auto indexes = std::make_unique<TKVIndexDefs>();
  if (!ImportFieldDefine(fields, *indexes, this)) return;
  fieldGrid_->Load(&fields, indexes.get());
  importedIndexes_ = std::move(indexes);
}

}  // namespace kv
