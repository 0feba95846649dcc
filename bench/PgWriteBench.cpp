// Appending the orders CSV into PostgreSQL through the dataset API (the
// native engine's table dataset: rows buffered and sent with COPY; and the
// ODBC engine's table dataset through psqlODBC), side by side in one run
// with `psql \copy` of the same file, against a private server this
// program starts. Prints rows per second of each and the ratios.
//
// Usage: bench_pg_write ORDERS.csv [POSTRECORDS [ODBC_ROWS]]   (make the CSV
// with /work/shared/bench/make_orders_csv.py or bench/pg_write_bench.sh).
// The ODBC part (appends sent as parameter arrays of PostRecords rows, at
// most 1000) takes the first ODBC_ROWS rows (default 100,000; 0 skips it).
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "data/PgConnection.h"
#include "data/PgDataSets.h"
#include "data/OdbcConnection.h"
#include "data/OdbcDataSets.h"
#include "testsupport/OdbcTestSources.h"
#include "testsupport/PgTestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kCreate =
    "drop table if exists bench_orders; create table bench_orders(ID integer, CUSTOMER text, CITY text, "
    "AMOUNT real, QTY integer, ORDERED date, STATUS text, NOTE text)";

// The fields of one CSV line (quoted fields with "" inside, no line breaks in fields).
void SplitCsv(const std::string& line, std::vector<std::string>& fields) {
  fields.clear();
  std::string field;
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') field += line[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c != '\r') {
      field += c;
    }
  }
  fields.push_back(std::move(field));
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double RunPsqlCopy(const kvtest::PgTestServer& s, const std::string& csv) {
  const std::string cmd = "/usr/lib/postgresql/15/bin/psql -X -q -h '" + s.SocketDir() + "' -p " +
                          std::to_string(s.Port()) + " -U " + s.User() + " -d " + s.DbName() +
                          " -c \"\\copy bench_orders from '" + csv + "' with (format csv, header true)\"";
  const auto start = Clock::now();
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("psql \\copy failed");
  return Seconds(start);
}

// Appends up to `limit` rows of the CSV through the table dataset `t`
// (closed, pointed at bench_orders); returns the seconds from `start`.
template <class Table>
double AppendCsv(Table& t, const std::string& csv, int32_t postRecords, int64_t limit, int64_t& rows,
                 Clock::time_point start) {
  t.SetTableName("bench_orders");
  t.SetPostRecords(postRecords);
  t.Open();
  std::vector<kv::TField*> fields;
  for (int i = 0; i < t.FieldCount(); ++i) fields.push_back(&t.Fields(i));
  std::ifstream in(csv, std::ios::binary);
  std::string line;
  std::getline(in, line);  // the header
  std::vector<std::string> values;
  rows = 0;
  while (rows < limit && std::getline(in, line)) {
    SplitCsv(line, values);
    t.Append();
    for (size_t i = 0; i < fields.size() && i < values.size(); ++i) fields[i]->SetValue(kv::TVariant(values[i]));
    t.Post();
    ++rows;
  }
  t.Close();
  return Seconds(start);
}

double RunNative(const kvtest::PgTestServer& s, const std::string& csv, int32_t postRecords, int64_t& rows) {
  const auto start = Clock::now();
  auto conn = std::make_shared<kv::TPgConnection>(
      kv::TPgConnectParams{s.SocketDir() + ":" + std::to_string(s.Port()), s.DbName(), s.User(), ""});
  kv::TPgTableDataSet t(conn);
  return AppendCsv(t, csv, postRecords, INT64_MAX, rows, start);
}

double RunOdbc(const kvtest::PgTestServer& s, const std::string& csv, int32_t postRecords, int64_t limit,
               int64_t& rows) {
  kvtest::DefineOdbcPostgresSource("BenchPg", "127.0.0.1", s.Port(), s.DbName());
  const auto start = Clock::now();
  std::shared_ptr<kv::TOdbcConnection> conn = kv::TOdbcConnection::ConnectDataSource("BenchPg", s.User(), s.Password());
  kv::TOdbcTableDataSet t(conn);
  return AppendCsv(t, csv, postRecords, limit, rows, start);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: bench_pg_write ORDERS.csv [POSTRECORDS]\n";
    return 2;
  }
  const std::string csv = argv[1];
  const int32_t postRecords = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int64_t odbcRows = argc > 3 ? std::atoll(argv[3]) : 100000;
  try {
    kvtest::PgTestServer server;
    server.Start();
    server.Psql(kCreate);
    const double copySecs = RunPsqlCopy(server, csv);
    const int64_t copied = std::stoll(server.Psql("select count(*) from bench_orders"));
    server.Psql(kCreate);
    int64_t rows = 0;
    const double cpuBefore = CpuSeconds();
    const double nativeSecs = RunNative(server, csv, postRecords, rows);
    const double nativeCpu = CpuSeconds() - cpuBefore;
    const int64_t appended = std::stoll(server.Psql("select count(*) from bench_orders"));
    if (appended != rows || copied != rows) {
      std::cerr << "row counts differ: read " << rows << ", \\copy " << copied << ", native " << appended << "\n";
      return 1;
    }
    const double copyRate = static_cast<double>(rows) / copySecs, nativeRate = static_cast<double>(rows) / nativeSecs;
    std::printf("rows: %lld\n", static_cast<long long>(rows));
    std::printf("psql \\copy:                 %7.2f s  %10.0f rows/s\n", copySecs, copyRate);
    std::printf("native dataset (COPY, PostRecords %d): %7.2f s  %10.0f rows/s  (%.2fx \\copy)\n", postRecords,
                nativeSecs, nativeRate, nativeRate / copyRate);
    std::printf("  of which this program's CPU (reading the CSV, the dataset, libpq): %.2f s\n", nativeCpu);
    if (odbcRows > 0) {
      server.Psql(kCreate);
      int64_t odbcDone = 0;
      const double odbcSecs = RunOdbc(server, csv, postRecords, odbcRows, odbcDone);
      const int64_t landed = std::stoll(server.Psql("select count(*) from bench_orders"));
      if (landed != odbcDone) {
        std::cerr << "ODBC: appended " << odbcDone << " rows, the table holds " << landed << "\n";
        return 1;
      }
      const double odbcRate = static_cast<double>(odbcDone) / odbcSecs;
      std::printf("ODBC dataset (psqlODBC, PostgreSQL, %lld rows, PostRecords %d): %7.2f s  %10.0f rows/s  "
                  "(%.3fx \\copy, %.3fx native)\n",
                  static_cast<long long>(odbcDone), postRecords, odbcSecs, odbcRate, odbcRate / copyRate,
                  odbcRate / nativeRate);
    }
    server.Remove();
  } catch (const std::exception& e) {
    std::cerr << "bench_pg_write: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
