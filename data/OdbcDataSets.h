// The ODBC engines: a table as an editable dataset and the result of a
// statement as a read-only one, both on a shared TOdbcConnection (set
// before Open: opening without one raises EDatabaseError).
//
// TOdbcTableDataSet
//   - Reading streams forward (IsUniDirectional): one `SELECT <columns>
//     FROM <table>` whose rows are fetched one at a time, so memory stays
//     flat whatever the table's size -- as long as the driver streams too
//     (psqlODBC: UseDeclareFetch=1; the SQLite ODBC driver: StepAPI=1; both
//     set in the test data sources). First runs the select again once rows
//     were read; Prior and Last are refused. No bookmarks; RecNo counts the
//     rows read since the select ran.
//   - FieldDefs come from SQLColumns (DataTypeName = the driver's TYPE_NAME;
//     a column that takes no NULL is required), IndexDefs from
//     SQLPrimaryKeys (the primary index) and SQLStatistics (the others).
//     RecordCount is `select count(*)` at open, kept by this dataset's
//     appends and deletes.
//   - Identifiers are quoted with the server's quote (SQL_IDENTIFIER_QUOTE_CHAR).
//   - Writes run prepared statements: INSERT (a column with a default that
//     was never set is left out, so the default applies), and UPDATE and
//     DELETE of the current row identified by its primary key -- or, for a
//     table without one, by the values of all its columns as they were read
//     (rows equal in every column then change together). A row inserted
//     with a key column left to its server default (a serial) has that key
//     unknown here until the table is read again, so it cannot be changed
//     before; an update or delete that finds no row raises. Writes go into the
//     connection's transaction, committed every PostRecords writes and when
//     the dataset closes. A row the server refuses fails alone: Post raises
//     with the server's message and the dataset stays in insert/edit state.
//   - Appends go in batches where the driver takes parameter arrays
//     (SQL_PARAM_ARRAY_ROW_COUNTS; psqlODBC does): PostRecords rows (at most
//     1000; 1000 when PostRecords <= 0) are sent in one execution inside a
//     savepoint, when the batch is full and before anything else runs on
//     the table (a move, a locate, an edit, a delete, emptying, closing).
//     When the server refuses any row of a batch, the savepoint undoes the
//     batch (a driver that already rolled back past the savepoint on the
//     error -- psqlODBC's statement-level rollback does -- undid it itself;
//     the transaction goes on either way) and its rows are sent again one
//     at a time: the good rows land,
//     each refused row goes to OnRefusedRow with the server's message, and
//     without a handler the send raises one EDatabaseError "the server
//     refused N of M appended rows (the others were stored)" naming up to
//     five. With arrays a refusal therefore surfaces from the call that
//     sent the batch (the Post that filled it, FlushAppends, Close; Close
//     finishes closing first). Without arrays (or savepoints) every append
//     is sent by its own Post, as above.
//   - Locate runs a prepared `SELECT ... WHERE <key> = ?` (`UPPER(c) =
//     UPPER(?)` with loCaseInsensitive; a null key value is `IS NULL`) and
//     stands on the first row found, outside the walk: Next goes on with the
//     walk where it was. A partial-key locate walks the rows instead.
//
// TOdbcQueryDataSet: the rows of one statement, forward only: First runs it
// again, except right after Open or while still on the first row. Field
// definitions come from SQLDescribeCol.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/DataSet.h"
#include "data/OdbcConnection.h"

namespace kv {

// ---- Type mapping (documented in docs/datasets.md) ----
// The field definition an ODBC column type gives (SQL_* type code, the
// driver's type name, column size, decimal digits).
KVCORE_EXPORT TFieldDef OdbcFieldDefOf(const std::string& name, int sqlType, const std::string& typeName,
                                       int64_t size, int digits);
// The column type CREATE TABLE gives a field on the server `dbms` (the
// SQL_DBMS_NAME: "PostgreSQL", "SQLite"; any other server takes the
// PostgreSQL names, which are standard SQL).
KVCORE_EXPORT std::string OdbcColumnType(const std::string& dbms, const TFieldDef& def);
// The statements that create `table` with its columns, primary key and
// other indexes; `quote` writes an identifier as SQL text.
KVCORE_EXPORT std::vector<std::string> OdbcCreateTableStatements(
    const std::string& dbms, const std::function<std::string(const std::string&)>& quote, const std::string& table,
    const TFieldDefs& fields, const TIndexDefs& indexes);

class KVCORE_EXPORT TOdbcTableDataSet : public TDataSet {
  KV_CLASS(TOdbcTableDataSet, TDataSet)
public:
  explicit TOdbcTableDataSet(std::shared_ptr<TOdbcConnection> connection = nullptr);
  ~TOdbcTableDataSet() override;

  // Setting the connection or the table closes the dataset first.
  void SetConnection(std::shared_ptr<TOdbcConnection> connection);
  const std::shared_ptr<TOdbcConnection>& Connection() const { return connection_; }
  void SetTableName(const std::string& name);
  const std::string& TableName() const { return tableName_; }
  // Writes between two commits (default 100); <= 0: one transaction until close.
  void SetPostRecords(int32_t writes) { postRecords_ = writes; }
  int32_t PostRecords() const { return postRecords_; }

  // Appends are sent in batches as parameter arrays where the driver takes
  // them (SQL_PARAM_ARRAY_ROW_COUNTS) -- see the header comment. A refused
  // row of a batch goes here with the server's message; without a
  // handler the flush raises one EDatabaseError naming the refused rows.
  std::function<void(const std::vector<TVariant>& values, const std::string& message)> OnRefusedRow;
  int64_t RefusedRows() const { return refused_; }
  bool AppendsBatched() const override { return BatchLimit() > 1; }
  int64_t AppendsPosted() const override { return appendsPosted_; }
  int64_t PendingAppends() const override { return static_cast<int64_t>(batch_.size()); }
  // Sends the appended rows not sent yet.
  void FlushAppends();

  bool TableExists();
  // Creates the table and its indexes from FieldDefs()/IndexDefs() when it
  // does not exist yet (and commits); true when it was created.
  bool CreateTable();
  // Removes every row with one DELETE inside the write transaction; returns how many.
  int64_t EmptyTable();

  bool IsUniDirectional() const override { return true; }
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
  bool InternalCanModify() const override { return connection_ != nullptr; }
  void InternalInitRecord(std::vector<TVariant>& values) override;
  void InternalPost(const std::vector<TVariant>& values, bool inserting, bool append) override;
  void InternalDelete() override;
  bool InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                      TLocateOptions options) override;

private:
  struct TColumn {
    std::string quoted;
    int sqlType = 0;
    bool hasDefault = false;
    bool binary = false;
  };

  TOdbcConnection& Conn() const;
  std::string QuotedTable() const;
  void ReadColumns();
  void ReadIndexes();
  void RunSelect();
  bool FetchInto(TOdbcStatement& st);
  TOdbcStatement& Prepared(const std::string& sql);
  void RunWrite(TOdbcStatement& st, bool mustChange);
  // "k1 = ? AND k2 IS NULL ..." for the current row; the values to bind go to `binds`.
  std::string RowCondition(std::vector<size_t>& binds) const;
  // The columns an insert of `values` names (a column with a default left unassigned is left out).
  std::vector<size_t> InsertColumns(const std::vector<TVariant>& values) const;
  std::string InsertSql(const std::vector<size_t>& bound) const;
  void InsertRow(const std::vector<TVariant>& values, const std::vector<size_t>& bound);
  int BatchLimit() const;
  bool SendArray(const std::vector<std::vector<TVariant>>& rows, const std::vector<size_t>& bound);
  // Undoes a batch the server refused (see the .cpp for drivers that undo it themselves).
  void UndoBatch();
  void ReleaseSavepoint();
  void ReportRefused(const std::vector<std::vector<TVariant>>& rows,
                     const std::vector<std::pair<size_t, std::string>>& refused);

  static constexpr int kMaxBatchRows = 1000;
  static constexpr size_t kRefusedInMessage = 5;

  std::shared_ptr<TOdbcConnection> connection_;
  std::string tableName_;
  std::string schema_;  // the table's schema as the catalog names it ("" when it has none)
  int32_t postRecords_ = 100;
  std::vector<TColumn> columns_;
  std::vector<size_t> keyColumns_;  // primary key columns; all columns when there is none
  std::string selectList_;
  std::unique_ptr<TOdbcStatement> cursor_;
  std::map<std::string, std::unique_ptr<TOdbcStatement>> prepared_;  // by SQL text
  std::vector<TVariant> row_;  // the current row
  bool onRow_ = false;
  bool cursorUsed_ = false;  // rows were fetched since the select ran
  bool cursorDone_ = false;
  bool walkRow_ = false;  // the current row is the walk's (not one found or written)
  bool pending_ = false;  // the walk's first row is to be handed out again
  int64_t rowNo_ = 0;
  int64_t recordCount_ = 0;
  bool wrote_ = false;
  std::vector<std::vector<TVariant>> batch_;  // appended rows not sent yet
  std::vector<size_t> batchColumns_;          // the columns they name
  bool arrays_ = false;                       // the driver takes parameter arrays (and savepoints)
  bool releaseSavepoints_ = true;
  int64_t refused_ = 0;
  int64_t appendsPosted_ = 0;  // rows appended and posted since the open
};

class KVCORE_EXPORT TOdbcQueryDataSet : public TDataSet {
  KV_CLASS(TOdbcQueryDataSet, TDataSet)
public:
  explicit TOdbcQueryDataSet(std::shared_ptr<TOdbcConnection> connection = nullptr);
  ~TOdbcQueryDataSet() override;

  void SetConnection(std::shared_ptr<TOdbcConnection> connection);
  const std::shared_ptr<TOdbcConnection>& Connection() const { return connection_; }
  void SetSQL(const std::string& sql);
  const std::string& SQL() const { return sql_; }
  // Values for the statement's ? markers, in order (bound at each run):
  // `sqlTypes[i]` is the SQL type to bind value i as (0: by its kind).
  void SetParameters(std::vector<TVariant> values, std::vector<int> sqlTypes = {});
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
  bool FetchRow();

  std::shared_ptr<TOdbcConnection> connection_;
  std::string sql_;
  std::vector<TVariant> params_;
  std::vector<int> paramTypes_;
  std::unique_ptr<TOdbcStatement> stmt_;
  std::vector<TVariant> row_;
  int64_t executions_ = 0;
  bool onRow_ = false;
  bool done_ = false;
  bool pending_ = false;  // the first row is to be handed out again
  int64_t rowNo_ = 0;
};

}  // namespace kv
