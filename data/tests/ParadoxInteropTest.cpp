// Paradox files exchanged with pxlib, an independent reader and writer run
// through the small program pxdump (data/tests/pxdump): tables this engine
// writes (every type pxlib reads, BLOB values in and beyond their leaders,
// Chinese text in code page 936) read by pxlib, and a table pxlib writes
// read by this engine. Both sides print the same view of a table; the
// views must be equal. pxlib shows a Null number, date or time as a value,
// so Nulls are compared in the text, BCD and BLOB kinds only.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "data/tests/FolderTableToolSupport.h"
#include "foundation/DateUtils.h"
#include "foundation/Format.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::TempFolder;
using px::TParadoxFieldSpec;
using px::TParadoxTable;
using Lines = std::vector<std::string>;

// The lines pxdump prints; fails the test when it does not succeed.
Lines Pxdump(const Lines& args) {
  Lines argv{VANDREL_PXDUMP};
  argv.insert(argv.end(), args.begin(), args.end());
  return kvtest::ToolLines(argv);
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15]};
  return out;
}

// A value as pxdump prints it (see pxdump.c).
std::string Shown(const TParadoxTable& t, const px::TParadoxField& f, const TVariant& v) {
  if (v.IsNull()) return "NULL";
  switch (f.type) {
    case px::kAlpha:
    case px::kMemo:
    case px::kFmtMemo: return t.Encode(v.RawString(), f.name);
    case px::kShort:
    case px::kLong:
    case px::kAutoInc: return std::to_string(v.RawInteger());
    case px::kLogical: return v.RawBoolean() ? "1" : "0";
    case px::kNumber:
    case px::kCurrency: return Format("%.10g", v.RawFloat());
    case px::kDate: return v.AsString().substr(0, 10);
    case px::kTime: return std::to_string(std::llround((v.AsDateTime() - std::trunc(v.AsDateTime())) * MSecsPerDay));
    case px::kTimestamp: {
      const double day = std::trunc(v.AsDateTime()) + DateDelta;
      return Format("%.0f", day * MSecsPerDay + std::round((v.AsDateTime() - std::trunc(v.AsDateTime())) * MSecsPerDay));
    }
    case px::kBcd: return f.size == 0 ? Format("%.0f.", v.RawFloat()) : Format("%.*f", static_cast<int>(f.size), v.RawFloat());
    default: return Hex(v.RawString());
  }
}

// This engine's view of a table, in pxdump's form.
Lines OurView(const std::string& path) {
  auto t = TParadoxTable::Open(path, false);
  Lines lines{Format("fields %d", t->Fields().size())};
  for (const px::TParadoxField& f : t->Fields())
    lines.push_back(Format("%s %d %d", t->Encode(f.name, "name"), f.type, f.length));
  lines.push_back(Format("records %d", t->RecordCount()));
  for (uint32_t r = 1; r <= t->RecordCount(); ++r) {
    std::string line;
    for (size_t i = 0; i < t->Fields().size(); ++i)
      line += (i ? "|" : "") + Shown(*t, t->Fields()[i], t->Value(t->Record(r), i, r));
    lines.push_back(line);
  }
  return lines;
}

Lines PxlibView(const std::string& path) {
  return Pxdump({"read", path, TParadoxTable::MemoPath(path)});
}

TParadoxFieldSpec Spec(const char* name, const char* type) {
  TParadoxFieldSpec s{name, 0, 0};
  EXPECT_TRUE(px::ParseTypeName(type, s.type, s.size)) << type;
  return s;
}

void Append(TParadoxTable& t, std::vector<TVariant> values) {
  px::TParadoxRecordImage image = t.EncodeRecord(values, nullptr, t.RecordCount() + 1);
  t.Append(image);
}

TEST(ParadoxInterop, TablesWeWriteAreReadAlikeByPxlib) {
  TempFolder dir("pxinterop");
  const std::string path = dir.File("all.db");
  {
    auto t = TParadoxTable::Create(
        path,
        {Spec("NAME", "A20"), Spec("SMALL", "S"), Spec("BIG", "I"), Spec("PRICE", "$"), Spec("AMOUNT", "N"),
         Spec("OK", "L"), Spec("BORN", "D"), Spec("AT", "T"), Spec("STAMP", "@"), Spec("ID", "+"), Spec("DEC", "#2"),
         Spec("RAW", "Y4"), Spec("NOTE", "M15"), Spec("FMT", "F12"), Spec("DATA", "B11"), Spec("OLE", "O11")},
        1252);
    for (int r = 0; r < 300; ++r) {  // several blocks
      const std::string note = r % 3 == 0 ? "short" : std::string(static_cast<size_t>(20 + r * 10), 'a' + r % 26);
      Append(*t, {TVariant("Zoë " + std::to_string(r)), TVariant(r - 150), TVariant(r * 100003 - 7000000),
                  TVariant(r * 1.25), TVariant(-r / 8.0), TVariant(r % 2 == 0),
                  TVariant::FromDateTime(EncodeDate(1990, 1, 1) + r * 37), TVariant::FromDateTime(r / 1000.0),
                  TVariant::FromDateTime(EncodeDate(2001, 2, 3) + r + 0.5), TVariant::Null(), TVariant(r * 2.5 - 300),
                  TVariant(std::string("\x01\xff", 2) + static_cast<char>(r)), TVariant(note),
                  TVariant(std::string(static_cast<size_t>(r % 5), 'f')), TVariant(std::string(static_cast<size_t>(r), '\x07')),
                  TVariant(std::string("ole"))});
    }
    Append(*t, {TVariant::Null(), 1, 2, 3.0, 4.0, true, TVariant::FromDateTime(1), TVariant::FromDateTime(0.5),
                TVariant::FromDateTime(2.5), TVariant::Null(), TVariant::Null(), TVariant::Null(), TVariant::Null(),
                TVariant::Null(), TVariant::Null(), TVariant::Null()});
    t->Delete(5);  // a block with a gap moved up
  }
  const Lines ours = OurView(path);
  ASSERT_EQ(ours.size(), 16u + 2 + 300);
  EXPECT_EQ(PxlibView(path), ours);
}

TEST(ParadoxInterop, ChineseInCodePage936IsReadAlikeByPxlib) {
  TempFolder dir("pxinterop936");
  const std::string path = dir.File("gbk.db");
  {
    auto t = TParadoxTable::Create(path, {Spec("名字", "A12"), Spec("备注", "M11")}, 936);
    Append(*t, {TVariant("中文名称"), TVariant(std::string(30, 'x') + "长备注文本")});
    Append(*t, {TVariant("汉字"), TVariant("短")});
  }
  const Lines ours = OurView(path);
  EXPECT_EQ(ours[1], "\xc3\xfb\xd7\xd6 1 12");  // 名字 in GBK
  EXPECT_EQ(PxlibView(path), ours);
}

TEST(ParadoxInterop, TablesPxlibWritesAreReadAlike) {
  TempFolder dir("pxinteropw");
  const std::string path = dir.File("pxlib.db");
  Pxdump({"write", path, TParadoxTable::MemoPath(path), "1252"});
  const Lines ours = OurView(path);
  ASSERT_EQ(ours.size(), 12u + 2 + 4);
  EXPECT_EQ(ours[14].substr(0, 6), "row 1|");
  EXPECT_EQ(PxlibView(path), ours);
}

// Keyed tables (a key of two fields) written in scattered order, with
// edits moving keys and deletes: pxlib reads the .px (one level, then two),
// attaches it to the table (it checks that the index covers every record)
// and finds through it the records this reader finds by the block chain.
TEST(ParadoxInterop, KeyedTablesAndTheirIndexesAreReadAlikeByPxlib) {
  for (const auto& [count, levels] : {std::pair{30, 1}, std::pair{3000, 2}}) {
    SCOPED_TRACE(count);
    TempFolder dir("pxinteropkey");
    const std::string path = dir.File("keyed.db");
    {
      auto t = TParadoxTable::Create(path, {Spec("NAME", "A30"), Spec("ID", "I"), Spec("NOTE", "A200")}, 1252, 2);
      for (int i = 0; i < count; ++i) {
        const int n = i * 7919 % count;
        Append(*t, {TVariant(Format("k%.2d", n % 17)), TVariant(n), TVariant(Format("note %d", n))});
      }
      px::TParadoxRecordImage image = t->EncodeRecord({TVariant("a first"), TVariant(-1)}, t->Record(4), 4);
      t->Rewrite(4, image);
      for (uint32_t r = t->RecordCount(); r > 0; r -= 3) t->Delete(r);
    }
    std::ifstream index(TParadoxTable::IndexPath(path), std::ios::binary);
    index.seekg(px::kHeaderIndexLevels);
    EXPECT_EQ(index.get(), levels);
    const Lines ours = OurView(path);
    const Lines theirs = Pxdump({"keyed", path, TParadoxTable::IndexPath(path)});
    ASSERT_FALSE(theirs.empty());
    ASSERT_EQ(theirs[0].rfind("index ", 0), 0u);
    const size_t entries = std::stoul(theirs[0].substr(6));
    ASSERT_GT(theirs.size(), entries + 1);
    EXPECT_EQ(Lines(theirs.begin() + static_cast<ptrdiff_t>(entries) + 1, theirs.end()), ours);
    EXPECT_EQ(ours[5].substr(0, 11), "a first|-1|");
    // The first entry (of the root) holds the table's first key.
    EXPECT_EQ(theirs[1].substr(0, 11), "a first|-1|");
  }
}

}  // namespace
}  // namespace kv
