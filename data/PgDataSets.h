// The native PostgreSQL engines: a table as an editable dataset and the
// result of a statement as a read-only one, both on a shared TPgConnection
// (which must be set before Open: opening without one raises EDatabaseError).
//
// TPgTableDataSet
//   - TableName may be "schema.table"; each part is looked up as written
//     (quoted) and, when no such table exists, folded to lower case as
//     PostgreSQL folds unquoted names.
//   - Rows in primary-key order. Reading streams: rows are read in batches
//     of a few hundred by key ("WHERE (key) > (last) ORDER BY key LIMIT n"),
//     so memory stays flat whatever the table's size and no statement stays
//     open on the connection between two moves: a source and a destination
//     sharing the connection (one database, one thread) read and write in
//     turn. Next, Prior, First, Last, bookmarks and RecNo reposition by key,
//     also after writes made meanwhile. A bookmark is a number standing for
//     the key values of the row; RecNo counts the keys up to the row.
//   - A table without a primary key is read in physical order (by ctid,
//     page range by page range, so each read costs what it covers) and
//     can be appended to, but Edit and Delete raise: without a key no
//     row can be named safely (a ctid changes when the row is updated).
//   - FieldDefs/IndexDefs come from the catalog (PgFieldDefOf below);
//     DataTypeName is the server's name of the type ("character
//     varying(20)", "numeric(10,2)"); a NOT NULL column without a default is
//     required; the primary key's index has ixPrimary. RecordCount is
//     counted at open and kept by this dataset's appends and deletes.
//   - Appends (Append or Insert and Post) are buffered and sent with
//     COPY ... FROM STDIN, one COPY per PostRecords rows (5000 when
//     PostRecords <= 0), each followed by the commit the PostRecords count
//     asks for. A batch the server refuses is undone and sent again row by
//     row, each INSERT in a savepoint: the good rows land, and each refused
//     row goes to OnRefusedRow with the server's message (without a
//     handler, the flush raises one EDatabaseError naming the refused rows
//     after the others landed). The buffer is sent before any other
//     operation (moves, locate, edit, delete, RecordCount reads, commit and
//     close), so the dataset never shows rows the server has not seen.
//     Right after an append the dataset stands on the appended row as
//     posted; moving from it positions by its key (at the end when the key
//     came from a column default).
//   - Edit posts a prepared UPDATE by the primary key and Delete a prepared
//     DELETE; each runs in a savepoint inside the connection's write
//     transaction (committed every PostRecords writes and on close), so a
//     refused row fails alone: Post raises with the server's message and
//     the dataset stays in edit state.
//   - Locate runs a prepared SELECT of the first matching row in key order;
//     a searched value that does not convert to the field's kind matches
//     nothing.
//
// TPgQueryDataSet: the rows of one statement, forward only
// (IsUniDirectional). A statement that reads rows (SELECT, WITH, VALUES,
// TABLE) is read through a cursor WITH HOLD in batches (memory flat; the
// cursor survives the commits of a destination on the same connection --
// at the first such commit the server sets the rest of the result aside
// in its own temporary storage);
// any other statement runs once and its result, if any, is the rows. First
// runs the statement again, except right after Open or while still on the
// first row with nothing read beyond it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/PgConnection.h"

namespace kv {

// ---- Type mapping (documented in docs/datasets.md) ----
// The field type, size and precision of a column of the type `typeOid`
// with modifier `typmod`; DataTypeName is set to `typeName` (the server's
// format_type text).
KVCORE_EXPORT TFieldDef PgFieldDefOf(const std::string& name, uint32_t typeOid, int32_t typmod,
                                     const std::string& typeName);
// The type a CREATE TABLE gives a field definition: its DataTypeName when
// that is a PostgreSQL type name meaning exactly the same type, size and
// precision, else one derived from DataType.
KVCORE_EXPORT std::string PgDeclaredTypeOf(const TFieldDef& def);
// A value in PostgreSQL's text form for a field of `type` (nullopt for
// Null and unassigned).
KVCORE_EXPORT std::optional<std::string> PgTextOf(TFieldType type, const TVariant& value);
// `text` in COPY's text format (backslash, LF, CR and TAB escaped), appended to `out`.
KVCORE_EXPORT void AppendPgCopyText(std::string& out, std::string_view text);
// The value's PgTextOf in COPY's text format ("\N" for nullopt), appended
// to `out` without copying texts and numbers on the way.
KVCORE_EXPORT void AppendPgCopyValue(std::string& out, TFieldType type, const TVariant& value);
// COPY's binary format, which spares the server parsing numbers and
// finding field ends: the stream's header (signature, flags, no extension)
// and trailer.
inline constexpr std::string_view kPgBinaryCopyHeader{"PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0", 19};
inline constexpr std::string_view kPgBinaryCopyTrailer{"\377\377", 2};
// Whether AppendPgBinaryValue writes values of columns of the type `typeOid`
// (boolean, smallint, integer, bigint, double precision, text, varchar,
// character, date, timestamp).
KVCORE_EXPORT bool PgBinaryCopyType(uint32_t typeOid);
// The value for a column of the type `typeOid` (field type `type`) in
// COPY's binary format (its length, then its bytes; length -1 for Null and
// unassigned), appended to `out`. False, with nothing appended, when the
// binary form would not store exactly what the text form (PgTextOf) does,
// or could be refused differently: a value of another kind than the
// column's, a number outside a smaller integer's range, a date-time
// without a date or outside the years 1 to 9999. Such a value goes as text.
KVCORE_EXPORT bool AppendPgBinaryValue(std::string& out, uint32_t typeOid, TFieldType type, const TVariant& value);
// A value read in text form as a value of the field's kind; false when it
// does not convert.
KVCORE_EXPORT bool PgValueOf(TFieldType type, uint8_t kind, const std::string& text, TVariant& value);

using TPgRow = std::vector<std::optional<std::string>>;

class KVCORE_EXPORT TPgTableDataSet : public TDataSet {
  KV_CLASS(TPgTableDataSet, TDataSet)
public:
  explicit TPgTableDataSet(std::shared_ptr<TPgConnection> connection = nullptr);
  ~TPgTableDataSet() override;

  // Setting the connection or the table closes the dataset first.
  void SetConnection(std::shared_ptr<TPgConnection> connection);
  const std::shared_ptr<TPgConnection>& Connection() const { return connection_; }
  void SetTableName(const std::string& name);
  const std::string& TableName() const { return tableName_; }
  // Writes between two commits, and rows per COPY (default 100); <= 0: one
  // transaction until close, COPY batches of 10000 rows.
  void SetPostRecords(int32_t writes) { postRecords_ = writes; }
  int32_t PostRecords() const { return postRecords_; }

  // Called for each appended row the server refused (its values in field
  // order, the server's message) once the rows sent with it have landed.
  std::function<void(const std::vector<TVariant>& values, const std::string& message)> OnRefusedRow;
  // Appended rows the server refused since the dataset opened.
  int64_t RefusedRows() const { return refused_; }
  bool AppendsBatched() const override { return true; }
  int64_t AppendsPosted() const override { return appendsPosted_; }
  int64_t PendingAppends() const override { return copyOpen_ ? static_cast<int64_t>(lineStarts_.size()) : 0; }
  // AppendRecords sends its rows with COPY and waits for the server's answer.
  bool AppendRecordsSettle() const override { return true; }
  // Rows of one COPY: PostRecords, at most 10000.
  size_t AppendRecordsBatch() const override;
  // A COPY then takes max(rows, its PostRecords batch) rows; the commit
  // PostRecords asks for comes at a COPY's end, so appends are committed
  // every max(rows, PostRecords) rows.
  // COPY statements sent since the dataset opened, and how many of them in
  // the binary format (AppendRecords sends a batch so when its columns and
  // rows allow).
  int64_t CopyBatches() const { return copies_; }
  int64_t BinaryCopyBatches() const { return binaryCopies_; }

  bool TableExists();
  // Creates the table and its indexes from FieldDefs()/IndexDefs() when it
  // does not exist yet; true when it was created.
  bool CreateTable();
  // Removes every row with one DELETE inside the write transaction; returns how many.
  int64_t EmptyTable();
  // Sends buffered appends and commits pending writes now.
  void Commit();
  // Sends the buffered appends (see above for refused rows).
  void FlushAppends();

  // "TableName".
  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  void InternalLast() override;
  TGetResult InternalGetRecord(TGetMode mode) override;
  bool InternalGetFieldValue(const TField& field, TVariant& value) override;
  int InternalRecordCount() override;
  int InternalGetRecNo() override;
  void InternalSetRecNo(int value) override;
  TBookmark InternalGetBookmark() override;
  void InternalGotoBookmark(TBookmark bookmark) override;
  bool InternalCanModify() const override { return true; }
  void InternalInitRecord(std::vector<TVariant>& values) override;
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored) override;
  void InternalDelete() override;
  bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                      TLocateOptions options) override;

private:
  enum class TPos : uint8_t { BeforeFirst, OnRow, AfterLast };
  struct TColumn {
    std::string quoted;
    std::string select;  // the expression read (money as numeric)
    bool hasDefault = false;
    uint32_t typeOid = 0;
  };

  TPgConnection& Conn() const;
  uint32_t FindTable();
  void ReadDefinitions(uint32_t oid);
  std::string SelectList() const;
  TPgRow KeyOf(const TPgRow& row) const;
  // Reads up to `limit` rows whose key compares to `key` by `op` (">", "<",
  // ">=", "=", or "" for all), descending with `desc`.
  std::vector<TPgRow> Fetch(const char* op, const TPgRow& key, bool desc, int limit, int64_t offset = 0);
  // The same for a table without a key: rows after (before, with `desc`)
  // the ctid `after` (none: from the start or the end).
  std::vector<TPgRow> FetchByCtid(const std::optional<std::string>& after, bool desc, int limit);
  int64_t PageCount();
  TGetResult Move(bool forward);
  void StandOn(TPgRow row);
  void RequireKey(const char* what) const;
  std::string KeyWhere(size_t firstParam) const;
  void AppendRow(const std::vector<TVariant>& values);
  // The columns the row of values `value(i)` sets, into rowSets_ (a column
  // with a default whose value is Empty is left out).
  template <class TValueOf>
  void RowSets(const TValueOf& value);
  // rowSets_ become the batch's columns.
  void UseRowSets();
  // One more row of the batch, in COPY's text format.
  template <class TValueOf>
  void EncodeRow(const TValueOf& value);
  // The same in COPY's binary format; false, with nothing added, when a
  // value has no binary form (AppendPgBinaryValue).
  template <class TValueOf>
  bool EncodeBinaryRow(const TValueOf& value);
  // A row after the first of a batch in the batch's format; false, with
  // nothing added, when it has no binary form or cannot be written (it
  // then starts the next batch, where its error is raised).
  template <class TValueOf>
  bool EncodeNextRow(const TValueOf& value, bool binary);
  std::string RowInsertSql() const;
  // `sentValues(i)`: the values of row i of the batch, as the text format has them.
  void StoreRowByRow(size_t& stored, const std::function<TPgRow(size_t)>& sentValues);
  // Called while handling the error of a refused COPY (a bare throw raises it again).
  void UndoCopy(bool ownedTransaction);
  void BatchStored(size_t rows, TPgRow last);
  void StartCopy();
  // The values of line `i` of the batch: as sent (the columns set), or as
  // the dataset's row (ctid unknown, columns left to their default Null).
  TPgRow LineValues(size_t i) const;
  TPgRow LineRow(size_t i) const;
  // The dataset's row of the values a batch row sent.
  TPgRow RowOfSent(const TPgRow& sent) const;
  void InsertRowByRow(std::vector<std::pair<size_t, std::string>>& refused);
  void ReportRefused(const std::vector<std::pair<size_t, std::string>>& refused);

  std::shared_ptr<TPgConnection> connection_;
  std::string tableName_;
  std::string quotedTable_;
  uint32_t tableOid_ = 0;
  int32_t postRecords_ = 100;
  std::vector<TColumn> columns_;
  std::vector<size_t> keyColumns_;  // primary-key columns; empty: ordered by ctid
  std::vector<TPgRow> window_;      // rows read in one direction, the current one at windowAt_
  size_t windowAt_ = 0;
  bool windowForward_ = true;
  uint64_t windowGeneration_ = 0;
  TPos pos_ = TPos::BeforeFirst;
  TPgRow current_;                  // ctid then the columns, as text
  bool currentPosted_ = false;      // appended and not read back: no ctid, key maybe unknown
  std::vector<TPgRow> bookmarks_;   // key values by bookmark
  int64_t recNo_ = 0;               // 0: not known yet
  int64_t recordCount_ = 0;
  bool copyOpen_ = false;           // a COPY of this dataset is open on the connection
  bool copyOwnsTransaction_ = false;  // the COPY began the transaction (no savepoint around it)
  std::vector<bool> batchSets_;     // the columns the rows of the batch set (the others take their default)
  bool batchBinary_ = false;        // all of them have a binary COPY form
  std::vector<bool> rowSets_;       // the columns one row sets (reused)
  std::string batchColumns_;        // the same, as SQL text
  std::string copyData_;            // the batch's rows as sent, kept until the server accepts them
  std::vector<size_t> lineStarts_;  // where each row of the batch begins in copyData_
  size_t sentBytes_ = 0;            // copyData_ handed to the connection so far
  int64_t refused_ = 0;
  int64_t appendsPosted_ = 0;  // rows appended and posted since the open
  int64_t copies_ = 0;
  int64_t binaryCopies_ = 0;
  int commitHook_ = 0;
  bool wrote_ = false;
};

class KVCORE_EXPORT TPgQueryDataSet : public TDataSet {
  KV_CLASS(TPgQueryDataSet, TDataSet)
public:
  explicit TPgQueryDataSet(std::shared_ptr<TPgConnection> connection = nullptr);
  ~TPgQueryDataSet() override;

  void SetConnection(std::shared_ptr<TPgConnection> connection);
  const std::shared_ptr<TPgConnection>& Connection() const { return connection_; }
  void SetSQL(const std::string& sql);
  const std::string& SQL() const { return sql_; }
  // How many times the statement was run since the dataset was made.
  int64_t ExecutionCount() const { return executions_; }
  // The rows a statement that returns none inserted, updated or deleted
  // (-1 for a statement that reads rows).
  int64_t ChangedRows() const { return changed_; }

  bool IsUniDirectional() const override { return true; }
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
  void CloseCursor();
  bool FetchBatch();

  std::shared_ptr<TPgConnection> connection_;
  std::string sql_;
  std::string cursor_;  // empty: the whole result came at once
  TPgResult batch_;
  int at_ = -1;         // the current row in batch_
  bool done_ = false;   // the cursor has no more rows
  bool firstBatch_ = true;
  int64_t rowNo_ = 0;
  int64_t executions_ = 0;
  int64_t changed_ = -1;
  TPgRow last_;         // the current row, kept once the batches have gone past it
};

}  // namespace kv
