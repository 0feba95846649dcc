// Inserts one record at the front of a large record file and reports the
// time taken and the peak resident memory, which stays small because the
// file's contents move through one 16 KB buffer.
//
//   bench_record_file [folder] [megabytes]     (defaults: /tmp, 200)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/RecordFiles.h"

using namespace kv;

namespace {

long PeakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : "/tmp";
  long megabytes = argc > 2 ? std::atol(argv[2]) : 200;
  if (megabytes <= 0) megabytes = 200;
  const std::string path = folder + "/vandrel-recordfile-bench-" + std::to_string(::getpid()) + ".dat";
  const uint16_t kRecSize = 256;
  const int64_t records = megabytes * 1024 * 1024 / kRecSize;

  try {
    {
      // Build the file with large writes (not part of the measurement).
      TDataStream s(path, "BENCH", fmCreate);
      s.SetRecSize(kRecSize);
      std::vector<char> chunk(1 << 20);
      for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + 7);
      int64_t left = records * kRecSize;
      while (left > 0) {
        int64_t n = std::min<int64_t>(left, static_cast<int64_t>(chunk.size()));
        s.WriteBuffer(chunk.data(), n);
        left -= n;
      }
    }
    long rssBefore = PeakRssKb();

    TDataStream s(path, "BENCH", fmOpenReadWrite);
    s.SetRecSize(kRecSize);
    std::string rec(kRecSize, 'F');
    auto t0 = std::chrono::steady_clock::now();
    s.GotoRec(0);
    s.InsertRec(rec.data());
    auto t1 = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(t1 - t0).count();

    // The new record is first and the old first and last records follow intact.
    std::string got(kRecSize, '\0');
    bool intact = s.RecordCount() == records + 1;
    s.GotoRec(0);
    s.ReadRec(got.data());
    intact = intact && got == rec;
    for (int64_t n : {int64_t{1}, records}) {
      s.GotoRec(n);
      s.ReadRec(got.data());
      int64_t offset = (n - 1) * kRecSize;  // where it started in the original data
      for (int i = 0; i < kRecSize && intact; ++i)
        intact = got[static_cast<size_t>(i)] == static_cast<char>(((offset + i) % (1 << 20)) * 31 + 7);
    }

    std::printf("file: %s\n", path.c_str());
    std::printf("records: %lld of %u bytes (%.1f MB)\n", static_cast<long long>(s.RecordCount()), kRecSize,
                static_cast<double>(s.Size()) / (1024.0 * 1024.0));
    std::printf("insert at the front: %.3f s\n", seconds);
    std::printf("peak RSS: %ld KB before the insert, %ld KB after\n", rssBefore, PeakRssKb());
    std::printf("contents: %s\n", intact ? "intact" : "DAMAGED");
    if (!intact) {
      ::unlink(path.c_str());
      return 1;
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "failed: %s\n", e.what());
    ::unlink(path.c_str());
    return 1;
  }
  ::unlink(path.c_str());
  return 0;
}
