// Writes 100,000 records into a keyed Paradox table and into one without a
// key (the header and, for the keyed one, the whole .px brought up to date
// every 100 records, as a dataset with PostRecords 100 does), keys in
// ascending and in scattered order, and reports the times and file sizes.
//
//   bench_paradox_keyed [folder] [records]     (defaults: /tmp, 100000)
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "foundation/Format.h"

using namespace kv;

namespace {

long long SizeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

void Run(const std::string& folder, int records, size_t keys, bool scattered) {
  const std::string path = folder + "/bench_paradox_keyed.db";
  const std::string index = px::TParadoxTable::IndexPath(path);
  ::unlink(path.c_str());
  ::unlink(index.c_str());
  const auto start = std::chrono::steady_clock::now();
  {
    auto t = px::TParadoxTable::Create(path, {{"ID", px::kLong, 4}, {"NAME", px::kAlpha, 200}}, 1252, keys);
    for (int i = 0; i < records; ++i) {
      const int n = scattered ? static_cast<int>(int64_t{i} * 7919 % records) : i;
      px::TParadoxRecordImage image = t->EncodeRecord({TVariant(int64_t{n}), TVariant(Format("name %d", n))}, nullptr, 0);
      t->Append(image);
      if (i % 100 == 99) t->Commit();
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-8s %-10s %d records: %.2f s, table %lld bytes, index %lld bytes\n", keys ? "keyed" : "unkeyed",
              scattered ? "scattered" : "ascending", records, seconds, SizeOf(path), SizeOf(index));
  ::unlink(path.c_str());
  ::unlink(index.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const int records = argc > 2 ? std::atoi(argv[2]) : 100000;
  try {
    Run(folder, records, 0, false);
    Run(folder, records, 1, false);
    Run(folder, records, 1, true);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
