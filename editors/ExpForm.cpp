#include "editors/ExpForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>
#include <exception>
#include <set>

#include "editors/FormHelpers.h"
#include "editors/FunctionTemplates.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/CoreMessages.h"
#include "expression/DBFunctions.h"
#include "expression/FunctionList.h"
#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/VarList.h"
#include "foundation/Format.h"
#include "foundation/UserInterface.h"

namespace kv {

const QStringList& TExpForm::OperatorCaptions() {
  static const QStringList captions = {"+", "-", "*", "/", "=", "^", ">", "<", "<>", "(", "And", "Or", ")", ":="};
  return captions;
}

TExpForm::TExpForm(QWidget* parent) : QDialog(parent) {
  BuildForm();
  LanguageTanslate(*this);
}

void TExpForm::BuildForm() {
  setObjectName("ExpForm");
  setWindowTitle("Expression editor");
  moExp_ = new QPlainTextEdit(this);
  moExp_->setObjectName("moExp");
  connect(moExp_, &QPlainTextEdit::textChanged, this, &TExpForm::UpdateOk);

  auto* lists = new QHBoxLayout;
  lists->addWidget(BuildFunctions(), 2);
  lists->addWidget(BuildVariants(), 1);

  auto* btnValidate = SideButton(this, "btnValidate", "&Validate", this, [this] { Validate(); });
  QHBoxLayout* buttons = OkCancelRow(*this, &btnOk_);
  buttons->insertWidget(0, btnValidate);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(moExp_, 1);
  layout->addWidget(BuildOperators());
  layout->addLayout(lists, 2);
  layout->addLayout(buttons);
  resize(640, 480);
  UpdateOk();
}

QWidget* TExpForm::BuildOperators() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  for (const QString& caption : OperatorCaptions()) {
    auto* button = new QPushButton(caption, box);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);  // the cursor stays in the memo
    connect(button, &QPushButton::clicked, this, [this, caption] { InsertText(caption); });
    row->addWidget(button);
  }
  return box;
}

QWidget* TExpForm::BuildFunctions() {
  auto* group = new QGroupBox("Function", this);
  group->setObjectName("gbFunction");
  lbxFunType_ = new QListWidget(group);
  lbxFunType_->setObjectName("lbxFunType");
  for (const TFunctionCategory& category : FunctionCategories()) lbxFunType_->addItem(QStr(category.Name));
  connect(lbxFunType_, &QListWidget::currentRowChanged, this, &TExpForm::SetFunType);
  lbxFunction_ = new QListWidget(group);
  lbxFunction_->setObjectName("lbxFunction");
  connect(lbxFunction_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { InsertText(item->text()); });
  auto* layout = new QHBoxLayout(group);
  layout->addWidget(lbxFunType_, 1);
  layout->addWidget(lbxFunction_, 2);
  return group;
}

QWidget* TExpForm::BuildVariants() {
  auto* group = new QGroupBox("Variants", this);
  group->setObjectName("gbVariants");
  lbxVariants_ = new QListWidget(group);
  lbxVariants_->setObjectName("lbxVariants");
  connect(lbxVariants_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { InsertText(item->text()); });
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(lbxVariants_);
  return group;
}

void TExpForm::SetExpStr(const std::string& text) { moExp_->setPlainText(QStr(text)); }

std::string TExpForm::GetExpStr() const { return StdStr(moExp_->toPlainText()); }

bool TExpForm::Execute() { return exec() == QDialog::Accepted; }

void TExpForm::UpdateOk() { btnOk_->setEnabled(!moExp_->toPlainText().trimmed().isEmpty()); }

void TExpForm::InsertText(const QString& text) {
  moExp_->insertPlainText(text);
  moExp_->setFocus();
}

void TExpForm::SetFunType(int index) {
  if (index == funType_) return;
  const auto& categories = FunctionCategories();
  funType_ = index >= 0 && index < static_cast<int>(categories.size()) ? index : -1;
  if (lbxFunType_->currentRow() != funType_) lbxFunType_->setCurrentRow(funType_);
  lbxFunction_->clear();
  if (funType_ < 0) return;
  for (const char* text : categories[static_cast<size_t>(funType_)].Templates) lbxFunction_->addItem(QStr(text));
}

void TExpForm::showEvent(QShowEvent* event) {
  FillVariants();
  QDialog::showEvent(event);
}

void TExpForm::FillVariants() {
  lbxVariants_->clear();
  QSet<QString> shown;
  std::set<const TVarList*> visited;  // a chain that loops back is walked once
  for (const TVarList* list = varList_; list && visited.insert(list).second; list = list->VarListParent()) {
    for (int i = 0; i < list->Count(); ++i) {
      const QString name = QStr(list->Strings(i));
      if (shown.contains(name.toUpper())) continue;
      shown.insert(name.toUpper());
      lbxVariants_->addItem(name);
    }
  }
}

bool TExpForm::Validate() {
  TExpTranslator translator;
  if (varList_) translator.VarList = varList_;
  RegisterBaseFunctions(*translator.FunctionList);
  RegisterDBFunctions(*translator.FunctionList);
  std::string error;
  try {
    auto tree = translator.Translate(GetExpStr());
    if (translator.Status != trOK) error = translator.ErrorMsg();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (error.empty()) {
    ShowMessage(SValidateOk);
    return true;
  }
  ShowError(Format(ValidateExpErr.c_str(), error));
  return false;
}

}  // namespace kv
