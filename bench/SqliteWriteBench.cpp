// Appending the rows of the standard orders file (8 columns: ID, CUSTOMER,
// CITY, AMOUNT, QTY, ORDERED, STATUS, NOTE) to a new SQLite table, three ways
// in one run, on the same rows read into memory first:
//   ours     TSqliteTableDataSet: Append, set the fields, Post (PostRecords
//            100, the default; and once more with one transaction);
//   sqlite3  the command-line tool: sqlite3 DB ".import --csv FILE orders";
//   minimal  the raw sqlite3 API: one prepared INSERT in one transaction,
//            bound from the same values (the engine's own limit).
// Prints rows/s of each, the ratios, and the resident memory of our run at
// a quarter and at the end of the rows (it must not grow with the rows).
//
//   python3 make_orders_csv.py orders.csv        (1,000,000 rows)
//   bench_sqlite_write orders.csv [--rows N] [--dir FOLDER] [--sqlite3 PATH]
//   bench_sqlite_write orders.csv --only ours|ours0|minimal   (one path, for a profiler)
// EXPERIMENT_SQL="PRAGMA ..." runs that SQL on our connection first (to try settings).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/SqliteDataSets.h"
#include "foundation/Exceptions.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Resident memory now, KiB (VmRSS of /proc/self/status).
long RssKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// The rows, as the values a transfer hands to the destination.
constexpr int kColumns = 8;
using Row = std::vector<kv::TVariant>;

// One CSV record of the orders file (a field may be quoted, "" inside is one ").
std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> out(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') out.back() += '"', ++i;
      else if (c == '"') quoted = false;
      else out.back() += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      out.emplace_back();
    } else if (c != '\r') {
      out.back() += c;
    }
  }
  return out;
}

std::vector<Row> ReadRows(const std::string& csv, long limit) {
  std::ifstream in(csv);
  if (!in) throw kv::Exception("cannot read " + csv);
  std::string line;
  std::getline(in, line);  // header
  std::vector<Row> rows;
  while ((limit < 0 || static_cast<long>(rows.size()) < limit) && std::getline(in, line)) {
    std::vector<std::string> f = SplitCsv(line);
    if (f.size() != kColumns) throw kv::Exception("bad record: " + line);
    Row r;
    r.reserve(kColumns);
    r.emplace_back(static_cast<int64_t>(std::atoll(f[0].c_str())));
    r.emplace_back(std::move(f[1]));
    r.emplace_back(std::move(f[2]));
    r.emplace_back(std::strtod(f[3].c_str(), nullptr));
    r.emplace_back(static_cast<int64_t>(std::atoll(f[4].c_str())));
    r.emplace_back(std::move(f[5]));
    r.emplace_back(std::move(f[6]));
    r.emplace_back(std::move(f[7]));
    rows.push_back(std::move(r));
  }
  return rows;
}

// Writes the first `n` rows to a CSV file (for the sqlite3 tool, when only part of the file is used).
void WriteCsv(const std::vector<Row>& rows, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "ID,CUSTOMER,CITY,AMOUNT,QTY,ORDERED,STATUS,NOTE\r\n";
  for (const Row& r : rows) {
    for (int i = 0; i < kColumns; ++i) {
      if (i) out << ',';
      const std::string s = r[static_cast<size_t>(i)].AsString();
      if (s.find_first_of(",\"") != std::string::npos) out << '"' << s << '"';
      else out << s;
    }
    out << "\r\n";
  }
}

struct Result {
  double seconds = 0;
  long peakKiB = 0;
};

// ---- ours -------------------------------------------------------------------------------

Result Ours(const std::vector<Row>& rows, const std::string& db, int32_t postRecords, long& rssQuarter,
            long& rssEnd) {
  std::remove(db.c_str());
  // The time runs until the connection has closed the file, as the minimal loader's does.
  auto conn = std::make_shared<kv::TSqliteConnection>(db);
  if (const char* x = std::getenv("EXPERIMENT_SQL")) conn->Database().Exec(x);
  auto table = std::make_unique<kv::TSqliteTableDataSet>(conn);
  kv::TSqliteTableDataSet& t = *table;
  t.SetTableName("orders");
  t.SetPostRecords(postRecords);
  auto& d = t.FieldDefs();
  d.Add("ID", kv::ftLargeint);
  d.Add("CUSTOMER", kv::ftMemo);
  d.Add("CITY", kv::ftMemo);
  d.Add("AMOUNT", kv::ftFloat);
  d.Add("QTY", kv::ftLargeint);
  d.Add("ORDERED", kv::ftMemo);
  d.Add("STATUS", kv::ftMemo);
  d.Add("NOTE", kv::ftMemo);
  t.CreateTable();
  const auto start = Clock::now();
  t.Open();
  std::vector<kv::TField*> fields;
  for (int i = 0; i < kColumns; ++i) fields.push_back(&t.Fields(i));
  const size_t quarter = rows.size() / 4;
  for (size_t n = 0; n < rows.size(); ++n) {
    const Row& r = rows[n];
    t.Append();
    for (int i = 0; i < kColumns; ++i) fields[static_cast<size_t>(i)]->SetValue(r[static_cast<size_t>(i)]);
    t.Post();
    if (n + 1 == quarter) rssQuarter = RssKiB();
  }
  t.Close();
  rssEnd = RssKiB();
  table.reset();
  conn.reset();
  const auto end = Clock::now();
  return {Seconds(start, end), 0};
}

// Walks the table just written, reading every field: the time and the
// resident memory before and after (reading streams: it must not grow).
void Walk(const std::string& db) {
  auto conn = std::make_shared<kv::TSqliteConnection>(db, kv::TSqliteOpenMode::ReadOnly);
  kv::TSqliteTableDataSet t(conn);
  t.SetTableName("orders");
  const long before = RssKiB();
  const auto start = Clock::now();
  t.Open();
  std::string text;
  int64_t rows = 0;
  for (t.First(); !t.Eof(); t.Next(), ++rows)
    for (int i = 0; i < t.FieldCount(); ++i) t.Fields(i).ReadText(text);
  const double secs = Seconds(start, Clock::now());
  std::printf("walk of the table written, every field read: %lld rows, %.2f s, %.0f rows/s, resident memory "
              "%ld MB before, %ld MB after\n",
              static_cast<long long>(rows), secs, static_cast<double>(rows) / secs, before / 1024, RssKiB() / 1024);
}

// ---- minimal: the raw API -----------------------------------------------------------------

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE) throw kv::Exception(std::string(what) + ": " + sqlite3_errmsg(db));
}

Result Minimal(const std::vector<Row>& rows, const std::string& path, bool wal) {
  std::remove(path.c_str());
  const auto start = Clock::now();
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  if (wal) Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr), db, "wal");
  Check(sqlite3_exec(db,
                     "CREATE TABLE orders(ID INTEGER, CUSTOMER TEXT, CITY TEXT, AMOUNT REAL, QTY INTEGER, "
                     "ORDERED TEXT, STATUS TEXT, NOTE TEXT); BEGIN",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO orders VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", -1, &st, nullptr), db,
        "prepare");
  for (const Row& r : rows) {
    for (int i = 0; i < kColumns; ++i) {
      const kv::TVariant& v = r[static_cast<size_t>(i)];
      switch (v.Type()) {
        case kv::varInteger: sqlite3_bind_int64(st, i + 1, v.RawInteger()); break;
        case kv::varFloat: sqlite3_bind_double(st, i + 1, v.RawFloat()); break;
        default:
          sqlite3_bind_text64(st, i + 1, v.RawString().data(), v.RawString().size(), SQLITE_STATIC, SQLITE_UTF8);
      }
    }
    Check(sqlite3_step(st), db, "insert");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
  return {Seconds(start, Clock::now()), 0};
}

// ---- the sqlite3 tool -----------------------------------------------------------------------

// Run under /usr/bin/time, as peers.sh runs it: a child forked from this
// process would count the rows held here in its peak memory.
Result Tool(const std::string& sqlite3Path, const std::string& db, const std::string& csv) {
  std::remove(db.c_str());
  const std::string import = ".import --csv " + csv + " orders";
  const std::string timeFile = db + ".time";
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/usr/bin/time", "/usr/bin/time", "-f", "%M", "-o", timeFile.c_str(), sqlite3Path.c_str(), db.c_str(),
          import.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw kv::Exception("sqlite3 .import failed");
  std::ifstream in(timeFile);
  long kib = 0;
  in >> kib;
  std::remove(timeFile.c_str());
  return {Seconds(start, end), kib};
}

int64_t CountRows(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "SELECT count(*) FROM orders", -1, &st, nullptr);
  const int64_t n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
  sqlite3_finalize(st);
  sqlite3_close(db);
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ORDERS.csv [--rows N] [--dir FOLDER] [--sqlite3 PATH]\n", argv[0]);
    return 2;
  }
  std::string csv = argv[1], dir = "/tmp", sqlite3Path = "/usr/bin/sqlite3";
  long limit = -1;
  std::string only;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--rows")) limit = std::atol(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
    else if (!std::strcmp(argv[i], "--sqlite3")) sqlite3Path = argv[i + 1];
    else if (!std::strcmp(argv[i], "--only")) only = argv[i + 1];
  }
  try {
    const std::string base = dir + "/bench_sqlite_write_" + std::to_string(::getpid());
    const std::vector<Row> rows = ReadRows(csv, limit);
    const double n = static_cast<double>(rows.size());
    std::string toolCsv = csv;
    if (limit >= 0) {
      toolCsv = base + ".csv";
      WriteCsv(rows, toolCsv);
    }
    const long rssRows = RssKiB();
    if (!only.empty()) {
      ::sync();
      long q = 0, e = 0;
      const Result r = only == "minimal" ? Minimal(rows, base + "-only.db", true)
                                         : Ours(rows, base + "-only.db", only == "ours0" ? 0 : 100, q, e);
      std::printf("%s: %.2f s, %.0f rows/s\n", only.c_str(), r.seconds, static_cast<double>(rows.size()) / r.seconds);
      for (const char* x : {"", "-wal", "-shm"}) std::remove((base + "-only.db" + x).c_str());
      return 0;
    }
    std::printf("rows: %zu (8 columns), held in memory: %ld MB\n", rows.size(), rssRows / 1024);

    // Each way runs twice, alternating, each time on a new file after the
    // disk has taken the previous files' writes (sync); the faster run counts.
    long q100 = 0, e100 = 0, q0 = 0, e0 = 0;
    const std::string db = base + ".db";
    auto drop = [&db] {
      for (const char* s : {"", "-wal", "-shm"}) std::remove((db + s).c_str());
    };
    auto measure = [&](const std::function<Result()>& run, bool walk) {
      drop();
      ::sync();
      Result r = run();
      if (CountRows(db) != static_cast<int64_t>(rows.size())) throw kv::Exception("wrong row count");
      if (walk) Walk(db);
      drop();
      return r;
    };
    auto best = [](Result a, Result b) { return a.seconds <= b.seconds ? a : b; };
    Result tool, minimal, minimalWal, ours, ours0;
    for (int round = 0; round < 2; ++round) {
      auto keep = [&](Result& slot, Result r) { slot = round == 0 ? r : best(slot, r); };
      keep(ours, measure([&] { return Ours(rows, db, 100, q100, e100); }, round == 1));
      keep(tool, measure([&] { return Tool(sqlite3Path, db, toolCsv); }, false));
      keep(minimal, measure([&] { return Minimal(rows, db, false); }, false));
      keep(minimalWal, measure([&] { return Minimal(rows, db, true); }, false));
      keep(ours0, measure([&] { return Ours(rows, db, 0, q0, e0); }, false));
    }

    auto line = [n](const char* name, const Result& r) {
      std::printf("%-44s %6.2f s %12.0f rows/s\n", name, r.seconds, n / r.seconds);
    };
    line("sqlite3 .import --csv (tool)", tool);
    line("minimal: raw API, 1 transaction", minimal);
    line("minimal: raw API, 1 transaction, WAL", minimalWal);
    line("ours: TSqliteTableDataSet, PostRecords 100", ours);
    line("ours: TSqliteTableDataSet, PostRecords 0", ours0);
    std::printf("ours/sqlite3-tool: %.2fx   ours/minimal: %.2fx   ours/minimal-WAL: %.2fx   (PostRecords 100)\n",
                tool.seconds / ours.seconds, minimal.seconds / ours.seconds, minimalWal.seconds / ours.seconds);
    std::printf("ours/sqlite3-tool: %.2fx   ours/minimal: %.2fx   ours/minimal-WAL: %.2fx   (PostRecords 0)\n",
                tool.seconds / ours0.seconds, minimal.seconds / ours0.seconds, minimalWal.seconds / ours0.seconds);
    std::printf("sqlite3 tool peak memory: %ld MB\n", tool.peakKiB / 1024);
    std::printf("ours resident memory (rows held: %ld MB): at 1/4 of the rows %ld MB, at the end %ld MB "
                "(growth %+ld MB)\n",
                rssRows / 1024, q100 / 1024, e100 / 1024, (e100 - q100) / 1024);
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("peak memory of this process: %ld MB\n", ru.ru_maxrss / 1024);
    if (limit >= 0) std::remove(toolCsv.c_str());
  } catch (const kv::Exception& e) {
    std::fprintf(stderr, "error: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
