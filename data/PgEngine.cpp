// The native PostgreSQL engine behind the dataset kinds: connection
// parameters with driver "POSTGRESQL" (any letter case), ServerName =
// host[:port] or a socket folder, DataBaseName, UserName and PassWord;
// tables by TableName and queries by their SQL text.
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/PgConnection.h"
#include "data/PgDataSets.h"

namespace kv {

namespace {

std::shared_ptr<TPgConnection> PgConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto pg = std::dynamic_pointer_cast<TPgConnection>(connection);
  if (connection && !pg) throw EDatabaseError("A PostgreSQL dataset was handed a connection of another engine");
  return pg;
}

class TPgEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override {
    return key.Mode == TConnectionMode::Parameters && key.Driver == "POSTGRESQL";
  }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override {
    return std::make_unique<TPgConnection>(
        TPgConnectParams{info.ServerName, info.DataBaseName, info.UserName, info.PassWord});
  }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TPgTableDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TPgTableDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    auto& pg = Table(table);
    pg.SetConnection(PgConnectionOf(connection));
    pg.SetTableName(tableName);
    pg.SetPostRecords(postRecords);
  }

  bool CreateTable(TDataSet& table) const override { return Table(table).CreateTable(); }

  bool EmptyTable(TDataSet& table) const override {
    Table(table).EmptyTable();
    return true;
  }

  std::unique_ptr<TDataSet> NewQuery() const override { return std::make_unique<TPgQueryDataSet>(); }
  bool IsQuery(const TDataSet& dataSet) const override { return ObjCast<TPgQueryDataSet>(&dataSet) != nullptr; }

  void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const override {
    auto* pg = ObjCast<TPgQueryDataSet>(&query);
    if (!pg) throw EDatabaseError("Not a PostgreSQL query");
    pg->SetConnection(PgConnectionOf(connection));
    pg->SetSQL(sql);
  }

private:
  static TPgTableDataSet& Table(TDataSet& table) {
    auto* pg = ObjCast<TPgTableDataSet>(&table);
    if (!pg) throw EDatabaseError("Not a PostgreSQL table");
    return *pg;
  }
};

const TPgEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
