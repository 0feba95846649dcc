#include "editors/AutoMatchForm.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

#include "editors/FormHelpers.h"
#include "editors/QtTranslation.h"

namespace kv {

namespace {

constexpr TMatchModes Bit(TMatchMode mode) { return static_cast<TMatchModes>(1u << mode); }

}  // namespace

TAutoMatchForm::TAutoMatchForm(TMatchModes flags, QWidget* parent) : QDialog(parent) {
  setObjectName("AutoMatchForm");
  setWindowTitle("Field Auto Match");
  auto* group = new QGroupBox("Match Type", this);
  group->setObjectName("gbxMatchType");
  auto* boxes = new QVBoxLayout(group);
  boxes->addWidget(AddBox("cbPartialToOutput", "Partial to output", mmPartialToOutput, flags));
  boxes->addWidget(AddBox("cbPartialToInput", "Partial to input", mmPartialToInput, flags));
  boxes->addWidget(AddBox("cbCaseInsensitive", "Case Insensitive", mmCaseInsensitive, flags));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(OkCancelRow(*this));
  LanguageTanslate(*this);
}

QCheckBox* TAutoMatchForm::AddBox(const char* name, const QString& caption, TMatchMode mode, TMatchModes flags) {
  auto* box = new QCheckBox(caption, this);
  box->setObjectName(name);
  box->setChecked((flags & Bit(mode)) != 0);
  boxes_[mode] = box;
  return box;
}

TMatchModes TAutoMatchForm::Flags() const {
  TMatchModes flags = 0;
  for (TMatchMode mode : {mmPartialToOutput, mmPartialToInput, mmCaseInsensitive})
    if (boxes_[mode]->isChecked()) flags = static_cast<TMatchModes>(flags | Bit(mode));
  return flags;
}

bool OpenAutoMatch(TMatchModes& flags, QWidget* parent) {
  TAutoMatchForm form(flags, parent);
  if (form.exec() != QDialog::Accepted) return false;
  flags = form.Flags();
  return true;
}

}  // namespace kv
