// libFuzzer target: the text record reader and the record store on any
// bytes under any layout. The first bytes choose the layout:
//   byte 0: bit 0 fixed widths; bit 1 no qualifier; bits 2-3 separator
//           length 0-3; bits 4-5 record separator length 0-3;
//   then the separator, the qualifier and the record separator bytes (or,
//   for fixed widths, up to 4 widths of 0-31 bytes each);
// the rest is the file. Every record read is stored and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "data/RecordStore.h"
#include "data/TextRecordReader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  uint8_t mode = static_cast<uint8_t>(in[0]);
  in.remove_prefix(1);
  auto take = [&in](size_t n) {
    std::string s(in.substr(0, n));
    in.remove_prefix(s.size());
    return s;
  };
  kv::TTextLayout layout;
  if (mode & 1) {
    layout.Type = kv::tftFixedWidths;
    std::string w = take(4);
    for (char c : w) layout.Widths.push_back(static_cast<uint8_t>(c) & 31);
    layout.RowSeparator = take((mode >> 4) & 3);
  } else {
    layout.Type = kv::tftDelimited;
    layout.Separator = take((mode >> 2) & 3);
    layout.Qualifier = (mode & 2) ? std::string() : take(1);
    layout.RowSeparator = take((mode >> 4) & 3);
  }

  kv::TTextRecordReader reader(layout);
  reader.OpenMemory(in);
  kv::TTextRecordStore store;
  std::vector<std::vector<std::string>> expected;
  size_t total = 0;
  while (!reader.AtEnd()) {
    uint64_t before = reader.Consumed();
    reader.ReadRecord();
    Check(reader.Consumed() > before);  // every record takes input
    const size_t n = reader.FieldCount();
    if (layout.Type == kv::tftFixedWidths)
      Check(n == layout.Widths.size());
    else
      Check(n >= 1);
    std::vector<std::string> rec;
    for (size_t i = 0; i < n; ++i) {
      rec.emplace_back(reader.Field(i));
      total += rec.back().size();
    }
    Check(reader.Bytes().size() == (n ? reader.Ends().back() : 0));
    store.Add(reader.Bytes(), reader.Ends().data(), n, n + (expected.size() & 1));
    if (expected.size() & 1) rec.emplace_back();
    expected.push_back(std::move(rec));
  }
  Check(total <= in.size());
  Check(store.Count() == expected.size());
  std::vector<std::string_view> fields;
  for (size_t r = 0; r < expected.size(); ++r) {
    kv::TTextData d = store.Record(r);
    d.Decode(fields);
    Check(fields.size() == expected[r].size());
    for (size_t i = 0; i < fields.size(); ++i) {
      Check(fields[i] == expected[r][i]);
      Check(d.Field(static_cast<int>(i)) == expected[r][i]);
    }
  }
  return 0;
}
