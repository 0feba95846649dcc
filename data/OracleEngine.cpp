// The Oracle engine behind the dataset kinds (ctOracle): connections
// through ODBC (OracleOdbcConnect: ServerName a data source or a
// connection string), tables as client datasets reading "select * from
// T " in packets and writing their changes back with the Oracle
// statements, queries as forward-only ODBC queries.
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/KVFieldDefs.h"
#include "data/OdbcClientDataSet.h"
#include "data/OdbcDataSets.h"
#include "data/OracleDataSets.h"
#include "data/OracleOdbc.h"
#include "foundation/Format.h"

namespace kv {

namespace {

std::shared_ptr<TOdbcConnection> OdbcConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto odbc = std::dynamic_pointer_cast<TOdbcConnection>(connection);
  if (connection && !odbc) throw EDatabaseError("An Oracle dataset was handed a connection of another engine");
  return odbc;
}

class TOracleEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override { return key.Mode == TConnectionMode::Oracle; }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override { return OracleOdbcConnect(info); }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TOdbcClientDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TOdbcClientDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    TOdbcClientDataSet& client = Client(table);
    client.SetConnection(OdbcConnectionOf(connection));
    client.SetCommand("select * from " + tableName + " ");
    client.SetUpdateTable(tableName, std::string());
    client.SetPostRecords(postRecords);
    client.PacketRecords = TDBExpressDataSet::kPacketRecords;
  }

  bool CreateTable(TDataSet& table) const override {
    TOdbcClientDataSet& client = Client(table);
    std::string name;
    client.GetPublishedString("TableName", name);
    if (!client.Connection()) throw EDatabaseError("Cannot create the table: no database connection is set");
    TOdbcConnection& connection = *client.Connection();
    if (OdbcTableExists(connection, name)) return false;
    TKVFieldDefs fields;
    fields.TakeBack(table.FieldDefs());
    TKVIndexDefs indexes;
    indexes.TakeBack(table.IndexDefs());
    connection.CommitPending();
    try {
      connection.Execute(OracleCreateTableSQL(name, &fields, &indexes));
      connection.WriteDone(0);
      connection.CommitPending();
    } catch (const EDatabaseError& e) {
      connection.Rollback();
      throw EDatabaseError(Format("Cannot create table '%s': %s", name, e.Message()));
    }
    return true;
  }

  bool EmptyTable(TDataSet& table) const override {
    TOdbcClientDataSet& client = Client(table);
    std::string name;
    client.GetPublishedString("TableName", name);
    if (!client.Connection()) return false;
    client.Connection()->Execute("delete from " + name);
    client.Connection()->WriteDone(0);
    if (client.Active()) client.ForgetRecords();
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

private:
  static TOdbcClientDataSet& Client(TDataSet& table) {
    auto* client = ObjCast<TOdbcClientDataSet>(&table);
    if (!client) throw EDatabaseError("Not an Oracle table");
    return *client;
  }
};

const TOracleEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
