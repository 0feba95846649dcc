// Small builders the dialogs of this library share (internal to the library).
#pragma once

#include <QString>

class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace kv {

// A label named `name` (owned by `parent`), its mnemonic focusing `buddy` when given.
QLabel* NamedLabel(const char* name, const QString& caption, QWidget* buddy, QWidget* parent);
// A spin box named `name` (owned by `parent`) limited to low..high.
QSpinBox* NamedSpin(QWidget* parent, const char* name, int low, int high);
// A right-aligned row with "Ok" (btnOk, default, accepts) and "Cancel"
// (btnCancel, rejects), owned by `dialog` once the row is in its layout.
// `ok`, when given, receives the Ok button.
QHBoxLayout* OkCancelRow(QDialog& dialog, QPushButton** ok = nullptr);

}  // namespace kv
