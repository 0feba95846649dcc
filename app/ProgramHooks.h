// What the program hands the main window: the editor dialogs and the tip of
// the day, each opened over the main window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "MainForm.h"

namespace kv {

// The hooks open their windows over `owner` (read at each call; null means
// no parent). `owner` must outlive the main window that holds the hooks.
TMainFormHooks ProgramHooks(const QPointer<QWidget>& owner);

// Opens the dialog of the dataset's kind over `parent`, the first match in
// this order: text, query, ODBC, file database, Oracle. True on OK; false on
// Cancel and for a kind without a dialog. `dataSet` is a dataset of `job`.
bool EditDataSetOfKind(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent);

}  // namespace kv
