// The table kinds: TKVCustomTableDataSet (stored index definitions, the
// new-table flag, the table type) and TKVTableDataSet with its two named
// variants, TKVODBCDataSet ("ODBC") and TKVFileDBDataSet ("FileDB"). A
// table kind reaches its table through the engine its connection
// parameters name (data/DataEngines.h): a SQLite table is a file database
// with driver "SQLITE" (any letter case), Path the database file and
// TableName the table.
//
// Before the table opens: the engine table is pointed at TableName on the
// connection (InitDatabase), and when NewTable is set the table is created
// from FieldDefs and IndexDefs unless it exists already.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "KVCore_export.h"
#include "data/CustomDataSet.h"

namespace kv {

class TDataEngine;

// The table type a driver name gives, by exact (letter-case-sensitive)
// match: "Paradox", "dBase" and "FoxPro" give their types, anything else
// the default type.
enum TTableType : uint8_t { ttDefault = 0, ttParadox = 1, ttDBase = 2, ttFoxPro = 3 };
KVCORE_EXPORT TTableType TableTypeOfDriver(std::string_view driverName);

class KVCORE_EXPORT TKVCustomTableDataSet : public TKVCustomDataSet {
  KV_CLASS(TKVCustomTableDataSet, TKVCustomDataSet)
public:
  TKVCustomTableDataSet();

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // IndexDefs, NewTable and TableType first, then everything TKVCustomDataSet copies.
  void Assign(const TBaseObject* source) override;
  // Also takes the open table's index definitions over into IndexDefs.
  void DataSetAfterOpen(TDataSet& dataSet) override;
  // Nothing here; the kinds with an engine create their table.
  virtual void CreateTable() {}
  bool CanBeDest() const override { return true; }
  void SetIndexDefs(const TKVIndexDefs* value);

  ObjPtr<TKVIndexDefs> IndexDefs;  // null until defined or taken from an open table
  bool NewTable = false;
  uint8_t TableType = 0;  // kept for stored jobs
};

class KVCORE_EXPORT TKVTableDataSet : public TKVCustomTableDataSet {
  KV_CLASS(TKVTableDataSet, TKVCustomTableDataSet)
public:
  // The engine's table for the current connection parameters (kept as it
  // is while no engine serves them, or while it holds error data).
  TDataSet* GetDataset() override;
  void DataSetBeforeOpen(TDataSet& dataSet) override;
  // Also unbinds the engine table from its connection.
  void DataSetAfterClose(TDataSet& dataSet) override;
  // Connects (data/Connections.h) and points the engine table at TableName.
  void InitDatabase() override;
  // Creates the table from FieldDefs and IndexDefs when it does not exist.
  void CreateTable() override;
  // Removes every row: at once where the engine can, else row by row.
  void EmptyData() override;

private:
  const TDataEngine& Engine() const;
};

// Hands the values of `fieldName` in rows 1 to 19 of the table `tableName`
// of the database `info` names (any engine) to `callback`, then closes the
// table. EDatabaseError when the table or the field is not there.
using TPreviewCallback = std::function<void(int row, const TVariant& value)>;
KVCORE_EXPORT void LoadBDEPreview(const TDataBaseInfo& info, const std::string& tableName,
                                  const std::string& fieldName, const TPreviewCallback& callback);
inline constexpr int kPreviewRows = 19;

class KVCORE_EXPORT TKVODBCDataSet : public TKVTableDataSet {
  KV_CLASS(TKVODBCDataSet, TKVTableDataSet)
public:
  TKVODBCDataSet();
};

class KVCORE_EXPORT TKVFileDBDataSet : public TKVTableDataSet {
  KV_CLASS(TKVFileDBDataSet, TKVTableDataSet)
public:
  TKVFileDBDataSet();
};

}  // namespace kv
