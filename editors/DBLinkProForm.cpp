#include "editors/DBLinkProForm.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

#include "editors/ExpForm.h"
#include "editors/FormHelpers.h"
#include "editors/MapingForm.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "editors/VarListGrid.h"
#include "data/TableDataSets.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "expression/ThreadExp.h"
#include "expression/VarList.h"
#include "foundation/Format.h"
#include "foundation/KVObject.h"
#include "foundation/StrUtils.h"
#include "foundation/UserInterface.h"
#include "jobs/DBLink.h"
#include "jobs/Job.h"

namespace kv {

namespace {

// Hands the calling thread's translator back when the scope ends, so a
// translator made for the working copy never outlives the dialog.
class TTranslatorKeeper {
public:
  TTranslatorKeeper() : saved_(SetTranslator(nullptr)) {}
  ~TTranslatorKeeper() { SetTranslator(std::move(saved_)); }
  TTranslatorKeeper(const TTranslatorKeeper&) = delete;
  TTranslatorKeeper& operator=(const TTranslatorKeeper&) = delete;

private:
  std::unique_ptr<TExpTranslator> saved_;
};

// Makes sure a dataset that never stored its field definitions knows its
// fields, so that its field variables can be offered: it is opened once
// and closed again. A failure is shown, and the editor then offers what
// there is.
void LearnFields(TKVCustomDataSet& dataSet) {
  if (dataSet.FieldDefs && dataSet.FieldDefs->Count() > 0) return;
  if (dataSet.ClassType() == TKVCustomDataSet::StaticClass()) return;  // a link's blank placeholder
  const auto* table = ObjCast<TKVCustomTableDataSet>(&dataSet);
  if (table && table->NewTable) return;  // a table still to be created
  try {
    TDataSet* data = dataSet.GetDataset();
    if (!data->Active()) {
      data->Open();
      dataSet.CloseSession();
    }
  } catch (const std::exception& e) {
    ShowError(Format(Translate("DBLinkPro_FieldsUnreadable", "The fields of %s cannot be read: %s").c_str(),
                     dataSet.Name, std::string(e.what())));
  }
}

}  // namespace

TKVDBLinkProForm::TKVDBLinkProForm(TDBLink& link, TJob& job, QWidget* parent)
    : QDialog(parent), link_(link), job_(job), copy_(std::make_unique<TDBLink>()) {
  BuildForm();
  LanguageTanslate(*this);
  LoadLink();
}

TKVDBLinkProForm::~TKVDBLinkProForm() = default;

void TKVDBLinkProForm::BuildForm() {
  setObjectName("KVDBLinkProForm");
  setWindowTitle("DBLink property");
  pages_ = new QTabWidget(this);
  pages_->addTab(BuildGeneral(), "General");
  pages_->addTab(BuildCondition(), "Clean condition");
  pages_->addTab(BuildVarList(), "Define VarList");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(OkCancelApplyRow(*this, &btnOk_, [this] { Apply(); }));
  resize(540, 500);
}

QWidget* TKVDBLinkProForm::BuildGeneral() {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  QVBoxLayout* layout = NameDescriptionLayout(*page, "&Description", edName_, moDescription_);
  connect(edName_, &QLineEdit::textChanged, this, &TKVDBLinkProForm::UpdateOk);
  cbxBackErrorData_ = new QCheckBox("Back Error Data", page);
  cbxBackErrorData_->setObjectName("cbxBackErrorData");
  seMaxErrors_ = NamedSpin(page, "seMaxErrors", 0, std::numeric_limits<int32_t>::max());
  auto* mapping = SideButton(page, "acMapping", "Field &mapping", this, &TKVDBLinkProForm::EditMapping);

  auto* row = new QHBoxLayout;
  row->addWidget(cbxBackErrorData_);
  row->addSpacing(16);
  row->addWidget(NamedLabel("lbMaxErrors", "Max Errors", seMaxErrors_, page));
  row->addWidget(seMaxErrors_);
  row->addStretch(1);
  row->addWidget(mapping);
  layout->addLayout(row);
  return page;
}

QWidget* TKVDBLinkProForm::BuildCondition() {
  auto* page = new QWidget;
  page->setObjectName("tshCleanCondition");
  auto* layout = new QVBoxLayout(page);
  const struct {
    const char* name;
    const char* caption;
    QPlainTextEdit** memo;
  } rows[] = {
      {"ErrorExp", "&Error expression", &moErrorExp_}, {"FilterExp", "&Filter expression", &moFilterExp_},
      {"PauseExp", "&Pause expression", &moPauseExp_}, {"StartExp", "&Start expression", &moStartExp_},
      {"StopExp", "&Stop expression", &moStopExp_},
  };
  for (const auto& r : rows) {
    QPushButton* dots = nullptr;
    layout->addWidget(ExpRow(page, r.name, r.caption, *r.memo, dots));
    QPlainTextEdit* memo = *r.memo;
    connect(dots, &QPushButton::clicked, this, [this, memo] { EditExpression(*memo); });
  }
  return page;
}

QWidget* TKVDBLinkProForm::BuildVarList() {
  auto* page = new QWidget;
  page->setObjectName("tshVarList");
  vleVarList_ = NewVarListGrid(page, "vleVarList");
  auto* insert = ActionButton("acInsertRow", "&Insert Row", page);
  auto* remove = ActionButton("acDelVariant", "&Delete variant", page);
  acDelVariant_ = remove->defaultAction();
  connect(insert->defaultAction(), &QAction::triggered, this, [this] { AppendVarRow(*vleVarList_); });
  connect(acDelVariant_, &QAction::triggered, this, [this] {
    if (vleVarList_->currentRow() >= 0) DeleteVarRow(*vleVarList_);
    UpdateDelete();
  });
  connect(vleVarList_, &QTableWidget::itemSelectionChanged, this, &TKVDBLinkProForm::UpdateDelete);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(NamedLabel("lbVarList", "&VarList", vleVarList_, page));
  buttons->addStretch(1);
  buttons->addWidget(insert);
  buttons->addWidget(remove);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(buttons);
  layout->addWidget(vleVarList_, 1);
  return page;
}

void TKVDBLinkProForm::LoadLink() {
  copy_->Assign(&link_);
  copy_->Job = link_.Job ? link_.Job : &job_;
  setWindowTitle(QStr(Format(SKVDBLinkProFormName.c_str(), link_.Name)));
  edName_->setText(QStr(link_.Name));
  moDescription_->setPlainText(QStr(link_.Description));
  cbxBackErrorData_->setChecked(link_.BackErrorData);
  seMaxErrors_->setValue(link_.MaxErrors < 0 ? 0 : link_.MaxErrors);  // both mean no limit
  moErrorExp_->setPlainText(QStr(link_.ErrorExp));
  moFilterExp_->setPlainText(QStr(link_.FilterExp));
  moPauseExp_->setPlainText(QStr(link_.PauseExp));
  moStartExp_->setPlainText(QStr(link_.StartExp));
  moStopExp_->setPlainText(QStr(link_.StopExp));
  LoadVarListGrid(*vleVarList_, link_.VarList());
  UpdateOk();
  UpdateDelete();
}

void TKVDBLinkProForm::UpdateOk() { btnOk_->setEnabled(!edName_->text().trimmed().isEmpty()); }

void TKVDBLinkProForm::UpdateDelete() {
  acDelVariant_->setEnabled(!vleVarList_->selectedItems().isEmpty() && vleVarList_->currentRow() >= 0);
}

void TKVDBLinkProForm::WriteControls(TDBLink& into) const {
  into.Name = StdStr(edName_->text().trimmed());
  into.Description = StdStr(moDescription_->toPlainText());
  into.BackErrorData = cbxBackErrorData_->isChecked();
  into.MaxErrors = static_cast<int32_t>(seMaxErrors_->value());
  into.ErrorExp = StdStr(moErrorExp_->toPlainText());
  into.FilterExp = StdStr(moFilterExp_->toPlainText());
  into.PauseExp = StdStr(moPauseExp_->toPlainText());
  into.StartExp = StdStr(moStartExp_->toPlainText());
  into.StopExp = StdStr(moStopExp_->toPlainText());
  StoreVarListGrid(*vleVarList_, into.VarList());
}

void TKVDBLinkProForm::EditExpression(QPlainTextEdit& memo) {
  WriteControls(*copy_);
  TKVCustomDataSet* source = copy_->SourceDataSet();
  if (source) LearnFields(*source);
  TTranslatorKeeper keeper;
  copy_->SetAllVarList();
  TExpForm form(this);
  form.SetExpStr(StdStr(memo.toPlainText()));
  form.SetVarList(source ? source->GetVarList() : &copy_->VarList());
  if (form.Execute()) memo.setPlainText(QStr(form.GetExpStr()));
}

void TKVDBLinkProForm::EditMapping() {
  WriteControls(*copy_);
  EditDBLinkMaping(*copy_, this);
}

bool TKVDBLinkProForm::NameTaken(const std::string& name) const {
  if (const TDBLinks* links = job_.DBLinks.get()) {
    for (int i = 0; i < links->Count(); ++i) {
      const TDBLink* other = links->GetObj(i);
      if (other == &link_) continue;
      if (SameTextAscii(links->Strings(i), name) || (other && SameTextAscii(other->Name, name))) return true;
    }
  }
  if (const TKVBaseDataSets* dataSets = job_.DataSets.get()) {
    for (int i = 0; i < dataSets->Count(); ++i) {
      const TKVBaseDataSet* dataSet = dataSets->GetObj(i);
      if (SameTextAscii(dataSets->Strings(i), name) || (dataSet && SameTextAscii(dataSet->Name, name))) return true;
    }
  }
  return false;
}

void TKVDBLinkProForm::WriteBack() {
  WriteControls(*copy_);
  link_.Name = copy_->Name;
  link_.Description = copy_->Description;
  link_.BackErrorData = copy_->BackErrorData;
  link_.MaxErrors = copy_->MaxErrors;
  link_.ErrorExp = copy_->ErrorExp;
  link_.FilterExp = copy_->FilterExp;
  link_.PauseExp = copy_->PauseExp;
  link_.StartExp = copy_->StartExp;
  link_.StopExp = copy_->StopExp;
  StoreVarListGrid(*vleVarList_, link_.VarList());
  link_.SetMappings(copy_->Mappings());
  link_.MatchModes = copy_->MatchModes;
  if (!link_.Job) link_.Job = &job_;
  if (TDBLinks* links = job_.DBLinks.get()) {
    const int index = links->IndexOfObject(&link_);
    if (index >= 0) links->SetString(index, link_.Name);
  }
}

bool TKVDBLinkProForm::Apply() {
  const std::string name = StdStr(edName_->text().trimmed());
  if (name.empty()) return false;
  if (NameTaken(name)) return RefuseTakenName(*pages_, *edName_, Format(SDBLinkAlreadyExist.c_str(), name));
  WriteBack();
  setWindowTitle(QStr(Format(SKVDBLinkProFormName.c_str(), link_.Name)));
  return true;
}

void TKVDBLinkProForm::accept() {
  if (btnOk_->isEnabled() && Apply()) QDialog::accept();
}

bool EditDBLinkPro(TDBLink& link, TJob& job, QWidget* parent) {
  TKVDBLinkProForm form(link, job, parent);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
