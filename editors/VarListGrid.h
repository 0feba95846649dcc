// The "Variant" / "Initial value" grid of the property dialogs: a
// two-column QTableWidget showing a variable list, and the rebuilding of a
// list from it. A row's initial value text decides the variable's type:
// text that reads as an integer makes an integer, else text that reads as
// a finite real number makes a real, else the text is a string value.
#pragma once

#include <QTableWidget>
#include <memory>
#include <string_view>

#include "KVEditorLib_export.h"

namespace kv {

class TExpression;
class TVarList;

// A new grid (owned by `parent`) with the two column titles, rows selectable.
KVEDITORLIB_EXPORT QTableWidget* NewVarListGrid(QWidget* parent, const QString& objectName);
// One row per variable of `list` (this list only): the name and the value as text.
KVEDITORLIB_EXPORT void LoadVarListGrid(QTableWidget& grid, const TVarList& list);
// Clears `list` and adds one variable per row with a name (blanks around it
// removed); a later row with the same name replaces an earlier one.
KVEDITORLIB_EXPORT void StoreVarListGrid(const QTableWidget& grid, TVarList& list);
// The constant an initial value text makes (etInteger, etReal or etString).
KVEDITORLIB_EXPORT std::unique_ptr<TExpression> InitialValueExp(std::string_view text);
// Appends an empty row and starts editing its name.
KVEDITORLIB_EXPORT void AppendVarRow(QTableWidget& grid);
// Removes the current row, when there is one.
KVEDITORLIB_EXPORT void DeleteVarRow(QTableWidget& grid);

}  // namespace kv
