// The kinds that reach their table through a statement of their own and
// hold the rows in a client-side cache: TDBExpressDataSet ("Table") and
// TKVOracleDataSet ("ORA"), an Oracle table named by TableName and owned
// by UserName on the service ServerName.
//
// The Oracle statements are built here as text: the browse and select
// statements (a destination with key fields selects the matching rows by
// named parameters) and the CREATE TABLE statement from the stored field
// and index definitions. Until an Oracle engine is present, opening either
// kind fails with "No database engine for Oracle".
#pragma once

#include <string>

#include "KVCore_export.h"
#include "data/TableDataSets.h"

namespace kv {

class KVCORE_EXPORT TDBExpressDataSet : public TKVCustomTableDataSet {
  KV_CLASS(TDBExpressDataSet, TKVCustomTableDataSet)
public:
  // Sets QueryText to the statement that browses the whole table.
  virtual void SetPreSQL() {}
  // Sets QueryText to the statement a run opens.
  virtual void SetSelectSQL() {}
  virtual void DataSetBeforeEdit(TDataSet& /*dataSet*/) {}
  virtual void DataSetAfterPost(TDataSet& /*dataSet*/) {}
  void DataSetBeforeOpen(TDataSet& dataSet) override;
  // Connects through the Oracle engine.
  void InitDatabase() override;

  bool Browse = false;    // set by the data browser while it opens the dataset; not stored
  std::string QueryText;  // the statement SetPreSQL or SetSelectSQL chose; not stored
};

class KVCORE_EXPORT TKVOracleDataSet : public TDBExpressDataSet {
  KV_CLASS(TKVOracleDataSet, TDBExpressDataSet)
public:
  TKVOracleDataSet();

  // "select * from T " (the blank at the end included).
  void SetPreSQL() override;
  // The browse statement; for a destination with key fields ("ID;CODE")
  // followed by " where ", " ID=:ID" and " and CODE=:CODE".
  void SetSelectSQL() override;
  // One statement, one line per part: "create table T (", a line
  // " NAME TYPE, " per field, the primary key of the first index
  // definition ("  constraint PK_T primary key (ID,CODE)") or, without
  // one, the last field line without its separator, and ")".
  std::string CreateTableSQL() const;
  // "delete from T".
  std::string EmptyDataSQL() const;
};

// The Oracle column type of a field: by the upper-cased type name CHAR,
// DATE, FLOAT, LONG, LONG RAW, RAW, ROWID or NUMBER (with size and
// precision where given), else VARCHAR2 of the field's size (4000 when the
// size is 0, which Oracle would refuse).
KVCORE_EXPORT std::string OracleColumnType(const TKVFieldDef& field);

}  // namespace kv
