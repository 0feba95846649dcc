// TKVQueryDataSet ("Query"): the rows of an SQL statement. The statement
// runs on the engine its connection parameters name; with ConnectType
// ctDBParams and driver "SQLITE" (any letter case) it runs on the SQLite
// database file Path. A query is read-only: it is never a destination,
// and LocateRecord always answers false.
#pragma once

#include "KVCore_export.h"
#include "data/CustomDataSet.h"
#include "foundation/StringLists.h"

namespace kv {

class KVCORE_EXPORT TKVQueryDataSet : public TKVCustomDataSet {
  KV_CLASS(TKVQueryDataSet, TKVCustomDataSet)
public:
  TKVQueryDataSet();

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // The SQL text first, then everything TKVCustomDataSet copies.
  void Assign(const TBaseObject* source) override;
  void AfterLoad(TFiler& filer) override;

  // The engine's query for the current connection parameters (kept as it
  // is while no engine serves them, or while it holds error data).
  TDataSet* GetDataset() override;
  void DataSetBeforeOpen(TDataSet& dataSet) override;
  void DataSetAfterClose(TDataSet& dataSet) override;
  // Connects (data/Connections.h) and hands the statement to the engine query.
  void InitDatabase() override;
  bool LocateRecord(const std::string& keyFields, const TVariant& keyValues, TLocateOptions options) override;

  ObjPtr<TStringList> SQL;  // never null outside loading
};

}  // namespace kv
