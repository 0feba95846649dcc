// Keyed Paradox tables: records kept in key order across inserts in any
// order, block splits, edits that move keys, deletes and zap; duplicate keys
// refused; the .px checked entry by entry against the table file (each
// entry names a data block and that block's first key, the upper levels
// name index blocks and their first keys); what cannot be kept stays
// read-only with its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/DatabaseError.h"
#include "data/ParadoxFormat.h"
#include "data/ParadoxTable.h"
#include "foundation/Format.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

namespace kv {
namespace {

using kvtest::ErrorOf;
using kvtest::TempFolder;
using px::TParadoxFieldSpec;
using px::TParadoxTable;

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A table or index file seen through its header and blocks.
struct TFileView {
  std::vector<uint8_t> bytes;
  explicit TFileView(const std::string& path) : bytes(ReadAll(path)) {}
  uint16_t Word(size_t at) const { return px::GetLE16(&bytes.at(at + 1) - 1); }
  size_t RecordSize() const { return Word(px::kHeaderRecordSize); }
  size_t BlockSize() const { return bytes.at(px::kHeaderMaxTableSize) * 1024u; }
  const uint8_t* Block(uint16_t n) const {
    const size_t at = Word(px::kHeaderHeaderSize) + (n - 1u) * BlockSize();
    if (n == 0 || at + BlockSize() > bytes.size()) throw EDatabaseError(Format("block %d is not in the file", n));
    return bytes.data() + at;
  }
  size_t Records(uint16_t n) const {
    const auto last = static_cast<int16_t>(px::GetLE16(Block(n) + 4));
    return last < 0 ? 0 : static_cast<size_t>(last) / RecordSize() + 1;
  }
  std::string RecordBytes(uint16_t n, size_t slot, size_t length) const {
    return std::string(reinterpret_cast<const char*>(Block(n)) + px::kBlockHeaderSize + slot * RecordSize(), length);
  }
  // The blocks of the chain holding records, in chain order.
  std::vector<uint16_t> Chain() const {
    std::vector<uint16_t> out;
    for (uint16_t b = Word(px::kHeaderFirstBlock); b != 0 && out.size() < 70000; b = px::GetLE16(Block(b)))
      if (Records(b) > 0) out.push_back(b);
    return out;
  }
};

// Walks the index from its root; "" when every entry is consistent with
// the table, else what is wrong. `levels` gets the index's levels.
class TIndexCheck {
public:
  TIndexCheck(const std::string& tablePath, size_t& levels)
      : db_(tablePath), px_(TParadoxTable::IndexPath(tablePath)), keyLength_(px_.RecordSize() - px::kIndexPointerSize) {
    levels = px_.bytes.at(px::kHeaderIndexLevels);
  }
  std::string Run() {
    try {
      if (px_.bytes.at(px::kHeaderFileType) != px::kFileTypePrimaryIndex) return "the .px is no primary index";
      if (px_.Word(px::kHeaderNumFields) != db_.Word(px::kHeaderKeyFields)) return "the .px has another key";
      const std::vector<uint16_t> chain = db_.Chain();
      const uint16_t root = px_.Word(px::kHeaderIndexRoot);
      if (root == 0) return chain.empty() ? "" : "the index is empty, the table is not";
      size_t records = 0;
      Walk(root, px_.bytes.at(px::kHeaderIndexLevels), records);
      if (visited_ != chain) return "the index does not name the data blocks in chain order";
      if (records != px::GetLE32(&db_.bytes[px::kHeaderNumRecords])) return "the index counts another number of records";
      if (entries_ != px::GetLE32(&px_.bytes[px::kHeaderNumRecords])) return "the .px header counts other entries";
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  }

private:
  // The entries of index block `block` at `level`; adds up the records under them.
  void Walk(uint16_t block, size_t level, size_t& records) {
    for (size_t i = 0; i < px_.Records(block); ++i) {
      ++entries_;
      const std::string entry = px_.RecordBytes(block, i, px_.RecordSize());
      const std::string key = entry.substr(0, keyLength_);
      const auto* tail = reinterpret_cast<const uint8_t*>(entry.data()) + keyLength_;
      const auto target = static_cast<uint16_t>(px::DecodeInt(tail, 2));
      const auto count = static_cast<size_t>(px::DecodeInt(tail + 2, 2));
      if (level <= 1) {
        if (db_.RecordBytes(target, 0, keyLength_) != key)
          throw EDatabaseError(Format("the entry for data block %d does not hold its first key", target));
        if (db_.Records(target) != count) throw EDatabaseError(Format("the entry for data block %d miscounts it", target));
        visited_.push_back(target);
        records += count;
        continue;
      }
      if (px_.RecordBytes(target, 0, keyLength_) != key)
        throw EDatabaseError(Format("the entry for index block %d does not hold its first key", target));
      size_t under = 0;
      Walk(target, level - 1, under);
      if (under != count && count != 0x7FFF) throw EDatabaseError(Format("the entry for index block %d miscounts it", target));
      records += under;
    }
  }

  TFileView db_, px_;
  size_t keyLength_;
  std::vector<uint16_t> visited_;
  size_t entries_ = 0;
};

std::string IndexProblem(const std::string& tablePath, size_t* levels = nullptr) {
  size_t n = 0;
  TIndexCheck check(tablePath, n);
  if (levels) *levels = n;
  return check.Run();
}

std::string Name(int i) { return Format("name %.4d", i); }

class ParadoxKeyed : public ::testing::Test {
protected:
  // NAME (A200, the key) and ID: 204-byte records, 20 a data block; 19 index entries a block.
  std::unique_ptr<TParadoxTable> Create() {
    std::vector<TParadoxFieldSpec> specs{{"NAME", px::kAlpha, 200}, {"ID", px::kLong, 4}};
    return TParadoxTable::Create(Path(), specs, 1252, 1);
  }
  static uint32_t Put(TParadoxTable& t, const std::string& name, int id) {
    px::TParadoxRecordImage image = t.EncodeRecord({TVariant(name), TVariant(int64_t{id})}, nullptr, t.RecordCount() + 1);
    return t.Append(image);
  }
  static uint32_t Change(TParadoxTable& t, uint32_t recNo, const std::string& name, int id) {
    px::TParadoxRecordImage image = t.EncodeRecord({TVariant(name), TVariant(int64_t{id})}, t.Record(recNo), recNo);
    return t.Rewrite(recNo, image);
  }
  static std::vector<std::string> Keys(TParadoxTable& t) {
    std::vector<std::string> out;
    for (uint32_t r = 1; r <= t.RecordCount(); ++r) out.push_back(t.Value(t.Record(r), 0, r).AsString());
    return out;
  }
  static bool Ascending(const std::vector<std::string>& keys) {
    for (size_t i = 1; i < keys.size(); ++i)
      if (!(keys[i - 1] < keys[i])) return false;
    return true;
  }
  std::string Path() const { return dir_.File("keyed.db"); }
  TempFolder dir_{"pxkeyed"};
};

TEST_F(ParadoxKeyed, InsertsInAnyOrderKeepKeyOrderAndTheIndexInTwoLevels) {
  {
    auto t = Create();
    EXPECT_EQ(t->KeyFieldCount(), 1u);
    EXPECT_EQ(IndexProblem(Path()), "");  // the new, empty index
    for (int i = 0; i < 1000; ++i) {
      const int n = i * 379 % 1000;  // every number once, scattered
      const uint32_t at = Put(*t, Name(n), n);
      EXPECT_EQ(t->Value(t->Record(at), 1, at).AsInteger(), n);
    }
    const std::vector<std::string> keys = Keys(*t);
    ASSERT_EQ(keys.size(), 1000u);
    EXPECT_TRUE(Ascending(keys));
    EXPECT_EQ(keys.front(), Name(0));
  }
  size_t levels = 0;
  EXPECT_EQ(IndexProblem(Path(), &levels), "");
  EXPECT_EQ(levels, 2u);  // more data blocks than one index block holds
  auto t = TParadoxTable::Open(Path(), false);
  EXPECT_TRUE(Ascending(Keys(*t)));
  EXPECT_EQ(t->Value(t->Record(500), 1, 500).AsInteger(), 499);
}

TEST_F(ParadoxKeyed, ADuplicateKeyIsRefusedNamingTheKey) {
  auto t = Create();
  for (int i = 1; i <= 5; ++i) Put(*t, Name(i), i);
  std::string error = ErrorOf<EDatabaseError>([&] { Put(*t, Name(3), 99); });
  EXPECT_NE(error.find("NAME = name 0003"), std::string::npos) << error;
  EXPECT_NE(error.find("exists already"), std::string::npos) << error;
  error = ErrorOf<EDatabaseError>([&] { Change(*t, 1, Name(5), 1); });
  EXPECT_NE(error.find("NAME = name 0005"), std::string::npos) << error;
  EXPECT_EQ(Keys(*t), (std::vector<std::string>{Name(1), Name(2), Name(3), Name(4), Name(5)}));
  EXPECT_EQ(t->Value(t->Record(3), 1, 3).AsInteger(), 3);
  t->Commit();
  EXPECT_EQ(IndexProblem(Path()), "");
}

TEST_F(ParadoxKeyed, EditsMoveRecordsAndDeletesAndZapKeepTheIndex) {
  auto t = Create();
  for (int i = 0; i < 100; ++i) Put(*t, Name(i * 2), i);  // even names 0..198
  EXPECT_EQ(Change(*t, 11, Name(999), 10), 100u);       // to the end
  EXPECT_EQ(Change(*t, 99, Name(1), 98), 2u);           // to the front
  EXPECT_EQ(Change(*t, 50, Name(97), -1), 50u);         // a new key at the same place
  EXPECT_EQ(Change(*t, 60, Name(118), 1234), 60u);      // the key kept
  EXPECT_EQ(t->Value(t->Record(60), 1, 60).AsInteger(), 1234);
  EXPECT_EQ(t->Value(t->Record(100), 1, 100).AsInteger(), 10);
  EXPECT_TRUE(Ascending(Keys(*t)));
  t->Commit();
  EXPECT_EQ(IndexProblem(Path()), "");
  for (uint32_t r = t->RecordCount(); r >= 1; --r)
    if (r % 3 != 0) t->Delete(r);
  EXPECT_EQ(t->RecordCount(), 33u);
  EXPECT_TRUE(Ascending(Keys(*t)));
  t->Commit();
  EXPECT_EQ(IndexProblem(Path()), "");
  Put(*t, Name(3), 3);
  t->Commit();
  EXPECT_EQ(IndexProblem(Path()), "");
  t->Zap();
  EXPECT_EQ(t->RecordCount(), 0u);
  EXPECT_EQ(IndexProblem(Path()), "");
  EXPECT_EQ(TFileView(TParadoxTable::IndexPath(Path())).Word(px::kHeaderFileBlocks), 0u);
  Put(*t, Name(7), 7);
  t->Commit();
  EXPECT_EQ(IndexProblem(Path()), "");
}

TEST_F(ParadoxKeyed, CreateRefusesKeysItCannotKeep) {
  const struct {
    std::vector<TParadoxFieldSpec> specs;
    size_t keys;
    const char* error;
  } cases[] = {
      {{{"NOTE", px::kMemo, 20}, {"ID", px::kLong, 4}}, 1, "cannot be part of a primary key"},
      {{{"ID", px::kLong, 4}}, 2, "a key of 2 fields in a table of 1"},
  };
  for (const auto& c : cases) {
    const std::string error = ErrorOf<EDatabaseError>([&] { TParadoxTable::Create(Path(), c.specs, 1252, c.keys); });
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_NE(::access(Path().c_str(), F_OK), 0);
  }
  std::ofstream(dir_.File("keyed.px")) << "an old index";
  const std::string error =
      ErrorOf<EDatabaseError>([&] { TParadoxTable::Create(Path(), {{"ID", px::kLong, 4}}, 1252, 1); });
  EXPECT_NE(error.find("exists already"), std::string::npos) << error;
  EXPECT_EQ(ReadAll(dir_.File("keyed.px")).size(), 12u);
}

// A table keyed elsewhere (the key count set in a header by hand, no .px
// yet) is writable and gets its index; what cannot be kept stays read-only.
TEST_F(ParadoxKeyed, TablesMadeElsewhereAreWritableWhenTheirIndexCanBeKept) {
  auto setKey = [&](const std::vector<int>& ids) {
    std::remove(Path().c_str());
    std::remove(TParadoxTable::IndexPath(Path()).c_str());
    {
      auto t = TParadoxTable::Create(Path(), {{"ID", px::kLong, 4}, {"NAME", px::kAlpha, 10}}, 1252);
      for (int id : ids) {
        px::TParadoxRecordImage image = t->EncodeRecord({TVariant(int64_t{id}), TVariant("n")}, nullptr, 1);
        t->Append(image);
      }
    }
    std::fstream db(Path(), std::ios::in | std::ios::out | std::ios::binary);
    db.seekp(px::kHeaderKeyFields);
    db.put(1);
  };
  setKey({-5, 1, 2});
  {
    auto t = TParadoxTable::Open(Path(), true);
    ASSERT_TRUE(t->Writable()) << t->ReadOnlyReason();
    px::TParadoxRecordImage image = t->EncodeRecord({TVariant(int64_t{0}), TVariant("zero")}, nullptr, 4);
    EXPECT_EQ(t->Append(image), 2u);  // -5 < 0 < 1: numbers keep their order as stored
  }
  EXPECT_EQ(IndexProblem(Path()), "");

  const struct {
    std::vector<int> ids;
    const char* file;
    const char* content;
    const char* reason;
  } cases[] = {
      {{1, 2}, "keyed.X02", "x", "has a secondary index " },
      {{1, 2}, "KEYED.YG0", "y", "has a secondary index "},
      {{1, 2}, "keyed.px", "not an index at all", "is not one this program knows how to rebuild"},
      {{1, 3, 2}, nullptr, nullptr, "out of primary key order (record 3, key ID = 2)"},
      {{1, 1}, nullptr, nullptr, "out of primary key order (record 2, key ID = 1)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    setKey(c.ids);
    if (c.file) std::ofstream(dir_.File(c.file)) << c.content;
    auto t = TParadoxTable::Open(Path(), true);
    EXPECT_FALSE(t->Writable());
    EXPECT_NE(t->ReadOnlyReason().find(c.reason), std::string::npos) << t->ReadOnlyReason();
    EXPECT_NE(ErrorOf<EDatabaseError>([&] { t->Delete(1); }).find("read-only"), std::string::npos);
    EXPECT_EQ(t->RecordCount(), c.ids.size());
    if (c.file) std::remove(dir_.File(c.file).c_str());
  }
}

// An Alpha key under another sort order than "ascii" may be ordered as this
// engine does not compare: read-only. A number key under it is kept.
TEST_F(ParadoxKeyed, AnAlphaKeyInAnotherSortOrderStaysReadOnly) {
  for (const uint8_t type : {px::kAlpha, px::kLong}) {
    SCOPED_TRACE(static_cast<int>(type));
    std::remove(Path().c_str());
    std::remove(TParadoxTable::IndexPath(Path()).c_str());
    TParadoxTable::Create(Path(), {{"K", type, static_cast<uint8_t>(type == px::kAlpha ? 10 : 4)}}, 1252).reset();
    std::vector<uint8_t> bytes = ReadAll(Path());
    const std::string ascii("ascii");
    const auto at = std::search(bytes.begin(), bytes.end(), ascii.begin(), ascii.end());
    ASSERT_NE(at, bytes.end());
    std::copy_n("intl", 5, at);
    bytes[px::kHeaderKeyFields] = 1;
    std::ofstream(Path(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                   static_cast<std::streamsize>(bytes.size()));
    auto t = TParadoxTable::Open(Path(), true);
    EXPECT_EQ(t->Writable(), type != px::kAlpha);
    EXPECT_EQ(t->ReadOnlyReason().find("sorted in the order 'intl'") != std::string::npos, type == px::kAlpha)
        << t->ReadOnlyReason();
  }
}

}  // namespace
}  // namespace kv
