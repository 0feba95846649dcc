#include "editors/JobProForm.h"

#include <QAction>
#include <QGridLayout>
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

namespace {

QToolButton* ActionButton(const char* name, const QString& caption, QWidget* parent) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  auto* button = new QToolButton(parent);
  button->setDefaultAction(action);
  return button;
}

}  // namespace

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

  auto* btnApply = new QPushButton("&Apply", this);
  btnApply->setObjectName("acApply");
  connect(btnApply, &QPushButton::clicked, this, [this] { Apply(); });
  QHBoxLayout* buttons = OkCancelRow(*this, &btnOk_);
  buttons->addWidget(btnApply);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addLayout(buttons);
  resize(520, 460);
}

QWidget* TKVJobProForm::BuildGeneral() {
  auto* page = new QWidget;
  page->setObjectName("tshGeneral");
  edName_ = new QLineEdit(page);
  edName_->setObjectName("edName");
  connect(edName_, &QLineEdit::textChanged, this, &TKVJobProForm::UpdateOk);
  moDescription_ = new QPlainTextEdit(page);
  moDescription_->setObjectName("moDescription");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(NamedLabel("lbName", "&Name", edName_, page));
  layout->addWidget(edName_);
  layout->addWidget(NamedLabel("lbDescription", "Description", moDescription_, page));
  layout->addWidget(moDescription_, 1);
  return page;
}

QWidget* TKVJobProForm::BuildExpRow(QWidget* page, const char* name, const QString& caption, QPlainTextEdit*& memo) {
  const QString memoName = QString("mo") + name;
  memo = new QPlainTextEdit(page);
  memo->setObjectName(memoName);
  auto* dots = new QPushButton("...", page);
  dots->setObjectName(QString("btn") + name);
  dots->setAutoDefault(false);
  dots->setMaximumWidth(dots->fontMetrics().horizontalAdvance(" ... ") * 2);
  QPlainTextEdit* target = memo;
  connect(dots, &QPushButton::clicked, this, [this, target] { EditExpression(*target); });
  auto* box = new QWidget(page);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(NamedLabel(qPrintable(QString("lb") + name), caption, memo, box), 0, 0, 1, 2);
  grid->addWidget(memo, 1, 0);
  grid->addWidget(dots, 1, 1, Qt::AlignTop);
  return box;
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
  if (NameTaken(name)) {
    ShowError(Format(SJobAlreadyExist.c_str(), name));
    pages_->setCurrentIndex(0);
    edName_->setFocus();
    return false;
  }
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
