// Small builders the dialogs of this library share (internal to the library).
#pragma once

#include <QObject>
#include <QPushButton>
#include <QString>
#include <functional>
#include <string>

class QDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace kv {

// A label named `name` (owned by `parent`), its mnemonic focusing `buddy` when given.
QLabel* NamedLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent);
// A spin box named `name` (owned by `parent`) limited to low..high.
QSpinBox* NamedSpin(QWidget* parent, const char* name, int low, int high);
// A push button named `name` (owned by `parent`) that Enter never presses
// (it is no auto-default) and that calls `slot` on `receiver` when clicked.
QPushButton* SideButton(QWidget* parent, const char* name, const QString& caption);
template <class Receiver, class Slot>
QPushButton* SideButton(QWidget* parent, const char* name, const QString& caption, const Receiver* receiver,
                        Slot slot) {
  QPushButton* button = SideButton(parent, name, caption);
  QObject::connect(button, &QPushButton::clicked, receiver, slot);
  return button;
}
// A right-aligned row with "Ok" (btnOk, default, accepts) and "Cancel"
// (btnCancel, rejects), owned by `dialog` once the row is in its layout.
// `ok`, when given, receives the Ok button.
QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton** ok = nullptr);
// OkCancelRow followed by "&Apply" (acApply, never the default) that calls
// `apply` when clicked.
QHBoxLayout* OkCancelApplyRow(QDialog& dialog, QPushButton** ok, std::function<void()> apply);
// A tool button (owned by `parent`) showing a new action named `name`, also
// owned by `parent`; reach the action through defaultAction().
QToolButton* ActionButton(const char* name, const QString& caption, QWidget* parent);
// Lays out `page` (which owns everything made here) as the "&Name" line
// (edName under lbName) and the description memo (moDescription under
// lbDescription, captioned `descriptionCaption`), and hands back the two
// editors and the page's layout for anything the caller adds below.
QVBoxLayout* NameDescriptionLayout(QWidget& page, const QString& descriptionCaption, QLineEdit*& name,
                                   QPlainTextEdit*& description);
// An expression row owned by `page`: the memo "mo<name>" under its label
// "lb<name>" with a "..." button "btn<name>" beside it. Returns the row's
// widget; `memo` and `dots` receive the memo and the button.
QWidget* ExpRow(QWidget* page, const char* name, const QString& caption, QPlainTextEdit*& memo,
                QPushButton*& dots);
// Refuses a name another object already uses: shows `message`, brings the
// first page of `pages` forward and focuses `name`. Always returns false.
bool RefuseTakenName(QTabWidget& pages, QLineEdit& name, const std::string& message);

}  // namespace kv
