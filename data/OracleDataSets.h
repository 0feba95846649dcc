// The kinds that reach their table through a statement of their own and
// hold the rows in a client-side cache: TDBExpressDataSet ("Table") and
// TKVOracleDataSet ("ORA"), an Oracle table named by TableName and owned
// by UserName on the database ServerName names.
//
// Connection: through ODBC (the Oracle ODBC driver), as OracleOdbcConnect
// (data/OracleOdbc.h) makes it from the settings: ServerName is an ODBC
// data source name, or a connection string when it holds "=";
// UserName and PassWord log in. The connection key (data/Connections.h)
// is the server name, the user and the password.
//
// The engine dataset is a TOdbcClientDataSet (data/OdbcClientDataSet.h):
// an in-memory dataset with cached updates whose changes are written to
// TableName by the Oracle statements (insert, and update and delete of
// the row found by DatasetKeys, else by the first index definition's
// fields, else by all fields). Error data put in place for re-transfer (a
// plain TKVMemDataSet) is kept as it is.
//
// Before the engine dataset opens: connect; when NewTable is set, create
// the table unless it exists; the statement is SetPreSQL's while Browse is
// set, else SetSelectSQL's, its named parameters (":ID") bound as ODBC
// markers, all Null (no row matches). How much is read by Purpose:
//   - a destination (ttDest, not ttSource) reads only the structure: no
//     row of the table is loaded; LocateRecord brings the rows of a key;
//   - a source (ttSource only, not browsing) reads forward in packets of
//     50 rows, letting go of the rows passed: memory stays flat;
//   - otherwise (browsing, no purpose) rows come in packets of 50 as the
//     cursor needs them and stay.
// Every Post and Delete is applied at once (DataSetAfterPost); a change the server
// refuses is reported to the engine dataset's OnReconcileError (the DB
// link run binds it) with the server's message and dropped; the others
// are written. Outside the data browser the applied rows are let go (all
// but the current one), so a destination's memory does not grow with the
// rows written. Commits come every PostRecords applied changes and when
// the dataset closes.
//
// The Oracle statements are built here as text: the browse and select
// statements (a destination with key fields selects the matching rows by
// named parameters) and the CREATE TABLE statement from the stored field
// and index definitions.
#pragma once

#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/TableDataSets.h"

namespace kv {

class TOdbcClientDataSet;
class TOdbcConnection;

class KVCORE_EXPORT TDBExpressDataSet : public TKVCustomTableDataSet {
  KV_CLASS(TDBExpressDataSet, TKVCustomTableDataSet)
public:
  static constexpr int kPacketRecords = 50;

  // Sets QueryText to the statement that browses the whole table (BrowseSQL).
  virtual void SetPreSQL() { QueryText = BrowseSQL(); }
  // Sets QueryText to the statement a run opens.
  virtual void SetSelectSQL() { SetPreSQL(); }
  virtual void DataSetBeforeEdit(TDataSet& /*dataSet*/) {}
  // Applies the change just posted or deleted (TOdbcClientDataSet::ApplyPosted).
  virtual void DataSetAfterPost(TDataSet& dataSet);
  // The statement that reads the whole table ("" here).
  virtual std::string BrowseSQL() const { return std::string(); }
  // The statement that creates the table ("": CreateTable does nothing).
  virtual std::string CreateTableSQL() const { return std::string(); }
  // The statement that removes every row: "delete from T".
  virtual std::string EmptyDataSQL() const;

  // The client dataset (error data put in place is kept as it is).
  TDataSet* GetDataset() override;
  void DataSetBeforeOpen(TDataSet& dataSet) override;
  // Also lets the client dataset's connection go.
  void DataSetAfterClose(TDataSet& dataSet) override;
  // Connects through the Oracle engine (ODBC).
  void InitDatabase() override;
  // Runs CreateTableSQL when the table does not exist yet (committed at once).
  void CreateTable() override;
  // Runs EmptyDataSQL (one statement, in the write transaction: committed
  // as PostRecords says) and forgets the rows held.
  void EmptyData() override;
  // With the client dataset open and no options: runs BrowseSQL with
  // " where " and a condition per key field (" ID=:ID", " and CODE=:CODE";
  // " X is null" for a Null key value), the values converted to the
  // fields' kinds (DATE fields bound as time stamps), and holds exactly
  // the rows found (a pending change is applied first). A value a field
  // cannot hold finds nothing. Otherwise the held rows are searched.
  bool LocateRecord(const std::string& keyFields, const TVariant& keyValues, TLocateOptions options) override;

  // The client dataset; null while error data stands in its place.
  TOdbcClientDataSet* ClientDataSet();

  bool Browse = false;    // set by the data browser while it opens the dataset; not stored
  std::string QueryText;  // the statement SetPreSQL or SetSelectSQL chose; not stored

protected:
  // The connection while the dataset is open, else one from the registry.
  std::shared_ptr<TOdbcConnection> OdbcConnection();

private:
  void ConfigureClient(TOdbcClientDataSet& client);
  std::string UpdateKeyFields() const;
};

class KVCORE_EXPORT TKVOracleDataSet : public TDBExpressDataSet {
  KV_CLASS(TKVOracleDataSet, TDBExpressDataSet)
public:
  TKVOracleDataSet();

  // "select * from T " (the blank at the end included).
  std::string BrowseSQL() const override;
  // The browse statement; for a destination with key fields ("ID;CODE")
  // followed by " where ", " ID=:ID" and " and CODE=:CODE".
  void SetSelectSQL() override;
  // One statement, one line per part: "create table T (", a line
  // " NAME TYPE, " per field, the primary key of the first index
  // definition ("  constraint PK_T primary key (ID,CODE)") or, without
  // one, the last field line without its separator, and ")".
  std::string CreateTableSQL() const override;
  // Redefines the variables and resets the current row, keeping FieldDefs
  // and IndexDefs as they are (GetFieldDef reads them from the server);
  // FieldDefs are taken from the open dataset only when there are none.
  void DataSetAfterOpen(TDataSet& dataSet) override;

  // Reads the column and unique-key definitions of TableName owned by
  // UserName from the server's catalog (OracleReadFieldDefs) into
  // FieldDefs and IndexDefs; true when a column was found.
  bool GetFieldDef();
  // The names of the tables UserName owns.
  std::vector<std::string> GetTableNames();
};

// The Oracle column type of a field: by the upper-cased type name CHAR,
// DATE, FLOAT, LONG, LONG RAW, RAW, ROWID or NUMBER (with size and
// precision where given), else VARCHAR2 of the field's size (4000 when the
// size is 0, which Oracle would refuse).
KVCORE_EXPORT std::string OracleColumnType(const TKVFieldDef& field);
// The CREATE TABLE statement of `table` (as TKVOracleDataSet::CreateTableSQL).
KVCORE_EXPORT std::string OracleCreateTableSQL(const std::string& table, const TKVFieldDefs* fields,
                                               const TKVIndexDefs* indexes);

}  // namespace kv
