#include "editors/JobProForm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "editors/ExpForm.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "editors/VarListGrid.h"
#include "environment/CoreMessages.h"
#include "expression/VarList.h"
#include "foundation/Format.h"
#include "foundation/KVObject.h"
#include "foundation/UserInterface.h"
#include "jobs/Job.h"

namespace kv {

TKVJobProForm::TKVJobProForm(TJob& job, QWidget* parent, const TJob* original)
    : QDialog(parent), job_(job), original_(original), vars_(std::make_unique<TVarList>()) {
  BuildForm();
  LanguageTanslate(*this);
  LoadJob();
}

TKVJobProForm::~TKVJobProForm() = default;

void TKVJobProForm::BuildForm() {
  setObjectName("KVJobProForm");
  setWindowTitle("Job execute property");
  pages_ = new QTabWidget(this);
  pages_->addTab(BuildGeneral(), "General");
  pages_->addTab(BuildCondition(), "Condition");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(OkCancelApplyRow(*this, &btnOk_, [this] { Apply(); }));
  resize(520, 460);
}

QWidget* TKVJobProForm::BuildGeneral() {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  NameDescriptionLayout(*page, "Description", edName_, moDescription_);
  connect(edName_, &QLineEdit::textChanged, this, &TKVJobProForm::UpdateOk);
  return page;
}

QWidget* TKVJobProForm::BuildExpRow(QWidget* page, const char* name, const QString& caption, QPlainTextEdit*& memo) {
  QPushButton* dots = nullptr;
  QWidget* row = ExpRow(page, name, caption, memo, dots);
  QPlainTextEdit* target = memo;
  connect(dots, &QPushButton::clicked, this, [this, target] { EditExpression(*target); });
  return row;
}

QWidget* TKVJobProForm::BuildCondition() {
  auto* page = new QWidget;
  page->setObjectName("tshCondition");
  vleVarList_ = NewVarListGrid(page, "vleVarList");
  auto* insert = ActionButton("acInsertRow", "&Insert Row", page);
  auto* remove = ActionButton("acDelRow", "&Delete Row", page);
  connect(insert->defaultAction(), &QAction::triggered, this, [this] { AppendVarRow(*vleVarList_); });
  connect(remove->defaultAction(), &QAction::triggered, this, [this] { DeleteVarRow(*vleVarList_); });
  auto* rowButtons = new QHBoxLayout;
  rowButtons->addWidget(NamedLabel("lbVarList", "&VarList", vleVarList_, page));
  rowButtons->addStretch(1);
  rowButtons->addWidget(insert);
  rowButtons->addWidget(remove);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(BuildExpRow(page, "BeforeExecuteExp", "&Before  execute expression", moBeforeExecuteExp_));
  layout->addWidget(BuildExpRow(page, "AfterExecuteExp", "&After execute expression", moAfterExecuteExp_));
  layout->addLayout(rowButtons);
  layout->addWidget(vleVarList_, 1);
  return page;
}

void TKVJobProForm::LoadJob() {
  setWindowTitle(QStr(Format(SKVJobProFormName.c_str(), job_.Name)));
  edName_->setText(QStr(job_.Name));
  moDescription_->setPlainText(QStr(job_.Description));
  moBeforeExecuteExp_->setPlainText(QStr(job_.BeforeExecuteExp));
  moAfterExecuteExp_->setPlainText(QStr(job_.AfterExecuteExp));
  if (job_.VarList) LoadVarListGrid(*vleVarList_, *job_.VarList);
  UpdateOk();
}

void TKVJobProForm::UpdateOk() { btnOk_->setEnabled(!edName_->text().trimmed().isEmpty()); }

TVarList& TKVJobProForm::GridVariables() {
  StoreVarListGrid(*vleVarList_, *vars_);
  vars_->SetVarListParent(job_.VarList ? job_.VarList->VarListParent() : nullptr);
  vars_->SetParentEnabled(vars_->VarListParent() != nullptr);
  return *vars_;
}

void TKVJobProForm::EditExpression(QPlainTextEdit& memo) {
  TExpForm form(this);
  form.SetExpStr(StdStr(memo.toPlainText()));
  form.SetVarList(&GridVariables());
  if (form.Execute()) memo.setPlainText(QStr(form.GetExpStr()));
}

bool TKVJobProForm::NameTaken(const std::string& name) const {
  if (!JobGroup) return false;
  for (int i = 0; i < JobGroup->Count(); ++i) {
    const TJob* other = JobGroup->GetObj(i);
    if (other && other != &job_ && other != original_ && SameTextAscii(other->Name, name)) return true;
  }
  return false;
}

bool TKVJobProForm::Apply() {
  const std::string name = StdStr(edName_->text().trimmed());
  if (name.empty()) return false;
  if (NameTaken(name)) return RefuseTakenName(*pages_, *edName_, Format(SJobAlreadyExist.c_str(), name));
  job_.Name = name;
  if (JobGroup) {
    const int index = JobGroup->IndexOfObject(&job_);
    if (index >= 0) JobGroup->SetString(index, name);
  }
  job_.Description = StdStr(moDescription_->toPlainText());
  job_.BeforeExecuteExp = StdStr(moBeforeExecuteExp_->toPlainText());
  job_.AfterExecuteExp = StdStr(moAfterExecuteExp_->toPlainText());
  if (job_.VarList) StoreVarListGrid(*vleVarList_, *job_.VarList);
  setWindowTitle(QStr(Format(SKVJobProFormName.c_str(), job_.Name)));
  return true;
}

void TKVJobProForm::accept() {
  if (btnOk_->isEnabled() && Apply()) QDialog::accept();
}

bool EditJobPro(TJob& job, QWidget* parent, const TJob* original) {
  TKVJobProForm form(job, parent, original);
  return form.exec() == QDialog::Accepted;
}

}  // namespace kv
