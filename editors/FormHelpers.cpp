#include "editors/FormHelpers.h"

#include <QAction>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "foundation/UserInterface.h"

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

QPushButton* SideButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton** ok) {
  auto* btnOk = new QPushButton("Ok", &dialog);
  btnOk->setObjectName("btnOk");
  btnOk->setDefault(true);
  QObject::connect(btnOk, &QPushButton::clicked, &dialog, &QDialog::accept);
  QPushButton* btnCancel = SideButton(&dialog, "btnCancel", "Cancel", &dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(btnOk);
  row->addWidget(btnCancel);
  if (ok) *ok = btnOk;
  return row;
}

QHBoxLayout* OkCancelApplyRow(QDialog& dialog, QPushButton** ok, std::function<void()> apply) {
  QPushButton* btnApply = SideButton(&dialog, "acApply", "&Apply", &dialog, [apply = std::move(apply)] { apply(); });
  QHBoxLayout* row = OkCancelRow(dialog, ok);
  row->addWidget(btnApply);
  return row;
}

QToolButton* ActionButton(const char* name, const QString& caption, QWidget* parent) {
  auto* action = new QAction(caption, parent);
  action->setObjectName(name);
  auto* button = new QToolButton(parent);
  button->setDefaultAction(action);
  return button;
}

QVBoxLayout* NameDescriptionLayout(QWidget& page, const QString& descriptionCaption, QLineEdit*& name,
                                   QPlainTextEdit*& description) {
  name = new QLineEdit(&page);
  name->setObjectName("edName");
  description = new QPlainTextEdit(&page);
  description->setObjectName("moDescription");
  auto* layout = new QVBoxLayout(&page);
  layout->addWidget(NamedLabel("lbName", "&Name", name, &page));
  layout->addWidget(name);
  layout->addWidget(NamedLabel("lbDescription", descriptionCaption, description, &page));
  layout->addWidget(description, 1);
  return layout;
}

QWidget* ExpRow(QWidget* page, const char* name, const QString& caption, QPlainTextEdit*& memo,
                QPushButton*& dots) {
  memo = new QPlainTextEdit(page);
  memo->setObjectName(QString("mo") + name);
  dots = SideButton(page, qPrintable(QString("btn") + name), "...");
  dots->setMaximumWidth(dots->fontMetrics().horizontalAdvance(" ... ") * 2);
  auto* box = new QWidget(page);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->addWidget(NamedLabel(qPrintable(QString("lb") + name), caption, memo, box), 0, 0, 1, 2);
  grid->addWidget(memo, 1, 0);
  grid->addWidget(dots, 1, 1, Qt::AlignTop);
  return box;
}

bool RefuseTakenName(QTabWidget& pages, QLineEdit& name, const std::string& message) {
  ShowError(message);
  pages.setCurrentIndex(0);
  name.setFocus();
  return false;
}

}  // namespace kv
