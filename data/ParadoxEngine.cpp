// The Paradox engine behind the dataset kinds: file databases with driver
// "PARADOX" (any letter case), Path naming the folder of the tables, tables
// by TableName (see data/ParadoxDataSets.h). New tables are Paradox tables
// whatever the letter case of the driver: a Paradox folder's default table
// type is Paradox.
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/ParadoxDataSets.h"

namespace kv {

namespace {

std::shared_ptr<TParadoxConnection> ParadoxConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto px = std::dynamic_pointer_cast<TParadoxConnection>(connection);
  if (connection && !px) throw EDatabaseError("A Paradox dataset was handed a connection of another engine");
  return px;
}

class TParadoxEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override {
    return key.Mode == TConnectionMode::File && key.Driver == "PARADOX";
  }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override {
    return std::make_unique<TParadoxConnection>(info.Path);
  }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TParadoxTableDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TParadoxTableDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    auto& px = Table(table);
    px.SetConnection(ParadoxConnectionOf(connection));
    px.SetTableName(tableName);
    px.SetPostRecords(postRecords);
  }

  bool CreateTable(TDataSet& table) const override { return Table(table).CreateTable(); }

  bool EmptyTable(TDataSet& table) const override {
    Table(table).EmptyTable();
    return true;
  }

  std::unique_ptr<TDataSet> NewQuery() const override { return std::make_unique<TParadoxQueryDataSet>(); }
  bool IsQuery(const TDataSet& dataSet) const override { return ObjCast<TParadoxQueryDataSet>(&dataSet) != nullptr; }

  // The statement runs in SQLite over the folder's tables (TParadoxQueryDataSet).
  void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const override {
    auto* px = ObjCast<TParadoxQueryDataSet>(&query);
    if (!px) throw EDatabaseError("Not a query over Paradox tables");
    px->SetParadoxConnection(ParadoxConnectionOf(connection));
    px->SetSQL(sql);
  }

private:
  static TParadoxTableDataSet& Table(TDataSet& table) {
    auto* px = ObjCast<TParadoxTableDataSet>(&table);
    if (!px) throw EDatabaseError("Not a Paradox table");
    return *px;
  }
};

const TParadoxEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
