#include "data/SqliteDataSets.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "foundation/Format.h"
#include "foundation/StrUtils.h"

namespace kv {

KV_IMPLEMENT_CLASS(TSqliteTableDataSet, TDataSet)
KV_IMPLEMENT_CLASS(TSqliteQueryDataSet, TDataSet)

namespace {

bool IsBinaryType(TFieldType t) {
  switch (t) {
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftBytes:
    case ftVarBytes:
    case ftOraBlob:
    case ftParadoxOle:
    case ftDBaseOle: return true;
    default: return false;
  }
}

// Integers beyond 2^53 do not survive a double.
constexpr double kExactDoubleLimit = 9007199254740992.0;
// Julian day numbers SQLite's date functions accept (0000-01-01 .. 9999-12-31), and day 0 of TDateTime.
constexpr double kMaxJulianDay = 5373484.5;
constexpr double kJulianDayOfDateTimeZero = 2415018.5;

std::string_view TextOf(sqlite3_stmt* h, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(h, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(h, col))) : std::string_view();
}

std::string_view BlobOf(sqlite3_stmt* h, int col) {
  const auto* p = static_cast<const char*>(sqlite3_column_blob(h, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(h, col))) : std::string_view();
}

// A real that is an integer within the 64-bit range.
bool RealToInteger(double d, int64_t& out) {
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) || std::floor(d) != d) return false;
  out = static_cast<int64_t>(d);
  return true;
}

// Reads column `col` of the row `h` stands on as a value of the field kind
// `kind` (ftVariant: as stored). False when the value is NULL; EConvert
// (returned as `ok` false) when it does not convert without loss.
bool ReadColumn(sqlite3_stmt* h, int col, TFieldType type, TVarType kind, TVariant& out, bool& ok) {
  ok = true;
  const int storage = sqlite3_column_type(h, col);
  if (storage == SQLITE_NULL) return false;
  if (type == ftVariant) {
    switch (storage) {
      case SQLITE_INTEGER: out = TVariant(static_cast<int64_t>(sqlite3_column_int64(h, col))); break;
      case SQLITE_FLOAT: out = TVariant(sqlite3_column_double(h, col)); break;
      case SQLITE_BLOB: out = TVariant(BlobOf(h, col)); break;
      default: out = TVariant(TextOf(h, col)); break;
    }
    return true;
  }
  switch (kind) {
    case varInteger: {
      int64_t i = 0;
      double d = 0;
      if (storage == SQLITE_INTEGER) i = sqlite3_column_int64(h, col);
      else if (storage == SQLITE_FLOAT) ok = RealToInteger(sqlite3_column_double(h, col), i);
      else if (storage == SQLITE_TEXT) ok = TryTextToInteger(TextOf(h, col), i) ||
                                            (TryTextToFloat(TextOf(h, col), d) && RealToInteger(d, i));
      else ok = false;
      if (ok) out = TVariant(i);
      return true;
    }
    case varFloat: {
      double d = 0;
      if (storage == SQLITE_FLOAT) {
        d = sqlite3_column_double(h, col);
      } else if (storage == SQLITE_INTEGER) {
        const int64_t i = sqlite3_column_int64(h, col);
        d = static_cast<double>(i);
        ok = std::fabs(d) <= kExactDoubleLimit;
      } else if (storage == SQLITE_TEXT) {
        ok = TryTextToFloat(TextOf(h, col), d);
      } else {
        ok = false;
      }
      if (ok) out = TVariant(d);
      return true;
    }
    case varBoolean: {
      bool b = false;
      if (storage == SQLITE_INTEGER) b = sqlite3_column_int64(h, col) != 0;
      else if (storage == SQLITE_FLOAT) b = sqlite3_column_double(h, col) != 0.0;
      else if (storage == SQLITE_TEXT) ok = TryTextToBoolean(TextOf(h, col), b);
      else ok = false;
      if (ok) out = TVariant(b);
      return true;
    }
    case varDateTime: {
      TDateTime t = 0;
      if (storage == SQLITE_TEXT) {
        ok = TryTextToDateTime(TextOf(h, col), t);
      } else if (storage == SQLITE_INTEGER || storage == SQLITE_FLOAT) {
        // A number is a Julian day number, as SQLite's date functions read it.
        const double jd = sqlite3_column_double(h, col);
        ok = jd >= 0 && jd <= kMaxJulianDay;
        t = jd - kJulianDayOfDateTimeZero;
      } else {
        ok = false;
      }
      if (ok) out = TVariant::FromDateTime(t);
      return true;
    }
    default:
      switch (storage) {
        case SQLITE_INTEGER: out = TVariant(std::to_string(sqlite3_column_int64(h, col))); break;
        case SQLITE_FLOAT: out = TVariant(FloatToText(sqlite3_column_double(h, col))); break;
        case SQLITE_BLOB: out = TVariant(BlobOf(h, col)); break;
        default: out = TVariant(TextOf(h, col)); break;
      }
      return true;
  }
}

const char* StorageName(int storage) {
  switch (storage) {
    case SQLITE_INTEGER: return "INTEGER";
    case SQLITE_FLOAT: return "REAL";
    case SQLITE_TEXT: return "TEXT";
    case SQLITE_BLOB: return "BLOB";
    default: return "NULL";
  }
}

const char* KindName(TVarType kind) {
  switch (kind) {
    case varInteger: return "an integer";
    case varFloat: return "a number";
    case varBoolean: return "a boolean";
    case varDateTime: return "a date-time";
    default: return "a text";
  }
}

// Binds a value of the edit buffer without copying its text (the buffer
// outlives the step).
int BindRaw(sqlite3_stmt* h, int position, const TVariant& v, bool blob, std::string& scratch) {
  switch (v.Type()) {
    case varInteger: return sqlite3_bind_int64(h, position, v.RawInteger());
    case varFloat: return sqlite3_bind_double(h, position, v.RawFloat());
    case varBoolean: return sqlite3_bind_int(h, position, v.RawBoolean() ? 1 : 0);
    case varString: {
      const std::string& s = v.RawString();
      if (blob)
        return s.empty() ? sqlite3_bind_zeroblob(h, position, 0)
                         : sqlite3_bind_blob64(h, position, s.data(), s.size(), SQLITE_STATIC);
      return sqlite3_bind_text64(h, position, s.data(), s.size(), SQLITE_STATIC, SQLITE_UTF8);
    }
    case varDateTime:
      scratch = DateTimeToText(v.RawFloat());
      return sqlite3_bind_text64(h, position, scratch.data(), scratch.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    case varArray: return SQLITE_MISMATCH;
    default: return sqlite3_bind_null(h, position);
  }
}

[[noreturn]] void RaiseNoConnection(const char* what) {
  throw EDatabaseError(Format("Cannot open the %s: no database connection is set", what));
}

}  // namespace

// ==== TSqliteTableDataSet ==============================================================

TSqliteTableDataSet::TSqliteTableDataSet(std::shared_ptr<TSqliteConnection> connection)
    : connection_(std::move(connection)) {}

TSqliteTableDataSet::~TSqliteTableDataSet() { CloseForDestroy(); }

void TSqliteTableDataSet::SetConnection(std::shared_ptr<TSqliteConnection> connection) {
  Close();
  ReleaseStatements();  // they belong to the old connection
  connection_ = std::move(connection);
}

void TSqliteTableDataSet::SetTableName(const std::string& name) {
  Close();
  ReleaseStatements();
  tableName_ = name;
}

void TSqliteTableDataSet::ReleaseStatements() {
  row_ = nullptr;
  forward_.reset();
  backward_.reset();
  at_.reset();
  updates_.clear();
  delete_.reset();
  deleteAll_.reset();
  count_.reset();
  inserts_.clear();
  multiInserts_.clear();
  fullInsert_ = nullptr;
  locates_.clear();
}

bool TSqliteTableDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "TableName") return false;
  value = tableName_;
  return true;
}

TSqliteConnection& TSqliteTableDataSet::Conn() const {
  if (!connection_) RaiseNoConnection("table");
  if (tableName_.empty()) throw EDatabaseError("Cannot open the table: no table name is set");
  return *connection_;
}

std::string TSqliteTableDataSet::QuotedTable() const { return SqliteQuoteIdentifier(tableName_); }

bool TSqliteTableDataSet::TableExists() { return Conn().Database().TableExists(tableName_); }

TSqliteStatement& TSqliteTableDataSet::Prepared(std::unique_ptr<TSqliteStatement>& slot,
                                                const std::function<std::string()>& sql) {
  if (!slot) slot = Conn().Database().Prepare(sql());
  return *slot;
}

// ---- Creating and emptying ---------------------------------------------------------------

bool TSqliteTableDataSet::CreateTable() {
  TSqliteDatabase& db = Conn().Database();
  if (db.TableExists(tableName_)) return false;
  if (FieldDefs().Count() == 0) throw EDatabaseError(Format("Cannot create table '%s': it has no fields", tableName_));
  std::string sql = "CREATE TABLE " + QuotedTable() + " (";
  for (int i = 0; i < FieldDefs().Count(); ++i) {
    const TFieldDef& d = FieldDefs()[i];
    if (i) sql += ", ";
    sql += SqliteQuoteIdentifier(d.Name);
    const std::string type = SqliteDeclaredTypeOf(d);
    if (!type.empty()) sql += " " + type;
    if (d.Required()) sql += " NOT NULL";
  }
  auto columnList = [](const TIndexDef& x) {
    std::string list;
    const std::vector<std::string> desc = SplitFieldNames(x.DescFields);
    const std::vector<std::string> nocase = SplitFieldNames(x.CaseInsFields);
    auto in = [](const std::vector<std::string>& names, const std::string& n) {
      for (const std::string& m : names)
        if (SameTextAscii(m, n)) return true;
      return false;
    };
    for (const std::string& f : SplitFieldNames(x.Fields)) {
      if (!list.empty()) list += ", ";
      list += SqliteQuoteIdentifier(f);
      if (x.Has(ixCaseInsensitive) || in(nocase, f)) list += " COLLATE NOCASE";
      if (x.Has(ixDescending) || in(desc, f)) list += " DESC";
    }
    return list;
  };
  std::vector<std::string> indexes;
  for (const TIndexDef& x : IndexDefs()) {
    if (x.Has(ixExpression))
      throw EDatabaseError(Format("Cannot create table '%s': index '%s' is an expression index", tableName_, x.Name));
    const std::vector<std::string> keyFields = SplitFieldNames(x.Fields);
    if (keyFields.empty())
      throw EDatabaseError(Format("Cannot create table '%s': index '%s' has no fields", tableName_, x.Name));
    for (const std::string& f : keyFields)
      if (FieldDefs().IndexOf(f) < 0)
        throw EDatabaseError(Format("Cannot create table '%s': index '%s' names field '%s', which it does not have",
                                    tableName_, x.Name, f));
    if (x.Has(ixPrimary)) {
      sql += ", PRIMARY KEY (" + columnList(x) + ")";
      continue;
    }
    std::string name = x.Name.empty() ? tableName_ + "_index" + std::to_string(indexes.size() + 1) : x.Name;
    // Index names are one namespace per database file: a name another table's index has gets the table's prefix.
    auto taken = db.Prepare("SELECT 1 FROM sqlite_schema WHERE type = 'index' AND name = ?1 COLLATE NOCASE");
    taken->Bind(1, TVariant(name));
    if (taken->Step()) name = tableName_ + "_" + name;
    indexes.push_back(std::string(x.Has(ixUnique) ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                      SqliteQuoteIdentifier(name) + " ON " + QuotedTable() + " (" + columnList(x) + ")");
  }
  sql += ")";
  // The table and its indexes come into being together or not at all.
  TSqliteSavepoint step(db, "create_table");
  db.Exec(sql);
  for (const std::string& s : indexes) db.Exec(s);
  step.Release();
  return true;
}

int64_t TSqliteTableDataSet::EmptyTable() {
  TSqliteConnection& conn = Conn();
  if (Active()) CheckBrowseMode();
  auto& st = Prepared(deleteAll_, [&] { return "DELETE FROM " + QuotedTable(); });
  conn.BeginWrite();
  int64_t removed = 0;
  try {
    removed = st.Execute();
  } catch (const Exception& e) {
    st.Reset();
    conn.WriteFailed(e);
    throw;
  }
  conn.WriteDone(postRecords_);
  // A closed dataset has no close to commit at: the removal is committed now.
  if (!Active()) conn.CommitPending();
  wrote_ = Active();
  if (Active()) {
    recordCount_ = 0;
    pos_ = TPos::BeforeFirst;
    row_ = nullptr;
    recNo_ = 0;
    Resync();
  }
  return removed;
}

void TSqliteTableDataSet::Commit() {
  if (connection_) connection_->CommitPending();
}

// ---- Opening -------------------------------------------------------------------------------

void TSqliteTableDataSet::ReadDefinitions() {
  TSqliteDatabase& db = Conn().Database();
  auto kind = db.Prepare("SELECT type FROM sqlite_schema WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE");
  kind->Bind(1, TVariant(tableName_));
  if (kind->Step() && kind->Column(0).AsString() == "view")
    throw EDatabaseError(Format("%s: cannot open '%s' as a table: it is a view; open it with a query", db.Path(),
                                tableName_));
  // A trigger may end an insert of several rows keeping some of them
  // (RAISE(FAIL)): rows of a table with triggers go one by one.
  auto triggers = db.Prepare("SELECT 1 FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1 COLLATE NOCASE");
  triggers->Bind(1, TVariant(tableName_));
  rowsAtOnce_ = !triggers->Step();
  triggers->Reset();
  const std::vector<TSqliteColumnInfo> cols = db.TableColumns(tableName_);
  FieldDefs().Clear();
  columns_.clear();
  std::vector<std::pair<int, std::string>> pk;
  for (const TSqliteColumnInfo& c : cols) {
    TFieldDef d = SqliteFieldDefOf(c.Name, c.DeclaredType);
    // A NOT NULL column with a default may be left out of an insert: only one without is required.
    d.SetRequired(c.NotNull && c.DefaultValue.empty());
    FieldDefs().Add(d);
    columns_.push_back({SqliteQuoteIdentifier(c.Name), !c.DefaultValue.empty(), IsBinaryType(d.DataType)});
    if (c.PrimaryKey > 0) pk.emplace_back(c.PrimaryKey, c.Name);
  }
  // A one-column primary key declared INTEGER may be the rowid under another name.
  rowidColumn_ = -1;
  if (pk.size() == 1)
    for (size_t i = 0; i < cols.size(); ++i)
      if (cols[i].PrimaryKey == 1 && SameTextAscii(Trim(cols[i].DeclaredType), "INTEGER"))
        rowidColumn_ = static_cast<int>(i);
  IndexDefs().Clear();
  std::sort(pk.begin(), pk.end());
  std::string pkFields;
  for (const auto& p : pk) pkFields += (pkFields.empty() ? "" : ";") + p.second;
  if (!pkFields.empty())
    IndexDefs().Add("PRIMARY", pkFields,
                    static_cast<TIndexOptions>((1u << ixPrimary) | (1u << ixUnique)));
  for (const TSqliteIndexInfo& x : db.TableIndexes(tableName_)) {
    if (x.Origin == "pk") continue;  // the primary index above
    std::string fields;
    bool expression = false;
    for (const std::string& c : x.Columns) {
      expression = expression || c.empty();
      fields += (fields.empty() ? "" : ";") + c;
    }
    if (expression) continue;  // an index on expressions has no field list
    IndexDefs().Add(x.Name, fields, x.Unique ? static_cast<TIndexOptions>(1u << ixUnique) : 0);
  }
  // The name the rowid goes by: a column may have taken "rowid".
  rowidName_.clear();
  for (const char* alias : {"rowid", "_rowid_", "oid"})
    if (FieldDefs().IndexOf(alias) < 0) {
      rowidName_ = alias;
      break;
    }
  if (rowidName_.empty())
    throw EDatabaseError(Format("%s: cannot open table '%s': its columns hide the rowid", db.Path(), tableName_));
}

void TSqliteTableDataSet::PrepareCursor() {
  std::string cols = rowidName_;
  for (const TColumn& c : columns_) cols += ", " + c.quoted;
  const std::string from = " FROM " + QuotedTable() + " WHERE " + rowidName_;
  try {
    forward_ = Conn().Database().Prepare("SELECT " + cols + from + " >= ?1 ORDER BY " + rowidName_);
  } catch (const EDatabaseError& e) {
    throw EDatabaseError(Format("Cannot open table '%s' (a table without rowid opens with a query): %s", tableName_,
                                e.Message()));
  }
  backward_ = Conn().Database().Prepare("SELECT " + cols + from + " <= ?1 ORDER BY " + rowidName_ + " DESC");
  at_ = Conn().Database().Prepare("SELECT " + cols + from + " = ?1");
}

void TSqliteTableDataSet::InternalOpen() {
  TSqliteConnection& conn = Conn();
  ReadDefinitions();
  PrepareCursor();
  auto count = conn.Database().Prepare("SELECT count(*) FROM " + QuotedTable());
  count->Step();
  recordCount_ = sqlite3_column_int64(count->Handle(), 0);
  pos_ = TPos::BeforeFirst;
  row_ = nullptr;
  recNo_ = 0;
  wrote_ = false;
}

void TSqliteTableDataSet::InternalClose() {
  ReleaseStatements();
  pos_ = TPos::BeforeFirst;
  if (wrote_ && connection_) {
    wrote_ = false;
    connection_->CommitPending();
  }
}

// ---- The cursor ------------------------------------------------------------------------------

bool TSqliteTableDataSet::StepTo(TSqliteStatement& st) {
  if (!st.Step()) {
    st.Reset();
    return false;
  }
  rowid_ = sqlite3_column_int64(st.Handle(), 0);
  pos_ = TPos::OnRow;
  row_ = &st;
  rowGeneration_ = connection_->Generation();
  return true;
}

bool TSqliteTableDataSet::Seek(int64_t rowid) {
  at_->Reset();
  sqlite3_bind_int64(at_->Handle(), 1, rowid);
  if (StepTo(*at_)) return true;
  if (row_ == at_.get()) row_ = nullptr;
  return false;
}

TSqliteStatement* TSqliteTableDataSet::CurrentRow() {
  if (pos_ != TPos::OnRow) return nullptr;
  if (row_ && rowGeneration_ == connection_->Generation()) return row_;
  LeaveRow();
  return Seek(rowid_) ? row_ : nullptr;
}

void TSqliteTableDataSet::LeaveRow() {
  if (row_) row_->Reset();
  row_ = nullptr;
}

void TSqliteTableDataSet::InternalFirst() {
  pos_ = TPos::BeforeFirst;
  recNo_ = 0;
}

void TSqliteTableDataSet::InternalLast() {
  pos_ = TPos::AfterLast;
  recNo_ = 0;
}

TDataSet::TGetResult TSqliteTableDataSet::Move(bool forward) {
  TSqliteStatement& st = forward ? *forward_ : *backward_;
  const TPos from = pos_;
  if (forward ? from == TPos::AfterLast : from == TPos::BeforeFirst) return forward ? grEOF : grBOF;
  if (from == TPos::OnRow && rowid_ == (forward ? INT64_MAX : INT64_MIN)) return forward ? grEOF : grBOF;
  // Going on in the same direction from the row the statement stands on needs no new search.
  const bool streaming = from == TPos::OnRow && row_ == &st && rowGeneration_ == connection_->Generation();
  if (!streaming) {
    LeaveRow();
    st.Reset();
    const int64_t bound = from == TPos::OnRow ? (forward ? rowid_ + 1 : rowid_ - 1) : (forward ? INT64_MIN : INT64_MAX);
    sqlite3_bind_int64(st.Handle(), 1, bound);
  }
  const int64_t recNo = recNo_;
  if (!StepTo(st)) {
    if (row_ == &st) row_ = nullptr;  // the current row stays; it is read again when needed
    return forward ? grEOF : grBOF;
  }
  if (from == TPos::BeforeFirst) recNo_ = 1;
  else recNo_ = recNo > 0 ? (forward ? recNo + 1 : recNo - 1) : 0;
  return grOK;
}

TDataSet::TGetResult TSqliteTableDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmNext: return Move(true);
    case gmPrior: return Move(false);
    case gmCurrent:
      if (pos_ != TPos::OnRow) return grEOF;
      if (rowGeneration_ == connection_->Generation()) return grOK;
      return CurrentRow() ? grOK : grEOF;
  }
  return grEOF;
}

void TSqliteTableDataSet::RaiseConversion(const TField& field, int storage) const {
  throw EDatabaseError(Format("Table '%s', column '%s', row %d: the %s value does not convert to %s", tableName_,
                              field.FieldName(), rowid_, StorageName(storage), KindName(field.ValueKind())));
}

bool TSqliteTableDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  TSqliteStatement* st = CurrentRow();
  if (!st) return false;
  const int col = field.Index() + 1;
  bool ok = true;
  if (!ReadColumn(st->Handle(), col, field.DataType(), field.ValueKind(), value, ok)) return false;
  if (!ok) RaiseConversion(field, sqlite3_column_type(st->Handle(), col));
  return true;
}

bool TSqliteTableDataSet::InternalGetFieldText(const TField& field, std::string_view& text) {
  if (field.ValueKind() != varString || field.DataType() == ftVariant) return false;
  TSqliteStatement* st = CurrentRow();
  if (!st) return false;
  const int col = field.Index() + 1;
  switch (sqlite3_column_type(st->Handle(), col)) {
    case SQLITE_TEXT: text = TextOf(st->Handle(), col); return true;
    case SQLITE_BLOB: text = BlobOf(st->Handle(), col); return true;
    default: return false;  // NULL and numbers take the general way
  }
}

int TSqliteTableDataSet::InternalRecordCount() {
  return recordCount_ > INT_MAX ? INT_MAX : static_cast<int>(recordCount_);
}

int TSqliteTableDataSet::InternalGetRecNo() {
  if (pos_ != TPos::OnRow) return -1;
  if (recNo_ == 0) {
    auto& st = Prepared(count_, [&] { return "SELECT count(*) FROM " + QuotedTable() + " WHERE " + rowidName_ + " <= ?1"; });
    sqlite3_bind_int64(st.Handle(), 1, rowid_);
    st.Step();
    recNo_ = sqlite3_column_int64(st.Handle(), 0);
    st.Reset();
  }
  return recNo_ > INT_MAX ? -1 : static_cast<int>(recNo_);
}

void TSqliteTableDataSet::InternalSetRecNo(int value) {
  if (value < 1) throw EDatabaseError("SetRecNo: out of range");
  auto st = Conn().Database().Prepare("SELECT " + rowidName_ + " FROM " + QuotedTable() + " ORDER BY " + rowidName_ +
                                      " LIMIT 1 OFFSET ?1");
  sqlite3_bind_int64(st->Handle(), 1, value - 1);
  if (!st->Step() || !Seek(sqlite3_column_int64(st->Handle(), 0))) throw EDatabaseError("SetRecNo: out of range");
  recNo_ = value;
}

TBookmark TSqliteTableDataSet::InternalGetBookmark() { return pos_ == TPos::OnRow ? rowid_ : kNoBookmark; }

void TSqliteTableDataSet::InternalGotoBookmark(TBookmark bookmark) {
  if (!Seek(bookmark)) throw EDatabaseError("Bookmark not found");
  recNo_ = 0;
}

// ---- Writing ---------------------------------------------------------------------------------

bool TSqliteTableDataSet::InternalCanModify() const {
  return connection_ && !connection_->Database().IsReadOnly();
}

void TSqliteTableDataSet::InternalInitRecord(std::vector<TVariant>& values) {
  values.assign(columns_.size(), TVariant::Null());
  // Unassigned (not null): a column with a default is left out of the insert unless it is set.
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].hasDefault) values[i] = TVariant();
}

void TSqliteTableDataSet::BindValue(TSqliteStatement& st, int position, size_t column, const TVariant& value) {
  const int rc = BindRaw(st.Handle(), position, value, columns_[column].blob, scratch_);
  if (rc != SQLITE_OK)
    throw EDatabaseError(Format("Table '%s', column '%s': cannot bind the value: %s", tableName_,
                                FieldDefs()[static_cast<int>(column)].Name, sqlite3_errstr(rc)));
}

template <class TValueOf>
TSqliteStatement& TSqliteTableDataSet::InsertStatement(const TValueOf& value) {
  if (fullInsert_ && !anyDefault_) return *fullInsert_;
  std::string key(columns_.size(), '1');
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].hasDefault && value(i).IsEmpty()) key[i] = '0';
  auto& slot = inserts_[key];
  if (!slot) {
    std::string names, params;
    int n = 0;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (key[i] == '0') continue;
      names += (n ? ", " : "") + columns_[i].quoted;
      params += (n ? ", ?" : "?") + std::to_string(n + 1);
      ++n;
    }
    slot = Conn().Database().Prepare(n == 0 ? "INSERT INTO " + QuotedTable() + " DEFAULT VALUES"
                                            : "INSERT INTO " + QuotedTable() + " (" + names + ") VALUES (" + params + ")");
  }
  if (key.find('0') == std::string::npos) {
    fullInsert_ = slot.get();
    anyDefault_ = false;
    for (const TColumn& c : columns_) anyDefault_ = anyDefault_ || c.hasDefault;
  }
  return *slot;
}

bool TSqliteTableDataSet::RunWrite(TSqliteStatement& st, int64_t& returned) {
  TSqliteConnection& conn = *connection_;
  // A statement standing on a row holds a read snapshot; beginning to write from an old one fails
  // at once (no waiting) when another connection committed meanwhile, so let it go first.
  if (!conn.Database().InTransaction()) LeaveRow();
  conn.BeginWrite();
  bool row = false;
  try {
    row = st.Step();
    if (row) returned = sqlite3_column_int64(st.Handle(), 0);
    st.Reset();
  } catch (const Exception& e) {
    st.Reset();
    conn.WriteFailed(e);
    throw;
  }
  wrote_ = true;
  conn.WriteDone(postRecords_);
  return row;
}

template <class TValueOf>
void TSqliteTableDataSet::InsertRow(const TValueOf& value) {
  TSqliteStatement& st = InsertStatement(value);
  int position = 0;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (!(columns_[i].hasDefault && value(i).IsEmpty())) BindValue(st, ++position, i, value(i));
  int64_t none = 0;
  RunWrite(st, none);
  rowid_ = connection_->Database().LastInsertRowId();
  ++recordCount_;
  recNo_ = 0;
}

void TSqliteTableDataSet::InternalAppendValues(const TVariant* const* values) {
  InsertRow([values](size_t i) -> const TVariant& { return *values[i]; });
  LeaveRow();
  pos_ = TPos::OnRow;
  rowGeneration_ = connection_->Generation();
}

namespace {
// Rows one insert statement takes at most: the statement's own cost
// (running, resetting, ending it) is paid once for them all.
constexpr size_t kRowsPerInsert = 16;
}  // namespace

// Rows of every column go several to a statement; a statement SQLite
// refuses undoes itself, and its rows then go one by one, so that the rows
// before the refused one are stored and its own error is raised.
void TSqliteTableDataSet::InternalAppendRows(const TVariant* const* values, size_t rows, size_t& stored) {
  stored = 0;
  const size_t width = columns_.size();
  if (!fullInsert_) InsertStatement([values](size_t i) -> const TVariant& { return *values[i]; });
  const int maxParams = sqlite3_limit(Conn().Database().Handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1);
  const size_t perInsert =
      width == 0 ? 1 : std::max<size_t>(1, std::min(kRowsPerInsert, static_cast<size_t>(maxParams) / width));
  while (stored < rows) {
    // Never across a commit: transactions hold PostRecords writes as row by row.
    const int64_t room = Conn().WritesBeforeCommit(postRecords_);
    const size_t n = std::min({rows - stored, perInsert, static_cast<size_t>(std::min<int64_t>(room, INT32_MAX))});
    const bool atOnce = rowsAtOnce_ && !anyDefault_ && n >= 2;
    if (!atOnce || !InsertRowsAtOnce(values + stored * width, n)) {
      const size_t last = stored + (atOnce ? n : 1);
      for (; stored < last; ++stored) InternalAppendValues(values + stored * width);
      continue;
    }
    stored += n;
  }
}

bool TSqliteTableDataSet::InsertRowsAtOnce(const TVariant* const* values, size_t rows) {
  const size_t width = columns_.size();
  auto& slot = multiInserts_[rows];
  if (!slot) {
    // OR ABORT: whatever conflict clauses the table declares, a refused row
    // undoes the whole statement; the rows then go one by one under the
    // table's own clauses.
    std::string sql = "INSERT OR ABORT INTO " + QuotedTable() + " (";
    for (size_t i = 0; i < width; ++i) sql += (i ? ", " : "") + columns_[i].quoted;
    sql += ") VALUES ";
    for (size_t r = 0; r < rows; ++r) {
      sql += r ? ", (" : "(";
      for (size_t i = 0; i < width; ++i) sql += i ? ", ?" : "?";
      sql += ")";
    }
    slot = Conn().Database().Prepare(sql);
  }
  TSqliteStatement& st = *slot;
  for (size_t k = 0; k < rows * width; ++k) BindValue(st, static_cast<int>(k + 1), k % width, *values[k]);
  TSqliteConnection& conn = *connection_;
  if (!conn.Database().InTransaction()) LeaveRow();
  conn.BeginWrite();
  try {
    st.Step();
    st.Reset();
  } catch (const Exception& e) {
    st.Reset();
    // Raises when SQLite ended the transaction; otherwise the rows go one by one.
    conn.WriteFailed(e);
    return false;
  }
  wrote_ = true;
  conn.WriteDone(postRecords_, static_cast<int64_t>(rows));
  rowid_ = conn.Database().LastInsertRowId();
  recordCount_ += static_cast<int64_t>(rows);
  recNo_ = 0;
  LeaveRow();
  pos_ = TPos::OnRow;
  rowGeneration_ = conn.Generation();
  return true;
}

void TSqliteTableDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool) {
  if (inserting) {
    InsertRow([&values](size_t i) -> const TVariant& { return values[i]; });
  } else {
    UpdateRow([&values](size_t i) { return &values[i]; });
  }
  // The row was just written: it stands there at this generation without a statement on it.
  LeaveRow();
  pos_ = TPos::OnRow;
  rowGeneration_ = connection_->Generation();
}

// The rowid changes when the row's INTEGER PRIMARY KEY (the rowid under
// another name) does: then the update's RETURNING tells the new one. When
// it cannot change, a plain UPDATE does (RETURNING costs SQLite a
// temporary table per row) and the count of changed rows tells whether the
// row was still there.
// `value(i)` is the new value of column i, or null for a column that keeps
// its own (left out of the statement).
template <class TValueOf>
void TSqliteTableDataSet::UpdateRow(const TValueOf& value) {
  const TVariant* key = rowidColumn_ >= 0 ? value(static_cast<size_t>(rowidColumn_)) : nullptr;
  const bool rowidKept = !key || (key->Type() == varInteger && key->RawInteger() == rowid_);
  // A rowid column that keeps its value is left out of the SET list:
  // assigning it makes SQLite move the row (delete and insert it again).
  std::string set(columns_.size() + 1, '0');
  set.back() = rowidKept ? 'K' : 'R';
  for (size_t i = 0; i < columns_.size(); ++i)
    if (value(i) && !(rowidKept && static_cast<int>(i) == rowidColumn_)) set[i] = '1';
  auto& slot = updates_[set];
  if (!slot) {
    std::string sets;
    int n = 0;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (set[i] == '0') continue;
      sets += (n ? ", " : "") + columns_[i].quoted + " = ?";
      sets += std::to_string(++n);
    }
    // Nothing to change: the statement still tells whether the row is there.
    if (n == 0) sets = rowidName_ + " = " + rowidName_;
    slot = Conn().Database().Prepare("UPDATE " + QuotedTable() + " SET " + sets + " WHERE " + rowidName_ + " = ?" +
                                     std::to_string(n + 1) + (rowidKept ? std::string() : " RETURNING " + rowidName_));
  }
  TSqliteStatement& st = *slot;
  int position = 0;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (set[i] == '1') BindValue(st, ++position, i, *value(i));
  sqlite3_bind_int64(st.Handle(), position + 1, rowid_);
  int64_t rowid = rowid_;
  const bool returned = RunWrite(st, rowid);
  if (rowidKept ? connection_->Database().Changes() == 0 : !returned)
    throw EDatabaseError(Format("Table '%s': the row being edited (rowid %d) no longer exists", tableName_, rowid_));
  if (rowid != rowid_) recNo_ = 0;
  rowid_ = rowid;
}

void TSqliteTableDataSet::InternalUpdateValues(const TVariant* const* values) {
  if (pos_ != TPos::OnRow) throw EDatabaseError(Format("Table '%s': no row to change", tableName_));
  UpdateRow([values](size_t i) { return values[i]; });
  LeaveRow();
  pos_ = TPos::OnRow;
  rowGeneration_ = connection_->Generation();
}

void TSqliteTableDataSet::InternalDelete() {
  if (pos_ != TPos::OnRow) return;
  TSqliteStatement& st = Prepared(delete_, [&] { return "DELETE FROM " + QuotedTable() + " WHERE " + rowidName_ + " = ?1"; });
  sqlite3_bind_int64(st.Handle(), 1, rowid_);
  LeaveRow();
  int64_t none = 0;
  RunWrite(st, none);
  if (connection_->Database().Changes() > 0 && recordCount_ > 0) --recordCount_;
  // To the row that followed, else the new last row.
  const int64_t recNo = recNo_;
  if (Move(true) == grOK) {
    recNo_ = recNo;
    return;
  }
  if (Move(false) == grOK) return;
  pos_ = TPos::BeforeFirst;
  recNo_ = 0;
}

// ---- Locate ------------------------------------------------------------------------------------

std::string TSqliteTableDataSet::LocateSql(const std::vector<TField*>& fields, TLocateOptions options) const {
  const bool caseIns = options & LocateOptionBit(loCaseInsensitive);
  const bool partial = options & LocateOptionBit(loPartialKey);
  std::string where;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField& f = *fields[i];
    const std::string c = columns_[static_cast<size_t>(f.Index())].quoted;
    const std::string p = "?" + std::to_string(i + 1);
    const std::string collate = caseIns ? " COLLATE NOCASE" : "";
    if (!where.empty()) where += " AND ";
    if (f.ValueKind() == varString && partial)
      where += "(CASE WHEN " + p + " IS NULL THEN " + c + " IS NULL ELSE substr(" + c + ", 1, length(" + p + ")) = " +
               p + collate + " END)";
    else if (f.ValueKind() == varString)
      where += c + " IS " + p + collate;
    else if (f.ValueKind() == varDateTime)
      where += "(CASE WHEN " + p + " IS NULL THEN " + c + " IS NULL ELSE julianday(" + c + ") = julianday(" + p +
               ") END)";
    else
      where += c + " IS " + p;
  }
  // The rowid alone: a record located to be changed is written without
  // being read, and one that is read is read by rowid when it is.
  return "SELECT " + rowidName_ + " FROM " + QuotedTable() + " WHERE " + where + " ORDER BY " + rowidName_ + " LIMIT 1";
}

namespace {

// The searched value as SQLite is to compare it with a column of the
// field's kind (the generic Locate's rules); false when it does not convert,
// so that no row can match.
bool LocateKey(const TField& f, const TVariant& v, TVariant& out) {
  if (v.IsNullOrEmpty()) {
    out = TVariant::Null();
    return true;
  }
  if (v.IsArray()) return false;
  try {
    switch (f.ValueKind()) {
      case varInteger: {
        if (v.Type() == varInteger) {
          out = v;
          return true;
        }
        const double d = v.AsFloat();
        int64_t i = 0;
        out = RealToInteger(d, i) ? TVariant(i) : TVariant(d);
        return true;
      }
      case varFloat: out = TVariant(v.AsFloat()); return true;
      case varBoolean: out = TVariant(int64_t{v.AsBoolean() ? 1 : 0}); return true;
      case varDateTime: out = TVariant(DateTimeToText(v.AsDateTime())); return true;
      default: out = f.DataType() == ftVariant ? v : TVariant(v.AsString()); return true;
    }
  } catch (const Exception&) {
    return false;
  }
}

}  // namespace

bool TSqliteTableDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                                         TLocateOptions options) {
  std::string& key = locateKey_;
  key.assign(1, static_cast<char>('0' + options));
  for (const TField* f : fields) {
    key += ';';
    key += std::to_string(f->Index());
  }
  std::vector<TVariant>& bound = locateBound_;
  bound.resize(fields.size());
  for (size_t i = 0; i < fields.size(); ++i)
    if (!LocateKey(*fields[i], values[i], bound[i])) return false;
  auto& slot = locates_[key];
  TSqliteStatement& st = Prepared(slot, [&] { return LocateSql(fields, options); });
  // The statement may stand on the current row (found by the last locate): the cursor lets go of it
  // and positions again when it reads before moving.
  LeaveRow();
  st.Reset();
  for (size_t i = 0; i < bound.size(); ++i) st.Bind(static_cast<int>(i + 1), bound[i]);
  if (!StepTo(st)) return false;  // not found: the cursor stays where it was
  LeaveRow();  // the statement holds the rowid only
  recNo_ = 0;
  Resync();  // the base's cursor flags follow the engine's new row
  return true;
}

// ==== TSqliteQueryDataSet ================================================================

TSqliteQueryDataSet::TSqliteQueryDataSet(std::shared_ptr<TSqliteConnection> connection)
    : connection_(std::move(connection)) {}

TSqliteQueryDataSet::~TSqliteQueryDataSet() { CloseForDestroy(); }

void TSqliteQueryDataSet::SetConnection(std::shared_ptr<TSqliteConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TSqliteQueryDataSet::SetSQL(const std::string& sql) {
  Close();
  sql_ = sql;
}

bool TSqliteQueryDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "SQL") return false;
  value = sql_;
  return true;
}

void TSqliteQueryDataSet::Execute() {
  stmt_->Reset();
  ++executions_;
  pending_ = stmt_->Step();
  done_ = !pending_;
  onRow_ = false;
  rowNo_ = 0;
}

void TSqliteQueryDataSet::InternalOpen() {
  if (!connection_) RaiseNoConnection("query");
  TSqliteDatabase& db = connection_->Database();
  stmt_ = db.Prepare(sql_);
  if (stmt_->ColumnCount() == 0 || !stmt_->IsReadOnly())
    throw EDatabaseError(db.Path() + ": cannot open the query: only a statement that reads rows (SELECT) can be "
                                     "opened as a query");
  Execute();
  std::vector<std::string> names;
  for (int i = 0; i < stmt_->ColumnCount(); ++i) names.push_back(stmt_->ColumnName(i));
  names = MakeUniqueNames(std::move(names));
  FieldDefs().Clear();
  IndexDefs().Clear();
  for (int i = 0; i < stmt_->ColumnCount(); ++i) {
    const std::string declared = stmt_->DeclaredType(i);
    TFieldDef d;
    if (!declared.empty()) {
      d = SqliteFieldDefOf(names[static_cast<size_t>(i)], declared);
    } else {
      // An expression: the first row's class tells the kind.
      d.Name = names[static_cast<size_t>(i)];
      switch (pending_ ? stmt_->ColumnStorage(i) : TSqliteStorage::Null) {
        case TSqliteStorage::Integer: d.DataType = ftLargeint; break;
        case TSqliteStorage::Real: d.DataType = ftFloat; break;
        case TSqliteStorage::Blob: d.DataType = ftBlob; break;
        default: d.DataType = ftMemo; break;
      }
    }
    FieldDefs().Add(d);
  }
  last_.assign(static_cast<size_t>(stmt_->ColumnCount()), TVariant::Null());
}

void TSqliteQueryDataSet::InternalClose() {
  stmt_.reset();
  pending_ = onRow_ = done_ = false;
  rowNo_ = 0;
}

void TSqliteQueryDataSet::InternalFirst() {
  if (rowNo_ == 0 && (pending_ || done_)) return;  // the statement has just run: nothing read yet
  if (rowNo_ == 1 && onRow_) {
    // Still on the first row with nothing read beyond it: hand it out again.
    pending_ = true;
    onRow_ = false;
    rowNo_ = 0;
    return;
  }
  Execute();
}

void TSqliteQueryDataSet::InternalLast() { throw EDatabaseError("Operation not allowed on a unidirectional dataset"); }

TDataSet::TGetResult TSqliteQueryDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmCurrent: return onRow_ || (rowNo_ > 0) ? grOK : grEOF;
    case gmPrior: return grBOF;
    case gmNext: break;
  }
  if (pending_) {
    pending_ = false;
    onRow_ = true;
    ++rowNo_;
    return grOK;
  }
  if (done_) return grEOF;
  // Keep the current row: the statement is about to go past it.
  if (onRow_) {
    sqlite3_stmt* h = stmt_->Handle();
    for (int i = 0; i < FieldCount(); ++i) {
      const TField& f = Fields(i);
      bool ok = true;
      TVariant& slot = last_[static_cast<size_t>(i)];
      if (!ReadColumn(h, i, ftVariant, f.ValueKind(), slot, ok)) slot = TVariant::Null();
    }
  }
  if (stmt_->Step()) {
    onRow_ = true;
    ++rowNo_;
    return grOK;
  }
  done_ = true;
  onRow_ = false;
  return grEOF;
}

bool TSqliteQueryDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  const auto i = static_cast<size_t>(field.Index());
  if (!onRow_) {
    // Past the last row: the copy kept of it, in the field's kind.
    if (rowNo_ == 0 || last_[i].IsNullOrEmpty()) return false;
    value = field.Convert(last_[i]);
    return true;
  }
  bool ok = true;
  const int col = field.Index();
  if (!ReadColumn(stmt_->Handle(), col, field.DataType(), field.ValueKind(), value, ok)) return false;
  if (!ok)
    throw EDatabaseError(Format("Query column '%s', row %d: the %s value does not convert to %s", field.FieldName(),
                                rowNo_, StorageName(sqlite3_column_type(stmt_->Handle(), col)),
                                KindName(field.ValueKind())));
  return true;
}

int TSqliteQueryDataSet::InternalGetRecNo() { return rowNo_ > 0 && rowNo_ <= INT_MAX ? static_cast<int>(rowNo_) : -1; }

}  // namespace kv
