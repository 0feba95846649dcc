// What the file-table engines (dBase/FoxPro, Paradox) share: a folder whose
// table files are found by name, opened once per connection, and exposed
// to SQL through an in-memory SQLite database of virtual tables.
//
// TFolderTableConnection: the folder (Path) and the engine's own words:
// its kind ("dBase", "Paradox": named in every error) and the extension of
// its table files (".dbf", ".db"). Tables are found by name: a name without
// an extension gets the engine's; when no file has the exact name, a file
// of the folder whose name matches ignoring ASCII letter case is taken.
// The engine adds what opens its table files (OpenTable) and what makes one
// a virtual table (RegisterModule, AttachTable).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DbConnection.h"
#include "data/SqliteDataSets.h"

namespace kv {

class KVCORE_EXPORT TFolderTableConnection : public TDbConnection {
public:
  std::string Describe() const override { return folder_; }
  const std::string& Folder() const { return folder_; }
  // The file of table `tableName` (see above); the exact path (with the
  // extension added when the name has none) when none exists.
  // EDatabaseError when the name is empty or names another folder.
  std::string TablePath(const std::string& tableName) const;
  // The table files (the extension in any letter case) of the folder, sorted.
  std::vector<std::string> TableFiles() const;

  // The in-memory SQLite database the folder's queries run in: each table
  // file is a virtual table named after the file without its extension (of
  // names equal but for letter case, the first in byte order). Made at the
  // first call; files that appeared since are added at each call. A file
  // that does not open as a table is left out and its error kept
  // (QueryTableError).
  std::shared_ptr<TSqliteConnection> QueryConnection();
  // Why the table `name` (any letter case) is not in the query database;
  // "" when it is or no file has that name.
  std::string QueryTableError(const std::string& name) const;

protected:
  // EDatabaseError when `folder` is empty or no folder. `kind` and
  // `extension` are string literals (kept by pointer).
  TFolderTableConnection(std::string folder, const char* kind, const char* extension);
  // Registers the engine's virtual-table module on `db` (once per database).
  virtual void RegisterModule(TSqliteDatabase& db) = 0;
  // Makes the file `path` the virtual table `name` of `db`; EDatabaseError
  // (the engine's own message) when it does not open as a table.
  virtual void AttachTable(TSqliteDatabase& db, const std::string& name, const std::string& path) = 0;

private:
  std::string folder_;
  const char* kind_;
  const char* extension_;
  std::shared_ptr<TSqliteConnection> sqlite_;
  std::map<std::string, std::string> attached_;  // upper-cased table name -> error ("" when attached)
};

// True when the file at `path` may be written by this process.
KVCORE_EXPORT bool FolderTableWritable(const std::string& path);

// The open table files of one connection, by path: a table asked for again
// while a dataset holds it is the same object. TTable::Open(path, writable)
// returns a pointer that converts to std::shared_ptr<TTable>.
template <class TTable>
class TOpenFolderTables {
public:
  // The open table file at `path` (opened writable when the file may be
  // written, else read only); the caller shares ownership.
  std::shared_ptr<TTable> Open(const std::string& path) {
    auto& slot = open_[path];
    if (auto table = slot.lock()) return table;
    std::shared_ptr<TTable> table = TTable::Open(path, FolderTableWritable(path));
    slot = table;
    return table;
  }

private:
  std::map<std::string, std::weak_ptr<TTable>> open_;
};

// Runs `open` (the SQLite query dataset's own open) for a query over
// `folder`'s tables and rewrites its errors: "no such table: NAME" for a
// file that is there but did not open says why, and a message naming the
// in-memory database names the folder instead. Other errors pass as they are.
KVCORE_EXPORT void OpenFolderQuery(const TFolderTableConnection& folder, const std::function<void()>& open);

}  // namespace kv
