// ODBC data sources through unixODBC: the connection string of a server
// driver, a connection (one ODBC environment and connection handle) shared
// by the ODBC datasets of one thread, and statements on it.
//
// Connecting:
//  - a data source (alias): SQLConnect with the data source name, the user
//    and the password (each may be empty: the data source's own settings
//    then apply);
//  - a server driver: SQLDriverConnect with OdbcConnectionString (below).
// A connection that cannot be made raises EDatabaseError "Cannot connect to
// <what>: <driver's message>"; the password is never part of a message.
//
// Text crosses the driver as UTF-16 (the wide ODBC types) and is UTF-8
// everywhere else, so any character the database holds comes through
// whatever the process's locale.
//
// Write transactions: the connection runs with autocommit off. A dataset
// calls BeginWrite before each write and WriteDone after it; every
// `postRecords` writes the transaction is committed (postRecords <= 0: it
// stays open until CommitPending). A refused write is reported by the
// dataset; whether the server undid only that statement depends on the
// driver (psqlODBC does with its statement-level rollback, Protocol=7.4-2,
// its default for current servers; the SQLite driver always does).
// Destroying the connection rolls back what was not committed.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/DbConnection.h"
#include "data/Variant.h"

namespace kv {

// The parts of a connection string for a server driver.
struct KVCORE_EXPORT TOdbcConnectParts {
  std::string Driver;    // the driver's name in odbcinst.ini (DriverName)
  std::string Server;    // ServerName: host, host:port or whatever the driver takes as SERVER
  std::string Database;  // DataBaseName
  std::string User;      // UserName
  std::string Password;  // PassWord; never shown
};

// A keyword value as a connection string holds it: as it is when it holds
// none of ; { } = and no blank at either end, else in braces with each }
// doubled ("a;b" -> "{a;b}", "x}y" -> "{x}}y}").
KVCORE_EXPORT std::string OdbcConnectionValue(std::string_view value);
// "DRIVER={<driver>};SERVER=<server>;DATABASE=<database>;UID=<user>;PWD=<password>":
// DRIVER always braced, the others as OdbcConnectionValue writes them and
// left out when empty. A server "host:port" or "[v6]:port" gives
// SERVER=host;PORT=port, "[v6]" SERVER=v6 (data/ServerAddress.h). Holds
// the password: never show it.
KVCORE_EXPORT std::string OdbcConnectionString(const TOdbcConnectParts& parts);

// The diagnostic records of a handle joined into one text ("[SQLSTATE]
// message; ..."); "" when there are none.
KVCORE_EXPORT std::string OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

class TOdbcConnection;

// A result column as the driver describes it.
struct KVCORE_EXPORT TOdbcColumn {
  std::string Name;
  int SqlType = 0;       // SQL_* type code
  int64_t Size = 0;      // column size
  int Digits = 0;        // decimal digits
  std::string TypeName;  // the driver's name of the type ("" when it gives none)
  bool IsBinary() const { return SqlType == SQL_BINARY || SqlType == SQL_VARBINARY || SqlType == SQL_LONGVARBINARY; }
};

// One ODBC statement handle; made by TOdbcConnection::NewStatement, it must
// go before its connection. Parameters are bound from values owned by the
// statement (BindValue copies), so they stay valid until the next bind.
class KVCORE_EXPORT TOdbcStatement {
public:
  ~TOdbcStatement();
  TOdbcStatement(const TOdbcStatement&) = delete;
  TOdbcStatement& operator=(const TOdbcStatement&) = delete;

  SQLHSTMT Handle() const { return stmt_; }
  TOdbcConnection& Connection() const { return conn_; }

  void Prepare(const std::string& sql);
  // Runs the prepared statement; false when it returned SQL_NO_DATA (an
  // update or delete that touched nothing).
  bool Execute();
  bool ExecDirect(const std::string& sql);
  // Next row of the result; false at its end.
  bool Fetch();
  // Closes an open result (nothing when there is none).
  void CloseCursor();
  int ColumnCount() const;
  // Result column `column` (1-based) of the executed or prepared statement.
  TOdbcColumn DescribeColumn(int column) const;
  int64_t RowCount() const;

  // Binds parameter `position` (1-based) to `value` as a value of
  // `sqlType` (SQL_TYPE_DATE, SQL_TYPE_TIME and the timestamp types take
  // date-times; 0: by the value's kind). Null and unassigned bind NULL.
  void BindValue(int position, const TVariant& value, SQLSMALLINT sqlType = 0);
  void ResetParameters();

  // ---- Parameter arrays (several parameter sets in one execution) ----
  // Binds parameter `position` (1-based) to one column of a parameter
  // array: set r takes `*values[r]` (Null and unassigned bind NULL)
  // converted to `kind` (varInteger, varFloat, varBoolean, varDateTime,
  // anything else text; bytes when `binary`) and sent as `sqlType` (0: by
  // the kind). The statement keeps copies.
  void BindArray(int position, const std::vector<const TVariant*>& values, TVarType kind, bool binary,
                 SQLSMALLINT sqlType);
  // Runs the prepared statement once per parameter set bound with
  // BindArray (`sets` of them). False when the driver takes no arrays
  // (nothing ran). Otherwise true, with `allDone` telling whether every set
  // ran without error (the driver's diagnostics stay on the statement).
  // The statement goes back to single parameter sets afterwards.
  bool ExecuteArray(size_t sets, bool& allDone);

  // Column `column` (1-based) of the current row read as `kind`
  // (varInteger, varFloat, varBoolean, varDateTime, varString; binary
  // columns as their bytes). False when NULL.
  bool Read(int column, TVarType kind, bool binary, TVariant& out);
  // A TIME column as a date-time of day 0 (reading it as a time stamp
  // would give today's date); false when NULL.
  bool ReadTimeOfDay(int column, TVariant& out);
  // The text of column `column` into `out` (UTF-8); false when NULL.
  bool ReadText(int column, std::string& out);
  // The bytes of column `column` into `out`; false when NULL.
  bool ReadBytes(int column, std::string& out);

  // Raises EDatabaseError "<what>: <diagnostics of this statement>".
  [[noreturn]] void Raise(const std::string& what) const;

private:
  friend class TOdbcConnection;
  TOdbcStatement(TOdbcConnection& conn, SQLHSTMT stmt) : conn_(conn), stmt_(stmt) {}
  void Check(SQLRETURN rc, const char* what) const;

  struct TParam {
    std::vector<char> data;
    SQLLEN indicator = 0;
  };
  TOdbcConnection& conn_;
  SQLHSTMT stmt_;
  std::string sql_;
  std::vector<std::unique_ptr<TParam>> params_;
  struct TArrayParam {
    std::vector<char> data;  // sets x width bytes
    std::vector<SQLLEN> indicators;
  };
  std::vector<std::unique_ptr<TArrayParam>> arrays_;
  std::u16string wide_;  // scratch for wide reads
};

class KVCORE_EXPORT TOdbcConnection : public TDbConnection {
public:
  // A data source (alias) by name.
  static std::unique_ptr<TOdbcConnection> ConnectDataSource(const std::string& dsn, const std::string& user,
                                                            const std::string& password);
  // A server driver by its connection parts.
  static std::unique_ptr<TOdbcConnection> ConnectDriver(const TOdbcConnectParts& parts);
  // A connection string of the caller's ("DRIVER={...};DBQ=..." or
  // "DSN=..."), with UID=`user` and PWD=`password` added when not empty.
  // Messages name its DSN or DRIVER only; a password it holds is masked.
  static std::unique_ptr<TOdbcConnection> ConnectString(const std::string& connectionString, const std::string& user,
                                                        const std::string& password);
  ~TOdbcConnection() override;

  SQLHDBC Handle() const { return dbc_; }
  // "data source NAME" or "driver DRIVER, server S, database D".
  std::string Describe() const override;
  // Commits the open write transaction, if any; a failed COMMIT is rolled
  // back and raised as "... rows written since the last commit were lost".
  void CommitPending() override;

  // A new statement on this connection; the caller owns it and lets it go
  // before the connection.
  std::unique_ptr<TOdbcStatement> NewStatement();
  // Runs one statement to its end (no result kept); returns the rows it changed.
  int64_t Execute(const std::string& sql);

  // SQLGetInfo texts: SQL_DRIVER_NAME, SQL_DBMS_NAME.
  std::string InfoText(SQLUSMALLINT info) const;
  // The DBMS's name as it gives it ("PostgreSQL", "SQLite").
  const std::string& DbmsName() const { return dbms_; }
  // `name` quoted as the server quotes identifiers (SQL_IDENTIFIER_QUOTE_CHAR,
  // the quote doubled inside); as it is when the server has no quote.
  std::string QuoteIdentifier(const std::string& name) const;

  // ---- Write-transaction bookkeeping of the datasets ----
  // Before a write (the transaction begins with it: autocommit is off).
  void BeginWrite() {}
  // After writes that succeeded (`writes` of them): counts them and commits
  // once `postRecords` writes are pending (postRecords <= 0: never here).
  void WriteDone(int32_t postRecords, int64_t writes = 1);
  int64_t PendingWrites() const noexcept { return pending_; }
  int64_t Commits() const noexcept { return commits_; }
  // Rolls back what was written since the last commit.
  void Rollback();

  // Raises EDatabaseError "<what>: <diagnostics of the connection>".
  [[noreturn]] void Raise(const std::string& what) const;

private:
  TOdbcConnection(std::string describe);
  // `secret`: one more text to keep out of messages (besides `password`).
  void Open(const std::string& connectionString, const std::string& dsn, const std::string& user,
            const std::string& password, const std::string& secret = std::string());
  void ReadInfo();

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string describe_;
  std::string dbms_;
  std::string quote_;
  int64_t pending_ = 0;
  int64_t commits_ = 0;
};

// The value of `keyword` (any letter case) in an ODBC connection string,
// braces undone; "" when it is not there.
KVCORE_EXPORT std::string OdbcConnectionKeyword(std::string_view connectionString, std::string_view keyword);

// The driver of the data source `dsn` as odbc.ini names it (SQLDataSources);
// "" when there is no such data source.
KVCORE_EXPORT std::string OdbcDataSourceDriver(const std::string& dsn);

}  // namespace kv
