#include "data/OdbcDataSets.h"

#include <sqlucode.h>

#include <algorithm>
#include <climits>
#include <exception>

#include "data/SqliteDataSets.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"
#include "foundation/Utf8.h"

namespace kv {

KV_IMPLEMENT_CLASS(TOdbcTableDataSet, TDataSet)
KV_IMPLEMENT_CLASS(TOdbcQueryDataSet, TDataSet)

namespace {

bool IsBinaryField(TFieldType t) {
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

[[noreturn]] void RaiseNoConnection(const char* what) {
  throw EDatabaseError(Format("Cannot open the %s: no database connection is set", what));
}

int32_t ClampSize(int64_t size) { return size < 0 ? 0 : size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size); }

// Reads one column of the row `st` stands on as a value of `type`.
bool ReadValue(TOdbcStatement& st, int column, TFieldType type, TVariant& out) {
  if (type == ftTime) return st.ReadTimeOfDay(column, out);
  const auto kind = static_cast<TVarType>(FieldTypeValueKind(type));
  return st.Read(column, type == ftVariant ? varString : kind, IsBinaryField(type), out);
}

// A catalog function's text column; "" for NULL.
std::string CatalogText(TOdbcStatement& st, int column) {
  std::string s;
  return st.ReadText(column, s) ? s : std::string();
}

int64_t CatalogInteger(TOdbcStatement& st, int column, int64_t none = 0) {
  TVariant v;
  return st.Read(column, varInteger, false, v) ? v.RawInteger() : none;
}

// A name as a catalog function's search pattern takes it: _ and % escaped.
std::string CatalogPattern(const std::string& name, const std::string& escape) {
  if (escape.empty()) return name;
  std::string out;
  for (char c : name) {
    if (c == '_' || c == '%' || escape.find(c) != std::string::npos) out += escape;
    out += c;
  }
  return out;
}

bool IsSqlite(const std::string& dbms) { return AsciiUpperCase(dbms).find("SQLITE") != std::string::npos; }

}  // namespace

// ---- Type mapping ----------------------------------------------------------------------------

namespace {

bool IsTextType(int sqlType) {
  return sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_LONGVARCHAR || sqlType == SQL_WCHAR ||
         sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
}

// A type name "NUMERIC(10,2)", "DECIMAL(8)" or "NUMBER(10, 2)": true with its
// size and precision (0 when not given).
bool ParseDecimalTypeName(const std::string& typeName, int64_t& size, int& digits) {
  const std::string upper = AsciiUpperCase(typeName);
  const size_t open = upper.find('(');
  std::string base = upper.substr(0, open);
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base != "NUMERIC" && base != "DECIMAL" && base != "NUMBER") return false;
  size = 0;
  digits = 0;
  if (open == std::string::npos) return true;
  int64_t values[2] = {0, 0};
  int n = 0;
  for (size_t i = open + 1; i < upper.size() && upper[i] != ')'; ++i) {
    const char c = upper[i];
    if (c == ',') {
      if (++n > 1) return false;
    } else if (c >= '0' && c <= '9') {
      values[n] = std::min<int64_t>(values[n] * 10 + (c - '0'), 1000);
    } else if (c != ' ') {
      return false;
    }
  }
  size = values[0];
  digits = static_cast<int>(values[1]);
  return true;
}

}  // namespace

TFieldDef OdbcFieldDefOf(const std::string& name, int sqlType, const std::string& typeName, int64_t size,
                         int digits) {
  // Drivers without a decimal type of their own (SQLite's) report a declared
  // NUMERIC(p,s) as text: the type name tells.
  int64_t declaredSize = 0;
  int declaredDigits = 0;
  if ((IsTextType(sqlType) || sqlType == SQL_UNKNOWN_TYPE) &&
      ParseDecimalTypeName(typeName, declaredSize, declaredDigits)) {
    sqlType = SQL_DECIMAL;
    size = declaredSize;
    digits = declaredDigits;
  }
  TFieldDef d;
  d.Name = name;
  d.DataTypeName = typeName;
  switch (sqlType) {
    case SQL_BIT: d.DataType = ftBoolean; break;
    case SQL_TINYINT:
    case SQL_SMALLINT: d.DataType = ftSmallint; break;
    case SQL_INTEGER: d.DataType = ftInteger; break;
    case SQL_BIGINT: d.DataType = ftLargeint; break;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: d.DataType = ftFloat; break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      d.DataType = ftFMTBcd;
      d.Size = ClampSize(size);
      d.Precision = digits < 0 ? 0 : digits;
      break;
    case SQL_TYPE_DATE:
    case SQL_DATE: d.DataType = ftDate; break;
    case SQL_TYPE_TIME:
    case SQL_TIME: d.DataType = ftTime; break;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: d.DataType = ftDateTime; break;
    case SQL_CHAR:
    case SQL_WCHAR:
      d.DataType = ftFixedChar;
      d.Size = ClampSize(size);
      break;
    case SQL_VARCHAR:
    case SQL_WVARCHAR:
      // Drivers report unbounded texts as very long varchars.
      d.DataType = size > 0 && size <= 65535 ? ftString : ftMemo;
      if (d.DataType == ftString) d.Size = ClampSize(size);
      break;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR: d.DataType = ftMemo; break;
    case SQL_BINARY:
      d.DataType = ftBytes;
      d.Size = ClampSize(size);
      break;
    case SQL_VARBINARY:
      d.DataType = size > 0 && size <= 65535 ? ftVarBytes : ftBlob;
      if (d.DataType == ftVarBytes) d.Size = ClampSize(size);
      break;
    case SQL_LONGVARBINARY: d.DataType = ftBlob; break;
    case SQL_GUID: d.DataType = ftGuid; d.Size = 38; break;
    default: d.DataType = ftVariant; break;
  }
  return d;
}

namespace {

std::string PostgresColumnType(const TFieldDef& def) {
  const auto sized = [&](const char* name, const char* unsized) {
    return def.Size > 0 ? Format("%s(%d)", name, def.Size) : std::string(unsized);
  };
  switch (def.DataType) {
    case ftString:
    case ftWideString: return sized("varchar", "text");
    case ftFixedChar: return sized("char", "text");
    case ftGuid: return "varchar(38)";
    case ftSmallint: return "smallint";
    case ftInteger:
    case ftWord:
    case ftAutoInc: return "integer";
    case ftLargeint: return "bigint";
    case ftBoolean: return "boolean";
    case ftFloat: return "double precision";
    case ftCurrency: return "numeric(19,4)";
    case ftBCD:
    case ftFMTBcd:
      return def.Size > 0 ? Format("numeric(%d,%d)", def.Size, def.Precision) : std::string("numeric");
    case ftDate: return "date";
    case ftTime: return "time";
    case ftDateTime:
    case ftTimeStamp: return "timestamp";
    default: return IsBinaryField(def.DataType) ? "bytea" : "text";
  }
}

}  // namespace

std::string OdbcColumnType(const std::string& dbms, const TFieldDef& def) {
  if (IsSqlite(dbms)) return SqliteDeclaredTypeOf(def);
  return PostgresColumnType(def);
}

std::vector<std::string> OdbcCreateTableStatements(const std::string& dbms,
                                                   const std::function<std::string(const std::string&)>& quote,
                                                   const std::string& table, const TFieldDefs& fields,
                                                   const TIndexDefs& indexes) {
  if (fields.Count() == 0) throw EDatabaseError(Format("Cannot create table '%s': it has no field definitions", table));
  const auto columnList = [&](const std::string& names) {
    std::string out;
    size_t start = 0;
    while (start <= names.size()) {
      const size_t end = std::min(names.find(';', start), names.size());
      const std::string name = names.substr(start, end - start);
      if (!name.empty()) out += (out.empty() ? "" : ", ") + quote(name);
      start = end + 1;
    }
    return out;
  };
  std::string create = "CREATE TABLE " + quote(table) + " (";
  for (int i = 0; i < fields.Count(); ++i) {
    const TFieldDef& f = fields[i];
    std::string type = OdbcColumnType(dbms, f);
    create += (i ? ", " : "") + quote(f.Name) + (type.empty() ? "" : " " + type) + (f.Required() ? " NOT NULL" : "");
  }
  std::vector<std::string> more;
  for (const TIndexDef& ix : indexes) {
    const std::string cols = columnList(ix.Fields);
    if (cols.empty()) continue;
    if (ix.Has(ixPrimary)) {
      create += ", PRIMARY KEY (" + cols + ")";
    } else {
      const std::string name = table + "_" + (ix.Name.empty() ? std::to_string(more.size() + 1) : ix.Name);
      more.push_back(std::string("CREATE ") + (ix.Has(ixUnique) ? "UNIQUE " : "") + "INDEX " + quote(name) + " ON " +
                     quote(table) + " (" + cols + ")");
    }
  }
  more.insert(more.begin(), create + ")");
  return more;
}

// ==== TOdbcTableDataSet ==================================================================

TOdbcTableDataSet::TOdbcTableDataSet(std::shared_ptr<TOdbcConnection> connection)
    : connection_(std::move(connection)) {}

TOdbcTableDataSet::~TOdbcTableDataSet() { CloseForDestroy(); }

void TOdbcTableDataSet::SetConnection(std::shared_ptr<TOdbcConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TOdbcTableDataSet::SetTableName(const std::string& name) {
  Close();
  tableName_ = name;
}

bool TOdbcTableDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "TableName") return false;
  value = tableName_;
  return true;
}

TOdbcConnection& TOdbcTableDataSet::Conn() const {
  if (!connection_) RaiseNoConnection("table");
  return *connection_;
}

std::string TOdbcTableDataSet::QuotedTable() const { return Conn().QuoteIdentifier(tableName_); }

bool TOdbcTableDataSet::TableExists() {
  if (tableName_.empty()) throw EDatabaseError("No table name given");
  auto st = Conn().NewStatement();
  std::u16string name = Utf8ToUtf16(CatalogPattern(tableName_, Conn().InfoText(SQL_SEARCH_PATTERN_ESCAPE)));
  const SQLRETURN rc = SQLTablesW(st->Handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLWCHAR*>(name.data()),
                                  static_cast<SQLSMALLINT>(name.size()), nullptr, 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) st->Raise("cannot list the tables");
  while (st->Fetch()) {
    if (CatalogText(*st, 3) == tableName_) return true;
  }
  return false;
}

bool TOdbcTableDataSet::CreateTable() {
  if (TableExists()) return false;
  TOdbcConnection& conn = Conn();
  const auto statements = OdbcCreateTableStatements(
      conn.DbmsName(), [&](const std::string& n) { return conn.QuoteIdentifier(n); }, tableName_, FieldDefs(),
      IndexDefs());
  conn.CommitPending();
  try {
    for (const std::string& sql : statements) conn.Execute(sql);
    conn.WriteDone(0);
    conn.CommitPending();
  } catch (const EDatabaseError& e) {
    conn.Rollback();
    throw EDatabaseError(Format("Cannot create table '%s': %s", tableName_, e.Message()));
  }
  return true;
}

int64_t TOdbcTableDataSet::EmptyTable() {
  FlushAppends();
  TOdbcConnection& conn = Conn();
  auto st = conn.NewStatement();
  const bool any = st->ExecDirect("DELETE FROM " + QuotedTable());
  const int64_t n = any ? std::max<int64_t>(0, st->RowCount()) : 0;
  wrote_ = true;
  conn.WriteDone(postRecords_);
  recordCount_ = 0;
  return n;
}

void TOdbcTableDataSet::ReadColumns() {
  TOdbcConnection& conn = Conn();
  auto st = conn.NewStatement();
  std::u16string name = Utf8ToUtf16(CatalogPattern(tableName_, conn.InfoText(SQL_SEARCH_PATTERN_ESCAPE)));
  const SQLRETURN rc = SQLColumnsW(st->Handle(), nullptr, 0, nullptr, 0, reinterpret_cast<SQLWCHAR*>(name.data()),
                                   static_cast<SQLSMALLINT>(name.size()), nullptr, 0);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) st->Raise("cannot read the columns of '" + tableName_ + "'");
  FieldDefs().Clear();
  columns_.clear();
  schema_.clear();
  bool first = true;
  while (st->Fetch()) {
    // Result columns: 2 TABLE_SCHEM, 3 TABLE_NAME, 4 COLUMN_NAME, 5 DATA_TYPE, 6 TYPE_NAME, 7 COLUMN_SIZE,
    // 9 DECIMAL_DIGITS, 11 NULLABLE, 13 COLUMN_DEF (read in that order: some drivers need it).
    // Tables of the same name in other schemas are left out: the first schema listed is the table's.
    const std::string schema = CatalogText(*st, 2);
    if (CatalogText(*st, 3) != tableName_ || (!first && schema != schema_)) continue;
    schema_ = schema;
    first = false;
    const std::string column = CatalogText(*st, 4);
    const int sqlType = static_cast<int>(CatalogInteger(*st, 5));
    const std::string typeName = CatalogText(*st, 6);
    const int64_t size = CatalogInteger(*st, 7);
    const int digits = static_cast<int>(CatalogInteger(*st, 9));
    const bool nullable = CatalogInteger(*st, 11, SQL_NULLABLE) != SQL_NO_NULLS;
    std::string def;
    // Some drivers (SQLite's) give the text NULL for a column without a default.
    const bool hasDefault = st->ReadText(13, def) && AsciiUpperCase(def) != "NULL";
    TFieldDef d = OdbcFieldDefOf(column, sqlType, typeName, size, digits);
    d.SetRequired(!nullable && !hasDefault);
    FieldDefs().Add(d);
    columns_.push_back({conn.QuoteIdentifier(column), sqlType, hasDefault, IsBinaryField(d.DataType)});
  }
  if (columns_.empty()) throw EDatabaseError(Format("%s: table '%s' not found", conn.Describe(), tableName_));
}

void TOdbcTableDataSet::ReadIndexes() {
  TOdbcConnection& conn = Conn();
  IndexDefs().Clear();
  keyColumns_.clear();
  std::u16string name = Utf8ToUtf16(tableName_);
  auto* wname = reinterpret_cast<SQLWCHAR*>(name.data());
  const auto len = static_cast<SQLSMALLINT>(name.size());
  std::u16string schema = Utf8ToUtf16(schema_);
  auto* wschema = schema.empty() ? nullptr : reinterpret_cast<SQLWCHAR*>(schema.data());
  const auto schemaLen = static_cast<SQLSMALLINT>(schema.size());
  {
    auto st = conn.NewStatement();
    std::vector<std::pair<int64_t, std::string>> key;
    std::string pkName;
    const SQLRETURN rc = SQLPrimaryKeysW(st->Handle(), nullptr, 0, wschema, schemaLen, wname, len);
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      // 4 COLUMN_NAME, 5 KEY_SEQ, 6 PK_NAME
      while (st->Fetch()) {
        const std::string column = CatalogText(*st, 4);
        const int64_t seq = CatalogInteger(*st, 5);
        pkName = CatalogText(*st, 6);
        key.emplace_back(seq, column);
      }
    }
    std::sort(key.begin(), key.end());
    std::string fields;
    for (const auto& [seq, column] : key) {
      fields += (fields.empty() ? "" : ";") + column;
      const int i = FieldDefs().IndexOf(column);
      if (i >= 0) keyColumns_.push_back(static_cast<size_t>(i));
    }
    if (!fields.empty())
      IndexDefs().Add(pkName.empty() ? "PRIMARY" : pkName, fields,
                      static_cast<TIndexOptions>((1u << ixPrimary) | (1u << ixUnique)));
  }
  auto st = conn.NewStatement();
  const SQLRETURN rc = SQLStatisticsW(st->Handle(), nullptr, 0, wschema, schemaLen, wname, len, SQL_INDEX_ALL, SQL_QUICK);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    // 4 NON_UNIQUE, 6 INDEX_NAME, 7 TYPE, 8 ORDINAL_POSITION, 9 COLUMN_NAME
    std::map<std::string, std::pair<bool, std::vector<std::pair<int64_t, std::string>>>> found;
    std::vector<std::string> order;
    while (st->Fetch()) {
      const bool nonUnique = CatalogInteger(*st, 4) != 0;
      const std::string index = CatalogText(*st, 6);
      const int64_t type = CatalogInteger(*st, 7);
      const int64_t pos = CatalogInteger(*st, 8);
      const std::string column = CatalogText(*st, 9);
      if (type == SQL_TABLE_STAT || index.empty()) continue;
      if (!found.count(index)) order.push_back(index);
      auto& entry = found[index];
      entry.first = !nonUnique;
      entry.second.emplace_back(pos, column);
    }
    for (const std::string& index : order) {
      auto& [unique, cols] = found[index];
      std::sort(cols.begin(), cols.end());
      std::string fields;
      for (const auto& c : cols) fields += (fields.empty() ? "" : ";") + c.second;
      if (IndexDefs().Count() > 0 && IndexDefs()[0].Has(ixPrimary) &&
          AsciiUpperCase(IndexDefs()[0].Fields) == AsciiUpperCase(fields))
        continue;  // the primary key's own index
      IndexDefs().Add(index, fields, unique ? static_cast<TIndexOptions>(1u << ixUnique) : TIndexOptions{0});
    }
  }
  if (keyColumns_.empty()) {
    for (size_t i = 0; i < columns_.size(); ++i) keyColumns_.push_back(i);
  }
}

void TOdbcTableDataSet::RunSelect() {
  FlushAppends();
  if (!cursor_) cursor_ = Conn().NewStatement();
  cursor_->CloseCursor();
  cursor_->ExecDirect("SELECT " + selectList_ + " FROM " + QuotedTable());
  cursorUsed_ = cursorDone_ = pending_ = walkRow_ = false;
  rowNo_ = 0;
  onRow_ = false;
}

void TOdbcTableDataSet::InternalOpen() {
  TOdbcConnection& conn = Conn();
  if (tableName_.empty()) throw EDatabaseError("Cannot open the table: no table name given");
  appendsPosted_ = 0;
  ReadColumns();
  ReadIndexes();
  selectList_.clear();
  for (const TColumn& c : columns_) selectList_ += (selectList_.empty() ? "" : ", ") + c.quoted;
  {
    auto count = conn.NewStatement();
    count->ExecDirect("SELECT count(*) FROM " + QuotedTable());
    TVariant n;
    recordCount_ = count->Fetch() && count->Read(1, varInteger, false, n) ? n.RawInteger() : 0;
  }
  RunSelect();
  row_.assign(columns_.size(), TVariant::Null());
  wrote_ = false;
  batch_.clear();
  SQLUINTEGER arrayCounts = 0;
  arrays_ = SQL_SUCCEEDED(SQLGetInfo(conn.Handle(), SQL_PARAM_ARRAY_ROW_COUNTS, &arrayCounts, sizeof arrayCounts,
                                     nullptr)) &&
            arrayCounts != 0;
}

void TOdbcTableDataSet::InternalClose() {
  // Rows still to be sent go first; a refusal among them is reported
  // after the dataset has closed.
  std::exception_ptr refused;
  try {
    FlushAppends();
  } catch (const EDatabaseError&) {
    refused = std::current_exception();
  }
  cursor_.reset();
  prepared_.clear();
  onRow_ = false;
  if (wrote_ && connection_) {
    wrote_ = false;
    connection_->CommitPending();
  }
  if (refused) std::rethrow_exception(refused);
}

bool TOdbcTableDataSet::FetchInto(TOdbcStatement& st) {
  if (!st.Fetch()) return false;
  for (size_t i = 0; i < columns_.size(); ++i) {
    TVariant v;
    if (!ReadValue(st, static_cast<int>(i + 1), FieldDefs()[static_cast<int>(i)].DataType, v)) v = TVariant::Null();
    row_[i] = std::move(v);
  }
  return true;
}

void TOdbcTableDataSet::InternalFirst() {
  if (onRow_ && walkRow_ && rowNo_ == 1 && !cursorDone_) {
    // Still on the first row of the walk: hand it out again rather than running the select again.
    pending_ = true;
    rowNo_ = 0;
    return;
  }
  if (cursorUsed_ || cursorDone_) RunSelect();
  onRow_ = false;
}

void TOdbcTableDataSet::InternalLast() { throw EDatabaseError("Operation not allowed on a unidirectional dataset"); }

TDataSet::TGetResult TOdbcTableDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmCurrent: return onRow_ ? grOK : grEOF;
    case gmPrior: return grBOF;
    case gmNext: break;
  }
  if (pending_) {
    pending_ = false;
    onRow_ = walkRow_ = true;
    ++rowNo_;
    return grOK;
  }
  if (cursorDone_) return grEOF;
  cursorUsed_ = true;
  if (!FetchInto(*cursor_)) {
    cursorDone_ = true;
    return grEOF;
  }
  onRow_ = walkRow_ = true;
  ++rowNo_;
  return grOK;
}

bool TOdbcTableDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  if (!onRow_) return false;
  const TVariant& v = row_[static_cast<size_t>(field.Index())];
  if (v.IsNullOrEmpty()) return false;
  value = v;
  return true;
}

int TOdbcTableDataSet::InternalRecordCount() {
  return recordCount_ > INT_MAX ? INT_MAX : static_cast<int>(recordCount_);
}

int TOdbcTableDataSet::InternalGetRecNo() {
  return onRow_ && rowNo_ > 0 && rowNo_ <= INT_MAX ? static_cast<int>(rowNo_) : -1;
}

// ---- Writing ---------------------------------------------------------------------------------

void TOdbcTableDataSet::InternalInitRecord(std::vector<TVariant>& values) {
  values.assign(columns_.size(), TVariant::Null());
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].hasDefault) values[i] = TVariant();
}

TOdbcStatement& TOdbcTableDataSet::Prepared(const std::string& sql) {
  auto& slot = prepared_[sql];
  if (!slot) {
    auto st = Conn().NewStatement();
    st->Prepare(sql);
    slot = std::move(st);
  }
  return *slot;
}

void TOdbcTableDataSet::RunWrite(TOdbcStatement& st, bool mustChange) {
  TOdbcConnection& conn = Conn();
  conn.BeginWrite();
  const bool any = st.Execute();
  const int64_t changed = any ? st.RowCount() : 0;
  st.CloseCursor();
  wrote_ = true;
  conn.WriteDone(postRecords_);
  if (mustChange && changed == 0)
    throw EDatabaseError(Format("Table '%s': the row being changed no longer exists", tableName_));
}

std::string TOdbcTableDataSet::RowCondition(std::vector<size_t>& binds) const {
  std::string where;
  for (size_t k : keyColumns_) {
    if (columns_[k].binary) continue;
    where += (where.empty() ? "" : " AND ") + columns_[k].quoted;
    if (row_[k].IsNullOrEmpty()) {
      where += " IS NULL";
    } else {
      where += " = ?";
      binds.push_back(k);
    }
  }
  if (where.empty()) throw EDatabaseError(Format("Table '%s': no column tells its rows apart", tableName_));
  return where;
}

std::vector<size_t> TOdbcTableDataSet::InsertColumns(const std::vector<TVariant>& values) const {
  std::vector<size_t> bound;
  for (size_t i = 0; i < columns_.size(); ++i)
    if (!(columns_[i].hasDefault && values[i].IsEmpty())) bound.push_back(i);
  return bound;
}

std::string TOdbcTableDataSet::InsertSql(const std::vector<size_t>& bound) const {
  if (bound.empty()) return "INSERT INTO " + QuotedTable() + " DEFAULT VALUES";
  std::string names, marks;
  for (size_t i : bound) {
    names += (names.empty() ? "" : ", ") + columns_[i].quoted;
    marks += marks.empty() ? "?" : ", ?";
  }
  return "INSERT INTO " + QuotedTable() + " (" + names + ") VALUES (" + marks + ")";
}

void TOdbcTableDataSet::InsertRow(const std::vector<TVariant>& values, const std::vector<size_t>& bound) {
  TOdbcStatement& st = Prepared(InsertSql(bound));
  int position = 0;
  for (size_t i : bound) st.BindValue(++position, values[i], static_cast<SQLSMALLINT>(columns_[i].sqlType));
  RunWrite(st, false);
}

int TOdbcTableDataSet::BatchLimit() const {
  const int limit = postRecords_ > 0 ? std::min(postRecords_, kMaxBatchRows) : kMaxBatchRows;
  return arrays_ ? limit : 1;
}

void TOdbcTableDataSet::InternalPost(const std::vector<TVariant>& values, bool inserting, bool) {
  if (inserting) {
    std::vector<size_t> bound = InsertColumns(values);
    if (BatchLimit() <= 1 || bound.empty()) {
      FlushAppends();
      InsertRow(values, bound);
    } else {
      if (bound != batchColumns_) FlushAppends();
      batchColumns_ = std::move(bound);
      batch_.push_back(values);
      wrote_ = true;
    }
    ++recordCount_;
    ++appendsPosted_;
  } else {
    FlushAppends();
    std::string sets;
    for (size_t i = 0; i < columns_.size(); ++i) sets += (i ? ", " : "") + columns_[i].quoted + " = ?";
    std::vector<size_t> keys;
    const std::string where = RowCondition(keys);
    TOdbcStatement& st = Prepared("UPDATE " + QuotedTable() + " SET " + sets + " WHERE " + where);
    int position = 0;
    for (size_t i = 0; i < columns_.size(); ++i)
      st.BindValue(++position, values[i], static_cast<SQLSMALLINT>(columns_[i].sqlType));
    for (size_t k : keys) st.BindValue(++position, row_[k], static_cast<SQLSMALLINT>(columns_[k].sqlType));
    RunWrite(st, true);
  }
  // The stored row is the current one; unassigned columns took their defaults, unknown here.
  for (size_t i = 0; i < columns_.size(); ++i) row_[i] = values[i].IsEmpty() ? TVariant::Null() : values[i];
  onRow_ = true;
  walkRow_ = pending_ = false;
  if (static_cast<int>(batch_.size()) >= BatchLimit()) FlushAppends();
}

// ---- Appends sent as parameter arrays ----------------------------------------------------

void TOdbcTableDataSet::FlushAppends() {
  if (batch_.empty()) return;
  std::vector<std::vector<TVariant>> rows = std::move(batch_);
  batch_.clear();
  const std::vector<size_t> bound = batchColumns_;
  TOdbcConnection& conn = Conn();
  if (!SendArray(rows, bound)) {
    std::vector<std::pair<size_t, std::string>> refused;
    for (size_t r = 0; r < rows.size(); ++r) {
      try {
        InsertRow(rows[r], bound);
      } catch (const EDatabaseError& e) {
        refused.emplace_back(r, e.Message());
      }
    }
    if (!refused.empty()) ReportRefused(rows, refused);
    return;
  }
  conn.WriteDone(postRecords_, static_cast<int64_t>(rows.size()));
}

// The batch in one execution inside a savepoint: true when every row was
// stored; false (nothing stored) when a row was refused or the driver
// takes no arrays.
bool TOdbcTableDataSet::SendArray(const std::vector<std::vector<TVariant>>& rows, const std::vector<size_t>& bound) {
  if (!arrays_) return false;
  TOdbcConnection& conn = Conn();
  try {
    conn.Execute("SAVEPOINT vandrel_batch");
  } catch (const EDatabaseError&) {
    arrays_ = false;  // no savepoints: rows go one at a time
    return false;
  }
  auto& slot = prepared_["array: " + InsertSql(bound)];
  if (!slot) {
    slot = conn.NewStatement();
    slot->Prepare(InsertSql(bound));
  }
  std::vector<const TVariant*> column(rows.size());
  int position = 0;
  for (size_t i : bound) {
    for (size_t r = 0; r < rows.size(); ++r) column[r] = &rows[r][i];
    slot->BindArray(++position, column, static_cast<TVarType>(FieldTypeValueKind(FieldDefs()[static_cast<int>(i)].DataType)),
                    columns_[i].binary, static_cast<SQLSMALLINT>(columns_[i].sqlType));
  }
  bool allDone = false;
  if (!slot->ExecuteArray(rows.size(), allDone)) arrays_ = false;
  if (!allDone) {
    UndoBatch();
    return false;
  }
  ReleaseSavepoint();
  return true;
}

// A driver may answer a failed statement with a rollback of its own that
// takes the batch's savepoint with it: psqlODBC's statement-level rollback
// rolls the whole transaction back when the failed statement is, as far
// as it knows, the first change since the last commit (our SAVEPOINT does
// not count for it), and otherwise may roll back to a savepoint of its own
// set before ours. Either way the batch is undone already, and naming the
// missing savepoint would put the transaction in the failed state, every
// later statement refused. So the attempt runs inside a second savepoint
// that is rolled back to when ours is gone.
void TOdbcTableDataSet::UndoBatch() {
  TOdbcConnection& conn = Conn();
  conn.Execute("SAVEPOINT vandrel_undo");
  try {
    conn.Execute("ROLLBACK TO SAVEPOINT vandrel_batch");  // also drops vandrel_undo, set after it
  } catch (const EDatabaseError&) {
    // The driver undid the batch itself: back out of the failed attempt.
    conn.Execute("ROLLBACK TO SAVEPOINT vandrel_undo");
    if (releaseSavepoints_) conn.Execute("RELEASE SAVEPOINT vandrel_undo");
    return;
  }
  ReleaseSavepoint();
}

void TOdbcTableDataSet::ReleaseSavepoint() {
  if (!releaseSavepoints_) return;
  try {
    Conn().Execute("RELEASE SAVEPOINT vandrel_batch");
  } catch (const EDatabaseError&) {
    releaseSavepoints_ = false;  // Oracle keeps savepoints until the commit
  }
}

void TOdbcTableDataSet::ReportRefused(const std::vector<std::vector<TVariant>>& rows,
                                      const std::vector<std::pair<size_t, std::string>>& refused) {
  refused_ += static_cast<int64_t>(refused.size());
  recordCount_ -= static_cast<int64_t>(refused.size());
  if (OnAppendRefused) {
    const int64_t first = appendsPosted_ - static_cast<int64_t>(rows.size());
    for (const auto& [r, message] : refused) OnAppendRefused(first + static_cast<int64_t>(r) + 1, message);
    return;
  }
  if (OnRefusedRow) {
    for (const auto& [r, message] : refused) OnRefusedRow(rows[r], message);
    return;
  }
  std::string m = Format("Table '%s': the server refused %d of %d appended rows (the others were stored)", tableName_,
                         static_cast<int64_t>(refused.size()), static_cast<int64_t>(rows.size()));
  for (size_t k = 0; k < refused.size() && k < kRefusedInMessage; ++k)
    m += "\n  row " + std::to_string(refused[k].first + 1) + " of the batch: " + refused[k].second;
  if (refused.size() > kRefusedInMessage) m += "\n  ...";
  throw EDatabaseError(m);
}

void TOdbcTableDataSet::InternalDelete() {
  FlushAppends();
  if (!onRow_) return;
  std::vector<size_t> keys;
  TOdbcStatement& st = Prepared("DELETE FROM " + QuotedTable() + " WHERE " + RowCondition(keys));
  int position = 0;
  for (size_t k : keys) st.BindValue(++position, row_[k], static_cast<SQLSMALLINT>(columns_[k].sqlType));
  RunWrite(st, true);
  if (recordCount_ > 0) --recordCount_;
  // To the row that followed in the walk.
  onRow_ = walkRow_ = pending_ = false;
  if (InternalGetRecord(gmNext) != grOK) onRow_ = false;
}

// ---- Locate ------------------------------------------------------------------------------------

bool TOdbcTableDataSet::InternalLocate(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                                       TLocateOptions options) {
  FlushAppends();
  if (options & LocateOptionBit(loPartialKey)) return TDataSet::InternalLocate(fields, values, options);
  const bool caseIns = options & LocateOptionBit(loCaseInsensitive);
  std::vector<TVariant> bound;
  std::vector<size_t> boundColumns;
  std::string where;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TField& f = *fields[i];
    const auto col = static_cast<size_t>(f.Index());
    const std::string& c = columns_[col].quoted;
    where += where.empty() ? "" : " AND ";
    TVariant v;
    try {
      v = values[i].IsNullOrEmpty() ? TVariant::Null() : f.Convert(values[i]);
    } catch (const Exception&) {
      return false;  // a value the field cannot hold matches no row
    }
    if (v.IsNullOrEmpty()) {
      where += c + " IS NULL";
      continue;
    }
    where += caseIns && f.ValueKind() == varString ? "UPPER(" + c + ") = UPPER(?)" : c + " = ?";
    bound.push_back(std::move(v));
    boundColumns.push_back(col);
  }
  TOdbcStatement& st = Prepared("SELECT " + selectList_ + " FROM " + QuotedTable() + " WHERE " + where);
  for (size_t i = 0; i < bound.size(); ++i)
    st.BindValue(static_cast<int>(i + 1), bound[i], static_cast<SQLSMALLINT>(columns_[boundColumns[i]].sqlType));
  st.Execute();
  std::vector<TVariant> keep = row_;
  const bool found = FetchInto(st);
  st.CloseCursor();
  if (!found) {
    row_ = std::move(keep);
    return false;
  }
  onRow_ = true;
  walkRow_ = pending_ = false;
  Resync();
  return true;
}

// ==== TOdbcQueryDataSet ================================================================

TOdbcQueryDataSet::TOdbcQueryDataSet(std::shared_ptr<TOdbcConnection> connection)
    : connection_(std::move(connection)) {}

TOdbcQueryDataSet::~TOdbcQueryDataSet() { CloseForDestroy(); }

void TOdbcQueryDataSet::SetConnection(std::shared_ptr<TOdbcConnection> connection) {
  Close();
  connection_ = std::move(connection);
}

void TOdbcQueryDataSet::SetSQL(const std::string& sql) {
  Close();
  sql_ = sql;
}

void TOdbcQueryDataSet::SetParameters(std::vector<TVariant> values, std::vector<int> sqlTypes) {
  Close();
  params_ = std::move(values);
  paramTypes_ = std::move(sqlTypes);
}

bool TOdbcQueryDataSet::GetPublishedString(std::string_view name, std::string& value) const {
  if (name != "SQL") return false;
  value = sql_;
  return true;
}

void TOdbcQueryDataSet::Execute() {
  stmt_->CloseCursor();
  ++executions_;
  stmt_->Execute();
  onRow_ = done_ = pending_ = false;
  rowNo_ = 0;
}

void TOdbcQueryDataSet::InternalOpen() {
  if (!connection_) RaiseNoConnection("query");
  stmt_ = connection_->NewStatement();
  stmt_->Prepare(sql_);
  for (size_t i = 0; i < params_.size(); ++i)
    stmt_->BindValue(static_cast<int>(i + 1), params_[i],
                     static_cast<SQLSMALLINT>(i < paramTypes_.size() ? paramTypes_[i] : 0));
  // Told before it runs: a statement that changes rows never runs as a query.
  const int n = stmt_->ColumnCount();
  if (n == 0)
    throw EDatabaseError(connection_->Describe() +
                         ": cannot open the query: only a statement that returns rows can be opened as a query");
  Execute();
  std::vector<std::string> names;
  std::vector<TFieldDef> defs;
  for (int i = 1; i <= n; ++i) {
    const TOdbcColumn c = stmt_->DescribeColumn(i);
    names.push_back(c.Name);
    defs.push_back(OdbcFieldDefOf("", c.SqlType, c.TypeName, c.Size, c.Digits));
  }
  names = MakeUniqueNames(std::move(names));
  FieldDefs().Clear();
  IndexDefs().Clear();
  for (size_t i = 0; i < defs.size(); ++i) {
    defs[i].Name = names[i];
    FieldDefs().Add(defs[i]);
  }
  row_.assign(defs.size(), TVariant::Null());
}

void TOdbcQueryDataSet::InternalClose() {
  stmt_.reset();
  onRow_ = done_ = false;
  rowNo_ = 0;
}

void TOdbcQueryDataSet::InternalFirst() {
  if (rowNo_ == 0 && !done_) return;  // the statement has just run: nothing read yet
  if (rowNo_ == 1 && onRow_ && !done_) {
    // Still on the first row with nothing read beyond it: hand it out again.
    pending_ = true;
    rowNo_ = 0;
    return;
  }
  Execute();
}

void TOdbcQueryDataSet::InternalLast() { throw EDatabaseError("Operation not allowed on a unidirectional dataset"); }

bool TOdbcQueryDataSet::FetchRow() {
  if (!stmt_->Fetch()) return false;
  for (int i = 0; i < FieldCount(); ++i) {
    TVariant v;
    if (!ReadValue(*stmt_, i + 1, FieldDefs()[i].DataType, v)) v = TVariant::Null();
    row_[static_cast<size_t>(i)] = std::move(v);
  }
  return true;
}

TDataSet::TGetResult TOdbcQueryDataSet::InternalGetRecord(TGetMode mode) {
  switch (mode) {
    case gmCurrent: return onRow_ ? grOK : grEOF;
    case gmPrior: return grBOF;
    case gmNext: break;
  }
  if (pending_) {
    pending_ = false;
    ++rowNo_;
    return grOK;
  }
  if (done_) return grEOF;
  if (!FetchRow()) {
    done_ = true;
    return grEOF;
  }
  onRow_ = true;
  ++rowNo_;
  return grOK;
}

bool TOdbcQueryDataSet::InternalGetFieldValue(const TField& field, TVariant& value) {
  if (!onRow_) return false;
  const TVariant& v = row_[static_cast<size_t>(field.Index())];
  if (v.IsNullOrEmpty()) return false;
  value = v;
  return true;
}

int TOdbcQueryDataSet::InternalGetRecNo() { return onRow_ && rowNo_ > 0 && rowNo_ <= INT_MAX ? static_cast<int>(rowNo_) : -1; }

}  // namespace kv
