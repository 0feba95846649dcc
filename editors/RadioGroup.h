// A titled group of radio buttons chosen by index, as the dialogs use for
// "Select Run period", "Run Mode" and the double-click options: the items
// are texts, ItemIndex the checked one (-1 for none).
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

#include "KVEditorLib_export.h"

namespace kv {

class KVEDITORLIB_EXPORT TRadioGroup : public QGroupBox {
  Q_OBJECT
public:
  // Buttons are laid out in `columns` columns, filled row by row.
  TRadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr, int columns = 1);

  int ItemCount() const;
  QString Item(int index) const;
  void SetItem(int index, const QString& text);
  int ItemIndex() const;       // -1 when none is checked
  void SetItemIndex(int index);  // -1 unchecks all
  QRadioButton* Button(int index) const;

signals:
  void ItemIndexChanged(int index);

private:
  QButtonGroup group_;
};

}  // namespace kv
