#include "data/OdbcClientDataSet.h"

#include <algorithm>
#include <climits>

#include "data/OdbcConnection.h"
#include "data/OracleOdbc.h"
#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TOdbcClientDataSet, TKVMemDataSet)

TOdbcClientDataSet::TOdbcClientDataSet() { CachedUpdates = true; }

TOdbcClientDataSet::~TOdbcClientDataSet() { CloseForDestroy(); }

void TOdbcClientDataSet::SetConnection(std::shared_ptr<TOdbcConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TOdbcClientDataSet::SetCommand(const std::string& sql, std::vector<TVariant> params, std::vector<int> sqlTypes) {
  Close();
  sql_ = sql;
  params_ = std::move(params);
  types_ = std::move(sqlTypes);
}

void TOdbcClientDataSet::SetUpdateTable(const std::string& table, const std::string& keyFields) {
  Close();
  table_ = table;
  keyFields_ = keyFields;
}

bool TOdbcClientDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name == "SQL") {
    value = sql_;
    return true;
  }
  if (name == "TableName") {
    value = table_;
    return true;
  }
  return false;
}

// ---- Reading ------------------------------------------------------------------------------

void TOdbcClientDataSet::RunProvider(const std::string& sql) {
  provider_.Close();
  provider_.SetConnection(connection_);
  provider_.SetSQL(sql);
  provider_.SetParameters(params_, types_);
  provider_.Open();
  providerDone_ = false;
  fetched_ = released_ = 0;
  releasedBefore_ = 0;
}

void TOdbcClientDataSet::InternalOpen() {
  if (!connection_) throw EDatabaseError("Cannot open the client dataset: no database connection is set");
  if (sql_.empty()) throw EDatabaseError("Cannot open the client dataset: no statement is set");
  structureOnly_ = FetchMode == fmNone;
  RunProvider(structureOnly_ ? "select * from (" + sql_ + ") vq where 1=0" : sql_);
  FieldDefs().Assign(provider_.FieldDefs());
  IndexDefs().Clear();
  if (structureOnly_) {
    provider_.Close();
    providerDone_ = true;
  }
  resolver_.reset();
  if (!table_.empty()) {
    resolver_ = std::make_unique<TOdbcUpdateResolver>(connection_, table_, keyFields_);
    resolver_->QuoteTableName = false;
    resolver_->CommitEvery = postRecords_ > 0 ? postRecords_ : 0;
  }
  SetResolver(resolver_.get());
  CachedUpdates = true;
  inherited::InternalOpen();
}

void TOdbcClientDataSet::InternalClose() {
  inherited::InternalClose();
  provider_.Close();
  providerDone_ = true;
  SetResolver(nullptr);
  resolver_.reset();
  // What was applied (and the table emptied) is committed as the dataset closes.
  if (connection_ && connection_->PendingWrites() > 0) connection_->CommitPending();
}

bool TOdbcClientDataSet::FetchMore() {
  if (providerDone_ || !provider_.Active()) return false;
  if (FetchMode == fmForward) LetGo(true);
  const int packet = std::max(1, PacketRecords);
  int n = 0;
  for (; n < packet && !provider_.Eof(); ++n) {
    std::vector<TVariant> values;
    values.reserve(static_cast<size_t>(provider_.FieldCount()));
    for (int i = 0; i < provider_.FieldCount(); ++i) values.push_back(provider_.Fields(i).Value());
    AddFetchedRecord(std::move(values));
    ++fetched_;
    provider_.Next();
  }
  if (provider_.Eof()) {
    providerDone_ = true;
    provider_.Close();  // the statement's cursor goes at once
  }
  return n > 0;
}

void TOdbcClientDataSet::LetGo(bool keepCurrent) {
  const int held = inherited::InternalRecordCount();
  releasedBefore_ += ReleaseUnchangedRecords(keepCurrent);
  released_ += held - inherited::InternalRecordCount();
}

void TOdbcClientDataSet::InternalFirst() {
  if (FetchMode == fmForward && releasedBefore_ > 0) {
    // The records before are gone: read the statement again.
    ClearRecords();
    RunProvider(sql_);
  }
  inherited::InternalFirst();
}

int TOdbcClientDataSet::InternalGetRecNo() {
  const int n = inherited::InternalGetRecNo();
  return n < 0 ? n : n + releasedBefore_;
}

void TOdbcClientDataSet::InternalSetRecNo(int value) {
  for (;;) {
    const int at = value - releasedBefore_;  // records let go while fetching move it
    if (value >= 1 && at < 1)
      throw EDatabaseError(Format("Record %d is no longer held: the dataset reads forward only", value));
    if (at <= inherited::InternalRecordCount() || !FetchMore()) {
      inherited::InternalSetRecNo(at);
      return;
    }
  }
}

int64_t TOdbcClientDataSet::CountOnServer() {
  const std::string sql = structureOnly_ ? "select count(*) from " + table_
                                         : "select count(*) from (" + sql_ + ") vq";
  TOdbcQueryDataSet count(connection_);
  count.SetSQL(sql);
  if (!structureOnly_) count.SetParameters(params_, types_);
  count.Open();
  const int64_t n = count.Eof() ? 0 : count.Fields(0).AsInteger();
  count.Close();
  return n;
}

int TOdbcClientDataSet::InternalRecordCount() {
  const int64_t held = inherited::InternalRecordCount();
  if (providerDone_ && !structureOnly_) return static_cast<int>(std::min<int64_t>(held + released_, INT_MAX));
  if (structureOnly_ && table_.empty()) return static_cast<int>(held);
  return static_cast<int>(std::clamp<int64_t>(CountOnServer(), 0, INT_MAX));
}

// ---- Writing ------------------------------------------------------------------------------

bool TOdbcClientDataSet::Requery(const std::string& sql, std::vector<TVariant> params, std::vector<int> sqlTypes) {
  CheckActive();
  CheckBrowseMode();
  ClearRecords();
  params_ = std::move(params);
  types_ = std::move(sqlTypes);
  sql_ = sql;
  structureOnly_ = false;
  RunProvider(sql);
  if (const int columns = provider_.FieldCount(); columns != FieldCount()) {
    provider_.Close();
    providerDone_ = true;
    Resync();
    throw EDatabaseError(Format("The statement gives %d columns where the dataset has %d", columns, FieldCount()));
  }
  Resync();
  return !IsEmpty();
}

void TOdbcClientDataSet::ForgetRecords() {
  CheckActive();
  Cancel();
  ClearRecords();
  provider_.Close();
  providerDone_ = true;
  structureOnly_ = false;
  fetched_ = released_ = 0;
  releasedBefore_ = 0;
  Resync();
}

int TOdbcClientDataSet::ApplyPosted() {
  CheckActive();
  if (ChangeCount() == 0) return 0;
  const int errors = ApplyUpdates(-1);
  if (errors > 0) CancelUpdates();
  if (FetchMode == fmNone || ReleaseApplied) {
    LetGo(true);
    Resync();
  }
  return errors;
}

}  // namespace kv
