#include "editors/FormHelpers.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

namespace kv {

QLabel* NamedLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  if (buddy) label->setBuddy(buddy);
  return label;
}

QSpinBox* NamedSpin(QWidget* parent, const char* name, int low, int high) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(name);
  spin->setRange(low, high);
  return spin;
}

QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton** ok) {
  auto* btnOk = new QPushButton("Ok", &dialog);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  QObject::connect(btnOk, &QPushButton::clicked, &dialog, &QDialog::accept);
  auto* btnCancel = new QPushButton("Cancel", &dialog);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setAutoDefault(false);
  QObject::connect(btnCancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnOk);
  row->addWidget(btnCancel);
  if (ok) *ok = btnOk;
  return row;
}

}  // namespace kv
