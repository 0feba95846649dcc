#include "data/FolderTableSqliteModule.h"

#include <sqlite3.h>

#include <cstring>
#include <memory>

#include "foundation/Format.h"

namespace kv {

namespace {

struct TFolderVTab {
  sqlite3_vtab base{};  // first: SQLite sees this struct as a sqlite3_vtab
  const TFolderTableModule* module = nullptr;
  std::string path;
};

struct TFolderCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<TFolderTableReader> reader;
  uint32_t recNo = 0;  // RecordCount() + 1 at the end
};

void SetError(sqlite3_vtab* vtab, const std::string& message) {
  sqlite3_free(vtab->zErrMsg);
  vtab->zErrMsg = sqlite3_mprintf("%s", message.c_str());
}

std::string Schema(const TFolderTableReader& reader) {
  std::string schema = "CREATE TABLE x(";
  for (size_t i = 0; i < reader.FieldCount(); ++i)
    schema += (i ? ", " : "") + SqliteQuoteIdentifier(reader.FieldName(i)) + " " + reader.DeclaredType(i);
  return schema + ")";
}

// xCreate and xConnect: `aux` is the module, argv[3] the table file's path, quoted.
int Connect(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  const auto* module = static_cast<const TFolderTableModule*>(aux);
  if (argc < 4) {
    *error = sqlite3_mprintf("the %s module needs the table file: USING %s('path')", module->name, module->name);
    return SQLITE_ERROR;
  }
  std::string path = argv[3];
  if (path.size() >= 2 && (path.front() == '\'' || path.front() == '"')) path = path.substr(1, path.size() - 2);
  try {
    const int rc = sqlite3_declare_vtab(db, Schema(*module->open(path)).c_str());
    if (rc != SQLITE_OK) {
      *error = sqlite3_mprintf("%s", sqlite3_errmsg(db));
      return rc;
    }
    auto* vtab = new TFolderVTab();
    vtab->module = module;
    vtab->path = path;
    *out = &vtab->base;
    return SQLITE_OK;
  } catch (const std::exception& e) {
    *error = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
}

int Disconnect(sqlite3_vtab* vtab) {
  delete reinterpret_cast<TFolderVTab*>(vtab);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  info->estimatedCost = 1e6;  // a full scan; SQLite applies every constraint itself
  return SQLITE_OK;
}

int Open(sqlite3_vtab* base, sqlite3_vtab_cursor** out) {
  auto* vtab = reinterpret_cast<TFolderVTab*>(base);
  auto cursor = std::make_unique<TFolderCursor>();
  try {
    cursor->reader = vtab->module->open(vtab->path);
  } catch (const std::exception& e) {
    SetError(base, e.what());
    return SQLITE_ERROR;
  }
  *out = &cursor.release()->base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
  delete reinterpret_cast<TFolderCursor*>(cursor);
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<TFolderCursor*>(base);
  try {
    do {
      ++c->recNo;
    } while (c->recNo <= c->reader->RecordCount() && !c->reader->Shown(c->recNo));
  } catch (const std::exception& e) {
    SetError(base->pVtab, e.what());
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
  reinterpret_cast<TFolderCursor*>(base)->recNo = 0;
  return Next(base);
}

int Eof(sqlite3_vtab_cursor* base) {
  auto* c = reinterpret_cast<TFolderCursor*>(base);
  return c->recNo > c->reader->RecordCount();
}

void ResultText(sqlite3_context* ctx, const std::string& text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Result(sqlite3_context* ctx, const TFolderTableReader& reader, size_t index, const TVariant& v) {
  switch (v.Type()) {
    case varInteger: sqlite3_result_int64(ctx, v.RawInteger()); break;
    case varFloat: sqlite3_result_double(ctx, v.RawFloat()); break;
    case varBoolean: sqlite3_result_int(ctx, v.RawBoolean() ? 1 : 0); break;
    case varString:
      if (std::strcmp(reader.DeclaredType(index), "BLOB") == 0)
        sqlite3_result_blob(ctx, v.RawString().data(), static_cast<int>(v.RawString().size()), SQLITE_TRANSIENT);
      else
        ResultText(ctx, v.RawString());
      break;
    case varDateTime: ResultText(ctx, reader.DateTimeText(index, v)); break;
    default: sqlite3_result_null(ctx); break;
  }
}

int Column(sqlite3_vtab_cursor* base, sqlite3_context* ctx, int column) {
  auto* c = reinterpret_cast<TFolderCursor*>(base);
  try {
    const size_t index = static_cast<size_t>(column);
    Result(ctx, *c->reader, index, c->reader->Value(index, c->recNo));
  } catch (const std::exception& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
  return SQLITE_OK;
}

int Rowid(sqlite3_vtab_cursor* base, sqlite3_int64* rowid) {
  *rowid = reinterpret_cast<TFolderCursor*>(base)->recNo;
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

void RegisterFolderTableModule(TSqliteDatabase& db, const TFolderTableModule& module) {
  const int rc = sqlite3_create_module(db.Handle(), module.name, &g_module, const_cast<TFolderTableModule*>(&module));
  if (rc != SQLITE_OK)
    throw EDatabaseError(Format("Cannot register the %s tables with SQLite: %s", module.kind, sqlite3_errstr(rc)));
}

void AttachFolderTable(TSqliteDatabase& db, const TFolderTableModule& module, const std::string& name,
                       const std::string& path) {
  std::string literal = "'";
  for (char c : path) literal += c == '\'' ? std::string("''") : std::string(1, c);
  literal += "'";
  db.Exec("CREATE VIRTUAL TABLE temp." + SqliteQuoteIdentifier(name) + " USING " + module.name + "(" + literal + ")");
}

}  // namespace kv
