#include "editors/RadioGroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace kv {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent, int columns)
    : QGroupBox(title, parent), group_(this) {
  auto* layout = new QGridLayout(this);
  if (columns < 1) columns = 1;
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_.addButton(button, i);
    layout->addWidget(button, i / columns, i % columns);
  }
  connect(&group_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) emit ItemIndexChanged(id);
  });
}

int TRadioGroup::ItemCount() const { return static_cast<int>(group_.buttons().size()); }

QRadioButton* TRadioGroup::Button(int index) const { return qobject_cast<QRadioButton*>(group_.button(index)); }

QString TRadioGroup::Item(int index) const {
  QRadioButton* b = Button(index);
  return b ? b->text() : QString();
}

void TRadioGroup::SetItem(int index, const QString& text) {
  if (QRadioButton* b = Button(index)) b->setText(text);
}

int TRadioGroup::ItemIndex() const { return group_.checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (QRadioButton* b = Button(index)) {
    b->setChecked(true);
    return;
  }
  // Unchecking the checked button of an exclusive group needs the group made non-exclusive for a moment.
  if (QAbstractButton* checked = group_.checkedButton()) {
    group_.setExclusive(false);
    checked->setChecked(false);
    group_.setExclusive(true);
  }
}

}  // namespace kv
