#include "data/PgConnection.h"

#include <libpq-fe.h>

#include <utility>

#include "data/DatabaseError.h"
#include "data/ServerAddress.h"
#include "foundation/Format.h"

namespace kv {

void TPgResultDeleter::operator()(pg_result* r) const noexcept { PQclear(r); }

namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// host[:port], [v6][:port] or /socket/folder[:port] -> host and port keywords.
void SplitServer(const std::string& server, std::string& host, std::string& port) {
  TServerAddress address = SplitServerAddress(server);
  host = std::move(address.Host);
  port = std::move(address.Port);
}

}  // namespace

TPgConnection::TPgConnection(const TPgConnectParams& params) {
  std::string host, port;
  SplitServer(params.Server, host, port);
  describe_ = "PostgreSQL database " + (params.Database.empty() ? std::string("(default)") : params.Database) +
              " on " + (params.Server.empty() ? std::string("(default server)") : params.Server) +
              (params.User.empty() ? std::string() : " as " + params.User);
  password_ = params.Password;
  std::vector<std::pair<std::string, std::string>> kw;
  if (!host.empty()) kw.emplace_back("host", host);
  if (!port.empty()) kw.emplace_back("port", port);
  if (!params.Database.empty()) kw.emplace_back("dbname", params.Database);
  if (!params.User.empty()) kw.emplace_back("user", params.User);
  if (!params.Password.empty()) kw.emplace_back("password", params.Password);
  Connect(kw);
}

std::unique_ptr<TPgConnection> TPgConnection::FromConnInfo(const std::string& conninfo, const std::string& password) {
  std::unique_ptr<TPgConnection> c(new TPgConnection());
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.c_str(), &err);
  if (!opts) {
    std::string m = err ? Trimmed(err) : std::string("out of memory");
    PQfreemem(err);
    throw EDatabaseError("Invalid PostgreSQL connection string: " + m);
  }
  std::vector<std::pair<std::string, std::string>> kw;
  std::string host, db, user;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (!o->val) continue;
    kw.emplace_back(o->keyword, o->val);
    std::string k = o->keyword;
    if (k == "host" || k == "hostaddr") host = o->val;
    if (k == "dbname") db = o->val;
    if (k == "user") user = o->val;
    if (k == "password") c->password_ = o->val;
  }
  PQconninfoFree(opts);
  if (!password.empty()) {
    std::erase_if(kw, [](const auto& k) { return k.first == "password"; });
    kw.emplace_back("password", password);
    c->password_ = password;
  }
  c->describe_ = "PostgreSQL database " + (db.empty() ? std::string("(default)") : db) + " on " +
                 (host.empty() ? std::string("(default server)") : host) + (user.empty() ? "" : " as " + user);
  c->Connect(kw);
  return c;
}

void TPgConnection::Connect(const std::vector<std::pair<std::string, std::string>>& given) {
  std::vector<std::pair<std::string, std::string>> kw = given;
  auto setDefault = [&kw](const char* key, const char* value) {
    for (const auto& [k, v] : kw)
      if (k == key) return;
    kw.emplace_back(key, value);
  };
  setDefault("connect_timeout", "10");
  setDefault("keepalives", "1");
  setDefault("keepalives_idle", "30");
  setDefault("keepalives_interval", "10");
  setDefault("keepalives_count", "3");
  setDefault("application_name", "vandrel");
  kw.emplace_back("client_encoding", "UTF8");
  kw.emplace_back("options", "-c DateStyle=ISO,YMD -c TimeZone=UTC -c extra_float_digits=3");
  std::vector<const char*> keys, values;
  for (const auto& [k, v] : kw) {
    keys.push_back(k.c_str());
    values.push_back(v.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
  if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
    std::string m = conn_ ? Trimmed(PQerrorMessage(conn_)) : std::string("out of memory");
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    throw EDatabaseError("Cannot connect to " + describe_ + ": " + Masked(m));
  }
}

TPgConnection::~TPgConnection() {
  if (conn_) PQfinish(conn_);
}

std::string TPgConnection::Describe() const { return describe_; }

std::string TPgConnection::Masked(std::string text) const {
  if (password_.size() < 2) return text;
  for (size_t at = text.find(password_); at != std::string::npos; at = text.find(password_, at + 3))
    text.replace(at, password_.size(), "***");
  return text;
}

bool TPgConnection::Connected() const { return conn_ && PQstatus(conn_) == CONNECTION_OK; }

bool TPgConnection::Lost() const { return !Connected(); }

bool TPgConnection::InTransaction() const {
  if (!conn_) return false;
  const PGTransactionStatusType s = PQtransactionStatus(conn_);
  return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || s == PQTRANS_ACTIVE;
}

void TPgConnection::Raise(std::string_view what, std::string message) {
  throw EDatabaseError(Masked(std::string(what) + ": " + Trimmed(std::move(message))));
}

void TPgConnection::RaiseLost(std::string_view reason) {
  const int64_t lost = pending_;
  pending_ = 0;
  ++generation_;
  std::string m = describe_ + ": the connection to the PostgreSQL server was lost";
  if (lost > 0)
    m += lost == 1 ? "; the row written since the last commit was lost"
                   : "; the " + std::to_string(lost) + " rows written since the last commit were lost";
  if (!reason.empty()) m += " (" + Trimmed(std::string(reason)) + ")";
  throw EDatabaseError(Masked(std::move(m)));
}

void TPgConnection::CheckResult(const TPgResult& result, std::string_view what) {
  const ExecStatusType s = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK || s == PGRES_COPY_IN) return;
  std::string message = result ? PQresultErrorMessage(result.get()) : "";
  if (message.empty()) message = PQerrorMessage(conn_);
  if (Lost()) RaiseLost(message);
  Raise(what, message);
}

TPgResult TPgConnection::Exec(const std::string& sql) {
  if (copyOpen_) FinishCopy();
  if (!conn_ || Lost()) RaiseLost("");
  TPgResult r(PQexec(conn_, sql.c_str()));
  CheckResult(r, describe_);
  return r;
}

TPgResult TPgConnection::ExecPrepared(const std::string& sql, const TPgParams& params) {
  if (copyOpen_) FinishCopy();
  if (!conn_ || Lost()) RaiseLost("");
  auto it = prepared_.find(sql);
  if (it == prepared_.end()) {
    std::string name = "vandrel_" + std::to_string(prepared_.size() + 1);
    TPgResult r(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr));
    CheckResult(r, describe_);
    it = prepared_.emplace(sql, name).first;
  }
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  TPgResult r(PQexecPrepared(conn_, it->second.c_str(), static_cast<int>(values.size()), values.data(), nullptr,
                             nullptr, 0));
  CheckResult(r, describe_);
  return r;
}

void TPgConnection::BeginCopy(const std::string& copySql, std::function<void()> finish, bool beginTransaction) {
  if (beginTransaction && pending_ > 0) RaiseLost("the transaction ended");
  TPgResult start = Exec(beginTransaction ? "BEGIN; " + copySql : copySql);
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) Raise(describe_, "COPY did not start");
  copyOpen_ = true;
  finishCopy_ = std::move(finish);
}

void TPgConnection::PutCopyData(std::string_view rows) {
  if (PQputCopyData(conn_, rows.data(), static_cast<int>(rows.size())) != 1) RaiseLost(PQerrorMessage(conn_));
}

int64_t TPgConnection::EndCopy() {
  copyOpen_ = false;
  finishCopy_ = nullptr;
  if (PQputCopyEnd(conn_, nullptr) != 1) RaiseLost(PQerrorMessage(conn_));
  TPgResult end(PQgetResult(conn_));
  // Drain: libpq hands a null result once the command is done.
  while (TPgResult extra{PQgetResult(conn_)}) {
  }
  CheckResult(end, describe_);
  const char* tuples = PQcmdTuples(end.get());
  return tuples && *tuples ? std::stoll(tuples) : 0;
}

void TPgConnection::FinishCopy() {
  if (!copyOpen_) return;
  std::function<void()> finish = std::move(finishCopy_);
  finishCopy_ = nullptr;
  if (finish) finish();
  if (copyOpen_) EndCopy();
}

std::string TPgConnection::QuoteIdent(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void TPgConnection::BeginWrite() {
  if (InTransaction()) return;
  if (pending_ > 0) RaiseLost("the transaction ended");
  Exec("BEGIN");
}

void TPgConnection::WriteDone(int32_t postRecords, int64_t rows) {
  pending_ += rows;
  ++generation_;
  if (postRecords > 0 && pending_ >= postRecords) CommitPending();
}

TPgResult TPgConnection::RunRowWrite(const std::string& sql, const TPgParams& params) {
  Exec("SAVEPOINT vandrel_row");
  try {
    TPgResult r = ExecPrepared(sql, params);
    Exec("RELEASE SAVEPOINT vandrel_row");
    return r;
  } catch (const EDatabaseError&) {
    ++generation_;
    if (Lost()) throw;
    Exec("ROLLBACK TO SAVEPOINT vandrel_row");
    Exec("RELEASE SAVEPOINT vandrel_row");
    throw;
  }
}

int TPgConnection::AddBeforeCommit(std::function<void()> action) {
  beforeCommit_.emplace_back(nextHandler_, std::move(action));
  return nextHandler_++;
}

void TPgConnection::RemoveBeforeCommit(int id) {
  std::erase_if(beforeCommit_, [id](const auto& h) { return h.first == id; });
}

void TPgConnection::CommitPending() {
  if (!committing_) {
    committing_ = true;
    try {
      auto handlers = beforeCommit_;
      for (auto& [id, action] : handlers) action();
    } catch (...) {
      committing_ = false;
      throw;
    }
    committing_ = false;
  }
  if (!InTransaction()) {
    if (pending_ > 0) RaiseLost("the transaction ended");
    return;
  }
  if (PQtransactionStatus(conn_) == PQTRANS_INERROR) {
    Exec("ROLLBACK");
    const int64_t lost = pending_;
    pending_ = 0;
    ++generation_;
    throw EDatabaseError(describe_ + ": the transaction failed and was rolled back; " + std::to_string(lost) +
                         " rows written since the last commit were lost");
  }
  try {
    Exec("COMMIT");
  } catch (const EDatabaseError& e) {
    const int64_t lost = pending_;
    pending_ = 0;
    ++generation_;
    if (Lost()) throw;
    throw EDatabaseError(Masked(e.Message() + "; " + std::to_string(lost) +
                                " rows written since the last commit were lost"));
  }
  // A COMMIT of a failed transaction answers ROLLBACK without an error.
  pending_ = 0;
  ++commits_;
}

}  // namespace kv
