// The six-column field-definition grid of the dataset dialogs and the
// mapping editor: "Field name", "Key", "Data type", "Length", "Precision",
// "Null". One row per stored field definition (data/KVFieldDefs.h).
//
//   Key        checked when the upper-cased field name is one of the
//              upper-cased field names of any index definition given to Load
//              (shown only; never written back).
//   Data type  the platform's field type name (FieldTypeName); an editable
//              grid offers the 38 names in a combo box and takes any text.
//   Null       the field definition's required flag.
//
// An editable grid also has the row actions "&Insert row" (acInsertRow) and
// "&Delete row" (acDelRow). A read-only grid shows the same columns and has
// no row actions.
//
// Store rebuilds a definition list from the rows: one definition per row
// with a non-empty name, in row order. A row whose "Data type" text is still
// what Load showed keeps the loaded definition's type code and server type
// name (so a column read from a server is re-created as it was); otherwise
// the text is matched (ASCII case ignored) against the 38 type names and the
// matched name is stored as the type name; no match leaves the type unset.
// Length and precision must be whole numbers of 0 or more (empty = 0), and
// names may not repeat (any letter case): Store refuses the whole grid then,
// leaving the target list unchanged.
#pragma once

#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "KVEditorLib_export.h"

class QAction;
class QTableWidget;

namespace kv {

class TKVFieldDef;
class TKVFieldDefs;
class TKVIndexDefs;

// The type code whose name is `text` (ASCII case ignored, blanks around it
// removed); -1 when no type has that name.
KVEDITORLIB_EXPORT int FieldTypeOfText(const std::string& text);
// Whether the upper-cased `name` is one of the upper-cased ";"-separated
// field names of any definition of `indexes` (null: never).
KVEDITORLIB_EXPORT bool IsKeyField(const std::string& name, const TKVIndexDefs* indexes);

class KVEDITORLIB_EXPORT TFieldDefGrid : public QWidget {
  Q_OBJECT
public:
  enum TColumn { colName = 0, colKey, colType, colLength, colPrecision, colNull, kColumnCount };

  // A grid owned by `parent`; the table inside is named `gridName`.
  TFieldDefGrid(QWidget* parent, const QString& gridName, bool readOnly = false);
  ~TFieldDefGrid() override;

  QTableWidget& Grid() const { return *grid_; }
  bool ReadOnly() const { return readOnly_; }
  // Null on a read-only grid; owned by this widget.
  QAction* InsertRowAction() const { return acInsertRow_; }
  QAction* DeleteRowAction() const { return acDelRow_; }

  // Shows `fields` (null: no rows); `indexes` (may be null) decide "Key".
  void Load(const TKVFieldDefs* fields, const TKVIndexDefs* indexes);
  // Rebuilds `into` from the rows (see above). False, with a message for the
  // user in `error` and `into` untouched, when a row is refused.
  bool Store(TKVFieldDefs& into, std::string& error) const;
  // The number of rows with a non-empty name.
  int NamedRowCount() const;

  // Inserts an empty row before the current one (at the end without one)
  // and starts editing its name.
  void InsertRow();
  // Removes the current row, when there is one.
  void DeleteRow();

private:
  void BuildGrid(const QString& gridName);
  void AddRow(int row, const TKVFieldDef* def, bool key);
  bool StoreRow(int row, TKVFieldDef& def, std::string& error) const;

  QTableWidget* grid_ = nullptr;
  QAction* acInsertRow_ = nullptr;
  QAction* acDelRow_ = nullptr;
  bool readOnly_ = false;
  // Copies of the definitions Load showed; a row refers to its own by index.
  std::vector<std::unique_ptr<TKVFieldDef>> loaded_;
};

}  // namespace kv
