// The dBase engine behind the dataset kinds: file databases with driver
// "DBASE" or "FOXPRO" (any letter case), Path naming the folder of the
// tables, tables by TableName (see data/DbfDataSets.h). Driver "PARADOX"
// has an engine of its own (data/ParadoxEngine.cpp).
#include <memory>

#include "data/DataBaseInfo.h"
#include "data/DataEngines.h"
#include "data/DbfDataSets.h"
#include "foundation/CharClass.h"

namespace kv {

namespace {

std::shared_ptr<TDbfConnection> DbfConnectionOf(const std::shared_ptr<TDbConnection>& connection) {
  auto dbf = std::dynamic_pointer_cast<TDbfConnection>(connection);
  if (connection && !dbf) throw EDatabaseError("A dBase dataset was handed a connection of another engine");
  return dbf;
}

class TDbfEngine final : public TDataEngine {
public:
  bool Serves(const TConnectionKey& key) const override {
    return key.Mode == TConnectionMode::File &&
           (key.Driver == "DBASE" || key.Driver == "FOXPRO");
  }

  std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const override {
    const std::string driver = AsciiUpperCase(info.DriverName);
    return std::make_unique<TDbfConnection>(info.Path,
                                            driver == "FOXPRO" ? dbf::TDbfFlavour::FoxPro : dbf::TDbfFlavour::DBase);
  }

  std::unique_ptr<TDataSet> NewTable() const override { return std::make_unique<TDbfTableDataSet>(); }
  bool IsTable(const TDataSet& dataSet) const override { return ObjCast<TDbfTableDataSet>(&dataSet) != nullptr; }

  void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                 int32_t postRecords) const override {
    auto& dbf = Table(table);
    dbf.SetConnection(DbfConnectionOf(connection));
    dbf.SetTableName(tableName);
    dbf.SetPostRecords(postRecords);
  }

  bool CreateTable(TDataSet& table) const override { return Table(table).CreateTable(); }

  bool EmptyTable(TDataSet& table) const override {
    Table(table).EmptyTable();
    return true;
  }

  std::unique_ptr<TDataSet> NewQuery() const override { return std::make_unique<TDbfQueryDataSet>(); }
  bool IsQuery(const TDataSet& dataSet) const override { return ObjCast<TDbfQueryDataSet>(&dataSet) != nullptr; }

  // The statement runs in SQLite over the folder's tables (TDbfQueryDataSet).
  void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const override {
    auto* dbf = ObjCast<TDbfQueryDataSet>(&query);
    if (!dbf) throw EDatabaseError("Not a query over dBase tables");
    dbf->SetDbfConnection(DbfConnectionOf(connection));
    dbf->SetSQL(sql);
  }

private:
  static TDbfTableDataSet& Table(TDataSet& table) {
    auto* dbf = ObjCast<TDbfTableDataSet>(&table);
    if (!dbf) throw EDatabaseError("Not a dBase table");
    return *dbf;
  }
};

const TDbfEngine g_engine;
const TDataEngineRegistrar g_registrar(&g_engine);

}  // namespace

}  // namespace kv
