#include "data/OdbcConnection.h"

#include <sqlucode.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <locale.h>

#include "data/ServerAddress.h"
#include "foundation/CharClass.h"
#include "foundation/DateUtils.h"
#include "foundation/Format.h"
#include "foundation/Utf8.h"

namespace kv {

namespace {

// unixODBC's SQLWCHAR is a 16-bit UTF-16 unit.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));

std::u16string Wide(std::string_view utf8) { return Utf8ToUtf16(utf8); }
SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }
// The text of `units` UTF-16 units at `p`, ending early at a zero unit: a
// driver manager converting for a driver without wide functions reports
// the length in bytes of the driver's text, not in units.
std::string Narrow(const SQLWCHAR* p, size_t units) {
  size_t n = 0;
  while (n < units && p[n] != 0) ++n;
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(p), n));
}

// While it lives, the calling thread's character type is UTF-8 (when the
// system has such a locale). unixODBC picks the encoding it converts
// statement texts to for drivers without wide functions (the SQLite driver)
// when it connects, from the thread's locale: under the "C" locale every
// character beyond ASCII would be dropped from SQL text.
class TUtf8CtypeGuard {
public:
  TUtf8CtypeGuard() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      utf8_ = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
      if (utf8_) break;
    }
    if (utf8_) old_ = uselocale(utf8_);
  }
  ~TUtf8CtypeGuard() {
    if (!utf8_) return;
    uselocale(old_);
    freelocale(utf8_);
  }
  TUtf8CtypeGuard(const TUtf8CtypeGuard&) = delete;
  TUtf8CtypeGuard& operator=(const TUtf8CtypeGuard&) = delete;

private:
  locale_t utf8_ = static_cast<locale_t>(nullptr);
  locale_t old_ = static_cast<locale_t>(nullptr);
};

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A text held by the connection string (SQLDriverConnect) must never reach a message.
bool NeedsBraces(std::string_view v) {
  if (v.empty()) return false;
  if (v.front() == ' ' || v.back() == ' ') return true;
  return v.find_first_of(";{}=") != std::string_view::npos;
}

}  // namespace

std::string OdbcConnectionValue(std::string_view value) {
  if (!NeedsBraces(value)) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

std::string OdbcConnectionString(const TOdbcConnectParts& parts) {
  std::string driver = "{";
  for (char c : parts.Driver) {
    driver += c;
    if (c == '}') driver += '}';
  }
  std::string s = "DRIVER=" + driver + "}";
  auto add = [&s](const char* key, const std::string& v) {
    if (!v.empty()) s += std::string(";") + key + "=" + OdbcConnectionValue(v);
  };
  // "host:port" and "[v6]:port" are the server and its port (ServerAddress.h).
  const TServerAddress address = SplitServerAddress(parts.Server);
  add("SERVER", address.Host);
  add("PORT", address.Port);
  add("DATABASE", parts.Database);
  add("UID", parts.User);
  add("PWD", parts.Password);
  return s;
}

std::string OdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::string out;
  for (SQLSMALLINT i = 1; i <= 8; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024] = {};
    SQLSMALLINT len = 0;
    if (!Ok(SQLGetDiagRecW(handleType, handle, i, state, &native, text, 1024, &len))) break;
    text[1023] = 0;
    const size_t units = static_cast<size_t>(std::clamp<SQLSMALLINT>(len, 0, 1023));
    std::string message = Narrow(text, units);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
    if (!out.empty()) out += "; ";
    out += "[" + Narrow(state, 5) + "] " + message;
  }
  return out.empty() ? std::string("no message from the driver") : out;
}

// ==== TOdbcStatement ======================================================================

TOdbcStatement::~TOdbcStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }

void TOdbcStatement::Raise(const std::string& what) const {
  throw EDatabaseError(Format("%s: %s: %s", conn_.Describe(), what, OdbcDiagnostics(SQL_HANDLE_STMT, stmt_)));
}

void TOdbcStatement::Check(SQLRETURN rc, const char* what) const {
  if (!Ok(rc)) Raise(what);
}

void TOdbcStatement::Prepare(const std::string& sql) {
  sql_ = sql;
  std::u16string w = Wide(sql);
  Check(SQLPrepareW(stmt_, W(w), static_cast<SQLINTEGER>(w.size())), "cannot prepare the statement");
}

bool TOdbcStatement::Execute() {
  const SQLRETURN rc = SQLExecute(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "cannot run the statement");
  return true;
}

bool TOdbcStatement::ExecDirect(const std::string& sql) {
  sql_ = sql;
  std::u16string w = Wide(sql);
  const SQLRETURN rc = SQLExecDirectW(stmt_, W(w), static_cast<SQLINTEGER>(w.size()));
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "cannot run the statement");
  return true;
}

bool TOdbcStatement::Fetch() {
  const SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, "cannot read the next row");
  return true;
}

void TOdbcStatement::CloseCursor() { SQLFreeStmt(stmt_, SQL_CLOSE); }

int TOdbcStatement::ColumnCount() const {
  SQLSMALLINT n = 0;
  Check(SQLNumResultCols(stmt_, &n), "cannot count the result columns");
  return n;
}

TOdbcColumn TOdbcStatement::DescribeColumn(int column) const {
  SQLWCHAR name[512] = {};
  SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  const auto col = static_cast<SQLUSMALLINT>(column);
  Check(SQLDescribeColW(stmt_, col, name, 512, &nameLen, &type, &size, &digits, &nullable),
        "cannot describe the result columns");
  TOdbcColumn c;
  c.Name = Narrow(name, static_cast<size_t>(std::clamp<SQLSMALLINT>(nameLen, 0, 511)));
  c.SqlType = type;
  c.Size = static_cast<int64_t>(size);
  c.Digits = digits;
  SQLWCHAR typeName[128] = {};
  SQLSMALLINT typeLen = 0;
  if (Ok(SQLColAttributeW(stmt_, col, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeLen, nullptr)))
    c.TypeName = Narrow(typeName, 127);
  return c;
}

int64_t TOdbcStatement::RowCount() const {
  SQLLEN n = 0;
  Check(SQLRowCount(stmt_, &n), "cannot count the changed rows");
  return n;
}

void TOdbcStatement::ResetParameters() {
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  params_.clear();
}

namespace {

template <typename T>
void Store(std::vector<char>& data, const T& v) {
  data.resize(sizeof(T));
  std::memcpy(data.data(), &v, sizeof(T));
}

SQL_TIMESTAMP_STRUCT TimestampOf(TDateTime t) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
  DecodeDateTime(t, y, mo, d, h, mi, s, ms);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(mo);
  ts.day = static_cast<SQLUSMALLINT>(d);
  ts.hour = static_cast<SQLUSMALLINT>(h);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(s);
  ts.fraction = static_cast<SQLUINTEGER>(ms) * 1000000u;
  return ts;
}

}  // namespace

void TOdbcStatement::BindValue(int position, const TVariant& value, SQLSMALLINT sqlType) {
  if (static_cast<size_t>(position) > params_.size()) params_.resize(static_cast<size_t>(position));
  auto& slot = params_[static_cast<size_t>(position - 1)];
  if (!slot) slot = std::make_unique<TParam>();
  TParam& p = *slot;
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT type = sqlType;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  p.indicator = 0;
  switch (value.Type()) {
    case varInteger:
      Store(p.data, static_cast<SQLBIGINT>(value.RawInteger()));
      cType = SQL_C_SBIGINT;
      if (!type) type = SQL_BIGINT;
      break;
    case varFloat:
      Store(p.data, value.RawFloat());
      cType = SQL_C_DOUBLE;
      if (!type || type == SQL_NUMERIC || type == SQL_DECIMAL) type = SQL_DOUBLE;
      break;
    case varBoolean:
      Store(p.data, static_cast<unsigned char>(value.RawBoolean() ? 1 : 0));
      cType = SQL_C_BIT;
      if (!type) type = SQL_BIT;
      break;
    case varDateTime: {
      const SQL_TIMESTAMP_STRUCT ts = TimestampOf(value.AsDateTime());
      if (type == SQL_TYPE_DATE) {
        Store(p.data, SQL_DATE_STRUCT{ts.year, ts.month, ts.day});
        cType = SQL_C_TYPE_DATE;
        size = 10;
      } else if (type == SQL_TYPE_TIME) {
        Store(p.data, SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second});
        cType = SQL_C_TYPE_TIME;
        size = 8;
      } else {
        Store(p.data, ts);
        cType = SQL_C_TYPE_TIMESTAMP;
        type = SQL_TYPE_TIMESTAMP;
        size = 23;
        digits = 3;
      }
      break;
    }
    case varNull:
    case varEmpty:
      p.data.assign(1, 0);
      p.indicator = SQL_NULL_DATA;
      if (!type) type = SQL_VARCHAR;
      size = 1;
      break;
    default: {
      const std::string text = value.Type() == varString ? value.RawString() : value.AsString();
      const bool binary = type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
      if (binary) {
        p.data.assign(text.begin(), text.end());
        cType = SQL_C_BINARY;
        size = std::max<SQLULEN>(1, text.size());
      } else {
        const std::u16string w = Wide(text);
        p.data.resize((w.size() + 1) * sizeof(char16_t));
        std::memcpy(p.data.data(), w.c_str(), p.data.size());
        cType = SQL_C_WCHAR;
        if (!type || type == SQL_VARCHAR || type == SQL_CHAR || type == SQL_WCHAR || type == SQL_LONGVARCHAR)
          type = w.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
        size = std::max<SQLULEN>(1, w.size());
        p.indicator = static_cast<SQLLEN>(w.size() * sizeof(char16_t));
      }
      if (binary) p.indicator = static_cast<SQLLEN>(text.size());
      break;
    }
  }
  if (p.data.empty()) p.data.assign(1, 0);
  const SQLRETURN rc = SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(position), SQL_PARAM_INPUT, cType, type,
                                        size, digits, p.data.data(), static_cast<SQLLEN>(p.data.size()), &p.indicator);
  if (!Ok(rc)) Raise(Format("cannot bind parameter %d", position));
}

namespace {

// One column of a parameter array: the C type, SQL type, element width and
// column size, and the copy of each set's value.
struct TArrayLayout {
  SQLSMALLINT cType = SQL_C_WCHAR;
  SQLSMALLINT type = 0;
  size_t width = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

TArrayLayout ArrayLayoutOf(const std::vector<const TVariant*>& values, TVarType kind, bool binary, SQLSMALLINT sqlType,
                           std::vector<std::u16string>& texts) {
  TArrayLayout l;
  l.type = sqlType;
  switch (kind) {
    case varInteger:
      l.cType = SQL_C_SBIGINT;
      l.width = sizeof(SQLBIGINT);
      if (!l.type) l.type = SQL_BIGINT;
      return l;
    case varFloat:
      l.cType = SQL_C_DOUBLE;
      l.width = sizeof(double);
      if (!l.type || l.type == SQL_NUMERIC || l.type == SQL_DECIMAL) l.type = SQL_DOUBLE;
      return l;
    case varBoolean:
      l.cType = SQL_C_BIT;
      l.width = 1;
      if (!l.type) l.type = SQL_BIT;
      return l;
    case varDateTime:
      if (l.type == SQL_TYPE_DATE) {
        l.cType = SQL_C_TYPE_DATE;
        l.width = sizeof(SQL_DATE_STRUCT);
        l.size = 10;
      } else if (l.type == SQL_TYPE_TIME) {
        l.cType = SQL_C_TYPE_TIME;
        l.width = sizeof(SQL_TIME_STRUCT);
        l.size = 8;
      } else {
        l.cType = SQL_C_TYPE_TIMESTAMP;
        l.type = SQL_TYPE_TIMESTAMP;
        l.width = sizeof(SQL_TIMESTAMP_STRUCT);
        l.size = 23;
        l.digits = 3;
      }
      return l;
    default: break;
  }
  size_t longest = 0;
  texts.clear();
  for (const TVariant* v : values) {
    if (v->IsNullOrEmpty()) {
      texts.emplace_back();
      continue;
    }
    const std::string text = v->Type() == varString ? v->RawString() : v->AsString();
    if (binary) {
      texts.emplace_back(text.begin(), text.end());  // one unit per byte; narrowed back when copied
    } else {
      texts.push_back(Wide(text));
    }
    longest = std::max(longest, texts.back().size());
  }
  if (binary) {
    l.cType = SQL_C_BINARY;
    l.width = std::max<size_t>(1, longest);
  } else {
    l.cType = SQL_C_WCHAR;
    l.width = (longest + 1) * sizeof(char16_t);
    if (!l.type || l.type == SQL_VARCHAR || l.type == SQL_CHAR || l.type == SQL_WCHAR || l.type == SQL_LONGVARCHAR)
      l.type = longest > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
  }
  l.size = std::max<SQLULEN>(1, longest);
  return l;
}

// Writes the value of one set into its element of the array.
void PutArrayValue(const TArrayLayout& l, const TVariant& v, const std::u16string* text, char* at, SQLLEN& indicator) {
  indicator = static_cast<SQLLEN>(l.width);
  switch (l.cType) {
    case SQL_C_SBIGINT: {
      const SQLBIGINT n = v.AsInteger();
      std::memcpy(at, &n, sizeof n);
      return;
    }
    case SQL_C_DOUBLE: {
      const double d = v.AsFloat();
      std::memcpy(at, &d, sizeof d);
      return;
    }
    case SQL_C_BIT: *at = v.AsBoolean() ? 1 : 0; return;
    case SQL_C_TYPE_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TYPE_TIMESTAMP: {
      const SQL_TIMESTAMP_STRUCT ts = TimestampOf(v.AsDateTime());
      if (l.cType == SQL_C_TYPE_DATE) {
        const SQL_DATE_STRUCT d{ts.year, ts.month, ts.day};
        std::memcpy(at, &d, sizeof d);
      } else if (l.cType == SQL_C_TYPE_TIME) {
        const SQL_TIME_STRUCT t{ts.hour, ts.minute, ts.second};
        std::memcpy(at, &t, sizeof t);
      } else {
        std::memcpy(at, &ts, sizeof ts);
      }
      return;
    }
    case SQL_C_BINARY:
      for (size_t i = 0; i < text->size(); ++i) at[i] = static_cast<char>((*text)[i]);
      indicator = static_cast<SQLLEN>(text->size());
      return;
    default:
      std::memcpy(at, text->data(), text->size() * sizeof(char16_t));
      indicator = static_cast<SQLLEN>(text->size() * sizeof(char16_t));
      return;
  }
}

}  // namespace

void TOdbcStatement::BindArray(int position, const std::vector<const TVariant*>& values, TVarType kind, bool binary,
                               SQLSMALLINT sqlType) {
  if (static_cast<size_t>(position) > arrays_.size()) arrays_.resize(static_cast<size_t>(position));
  auto& slot = arrays_[static_cast<size_t>(position - 1)];
  if (!slot) slot = std::make_unique<TArrayParam>();
  std::vector<std::u16string> texts;
  const TArrayLayout l = ArrayLayoutOf(values, kind, binary, sqlType, texts);
  slot->data.assign(std::max<size_t>(1, values.size() * l.width), 0);
  slot->indicators.assign(std::max<size_t>(1, values.size()), SQL_NULL_DATA);
  for (size_t r = 0; r < values.size(); ++r) {
    if (values[r]->IsNullOrEmpty()) continue;
    PutArrayValue(l, *values[r], texts.empty() ? nullptr : &texts[r], slot->data.data() + r * l.width,
                  slot->indicators[r]);
  }
  const SQLRETURN rc =
      SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(position), SQL_PARAM_INPUT, l.cType, l.type, l.size, l.digits,
                       slot->data.data(), static_cast<SQLLEN>(l.width), slot->indicators.data());
  if (!Ok(rc)) Raise(Format("cannot bind parameter %d", position));
}

bool TOdbcStatement::ExecuteArray(size_t sets, bool& allDone) {
  allDone = false;
  std::vector<SQLUSMALLINT> status(sets, SQL_PARAM_UNUSED);
  SQLULEN processed = 0;
  const auto setAttr = [this](SQLINTEGER attr, SQLPOINTER value) {
    return Ok(SQLSetStmtAttr(stmt_, attr, value, 0));
  };
  const bool arrays = setAttr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(sets))) &&
                      setAttr(SQL_ATTR_PARAM_STATUS_PTR, status.data()) &&
                      setAttr(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed);
  SQLULEN taken = 0;
  if (arrays) SQLGetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, &taken, 0, nullptr);
  bool ran = false;
  if (arrays && taken == sets) {
    const SQLRETURN rc = SQLExecute(stmt_);
    ran = true;
    allDone = (Ok(rc) || rc == SQL_NO_DATA) && processed == sets &&
              std::all_of(status.begin(), status.end(), [](SQLUSMALLINT s) {
                return s == SQL_PARAM_SUCCESS || s == SQL_PARAM_SUCCESS_WITH_INFO;
              });
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  setAttr(SQL_ATTR_PARAM_STATUS_PTR, nullptr);
  setAttr(SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr);
  setAttr(SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)));
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  arrays_.clear();
  params_.clear();
  return ran;
}

bool TOdbcStatement::ReadText(int column, std::string& out) {
  // Wide chunks until the driver has handed out the whole value.
  wide_.clear();
  SQLWCHAR buf[2048];
  for (;;) {
    SQLLEN len = 0;
    const SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR, buf, sizeof buf, &len);
    if (rc == SQL_NO_DATA) break;
    Check(rc, "cannot read a value");
    if (len == SQL_NULL_DATA) return false;
    const size_t room = sizeof buf / sizeof buf[0] - 1;
    const size_t units = (len == SQL_NO_TOTAL || static_cast<size_t>(len) / sizeof(SQLWCHAR) > room)
                             ? room
                             : static_cast<size_t>(len) / sizeof(SQLWCHAR);
    wide_.append(reinterpret_cast<const char16_t*>(buf), units);
    if (rc == SQL_SUCCESS) break;
  }
  out = Utf16ToUtf8(wide_);
  return true;
}

bool TOdbcStatement::ReadTimeOfDay(int column, TVariant& out) {
  SQL_TIME_STRUCT t{};
  SQLLEN len = 0;
  Check(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_TYPE_TIME, &t, sizeof t, &len), "cannot read a time");
  if (len == SQL_NULL_DATA) return false;
  TDateTime v = 0;
  if (!TryEncodeTime(t.hour, t.minute, t.second, 0, v))
    throw EDatabaseError(Format("%s: column %d holds a time out of range", conn_.Describe(), column));
  out = TVariant::FromDateTime(v);
  return true;
}

bool TOdbcStatement::ReadBytes(int column, std::string& out) {
  out.clear();
  char buf[8192];
  for (;;) {
    SQLLEN len = 0;
    const SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_BINARY, buf, sizeof buf, &len);
    if (rc == SQL_NO_DATA) break;
    Check(rc, "cannot read a value");
    if (len == SQL_NULL_DATA) return false;
    const size_t n =
        (len == SQL_NO_TOTAL || static_cast<size_t>(len) > sizeof buf) ? sizeof buf : static_cast<size_t>(len);
    out.append(buf, n);
    if (rc == SQL_SUCCESS) break;
  }
  return true;
}

bool TOdbcStatement::Read(int column, TVarType kind, bool binary, TVariant& out) {
  const auto col = static_cast<SQLUSMALLINT>(column);
  SQLLEN len = 0;
  switch (kind) {
    case varInteger: {
      SQLBIGINT v = 0;
      Check(SQLGetData(stmt_, col, SQL_C_SBIGINT, &v, sizeof v, &len), "cannot read an integer");
      if (len == SQL_NULL_DATA) return false;
      out = TVariant(static_cast<int64_t>(v));
      return true;
    }
    case varFloat: {
      double v = 0;
      Check(SQLGetData(stmt_, col, SQL_C_DOUBLE, &v, sizeof v, &len), "cannot read a number");
      if (len == SQL_NULL_DATA) return false;
      out = TVariant(v);
      return true;
    }
    case varBoolean: {
      unsigned char v = 0;
      Check(SQLGetData(stmt_, col, SQL_C_BIT, &v, sizeof v, &len), "cannot read a boolean");
      if (len == SQL_NULL_DATA) return false;
      out = TVariant(v != 0);
      return true;
    }
    case varDateTime: {
      SQL_TIMESTAMP_STRUCT ts{};
      Check(SQLGetData(stmt_, col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &len), "cannot read a date-time");
      if (len == SQL_NULL_DATA) return false;
      TDateTime t = 0;
      if (!TryEncodeDateTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                             static_cast<int>(ts.fraction / 1000000u), t))
        throw EDatabaseError(Format("%s: column %d holds a date-time out of range", conn_.Describe(), column));
      out = TVariant::FromDateTime(t);
      return true;
    }
    default: {
      std::string text;
      if (binary ? !ReadBytes(column, text) : !ReadText(column, text)) {
        return false;
      }
      out = TVariant(std::move(text));
      return true;
    }
  }
}

// ==== TOdbcConnection =====================================================================

TOdbcConnection::TOdbcConnection(std::string describe) : describe_(std::move(describe)) {}

TOdbcConnection::~TOdbcConnection() {
  if (connected_) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }
  if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::unique_ptr<TOdbcConnection> TOdbcConnection::ConnectDataSource(const std::string& dsn, const std::string& user,
                                                                    const std::string& password) {
  std::unique_ptr<TOdbcConnection> c(new TOdbcConnection("ODBC data source '" + dsn + "'"));
  c->Open(std::string(), dsn, user, password);
  return c;
}

std::unique_ptr<TOdbcConnection> TOdbcConnection::ConnectDriver(const TOdbcConnectParts& parts) {
  std::string what = "ODBC driver '" + parts.Driver + "'";
  if (!parts.Server.empty()) what += ", server '" + parts.Server + "'";
  if (!parts.Database.empty()) what += ", database '" + parts.Database + "'";
  std::unique_ptr<TOdbcConnection> c(new TOdbcConnection(what));
  c->Open(OdbcConnectionString(parts), std::string(), std::string(), std::string());
  return c;
}

std::unique_ptr<TOdbcConnection> TOdbcConnection::ConnectString(const std::string& connectionString,
                                                                const std::string& user,
                                                                const std::string& password) {
  std::string what;
  if (const std::string dsn = OdbcConnectionKeyword(connectionString, "DSN"); !dsn.empty()) {
    what = "ODBC data source '" + dsn + "'";
  } else if (const std::string driver = OdbcConnectionKeyword(connectionString, "DRIVER"); !driver.empty()) {
    what = "ODBC driver '" + driver + "'";
  } else {
    what = "an ODBC connection string";
  }
  std::string cs = connectionString;
  while (!cs.empty() && (cs.back() == ';' || cs.back() == ' ')) cs.pop_back();
  if (!user.empty()) cs += ";UID=" + OdbcConnectionValue(user);
  if (!password.empty()) cs += ";PWD=" + OdbcConnectionValue(password);
  std::unique_ptr<TOdbcConnection> c(new TOdbcConnection(what));
  c->Open(cs, std::string(), std::string(), password, OdbcConnectionKeyword(connectionString, "PWD"));
  return c;
}

std::string OdbcConnectionKeyword(std::string_view cs, std::string_view keyword) {
  size_t i = 0;
  while (i < cs.size()) {
    const size_t eq = cs.find('=', i);
    if (eq == std::string_view::npos) break;
    std::string_view key = cs.substr(i, eq - i);
    while (!key.empty() && key.front() == ' ') key.remove_prefix(1);
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    std::string value;
    size_t next = eq + 1;
    while (next < cs.size() && cs[next] == ' ') ++next;
    if (next < cs.size() && cs[next] == '{') {
      for (++next; next < cs.size(); ++next) {
        if (cs[next] == '}') {
          if (next + 1 < cs.size() && cs[next + 1] == '}') {
            value += '}';
            ++next;
            continue;
          }
          ++next;
          break;
        }
        value += cs[next];
      }
      next = cs.find(';', next);
    } else {
      const size_t end = cs.find(';', next);
      value = std::string(cs.substr(next, end == std::string_view::npos ? std::string_view::npos : end - next));
      while (!value.empty() && value.back() == ' ') value.pop_back();
      next = end;
    }
    if (AsciiUpperCase(key) == AsciiUpperCase(keyword)) return value;
    if (next == std::string_view::npos) break;
    i = next + 1;
  }
  return std::string();
}

void TOdbcConnection::Raise(const std::string& what) const {
  throw EDatabaseError(Format("%s: %s: %s", describe_, what, OdbcDiagnostics(SQL_HANDLE_DBC, dbc_)));
}

void TOdbcConnection::Open(const std::string& connectionString, const std::string& dsn, const std::string& user,
                           const std::string& password, const std::string& secret) {
  const TUtf8CtypeGuard utf8;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)))
    throw EDatabaseError("Cannot connect to " + describe_ + ": no ODBC environment");
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)))
    throw EDatabaseError("Cannot connect to " + describe_ + ": " + OdbcDiagnostics(SQL_HANDLE_ENV, env_));
  SQLRETURN rc;
  if (!connectionString.empty()) {
    std::u16string cs = Wide(connectionString);
    SQLWCHAR outBuf[2048];
    SQLSMALLINT outLen = 0;
    rc = SQLDriverConnectW(dbc_, nullptr, W(cs), static_cast<SQLSMALLINT>(cs.size()), outBuf, 2048, &outLen,
                           SQL_DRIVER_NOPROMPT);
    std::fill(cs.begin(), cs.end(), u'\0');
    std::fill(std::begin(outBuf), std::end(outBuf), SQLWCHAR(0));
  } else {
    std::u16string d = Wide(dsn), u = Wide(user), p = Wide(password);
    rc = SQLConnectW(dbc_, W(d), static_cast<SQLSMALLINT>(d.size()), W(u), static_cast<SQLSMALLINT>(u.size()), W(p),
                     static_cast<SQLSMALLINT>(p.size()));
    std::fill(p.begin(), p.end(), u'\0');
  }
  if (!Ok(rc)) {
    std::string why = OdbcDiagnostics(SQL_HANDLE_DBC, dbc_);
    // A driver may echo what it was given: keep the password out whatever it does.
    for (const std::string* hidden : {&password, &secret}) {
      if (hidden->empty()) continue;
      for (size_t at = why.find(*hidden); at != std::string::npos; at = why.find(*hidden, at + 3))
        why.replace(at, hidden->size(), "***");
    }
    throw EDatabaseError("Cannot connect to " + describe_ + ": " + why);
  }
  connected_ = true;
  if (!Ok(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
    Raise("cannot turn autocommit off");
  ReadInfo();
}

void TOdbcConnection::ReadInfo() {
  dbms_ = InfoText(SQL_DBMS_NAME);
  quote_ = InfoText(SQL_IDENTIFIER_QUOTE_CHAR);
  if (quote_ == " ") quote_.clear();
}

std::string TOdbcConnection::InfoText(SQLUSMALLINT info) const {
  SQLWCHAR buf[512] = {};
  SQLSMALLINT len = 0;
  if (!Ok(SQLGetInfoW(dbc_, info, buf, sizeof buf, &len))) return std::string();
  buf[511] = 0;
  return Narrow(buf, std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(len, 0)), 511));
}

std::string TOdbcConnection::Describe() const { return describe_; }

std::string TOdbcConnection::QuoteIdentifier(const std::string& name) const {
  if (quote_.empty()) return name;
  std::string out = quote_;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, quote_.size(), quote_) == 0) {
      out += quote_ + quote_;
      i += quote_.size() - 1;
    } else {
      out += name[i];
    }
  }
  return out + quote_;
}

std::unique_ptr<TOdbcStatement> TOdbcConnection::NewStatement() {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) Raise("cannot make a statement");
  return std::unique_ptr<TOdbcStatement>(new TOdbcStatement(*this, stmt));
}

int64_t TOdbcConnection::Execute(const std::string& sql) {
  auto st = NewStatement();
  if (!st->ExecDirect(sql)) return 0;
  SQLLEN n = 0;
  SQLRowCount(st->Handle(), &n);
  return n < 0 ? 0 : n;
}

void TOdbcConnection::WriteDone(int32_t postRecords, int64_t writes) {
  pending_ += writes;
  if (postRecords > 0 && pending_ >= postRecords) CommitPending();
}

void TOdbcConnection::CommitPending() {
  if (pending_ == 0) return;
  const int64_t lost = pending_;
  pending_ = 0;
  if (!Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) {
    const std::string why = OdbcDiagnostics(SQL_HANDLE_DBC, dbc_);
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    throw EDatabaseError(Format("%s: the commit failed (%s); the %d rows written since the last commit were lost",
                                describe_, why, lost));
  }
  ++commits_;
}

void TOdbcConnection::Rollback() {
  pending_ = 0;
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
}

std::string OdbcDataSourceDriver(const std::string& dsn) {
  SQLHENV env = SQL_NULL_HENV;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return std::string();
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  std::string driver;
  SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
  SQLCHAR description[512];
  SQLSMALLINT nameLen = 0, descLen = 0;
  for (SQLUSMALLINT dir = SQL_FETCH_FIRST;
       Ok(SQLDataSources(env, dir, name, sizeof name, &nameLen, description, sizeof description, &descLen));
       dir = SQL_FETCH_NEXT) {
    // Data source names are compared ignoring letter case, as the driver manager looks them up.
    if (strcasecmp(reinterpret_cast<const char*>(name), dsn.c_str()) == 0) {
      driver = reinterpret_cast<const char*>(description);
      break;
    }
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return driver;
}

}  // namespace kv
