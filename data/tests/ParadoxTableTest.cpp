// The Paradox reader and writer on their own: every field type written and
// read back (cases in data/paradox/roundtrip_types.txt), a table built by
// hand from the format description, Chinese text through code page 936,
// appends across blocks, deletes, edits, zap, autoincrement numbers, keyed
// tables opened read-only, the writer's lock, and corrupt or truncated files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "data/TextEncoding.h"
#include "testsupport/CaseFiles.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"
#include "testsupport/TestData.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using kvtest::TempFolder;
using px::TParadoxFieldSpec;
using px::TParadoxTable;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
  return out;
}

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// "r:COUNT:text" repeated, else the text itself.
std::string Expand(const std::string& text) {
  if (text.rfind("r:", 0) != 0) return text;
  const size_t colon = text.find(':', 2);
  std::string out;
  for (int i = std::stoi(text.substr(2, colon - 2)); i > 0; --i) out += text.substr(colon + 1);
  return out;
}

TVariant ValueOf(const std::string& spec) {
  if (spec == "null") return TVariant::Null();
  const std::string body = spec.substr(2);
  switch (spec[0]) {
    case 's': return TVariant(body);
    case 'r': return TVariant(Expand(spec));
    case 'i': return TVariant(static_cast<int64_t>(std::stoll(body)));
    case 'f': return TVariant(std::stod(body));
    case 'b': return TVariant(body == "1");
    case 'x': return TVariant(Unhex(body));
    case 'd': return TVariant::FromDateTime(TVariant(body).AsDateTime());
  }
  ADD_FAILURE() << "bad value " << spec;
  return TVariant();
}

bool IsBinary(uint8_t type) {
  return type == px::kBlob || type == px::kOle || type == px::kGraphic || type == px::kBytes;
}

std::string Shown(const TVariant& v, uint8_t type) {
  if (v.IsNull()) return "NULL";
  if (IsBinary(type)) return Hex(v.RawString());
  return v.AsString();
}

std::vector<TParadoxFieldSpec> Specs(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::vector<TParadoxFieldSpec> specs;
  for (const auto& [name, type] : fields) {
    TParadoxFieldSpec s{name, 0, 0};
    EXPECT_TRUE(px::ParseTypeName(type, s.type, s.size)) << type;
    specs.push_back(s);
  }
  return specs;
}

std::vector<TVariant> Row(std::initializer_list<TVariant> values) { return values; }

void Append(TParadoxTable& t, const std::vector<TVariant>& values) {
  px::TParadoxRecordImage image = t.EncodeRecord(values, nullptr, t.RecordCount() + 1);
  t.Append(image);
}

std::string Cell(TParadoxTable& t, uint32_t recNo, size_t field) {
  return Shown(t.Value(t.Record(recNo), field, recNo), t.Fields()[field].type);
}

// ---- Field types, data-driven ---------------------------------------------------------

class ParadoxTypes : public ::testing::TestWithParam<kvtest::CaseRow> {
protected:
  TempFolder dir_{"pxtypes"};
};

TEST_P(ParadoxTypes, RoundTrip) {
  const kvtest::CaseRow& row = GetParam();
  ASSERT_EQ(row.problem, "");
  const std::string& type = row.fields[0];
  const std::string expected = row.fields[2];
  const std::string path = dir_.File("t.db");
  {
    auto t = TParadoxTable::Create(path, Specs({{"ID", "I"}, {"V", type}, {"AFTER", "A3"}}), 1252);
    if (expected[0] == '!') {
      const std::string error = ErrorOf<EDatabaseError>([&] { Append(*t, Row({1, ValueOf(row.fields[1]), "end"})); });
      EXPECT_NE(error.find(expected.substr(1)), std::string::npos) << error;
      EXPECT_NE(error.find("record 1, field 'V'"), std::string::npos) << error;
      EXPECT_EQ(t->RecordCount(), 0u);
      return;
    }
    Append(*t, Row({1, ValueOf(row.fields[1]), "end"}));
    Append(*t, Row({2, TVariant::Null(), "nul"}));
  }
  auto t = TParadoxTable::Open(path, false);
  ASSERT_EQ(t->RecordCount(), 2u);
  EXPECT_EQ(t->Fields()[1].TypeName(), type);
  const std::string got = Cell(*t, 1, 1);
  const std::string want = Expand(expected);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << got.substr(0, 80) << " != " << want.substr(0, 80);
  EXPECT_EQ(Cell(*t, 1, 2), "end");
  // A Null autoincrement takes the number after the highest given.
  EXPECT_EQ(Cell(*t, 2, 1), type[0] != '+' ? "NULL" : std::to_string(std::max<int64_t>(std::stoll(want), 0) + 1));
  EXPECT_EQ(Cell(*t, 2, 2), "nul");
}

INSTANTIATE_TEST_SUITE_P(Cases, ParadoxTypes,
                         ::testing::ValuesIn(kvtest::ReadCaseFile(kvtest::TestDataFolder() + "/paradox/roundtrip_types.txt", 3)),
                         [](const auto& info) { return kvtest::CaseName(info.param); });

// ---- A table made by hand from the format description -------------------------------

struct Bytes {
  std::string data;
  explicit Bytes(size_t n) : data(n, '\0') {}
  void U8(size_t at, uint8_t v) { data[at] = static_cast<char>(v); }
  void U16(size_t at, uint16_t v) { U8(at, v & 0xFF), U8(at + 1, v >> 8); }
  void U32(size_t at, uint32_t v) { U16(at, v & 0xFFFF), U16(at + 2, v >> 16); }
  void Put(size_t at, const std::string& s) { data.replace(at, s.size(), s); }
  void Write(const std::string& path) const { std::ofstream(path, std::ios::binary) << data; }
};

// A version 3.0 table (no code page recorded: 437): NAME A8, QTY S, WHEN D,
// PRICE N, OK L; 1 KB blocks; the chain runs block 2 (two records), then
// block 1 (one record); block 3 is an empty block left outside the chain.
std::string HandMadeVersion3(const std::string& path) {
  const size_t header = 0x800, block = 0x400, record = 8 + 2 + 4 + 8 + 1;
  Bytes b(header + 3 * block);
  b.U16(0x00, record);
  b.U16(0x02, header);
  b.U8(0x04, 2);     // table without a key
  b.U8(0x05, 1);     // 1 KB blocks
  b.U32(0x06, 3);    // records
  b.U16(0x0C, 3);    // blocks in the file
  b.U16(0x0E, 2);    // first block
  b.U16(0x10, 1);    // last block
  b.U16(0x21, 5);    // fields
  b.U8(0x39, 3);     // version 3.0
  size_t at = 0x58;  // field info, then the table name pointer and field name pointers
  for (auto [type, size] : {std::pair{1, 8}, {3, 2}, {2, 4}, {6, 8}, {9, 1}}) b.U8(at++, type), b.U8(at++, size);
  at += 4 + 5 * 4;
  b.Put(at, "hand.db");
  at += 79;
  for (const char* name : {"NAME", "QTY", "WHEN", "PRICE", "OK"}) b.Put(at, name), at += std::strlen(name) + 1;
  auto recordAt = [&](size_t blockNo, size_t slot) { return header + (blockNo - 1) * block + 6 + slot * record; };
  // Block 1: last in the chain; one record: "Zoë" (CP437 0x89 is ë), -5, 1999-12-31, -2.5, false.
  b.U16(header + 0, 0), b.U16(header + 2, 2), b.U16(header + 4, 0);
  b.Put(recordAt(1, 0), "Zo\x89");
  b.Put(recordAt(1, 0) + 8, "\x7f\xfb");                  // -5
  b.Put(recordAt(1, 0) + 10, std::string("\x80\x0b\x24\x07", 4));  // day 730119 = 1999-12-31
  b.Put(recordAt(1, 0) + 14, std::string("\x3f\xfb\xff\xff\xff\xff\xff\xff", 8));  // -2.5 (0xC004000000000000 inverted)
  b.U8(recordAt(1, 0) + 22, 0x80);
  // Block 2: first in the chain; two records: "Anna", 7, blank date, 1.0, true; then a blank record.
  const size_t b2 = header + block;
  b.U16(b2 + 0, 1), b.U16(b2 + 2, 0), b.U16(b2 + 4, record);
  b.Put(recordAt(2, 0), "Anna");
  b.Put(recordAt(2, 0) + 8, "\x80\x07");
  b.Put(recordAt(2, 0) + 14, std::string("\xbf\xf0\x00\x00\x00\x00\x00\x00", 8));  // 1.0 with its sign bit set
  b.U8(recordAt(2, 0) + 22, 0x81);
  // Block 3: empty, outside the chain, holding stale bytes.
  const size_t b3 = header + 2 * block;
  b.U16(b3 + 4, static_cast<uint16_t>(-static_cast<int>(record)));
  b.Put(b3 + 6, "stale");
  b.Write(path);
  return path;
}

TEST(ParadoxHandMade, Version3TableFollowsTheChain) {
  TempFolder dir("pxhand");
  auto t = TParadoxTable::Open(HandMadeVersion3(dir.File("hand.db")), false);
  EXPECT_EQ(t->Version(), 3);
  EXPECT_EQ(t->CodePage(), 437);
  ASSERT_EQ(t->Fields().size(), 5u);
  EXPECT_EQ(t->Fields()[0].name, "NAME");
  EXPECT_EQ(t->Fields()[3].TypeName(), "N");
  ASSERT_EQ(t->RecordCount(), 3u);
  std::vector<std::string> rows;
  for (uint32_t r = 1; r <= 3; ++r) {
    std::string line;
    for (size_t f = 0; f < 5; ++f) line += (f ? "|" : "") + Cell(*t, r, f);
    rows.push_back(line);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"Anna|7|NULL|1|True", "NULL|NULL|NULL|NULL|NULL",
                                            "Zoë|-5|1999-12-31|-2.5|False"}));
}

// A version 7 table whose memo lives in a shared block (type 3) of a hand-made .mb.
TEST(ParadoxHandMade, MemoInASharedBlobBlock) {
  TempFolder dir("pxhand7");
  const std::string path = dir.File("memo.db");
  {
    auto t = TParadoxTable::Create(path, Specs({{"ID", "S"}, {"NOTE", "M11"}}), 1252);
    Append(*t, Row({1, TVariant("x")}));
  }
  // Point the record at slot 2 of a shared block at chunk 1 of the .mb.
  const std::string text = "a memo of thirty-four bytes, shared";
  Bytes mb(2 * 4096);
  mb.U8(0, 0), mb.U16(1, 1);
  mb.U8(4096, 3), mb.U16(4096 + 1, 1);
  const size_t slot = 4096 + 12 + 2 * 5;
  mb.U8(slot, 0x30 / 16), mb.U8(slot + 1, static_cast<uint8_t>((text.size() + 15) / 16)), mb.U16(slot + 2, 1);
  mb.U8(slot + 4, static_cast<uint8_t>(text.size() % 16));
  mb.Put(4096 + 0x30, text);
  mb.Write(TParadoxTable::MemoPath(path));
  std::fstream db(path, std::ios::in | std::ios::out | std::ios::binary);
  Bytes pointer(10);
  pointer.U32(0, 4096 | 2);
  pointer.U32(4, static_cast<uint32_t>(text.size()));
  db.seekp(0x800 + 6 + 2 + 1);
  db << pointer.data;
  db.close();
  auto t = TParadoxTable::Open(path, false);
  EXPECT_EQ(Cell(*t, 1, 1), text);
}

// ---- Code page 936 ----------------------------------------------------------------------

TEST(ParadoxCodePage, ChineseThroughGbk) {
  TempFolder dir("pxgbk");
  const std::string path = dir.File("gbk.db");
  const std::string text = "中文名称";
  const std::string memo = std::string(200, 'x') + "长备注文本";
  {
    auto t = TParadoxTable::Create(path, Specs({{"名字", "A8"}, {"NOTE", "M11"}}), 936);
    Append(*t, Row({text, memo}));
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { Append(*t, Row({"中文名称多", ""})); }).find("needs 10 bytes"), std::string::npos);
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { Append(*t, Row({"😀", ""})); }).find("cannot be written in code page 936"),
              std::string::npos);
  }
  auto t = TParadoxTable::Open(path, false);
  EXPECT_EQ(t->CodePage(), 936);
  EXPECT_EQ(t->Fields()[0].name, "名字");
  EXPECT_EQ(Cell(*t, 1, 0), text);
  EXPECT_EQ(Cell(*t, 1, 1), memo);
  // The stored bytes are GBK: two bytes a character.
  EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(t->Record(1)), 8)), "d6d0cec4c3fbb3c6");
}

// ---- Writing ----------------------------------------------------------------------------

class ParadoxWriting : public ::testing::Test {
protected:
  std::unique_ptr<TParadoxTable> People(int count) {
    auto t = TParadoxTable::Create(dir_.File("people.db"), Specs({{"ID", "+"}, {"NAME", "A200"}}), 1252);
    for (int i = 1; i <= count; ++i) Append(*t, Row({TVariant::Null(), "name " + std::to_string(i)}));
    return t;
  }
  static std::vector<std::string> Names(TParadoxTable& t) {
    std::vector<std::string> out;
    for (uint32_t r = 1; r <= t.RecordCount(); ++r) out.push_back(Cell(t, r, 0) + ":" + Cell(t, r, 1));
    return out;
  }
  TempFolder dir_{"pxwrite"};
};

TEST_F(ParadoxWriting, AppendsAcrossBlocksAndNumbersAutoincrements) {
  {
    auto t = People(50);  // 204-byte records: 20 a 4 KB block, so three blocks
    EXPECT_EQ(t->RecordCount(), 50u);
  }
  auto t = TParadoxTable::Open(dir_.File("people.db"), true);
  ASSERT_EQ(t->RecordCount(), 50u);
  EXPECT_EQ(Cell(*t, 21, 0), "21");
  EXPECT_EQ(Cell(*t, 50, 1), "name 50");
  Append(*t, Row({TVariant::Null(), "next"}));
  Append(*t, Row({100, "given"}));
  Append(*t, Row({TVariant::Null(), "after given"}));
  EXPECT_EQ(Cell(*t, 51, 0), "51");
  EXPECT_EQ(Cell(*t, 53, 0), "101");
  // The header's count is what a reader that trusts it sees after Commit.
  t->Commit(true);
  std::ifstream in(dir_.File("people.db"), std::ios::binary);
  char head[16];
  in.read(head, sizeof head);
  EXPECT_EQ(px::GetLE32(reinterpret_cast<uint8_t*>(head) + px::kHeaderNumRecords), 53u);
  EXPECT_EQ(px::GetLE16(reinterpret_cast<uint8_t*>(head) + px::kHeaderFileBlocks), 3u);
}

TEST_F(ParadoxWriting, DeletesMoveLaterRecordsUpAndEmptyBlocksLeaveTheChain) {
  auto t = People(45);  // blocks of 20, 20, 5
  t->Delete(1);
  EXPECT_EQ(Cell(*t, 1, 0), "2");
  for (int i = 0; i < 19; ++i) t->Delete(1);  // the first block is empty now
  EXPECT_EQ(t->RecordCount(), 25u);
  EXPECT_EQ(Cell(*t, 1, 0), "21");
  t->Delete(25);
  t->Delete(10);
  t.reset();
  t = TParadoxTable::Open(dir_.File("people.db"), true);
  ASSERT_EQ(t->RecordCount(), 23u);
  EXPECT_EQ(Cell(*t, 1, 0), "21");
  EXPECT_EQ(Cell(*t, 10, 0), "31");
  EXPECT_EQ(Cell(*t, 23, 0), "44");
  Append(*t, Row({TVariant::Null(), "new"}));
  EXPECT_EQ(Cell(*t, 24, 0), "46");
}

TEST_F(ParadoxWriting, RewriteZapAndRefusedRowsLeaveTheRestAlone) {
  auto t = People(3);
  px::TParadoxRecordImage image = t->EncodeRecord(Row({TVariant(), "renamed"}), t->Record(2), 2);
  t->Rewrite(2, image);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->EncodeRecord(Row({TVariant(), std::string(201, 'x')}), t->Record(3), 3); })
                .find("record 3, field 'NAME'"),
            std::string::npos);
  EXPECT_EQ((std::vector<std::string>{"1:name 1", "2:renamed", "3:name 3"}), Names(*t));
  t->Zap();
  EXPECT_EQ(t->RecordCount(), 0u);
  t.reset();
  t = TParadoxTable::Open(dir_.File("people.db"), true);
  EXPECT_EQ(t->RecordCount(), 0u);
  Append(*t, Row({TVariant::Null(), "again"}));
  EXPECT_EQ(Names(*t), (std::vector<std::string>{"4:again"}));
}

TEST_F(ParadoxWriting, OneWriterAtATime) {
  auto t = People(1);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TParadoxTable::Open(dir_.File("people.db"), true); }).find("open for writing elsewhere"),
            std::string::npos);
  EXPECT_EQ(TParadoxTable::Open(dir_.File("people.db"), false)->RecordCount(), 1u);
}

TEST_F(ParadoxWriting, KeyedTablesOpenReadOnlyAndSayWhy) {
  People(2).reset();
  std::fstream db(dir_.File("people.db"), std::ios::in | std::ios::out | std::ios::binary);
  db.seekp(px::kHeaderKeyFields);
  db.put(1);
  db.close();
  auto t = TParadoxTable::Open(dir_.File("people.db"), true);
  EXPECT_FALSE(t->Writable());
  EXPECT_EQ(t->KeyFieldCount(), 1u);
  EXPECT_EQ(Cell(*t, 2, 1), "name 2");
  const std::string error = ErrorOf<EDatabaseError>([&] { Append(*t, Row({TVariant::Null(), "x"})); });
  EXPECT_NE(error.find("has a primary key"), std::string::npos) << error;
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Delete(1); }).find("read-only"), std::string::npos);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Zap(); }).find("read-only"), std::string::npos);
  EXPECT_EQ(TParadoxTable::Open(dir_.File("people.db"), false)->RecordCount(), 2u);
}

TEST_F(ParadoxWriting, AnIndexFileBesideTheTableKeepsItReadOnly) {
  People(1).reset();
  std::ofstream(dir_.File("people.px")) << "an index";
  auto t = TParadoxTable::Open(dir_.File("people.db"), true);
  EXPECT_FALSE(t->Writable());
  EXPECT_NE(t->ReadOnlyReason().find("has an index file " + dir_.File("people.px")), std::string::npos) << t->ReadOnlyReason();
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { Append(*t, Row({TVariant::Null(), "x"})); }).find("people.px"), std::string::npos);
  EXPECT_EQ(TParadoxTable::IndexPath("/a/B.DB"), "/a/B.PX");
}

TEST_F(ParadoxWriting, CreateRefusesBadFieldLists) {
  const struct {
    std::vector<TParadoxFieldSpec> fields;
    const char* error;
  } cases[] = {
      {{}, "needs at least one field"},
      {{{"", px::kAlpha, 5}}, "is empty or longer than 25"},
      {{{std::string(26, 'n'), px::kAlpha, 5}}, "is empty or longer than 25"},
      {{{"a", px::kAlpha, 5}, {"A", px::kShort, 2}}, "is used twice"},
      {{{"a", px::kAlpha, 0}}, "cannot have type A0"},
      {{{"a", px::kMemo, 9}}, "cannot have type M9"},
      {{{"a", px::kBcd, 33}}, "cannot have type #33"},
      {{{"a", 0x07, 4}}, "cannot have type ?7"},
      {{{"a", px::kShort, 4}}, "cannot have type S"},
  };
  for (const auto& c : cases) {
    const std::string error = ErrorOf<EDatabaseError>([&] { TParadoxTable::Create(dir_.File("bad.db"), c.fields, 1252); });
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_NE(::access(dir_.File("bad.db").c_str(), F_OK), 0) << c.error;
  }
  // A BLOB file left from another table is not taken over; the table is not made.
  std::ofstream(dir_.File("stale.mb")) << "someone else's";
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TParadoxTable::Create(dir_.File("stale.db"), Specs({{"M", "M11"}}), 1252); })
                .find("its BLOB file"),
            std::string::npos);
  EXPECT_NE(::access(dir_.File("stale.db").c_str(), F_OK), 0);
  // Names the code page cannot hold.
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { TParadoxTable::Create(dir_.File("name.db"), Specs({{"名", "S"}}), 1252); })
                .find("cannot be written in code page 1252"),
            std::string::npos);
  EXPECT_NE(::access(dir_.File("name.db").c_str(), F_OK), 0);
}

// ---- Corrupt and truncated files ------------------------------------------------------------

TEST(ParadoxCorrupt, DamagedFilesAreClearErrors) {
  TempFolder dir("pxbad");
  const std::string good = dir.File("good.db");
  {
    auto t = TParadoxTable::Create(good, Specs({{"ID", "I"}, {"NAME", "A10"}, {"NOTE", "M15"}}), 1252);
    for (int i = 0; i < 300; ++i) Append(*t, Row({i, "n", std::string(100, 'm')}));  // two blocks
  }
  std::ifstream in(good, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string memo = [&] {
    std::ifstream m(TParadoxTable::MemoPath(good), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(m)), std::istreambuf_iterator<char>());
  }();
  auto patch = [&](size_t at, std::string with) {
    std::string b = bytes;
    b.replace(at, with.size(), with);
    return b;
  };
  const size_t block2 = 0x800 + 4096;
  const struct {
    const char* name;
    std::string file;
    const char* error;
  } cases[] = {
      {"empty", "", "is truncated: it is shorter than a Paradox table header"},
      {"header cut", bytes.substr(0, 0x100), "is truncated: the header announces 2048 header bytes"},
      {"last block cut", bytes.substr(0, bytes.size() - 1), "is truncated: block 3 of the chain lies past the end"},
      {"header size tiny", patch(2, std::string("\x10\x00", 2)), "the header size 16 is too small"},
      {"index file", patch(4, "\x01"), "it is not a Paradox table (file type 1)"},
      {"unknown version", patch(0x39, "\x20"), "the version number 32 is not known"},
      {"encrypted", patch(0x5C, "\x01"), "is encrypted"},
      {"block size", patch(5, "\x05"), "the block size 5 KB"},
      {"record size", patch(0, std::string("\x10\x00", 2)), "the fields take 29 bytes but the header says records have 16"},
      {"no fields", patch(0x21, std::string("\x00\x00", 2)), "the table has no fields"},
      {"unknown type", patch(0x78, "\x07"), "has type 0x07, which is not supported"},
      {"bad size", patch(0x79, "\x03"), "field 'ID' of type I has size 3"},
      {"chain loop", patch(block2, std::string("\x01\x00", 2)), "the block chain loops back to block 1"},
      {"chain leaves file", patch(block2, std::string("\x09\x00", 2)), "block 9 of the chain lies past the end"},
      {"odd last offset", patch(0x800 + 4, std::string("\x05\x00", 2)), "block 1 has a record size that is not the table's"},
      {"overfull block", patch(0x800 + 4, std::string("\xa8\x16", 2)), "block 1 claims 201 records, more than it holds"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(std::string(c.name) + ".db");
    std::ofstream(path, std::ios::binary) << c.file;
    std::ofstream(TParadoxTable::MemoPath(path), std::ios::binary) << memo;
    const std::string error = ErrorOf<EDatabaseError>([&] { TParadoxTable::Open(path, false); });
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    EXPECT_NE(error.find(path), std::string::npos) << c.name << ": " << error;
  }
  // A BLOB file cut short or damaged: the value read says so; the others still read.
  const std::string path = dir.File("memocut.db");
  std::ofstream(path, std::ios::binary) << bytes;
  std::ofstream(TParadoxTable::MemoPath(path), std::ios::binary) << memo.substr(0, memo.size() - 4096);
  auto t = TParadoxTable::Open(path, false);
  EXPECT_EQ(Cell(*t, 1, 2), std::string(100, 'm'));
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { Cell(*t, 300, 2); }).find("past the end of the file (truncated?)"), std::string::npos);
  std::ofstream(TParadoxTable::MemoPath(path), std::ios::binary) << memo.substr(0, 4096) + "\x04" + memo.substr(4097);
  t = TParadoxTable::Open(path, false);
  EXPECT_NE(ErrorOf<EDatabaseError>([&] { Cell(*t, 1, 2); }).find("is in a block of type 4"), std::string::npos);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The fuzz target's seeds (data/fuzz/corpus/paradox, laid out as the
// target reads them: a flag byte, the table's length, the table, its BLOB
// file) are real tables: every one opens and every value reads.
TEST(ParadoxCorpus, SeedsAreTablesThatReadWhole) {
  const std::string folder = kvtest::TestDataFolder() + "/../../fuzz/corpus/paradox";
  TempFolder dir("pxseeds");
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 5u) << entry.path();
    const uint32_t length = px::GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 1);
    ASSERT_LE(length, bytes.size() - 5) << entry.path();
    const std::string path = dir.File("seed.db");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(5, length);
    std::ofstream(TParadoxTable::MemoPath(path), std::ios::binary | std::ios::trunc) << bytes.substr(5 + length);
    auto t = TParadoxTable::Open(path, false);
    EXPECT_GT(t->RecordCount(), 0u) << entry.path();
    for (uint32_t r = 1; r <= t->RecordCount(); ++r)
      for (size_t i = 0; i < t->Fields().size(); ++i) EXPECT_NO_THROW(t->Value(t->Record(r), i, r)) << entry.path();
    ++seeds;
  }
  EXPECT_GE(seeds, 5);
}

}  // namespace
}  // namespace kv
