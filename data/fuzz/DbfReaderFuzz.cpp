// libFuzzer target: the dBase table reader on any bytes. The input is
//   byte 0: bit 0 opens the table writable and appends a record of the
//           values just read to it, then reads it back;
//   bytes 1-4: the length N of the table file (uint32 little-endian);
//   N bytes: the .dbf file; the rest: its memo file (both .dbt and .fpt).
// Every record is read: opening and reading either succeed or raise
// EDatabaseError, and every text read is well-formed UTF-8.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "data/DatabaseError.h"
#include "data/DbfFormat.h"
#include "data/DbfTable.h"
#include "foundation/Utf8.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// A scratch folder of this process, removed with its files at exit.
struct TScratch {
  std::string dir = (::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/dbf-fuzz-") +
                    std::to_string(::getpid());
  TScratch() { ::mkdir(dir.c_str(), 0700); }
  ~TScratch() {
    for (const char* name : {"/t.dbf", "/t.dbt", "/t.fpt"}) ::unlink((dir + name).c_str());
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

std::vector<kv::TVariant> ReadAll(kv::dbf::TDbfTable& table) {
  std::vector<kv::TVariant> last;
  for (uint32_t r = 1; r <= table.RecordCount(); ++r) {
    const uint8_t* record = table.Record(r);
    (void)kv::dbf::TDbfTable::IsDeleted(record);
    std::vector<kv::TVariant> values;
    for (size_t i = 0; i < table.Fields().size(); ++i) {
      kv::TVariant v;
      try {
        v = table.Value(record, i, r);
      } catch (const kv::EDatabaseError&) {
        v = kv::TVariant::Null();
      }
      if (v.Type() == kv::varString) Check(kv::IsValidUtf8(v.RawString()));
      values.push_back(std::move(v));
    }
    last = std::move(values);
  }
  return last;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const bool write = data[0] & 1;
  const uint32_t length = kv::dbf::GetLE32(data + 1);
  std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);
  if (length > rest.size()) return 0;
  const std::string path = Folder() + "/t.dbf";
  Write(path, rest.substr(0, length));
  Write(Folder() + "/t.dbt", rest.substr(length));
  Write(Folder() + "/t.fpt", rest.substr(length));
  try {
    auto table = kv::dbf::TDbfTable::Open(path, write);
    std::vector<kv::TVariant> values = ReadAll(*table);
    if (write && !values.empty()) {
      try {
        kv::dbf::TDbfRecordImage image = table->EncodeRecord(values, nullptr, table->RecordCount() + 1);
        table->Append(image);
        table->Commit();
      } catch (const kv::EDatabaseError&) {
      }
      ReadAll(*table);
    }
  } catch (const kv::EDatabaseError&) {
  }
  return 0;
}
