// Opening a large delimited text file with the text file dataset: both
// passes, then a walk over every record reading every field. Prints the
// file size, the open time and rate, the walk time, the records and the
// peak resident memory of the process (the file is held in memory whole).
//
//   bench_text_file FILE [--header] [--delimiter X] [--qualifier X]
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/TextFileDataset.h"
#include "foundation/Exceptions.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

long PeakKiB() {
  struct rusage ru {};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_text_file FILE [--header] [--delimiter X] [--qualifier X]\n");
    return 2;
  }
  kv::TTextFileDataset ds;
  try {
    for (int i = 2; i < argc; ++i) {
      if (!std::strcmp(argv[i], "--header"))
        ds.SetExtractColumnNamesFromFirstLine(true);
      else if (!std::strcmp(argv[i], "--delimiter") && i + 1 < argc)
        ds.SetColumnSeperator(argv[++i]);
      else if (!std::strcmp(argv[i], "--qualifier") && i + 1 < argc)
        ds.SetStringQualifier(argv[++i]);
    }
    ds.SetTableName(argv[1]);
    struct stat st {};
    if (stat(argv[1], &st) != 0) throw kv::Exception("cannot stat the file");
    const double mb = static_cast<double>(st.st_size) / 1e6;

    long before = PeakKiB();
    auto t0 = std::chrono::steady_clock::now();
    ds.Open();
    auto t1 = std::chrono::steady_clock::now();
    long afterOpen = PeakKiB();

    std::string value;
    size_t bytes = 0, records = 0;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      for (int i = 0; i < ds.FieldCount(); ++i) {
        ds.Fields(i).ReadText(value);
        bytes += value.size();
      }
      ++records;
    }
    auto t2 = std::chrono::steady_clock::now();

    std::printf("file            %.1f MB\n", mb);
    std::printf("records         %zu (%d fields, %d bad)\n", records, ds.FieldCount(), ds.BadRecords().Count());
    std::printf("open            %.3f s  %.0f MB/s\n", Seconds(t0, t1), mb / Seconds(t0, t1));
    std::printf("walk            %.3f s  (%zu field bytes read)\n", Seconds(t1, t2), bytes);
    std::printf("store           %.1f MB\n", static_cast<double>(ds.Records().MemoryUsed()) / 1e6);
    std::printf("peak memory     %.1f MB (before open %.1f MB)  %.2fx the file\n", afterOpen * 1024.0 / 1e6,
                before * 1024.0 / 1e6, afterOpen * 1024.0 / static_cast<double>(st.st_size));
    std::printf("total           %.3f s\n", Seconds(t0, t2));
  } catch (const kv::Exception& e) {
    std::fprintf(stderr, "bench_text_file: %s: %s\n", argv[1], e.what());
    return 1;
  }
  return 0;
}
