// The SQLite engines: a table as an editable dataset and the result of a
// SELECT as a read-only one, both on a shared TSqliteConnection (which must
// be set before Open: opening without one raises EDatabaseError).
//
// TSqliteTableDataSet
//   - Rows in rowid order; the rowid is the bookmark. Reading streams: one
//     row at a time is read from SQLite, whatever the table's size; Next,
//     Prior, First, Last, bookmarks and RecNo reposition by rowid, also
//     after writes made meanwhile. Tables without a rowid (WITHOUT ROWID,
//     views) are refused: open them with a query.
//   - FieldDefs/IndexDefs come from the catalog (SqliteFieldDefOf below);
//     a NOT NULL column without a default is required; the primary key is
//     the primary index. RecordCount is counted at open and kept by this
//     dataset's appends and deletes (writes of other connections are not).
//   - Values are converted to the field's kind when read. A value that
//     does not convert without loss (a TEXT "abc" in an INTEGER column, a
//     REAL 2.5 in one, a BLOB in a DATE column) raises EDatabaseError naming
//     the table, column and rowid; a column without a declared type
//     (ftVariant) reads every value as stored.
//   - Writes: Post runs a prepared INSERT (columns with a default that were
//     never set are left out, so the default applies) or `UPDATE ... WHERE
//     rowid=?`; Delete deletes by rowid. Insert places the new row where its
//     rowid puts it, as Append does. All writes go into the connection's
//     write transaction (TSqliteConnection), committed every PostRecords
//     writes and when the dataset closes. A row the database refuses fails
//     alone: Post raises with SQLite's message and the dataset stays in
//     insert/edit state (Cancel drops it).
//   - Locate runs a prepared `SELECT rowid ... WHERE ... ORDER BY rowid
//     LIMIT 1` (one per key-field list and options), never a walk, and
//     stands on the row it returns; the row's values are read when a field
//     is (a located row that is only changed is never read).
//
// TSqliteQueryDataSet: the rows of one read-only statement, forward only
// (IsUniDirectional): First runs the statement again, except right after
// Open or while still on the first row with nothing read beyond it.
//
// Ownership: a dataset shares its connection (the connection lives while
// any dataset holds it); the statements a dataset prepares are its own and
// go when it closes or its connection or table changes. Close a writing
// dataset explicitly: the destructor commits too, but cannot report a
// failing commit.
#pragma once

#include <cstdint>
#include <map>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/SqliteConnection.h"

namespace kv {

// ---- Type mapping (documented in docs/datasets.md) ----
// The field type, size and precision that a declared column type means
// (SQLite's affinity rules, refined by well-known names); DataTypeName is
// set to `declared`.
KVCORE_EXPORT TFieldDef SqliteFieldDefOf(const std::string& name, const std::string& declared);
// The declared type a CREATE TABLE gives a field definition: its
// DataTypeName when that is a plain type name meaning exactly the same
// type, size and precision, else one derived from DataType ("" for
// ftVariant/ftUnknown: a column without a type).
KVCORE_EXPORT std::string SqliteDeclaredTypeOf(const TFieldDef& def);

class KVCORE_EXPORT TSqliteTableDataSet : public TDataSet {
  KV_CLASS(TSqliteTableDataSet, TDataSet)
public:
  explicit TSqliteTableDataSet(std::shared_ptr<TSqliteConnection> connection = nullptr);
  ~TSqliteTableDataSet() override;

  // Setting the connection or the table closes the dataset first.
  void SetConnection(std::shared_ptr<TSqliteConnection> connection);
  const std::shared_ptr<TSqliteConnection>& Connection() const { return connection_; }
  void SetTableName(const std::string& name);
  const std::string& TableName() const { return tableName_; }
  // Writes between two commits (default 100); <= 0: one transaction until close.
  void SetPostRecords(int32_t writes) { postRecords_ = writes; }
  int32_t PostRecords() const { return postRecords_; }

  bool TableExists();
  // Creates the table and its indexes from FieldDefs()/IndexDefs() in one
  // step when the table does not exist yet; true when it was created.
  bool CreateTable();
  // Removes every row with one statement inside the write transaction
  // (committed at once when the dataset is closed); returns how many.
  int64_t EmptyTable();
  // Commits pending writes now.
  void Commit();

  // "TableName".
  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  bool InternalGetFieldValue(const TField& field, TVariant& value) override;
  bool InternalGetFieldText(const TField& field, std::string_view& text) override;
  int InternalRecordCount() override;
  int InternalGetRecNo() override;
  void InternalSetRecNo(int value) override;
  TBookmark InternalGetBookmark() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  bool InternalCanModify() const override;
  void InternalInitRecord(std::vector<TVariant>& values) override;
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalAppendValues(const TVariant* const* values) override;
  void InternalUpdateValues(const TVariant* const* values) override;
  void InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored) override;
  void InternalDelete() override;
  bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                      TLocateOptions options) override;

private:
  enum class TPos : uint8_t { BeforeFirst, OnRow, AfterLast };
  struct TColumn {
    std::string quoted;    // the name as SQL text
    bool hasDefault = false;
    bool blob = false;     // bound as a BLOB (binary field types)
  };

  TSqliteConnection& Conn() const;
  std::string QuotedTable() const;
  void ReadDefinitions();
  void PrepareCursor();
  void ReleaseStatements();
  // The statement in `slot`, prepared from `sql()` the first time (the text is built only then).
  TSqliteStatement& Prepared(std::unique_ptr<TSqliteStatement>& slot, const std::function<std::string()>& sql);
  // Steps `st` (bound to a rowid bound) and stands on its row: true when there was one.
  bool StepTo(TSqliteStatement& st);
  bool Seek(int64_t rowid);
  // The statement standing on the current row (positioned again when needed); null when the row is gone.
  TSqliteStatement* CurrentRow();
  // Resets the statement standing on the current row (it keeps a read snapshot open) and forgets it.
  void LeaveRow();
  TGetResult Move(bool forward);
  // Runs one write inside the connection's transaction; true when the
  // statement returned a row, whose first column goes to `returned`.
  bool RunWrite(TSqliteStatement& st, int64_t& returned);
  // The insert of the columns `value(i)` sets (a column with a default that is Empty is left out).
  template <class TValueOf>
  TSqliteStatement& InsertStatement(const TValueOf& value);
  // Inserts a row of the column values `value(i)`.
  template <class TValueOf>
  void InsertRow(const TValueOf& value);
  // Updates the current row: column i to *value(i), the columns whose
  // value(i) is null keep theirs (rowid_ follows a changed INTEGER PRIMARY KEY).
  template <class TValueOf>
  void UpdateRow(const TValueOf& value);
  void BindValue(TSqliteStatement& st, int position, size_t column, const TVariant& value);
  [[noreturn]] void RaiseConversion(const TField& field, int storage) const;
  std::string LocateSql(const std::vector<TField*>& fields, TLocateOptions options) const;

  std::shared_ptr<TSqliteConnection> connection_;
  std::string tableName_;
  int32_t postRecords_ = 100;
  std::vector<TColumn> columns_;
  std::string rowidName_;  // "rowid", or "_rowid_"/"oid" when a column is named so
  std::unique_ptr<TSqliteStatement> forward_, backward_, at_, delete_, deleteAll_, count_;
  // Updates by the columns they set (and whether they return a new rowid).
  std::map<std::string, std::unique_ptr<TSqliteStatement>> updates_;
  int rowidColumn_ = -1;  // the column that may be the rowid under another name (INTEGER PRIMARY KEY), or -1
  std::map<std::string, std::unique_ptr<TSqliteStatement>> inserts_;  // by the columns left out
  // Inserts of every column for several rows at once, by row count.
  std::map<size_t, std::unique_ptr<TSqliteStatement>> multiInserts_;
  bool rowsAtOnce_ = true;  // no trigger on the table: several rows may go to one insert
  // Inserts `rows` rows of every column with one statement; false (nothing
  // stored) when SQLite refused one of them.
  bool InsertRowsAtOnce(const TVariant* const* values, size_t rows);
  TSqliteStatement* fullInsert_ = nullptr;  // the insert of every column, once prepared
  bool anyDefault_ = true;                  // some column has a default (known once fullInsert_ is set)
  std::string scratch_;                     // text of a bound date-time
  std::map<std::string, std::unique_ptr<TSqliteStatement>> locates_;   // by key fields and options
  std::string locateKey_;              // the key of the last locate (reused)
  std::vector<TVariant> locateBound_;  // its values as bound (reused)
  TPos pos_ = TPos::BeforeFirst;
  int64_t rowid_ = 0;
  TSqliteStatement* row_ = nullptr;  // standing on the current row at generation rowGeneration_
  uint64_t rowGeneration_ = 0;
  int64_t recNo_ = 0;                // 0: not known yet
  int64_t recordCount_ = 0;
  bool wrote_ = false;
};

class KVCORE_EXPORT TSqliteQueryDataSet : public TDataSet {
  KV_CLASS(TSqliteQueryDataSet, TDataSet)
public:
  explicit TSqliteQueryDataSet(std::shared_ptr<TSqliteConnection> connection = nullptr);
  ~TSqliteQueryDataSet() override;

  // Setting the connection or the statement closes the dataset first.
  void SetConnection(std::shared_ptr<TSqliteConnection> connection);
  const std::shared_ptr<TSqliteConnection>& Connection() const { return connection_; }
  void SetSQL(const std::string& sql);
  const std::string& SQL() const { return sql_; }
  // How many times the statement was run since the dataset was made.
  int64_t ExecutionCount() const { return executions_; }

  bool IsUniDirectional() const override { return true; }
  // "SQL".
  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  bool InternalGetFieldValue(const TField& field, TVariant& value) override;
  int InternalGetRecNo() override;

private:
  void Execute();

  std::shared_ptr<TSqliteConnection> connection_;
  std::string sql_;
  std::unique_ptr<TSqliteStatement> stmt_;
  int64_t executions_ = 0;
  bool pending_ = false;  // the statement stands on a row not handed out yet
  bool onRow_ = false;    // the statement stands on the current row
  bool done_ = false;     // the statement has no more rows
  int64_t rowNo_ = 0;     // rows handed out since the statement ran
  std::vector<TVariant> last_;  // the current row, kept once the statement has gone past it
};

}  // namespace kv
