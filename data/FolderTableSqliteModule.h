// The tables of a folder seen by SQLite: one virtual-table module shape
// shared by the file-table engines (data/DbfSqliteModule.h,
// data/ParadoxSqliteModule.h), each naming its module and opening its
// files through a TFolderTableReader.
//
// The tables are read-only to SQLite (an INSERT, UPDATE or DELETE on one is
// refused by SQLite); every statement opens the file afresh and scans it in
// record order, leaving out the records the reader does not show; SQLite
// filters, joins and sorts (no index is offered). Values: integers,
// floats, booleans (0/1) and text as they are, text of a BLOB column as a
// blob, dates and times as the reader's text. A value the reader cannot
// read fails the statement with the reader's message.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "KVCore_export.h"
#include "data/SqliteDatabase.h"
#include "data/Variant.h"

namespace kv {

// One table file opened read only for one statement (or to declare the
// columns). Any method may throw; the message reaches the statement.
class KVCORE_EXPORT TFolderTableReader {
public:
  virtual ~TFolderTableReader() = default;
  virtual size_t FieldCount() const = 0;
  virtual std::string FieldName(size_t index) const = 0;
  // The column type declared to SQLite: "INTEGER", "REAL", "TEXT",
  // "BOOLEAN", "DATE", "TIME", "DATETIME" or "BLOB".
  virtual const char* DeclaredType(size_t index) const = 0;
  virtual uint32_t RecordCount() const = 0;
  // False for a record (1..RecordCount()) statements leave out.
  virtual bool Shown(uint32_t recNo) = 0;
  // The value of field `index` of record `recNo` (a shown one).
  virtual TVariant Value(size_t index, uint32_t recNo) = 0;
  // The text SQLite gets for the date/time value `value` of field `index`.
  virtual std::string DateTimeText(size_t index, const TVariant& value) const = 0;
};

// The reader over a table class with Fields() (each with .name),
// RecordCount(), Record(recNo) and Value(record, index, recNo); the engine
// adds what differs.
template <class TTable>
class TFolderTableReaderOf : public TFolderTableReader {
public:
  explicit TFolderTableReaderOf(std::unique_ptr<TTable> table) : table_(std::move(table)) {}
  size_t FieldCount() const override { return table_->Fields().size(); }
  std::string FieldName(size_t index) const override { return table_->Fields()[index].name; }
  uint32_t RecordCount() const override { return table_->RecordCount(); }
  TVariant Value(size_t index, uint32_t recNo) override {
    return table_->Value(table_->Record(recNo), index, recNo);
  }

protected:
  TTable& Table() const { return *table_; }

private:
  std::unique_ptr<TTable> table_;
};

// What a module is: static data that outlives every database it is
// registered on.
struct TFolderTableModule {
  const char* name;  // the SQLite module name ("dbf")
  const char* kind;  // the engine in errors ("dBase")
  // Opens the table file `path` read only; throws the engine's error when
  // it does not open as a table. Never null.
  std::unique_ptr<TFolderTableReader> (*open)(const std::string& path);
};

// Registers `module` on `db` (once per database connection).
// EDatabaseError naming the engine when SQLite refuses.
KVCORE_EXPORT void RegisterFolderTableModule(TSqliteDatabase& db, const TFolderTableModule& module);
// Makes the table file `path` the virtual table `name` (in schema temp) of
// `db`, on which `module` is registered. EDatabaseError when the file does
// not open as a table.
KVCORE_EXPORT void AttachFolderTable(TSqliteDatabase& db, const TFolderTableModule& module, const std::string& name,
                                     const std::string& path);

}  // namespace kv
