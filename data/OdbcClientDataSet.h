// The client dataset: an in-memory dataset (TKVMemDataSet, cached updates
// on) in front of an ODBC database. Its records are the rows of one
// statement, read through a forward-only query (the provider) a packet at
// a time; its changes go back to one table through TOdbcUpdateResolver
// when they are applied. The Oracle kinds stand on it (data/OracleDataSets.h).
//
// Reading (FetchMode, set before Open):
//   fmPackets  the rows come PacketRecords at a time as the cursor passes
//              the last one held, and stay held (browsing, Prior, Last);
//   fmForward  the same, but the records passed are let go when the next
//              packet comes: memory holds one packet whatever the table's
//              size; the dataset is unidirectional (First runs the
//              statement again once records were let go);
//   fmNone     Open reads only the structure (the statement wrapped in
//              "select * from (...) vq where 1=0"): a destination holds no
//              row of the table until Requery brings the rows of a key.
// Nothing is read before the cursor needs it: Open reads one packet.
//
// Writing: edits, appends and deletes are cached (TKVMemDataSet) and go to
// the server when ApplyUpdates or ApplyPosted runs; a change the server
// refuses is reported to OnReconcileError with the server's message.
// Commits: every PostRecords applied changes and when the dataset closes
// (PostRecords <= 0: only then). Closing drops changes never applied.
//
// RecordCount: the records held once every row of the statement was read
// (plus those let go); otherwise the server counts them (`select count(*)
// from (<statement>) vq`), and in fmNone before any Requery the rows of the
// update table (`select count(*) from <table>`). Changes not applied yet
// are not counted then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KVCore_export.h"
#include "data/MemDataSet.h"
#include "data/OdbcDataSets.h"

namespace kv {

class TOdbcConnection;
class TOdbcUpdateResolver;

class KVCORE_EXPORT TOdbcClientDataSet : public TKVMemDataSet {
  KV_CLASS(TOdbcClientDataSet, TKVMemDataSet)
public:
  enum TFetchMode : uint8_t { fmPackets, fmForward, fmNone };
  static constexpr int kDefaultPacketRecords = 50;

  TOdbcClientDataSet();
  ~TOdbcClientDataSet() override;

  // Each setter closes the dataset first. The dataset shares the connection.
  void SetConnection(std::shared_ptr<TOdbcConnection> connection);
  const std::shared_ptr<TOdbcConnection>& Connection() const { return connection_; }
  // The statement whose rows the dataset holds, the values of its `?`
  // markers in order and the SQL type each is bound as (0: by its kind).
  void SetCommand(const std::string& sql, std::vector<TVariant> params = {}, std::vector<int> sqlTypes = {});
  const std::string& CommandText() const { return sql_; }
  // The table changes are written to, as SQL text (not quoted: "ORDERS",
  // "SCOTT.ORDERS"), and the fields (";"-separated) that find a changed
  // row; all fields when empty. Without a table the changes cannot be applied.
  void SetUpdateTable(const std::string& table, const std::string& keyFields);
  void SetPostRecords(int32_t writes) { postRecords_ = writes; }

  TFetchMode FetchMode = fmPackets;
  int PacketRecords = kDefaultPacketRecords;  // < 1 counts as 1
  // ApplyPosted lets go of the applied records (all but the current one)
  // in every fetch mode, not only in fmNone: for a destination written by
  // a run, whose memory must not grow with the rows written.
  bool ReleaseApplied = false;

  // Runs `sql` (with `params`, bound as `sqlTypes`) and holds its rows in
  // place of those held, read in packets and kept, standing on the first.
  // A pending edit is posted first; changes not applied are dropped. The
  // statement must give the same columns. True when it gave a row.
  bool Requery(const std::string& sql, std::vector<TVariant> params, std::vector<int> sqlTypes);
  // Forgets every record held and stops reading (the table was emptied on
  // the server); the dataset stays open and empty.
  void ForgetRecords();
  // Applies the pending changes without an error limit; the changes
  // refused (reported to OnReconcileError) are cancelled, so they are
  // neither sent nor reported again. In fmNone (or with ReleaseApplied) the
  // applied records are let go, all but the current one. Returns the
  // number of refused changes.
  int ApplyPosted();
  // Rows read from the statement since it last ran.
  int64_t Fetched() const { return fetched_; }
  // Records held in memory now.
  int HeldRecords() { return inherited::InternalRecordCount(); }

  bool IsUniDirectional() const override { return FetchMode == fmForward; }
  // "SQL" (the statement) and "TableName" (the update table).
  bool GetPublishedString(std::string_view name, std::string& value) const override;

protected:
  void InternalOpen() override;
  void InternalClose() override;
  void InternalFirst() override;
  int InternalRecordCount() override;
  int InternalGetRecNo() override;
  void InternalSetRecNo(int value) override;
  bool FetchMore() override;

private:
  void RunProvider(const std::string& sql);
  void LetGo(bool keepCurrent);
  int64_t CountOnServer();

  std::shared_ptr<TOdbcConnection> connection_;
  std::string sql_;
  std::vector<TVariant> params_;
  std::vector<int> types_;
  std::string table_;
  std::string keyFields_;
  int32_t postRecords_ = 100;
  TOdbcQueryDataSet provider_;
  std::unique_ptr<TOdbcUpdateResolver> resolver_;
  bool providerDone_ = true;   // every row of the statement was read
  bool structureOnly_ = false;  // fmNone, before any Requery
  int64_t fetched_ = 0;
  int64_t released_ = 0;        // records let go since the statement ran
  int releasedBefore_ = 0;      // of them, those before the current record
};

}  // namespace kv
