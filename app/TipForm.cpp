#include "TipForm.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "WindowLayout.h"
#include "editors/QtText.h"
#include "editors/QtTranslation.h"
#include "environment/Environment.h"
#include "environment/Tips.h"
#include "foundation/UserInterface.h"

namespace kv {

TTipForm::TTipForm(QWidget* parent) : QDialog(parent) {
  Build();
  LanguageTanslate(*this);
}

void TTipForm::Build() {
  setObjectName("TipForm");
  setWindowTitle("Tip of the day");
  lbDoYouKnow_ = new QLabel("Did you know...", this);
  lbDoYouKnow_->setObjectName("lbDoYouKnow");
  lbDoYouKnow_->setFixedWidth(200);
  QFont heading = lbDoYouKnow_->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.4);
  lbDoYouKnow_->setFont(heading);
  memTip_ = new QPlainTextEdit(this);
  memTip_->setObjectName("memTip");
  memTip_->setReadOnly(true);
  memTip_->setMinimumSize(360, 140);
  cbxShowTips_ = new QCheckBox("Show Tip on Start", this);
  cbxShowTips_->setObjectName("cbxShowTips");
  btnNext_ = new QPushButton("&Next Tip", this);
  btnNext_->setObjectName("btnNext");
  btnClose_ = new QPushButton("&Close", this);
  btnClose_->setObjectName("btnClose");
  btnClose_->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbxShowTips_);
  buttons->addStretch();
  buttons->addWidget(btnNext_);
  buttons->addWidget(btnClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lbDoYouKnow_);
  layout->addWidget(memTip_, 1);
  layout->addLayout(buttons);

  connect(btnNext_, &QPushButton::clicked, this, &TTipForm::ShowNextTip);
  connect(btnClose_, &QPushButton::clicked, this, &QDialog::reject);
  connect(cbxShowTips_, &QCheckBox::toggled, this, &TTipForm::ShowTipsChanged);
}

void TTipForm::LoadTips() {
  if (tips_.empty()) GetTips(tips_);
  ShowTip(ReadTipIndex());
  const QSignalBlocker quiet(cbxShowTips_);
  cbxShowTips_->setChecked(GlobalEnv != nullptr && GlobalEnv->ShowTipDlgOnStart);
}

void TTipForm::ShowTip(int index) {
  if (index < 0 || index >= TipCount()) index = 0;
  tipIndex_ = index;
  memTip_->setPlainText(tips_.empty() ? QString() : QStr(tips_[static_cast<size_t>(index)]));
}

QString TTipForm::ShownText() const { return memTip_->toPlainText(); }

void TTipForm::ShowTipsChanged(bool checked) {
  if (GlobalEnv != nullptr) GlobalEnv->ShowTipDlgOnStart = checked;
}

void TTipForm::done(int result) {
  WriteTipIndex(tipIndex_);
  if (GlobalEnv != nullptr && saveSettings_) {
    try {
      SaveEnvironment(*GlobalEnv, EnvironmentFilePath());
    } catch (const std::exception& error) {
      ShowError(error.what());
    }
  }
  QDialog::done(result);
}

void ShowTips(QWidget* parent, bool saveSettings) {
  TTipForm form(parent);
  form.SetSaveSettings(saveSettings);
  form.LoadTips();
  form.exec();
}

}  // namespace kv
