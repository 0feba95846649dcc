// sql: one SQL statement run on a SQLite database file, a PostgreSQL server
// or an ODBC data source.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iostream>

#include "CliCommand.h"
#include "CliDataSets.h"
#include "data/PgConnection.h"
#include "data/PgDataSets.h"
#include "data/OdbcConnection.h"
#include "data/SqliteDatabase.h"

namespace cli {
namespace {

// A value as one field of the output: NULL as \N, an integer in decimal, a
// real as the shortest text that reads back as the same double, a text
// escaped as text-preview escapes it (so a text "\N" prints as "\\N"), a
// BLOB as x'<hex>' (its bytes as SQL writes a BLOB literal).
std::string FormatValue(const kv::TSqliteStatement& q, int column) {
  const kv::TVariant v = q.Column(column);
  switch (q.ColumnStorage(column)) {
    case kv::TSqliteStorage::Null: return "\\N";
    case kv::TSqliteStorage::Integer: return std::to_string(v.RawInteger());
    case kv::TSqliteStorage::Real: {
      char buf[64];
      auto r = std::to_chars(buf, buf + sizeof buf, v.RawFloat());
      return std::string(buf, r.ptr);
    }
    case kv::TSqliteStorage::Text: return EscapeTerminalField(v.RawString());
    case kv::TSqliteStorage::Blob: {
      return BlobLiteral(v.RawString());
    }
  }
  return "\\N";
}

// A value of a PostgreSQL result as one output field: NULL as \N, bytes as
// x'<hex>', anything else as its text.
std::string FormatPgValue(const kv::TField& field) {
  if (field.IsNull()) return "\\N";
  const kv::TFieldType t = field.DataType();
  if (t == kv::ftBlob) {
    return BlobLiteral(field.AsString());
  }
  return FormatCell(field.Value());
}

// One statement on a PostgreSQL server (`conninfo` without a password;
// the password from `passwordEnv` or PGPASSWORD), printed as for SQLite.
int RunPgSql(const std::string& conninfo, const std::string& passwordEnv, const std::string& sql) {
  if (conninfo.find("password") != std::string::npos)
    throw UsageError{"a password is never taken from the command line: use PGPASSWORD or --password-env VAR"};
  std::string password;
  if (!passwordEnv.empty()) {
    const char* value = std::getenv(passwordEnv.c_str());
    if (value == nullptr) throw kv::Exception("The environment variable " + passwordEnv + " is not set");
    password = value;
  }
  std::shared_ptr<kv::TPgConnection> connection = kv::TPgConnection::FromConnInfo(conninfo, password);
  kv::TPgQueryDataSet q(connection);
  q.SetSQL(sql);
  q.Open();
  if (q.ChangedRows() >= 0 && q.FieldCount() == 0) {
    std::cout << "changed: " << q.ChangedRows() << "\n";
    return kExitOk;
  }
  std::string out;
  for (int i = 0; i < q.FieldCount(); ++i) out += (i ? "\t" : "") + EscapeTerminalField(q.Fields(i).FieldName());
  out += '\n';
  for (; !q.Eof(); q.Next()) {
    for (int i = 0; i < q.FieldCount(); ++i) out += (i ? "\t" : "") + FormatPgValue(q.Fields(i));
    out += '\n';
    if (out.size() > (1u << 16)) {
      std::cout << out;
      out.clear();
    }
  }
  std::cout << out;
  return kExitOk;
}

// A value of an ODBC result as one field of the output: NULL as \N, binary
// columns as x'<hex>', anything else as the driver's text of it, escaped.
std::string FormatOdbcValue(kv::TOdbcStatement& q, int column, bool binary) {
  std::string text;
  if (binary) {
    if (!q.ReadBytes(column, text)) return "\\N";
    return BlobLiteral(text);
  }
  return q.ReadText(column, text) ? EscapeTerminalField(text) : std::string("\\N");
}

// The statement run on the ODBC data source `dsn`; a change is committed.
int RunSqlOnDataSource(const std::string& dsn, const std::string& user, const std::string& passwordEnv,
                       const std::string& sql) {
  std::string password;
  if (!passwordEnv.empty()) {
    const char* value = std::getenv(passwordEnv.c_str());
    if (value == nullptr) throw kv::Exception("The environment variable " + passwordEnv + " is not set");
    password = value;
  }
  auto conn = kv::TOdbcConnection::ConnectDataSource(dsn, user, password);
  auto q = conn->NewStatement();
  const bool any = q->ExecDirect(sql);
  const int columns = any ? q->ColumnCount() : 0;
  if (columns == 0) {
    const int64_t changed = any ? q->RowCount() : 0;
    q.reset();
    conn->WriteDone(0);
    conn->CommitPending();
    std::cout << "changed: " << (changed < 0 ? 0 : changed) << "\n";
    return kExitOk;
  }
  std::string out;
  std::vector<bool> binary;
  for (int i = 1; i <= columns; ++i) {
    const kv::TOdbcColumn c = q->DescribeColumn(i);
    out += (i > 1 ? "\t" : "") + EscapeTerminalField(c.Name);
    binary.push_back(c.IsBinary());
  }
  out += '\n';
  while (q->Fetch()) {
    for (int i = 1; i <= columns; ++i) out += (i > 1 ? "\t" : "") + FormatOdbcValue(*q, i, binary[i - 1]);
    out += '\n';
    if (out.size() > (1u << 16)) {
      std::cout << out;
      out.clear();
    }
  }
  std::cout << out;
  return kExitOk;
}

int RunSql(const std::vector<std::string>& args) {
  bool create = false;
  std::string pg, dsn, user, passwordEnv;
  std::vector<std::string> positional;
  bool optionsDone = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (!optionsDone && a == "--create") {
      create = true;
    } else if (!optionsDone && a == "--pg") {
      pg = value();
    } else if (!optionsDone && a == "--dsn") {
      dsn = value();
    } else if (!optionsDone && a == "--user") {
      user = value();
    } else if (!optionsDone && a == "--password-env") {
      passwordEnv = value();
    } else if (!optionsDone && a == "--password") {
      throw UsageError{"a password is never taken from the command line: use --password-env VAR"};
    } else if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      positional.push_back(a);
    }
  }
  if (!pg.empty() && !dsn.empty()) throw UsageError{"--pg and --dsn exclude each other"};
  if (!pg.empty()) {
    if (positional.size() != 1 || create || !user.empty())
      throw UsageError{"with --pg, expected one STATEMENT (the user goes in CONNINFO; no --create)"};
    return RunPgSql(pg, passwordEnv, positional[0]);
  }
  if (!dsn.empty()) {
    if (positional.size() != 1 || create) throw UsageError{"with --dsn, expected one STATEMENT (and no --create)"};
    return RunSqlOnDataSource(dsn, user, passwordEnv, positional[0]);
  }
  if (!user.empty() || !passwordEnv.empty()) throw UsageError{"--user and --password-env go with --dsn or --pg"};
  if (positional.size() != 2) throw UsageError{"expected DBFILE and one STATEMENT"};
  const std::string& file = positional[0];
  const std::string& sql = positional[1];

  // Reading a file that is not there is an error, never a new empty database.
  kv::TSqliteDatabase db(file, create ? kv::TSqliteOpenMode::CreateIfMissing : kv::TSqliteOpenMode::ExistingOnly);
  std::unique_ptr<kv::TSqliteStatement> q = db.Prepare(sql);
  std::string out;
  const int columns = q->ColumnCount();
  if (columns == 0) {
    const int64_t changed = q->Execute();
    out = "changed: " + std::to_string(changed) + "\n";
  } else {
    for (int i = 0; i < columns; ++i) {
      if (i) out += '\t';
      out += EscapeTerminalField(q->ColumnName(i));
    }
    out += '\n';
    while (q->Step()) {
      for (int i = 0; i < columns; ++i) {
        if (i) out += '\t';
        out += FormatValue(*q, i);
      }
      out += '\n';
      // Large results go out as they come rather than piling up.
      if (out.size() > (1u << 16)) {
        std::cout << out;
        out.clear();
      }
    }
  }
  std::cout << out;
  return kExitOk;
}

const CommandRegistrar sql{Command{
    "sql", "sql [--create] DBFILE STATEMENT\n    sql --pg CONNINFO [--password-env VAR] STATEMENT\n    sql --dsn NAME [--user U] [--password-env VAR] STATEMENT",
    "Runs one SQL statement on a SQLite database file. A statement that returns rows\n"
    "prints a header line of column names, then one line per row, fields separated by\n"
    "tabs (escaped as text-preview escapes them; NULL as \\N, a BLOB as x'<hex>', a real\n"
    "as the shortest text that reads back the same); any other statement prints\n"
    "\"changed: N\", the rows it inserted, updated or deleted. DBFILE must exist unless\n"
    "--create is given, which makes an empty database when it is missing. The file is\n"
    "used in WAL mode; another program's lock is waited for up to 30 seconds.\n"
    "With --pg the statement runs on a PostgreSQL server named by a libpq connection\n"
    "string (\"host=H port=P dbname=D user=U\"); the password comes from the variable\n"
    "named by --password-env or from PGPASSWORD, never from the command line.\n"
    "With --dsn it runs on the ODBC data source NAME (odbc.ini), the password read from\n"
    "the variable named by --password-env; values print as the driver gives them as\n"
    "text, and a change is committed.",
    50, RunSql}};

}  // namespace
}  // namespace cli
