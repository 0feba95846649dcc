// The database engines behind the dataset kinds. An engine knows how to
// connect to its databases and makes the engine datasets (tables and
// queries) that the kinds drive. Each engine enters itself in a
// process-wide table when the library loads; a kind looks its engine up
// from its connection parameters each time it connects, so changing the
// driver of a configured dataset takes effect at the next open.
//
// Engines: SQLITE (file databases: Path is the database file), DBASE and
// FOXPRO (Path is the folder of the .dbf tables).
// Parameters naming an engine that is not there raise EDatabaseError
// "No database engine for ...".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/Connections.h"
#include "data/DataSet.h"

namespace kv {

class TDataBaseInfo;

class KVCORE_EXPORT TDataEngine {
public:
  virtual ~TDataEngine() = default;

  // Whether this engine serves connections of `key` (mode and driver).
  virtual bool Serves(const TConnectionKey& key) const = 0;
  // A new connection for `info` (the registry shares it by key and thread).
  virtual std::unique_ptr<TDbConnection> Connect(const TDataBaseInfo& info) const = 0;

  // A new, closed table dataset of this engine; the caller owns it.
  virtual std::unique_ptr<TDataSet> NewTable() const = 0;
  // Whether `dataSet` is a table dataset of this engine.
  virtual bool IsTable(const TDataSet& dataSet) const = 0;
  // Points a closed table dataset of this engine at `table` on `connection`
  // (null: detaches it), writing in transactions of `postRecords` writes
  // (<= 0: one transaction until it closes).
  virtual void BindTable(TDataSet& table, std::shared_ptr<TDbConnection> connection, const std::string& tableName,
                         int32_t postRecords) const = 0;
  // Creates the bound table from the dataset's FieldDefs()/IndexDefs() when
  // it does not exist yet; true when created.
  virtual bool CreateTable(TDataSet& table) const = 0;
  // Removes every row of the bound table at once; false when the engine
  // cannot (the caller then deletes row by row).
  virtual bool EmptyTable(TDataSet& table) const = 0;

  // A new, closed query dataset of this engine (null when the engine runs
  // no queries); the caller owns it.
  virtual std::unique_ptr<TDataSet> NewQuery() const = 0;
  virtual bool IsQuery(const TDataSet& dataSet) const = 0;
  // Points a closed query dataset of this engine at `connection` (null:
  // detaches it) with the statement `sql`.
  virtual void BindQuery(TDataSet& query, std::shared_ptr<TDbConnection> connection, const std::string& sql) const = 0;

  // The driver name of a data source (alias engines); empty when unknown.
  virtual std::string AliasDriverName(const std::string& /*alias*/) const { return std::string(); }
};

// The engine for `info`; EDatabaseError naming the driver (or the alias
// mode) when no engine serves it. Engines live as long as the library.
KVCORE_EXPORT const TDataEngine& DataEngineFor(const TDataBaseInfo& info);
// The engine serving `key`, or null.
KVCORE_EXPORT const TDataEngine* FindDataEngine(const TConnectionKey& key);

// The connection for `info` on the calling thread, from the registry.
KVCORE_EXPORT std::shared_ptr<TDbConnection> ConnectDataBase(const TDataBaseInfo& info);

// The kind of database behind a data source (alias), by the upper-cased
// name of its driver: containing "ORACLE" 0, "ACCESS" 1, "SQL SERVER" 2,
// "SYBASE" 3, "DB2" 4 (tested in that order); kDataBaseTypeOther for a
// known data source whose driver is none of them; kDataBaseTypeUnknown
// for an unknown data source (or when no engine serves data sources).
inline constexpr int kDataBaseTypeOther = 5;
inline constexpr int kDataBaseTypeUnknown = 99;
KVCORE_EXPORT int GetDataBaseType(const std::string& alias);
// The same classification of a driver name (empty: unknown).
KVCORE_EXPORT int DataBaseTypeOfDriver(const std::string& driverName);

// Enters an engine into the table while the library is loaded.
class KVCORE_EXPORT TDataEngineRegistrar {
public:
  explicit TDataEngineRegistrar(const TDataEngine* engine);
  ~TDataEngineRegistrar();
  TDataEngineRegistrar(const TDataEngineRegistrar&) = delete;
  TDataEngineRegistrar& operator=(const TDataEngineRegistrar&) = delete;

private:
  const TDataEngine* engine_;
};

}  // namespace kv
