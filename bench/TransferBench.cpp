// The transfer of the standard orders CSV (8 columns) into a destination
// table with 10 fields: the 8 of the file and two computed ones,
// Upper(CITY) and AMOUNT * 1.16.
//
// By default through a real DB link run (a job with a text dataset "S" and
// a table dataset "D", run headless on the link's thread as vandrel-cli
// link run does). With --via data, the record loop on the data layer alone:
// the text file dataset walked, the two fields computed by compiled
// expressions, and the rows written with Append/SetValue/Post or, with
// --writer 1, through a TBackgroundWriter thread (append only).
//
//   bench_transfer sqlite ORDERS.csv DB [--post N] [--mode append|update] [--via link|data] [--writer 0|1]
//       into table "orders" of DB: append empties it first (creating it
//       when missing); update runs the append-or-update mode keyed by ID
//       against the table as it is (transfer_bench.sh first fills it, with
//       a primary key on ID).
//   bench_transfer pg ORDERS.csv [--post N] [--via link|data] [--writer 0|1] [--rounds N]
//       into a private PostgreSQL server (testsupport/PgTestServer),
//       beside psql \copy of the same file; with --rounds, both N times
//       in turn and the median of the ratios (for a machine whose speed
//       changes from minute to minute).
// Prints one line per run: rows, seconds (opening both datasets included),
// rows per second, and the peak memory of this process.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/BackgroundWriter.h"
#include "data/DataBaseInfo.h"
#include "data/TableDataSets.h"
#include "data/TextDataSet.h"
#include "data/ExpVariant.h"
#include "data/PgConnection.h"
#include "data/PgDataSets.h"
#include "data/SqliteDataSets.h"
#include "data/TextFileDataset.h"
#include "expression/ThreadExp.h"
#include "foundation/Exceptions.h"
#include "jobs/DBLink.h"
#include "jobs/HeadlessHandlers.h"
#include "jobs/Job.h"
#include "testsupport/PgTestServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using kv::TVariant;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long PeakMiB() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024;
}

struct Options {
  int32_t post = 100;
  bool writer = false;
  bool update = false;
  bool link = true;
  int rounds = 1;  // PostgreSQL: psql \copy and ours this many times
};

const char* const kOrdersColumns =
    "ID INTEGER, CUSTOMER TEXT, CITY TEXT, AMOUNT REAL, QTY INTEGER, ORDERED TEXT, STATUS TEXT, NOTE TEXT, "
    "GROSS REAL, UCITY TEXT";

// ---- Through a DB link run ---------------------------------------------------------------------

// Runs a DB link from the text file `csv` into the table "orders" that
// `destination` describes; returns the rows read. Raises when the run does
// not end ok.
long RunLink(const std::string& csv, const kv::TDataBaseInfo& destination, const std::string& jobFile,
             const Options& o) {
  kv::TJob job;
  job.Name = "J";
  job.SaveFileName = jobFile;
  kv::TKVTextDataSet source;
  source.Name = "S";
  source.TextFile().SetExtractColumnNamesFromFirstLine(true);
  source.TextFile().SetTableName(csv);
  kv::TKVTableDataSet dest;
  dest.Name = "D";
  dest.DataBaseInfo->Assign(&destination);
  dest.TableName = "orders";
  dest.PostRecords = o.post;
  dest.ImportMode = o.update ? kv::imAppendUpdate : kv::imAppend;
  if (o.update) dest.DatasetKeys = "ID";
  auto link = std::make_unique<kv::TDBLink>();
  link->Name = "L";
  link->Job = &job;
  link->SetSourceDataSet(&source);
  link->SetDestDataSet(&dest);
  for (const char* m : {"ID=ID", "CUSTOMER=CUSTOMER", "CITY=CITY", "AMOUNT=AMOUNT", "QTY=QTY", "ORDERED=ORDERED",
                        "STATUS=STATUS", "NOTE=NOTE", "GROSS=StrToFloat(S.AMOUNT) * 1.16", "UCITY=Upper(S.CITY)"})
    link->Mappings().Add(m);
  std::string log;
  kv::AttachHeadlessHandlers(*link, [&log](kv::TDBLink&, const kv::TKVLog& l) {
    if (log.size() < 2000) log += l.Event + "\n";
  });
  link->Run();
  link->WaitFor();
  const kv::TRunStatistic stat = link->Counters().Statistic;
  if (link->Status() != kv::jsOk || stat.Errors != 0)
    throw kv::Exception("the run did not end ok (" + std::to_string(stat.Errors) + " errors):\n" + log);
  return stat.Rows;
}

// ---- On the data layer alone ----------------------------------------------------------------------

// The mapping: 8 source fields and two expressions over the variables CITY and AMOUNT.
class TMapping {
public:
  explicit TMapping(kv::TDataSet& source) {
    for (int i = 0; i < 8; ++i) from_.push_back(&source.Fields(i));
    kv::CreatePubVarList();
    kv::TVarList* vars = kv::GetPubVarList();
    vars->SetVarExp("CITY", kv::CreateStrExp(""));
    vars->SetVarExp("AMOUNT", kv::CreateRealExp(0));
    city_ = vars->GetVarExp("CITY");
    amount_ = vars->GetVarExp("AMOUNT");
    gross_ = Compile("AMOUNT * 1.16");
    upper_ = Compile("Upper(CITY)");
  }
  // The 10 values of the current source record.
  void Load(std::vector<TVariant>& values) {
    for (size_t i = 0; i < 8; ++i) values[i] = from_[i]->Value();
    city_->PutString(values[2].RawString());
    amount_->PutReal(values[3].AsFloat());
    values[8] = Evaluate(*gross_);
    values[9] = Evaluate(*upper_);
  }

private:
  static std::unique_ptr<kv::TExpression> Compile(const char* text) {
    std::unique_ptr<kv::TExpression> e = kv::TranslateExp(text);
    if (!e) throw kv::Exception(std::string(text) + ": " + kv::GetExpErrorMsg());
    return e;
  }
  static TVariant Evaluate(kv::TExpression& e) {
    e.Evaluate(kv::NextStamp(e.SyncFlag));
    return kv::ExpToVariant(e);
  }

  std::vector<kv::TField*> from_;
  kv::TExpression* city_ = nullptr;
  kv::TExpression* amount_ = nullptr;
  std::unique_ptr<kv::TExpression> gross_, upper_;
};

void OpenSource(kv::TTextFileDataset& source, const std::string& csv) {
  source.SetExtractColumnNamesFromFirstLine(true);
  source.SetTableName(csv);
  source.Open();
}

// Every record posted in turn; in the update mode located by ID first.
long LoopRecordByRecord(kv::TDataSet& source, kv::TDataSet& dest, const Options& o) {
  TMapping map(source);
  std::vector<kv::TField*> to;
  for (int i = 0; i < 10; ++i) to.push_back(&dest.Fields(i));
  std::vector<TVariant> values(10);
  long rows = 0;
  for (source.First(); !source.Eof(); source.Next(), ++rows) {
    map.Load(values);
    if (o.update && dest.Locate("ID", values[0]))
      dest.Edit();
    else
      dest.Append();
    for (size_t i = 0; i < 10; ++i) to[i]->SetValue(values[i]);
    dest.Post();
  }
  return rows;
}

// The rows handed to a writer thread in batches (append only).
long LoopWithWriter(kv::TDataSet& source, kv::TDataSet& dest) {
  TMapping map(source);
  std::vector<kv::TField*> to;
  for (int i = 0; i < 10; ++i) to.push_back(&dest.Fields(i));
  dest.DisableControls();
  kv::TBackgroundWriter writer(dest, to);
  std::vector<TVariant> values(10);
  long rows = 0;
  for (source.First(); !source.Eof(); source.Next(), ++rows) {
    if (writer.Failed()) throw kv::Exception(writer.Failure().message);
    map.Load(values);
    TVariant* slots = writer.Row();
    for (size_t i = 0; i < 10; ++i) slots[i] = std::move(values[i]);
    writer.Push(rows);
  }
  if (!writer.Drain()) throw kv::Exception(writer.Failure().message);
  dest.EnableControls();
  return rows;
}

long Transfer(kv::TDataSet& source, kv::TDataSet& dest, const Options& o) {
  const long rows = o.writer && !o.update ? LoopWithWriter(source, dest) : LoopRecordByRecord(source, dest, o);
  dest.Close();
  return rows;
}

void Report(const char* what, long rows, double secs, const Options& o) {
  const bool writer = o.writer && !o.update && !o.link;
  std::printf("%s (%s, PostRecords %d%s): %ld rows, %.2f s, %.0f rows/s, peak %ld MB\n", what,
              o.update ? "append-or-update" : "append", o.post, writer ? ", writer thread" : "",
              rows, secs, static_cast<double>(rows) / secs, PeakMiB());
}

int RunSqlite(const std::string& csv, const std::string& db, const Options& o) {
  if (!o.update) {
    kv::TSqliteDatabase d(db);
    d.Exec(std::string("CREATE TABLE IF NOT EXISTS orders(") + kOrdersColumns + "); DELETE FROM orders");
  }
  const auto start = Clock::now();
  long rows = 0;
  if (o.link) {
    kv::TDataBaseInfo info;
    info.DriverName = "SQLITE";
    info.Path = db;
    rows = RunLink(csv, info, db + ".job", o);
  } else {
    kv::TTextFileDataset source;
    OpenSource(source, csv);
    auto conn = std::make_shared<kv::TSqliteConnection>(db);
    kv::TSqliteTableDataSet dest(conn);
    dest.SetTableName("orders");
    dest.SetPostRecords(o.post);
    dest.Open();
    rows = Transfer(source, dest, o);
  }
  Report(o.link ? "ours, DB link run, text file -> SQLite" : "ours, data layer, text file -> SQLite", rows,
         Since(start), o);
  return 0;
}

// ---- PostgreSQL ------------------------------------------------------------------------------

const char* const kPgCreate =
    "drop table if exists orders; create table orders(ID bigint, CUSTOMER text, CITY text, AMOUNT double precision, "
    "QTY bigint, ORDERED text, STATUS text, NOTE text, GROSS double precision, UCITY text)";

double PsqlCopy(const kvtest::PgTestServer& s, const std::string& csv) {
  s.Psql("drop table if exists orders; create table orders(ID bigint, CUSTOMER text, CITY text, "
         "AMOUNT double precision, QTY bigint, ORDERED text, STATUS text, NOTE text)");
  const std::string cmd = "/usr/lib/postgresql/15/bin/psql -X -q -h '" + s.SocketDir() + "' -p " +
                          std::to_string(s.Port()) + " -U " + s.User() + " -d " + s.DbName() +
                          " -c \"\\copy orders from '" + csv + "' with (format csv, header true)\"";
  const auto start = Clock::now();
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("psql \\copy failed");
  return Since(start);
}

// Before a timed part: the system's writes of the part before are on
// disk, so that no part pays for another's (the table of the part before
// is dropped with its buffers when the next one is created).
void Settle() { ::sync(); }

// Our run into "orders" (made new by the caller, outside the timed part as
// for psql \copy); the rows it reports.
long RunPgOnce(const kvtest::PgTestServer& server, const std::string& csv, const Options& o) {
  const std::string host = server.SocketDir() + ":" + std::to_string(server.Port());
  if (o.link) {
    kv::TDataBaseInfo info;
    info.DriverName = "POSTGRESQL";
    info.ServerName = host;
    info.DataBaseName = server.DbName();
    info.UserName = server.User();
    return RunLink(csv, info, server.SocketDir() + "/J.job", o);
  }
  kv::TTextFileDataset source;
  OpenSource(source, csv);
  auto conn = std::make_shared<kv::TPgConnection>(kv::TPgConnectParams{host, server.DbName(), server.User(), ""});
  kv::TPgTableDataSet dest(conn);
  dest.SetTableName("orders");
  dest.SetPostRecords(o.post);
  dest.Open();
  const long rows = Transfer(source, dest, o);
  std::printf("COPY statements: %lld, in the binary format: %lld\n", static_cast<long long>(dest.CopyBatches()),
              static_cast<long long>(dest.BinaryCopyBatches()));
  return rows;
}

// psql \copy and our run, one after the other, `o.rounds` times in one
// server; the ratio of each round and, with several, their median.
int RunPg(const std::string& csv, const Options& o) {
  kvtest::PgTestServer server;
  server.Start();
  std::vector<double> ratios;
  for (int round = 1; round <= o.rounds; ++round) {
    Settle();
    const double copySecs = PsqlCopy(server, csv);
    const long copied = std::stol(server.Psql("select count(*) from orders"));
    server.Psql(kPgCreate);
    Settle();
    const auto start = Clock::now();
    const long rows = RunPgOnce(server, csv, o);
    const double secs = Since(start);
    const long stored = std::stol(server.Psql("select count(*) from orders"));
    if (stored != rows || copied != rows) throw std::runtime_error("row counts differ");
    std::printf("psql \\copy (8 columns): %ld rows, %.2f s, %.0f rows/s\n", copied, copySecs,
                static_cast<double>(copied) / copySecs);
    Report(o.link ? "ours, DB link run, text file -> PostgreSQL native" : "ours, data layer, text file -> PostgreSQL",
           rows, secs, o);
    std::printf("ours/psql-copy: %.2fx\n", copySecs / secs);
    ratios.push_back(copySecs / secs);
  }
  if (ratios.size() > 1) {
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    std::printf("ours/psql-copy over %zu rounds: %.2fx to %.2fx, median %.2fx\n", n, ratios.front(), ratios.back(),
                median);
  }
  server.Remove();
  return 0;
}

Options ParseOptions(int argc, char** argv, int first) {
  Options o;
  for (int i = first; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--post")) o.post = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--writer")) o.writer = std::atoi(argv[i + 1]) != 0;
    else if (!std::strcmp(argv[i], "--mode")) o.update = !std::strcmp(argv[i + 1], "update");
    else if (!std::strcmp(argv[i], "--via")) o.link = std::strcmp(argv[i + 1], "data") != 0;
    else if (!std::strcmp(argv[i], "--rounds")) o.rounds = std::max(1, std::atoi(argv[i + 1]));
    else throw std::runtime_error(std::string("unknown option ") + argv[i]);
  }
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc >= 4 && !std::strcmp(argv[1], "sqlite")) return RunSqlite(argv[2], argv[3], ParseOptions(argc, argv, 4));
    if (argc >= 3 && !std::strcmp(argv[1], "pg")) return RunPg(argv[2], ParseOptions(argc, argv, 3));
  } catch (const kv::Exception& e) {
    std::fprintf(stderr, "bench_transfer: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_transfer: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: bench_transfer sqlite ORDERS.csv DB [--post N] [--mode append|update] [--via link|data] "
               "[--writer 0|1]\n"
               "       bench_transfer pg ORDERS.csv [--post N] [--via link|data] [--writer 0|1] [--rounds N]\n");
  return 2;
}
