// The transfer of the standard orders CSV on the data layer, as a DB link
// run drives it record by record: the text file dataset opened and walked,
// the 8 source fields read as values, two fields computed by compiled
// expressions (Upper(CITY) and AMOUNT * 1.16, over variables set from the
// record), and the 10 values written to the destination (Append, SetValue,
// Post; or, with --writer 1, through a TBackgroundWriter thread).
//
//   bench_transfer sqlite ORDERS.csv DB [--post N] [--writer 0|1] [--mode append|update]
//       into table "orders" of DB: append creates it anew; update runs the
//       append-or-update mode (locate by the key ID, then edit or append)
//       against the table as it is (transfer_bench.sh first fills it, with
//       a primary key on ID).
//   bench_transfer pg ORDERS.csv [--post N] [--writer 0|1]
//       into a private PostgreSQL server (testsupport/PgTestServer),
//       beside psql \copy of the same file into the same table.
// Prints one line per run: rows, seconds (the open of both datasets
// included), rows per second, and the peak memory of this process.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/BackgroundWriter.h"
#include "data/ExpVariant.h"
#include "data/PgConnection.h"
#include "data/PgDataSets.h"
#include "data/SqliteDataSets.h"
#include "data/TextFileDataset.h"
#include "expression/ThreadExp.h"
#include "foundation/Exceptions.h"
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
};

// The destination's fields: the 8 of the file, then the two computed.
void DefineOrders(kv::TFieldDefs& d) {
  d.Clear();
  d.Add("ID", kv::ftLargeint);
  d.Add("CUSTOMER", kv::ftMemo);
  d.Add("CITY", kv::ftMemo);
  d.Add("AMOUNT", kv::ftFloat);
  d.Add("QTY", kv::ftLargeint);
  d.Add("ORDERED", kv::ftMemo);
  d.Add("STATUS", kv::ftMemo);
  d.Add("NOTE", kv::ftMemo);
  d.Add("GROSS", kv::ftFloat);
  d.Add("UCITY", kv::ftMemo);
}

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
  std::printf("%s (%s, PostRecords %d%s): %ld rows, %.2f s, %.0f rows/s, peak %ld MB\n", what,
              o.update ? "append-or-update" : "append", o.post, o.writer && !o.update ? ", writer thread" : "",
              rows, secs, static_cast<double>(rows) / secs, PeakMiB());
}

int RunSqlite(const std::string& csv, const std::string& db, const Options& o) {
  const auto start = Clock::now();
  kv::TTextFileDataset source;
  OpenSource(source, csv);
  auto conn = std::make_shared<kv::TSqliteConnection>(db);
  kv::TSqliteTableDataSet dest(conn);
  dest.SetTableName("orders");
  dest.SetPostRecords(o.post);
  if (!o.update) {
    conn->Database().Exec("DROP TABLE IF EXISTS orders");
    DefineOrders(dest.FieldDefs());
    dest.CreateTable();
  }
  dest.Open();
  const long rows = Transfer(source, dest, o);
  Report("ours, text file -> SQLite", rows, Since(start), o);
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

int RunPg(const std::string& csv, const Options& o) {
  kvtest::PgTestServer server;
  server.Start();
  const double copySecs = PsqlCopy(server, csv);
  const long copied = std::stol(server.Psql("select count(*) from orders"));
  server.Psql(kPgCreate);
  const auto start = Clock::now();
  kv::TTextFileDataset source;
  OpenSource(source, csv);
  auto conn = std::make_shared<kv::TPgConnection>(
      kv::TPgConnectParams{server.SocketDir() + ":" + std::to_string(server.Port()), server.DbName(), server.User(), ""});
  kv::TPgTableDataSet dest(conn);
  dest.SetTableName("orders");
  dest.SetPostRecords(o.post);
  dest.Open();
  const long rows = Transfer(source, dest, o);
  const double secs = Since(start);
  const long stored = std::stol(server.Psql("select count(*) from orders"));
  if (stored != rows || copied != rows) throw std::runtime_error("row counts differ");
  std::printf("psql \\copy (8 columns): %ld rows, %.2f s, %.0f rows/s\n", copied, copySecs,
              static_cast<double>(copied) / copySecs);
  Report("ours, text file -> PostgreSQL native", rows, secs, o);
  std::printf("ours/psql-copy: %.2fx\n", copySecs / secs);
  server.Remove();
  return 0;
}

Options ParseOptions(int argc, char** argv, int first) {
  Options o;
  for (int i = first; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--post")) o.post = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--writer")) o.writer = std::atoi(argv[i + 1]) != 0;
    else if (!std::strcmp(argv[i], "--mode")) o.update = !std::strcmp(argv[i + 1], "update");
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
               "usage: bench_transfer sqlite ORDERS.csv DB [--post N] [--writer 0|1] [--mode append|update]\n"
               "       bench_transfer pg ORDERS.csv [--post N] [--writer 0|1]\n");
  return 2;
}
