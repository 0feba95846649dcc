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
//
// TFolderTableDataSet: the plumbing of a dataset over one table file of
// such a connection (the connection, the table name, the shared open table,
// the record cursor by record number, header updates every PostRecords
// writes); the engine adds opening, moving between the records it shows,
// and writing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/DbConnection.h"
#include "data/SqliteDataSets.h"
#include "foundation/Format.h"

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
// True when a file `path` exists.
KVCORE_EXPORT bool FolderTableExists(const std::string& path);

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

// A dataset over one table of a TConnection (a TFolderTableConnection with
// OpenTable(path) -> std::shared_ptr<TTable>). TTable has Path(),
// RecordCount(), RecordLength(), Record(recNo), Value(record, index,
// recNo), Fields() (each with .type), EncodeRecord and Commit(). Records
// are numbered from 1; the record number is also the bookmark. The
// engine's class is the registered one (KV_CLASS names TDataSet as its
// base) and calls CloseForDestroy in its destructor.
template <class TConnection, class TTable>
class TFolderTableDataSet : public TDataSet {
public:
  // Setting the connection or the table closes the dataset first.
  void SetConnection(std::shared_ptr<TConnection> connection) {
    Close();
    connection_ = std::move(connection);
  }
  const std::shared_ptr<TConnection>& Connection() const { return connection_; }
  void SetTableName(const std::string& name) {
    Close();
    tableName_ = name;
  }
  const std::string& TableName() const { return tableName_; }
  // Writes between two header updates (default 100); <= 0: only at close.
  void SetPostRecords(int32_t writes) { postRecords_ = writes; }
  bool TableExists() const { return FolderTableExists(Path()); }
  // Brings the header up to date now.
  void Commit() {
    if (table_) table_->Commit();
    writes_ = 0;
  }
  // The open table file, shared with the connection's other datasets (null while closed).
  TTable* Table() const { return table_.get(); }

  // "TableName".
  bool GetPublishedString(std::string_view name, std::string& value) const override {
    if (name != "TableName") return TDataSet::GetPublishedString(name, value);
    value = tableName_;
    return true;
  }

protected:
  // `kind` ("dBase"): a string literal naming the engine in errors.
  explicit TFolderTableDataSet(const char* kind) : kind_(kind) {}

  // The table's file; EDatabaseError without a connection or a table name.
  std::string Path() const {
    if (!connection_) throw EDatabaseError(Format("A %s table has no connection", kind_));
    return connection_->TablePath(tableName_);
  }
  // Opens the table file (shared through the connection) and makes
  // FieldDefs from its fields, `defOf(field, fieldNo)` each (fieldNo from
  // 1); IndexDefs are cleared, the cursor is before the first record.
  template <class TDefOf>
  void OpenTableFile(TDefOf defOf) {
    table_ = connection_->OpenTable(Path());
    FieldDefs().Clear();
    int no = 0;
    for (const auto& field : table_->Fields()) FieldDefs().Add(defOf(field, ++no));
    IndexDefs().Clear();
    pos_ = 0;
    writes_ = 0;
  }
  // True when record `recNo` of the open table is one the dataset shows.
  virtual bool IsShown(uint32_t recNo) const = 0;
  // Counts a write; brings the header up to date every PostRecords writes.
  void Wrote() {
    if (postRecords_ > 0 && ++writes_ >= postRecords_) Commit();
  }
  // The record image of an edit of the current record to `values`; a field
  // whose type `keepsBlocks(type)` (a memo or BLOB) holds what it held is
  // left out, so it keeps its blocks. EDatabaseError when the record is gone.
  template <class TKeepsBlocks>
  auto EditedImage(const std::vector<TVariant>& values, TKeepsBlocks keepsBlocks) {
    if (!IsShown(pos_)) throw EDatabaseError(Format("%s: the record being edited is gone", table_->Path()));
    const std::string base(reinterpret_cast<const char*>(table_->Record(pos_)), table_->RecordLength());
    const auto* record = reinterpret_cast<const uint8_t*>(base.data());
    std::vector<TVariant> changed = values;
    for (size_t i = 0; i < changed.size() && i < table_->Fields().size(); ++i)
      if (keepsBlocks(table_->Fields()[i].type) && table_->Value(record, i, pos_) == changed[i]) changed[i] = TVariant();
    return table_->EncodeRecord(changed, record, pos_);
  }

  void InternalFirst() override { pos_ = 0; }
  void InternalLast() override { pos_ = table_->RecordCount() + 1; }
  bool InternalGetFieldValue(const TField& field, TVariant& value) override {
    if (!IsShown(pos_)) {
      value = TVariant::Null();
      return false;
    }
    value = table_->Value(table_->Record(pos_), static_cast<size_t>(field.FieldNo() - 1), pos_);
    return !value.IsNull();
  }
  int InternalGetRecNo() override { return IsShown(pos_) ? static_cast<int>(pos_) : -1; }
  TBookmark InternalGetBookmark() override { return IsShown(pos_) ? pos_ : kNoBookmark; }
  void InternalGotoBookmark(TBookmark bookmark) override {
    if (bookmark < 1 || bookmark > UINT32_MAX || !IsShown(static_cast<uint32_t>(bookmark)))
      throw EDatabaseError("Bookmark not found");
    pos_ = static_cast<uint32_t>(bookmark);
  }

  std::shared_ptr<TConnection> connection_;
  std::string tableName_;
  int32_t postRecords_ = 100;
  std::shared_ptr<TTable> table_;
  uint32_t pos_ = 0;    // current record number; 0 before the first, count + 1 after the last
  int32_t writes_ = 0;  // since the last header update

private:
  const char* kind_;
};

// Runs `open` (the SQLite query dataset's own open) for a query over
// `folder`'s tables and rewrites its errors: "no such table: NAME" for a
// file that is there but did not open says why, and a message naming the
// in-memory database names the folder instead. Other errors pass as they are.
KVCORE_EXPORT void OpenFolderQuery(const TFolderTableConnection& folder, const std::function<void()>& open);

}  // namespace kv
