// The Paradox engine: Paradox tables (.db, versions 3.0 to 7) in a folder
// (data/ParadoxTable.h reads and writes the files).
//
// TParadoxConnection: the folder (Path, see data/FolderTableDataSets.h). The datasets of one connection
// (one thread, see data/Connections.h) that open the same table share one
// open table file, so a job reading and writing one table through two
// datasets sees one set of records. Tables are found by TableName: a name
// without an extension gets ".db"; when no file has the exact name, a file
// in the folder whose name matches ignoring ASCII letter case is taken.
//
// TParadoxTableDataSet
//   - Records in file (block chain) order. RecNo is the record's position
//     and is also the bookmark; deleting a record moves the later ones up
//     by one.
//   - FieldDefs come from the header (ParadoxFieldDefOf): DataTypeName is
//     the stored type, "A20", "N", "$", "M20", "#2", ... IndexDefs hold the
//     primary key of a keyed table.
//   - Writes: Append and Insert add the record at the end; Post in edit
//     state rewrites the record in place; Delete removes it. A row whose
//     values do not fit is refused alone (Post raises naming the file,
//     record and field; nothing is written). The header is brought up to
//     date every PostRecords writes and when the dataset closes.
//   - A keyed table keeps its records in key order: Append, Insert and an
//     edit of the key put the record at its key's place (the dataset moves
//     with it); a key that is there already is refused naming the key. The
//     .px is rebuilt when the header is brought up to date. A keyed table
//     whose index cannot be kept (see data/ParadoxTable.h) is read-only: a
//     write raises an error saying why.
//   - Locate by exactly the primary key fields (in order, no Null, exact
//     match) searches the key order; any other Locate scans the records,
//     decoding the fields it compares.
//   - CreateTable makes the table from FieldDefs (ParadoxFieldSpecOf),
//     keyed when IndexDefs hold a primary index (ixPrimary): its fields must
//     be the first FieldDefs in order, else EDatabaseError naming them;
//     other indexes are not made. Tables get the code page set by
//     SetCodePage (default 1252).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/DbConnection.h"
#include "data/FolderTableDataSets.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "data/SqliteDataSets.h"

namespace kv {

class KVCORE_EXPORT TParadoxConnection : public TFolderTableConnection {
public:
  // EDatabaseError when `folder` is empty or no folder.
  explicit TParadoxConnection(std::string folder);
  // The open table file at `path`, shared by the datasets of this
  // connection (asked writable when the file may be written); the caller
  // shares ownership.
  std::shared_ptr<px::TParadoxTable> OpenTable(const std::string& path) { return open_.Open(path); }

protected:
  // The query database's tables are virtual tables of data/ParadoxSqliteModule.h.
  void RegisterModule(TSqliteDatabase& db) override;
  void AttachTable(TSqliteDatabase& db, const std::string& name, const std::string& path) override;

private:
  TOpenFolderTables<px::TParadoxTable> open_;
};

// ---- Type mapping (documented in docs/datasets.md) ----
KVCORE_EXPORT TFieldDef ParadoxFieldDefOf(const px::TParadoxField& field, int fieldNo);
// The stored field a definition creates: its DataTypeName when that names
// a Paradox type ("A20", "N", "#2"), else one derived from DataType.
// EDatabaseError naming the field for a type Paradox cannot store.
KVCORE_EXPORT px::TParadoxFieldSpec ParadoxFieldSpecOf(const TFieldDef& def);

// The connection, table name, PostRecords, TableExists, Commit, Table and
// the published "TableName" are those of TFolderTableDataSet.
class KVCORE_EXPORT TParadoxTableDataSet : public TFolderTableDataSet<TParadoxConnection, px::TParadoxTable> {
  KV_CLASS(TParadoxTableDataSet, TDataSet)
public:
  TParadoxTableDataSet() : TFolderTableDataSet("Paradox") {}
  ~TParadoxTableDataSet() override;

  // The code page of tables CreateTable makes ("CP936", "GBK", "1252", ...);
  // EDatabaseError when the name is no code page this system converts.
  void SetCodePage(const std::string& codePage);
  // Creates the table file from FieldDefs() when it does not exist; true when created.
  bool CreateTable();
  // Removes every record.
  void EmptyTable();
  // The fields of the primary index in IndexDefs (0: none); EDatabaseError
  // when they are not the leading FieldDefs.
  size_t KeyFieldCount() const;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  int InternalRecordCount() override;
  void InternalSetRecNo(int value) override;
  // A keyed table also "can" be modified, so that a write names why it cannot.
  bool InternalCanModify() const override { return table_ && (table_->Writable() || !table_->ReadOnlyReason().empty()); }
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalDelete() override;
  // True when a Locate of `values` in `fields` can search the primary key.
  bool LocatesByKey(const std::vector<TField*>& fields, const std::vector<TVariant>& values) const;
  bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                      TLocateOptions options) override;
  // Every record of the chain is shown.
  bool IsShown(uint32_t recNo) const override { return table_ && recNo >= 1 && recNo <= table_->RecordCount(); }

private:
  uint16_t codePage_ = px::kDefaultCodePage;
};

// The rows of one read-only SQL statement over the tables of a folder: the
// SQLite query dataset on the connection's query database. The statement
// sees the tables as they are when it runs.
class KVCORE_EXPORT TParadoxQueryDataSet : public TSqliteQueryDataSet {
  KV_CLASS(TParadoxQueryDataSet, TSqliteQueryDataSet)
public:
  // Setting the connection closes the dataset first.
  void SetParadoxConnection(std::shared_ptr<TParadoxConnection> connection);
  const std::shared_ptr<TParadoxConnection>& ParadoxConnection() const { return px_; }

protected:
  // Brings the query database up to date with the folder, then runs the
  // statement; a table left out names the reason.
  void InternalOpen() override;

private:
  std::shared_ptr<TParadoxConnection> px_;
};

}  // namespace kv
