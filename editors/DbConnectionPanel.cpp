#include "editors/DbConnectionPanel.h"

#include <sql.h>
#include <sqlext.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/OdbcConnection.h"
#include "data/OracleDataSets.h"
#include "editors/FormHelpers.h"
#include "editors/QtText.h"
#include "environment/CoreMessages.h"
#include "environment/LanguageTranslate.h"
#include "foundation/Format.h"

namespace kv {

namespace {

QString Key(const QString& type) { return type.trimmed().toUpper(); }

bool IsFolderType(const QString& key) { return key == "PARADOX" || key == "DBASE" || key == "FOXPRO"; }
bool IsFileType(const QString& key) { return key == "SQLITE"; }
bool IsServerType(const QString& key) { return key == "ORACLE" || key == "INTRBASE" || key == "POSTGRESQL"; }

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string DriverKey(const TDataBaseInfo& info) {
  if (info.ConnectType == ctAlias) return "ODBC";
  if (info.ConnectType == ctOracle) return "ORACLE";
  return Upper(info.DriverName);
}

// A missing file or folder is reported instead of being created by the engine.
void CheckPlace(const TDataBaseInfo& info) {
  const std::string key = DriverKey(info);
  const QFileInfo place(QStr(info.Path));
  if (key == "SQLITE" && !place.isFile())
    throw EDatabaseError(Format(Translate("DbPanel_NoFile", "The database file %s does not exist.").c_str(), info.Path));
  if (IsFolderType(QStr(key)) && !place.isDir())
    throw EDatabaseError(Format(Translate("DbPanel_NoFolder", "The folder %s does not exist.").c_str(), info.Path));
}

std::vector<std::string> QueryColumn(const TDataBaseInfo& info, const std::string& sql) {
  const TDataEngine& engine = DataEngineFor(info);
  std::unique_ptr<TDataSet> query = engine.NewQuery();
  if (!query) throw EDatabaseError("This database type runs no queries");
  engine.BindQuery(*query, ConnectDataBase(info), sql);
  std::vector<std::string> names;
  query->Open();
  for (; !query->Eof(); query->Next()) names.push_back(query->Fields(0).AsString());
  query->Close();
  engine.BindQuery(*query, nullptr, std::string());
  return names;
}

std::vector<std::string> OdbcTables(const TDataBaseInfo& info) {
  auto odbc = std::dynamic_pointer_cast<TOdbcConnection>(ConnectDataBase(info));
  if (!odbc) throw EDatabaseError("The data source is not reached through ODBC");
  auto st = odbc->NewStatement();
  std::u16string types = u"TABLE,VIEW";
  const SQLRETURN rc = SQLTablesW(st->Handle(), nullptr, 0, nullptr, 0, nullptr, 0,
                                  reinterpret_cast<SQLWCHAR*>(types.data()), static_cast<SQLSMALLINT>(types.size()));
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) st->Raise("cannot list the tables");
  std::vector<std::string> names;
  std::string name;
  while (st->Fetch())
    if (st->ReadText(3, name)) names.push_back(name);
  return names;
}

std::vector<std::string> FolderTables(const TDataBaseInfo& info, const QStringList& patterns) {
  std::vector<std::string> names;
  const QDir dir(QStr(info.Path));
  for (const QFileInfo& file : dir.entryInfoList(patterns, QDir::Files, QDir::Name | QDir::IgnoreCase))
    names.push_back(StdStr(file.completeBaseName()));
  return names;
}

// The data source names odbc.ini lists (user and system), sorted; none
// when the driver manager cannot be reached.
QStringList OdbcDataSourceNames() {
  QStringList names;
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return names;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLCHAR dsn[SQL_MAX_DSN_LENGTH + 1];
  SQLCHAR description[256];
  SQLSMALLINT dsnLength = 0, descriptionLength = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDataSources(env, direction, dsn, sizeof dsn, &dsnLength, description, sizeof description,
                                      &descriptionLength))) {
    names << QString::fromUtf8(reinterpret_cast<const char*>(dsn));
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  names.removeDuplicates();
  names.sort(Qt::CaseInsensitive);
  return names;
}

struct TWorkResult {
  bool ok = false;
  QString message;
};

}  // namespace

std::string MaskPassword(std::string message, const std::string& password) {
  if (password.empty()) return message;
  for (size_t at = message.find(password); at != std::string::npos; at = message.find(password, at + 3))
    message.replace(at, password.size(), "***");
  return message;
}

std::string CheckConnection(const TDataBaseInfo& info) {
  CheckPlace(info);
  std::shared_ptr<TDbConnection> connection = ConnectDataBase(info);
  return connection ? connection->Describe() : std::string();
}

std::vector<std::string> DataBaseTableNames(const TDataBaseInfo& info) {
  CheckPlace(info);
  const std::string key = DriverKey(info);
  if (key == "SQLITE")
    return QueryColumn(info,
                       "SELECT name FROM sqlite_master WHERE type IN ('table','view') "
                       "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name");
  if (key == "POSTGRESQL")
    return QueryColumn(info,
                       "SELECT table_name FROM information_schema.tables WHERE table_schema NOT IN "
                       "('pg_catalog','information_schema') ORDER BY table_name");
  if (key == "DBASE" || key == "FOXPRO") return FolderTables(info, {"*.dbf", "*.DBF"});
  if (key == "PARADOX") return FolderTables(info, {"*.db", "*.DB"});
  if (key == "ODBC") return OdbcTables(info);
  if (key == "ORACLE") {
    TKVOracleDataSet oracle;
    oracle.SetDataBaseInfo(&info);
    std::vector<std::string> names = oracle.GetTableNames();
    oracle.CloseSession();
    return names;
  }
  throw EDatabaseError(Format("No table list for the database type %s", info.DriverName));
}

TDbConnectionPanel::TDbConnectionPanel(QWidget* parent, const QStringList& types, bool withTables)
    : QWidget(parent), types_(types) {
  Build(withTables);
  UpdateControls();
}

TDbConnectionPanel::~TDbConnectionPanel() = default;

QLineEdit* TDbConnectionPanel::AddEdit(QGridLayout& grid, int row, const char* name, const char* label,
                                       const QString& caption) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  grid.addWidget(NamedLabel(label, caption, edit, this), row, 0);
  grid.addWidget(edit, row, 1, 1, 2);
  return edit;
}

void TDbConnectionPanel::Build(bool withTables) {
  auto* grid = new QGridLayout;
  int row = 0;
  cbDriverName_ = new QComboBox(this);
  cbDriverName_->setObjectName("cbDriverName");
  cbDriverName_->addItems(types_);
  auto* lbDriver = NamedLabel("lbDriverName", "&Select database type", cbDriverName_, this);
  grid->addWidget(lbDriver, row, 0);
  grid->addWidget(cbDriverName_, row++, 1, 1, 2);
  lbDriver->setVisible(!types_.isEmpty());
  cbDriverName_->setVisible(!types_.isEmpty());
  connect(cbDriverName_, &QComboBox::currentIndexChanged, this, &TDbConnectionPanel::UpdateControls);

  cbAliases_ = new QComboBox(this);
  cbAliases_->setObjectName("cbAliases");
  cbAliases_->setEditable(true);
  if (types_.isEmpty() || types_.contains("ODBC")) cbAliases_->addItems(OdbcDataSourceNames());
  auto* lbAliases = NamedLabel("lbAliases", "&Data source name", cbAliases_, this);
  grid->addWidget(lbAliases, row, 0);
  grid->addWidget(cbAliases_, row++, 1, 1, 2);
  rowsAlias_ = {lbAliases, cbAliases_};

  edServerName_ = AddEdit(*grid, row++, "edServerName", "lbServerName", "&Server name");
  rowsServer_ = {edServerName_, grid->itemAtPosition(row - 1, 0)->widget()};
  edDataBaseName_ = AddEdit(*grid, row++, "edDataBaseName", "lbDataBaseName", "Data&base name");
  rowsDataBase_ = {edDataBaseName_, grid->itemAtPosition(row - 1, 0)->widget()};

  edPath_ = new QLineEdit(this);
  edPath_->setObjectName("edPath");
  btnPath_ = SideButton(this, "btnPath", "...", this, &TDbConnectionPanel::ChoosePath);
  auto* lbPath = NamedLabel("lbPath", "&Path", edPath_, this);
  grid->addWidget(lbPath, row, 0);
  grid->addWidget(edPath_, row, 1);
  grid->addWidget(btnPath_, row++, 2);
  rowsPath_ = {lbPath, edPath_, btnPath_};

  edUserName_ = AddEdit(*grid, row++, "edUserName", "lbUserName", "&User name");
  edPassword_ = AddEdit(*grid, row++, "edPassword", "lbPassword", "&Password");
  edPassword_->setEchoMode(QLineEdit::Password);

  if (withTables) {
    cbTableName_ = new QComboBox(this);
    cbTableName_->setObjectName("cbTableName");
    cbTableName_->setEditable(true);
    auto* refresh = SideButton(this, "btnRefreshTables", "&Refresh", this, &TDbConnectionPanel::RefreshTables);
    grid->addWidget(NamedLabel("lbTableName", "&Table name", cbTableName_, this), row, 0);
    grid->addWidget(cbTableName_, row, 1);
    grid->addWidget(refresh, row++, 2);
  }
  grid->setColumnStretch(1, 1);

  auto* test = SideButton(this, "btnTestConnection", "&Test connection", this, &TDbConnectionPanel::TestConnection);
  lbConnectResult_ = new QLabel(this);
  lbConnectResult_->setWordWrap(true);
  lbConnectResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* testRow = new QHBoxLayout;
  testRow->addWidget(test);
  testRow->addWidget(lbConnectResult_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(grid);
  layout->addLayout(testRow);
  layout->addStretch(1);
}

QString TDbConnectionPanel::TypeKey() const {
  return types_.isEmpty() ? QString("ORACLE") : Key(types_.value(cbDriverName_->currentIndex()));
}

void TDbConnectionPanel::SetTypeText(const QString& type) {
  for (int i = 0; i < types_.size(); ++i)
    if (Key(types_[i]) == Key(type)) {
      cbDriverName_->setCurrentIndex(i);
      return;
    }
  if (cbDriverName_->count() > 0) cbDriverName_->setCurrentIndex(0);
}

void TDbConnectionPanel::UpdateControls() {
  const QString key = TypeKey();
  for (QWidget* w : rowsAlias_) w->setVisible(key == "ODBC");
  for (QWidget* w : rowsServer_) w->setVisible(IsServerType(key));
  for (QWidget* w : rowsDataBase_) w->setVisible(key == "POSTGRESQL");
  for (QWidget* w : rowsPath_) w->setVisible(IsFolderType(key) || IsFileType(key));
  const bool login = !IsFolderType(key) && !IsFileType(key);
  edUserName_->setEnabled(login);
  edPassword_->setEnabled(login);
}

void TDbConnectionPanel::ChoosePath() {
  QString chosen;
  if (IsFileType(TypeKey())) {
    chosen = QFileDialog::getSaveFileName(this, QStr(Translate("DbPanel_SelectFile", "Select the database file")),
                                          edPath_->text(), QString(), nullptr, QFileDialog::DontConfirmOverwrite);
  } else {
    chosen = QFileDialog::getExistingDirectory(this, QStr(SSelectFolder.Text()), edPath_->text());
  }
  if (!chosen.isEmpty()) edPath_->setText(QDir::toNativeSeparators(chosen));
}

void TDbConnectionPanel::Load(const TDataBaseInfo& info) {
  if (info.ConnectType == ctAlias)
    SetTypeText("ODBC");
  else if (info.ConnectType == ctOracle)
    SetTypeText("Oracle");
  else
    SetTypeText(QStr(info.DriverName));
  cbAliases_->setCurrentText(QStr(info.AliasName));
  edServerName_->setText(QStr(info.ServerName));
  edDataBaseName_->setText(QStr(info.DataBaseName));
  edPath_->setText(QStr(info.Path));
  edUserName_->setText(QStr(info.UserName));
  edPassword_->setText(QStr(info.PassWord));
  UpdateControls();
}

void TDbConnectionPanel::Store(TDataBaseInfo& info) const {
  const QString key = TypeKey();
  info.ConnectType = key == "ODBC" ? ctAlias : key == "ORACLE" ? ctOracle : ctDBParams;
  if (!types_.isEmpty()) info.DriverName = StdStr(types_.value(cbDriverName_->currentIndex()));
  info.AliasName = StdStr(cbAliases_->currentText().trimmed());
  info.ServerName = StdStr(edServerName_->text().trimmed());
  info.DataBaseName = StdStr(edDataBaseName_->text().trimmed());
  info.Path = StdStr(edPath_->text().trimmed());
  info.UserName = StdStr(edUserName_->text().trimmed());
  info.PassWord = StdStr(edPassword_->text());
}

QString TDbConnectionPanel::TableName() const { return cbTableName_ ? cbTableName_->currentText().trimmed() : QString(); }

void TDbConnectionPanel::SetTableName(const QString& name) {
  if (cbTableName_) cbTableName_->setCurrentText(name);
}

void TDbConnectionPanel::Report(bool ok, const QString& message) {
  lbConnectResult_->setText(message);
  lbConnectResult_->setStyleSheet(ok ? QString() : QString("color: #b00000;"));
}

void TDbConnectionPanel::RunWorker(std::function<std::string()> work, std::function<void(bool, const QString&)> done) {
  auto result = std::make_shared<TWorkResult>();
  TDataBaseInfo probe;
  Store(probe);
  const std::string password = probe.PassWord;
  QThread* thread = QThread::create([work = std::move(work), result, password] {
    try {
      result->message = QStr(MaskPassword(work(), password));
      result->ok = true;
    } catch (const std::exception& error) {
      result->message = QStr(MaskPassword(error.what(), password));
    }
  });
  ++busy_;
  connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  connect(thread, &QThread::finished, this, [this, result, done = std::move(done)] {
    --busy_;
    Report(result->ok, result->message);
    done(result->ok, result->message);
  });
  thread->start();
}

void TDbConnectionPanel::TestConnection() {
  auto info = std::make_shared<TDataBaseInfo>();
  Store(*info);
  lbConnectResult_->setText(QStr(Translate("DbPanel_Connecting", "Connecting...")));
  const std::string connected = Translate("DbPanel_Connected", "Connected: %s");
  RunWorker(
      [info, connected] { return Format(connected.c_str(), CheckConnection(*info)); },
      [this](bool ok, const QString& message) { emit connectionTested(ok, message); });
}

void TDbConnectionPanel::RefreshTables() {
  if (!cbTableName_) return;
  auto info = std::make_shared<TDataBaseInfo>();
  Store(*info);
  auto names = std::make_shared<std::vector<std::string>>();
  lbConnectResult_->setText(QStr(Translate("DbPanel_Connecting", "Connecting...")));
  const std::string found = Translate("DbPanel_TablesFound", "%d tables found");
  RunWorker(
      [info, names, found] {
        *names = DataBaseTableNames(*info);
        return Format(found.c_str(), static_cast<int>(names->size()));
      },
      [this, names](bool ok, const QString& message) {
        if (ok) {
          const QString current = cbTableName_->currentText();
          cbTableName_->clear();
          for (const std::string& name : *names) cbTableName_->addItem(QStr(name));
          cbTableName_->setCurrentText(current);
        }
        emit tablesLoaded(ok, message);
      });
}

}  // namespace kv
