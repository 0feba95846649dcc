// sql: one SQL statement run on a SQLite database file.
#include <charconv>
#include <iostream>

#include "CliCommand.h"
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
      static const char digits[] = "0123456789abcdef";
      std::string r = "x'";
      for (char c : v.RawString()) {
        const unsigned char u = static_cast<unsigned char>(c);
        r += digits[u >> 4];
        r += digits[u & 15];
      }
      return r + "'";
    }
  }
  return "\\N";
}

int RunSql(const std::vector<std::string>& args) {
  bool create = false;
  std::vector<std::string> positional;
  bool optionsDone = false;
  for (const std::string& a : args) {
    if (!optionsDone && a == "--create") {
      create = true;
    } else if (!optionsDone && a == "--") {
      optionsDone = true;
    } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option \"" + a + "\""};
    } else {
      positional.push_back(a);
    }
  }
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
    "sql", "sql [--create] DBFILE STATEMENT",
    "Runs one SQL statement on a SQLite database file. A statement that returns rows\n"
    "prints a header line of column names, then one line per row, fields separated by\n"
    "tabs (escaped as text-preview escapes them; NULL as \\N, a BLOB as x'<hex>', a real\n"
    "as the shortest text that reads back the same); any other statement prints\n"
    "\"changed: N\", the rows it inserted, updated or deleted. DBFILE must exist unless\n"
    "--create is given, which makes an empty database when it is missing. The file is\n"
    "used in WAL mode; another program's lock is waited for up to 30 seconds.",
    50, RunSql}};

}  // namespace
}  // namespace cli
