// What the Oracle kinds need of ODBC: their statements with named
// parameters made into ODBC markers, the SQL type a parameter is bound as,
// and the resolver that applies a cache's changes to a table.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/MemDataSet.h"
#include "data/OdbcConnection.h"

namespace kv {

class TDataBaseInfo;

// The ODBC connection an Oracle dataset's settings give:
//  - ServerName without "=" names an ODBC data source (odbc.ini; for Oracle
//    the data source of the Oracle driver that names the service);
//  - ServerName holding "=" is a connection string for SQLDriverConnect
//    ("DRIVER={Oracle 19 ODBC Driver};DBQ=//db.example:1521/ORCL").
// UserName and PassWord log in (SQLConnect, or UID and PWD added to the
// string). EDatabaseError when ServerName is empty or the connection
// fails; the password never appears in it.
KVCORE_EXPORT std::unique_ptr<TOdbcConnection> OracleOdbcConnect(const TDataBaseInfo& info);
// Whether the table `table` exists on `connection`: its name (the part
// after the last ".") as written, upper-cased (as Oracle keeps names
// written without quotes) or lower-cased (as PostgreSQL keeps them).
KVCORE_EXPORT bool OdbcTableExists(TOdbcConnection& connection, const std::string& table);

// A statement with its named parameters (":ID") replaced by "?" markers,
// and the names in marker order (a name used twice is bound twice). Text in
// single or double quotes, "::" (a PostgreSQL cast) and ":=" are left as
// they are; a name is a letter or "_" followed by letters, digits, "_",
// "$" or "#".
struct KVCORE_EXPORT TOdbcNamedStatement {
  std::string Sql;
  std::vector<std::string> Names;
};
KVCORE_EXPORT TOdbcNamedStatement OdbcNamedParameters(const std::string& sql);

// The SQL type a parameter for field `def` is bound as: a time stamp when
// its type name is DATE (an Oracle DATE holds the time of day too), else 0
// (by the value's kind).
KVCORE_EXPORT int OracleParameterSqlType(const TFieldDef& def);

// What GetFieldDef reads of an Oracle table owned by `user` from the
// catalog views: FieldDefs cleared, then one definition per row of
// sys.all_tab_columns (name COLUMN_NAME, size DATA_PRECISION, precision
// DATA_SCALE, type name DATA_TYPE); IndexDefs cleared, then one index of the
// columns of the table's unique indexes (sys.all_indexes, sys.all_ind_columns)
// in row order, when there are any. Owner and table are compared upper-cased
// and bound as parameters, never pasted into the SQL text. True when a
// column was found.
KVCORE_EXPORT bool OracleReadFieldDefs(TOdbcConnection& connection, const std::string& user, const std::string& table,
                                       TFieldDefs& fields, TIndexDefs& indexes);
// The names of the tables owned by `user` (sys.all_tables), in row order.
KVCORE_EXPORT std::vector<std::string> OracleTableNames(TOdbcConnection& connection, const std::string& user);

// Applies the changes of a cached-updates TKVMemDataSet to `table` on
// `connection`: an insertion as an INSERT of every field, a modification as
// an UPDATE of every field and a deletion as a DELETE, both of the row whose
// key fields (`keyFields`, ";"-separated; all fields when empty) hold the
// values the record was read with. A change the server refuses, or an
// update or delete that finds no row, raises EDatabaseError with the
// server's message (the dataset reports it to OnReconcileError); the other
// changes go on. Commits follow CommitEvery (below). Statements are
// prepared once per shape and kept. The resolver shares the connection.
class KVCORE_EXPORT TOdbcUpdateResolver : public IUpdateResolver {
public:
  TOdbcUpdateResolver(std::shared_ptr<TOdbcConnection> connection, std::string table, std::string keyFields);
  ~TOdbcUpdateResolver() override;

  // The table name as SQL text when false ("SCOTT.ORDERS", or a name the
  // server folds to its own letter case, as the Oracle statements write
  // it); quoted as one identifier when true (the default).
  bool QuoteTableName = true;
  // When the applied changes are committed: -1 (the default) at the end of
  // every apply; n > 0 every n applied changes; 0 never (the connection's
  // owner commits, e.g. when its dataset closes).
  int32_t CommitEvery = -1;

  void ApplyUpdate(TUpdateKind kind, const TFieldDefs& fields, const std::vector<TVariant>& oldValues,
                   const std::vector<TVariant>& newValues) override;
  void EndApply(bool allApplied) override;
  // Changes applied (not refused) since the resolver was made.
  int64_t Applied() const { return applied_; }

private:
  TOdbcStatement& Prepared(const std::string& sql);
  std::string Where(const TFieldDefs& fields, const std::vector<TVariant>& oldValues, std::vector<size_t>& bound) const;

  std::shared_ptr<TOdbcConnection> connection_;
  std::string table_;
  std::string keyFields_;
  std::map<std::string, std::unique_ptr<TOdbcStatement>> prepared_;
  int64_t applied_ = 0;
};

}  // namespace kv
