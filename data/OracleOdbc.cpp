#include "data/OracleOdbc.h"

#include <functional>

#include "data/DataBaseInfo.h"
#include "data/OdbcDataSets.h"
#include "foundation/CharClass.h"
#include "foundation/Format.h"

namespace kv {

namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$' || c == '#'; }

}  // namespace

TOdbcNamedStatement OdbcNamedParameters(const std::string& sql) {
  TOdbcNamedStatement out;
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      out.Sql += c;
      if (c == quote) quote = 0;  // a doubled quote closes and opens again
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      out.Sql += c;
      continue;
    }
    if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
      out.Sql += "::";
      ++i;
      continue;
    }
    if (c == ':' && i + 1 < sql.size() && IsNameStart(sql[i + 1])) {
      size_t end = i + 1;
      while (end < sql.size() && IsNameChar(sql[end])) ++end;
      out.Names.push_back(sql.substr(i + 1, end - i - 1));
      out.Sql += '?';
      i = end - 1;
      continue;
    }
    out.Sql += c;
  }
  return out;
}

std::unique_ptr<TOdbcConnection> OracleOdbcConnect(const TDataBaseInfo& info) {
  const std::string& server = info.ServerName;
  if (server.find_first_not_of(' ') == std::string::npos)
    throw EDatabaseError("No Oracle database: the dataset's server name (an ODBC data source or connection string) is empty");
  if (server.find('=') != std::string::npos) return TOdbcConnection::ConnectString(server, info.UserName, info.PassWord);
  return TOdbcConnection::ConnectDataSource(server, info.UserName, info.PassWord);
}

bool OdbcTableExists(TOdbcConnection& connection, const std::string& table) {
  const size_t dot = table.rfind('.');
  const std::string name = dot == std::string::npos ? table : table.substr(dot + 1);
  std::shared_ptr<TOdbcConnection> borrowed(&connection, [](TOdbcConnection*) {});
  TOdbcTableDataSet probe(borrowed);
  std::string lower = name;
  for (char& c : lower) c = AsciiLower(c);
  for (const std::string& candidate : {name, AsciiUpperCase(name), lower}) {
    probe.SetTableName(candidate);
    if (probe.TableExists()) return true;
  }
  return false;
}

int OracleParameterSqlType(const TFieldDef& def) {
  return AsciiUpperCase(def.DataTypeName) == "DATE" ? SQL_TYPE_TIMESTAMP : 0;
}

namespace {

// Runs `sql` with `params` and hands each row to `row`.
void ForEachRow(TOdbcConnection& connection, const std::string& sql, std::vector<TVariant> params,
                const std::function<void(TDataSet&)>& row) {
  std::shared_ptr<TOdbcConnection> borrowed(&connection, [](TOdbcConnection*) {});
  TOdbcQueryDataSet q(borrowed);
  q.SetSQL(sql);
  q.SetParameters(std::move(params));
  q.Open();
  for (; !q.Eof(); q.Next()) row(q);
}

}  // namespace

bool OracleReadFieldDefs(TOdbcConnection& connection, const std::string& user, const std::string& table,
                         TFieldDefs& fields, TIndexDefs& indexes) {
  const TVariant owner(AsciiUpperCase(user)), name(AsciiUpperCase(table));
  fields.Clear();
  ForEachRow(connection, "select * from sys.all_tab_columns where Upper(OWNER)=? and Upper(table_name)=?",
             {owner, name}, [&](TDataSet& q) {
               TFieldDef d;
               d.Name = q.FieldByName("COLUMN_NAME").AsString();
               d.Precision = static_cast<int32_t>(q.FieldByName("DATA_SCALE").AsInteger());
               d.Size = static_cast<int32_t>(q.FieldByName("DATA_PRECISION").AsInteger());
               d.DataTypeName = q.FieldByName("DATA_TYPE").AsString();
               fields.Add(d);
             });
  indexes.Clear();
  std::string key;
  ForEachRow(connection,
             "select B.COLUMN_NAME from sys.all_indexes A, sys.all_ind_columns B where Upper(A.OWNER)=? and "
             "Upper(A.table_name)=? AND A.OWNER=B.INDEX_OWNER AND A.TABLE_NAME=B.TABLE_NAME AND "
             "A.INDEX_NAME=B.INDEX_NAME AND A.UNIQUENESS='UNIQUE'",
             {owner, name}, [&](TDataSet& q) { key += (key.empty() ? "" : ";") + q.Fields(0).AsString(); });
  if (!key.empty()) indexes.Add("", key);
  return fields.Count() > 0;
}

std::vector<std::string> OracleTableNames(TOdbcConnection& connection, const std::string& user) {
  std::vector<std::string> names;
  ForEachRow(connection, "select TABLE_NAME from sys.all_tables where Upper(OWNER)=?", {TVariant(AsciiUpperCase(user))},
             [&](TDataSet& q) { names.push_back(q.Fields(0).AsString()); });
  return names;
}

TOdbcUpdateResolver::TOdbcUpdateResolver(std::shared_ptr<TOdbcConnection> connection, std::string table,
                                         std::string keyFields)
    : connection_(std::move(connection)), table_(std::move(table)), keyFields_(std::move(keyFields)) {
  if (!connection_) throw EDatabaseError("No database connection to apply the changes to");
}

TOdbcUpdateResolver::~TOdbcUpdateResolver() = default;

TOdbcStatement& TOdbcUpdateResolver::Prepared(const std::string& sql) {
  auto& slot = prepared_[sql];
  if (!slot) {
    auto st = connection_->NewStatement();
    st->Prepare(sql);
    slot = std::move(st);
  }
  return *slot;
}

std::string TOdbcUpdateResolver::Where(const TFieldDefs& fields, const std::vector<TVariant>& oldValues,
                                       std::vector<size_t>& bound) const {
  std::vector<size_t> keys;
  for (const std::string& name : SplitFieldNames(keyFields_)) {
    const int i = fields.IndexOf(name);
    if (i < 0) throw EDatabaseError(Format("Key field '%s' not found", name));
    keys.push_back(static_cast<size_t>(i));
  }
  if (keys.empty())
    for (int i = 0; i < fields.Count(); ++i) keys.push_back(static_cast<size_t>(i));
  std::string where;
  for (size_t k : keys) {
    where += (where.empty() ? "" : " AND ") + connection_->QuoteIdentifier(fields[static_cast<int>(k)].Name);
    if (oldValues[k].IsNullOrEmpty()) {
      where += " IS NULL";
    } else {
      where += " = ?";
      bound.push_back(k);
    }
  }
  return where;
}

void TOdbcUpdateResolver::ApplyUpdate(TUpdateKind kind, const TFieldDefs& fields,
                                      const std::vector<TVariant>& oldValues, const std::vector<TVariant>& newValues) {
  const std::string table = QuoteTableName ? connection_->QuoteIdentifier(table_) : table_;
  std::vector<std::pair<const TVariant*, int>> binds;  // value, SQL type
  std::string sql;
  if (kind == ukInsert) {
    std::string names, marks;
    for (int i = 0; i < fields.Count(); ++i) {
      names += (i ? ", " : "") + connection_->QuoteIdentifier(fields[i].Name);
      marks += i ? ", ?" : "?";
      binds.emplace_back(&newValues[static_cast<size_t>(i)], OracleParameterSqlType(fields[i]));
    }
    sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
  } else {
    std::vector<size_t> keys;
    const std::string where = Where(fields, oldValues, keys);
    if (kind == ukModify) {
      std::string sets;
      for (int i = 0; i < fields.Count(); ++i) {
        sets += (i ? ", " : "") + connection_->QuoteIdentifier(fields[i].Name) + " = ?";
        binds.emplace_back(&newValues[static_cast<size_t>(i)], OracleParameterSqlType(fields[i]));
      }
      sql = "UPDATE " + table + " SET " + sets + " WHERE " + where;
    } else {
      sql = "DELETE FROM " + table + " WHERE " + where;
    }
    for (size_t k : keys) binds.emplace_back(&oldValues[k], OracleParameterSqlType(fields[static_cast<int>(k)]));
  }
  TOdbcStatement& st = Prepared(sql);
  for (size_t i = 0; i < binds.size(); ++i)
    st.BindValue(static_cast<int>(i + 1), *binds[i].first, static_cast<SQLSMALLINT>(binds[i].second));
  const bool any = st.Execute();
  const int64_t changed = any ? st.RowCount() : 0;
  st.CloseCursor();
  if (kind != ukInsert && changed == 0)
    throw EDatabaseError(Format("Table '%s': the row to %s is no longer there", table_,
                                kind == ukModify ? "change" : "delete"));
  ++applied_;
  connection_->WriteDone(CommitEvery > 0 ? CommitEvery : 0);
}

void TOdbcUpdateResolver::EndApply(bool) {
  if (CommitEvery < 0) connection_->CommitPending();
}

}  // namespace kv
