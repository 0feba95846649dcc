// Test-local ODBC data sources. The first call writes odbcinst.ini (the
// drivers below, from the Debian packages libsqliteodbc and odbc-postgresql)
// and an odbc.ini into a temporary folder of this program and points
// ODBCSYSINI and ODBCINI at them, so the tests never read or change the
// machine's own ODBC settings. Call before the first ODBC call of the
// program (defining a source later rewrites odbc.ini, which unixODBC reads
// again at each connect).
#pragma once

#include <string>

namespace kvtest {

// The driver names in the test odbcinst.ini.
inline constexpr const char* kOdbcSqliteDriver = "Vandrel Test SQLite3";
inline constexpr const char* kOdbcPostgresDriver = "Vandrel Test PostgreSQL";
// The SQLite driver again under names that GetDataBaseType classifies.
inline constexpr const char* kOdbcOracleNamedDriver = "Vandrel Test Oracle-named SQLite3";
inline constexpr const char* kOdbcSqlServerNamedDriver = "Vandrel Test SQL Server-named SQLite3";

// Defines the data source `name` on the SQLite database file `path`
// (StepAPI=1: rows are read one at a time, not loaded at once).
void DefineOdbcSqliteSource(const std::string& name, const std::string& path,
                            const std::string& driver = kOdbcSqliteDriver);
// Defines the data source `name` on a PostgreSQL database over TCP
// (UseDeclareFetch=1: rows are fetched through a cursor; statement-level
// rollback, so a refused row does not end the transaction). No password
// is stored: the connection passes it.
void DefineOdbcPostgresSource(const std::string& name, const std::string& host, int port,
                              const std::string& database);
// The folder holding the test odbcinst.ini and odbc.ini.
std::string OdbcTestFolder();

}  // namespace kvtest
