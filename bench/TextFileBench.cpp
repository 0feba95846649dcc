// Opening a large delimited text file with the text file dataset: both
// passes, then a walk over every record reading every field. Prints the
// file size, the open time and rate, the walk time, the records and the
// peak resident memory of the process (the file is held in memory whole).
//
//   bench_text_file FILE [--header] [--delimiter X] [--qualifier X] [--encoding NAME]
//
// With --header-names N (default 100,000) it writes files whose header
// holds N names (all distinct, all empty, all the same, and a mix) and
// times opening each: renaming repeated names must stay linear.
//
//   bench_text_file --header-names [N]
#include <sys/resource.h>
#include <sys/stat.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

int HeaderNames(long n) {
  struct {
    const char* name;
    std::string (*make)(long i);
  } kinds[] = {
      {"distinct", [](long i) { return "col" + std::to_string(i); }},
      {"empty", [](long) { return std::string(); }},
      {"all the same", [](long) { return std::string("id"); }},
      {"mixed", [](long i) {
         switch (i % 4) {
           case 0: return std::string("id");
           case 1: return "ID_" + std::to_string(i / 4);
           case 2: return std::string();
           default: return "name" + std::to_string(i % 1000);
         }
       }},
  };
  const std::string path = "/tmp/bench_text_header_" + std::to_string(::getpid()) + ".csv";
  for (const auto& k : kinds) {
    std::string header, values;
    for (long i = 0; i < n; ++i) {
      if (i) header += ',', values += ',';
      header += k.make(i);
      values += 'v';
    }
    std::ofstream(path, std::ios::binary) << header << "\r\n" << values << "\r\n";
    kv::TTextFileDataset ds;
    ds.SetExtractColumnNamesFromFirstLine(true);
    ds.MaxFieldsWarn = static_cast<int32_t>(n);
    ds.UnattendedMaxFields = n;
    ds.SetTableName(path);
    auto t0 = std::chrono::steady_clock::now();
    ds.Open();
    auto t1 = std::chrono::steady_clock::now();
    std::printf("%-14s %ld names  open %.3f s  (%d fields, last \"%s\")\n", k.name, n, Seconds(t0, t1), ds.FieldCount(),
                ds.Fields(ds.FieldCount() - 1).FieldName().c_str());
  }
  std::remove(path.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: bench_text_file FILE [--header] [--delimiter X] [--qualifier X] [--encoding NAME]\n"
                 "       bench_text_file --header-names [N]\n");
    return 2;
  }
  if (!std::strcmp(argv[1], "--header-names")) {
    try {
      return HeaderNames(argc > 2 ? std::atol(argv[2]) : 100000);
    } catch (const kv::Exception& e) {
      std::fprintf(stderr, "bench_text_file: %s\n", e.what());
      return 1;
    }
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
      else if (!std::strcmp(argv[i], "--encoding") && i + 1 < argc)
        ds.SetEncoding(argv[++i]);
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
