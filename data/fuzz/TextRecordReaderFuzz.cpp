// libFuzzer target: the text record reader and the record store on any
// bytes under any layout and encoding. The first bytes choose the layout:
//   byte 0: bit 0 fixed widths; bit 1 no qualifier; bits 2-3 separator
//           length 0-3; bits 4-5 record separator length 0-3;
//   byte 1: bits 0-2 the encoding (UTF-8, UTF-8 with widths in
//           characters, GBK, GB18030, CP1252, CP437, UTF-16LE, UTF-16BE);
//           bits 3-4 lines to skip first (0-3);
//   then the separator, the qualifier and the record separator bytes (or,
//   for fixed widths, up to 4 widths of 0-31 each);
// the rest is the file, which may start with a byte-order mark (UTF-8,
// UTF-16LE/BE). Every record read is stored and read back; converted text
// is well-formed UTF-8, and so is every field of a well-formed UTF-8 file
// cut in characters; a reader without the fast path for common records
// reads the same records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "data/RecordStore.h"
#include "data/TextRecordReader.h"
#include "foundation/Utf8.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  uint8_t mode = static_cast<uint8_t>(in[0]);
  uint8_t mode2 = static_cast<uint8_t>(in[1]);
  in.remove_prefix(2);
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

  static const char* const encodings[] = {"UTF-8", "UTF-8", "GBK", "GB18030", "CP1252", "CP437", "UTF-16LE", "UTF-16BE"};
  layout.Encoding = encodings[mode2 & 7];
  layout.CharacterWidths = (mode2 & 7) == 1;

  kv::TTextRecordReader reader(layout);
  reader.OpenMemory(in);
  kv::TTextRecordReader general(layout);
  general.FastRecords = false;
  general.OpenMemory(in);
  // Text taken as it is (UTF-8, a UTF-8 byte-order mark skipped), or converted.
  const bool asIs = reader.InputEncoding().rfind("UTF-8", 0) == 0;
  const bool marked = in.substr(0, 3) == "\xEF\xBB\xBF";
  const std::string_view text = asIs && marked ? in.substr(3) : in;
  if (asIs) {
    kv::TTextRecordReader check(layout);
    check.OpenMemory(in);
    Check(check.RestIsValidUtf8() == kv::IsValidUtf8(text));
  }
  const bool cutInCharacters = asIs && layout.Type == kv::tftFixedWidths && reader.WidthsCountCharacters();
  // Separators that are UTF-8 themselves and an ASCII qualifier only ever
  // match at character boundaries of UTF-8 text (a qualifier byte such as
  // C2 would cut a character in half: the settings cannot express one).
  const bool layoutIsText = kv::IsValidUtf8(layout.Separator) && kv::IsValidUtf8(layout.RowSeparator) &&
                            (layout.Qualifier.empty() || static_cast<unsigned char>(layout.Qualifier[0]) < 0x80);
  const bool wellFormed = layoutIsText && (!asIs || (cutInCharacters && kv::IsValidUtf8(text)));
  std::string line;
  for (int i = (mode2 >> 3) & 3; i > 0; --i) {
    if (!reader.ReadLine(line)) break;
    if (!asIs) Check(kv::IsValidUtf8(line));
    std::string same;
    Check(general.ReadLine(same) && same == line);
  }
  kv::TTextRecordStore store;
  std::vector<std::vector<std::string>> expected;
  size_t total = 0;
  while (!reader.AtEnd()) {
    uint64_t before = reader.Consumed();
    reader.ReadRecord();
    Check(reader.Consumed() > before);  // every record takes input
    Check(!general.AtEnd());
    general.ReadRecord();
    Check(general.Bytes() == reader.Bytes() && general.Ends() == reader.Ends() &&
          general.RecordError() == reader.RecordError() && general.EndedBySeparator() == reader.EndedBySeparator() &&
          general.Consumed() == reader.Consumed());
    const size_t n = reader.FieldCount();
    if (layout.Type == kv::tftFixedWidths)
      Check(n == layout.Widths.size());
    else
      Check(n >= 1);
    std::vector<std::string> rec;
    for (size_t i = 0; i < n; ++i) {
      rec.emplace_back(reader.Field(i));
      total += rec.back().size();
      if (wellFormed) Check(kv::IsValidUtf8(rec.back()));
    }
    // A record of a file taken as it is never has bytes that do not convert.
    if (asIs && layout.Type == kv::tftFixedWidths) Check(reader.RecordError().empty());
    Check(reader.Bytes().size() == (n ? reader.Ends().back() : 0));
    store.Add(reader.Bytes(), reader.Ends().data(), n, n + (expected.size() & 1));
    if (expected.size() & 1) rec.emplace_back();
    expected.push_back(std::move(rec));
  }
  Check(general.AtEnd());
  if (asIs) Check(total <= text.size());
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
