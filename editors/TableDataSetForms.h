// The table dataset dialogs and their entries:
//   TKVODBCDataSetForm   "ODBC DataSet Property"   EditODBCDataSet
//     database types "ODBC" (data source, user, password) and "PostgreSQL"
//   TKVFileDBDataSetForm "File Dataset Property"   EditFileDBDataSet
//     database types "Paradox", "dBase", "FoxPro" (a folder) and "SQLite" (a file)
//   TKVOracleDataSetForm "Oracle Table Property"   EditOracleDataSet
//     server, user, password and "&Post Records" (sePostRecords)
//
// Their "Database" page (tshDatabase) holds the connection panel with the
// "&Table name" list (cbTableName, filled from the connection by
// btnRefreshTables), "&Update mode" (cbUpdateMode: "Append", "Update",
// "AppendUpdate", "Delete", "Copy" in the order of TImportMode) and
// "&CreateTable" (cbxCreateTable → NewTable). Their "Fields" page edits the
// destination field definitions (key boxes from the index definitions).
#pragma once

#include <memory>

#include "editors/DataSetDialogBase.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace kv {

class TDbConnectionPanel;
class TKVODBCDataSet;
class TKVFileDBDataSet;
class TKVOracleDataSet;

// What the three table dialogs share: the "Database" page.
class KVEDITORLIB_EXPORT TKVTableDataSetForm : public TKVDataSetDialog {
  Q_OBJECT
public:
  ~TKVTableDataSetForm() override;
  TDbConnectionPanel& Connection() const { return *panel_; }

protected:
  // `types`: the database types offered (empty: Oracle).
  TKVTableDataSetForm(TKVCustomDataSet& dataSet, TJob& job, QWidget* parent, const QStringList& types);
  void AddPages(QTabWidget& pages) override;
  void LoadPages(const TKVCustomDataSet& from) override;
  void StorePages(TKVCustomDataSet& into) override;

private:
  QStringList types_;
  TDbConnectionPanel* panel_ = nullptr;
  QComboBox* cbUpdateMode_ = nullptr;
  QCheckBox* cbxCreateTable_ = nullptr;
  QSpinBox* sePostRecords_ = nullptr;  // Oracle only
};

class KVEDITORLIB_EXPORT TKVODBCDataSetForm : public TKVTableDataSetForm {
  Q_OBJECT
public:
  TKVODBCDataSetForm(TKVODBCDataSet& dataSet, TJob& job, QWidget* parent = nullptr);

protected:
  std::unique_ptr<TKVCustomDataSet> NewOfKind() const override;
  const TMessage& CaptionMessage() const override;
};

class KVEDITORLIB_EXPORT TKVFileDBDataSetForm : public TKVTableDataSetForm {
  Q_OBJECT
public:
  TKVFileDBDataSetForm(TKVFileDBDataSet& dataSet, TJob& job, QWidget* parent = nullptr);

protected:
  std::unique_ptr<TKVCustomDataSet> NewOfKind() const override;
  const TMessage& CaptionMessage() const override;
};

class KVEDITORLIB_EXPORT TKVOracleDataSetForm : public TKVTableDataSetForm {
  Q_OBJECT
public:
  TKVOracleDataSetForm(TKVOracleDataSet& dataSet, TJob& job, QWidget* parent = nullptr);

protected:
  std::unique_ptr<TKVCustomDataSet> NewOfKind() const override;
  const TMessage& CaptionMessage() const override;
  // Reads the definitions through the server's catalog.
  void ReadDefinitions(TKVCustomDataSet& scratch) override;
};

}  // namespace kv
