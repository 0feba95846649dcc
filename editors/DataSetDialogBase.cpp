#include "editors/DataSetDialogBase.h"

#include <QLabel>
#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "data/CustomDataSet.h"
#include "data/TableDataSets.h"
#include "editors/FieldDefGrid.h"
#include "editors/FormHelpers.h"
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

// Shows a wait cursor while it lives.
class TWaitCursor {
public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

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

  auto* btnApply = new QPushButton("&Apply", this);
  btnApply->setObjectName("acApply");
  btnApply->setAutoDefault(false);
  connect(btnApply, &QPushButton::clicked, this, [this] { Apply(); });
  QHBoxLayout* buttons = OkCancelRow(*this, &btnOk_);
  buttons->addWidget(btnApply);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(buttons);
  resize(560, 480);
  LanguageTanslate(*this);
  Load();
}

QWidget* TKVDataSetDialog::BuildGeneral(const QString& descriptionCaption) {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  edName_ = new QLineEdit(page);
  edName_->setObjectName("edName");
  connect(edName_, &QLineEdit::textChanged, this, &TKVDataSetDialog::UpdateOk);
  moDescription_ = new QPlainTextEdit(page);
  moDescription_->setObjectName("moDescription");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(NamedLabel("lbName", "&Name", edName_, page));
  layout->addWidget(edName_);
  layout->addWidget(NamedLabel("lbDescription", descriptionCaption, moDescription_, page));
  layout->addWidget(moDescription_, 1);
  return page;
}

QWidget* TKVDataSetDialog::BuildFields() {
  auto* page = new QWidget;
  page->setObjectName("tshFields");
  fieldGrid_ = new TFieldDefGrid(page, "sgFieldDefs");
  auto* import = new QPushButton("&Import", page);
  import->setObjectName("btnImportField");
  import->setAutoDefault(false);
  connect(import, &QPushButton::clicked, this, &TKVDataSetDialog::ImportFields);
  auto* row = new QHBoxLayout;
  row->addWidget(import);
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
  if (NameTaken(name)) {
    ShowError(Format(SDataSetAlreadyExist.c_str(), name));
    pages_->setCurrentIndex(0);
    edName_->setFocus();
    return false;
  }
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

void TKVDataSetDialog::ReadDefinitions(TKVCustomDataSet& scratch) {
  TDataSet* engine = scratch.GetDataset();
  if (!engine->Active()) engine->Open();
  scratch.CloseSession();
}

void TKVDataSetDialog::ImportFields() {
  std::unique_ptr<TKVCustomDataSet> scratch = BuildCopy(false);
  if (!scratch) return;
  try {
    TWaitCursor wait;
    ReadDefinitions(*scratch);
  } catch (const std::exception& error) {
    scratch->CloseSession();
    ShowError(error.what());
    return;
  }
  fieldGrid_->Load(scratch->FieldDefs.get(), KeyIndexes(*scratch));
}

}  // namespace kv
