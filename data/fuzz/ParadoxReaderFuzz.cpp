// libFuzzer target: the Paradox table reader on any bytes. The input is
//   byte 0: bit 0 opens the table writable and appends a record of the
//           values just read, edits the first record and deletes the
//           last, then reads everything back;
//   bytes 1-4: the length N of the table file (uint32 little-endian);
//   N bytes: the .db file; the rest: its BLOB file (.mb).
// Every record is read: opening and reading either succeed or raise
// EDatabaseError, and every text read is well-formed UTF-8. The seeds are
// in corpus/paradox; data/tests/ParadoxTableTest.cpp replays them.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "foundation/Utf8.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A scratch folder of this process, removed with its files at exit.
struct TScratch {
  std::string dir = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/px-fuzz-") +
                    std::to_string(::getpid());
  TScratch() { ::mkdir(dir.c_str(), 0700); }
  ~TScratch() {
    for (const char* name : {"/t.db", "/t.mb"}) ::unlink((dir + name).c_str());
    ::rmdir(dir.c_str());
  }
};

const std::string& Folder() {
  static const TScratch scratch;
  return scratch.dir;
}

void Write(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<kv::TVariant> ReadAll(kv::px::TParadoxTable& table) {
  std::vector<kv::TVariant> last;
  for (uint32_t r = 1; r <= table.RecordCount(); ++r) {
    const uint8_t* record = table.Record(r);
    std::vector<kv::TVariant> values;
    for (size_t i = 0; i < table.Fields().size(); ++i) {
      kv::TVariant v;
      try {
        v = table.Value(record, i, r);
        record = table.Record(r);  // a BLOB read may not move the cache, but do not rely on it
      } catch (const kv::EDatabaseError&) {
        v = kv::TVariant::Null();
      }
      if (v.Type() == kv::varString && !kv::px::IsBlobType(table.Fields()[i].type) &&
          table.Fields()[i].type != kv::px::kBytes)
        Check(kv::IsValidUtf8(v.RawString()));
      values.push_back(std::move(v));
    }
    last = std::move(values);
  }
  return last;
}

void Modify(kv::px::TParadoxTable& table, const std::vector<kv::TVariant>& values) {
  try {
    kv::px::TParadoxRecordImage image = table.EncodeRecord(values, nullptr, table.RecordCount() + 1);
    table.Append(image);
    kv::px::TParadoxRecordImage edit = table.EncodeRecord(values, table.Record(1), 1);
    table.Rewrite(1, edit);
    table.Delete(table.RecordCount());
    table.Commit();
  } catch (const kv::EDatabaseError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const bool write = data[0] & 1;
  const uint32_t length = kv::px::GetLE32(data + 1);
  std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
  if (length > rest.size()) return 0;
  const std::string path = Folder() + "/t.db";
  Write(path, rest.substr(0, length));
  Write(Folder() + "/t.mb", rest.substr(length));
  try {
    auto table = kv::px::TParadoxTable::Open(path, write);
    const uint32_t count = table->RecordCount();
    std::vector<kv::TVariant> values = ReadAll(*table);
    if (write && table->Writable() && !values.empty()) {
      Modify(*table, values);
      ReadAll(*table);
      auto again = kv::px::TParadoxTable::Open(path, false);
      Check(again->RecordCount() == table->RecordCount());
      Check(table->RecordCount() == count);
    }
  } catch (const kv::EDatabaseError&) {
  }
  return 0;
}
