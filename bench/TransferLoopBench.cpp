// The transfer's record loop on the data layer alone, for a profiler: the
// orders CSV read through the text file dataset record by record, each of
// the 8 source fields read as a value, two fields computed in C++ (the
// upper-cased CITY and AMOUNT * 1.16), and the 10 values written to a new
// SQLite table through TSqliteTableDataSet (Append, SetValue, Post) with
// PostRecords writes per transaction. Prints the time of the open, of the
// loop, the rows per second and the peak memory.
//
//   bench_transfer_loop ORDERS.csv [--post N] [--dir FOLDER]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "data/SqliteDataSets.h"
#include "data/TextFileDataset.h"
#include "foundation/Exceptions.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void DefineOrders(kv::TFieldDefs& d) {
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

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return u;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ORDERS.csv [--post N] [--dir FOLDER]\n", argv[0]);
    return 2;
  }
  int32_t post = 100;
  std::string dir = "/tmp";
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--post")) post = std::atoi(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--dir")) dir = argv[i + 1];
  }
  const std::string db = dir + "/bench_transfer_loop_" + std::to_string(::getpid()) + ".db";
  try {
    const auto t0 = Clock::now();
    kv::TTextFileDataset source;
    source.SetExtractColumnNamesFromFirstLine(true);
    source.SetTableName(argv[1]);
    source.Open();
    auto conn = std::make_shared<kv::TSqliteConnection>(db);
    kv::TSqliteTableDataSet dest(conn);
    dest.SetTableName("orders");
    dest.SetPostRecords(post);
    DefineOrders(dest.FieldDefs());
    dest.CreateTable();
    dest.Open();
    const auto t1 = Clock::now();
    std::vector<kv::TField*> from, to;
    for (int i = 0; i < 8; ++i) from.push_back(&source.Fields(i));
    for (int i = 0; i < 10; ++i) to.push_back(&dest.Fields(i));
    std::vector<kv::TVariant> values(10);
    long rows = 0;
    for (source.First(); !source.Eof(); source.Next(), ++rows) {
      for (size_t i = 0; i < 8; ++i) values[i] = from[i]->Value();
      values[8] = kv::TVariant(values[3].AsFloat() * 1.16);
      values[9] = kv::TVariant(Upper(values[2].RawString()));
      dest.Append();
      for (size_t i = 0; i < 10; ++i) to[i]->SetValue(values[i]);
      dest.Post();
    }
    dest.Close();
    const auto t2 = Clock::now();
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("rows %ld  open %.2f s  loop %.2f s  total %.2f s  %.0f rows/s  peak %ld MB  (PostRecords %d)\n", rows,
                Seconds(t0, t1), Seconds(t1, t2), Seconds(t0, t2), static_cast<double>(rows) / Seconds(t0, t2),
                ru.ru_maxrss / 1024, post);
  } catch (const kv::Exception& e) {
    std::fprintf(stderr, "error: %s\n", e.Message().c_str());
    return 1;
  }
  for (const char* x : {"", "-wal", "-shm"}) std::remove((db + x).c_str());
  return 0;
}
