// The dBase engine: dBase III/IV and (Visual) FoxPro tables in a folder
// (data/DbfTable.h reads and writes the files).
//
// TDbfConnection: the folder (Path, see data/FolderTableDataSets.h) and the
// flavour its driver names (DBASE or FOXPRO: the kind of table CreateTable
// makes). The datasets of
// one connection (one thread, see data/Connections.h) that open the same
// table share one open table file, so a job reading and writing one table
// through two datasets sees one set of records; the file is opened for
// writing once (see DbfTable.h for the lock that refuses other writers). Tables are
// found by TableName: a name without an extension gets ".dbf"; when no
// file has the exact name, a file in the folder whose name matches ignoring
// ASCII letter case is taken (tables copied from other systems are often
// upper-case).
//
// TDbfTableDataSet
//   - Records in file order; deleted records are never shown. RecNo is the
//     record's number in the file (deleted ones counted, so numbers may
//     skip) and is also the bookmark; SetRecNo of a deleted or missing
//     record raises. RecordCount counts the records shown.
//   - FieldDefs come from the header (DbfFieldDefOf): DataTypeName is the
//     stored type, "C(20)", "N(10,2)", "L", "D", "M", "I", "B", "T", "Y".
//   - Writes: Append and Insert add the record at the end of the file; Post
//     in edit state rewrites the record in place; Delete marks it deleted.
//     A row whose values do not fit is refused alone (Post raises naming
//     the file, record and field; nothing is written; the dataset stays in
//     insert/edit state). The header's record count is brought up to date
//     every PostRecords writes and when the dataset closes (see DbfTable.h
//     for what a crash can lose).
//   - Locate scans the records; character keys searched exactly are
//     compared as stored bytes, other keys decode only the key fields.
//   - CreateTable makes the file from FieldDefs (DbfFieldSpecOf); tables
//     get the code page set by SetCodePage (default CP1252).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/DbConnection.h"
#include "data/DbfTable.h"
#include "data/FolderTableDataSets.h"
#include "data/SqliteDataSets.h"

namespace kv {

class KVCORE_EXPORT TDbfConnection : public TFolderTableConnection {
public:
  // EDatabaseError when `folder` is empty or no folder.
  TDbfConnection(std::string folder, dbf::TDbfFlavour flavour);
  dbf::TDbfFlavour Flavour() const { return flavour_; }
  // The open table file at `path`, shared by the datasets of this
  // connection (opened writable when the file may be written, else read
  // only); the caller shares ownership.
  std::shared_ptr<dbf::TDbfTable> OpenTable(const std::string& path) { return open_.Open(path); }

protected:
  // The query database's tables are virtual tables of data/DbfSqliteModule.h.
  void RegisterModule(TSqliteDatabase& db) override;
  void AttachTable(TSqliteDatabase& db, const std::string& name, const std::string& path) override;

private:
  dbf::TDbfFlavour flavour_;
  TOpenFolderTables<dbf::TDbfTable> open_;
};

// ---- Type mapping (documented in docs/datasets.md) ----
// The field definition of a stored field.
KVCORE_EXPORT TFieldDef DbfFieldDefOf(const dbf::TDbfField& field, int fieldNo);
// The stored field a definition creates: its DataTypeName when that is a
// stored type the flavour has ("N(10,2)"), else one derived from DataType.
// EDatabaseError naming the field for a type the flavour cannot store.
KVCORE_EXPORT dbf::TDbfFieldSpec DbfFieldSpecOf(const TFieldDef& def, dbf::TDbfFlavour flavour);

// The connection, table name, PostRecords, TableExists, Commit, Table and
// the published "TableName" are those of TFolderTableDataSet.
class KVCORE_EXPORT TDbfTableDataSet : public TFolderTableDataSet<TDbfConnection, dbf::TDbfTable> {
  KV_CLASS(TDbfTableDataSet, TDataSet)
public:
  TDbfTableDataSet();
  ~TDbfTableDataSet() override;

  // The code page of tables CreateTable makes ("CP936", "GBK", "CP850", ...);
  // EDatabaseError when no language byte names it.
  void SetCodePage(const std::string& codePage);
  // Creates the table file from FieldDefs() when it does not exist; true when created.
  bool CreateTable();
  // Removes every record (zap): the record count first, then the files shrink.
  void EmptyTable();

protected:
  void InternalOpen() override;
  void InternalClose() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  int InternalRecordCount() override;
  void InternalSetRecNo(int value) override;
  bool InternalCanModify() const override { return writable_; }
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalDelete() override;
  bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                      TLocateOptions options) override;
  // Records marked deleted are not shown.
  bool IsShown(uint32_t recNo) const override;

private:
  // The next (forward) or previous shown record after `from`; 0 when none.
  uint32_t Visible(uint32_t from, bool forward);

  uint8_t language_;
  bool writable_ = false;
};

// The rows of one read-only SQL statement over the tables of a folder:
// the SQLite query dataset on the connection's query database
// (TDbfConnection::QueryConnection). The statement sees the tables as they
// are when it runs.
class KVCORE_EXPORT TDbfQueryDataSet : public TSqliteQueryDataSet {
  KV_CLASS(TDbfQueryDataSet, TSqliteQueryDataSet)
public:
  // Setting the connection closes the dataset first.
  void SetDbfConnection(std::shared_ptr<TDbfConnection> connection);
  const std::shared_ptr<TDbfConnection>& DbfConnection() const { return dbf_; }

protected:
  // Brings the query database up to date with the folder, then runs the
  // statement; a table left out names the reason.
  void InternalOpen() override;

private:
  std::shared_ptr<TDbfConnection> dbf_;
};

}  // namespace kv
