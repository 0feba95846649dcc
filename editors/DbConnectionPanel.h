// The connection controls of the query and table dialogs and of the
// "Import field define from a table" window: the database type choice and
// the values of a TDataBaseInfo (data/DataBaseInfo.h).
//
// Types ("&Select database type", cbDriverName) and what they show, by the
// upper-cased type name:
//   ODBC                      the data source name (cbAliases)
//   ORACLE, INTRBASE          the server name (edServerName)
//   POSTGRESQL                the server (host[:port]) and database name
//   PARADOX, DBASE, FOXPRO    the path and its "..." folder chooser; user
//                             name and password disabled
//   SQLITE                    the same, the chooser picking a file
// A panel made without types (the Oracle table dialog) always behaves as
// "Oracle" and shows no choice.
//
// Store sets ConnectType (ctAlias for ODBC, ctOracle for Oracle, otherwise
// ctDBParams), DriverName (the chosen text) and every value. Load selects
// "ODBC" for ctAlias, "Oracle" for ctOracle, otherwise the type whose name
// equals DriverName (ASCII case ignored), else the first type.
//
// "&Test connection" (btnTestConnection) and "&Refresh" of the table list
// (btnRefreshTables, filling cbTableName) work on a worker thread on a copy
// of the values; the window stays responsive and the result is shown in
// lbConnectResult and announced by signals. A missing SQLite file or path
// folder is reported, never created. The password never appears in a
// message: a server message quoting it has it masked.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "KVEditorLib_export.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QGridLayout;

namespace kv {

class TDataBaseInfo;

// The names of the tables (and views) of the database `info` names, sorted
// as the database lists them; raises the engine's error when it cannot
// connect. Runs on the calling thread (connections are per thread).
KVEDITORLIB_EXPORT std::vector<std::string> DataBaseTableNames(const TDataBaseInfo& info);
// Connects with `info` and lets the connection go; returns the connection's
// description. Raises when it cannot (a missing SQLite file or folder is an error).
KVEDITORLIB_EXPORT std::string CheckConnection(const TDataBaseInfo& info);
// `message` with every occurrence of a non-empty `password` masked.
KVEDITORLIB_EXPORT std::string MaskPassword(std::string message, const std::string& password);

class KVEDITORLIB_EXPORT TDbConnectionPanel : public QWidget {
  Q_OBJECT
public:
  // `types`: the choices of the database type (empty: Oracle only).
  // `withTables`: whether the panel has the "&Table name" list.
  TDbConnectionPanel(QWidget* parent, const QStringList& types, bool withTables);
  ~TDbConnectionPanel() override;

  void Load(const TDataBaseInfo& info);
  void Store(TDataBaseInfo& info) const;
  // The upper-cased chosen type ("ORACLE" for a panel without types).
  QString TypeKey() const;
  void SetTypeText(const QString& type);
  QString TableName() const;
  void SetTableName(const QString& name);
  // Whether a worker is running (test or table list).
  bool Busy() const { return busy_ > 0; }

  void TestConnection();
  void RefreshTables();

signals:
  void connectionTested(bool ok, const QString& message);
  void tablesLoaded(bool ok, const QString& message);

private:
  void Build(bool withTables);
  QLineEdit* AddEdit(QGridLayout& grid, int row, const char* name, const char* label, const QString& caption);
  void UpdateControls();
  void ChoosePath();
  void Report(bool ok, const QString& message);
  // Runs `work` on a worker thread; `done` gets (ok, message) in the GUI thread.
  void RunWorker(std::function<std::string()> work, std::function<void(bool, const QString&)> done);

  QStringList types_;
  QComboBox* cbDriverName_ = nullptr;
  QComboBox* cbAliases_ = nullptr;
  QLineEdit* edServerName_ = nullptr;
  QLineEdit* edDataBaseName_ = nullptr;
  QLineEdit* edPath_ = nullptr;
  QPushButton* btnPath_ = nullptr;
  QLineEdit* edUserName_ = nullptr;
  QLineEdit* edPassword_ = nullptr;
  QComboBox* cbTableName_ = nullptr;
  QLabel* lbConnectResult_ = nullptr;
  std::vector<QWidget*> rowsAlias_, rowsServer_, rowsDataBase_, rowsPath_;
  int busy_ = 0;
};

}  // namespace kv
