// The window "Import field define from a table" (TImportFieldDefineForm)
// and its entry ImportFieldDefine: the user chooses a database type ("ODBC",
// "Oracle", "Paradox", "dBase", "FoxPro", "PostgreSQL", "SQLite"), its
// connection values and a table (listed from the connection); Ok opens that
// table and copies its field and index definitions into the given lists
// (an Oracle table through the Oracle dataset's catalog query). A table
// that cannot be opened shows the error and the window stays open; the
// lists change only when the definitions were read.
#pragma once

#include <QDialog>

#include "KVEditorLib_export.h"

namespace kv {

class TDbConnectionPanel;
class TKVFieldDefs;
class TKVIndexDefs;

class KVEDITORLIB_EXPORT TImportFieldDefineForm : public QDialog {
  Q_OBJECT
public:
  // `fields` and `indexes` (not owned) must outlive the window.
  TImportFieldDefineForm(TKVFieldDefs& fields, TKVIndexDefs& indexes, QWidget* parent = nullptr);
  ~TImportFieldDefineForm() override;

  TDbConnectionPanel& Connection() const { return *panel_; }
  // Reads the chosen table's definitions into the lists; false (after the
  // error was shown) when it cannot.
  bool ReadDefinitions();
  void accept() override;  // ReadDefinitions, and close when it succeeded

private:
  TKVFieldDefs& fields_;
  TKVIndexDefs& indexes_;
  TDbConnectionPanel* panel_ = nullptr;
};

// True when definitions were read into `fields` and `indexes`.
KVEDITORLIB_EXPORT bool ImportFieldDefine(TKVFieldDefs& fields, TKVIndexDefs& indexes, QWidget* parent = nullptr);

}  // namespace kv
