#include "data/ParadoxSqliteModule.h"

#include <sqlite3.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "foundation/Format.h"

namespace kv {

namespace {

using px::TParadoxTable;

constexpr const char* kModuleName = "paradox";

struct TPxVTab {
  sqlite3_vtab base{};  // first: SQLite sees this struct as a sqlite3_vtab
  std::string path;
  size_t fieldCount = 0;
};

struct TPxCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<TParadoxTable> table;
  uint32_t recNo = 0;  // RecordCount() + 1 at the end
};

const char* DeclaredType(const px::TParadoxField& f) {
  switch (f.type) {
    case px::kShort:
    case px::kLong:
    case px::kAutoInc: return "INTEGER";
    case px::kNumber:
    case px::kCurrency:
    case px::kBcd: return "REAL";
    case px::kLogical: return "BOOLEAN";
    case px::kDate: return "DATE";
    case px::kTime: return "TIME";
    case px::kTimestamp: return "DATETIME";
    case px::kBlob:
    case px::kOle:
    case px::kGraphic:
    case px::kBytes: return "BLOB";
    default: return "TEXT";
  }
}

void SetError(sqlite3_vtab* vtab, const std::string& message) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", message.c_str());
}

// xCreate and xConnect: argv[3] is the table file's path, quoted.
int Connect(sqlite3* db, void*, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  if (argc < 4) {
    *error = sqlite3_mprintf("the paradox module needs the table file: USING paradox('path')");
    return SQLITE_ERROR;
  }
  std::string path = argv[3];
  if (path.size() >= 2 && (path.front() == '\'' || path.front() == '"')) path = path.substr(1, path.size() - 2);
  try {
    auto table = TParadoxTable::Open(path, false);
    std::string schema = "CREATE TABLE x(";
    for (size_t i = 0; i < table->Fields().size(); ++i)
      schema += (i ? ", " : "") + SqliteQuoteIdentifier(table->Fields()[i].name) + " " + DeclaredType(table->Fields()[i]);
    schema += ")";
    const int rc = sqlite3_declare_vtab(db, schema.c_str());
    if (rc != SQLITE_OK) {
      *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
      return rc;
    }
    auto* vtab = new TPxVTab();
    vtab->path = path;
    vtab->fieldCount = table->Fields().size();
    *out = &vtab->base;
    return SQLITE_OK;
  } catch (const std::exception& e) {
    *error = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<TPxVTab*>(vtab);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = 1e6;  // a full scan; SQLite applies every constraint itself
  return SQLITE_OK;
}

int Open(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
  auto* cursor = new TPxCursor();
  try {
    cursor->table = TParadoxTable::Open(reinterpret_cast<TPxVTab*>(vtab)->path, false);
  } catch (const std::exception& e) {
    delete cursor;
    SetError(vtab, e.what());
    return SQLITE_ERROR;
  }
  *out = &cursor->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
  delete reinterpret_cast<TPxCursor*>(cursor);
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<TPxCursor*>(base);
  ++c->recNo;
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
  reinterpret_cast<TPxCursor*>(base)->recNo = 0;
  return Next(base);
}

int Eof(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<TPxCursor*>(base);
  return c->recNo > c->table->RecordCount();
}

void Result(sqlite3_context* ctx, const px::TParadoxField& field, const TVariant& v) {
  switch (v.Type()) {
    case varInteger: sqlite3_result_int64(ctx, v.RawInteger()); break;
    case varFloat: sqlite3_result_double(ctx, v.RawFloat()); break;
    case varBoolean: sqlite3_result_int(ctx, v.RawBoolean() ? 1 : 0); break;
    case varString:
      if (std::strcmp(DeclaredType(field), "BLOB") == 0)
        sqlite3_result_blob(ctx, v.RawString().data(), static_cast<int>(v.RawString().size()), SQLITE_TRANSIENT);
      else
        sqlite3_result_text(ctx, v.RawString().data(), static_cast<int>(v.RawString().size()), SQLITE_TRANSIENT);
      break;
    case varDateTime: {
      std::string text = DateTimeToText(v.AsDateTime());
      if (field.type == px::kDate) text = text.substr(0, 10);
      if (field.type == px::kTime) text = v.AsDateTime() == 0 ? "00:00:00" : DateTimeToText(v.AsDateTime() - std::trunc(v.AsDateTime()));
      sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      break;
    }
    default: sqlite3_result_null(ctx); break;
  }
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column) {
  auto* c = reinterpret_cast<TPxCursor*>(base);
  try {
    const size_t index = static_cast<size_t>(column);
    const TVariant v = c->table->Value(c->table->Record(c->recNo), index, c->recNo);
    Result(ctx, c->table->Fields()[index], v);
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = reinterpret_cast<TPxCursor*>(base)->recNo;
  return SQLITE_OK;
}

sqlite3_module MakeModule() {
  sqlite3_module m{};
  m.iVersion = 1;
  m.xCreate = Connect;
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xDestroy = Disconnect;
  m.xOpen = Open;
  m.xClose = Close;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = Column;
  m.xRowid = Rowid;
  return m;
}

const sqlite3_module g_module = MakeModule();

}  // namespace

void RegisterParadoxModule(TSqliteDatabase& db) {
  const int rc = sqlite3_create_module(db.Handle(), kModuleName, &g_module, nullptr);
  if (rc != SQLITE_OK) throw EDatabaseError(Format("Cannot register the Paradox tables with SQLite: %s", sqlite3_errstr(rc)));
}

void AttachParadoxTable(TSqliteDatabase& db, const std::string& name, const std::string& path) {
  std::string literal = "'";
  for (char c : path) literal += c == '\'' ? std::string("''") : std::string(1, c);
  literal += "'";
  db.Exec("CREATE VIRTUAL TABLE temp." + SqliteQuoteIdentifier(name) + " USING " + kModuleName + "(" + literal + ")");
}

}  // namespace kv
