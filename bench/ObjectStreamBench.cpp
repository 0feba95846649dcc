// Writes and reads a list of 100,000 small objects through the object stream
// (in memory and through a file) and prints objects per second.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "foundation/BaseObject.h"
#include "foundation/ObjectStream.h"

using namespace kv;

namespace {

class TBenchItem : public TBaseObject {
  KV_CLASS(TBenchItem, TBaseObject)
public:
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<ptString>(proc, param, Name, "Name", !Name.empty());
    Prop<ptInteger>(proc, param, Count, "Count", Count != 0);
    Prop<ptDouble>(proc, param, Amount, "Amount", Amount != 0);
    Prop<ptBoolean>(proc, param, Active, "Active");
  }
  std::string Name;
  int32_t Count = 0;
  double Amount = 0;
  bool Active = false;
};
KV_IMPLEMENT_CLASS(TBenchItem, TBaseObject)
const TClassRegistrar registrar{TBenchItem::StaticClass()};

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  TStoredStrList list;
  for (int i = 0; i < n; ++i) {
    auto* item = new TBenchItem;
    item->Name = "Customer " + std::to_string(i);
    item->Count = i;
    item->Amount = i * 1.25;
    item->Active = i % 2;
    list.AddObject("key" + std::to_string(i), item);
  }

  double bestWrite = 1e9, bestRead = 1e9;
  int64_t bytes = 0;
  for (int round = 0; round < 5; ++round) {
    TMemoryStream m;
    auto t0 = std::chrono::steady_clock::now();
    StreamWriteObject(m, &list);
    auto t1 = std::chrono::steady_clock::now();
    m.SetPosition(0);
    std::unique_ptr<TBaseObject> back(StreamReadObject(m));
    auto t2 = std::chrono::steady_clock::now();
    if (!back || static_cast<TStoredStrList*>(back.get())->Count() != n) {
      std::fprintf(stderr, "read back the wrong list\n");
      return 1;
    }
    bytes = m.Size();
    bestWrite = std::min(bestWrite, Seconds(t0, t1));
    bestRead = std::min(bestRead, Seconds(t1, t2));
  }

  std::string file = "/tmp/vandrel_object_bench.obj";
  auto f0 = std::chrono::steady_clock::now();
  WriteObjectToFile(file, &list);
  auto f1 = std::chrono::steady_clock::now();
  std::unique_ptr<TBaseObject> fromFile(ReadObjectFromFile(file));
  auto f2 = std::chrono::steady_clock::now();
  std::remove(file.c_str());

  std::printf("objects: %d, stream size: %.1f MB\n", n, bytes / 1048576.0);
  std::printf("memory write: %.3f s, %.0f objects/s\n", bestWrite, n / bestWrite);
  std::printf("memory read:  %.3f s, %.0f objects/s\n", bestRead, n / bestRead);
  std::printf("file write:   %.3f s, %.0f objects/s (atomic, synced)\n", Seconds(f0, f1), n / Seconds(f0, f1));
  std::printf("file read:    %.3f s, %.0f objects/s\n", Seconds(f1, f2), n / Seconds(f1, f2));
  return 0;
}
