// The SQLite engine behind the dataset kinds: file databases with driver
// "SQLITE" (any letter case), Path naming the database file (created when
// missing), tables by TableName and queries by their SQL text.
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/SqliteConnection.h"
#include "data/SqliteDataSets.h"

namespace kv {

namespace {

std::shared_ptr<TSqliteConnection> SqliteConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto sqlite = std::dynamic_pointer_cast<TSqliteConnection>(connection);
  if (connection && !sqlite) throw EDatabaseError("A SQLite dataset was handed a connection of another engine");
  return sqlite;
}

class TSqliteEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override {
    return key.Mode == TConnectionMode::File && key.Driver == "SQLITE";
  }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override {
    if (info.Path.empty()) throw EDatabaseError("No SQLite database file: the dataset's Path is empty");
    return std::make_unique<TSqliteConnection>(info.Path);
  }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TSqliteTableDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TSqliteTableDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    auto& sqlite = Table(table);
    sqlite.SetConnection(SqliteConnectionOf(connection));
    sqlite.SetTableName(tableName);
    sqlite.SetPostRecords(postRecords);
  }

  bool CreateTable(TDataSet& table) const override { return Table(table).CreateTable(); }

  bool EmptyTable(TDataSet& table) const override {
    Table(table).EmptyTable();
    return true;
  }

  std::unique_ptr<TDataSet> NewQuery() const override { return std::make_unique<TSqliteQueryDataSet>(); }
  bool IsQuery(const TDataSet& dataSet) const override { return ObjCast<TSqliteQueryDataSet>(&dataSet) != nullptr; }

  void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const override {
    auto* sqlite = ObjCast<TSqliteQueryDataSet>(&query);
    if (!sqlite) throw EDatabaseError("Not a SQLite query");
    sqlite->SetConnection(SqliteConnectionOf(connection));
    sqlite->SetSQL(sql);
  }

private:
  static TSqliteTableDataSet& Table(TDataSet& table) {
    auto* sqlite = ObjCast<TSqliteTableDataSet>(&table);
    if (!sqlite) throw EDatabaseError("Not a SQLite table");
    return *sqlite;
  }
};

const TSqliteEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
