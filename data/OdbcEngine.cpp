// The ODBC engine behind the dataset kinds: data sources (aliases) by
// name, and server drivers (ctDBParams with any driver but the file
// drivers and POSTGRESQL, which the native PostgreSQL engine serves)
// through a connection string (OdbcConnectionString). Tables by TableName,
// queries by their SQL text.
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/OdbcConnection.h"
#include "data/OdbcDataSets.h"

namespace kv {

namespace {

std::shared_ptr<TOdbcConnection> OdbcConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto odbc = std::dynamic_pointer_cast<TOdbcConnection>(connection);
  if (connection && !odbc) throw EDatabaseError("An ODBC dataset was handed a connection of another engine");
  return odbc;
}

class TOdbcEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override {
    if (key.Mode == TConnectionMode::Alias) return true;
    return key.Mode == TConnectionMode::Parameters && !key.Driver.empty() && key.Driver != "POSTGRESQL";
  }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override {
    if (info.ConnectType == ctAlias) {
      if (info.AliasName.empty()) throw EDatabaseError("No ODBC data source: the dataset's alias is empty");
      return TOdbcConnection::ConnectDataSource(info.AliasName, info.UserName, info.PassWord);
    }
    return TOdbcConnection::ConnectDriver(
        TOdbcConnectParts{info.DriverName, info.ServerName, info.DataBaseName, info.UserName, info.PassWord});
  }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TOdbcTableDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TOdbcTableDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    auto& odbc = Table(table);
    odbc.SetConnection(OdbcConnectionOf(connection));
    odbc.SetTableName(tableName);
    odbc.SetPostRecords(postRecords);
  }

  bool CreateTable(TDataSet& table) const override { return Table(table).CreateTable(); }

  bool EmptyTable(TDataSet& table) const override {
    Table(table).EmptyTable();
    return true;
  }

  std::unique_ptr<TDataSet> NewQuery() const override { return std::make_unique<TOdbcQueryDataSet>(); }
  bool IsQuery(const TDataSet& dataSet) const override { return ObjCast<TOdbcQueryDataSet>(&dataSet) != nullptr; }

  void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const override {
    auto* odbc = ObjCast<TOdbcQueryDataSet>(&query);
    if (!odbc) throw EDatabaseError("Not an ODBC query");
    odbc->SetConnection(OdbcConnectionOf(connection));
    odbc->SetSQL(sql);
  }

  std::string AliasDriverName(const std::string& alias) const override { return OdbcDataSourceDriver(alias); }

private:
  static TOdbcTableDataSet& Table(TDataSet& table) {
    auto* odbc = ObjCast<TOdbcTableDataSet>(&table);
    if (!odbc) throw EDatabaseError("Not an ODBC table");
    return *odbc;
  }
};

const TOdbcEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
