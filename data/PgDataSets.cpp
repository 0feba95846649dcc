#include "data/PgDataSets.h"

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <utility>

#include "foundation/Format.h"

namespace kv {

KV_IMPLEMENT_CLASS(TPgTableDataSet, TDataSet)
KV_IMPLEMENT_CLASS(TPgQueryDataSet, TDataSet)

namespace {

constexpr int kReadBatch = 500;         // rows per read of a table or query
constexpr int kCopyBatch = 10000;       // rows per COPY when PostRecords <= 0
constexpr size_t kMaxCopyBytes = 8u << 20;  // a COPY is sent once its text reaches this size
constexpr size_t kCopyPiece = 64u << 10;     // COPY text is handed to the server in pieces of this size
constexpr size_t kRefusedInMessage = 5;

[[noreturn]] void RaiseNoConnection(const char* what) {
  throw EDatabaseError(Format("Cannot open the PostgreSQL %s: it has no connection", what));
}

TPgRow RowOf(const pg_result* r, int row) {
  TPgRow out(static_cast<size_t>(PQnfields(r)));
  for (int c = 0; c < PQnfields(r); ++c)
    if (!PQgetisnull(r, row, c)) out[static_cast<size_t>(c)] = std::string(PQgetvalue(r, row, c), PQgetlength(r, row, c));
  return out;
}

std::vector<TPgRow> RowsOf(const pg_result* r) {
  std::vector<TPgRow> rows;
  rows.reserve(static_cast<size_t>(PQntuples(r)));
  for (int i = 0; i < PQntuples(r); ++i) rows.push_back(RowOf(r, i));
  return rows;
}

std::string QuotedName(const std::string& name) {
  // "schema.table" names the schema; a name without a dot is found on the search path.
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return TPgConnection::QuoteIdent(name);
  return TPgConnection::QuoteIdent(name.substr(0, dot)) + "." + TPgConnection::QuoteIdent(name.substr(dot + 1));
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool ReadsRows(const std::string& sql) {
  size_t i = sql.find_first_not_of(" \t\r\n(");
  if (i == std::string::npos) return false;
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) word += sql[i++];
  word = LowerAscii(word);
  return word == "select" || word == "with" || word == "values" || word == "table";
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TPgTableDataSet

TPgTableDataSet::TPgTableDataSet(std::shared_ptr<TPgConnection> connection) : connection_(std::move(connection)) {}

TPgTableDataSet::~TPgTableDataSet() {
  try {
    CloseForDestroy();
  } catch (const Exception&) {
    // A destructor cannot report; Close() does.
  }
}

void TPgTableDataSet::SetConnection(std::shared_ptr<TPgConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TPgTableDataSet::SetTableName(const std::string& name) {
  Close();
  tableName_ = name;
}

bool TPgTableDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "TableName") return false;
  value = tableName_;
  return true;
}

TPgConnection& TPgTableDataSet::Conn() const {
  if (!connection_) RaiseNoConnection("table");
  return *connection_;
}

uint32_t TPgTableDataSet::FindTable() {
  if (tableName_.empty()) throw EDatabaseError("No table name");
  for (const std::string& candidate : {tableName_, LowerAscii(tableName_)}) {
    const std::string quoted = QuotedName(candidate);
    TPgResult r = Conn().ExecPrepared("SELECT to_regclass($1)::oid", {quoted});
    if (!PQgetisnull(r.get(), 0, 0)) {
      quotedTable_ = quoted;
      return static_cast<uint32_t>(std::stoul(PQgetvalue(r.get(), 0, 0)));
    }
  }
  quotedTable_ = QuotedName(tableName_);
  return 0;
}

bool TPgTableDataSet::TableExists() { return FindTable() != 0; }

void TPgTableDataSet::ReadDefinitions(uint32_t oid) {
  const std::string rel = std::to_string(oid);
  TPgResult cols = Conn().ExecPrepared(
      "SELECT a.attname, a.atttypid, a.atttypmod, format_type(a.atttypid, a.atttypmod), a.attnotnull, a.atthasdef "
      "FROM pg_attribute a WHERE a.attrelid = $1 AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
      {rel});
  FieldDefs().Clear();
  columns_.clear();
  for (int i = 0; i < PQntuples(cols.get()); ++i) {
    TFieldDef d = PgFieldDefOf(PQgetvalue(cols.get(), i, 0), static_cast<uint32_t>(std::stoul(PQgetvalue(cols.get(), i, 1))),
                               std::stoi(PQgetvalue(cols.get(), i, 2)), PQgetvalue(cols.get(), i, 3));
    TColumn c;
    c.hasDefault = *PQgetvalue(cols.get(), i, 5) == 't';
    c.typeOid = static_cast<uint32_t>(std::stoul(PQgetvalue(cols.get(), i, 1)));
    d.SetRequired(*PQgetvalue(cols.get(), i, 4) == 't' && !c.hasDefault);
    c.quoted = TPgConnection::QuoteIdent(d.Name);
    c.select = d.DataType == ftCurrency ? c.quoted + "::numeric" : c.quoted;
    columns_.push_back(c);
    FieldDefs().Add(d);
  }
  TPgResult idx = Conn().ExecPrepared(
      "SELECT i.relname, x.indisprimary, x.indisunique, x.indexprs IS NOT NULL, array_to_string(array("
      "SELECT a.attname FROM unnest(x.indkey) WITH ORDINALITY k(n, o) JOIN pg_attribute a ON a.attrelid = "
      "x.indrelid AND a.attnum = k.n ORDER BY k.o), ';') FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid "
      "WHERE x.indrelid = $1 ORDER BY x.indisprimary DESC, i.relname",
      {rel});
  IndexDefs().Clear();
  keyColumns_.clear();
  for (int i = 0; i < PQntuples(idx.get()); ++i) {
    const bool primary = *PQgetvalue(idx.get(), i, 1) == 't';
    TIndexOptions o = 0;
    if (primary) o |= 1u << ixPrimary;
    if (*PQgetvalue(idx.get(), i, 2) == 't') o |= 1u << ixUnique;
    if (*PQgetvalue(idx.get(), i, 3) == 't') o |= 1u << ixExpression;
    const std::string fields = PQgetvalue(idx.get(), i, 4);
    IndexDefs().Add(PQgetvalue(idx.get(), i, 0), fields, o);
    if (!primary) continue;
    for (size_t start = 0; start <= fields.size();) {
      const size_t end = std::min(fields.find(';', start), fields.size());
      keyColumns_.push_back(static_cast<size_t>(FieldDefs().IndexOf(fields.substr(start, end - start))));
      start = end + 1;
    }
  }
}

std::string TPgTableDataSet::SelectList() const {
  std::string s = "ctid::text AS vandrel_ctid";  // named apart: ORDER BY ctid must mean the column, not this text
  for (const TColumn& c : columns_) s += ", " + c.select;
  return s;
}

bool TPgTableDataSet::CreateTable() {
  if (TableExists()) return false;
  if (FieldDefs().Count() == 0) throw EDatabaseError(Format("Cannot create table '%s': it has no fields", tableName_));
  std::string sql = "CREATE TABLE " + quotedTable_ + " (";
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const TFieldDef& d = FieldDefs()[i];
    sql += (i ? ", " : "") + TPgConnection::QuoteIdent(d.Name) + " " + PgDeclaredTypeOf(d);
    if (d.Required()) sql += " NOT NULL";
  }
  auto columnsOf = [this](const std::string& fields) {
    std::string out;
    for (size_t start = 0; start <= fields.size();) {
      const size_t end = std::min(fields.find(';', start), fields.size());
      const std::string f = fields.substr(start, end - start);
      if (FieldDefs().IndexOf(f) < 0)
        throw EDatabaseError(Format("Cannot create table '%s': index field '%s' is not a field", tableName_, f));
      out += (out.empty() ? "" : ", ") + TPgConnection::QuoteIdent(f);
      start = end + 1;
    }
    return out;
  };
  std::vector<std::string> indexes;
  for (const TIndexDef& x : IndexDefs()) {
    if (x.Has(ixExpression) || x.Fields.empty()) continue;
    if (x.Has(ixPrimary)) {
      sql += ", PRIMARY KEY (" + columnsOf(x.Fields) + ")";
      continue;
    }
    const std::string name = x.Name.empty() ? tableName_ + "_idx" + std::to_string(indexes.size() + 1) : x.Name;
    indexes.push_back(std::string("CREATE ") + (x.Has(ixUnique) ? "UNIQUE " : "") + "INDEX " +
                      TPgConnection::QuoteIdent(name) + " ON " + quotedTable_ + " (" + columnsOf(x.Fields) + ")");
  }
  sql += ")";
  // One statement text: created with its indexes, or not at all.
  for (const std::string& i : indexes) sql += ";\n" + i;
  // Inside the writers' transaction a savepoint keeps a refused CREATE from ending it.
  const bool ownTransaction = !Conn().InTransaction();
  Conn().Exec(ownTransaction ? "BEGIN" : "SAVEPOINT vandrel_create");
  try {
    Conn().Exec(sql);
  } catch (const EDatabaseError&) {
    if (Conn().Connected()) Conn().Exec(ownTransaction ? "ROLLBACK" : "ROLLBACK TO SAVEPOINT vandrel_create");
    throw;
  }
  Conn().Exec(ownTransaction ? "COMMIT" : "RELEASE SAVEPOINT vandrel_create");
  return true;
}

int64_t TPgTableDataSet::EmptyTable() {
  FlushAppends();
  if (quotedTable_.empty() && !TableExists()) throw EDatabaseError(Format("Table '%s' does not exist", tableName_));
  Conn().BeginWrite();
  TPgResult r = Conn().Exec("DELETE FROM " + quotedTable_);
  const int64_t n = std::stoll(PQcmdTuples(r.get()));
  Conn().WriteDone(postRecords_);
  wrote_ = true;
  recordCount_ = 0;
  if (Active()) {
    pos_ = TPos::BeforeFirst;
    window_.clear();
    Resync();
  }
  return n;
}

void TPgTableDataSet::Commit() {
  // Refused rows are reported once the others are committed.
  std::exception_ptr refused;
  try {
    FlushAppends();
  } catch (const EDatabaseError&) {
    if (!Conn().Connected()) throw;
    refused = std::current_exception();
  }
  Conn().CommitPending();
  if (refused) std::rethrow_exception(refused);
}

void TPgTableDataSet::InternalOpen() {
  const uint32_t oid = FindTable();
  tableOid_ = oid;
  if (oid == 0) throw EDatabaseError(Format("Table '%s' does not exist in %s", tableName_, Conn().Describe()));
  ReadDefinitions(oid);
  TPgResult count = Conn().Exec("SELECT count(*) FROM " + quotedTable_);
  recordCount_ = std::stoll(PQgetvalue(count.get(), 0, 0));
  appendsPosted_ = 0;
  pos_ = TPos::BeforeFirst;
  window_.clear();
  bookmarks_.clear();
  recNo_ = 0;
  refused_ = copies_ = binaryCopies_ = 0;
  wrote_ = false;
  commitHook_ = Conn().AddBeforeCommit([this] { FlushAppends(); });
}

void TPgTableDataSet::InternalClose() {
  if (!connection_) return;
  connection_->RemoveBeforeCommit(commitHook_);
  commitHook_ = 0;
  window_.clear();
  current_.clear();
  const bool wrote = wrote_ || copyOpen_;
  wrote_ = false;
  if (wrote) Commit();
}

TPgRow TPgTableDataSet::KeyOf(const TPgRow& row) const {
  if (keyColumns_.empty()) return {row.empty() ? std::nullopt : row[0]};
  TPgRow key;
  for (size_t k : keyColumns_) key.push_back(k + 1 < row.size() ? row[k + 1] : std::nullopt);
  return key;
}

std::string TPgTableDataSet::KeyWhere(size_t firstParam) const {
  if (keyColumns_.empty()) return "ctid = $" + std::to_string(firstParam) + "::tid";
  std::string s;
  for (size_t i = 0; i < keyColumns_.size(); ++i)
    s += (i ? " AND " : "") + columns_[keyColumns_[i]].quoted + " = $" + std::to_string(firstParam + i);
  return s;
}

int64_t TPgTableDataSet::PageCount() {
  TPgResult r = Conn().ExecPrepared(
      "SELECT pg_relation_size($1::oid::regclass) / current_setting('block_size')::bigint", {std::to_string(tableOid_)});
  return std::stoll(PQgetvalue(r.get(), 0, 0));
}

std::vector<TPgRow> TPgTableDataSet::FetchByCtid(const std::optional<std::string>& after, bool desc, int limit) {
  constexpr int64_t kSpan = 256;  // pages per read
  auto tid = [](int64_t page) { return "(" + std::to_string(page) + ",0)"; };
  int64_t pages = PageCount();
  int64_t page = desc ? pages : 0;
  if (after) page = std::stoll(after->substr(1));  // "(page,item)"
  std::string bound = after ? *after : tid(page);
  const std::string sql = "SELECT " + SelectList() + " FROM " + quotedTable_ +
                          (desc ? " WHERE ctid < $1::tid AND ctid >= $2::tid ORDER BY ctid DESC LIMIT "
                                : " WHERE ctid > $1::tid AND ctid < $2::tid ORDER BY ctid LIMIT ") +
                          std::to_string(limit);
  for (;;) {
    const int64_t next = desc ? std::max<int64_t>(page - kSpan, 0) : page + kSpan;
    TPgResult r = Conn().ExecPrepared(sql, {bound, tid(next)});
    if (PQntuples(r.get()) > 0) return RowsOf(r.get());
    if (desc ? next == 0 : next > (pages = PageCount())) return {};
    page = next;
    bound = tid(next);
  }
}

std::vector<TPgRow> TPgTableDataSet::Fetch(const char* op, const TPgRow& key, bool desc, int limit, int64_t offset) {
  // Without a key, reads go page range by page range: each costs the range it covers, never the rest of the table.
  if (keyColumns_.empty() && offset == 0 && std::string_view(op) != "=")
    return FetchByCtid(*op ? key[0] : std::nullopt, desc, limit);
  std::string keyList, params;
  if (keyColumns_.empty()) {
    keyList = "ctid";
    params = "$1::tid";
  } else {
    for (size_t i = 0; i < keyColumns_.size(); ++i) {
      keyList += (i ? ", " : "") + columns_[keyColumns_[i]].quoted + (desc ? " DESC" : "");
      params += (i ? ", " : "") + std::string("$") + std::to_string(i + 1);
    }
  }
  std::string order = keyList;
  if (keyColumns_.empty() && desc) order += " DESC";
  std::string keys;  // the key columns without DESC, for the comparison
  if (keyColumns_.empty()) keys = "ctid";
  else
    for (size_t i = 0; i < keyColumns_.size(); ++i) keys += (i ? ", " : "") + columns_[keyColumns_[i]].quoted;
  std::string sql = "SELECT " + SelectList() + " FROM " + quotedTable_;
  if (*op) sql += " WHERE (" + keys + ") " + op + " (" + params + ")";
  sql += " ORDER BY " + order + " LIMIT " + std::to_string(limit);
  if (offset > 0) sql += " OFFSET " + std::to_string(offset);
  TPgResult r = Conn().ExecPrepared(sql, *op ? key : TPgParams{});
  return RowsOf(r.get());
}

void TPgTableDataSet::StandOn(TPgRow row) {
  current_ = std::move(row);
  currentPosted_ = false;
  pos_ = TPos::OnRow;
  recNo_ = 0;
}

void TPgTableDataSet::InternalFirst() {
  FlushAppends();
  pos_ = TPos::BeforeFirst;
  window_.clear();
}

void TPgTableDataSet::InternalLast() {
  FlushAppends();
  pos_ = TPos::AfterLast;
  window_.clear();
}

TDataSet::TGetResult TPgTableDataSet::Move(bool forward) {
  FlushAppends();
  if (!window_.empty() && windowForward_ == forward && windowGeneration_ == Conn().Generation() &&
      pos_ == TPos::OnRow && windowAt_ + 1 < window_.size()) {
    ++windowAt_;
    const int64_t recNo = recNo_;
    StandOn(window_[windowAt_]);
    if (recNo > 0) recNo_ = recNo + (forward ? 1 : -1);
    return grOK;
  }
  std::vector<TPgRow> rows;
  if (pos_ == TPos::OnRow) {
    const TPgRow key = KeyOf(current_);
    bool known = true;
    for (const auto& k : key) known = known && k.has_value();
    if (known) rows = Fetch(forward ? ">" : "<", key, !forward, kReadBatch);
    else if (!forward) rows = Fetch("", {}, true, kReadBatch);  // an appended row whose key the server chose
  } else if ((pos_ == TPos::BeforeFirst && forward) || (pos_ == TPos::AfterLast && !forward)) {
    rows = Fetch("", {}, !forward, kReadBatch);
  }
  if (rows.empty()) {
    if (pos_ != TPos::OnRow) pos_ = forward ? TPos::AfterLast : TPos::BeforeFirst;
    return forward ? grEOF : grBOF;
  }
  const int64_t recNo = recNo_;
  const bool wasOnRow = pos_ == TPos::OnRow;
  window_ = std::move(rows);
  windowAt_ = 0;
  windowForward_ = forward;
  windowGeneration_ = Conn().Generation();
  StandOn(window_[0]);
  if (wasOnRow && recNo > 0) recNo_ = recNo + (forward ? 1 : -1);
  else if (!wasOnRow && forward) recNo_ = 1;
  return grOK;
}

TDataSet::TGetResult TPgTableDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmCurrent: return pos_ == TPos::OnRow ? grOK : grEOF;
    case gmNext: return Move(true);
    case gmPrior: return Move(false);
  }
  return grEOF;
}

bool TPgTableDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  if (currentPosted_ && current_.empty() && !lineStarts_.empty()) current_ = LineRow(lineStarts_.size() - 1);
  const size_t col = static_cast<size_t>(field.Index()) + 1;
  if (pos_ != TPos::OnRow || col >= current_.size() || !current_[col]) return false;
  if (!PgValueOf(field.DataType(), field.ValueKind(), *current_[col], value))
    throw EDatabaseError(Format("Table '%s', column '%s': the value '%s' does not convert to %s", tableName_,
                                field.FieldName(), *current_[col], FieldTypeName(field.DataType())));
  return true;
}

int TPgTableDataSet::InternalRecordCount() {
  const int64_t n = recordCount_;
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int TPgTableDataSet::InternalGetRecNo() {
  if (pos_ != TPos::OnRow || currentPosted_) return -1;
  if (recNo_ == 0) {
    FlushAppends();
    std::string keys = keyColumns_.empty() ? "ctid" : "";
    std::string params = keyColumns_.empty() ? "$1::tid" : "";
    for (size_t i = 0; i < keyColumns_.size(); ++i) {
      keys += (i ? ", " : "") + columns_[keyColumns_[i]].quoted;
      params += (i ? ", " : "") + std::string("$") + std::to_string(i + 1);
    }
    TPgResult r =
        Conn().ExecPrepared("SELECT count(*) FROM " + quotedTable_ + " WHERE (" + keys + ") <= (" + params + ")", KeyOf(current_));
    recNo_ = std::stoll(PQgetvalue(r.get(), 0, 0));
  }
  return recNo_ > INT_MAX ? -1 : static_cast<int>(recNo_);
}

void TPgTableDataSet::InternalSetRecNo(int value) {
  FlushAppends();
  if (value < 1) throw EDatabaseError(Format("Record number %d is out of range", value));
  std::vector<TPgRow> rows = Fetch("", {}, false, 1, value - 1);
  if (rows.empty()) throw EDatabaseError(Format("Record number %d is out of range", value));
  window_.clear();
  StandOn(std::move(rows[0]));
  recNo_ = value;
}

TBookmark TPgTableDataSet::InternalGetBookmark() {
  if (pos_ != TPos::OnRow) return kNoBookmark;
  FlushAppends();
  bookmarks_.push_back(KeyOf(current_));
  return static_cast<TBookmark>(bookmarks_.size() - 1);
}

void TPgTableDataSet::InternalGotoBookmark(TBookmark bookmark) {
  FlushAppends();
  if (bookmark < 0 || static_cast<size_t>(bookmark) >= bookmarks_.size())
    throw EDatabaseError(Format("Table '%s': invalid bookmark", tableName_));
  std::vector<TPgRow> rows = Fetch("=", bookmarks_[static_cast<size_t>(bookmark)], false, 1);
  if (rows.empty()) throw EDatabaseError(Format("Table '%s': the bookmarked row no longer exists", tableName_));
  window_.clear();
  StandOn(std::move(rows[0]));
}

void TPgTableDataSet::RequireKey(const char* what) const {
  if (keyColumns_.empty())
    throw EDatabaseError(Format("Cannot %s a row of table '%s': it has no primary key (rows of such a table can be "
                                "read and appended, not changed or deleted)",
                                what, tableName_));
}

// Unassigned (not null): a column with a default (a serial key, say) is
// left out of the COPY unless it is set.
void TPgTableDataSet::InternalInitRecord(std::vector<TVariant>& values) {
  values.assign(columns_.size(), TVariant::Null());
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].hasDefault) values[i] = TVariant();
}

void TPgTableDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool) {
  if (inserting) {
    AppendRow(values);
    return;
  }
  RequireKey("change");
  FlushAppends();
  std::string sets;
  TPgParams params;
  for (size_t i = 0; i < columns_.size(); ++i) {
    sets += (i ? ", " : "") + columns_[i].quoted + " = $" + std::to_string(i + 1);
    params.push_back(PgTextOf(FieldDefs()[static_cast<int>(i)].DataType, values[i]));
  }
  for (const auto& k : KeyOf(current_)) params.push_back(k);
  Conn().BeginWrite();
  TPgResult r = Conn().RunRowWrite("UPDATE " + quotedTable_ + " SET " + sets + " WHERE " + KeyWhere(columns_.size() + 1) +
                                       " RETURNING " + SelectList(),
                                   params);
  if (PQntuples(r.get()) == 0)
    throw EDatabaseError(Format("Table '%s': the row being edited no longer exists", tableName_));
  Conn().WriteDone(postRecords_);
  wrote_ = true;
  window_.clear();
  const int64_t recNo = recNo_;
  StandOn(RowOf(r.get(), 0));
  recNo_ = recNo;
}

template <class TValueOf>
void TPgTableDataSet::RowSets(const TValueOf& value) {
  rowSets_.resize(columns_.size());
  for (size_t i = 0; i < columns_.size(); ++i) rowSets_[i] = !(columns_[i].hasDefault && value(i).IsEmpty());
}

void TPgTableDataSet::UseRowSets() {
  batchSets_ = rowSets_;
  batchBinary_ = true;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (batchSets_[i] && !PgBinaryCopyType(columns_[i].typeOid)) batchBinary_ = false;
  batchColumns_.clear();
  for (size_t i = 0; i < columns_.size(); ++i)
    if (batchSets_[i]) batchColumns_ += (batchColumns_.empty() ? "" : ", ") + columns_[i].quoted;
}

template <class TValueOf>
bool TPgTableDataSet::EncodeBinaryRow(const TValueOf& value) {
  const size_t start = copyData_.size();
  const auto count = static_cast<uint16_t>(std::count(batchSets_.begin(), batchSets_.end(), true));
  copyData_ += static_cast<char>(count >> 8);
  copyData_ += static_cast<char>(count & 0xFF);
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (batchSets_[i] &&
        !AppendPgBinaryValue(copyData_, columns_[i].typeOid, FieldDefs()[static_cast<int>(i)].DataType, value(i))) {
      copyData_.resize(start);
      return false;
    }
  }
  lineStarts_.push_back(start);
  return true;
}

template <class TValueOf>
bool TPgTableDataSet::EncodeNextRow(const TValueOf& value, bool binary) {
  const size_t bytes = copyData_.size();
  const size_t lines = lineStarts_.size();
  try {
    if (binary) return EncodeBinaryRow(value);
    EncodeRow(value);
    return true;
  } catch (const std::exception&) {
    // Raised again when the row comes first in the next batch, outside any COPY.
    copyData_.resize(bytes);
    lineStarts_.resize(lines);
    return false;
  }
}

template <class TValueOf>
void TPgTableDataSet::EncodeRow(const TValueOf& value) {
  lineStarts_.push_back(copyData_.size());
  bool first = true;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (!batchSets_[i]) continue;
    if (!first) copyData_ += '\t';
    first = false;
    AppendPgCopyValue(copyData_, FieldDefs()[static_cast<int>(i)].DataType, value(i));
  }
  copyData_ += '\n';
}

void TPgTableDataSet::AppendRow(const std::vector<TVariant>& values) {
  const auto value = [&values](size_t i) -> const TVariant& { return values[i]; };
  RowSets(value);
  if (rowSets_ != batchSets_) {
    FlushAppends();
    UseRowSets();
  }
  if (!copyOpen_) StartCopy();
  EncodeRow(value);
  ++appendsPosted_;
  // Handed over in pieces: the server stores them while the next rows are made.
  if (copyData_.size() - sentBytes_ >= kCopyPiece) {
    Conn().PutCopyData(std::string_view(copyData_).substr(sentBytes_));
    sentBytes_ = copyData_.size();
  }
  ++recordCount_;
  wrote_ = true;
  window_.clear();
  current_.clear();  // read from the batch when asked for
  currentPosted_ = true;
  pos_ = TPos::OnRow;
  recNo_ = 0;
  const size_t limit = static_cast<size_t>(postRecords_ > 0 ? postRecords_ : kCopyBatch);
  if (lineStarts_.size() >= limit || copyData_.size() >= kMaxCopyBytes) FlushAppends();
}

void TPgTableDataSet::StartCopy() {
  TPgConnection& c = Conn();
  // A COPY that opens the transaction needs no savepoint: a refusal rolls
  // back nothing but the COPY itself (two round trips fewer per batch).
  copyOwnsTransaction_ = !c.InTransaction();
  if (!copyOwnsTransaction_) c.Exec("SAVEPOINT vandrel_copy");
  ++copies_;
  c.BeginCopy("COPY " + quotedTable_ + " (" + batchColumns_ + ") FROM STDIN", [this] { FlushAppends(); },
              copyOwnsTransaction_);
  copyOpen_ = true;
  sentBytes_ = 0;
}

TPgRow TPgTableDataSet::LineValues(size_t i) const {
  const size_t end = i + 1 < lineStarts_.size() ? lineStarts_[i + 1] - 1 : copyData_.size() - 1;
  TPgRow out;
  std::string field;
  bool null = false;
  for (size_t p = lineStarts_[i]; p <= end; ++p) {
    const char c = p < end ? copyData_[p] : '\t';
    if (c == '\t') {
      out.push_back(null ? std::nullopt : std::optional<std::string>(field));
      field.clear();
      null = false;
    } else if (c == '\\' && p + 1 < end) {
      const char e = copyData_[++p];
      if (e == 'N') null = true;
      else field += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
    } else {
      field += c;
    }
  }
  return out;
}

TPgRow TPgTableDataSet::LineRow(size_t i) const { return RowOfSent(LineValues(i)); }

TPgRow TPgTableDataSet::RowOfSent(const TPgRow& sent) const {
  TPgRow row(columns_.size() + 1);
  for (size_t c = 0, k = 0; c < columns_.size(); ++c)
    if (batchSets_[c] && k < sent.size()) row[c + 1] = sent[k++];
  return row;
}

void TPgTableDataSet::FlushAppends() {
  if (!copyOpen_) return;
  copyOpen_ = false;
  if (currentPosted_ && current_.empty() && !lineStarts_.empty()) current_ = LineRow(lineStarts_.size() - 1);
  TPgConnection& c = Conn();
  const size_t rows = lineStarts_.size();
  std::vector<std::pair<size_t, std::string>> refused;
  try {
    try {
      if (sentBytes_ < copyData_.size()) c.PutCopyData(std::string_view(copyData_).substr(sentBytes_));
      c.EndCopy();
      if (!copyOwnsTransaction_) c.Exec("RELEASE SAVEPOINT vandrel_copy");
    } catch (const EDatabaseError&) {
      UndoCopy(copyOwnsTransaction_);
      InsertRowByRow(refused);
    }
  } catch (const EDatabaseError& e) {
    copyData_.clear();
    lineStarts_.clear();
    if (c.Connected()) throw;
    recordCount_ -= static_cast<int64_t>(rows);
    throw EDatabaseError(e.Message() + Format("; the %d appended rows not yet stored were lost",
                                              static_cast<int64_t>(rows)));
  }
  refused_ += static_cast<int64_t>(refused.size());
  recordCount_ -= static_cast<int64_t>(refused.size());
  try {
    if (!refused.empty()) ReportRefused(refused);
  } catch (...) {
    copyData_.clear();
    lineStarts_.clear();
    c.WriteDone(postRecords_, static_cast<int64_t>(rows - refused.size()));
    throw;
  }
  copyData_.clear();
  lineStarts_.clear();
  c.WriteDone(postRecords_, static_cast<int64_t>(rows - refused.size()));
}

std::string TPgTableDataSet::RowInsertSql() const {
  std::string params;
  const size_t n = static_cast<size_t>(std::count(batchSets_.begin(), batchSets_.end(), true));
  for (size_t i = 0; i < n; ++i) params += (i ? ", $" : "$") + std::to_string(i + 1);
  return "INSERT INTO " + quotedTable_ + " (" + batchColumns_ + ") VALUES (" + params + ")";
}

// The rows go in COPY batches that end where a commit is due, handed to
// the server in pieces while the next rows are made; the call returns once
// the server has stored them. A batch the server refuses is undone and its
// rows go one by one up to the refused one, whose error is raised; the rows
// after it are not sent. A batch is sent in COPY's binary format when its
// columns' types allow and its first row has a binary form; a row without
// one (see AppendPgBinaryValue) ends the batch, and the next one starting
// with it goes as text.
void TPgTableDataSet::InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored) {
  stored = 0;
  FlushAppends();  // rows posted one by one before go first
  TPgConnection& c = Conn();
  const size_t width = columns_.size();
  const auto rowAt = [values, width](size_t r) {
    return [row = values + r * width](size_t i) -> const TVariant& { return *row[i]; };
  };
  while (stored < rows) {
    RowSets(rowAt(stored));
    if (rowSets_ != batchSets_) UseRowSets();
    const int64_t room = postRecords_ > 0 ? c.WritesBeforeCommit(postRecords_) : kCopyBatch;
    copyData_.clear();
    lineStarts_.clear();
    // The first row is made before the COPY begins: a value that cannot be
    // written fails its row with no COPY open.
    bool binary = false;
    if (batchBinary_) {
      copyData_.assign(kPgBinaryCopyHeader);
      binary = EncodeBinaryRow(rowAt(stored));
      if (!binary) copyData_.clear();
    }
    if (!binary) EncodeRow(rowAt(stored));
    const bool owns = !c.InTransaction();
    if (!owns) c.Exec("SAVEPOINT vandrel_copy");
    ++copies_;
    if (binary) ++binaryCopies_;
    bool copied = false;
    try {
      c.BeginCopy("COPY " + quotedTable_ + " (" + batchColumns_ + ") FROM STDIN" + (binary ? " (FORMAT binary)" : ""),
                  {}, owns);
      size_t sent = 0;
      for (size_t n = 1; stored + n < rows && static_cast<int64_t>(n) < room && copyData_.size() < kMaxCopyBytes; ++n) {
        RowSets(rowAt(stored + n));
        // A row with other columns, or one that cannot be written so, starts the next batch.
        if (rowSets_ != batchSets_ || !EncodeNextRow(rowAt(stored + n), binary)) break;
        if (copyData_.size() - sent >= kCopyPiece) {
          c.PutCopyData(std::string_view(copyData_).substr(sent));
          sent = copyData_.size();
        }
      }
      if (sent < copyData_.size()) c.PutCopyData(std::string_view(copyData_).substr(sent));
      if (binary) c.PutCopyData(kPgBinaryCopyTrailer);
      c.EndCopy();
      if (!owns) c.Exec("RELEASE SAVEPOINT vandrel_copy");
      copied = true;
    } catch (const EDatabaseError&) {
      UndoCopy(owns);
    }
    // The values of row i of the batch as the text format has them.
    const auto sentValues = [&](size_t i) {
      if (!binary) return LineValues(i);
      TPgRow out;
      const auto value = rowAt(stored + i);
      for (size_t col = 0; col < columns_.size(); ++col)
        if (batchSets_[col]) out.push_back(PgTextOf(FieldDefs()[static_cast<int>(col)].DataType, value(col)));
      return out;
    };
    const size_t batch = lineStarts_.size();
    if (!copied) StoreRowByRow(stored, sentValues);
    if (batch > 0) BatchStored(batch, RowOfSent(sentValues(batch - 1)));
    stored += batch;
  }
  copyData_.clear();
  lineStarts_.clear();
}

// The rows of a refused batch one by one; raises the first refusal, with
// the rows before it stored and added to `stored`.
void TPgTableDataSet::StoreRowByRow(size_t& stored, const std::function<TPgRow(size_t)>& sentValues) {
  TPgConnection& c = Conn();
  const std::string sql = RowInsertSql();
  for (size_t i = 0; i < lineStarts_.size(); ++i) {
    try {
      c.RunRowWrite(sql, sentValues(i));
    } catch (const EDatabaseError&) {
      if (c.Connected() && i > 0) {
        BatchStored(i, RowOfSent(sentValues(i - 1)));
        stored += i;
      }
      copyData_.clear();
      lineStarts_.clear();
      throw;
    }
  }
}

size_t TPgTableDataSet::AppendRecordsBatch() const {
  return static_cast<size_t>(postRecords_ > 0 && postRecords_ < kCopyBatch ? postRecords_ : kCopyBatch);
}

// The first `rows` rows of the batch are stored: counted, `last` (the last one) current.
void TPgTableDataSet::BatchStored(size_t rows, TPgRow last) {
  if (rows == 0) return;
  appendsPosted_ += static_cast<int64_t>(rows);
  recordCount_ += static_cast<int64_t>(rows);
  wrote_ = true;
  window_.clear();
  current_ = std::move(last);
  currentPosted_ = true;
  pos_ = TPos::OnRow;
  recNo_ = 0;
  Conn().WriteDone(postRecords_, static_cast<int64_t>(rows));
}

// After a COPY the server refused: what it stored is undone (the
// transaction it began, or its savepoint), and writing goes on. Raises
// again when the connection is gone.
void TPgTableDataSet::UndoCopy(bool ownedTransaction) {
  TPgConnection& c = Conn();
  if (!c.Connected()) throw;
  if (ownedTransaction) {
    c.Exec("ROLLBACK");
    c.BeginWrite();
  } else {
    c.Exec("ROLLBACK TO SAVEPOINT vandrel_copy");
    c.Exec("RELEASE SAVEPOINT vandrel_copy");
  }
}

void TPgTableDataSet::InsertRowByRow(std::vector<std::pair<size_t, std::string>>& refused) {
  const std::string sql = RowInsertSql();
  for (size_t i = 0; i < lineStarts_.size(); ++i) {
    try {
      Conn().RunRowWrite(sql, LineValues(i));
    } catch (const EDatabaseError& e) {
      if (!Conn().Connected()) throw;
      refused.emplace_back(i, e.Message());
    }
  }
}

void TPgTableDataSet::ReportRefused(const std::vector<std::pair<size_t, std::string>>& refused) {
  if (OnAppendRefused) {
    const int64_t first = appendsPosted_ - static_cast<int64_t>(lineStarts_.size());
    for (const auto& [i, message] : refused) OnAppendRefused(first + static_cast<int64_t>(i) + 1, message);
    return;
  }
  if (OnRefusedRow) {
    for (const auto& [i, message] : refused) {
      const TPgRow row = LineRow(i);
      std::vector<TVariant> values(columns_.size());
      for (size_t c = 0; c < columns_.size(); ++c) {
        const TFieldDef& d = FieldDefs()[static_cast<int>(c)];
        if (!row[c + 1] || !PgValueOf(d.DataType, FieldTypeValueKind(d.DataType), *row[c + 1], values[c]))
          values[c] = batchSets_[c] ? TVariant::Null() : TVariant();
      }
      OnRefusedRow(values, message);
    }
    return;
  }
  std::string m = Format("Table '%s': the server refused %d of %d appended rows (the others were stored)",
                         tableName_, static_cast<int64_t>(refused.size()), static_cast<int64_t>(lineStarts_.size()));
  for (size_t k = 0; k < refused.size() && k < kRefusedInMessage; ++k)
    m += "\n  row " + std::to_string(refused[k].first + 1) + " of the batch: " + refused[k].second;
  if (refused.size() > kRefusedInMessage) m += "\n  ...";
  throw EDatabaseError(m);
}

void TPgTableDataSet::InternalDelete() {
  RequireKey("delete");
  FlushAppends();
  const TPgRow key = KeyOf(current_);
  Conn().BeginWrite();
  TPgResult r = Conn().RunRowWrite("DELETE FROM " + quotedTable_ + " WHERE " + KeyWhere(1), key);
  if (std::stoll(PQcmdTuples(r.get())) > 0) --recordCount_;
  Conn().WriteDone(postRecords_);
  wrote_ = true;
  window_.clear();
  const int64_t recNo = recNo_;
  std::vector<TPgRow> next = Fetch(">", key, false, 1);
  if (next.empty()) next = Fetch("<", key, true, 1);
  if (next.empty()) {
    pos_ = TPos::BeforeFirst;
    current_.clear();
    return;
  }
  StandOn(std::move(next[0]));
  recNo_ = recNo;
}

bool TPgTableDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                                     TLocateOptions options) {
  FlushAppends();
  const bool caseIns = options & LocateOptionBit(loCaseInsensitive);
  const bool partial = options & LocateOptionBit(loPartialKey);
  std::string where;
  TPgParams params;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField& f = *fields[i];
    const std::string col = columns_[static_cast<size_t>(f.Index())].quoted;
    where += i ? " AND " : "";
    if (values[i].IsNullOrEmpty()) {
      where += col + " IS NULL";
      continue;
    }
    TVariant v;
    try {
      v = f.Convert(values[i]);
    } catch (const Exception&) {
      return false;  // a searched value that does not convert matches nothing
    }
    const std::string p = "$" + std::to_string(params.size() + 1);
    const bool text = f.ValueKind() == varString;
    if (text && (caseIns || partial)) {
      std::string lhs = partial ? "left(" + col + "::text, length(" + p + "))" : col + "::text";
      where += caseIns ? "lower(" + lhs + ") = lower(" + p + ")" : lhs + " = " + p;
    } else {
      where += col + " = " + p;
    }
    params.push_back(PgTextOf(f.DataType(), v));
  }
  std::string order = keyColumns_.empty() ? "ctid" : "";
  for (size_t i = 0; i < keyColumns_.size(); ++i) order += (i ? ", " : "") + columns_[keyColumns_[i]].quoted;
  TPgResult r = Conn().ExecPrepared(
      "SELECT " + SelectList() + " FROM " + quotedTable_ + " WHERE " + where + " ORDER BY " + order + " LIMIT 1", params);
  if (PQntuples(r.get()) == 0) return false;
  window_.clear();
  StandOn(RowOf(r.get(), 0));
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// TPgQueryDataSet

TPgQueryDataSet::TPgQueryDataSet(std::shared_ptr<TPgConnection> connection) : connection_(std::move(connection)) {}

TPgQueryDataSet::~TPgQueryDataSet() {
  try {
    CloseForDestroy();
  } catch (const Exception&) {
  }
}

void TPgQueryDataSet::SetConnection(std::shared_ptr<TPgConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TPgQueryDataSet::SetSQL(const std::string& sql) {
  Close();
  sql_ = sql;
}

bool TPgQueryDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "SQL") return false;
  value = sql_;
  return true;
}

void TPgQueryDataSet::CloseCursor() {
  if (cursor_.empty()) return;
  const std::string name = std::move(cursor_);
  cursor_.clear();
  if (connection_ && connection_->Connected()) connection_->Exec("CLOSE " + name);
}

bool TPgQueryDataSet::FetchBatch() {
  if (cursor_.empty() || done_) return false;
  batch_ = connection_->Exec("FETCH FORWARD " + std::to_string(kReadBatch) + " FROM " + cursor_);
  at_ = -1;
  done_ = PQntuples(batch_.get()) < kReadBatch;
  return PQntuples(batch_.get()) > 0;
}

void TPgQueryDataSet::Execute() {
  CloseCursor();
  ++executions_;
  rowNo_ = 0;
  at_ = -1;
  done_ = false;
  firstBatch_ = true;
  last_.clear();
  changed_ = -1;
  if (!ReadsRows(sql_)) {
    batch_ = connection_->Exec(sql_);
    done_ = true;
    const char* tuples = PQcmdTuples(batch_.get());
    if (PQnfields(batch_.get()) == 0) changed_ = tuples && *tuples ? std::stoll(tuples) : 0;
    return;
  }
  static std::atomic<int> counter{0};  // cursor names only need to differ on one connection
  const std::string name = "vandrel_cursor_" + std::to_string(++counter);
  const std::string declare = "DECLARE " + name + " NO SCROLL CURSOR WITH HOLD FOR " + sql_;
  if (connection_->InTransaction()) {
    // A statement the server refuses must not end the writers' transaction.
    connection_->Exec("SAVEPOINT vandrel_query");
    try {
      connection_->Exec(declare);
    } catch (const EDatabaseError&) {
      if (connection_->Connected()) connection_->Exec("ROLLBACK TO SAVEPOINT vandrel_query");
      throw;
    }
    connection_->Exec("RELEASE SAVEPOINT vandrel_query");
  } else {
    connection_->Exec(declare);
  }
  cursor_ = name;
  FetchBatch();
}

void TPgQueryDataSet::InternalOpen() {
  if (!connection_) RaiseNoConnection("query");
  Execute();
  FieldDefs().Clear();
  IndexDefs().Clear();
  const pg_result* r = batch_.get();
  for (int c = 0; c < PQnfields(r); ++c) {
    const int32_t mod = PQfmod(r, c);
    TFieldDef d = PgFieldDefOf(PQfname(r, c), PQftype(r, c), mod, "");
    d.Name = FieldDefs().MakeUniqueName(d.Name);
    FieldDefs().Add(d);
  }
}

void TPgQueryDataSet::InternalClose() {
  batch_.reset();
  last_.clear();
  try {
    CloseCursor();
  } catch (const EDatabaseError&) {
    // The cursor goes with the session in any case.
  }
}

void TPgQueryDataSet::InternalFirst() {
  if (rowNo_ == 0) return;  // just run: nothing read yet
  if (rowNo_ == 1 && firstBatch_ && at_ == 0) {
    at_ = -1;  // still on the first row: hand it out again
    rowNo_ = 0;
    return;
  }
  Execute();
}

void TPgQueryDataSet::InternalLast() { throw EDatabaseError("Operation not allowed on a unidirectional dataset"); }

TDataSet::TGetResult TPgQueryDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmCurrent: return rowNo_ > 0 ? grOK : grEOF;
    case gmPrior: return grBOF;
    case gmNext: break;
  }
  if (batch_ && at_ + 1 < PQntuples(batch_.get())) {
    ++at_;
    ++rowNo_;
    return grOK;
  }
  if (batch_ && at_ >= 0) last_ = RowOf(batch_.get(), at_);  // kept: the next batch replaces the result
  if (!FetchBatch()) {
    at_ = -1;  // past the last row: served from last_
    return grEOF;
  }
  firstBatch_ = false;
  at_ = 0;
  ++rowNo_;
  return grOK;
}

bool TPgQueryDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  if (rowNo_ == 0) return false;
  const int col = field.Index();
  std::string text;
  if (at_ >= 0 && batch_ && at_ < PQntuples(batch_.get())) {
    if (PQgetisnull(batch_.get(), at_, col)) return false;
    text.assign(PQgetvalue(batch_.get(), at_, col), PQgetlength(batch_.get(), at_, col));
  } else {
    if (static_cast<size_t>(col) >= last_.size() || !last_[static_cast<size_t>(col)]) return false;
    text = *last_[static_cast<size_t>(col)];
  }
  if (!PgValueOf(field.DataType(), field.ValueKind(), text, value))
    throw EDatabaseError(Format("Query column '%s', row %d: the value '%s' does not convert to %s", field.FieldName(),
                                rowNo_, text, FieldTypeName(field.DataType())));
  return true;
}

int TPgQueryDataSet::InternalGetRecNo() { return rowNo_ > 0 && rowNo_ <= INT_MAX ? static_cast<int>(rowNo_) : -1; }

}  // namespace kv
