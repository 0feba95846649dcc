// Moving file contents, signed files, record files and sorted record files.
#include <dirent.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/RecordFiles.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

std::string TempPath(const std::string& name) { return kvtest::TempFilePath("recfile", name); }

// Bytes that differ from their neighbours, so any shift shows.
std::string Pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  uint32_t x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}


// A record of the sorted tests: a 2-byte little-endian key and a tag byte.
std::string Rec(uint16_t key, char tag) {
  return std::string{static_cast<char>(key & 0xFF), static_cast<char>(key >> 8), tag};
}

std::vector<std::string> AllRecords(TDataStream& s) {
  std::vector<std::string> out;
  s.GotoRec(0);
  std::string r(s.RecSize(), '\0');
  while (s.RecNo() < s.RecordCount()) {
    s.ReadRec(r.data());
    out.push_back(r);
  }
  return out;
}

// An encoded record file: every byte XOR 0x5A on the disk.
class TXorStream : public TDataStream {
public:
  TXorStream(const std::string& name, const std::string& sign, uint16_t mode)
      : TDataStream(name, mode, kDeferSign) {
    InitSign(sign, mode);
  }
  void SecretData(void* b, int64_t n) override {
    if (failEncoding) throw EWriteError("encoding failed");
    for (int64_t i = 0; i < n; ++i) static_cast<uint8_t*>(b)[i] ^= 0x5A;
  }
  void UnsecretData(void* b, int64_t n) override {
    for (int64_t i = 0; i < n; ++i) static_cast<uint8_t*>(b)[i] ^= 0x5A;
  }
  bool failEncoding = false;
};

// A header of its own: a 4-byte record count.
class THeaderStream : public TDataStream {
public:
  THeaderStream(const std::string& name, uint16_t mode) : TDataStream(name, mode, kDeferSign) {
    InitSign("HDR", mode);
  }
  void WriteHeader() override { WriteString(std::string("\x07\x00\x00\x00", 4)); }
  bool ReadHeader() override {
    char b[4] = {};
    return Read(b, 4) == 4 && b[0] == 7;
  }
};

}  // namespace

// ---- Moving file contents --------------------------------------------------------------

TEST(MoveContents, ExpandInTheMiddleKeepsEveryByte) {
  // Not a multiple of the block size, so the last block is a short one.
  const std::string original = Pattern(3 * TFileStream::kMoveBlockSize + 1234);
  std::string path = TempPath("expand.bin");
  kvtest::WriteFile(path, original);
  for (int64_t pos : {int64_t{0}, int64_t{1}, int64_t{16384}, int64_t{40000}}) {
    kvtest::WriteFile(path, original);
    TFileStream f(path, fmOpenReadWrite);
    f.SetPosition(77);
    f.Expand(pos, 5000);
    EXPECT_EQ(f.Position(), 77);
    EXPECT_EQ(f.Size(), static_cast<int64_t>(original.size()) + 5000);
    std::string now = kvtest::ReadFile(path);
    EXPECT_EQ(now.substr(0, static_cast<size_t>(pos)), original.substr(0, static_cast<size_t>(pos)));
    EXPECT_EQ(now.substr(static_cast<size_t>(pos) + 5000), original.substr(static_cast<size_t>(pos))) << pos;
  }
}

TEST(MoveContents, DigoutInTheMiddleKeepsEveryOtherByte) {
  const std::string original = Pattern(2 * TFileStream::kMoveBlockSize + 999, 7);
  std::string path = TempPath("digout.bin");
  for (int64_t pos : {int64_t{0}, int64_t{100}, int64_t{16383}}) {
    kvtest::WriteFile(path, original);
    TFileStream f(path, fmOpenReadWrite);
    f.SetPosition(10);
    f.Digout(pos, 17000);  // more than one block
    EXPECT_EQ(f.Position(), 10);
    const auto at = static_cast<size_t>(pos);
    std::string expected = original.substr(0, at) + original.substr(at + 17000);
    EXPECT_EQ(kvtest::ReadFile(path), expected) << pos;
  }
}

TEST(MoveContents, Boundaries) {
  std::string path = TempPath("bounds.bin");
  kvtest::WriteFile(path, "0123456789");
  TFileStream f(path, fmOpenReadWrite);
  // Digout: a position past the new end is left at the new end.
  f.SetPosition(9);
  f.Digout(6, 100);  // more than follows: the file ends at 6
  EXPECT_EQ(kvtest::ReadFile(path), "012345");
  EXPECT_EQ(f.Position(), 6);
  f.Digout(6, 3);  // nothing there
  f.Digout(50, 3);
  f.Digout(2, 0);
  EXPECT_EQ(kvtest::ReadFile(path), "012345");
  // Expand at or past the end just lengthens the file.
  f.Expand(6, 2);
  EXPECT_EQ(f.Size(), 8);
  f.Expand(10, 2);
  EXPECT_EQ(f.Size(), 12);
  EXPECT_EQ(kvtest::ReadFile(path).substr(0, 6), "012345");
  f.SetPosition(3);
  f.Truncate();
  EXPECT_EQ(kvtest::ReadFile(path), "012");
  EXPECT_THROW(f.Expand(-1, 1), EStreamError);
  EXPECT_THROW(f.Expand(0, -1), EStreamError);
  EXPECT_THROW(f.Digout(-5, 1), EStreamError);
  EXPECT_THROW(f.Expand(1, INT64_MAX), EStreamError);
  EXPECT_EQ(kvtest::ReadFile(path), "012");
}

TEST(MoveContents, ReadOnlyFileFailsUnchanged) {
  std::string path = TempPath("readonly.bin");
  kvtest::WriteFile(path, "abcdef");
  TFileStream f(path, fmOpenRead);
  EXPECT_THROW(f.Expand(1, 3), EStreamError);
  EXPECT_THROW(f.Digout(1, 3), EStreamError);
  EXPECT_EQ(kvtest::ReadFile(path), "abcdef");
}

// ---- Signed files --------------------------------------------------------------------------

TEST(SignStream, NewFileGetsTheSignLine) {
  std::string path = TempPath("sign-new.dat");
  std::remove(path.c_str());
  { TSignStream s(path, "KVSIGN", fmCreate); }
  EXPECT_EQ(kvtest::ReadFile(path), "KVSIGN\r\n\x1A");
  {
    TSignStream s(path, "KVSIGN", fmOpenRead);
    EXPECT_EQ(s.Position(), 9);
    s.SetPosition(0);
    s.LocateHeader("KVSIGN");
    EXPECT_EQ(s.Position(), 9);
    s.LocateHeader("");
    EXPECT_EQ(s.Position(), 0);
  }
  // Open-or-create: a missing file is created with its sign, an existing one checked.
  std::string other = TempPath("sign-openorcreate.dat");
  std::remove(other.c_str());
  { TSignStream s(other, "S", fmOpenOrCreate | fmOpenReadWrite); }
  EXPECT_EQ(kvtest::ReadFile(other), "S\r\n\x1A");
  { TSignStream s(other, "S", fmOpenOrCreate | fmOpenReadWrite); }
  EXPECT_EQ(kvtest::ReadFile(other), "S\r\n\x1A");
}

TEST(SignStream, WrongSignIsRefusedAndTheFileClosed) {
  std::string path = TempPath("sign-wrong.dat");
  { TSignStream s(path, "GOOD", fmCreate); }
  int before = OpenDescriptors();
  EXPECT_EQ(kvtest::ErrorOf<EFOpenError>([&] { TSignStream s(path, "BAD!", fmOpenRead); }),
            "文件" + path + "标志校验失败");
  // Case matters.
  EXPECT_THROW({ TSignStream t(path, "good", fmOpenRead); }, EFOpenError);
  // Open-or-create on an existing file checks too.
  EXPECT_THROW({ TSignStream t(path, "BAD!", fmOpenOrCreate | fmOpenReadWrite); }, EFOpenError);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(kvtest::ReadFile(path), "GOOD\r\n\x1A");
  // A file shorter than the sign line, and an existing empty file opened plainly.
  kvtest::WriteFile(path, "GO");
  EXPECT_THROW({ TSignStream t(path, "GOOD", fmOpenRead); }, EFOpenError);
  kvtest::WriteFile(path, "");
  EXPECT_THROW({ TSignStream t(path, "GOOD", fmOpenReadWrite); }, EFOpenError);
  // An empty sign checks nothing.
  TSignStream any(path, "", fmOpenRead);
  EXPECT_EQ(any.Size(), 0);
}

TEST(SignStream, HeaderOfASubclass) {
  std::string path = TempPath("sign-header.dat");
  { THeaderStream s(path, fmCreate); EXPECT_EQ(s.DataStart(), 10); }
  EXPECT_EQ(kvtest::ReadFile(path), std::string("HDR\r\n\x1A\x07\x00\x00\x00", 10));
  { THeaderStream s(path, fmOpenRead); EXPECT_EQ(s.DataStart(), 10); }
  kvtest::WriteFile(path, std::string("HDR\r\n\x1A\x08\x00\x00\x00", 10));
  EXPECT_EQ(kvtest::ErrorOf<EFOpenError>([&] { THeaderStream s(path, fmOpenRead); }), "读" + path + "的文件头失败");
}

TEST(SignStream, ModifySignatureKeepsTheContents) {
  std::string path = TempPath("sign-modify.dat");
  const std::string body = Pattern(50000, 3);
  kvtest::WriteFile(path, "ABC\r\n\x1A" + body);
  ModifyStreamSignature(path, "ABC", "ABC");  // equal signs: untouched
  EXPECT_EQ(kvtest::ReadFile(path), "ABC\r\n\x1A" + body);
  ModifyStreamSignature(path, "ABC", "ABCDEFGHIJ");  // 7 bytes longer
  EXPECT_EQ(kvtest::ReadFile(path), "ABCDEFGHIJ\r\n\x1A" + body);
  ModifyStreamSignature(path, "ABCDEFGHIJ", "XY");
  EXPECT_EQ(kvtest::ReadFile(path), "XY\r\n\x1A" + body);
  ModifyStreamSignature(path, "XY", "");  // the whole sign line goes
  EXPECT_EQ(kvtest::ReadFile(path), body);
  ModifyStreamSignature(path, "", "NEW");
  EXPECT_EQ(kvtest::ReadFile(path), "NEW\r\n\x1A" + body);
  // The old sign must be there.
  EXPECT_THROW(ModifyStreamSignature(path, "OLD", "X"), EFOpenError);
  EXPECT_EQ(kvtest::ReadFile(path), "NEW\r\n\x1A" + body);
  // A missing file: nothing happens.
  std::string missing = TempPath("sign-missing.dat");
  std::remove(missing.c_str());
  ModifyStreamSignature(missing, "A", "B");
  EXPECT_FALSE(std::ifstream(missing).good());
}

// ---- Record files -----------------------------------------------------------------------------

TEST(DataStream, WriteReadAndNavigate) {
  std::string path = TempPath("data-basic.dat");
  TDataStream s(path, "REC", fmCreate);
  EXPECT_EQ(s.DataStart(), 6);
  s.SetRecSize(4);
  EXPECT_EQ(s.RecordCount(), 0);
  EXPECT_TRUE(s.CheckEof());
  EXPECT_EQ(s.AppendRec("aaaa"), 0);
  EXPECT_EQ(s.AppendRec("bbbb"), 1);
  EXPECT_EQ(s.AppendRec("cccc"), 2);
  EXPECT_EQ(s.RecordCount(), 3);
  s.GotoRec(1);
  EXPECT_EQ(s.WriteRec("BBBB"), 1);
  EXPECT_EQ(s.RecNo(), 2);
  s.GotoRec(0);
  s.Skip();
  char r[4];
  s.ReadRec(r);
  EXPECT_EQ(std::string(r, 4), "BBBB");
  EXPECT_EQ(s.RecNo(), 2);
  // A raw seek in between does not confuse the record operations.
  s.SetPosition(0);
  s.ReadRec(r);
  EXPECT_EQ(std::string(r, 4), "cccc");
  EXPECT_TRUE(s.CheckEof());
  s.Skip();  // at the end: stays
  EXPECT_EQ(s.RecNo(), 3);
  EXPECT_EQ(kvtest::ReadFile(path), "REC\r\n\x1A" "aaaaBBBBcccc");
}

TEST(DataStream, InsertAndDeleteInTheMiddleOfALargeFile) {
  std::string path = TempPath("data-large.dat");
  const int kRecSize = 100;
  const int kCount = 5000;  // about 500 KB, many blocks
  const std::string body = Pattern(static_cast<size_t>(kRecSize) * kCount, 11);
  kvtest::WriteFile(path, "BIG\r\n\x1A" + body);
  TDataStream s(path, "BIG", fmOpenReadWrite);
  s.SetRecSize(kRecSize);
  ASSERT_EQ(s.RecordCount(), kCount);
  const std::string fresh(kRecSize, 'N');
  s.GotoRec(2500);
  EXPECT_EQ(s.InsertRec(fresh.data()), 2500);
  EXPECT_EQ(s.RecNo(), 2501);
  EXPECT_EQ(kvtest::ReadFile(path), "BIG\r\n\x1A" + body.substr(0, 250000) + fresh + body.substr(250000));
  s.GotoRec(2500);
  s.DeleteRec();
  EXPECT_EQ(s.RecNo(), 2500);
  EXPECT_EQ(kvtest::ReadFile(path), "BIG\r\n\x1A" + body);
  s.GotoRec(0);
  s.DeleteRec();
  EXPECT_EQ(kvtest::ReadFile(path), "BIG\r\n\x1A" + body.substr(kRecSize));
}

TEST(DataStream, EndOfFileCases) {
  std::string path = TempPath("data-end.dat");
  TDataStream s(path, "", fmCreate);
  s.SetRecSize(2);
  s.AppendRec("ab");
  s.GotoRec(1);
  s.DeleteRec();  // at the end: nothing
  EXPECT_EQ(s.RecordCount(), 1);
  EXPECT_EQ(s.InsertRec("cd"), 1);  // at the end: appended
  EXPECT_EQ(kvtest::ReadFile(path), "abcd");
}

TEST(DataStream, BadInput) {
  std::string path = TempPath("data-bad.dat");
  kvtest::WriteFile(path, "R\r\n\x1A" "abcdefg");  // two records of 3 and one byte left over
  TDataStream s(path, "R", fmOpenReadWrite);
  s.SetRecSize(3);
  EXPECT_EQ(s.RecordCount(), 2);
  char r[3];
  s.GotoRec(2);
  EXPECT_THROW(s.ReadRec(r), EReadError);  // the truncated last record
  EXPECT_EQ(s.RecNo(), 2);
  EXPECT_EQ(s.Position(), 4 + 6);
  s.GotoRec(1);
  s.ReadRec(r);
  EXPECT_EQ(std::string(r, 3), "def");
  EXPECT_THROW(s.GotoRec(-1), EStreamError);
  EXPECT_THROW(s.GotoRec(3), EStreamError);
  EXPECT_THROW(s.GotoRec(INT64_MAX), EStreamError);
  EXPECT_THROW(s.SetRecSize(0), EStreamError);
  EXPECT_EQ(s.RecSize(), 3);
  EXPECT_THROW(s.SetDataStart(-1), EStreamError);
  EXPECT_THROW(s.SetDataStart(1000), EStreamError);
  s.SetDataStart(0);
  EXPECT_EQ(s.RecNo(), 0);
  EXPECT_EQ(s.RecordCount(), 3);
  EXPECT_EQ(kvtest::ReadFile(path), "R\r\n\x1A" "abcdefg");
}

TEST(DataStream, SecretHooksEncodeRecordsButNotTheMoves) {
  std::string path = TempPath("data-secret.dat");
  TXorStream s(path, "X", fmCreate);
  s.SetRecSize(2);
  s.Secret = true;
  s.AppendRec("ab");
  s.AppendRec("ef");
  s.GotoRec(1);
  s.InsertRec("cd");
  std::string disk = kvtest::ReadFile(path);
  EXPECT_EQ(disk.substr(0, 4), "X\r\n\x1A");  // the sign line is never encoded
  EXPECT_EQ(disk[4], 'a' ^ 0x5A);
  EXPECT_EQ(disk[9], 'f' ^ 0x5A);
  std::vector<std::string> expected{"ab", "cd", "ef"};
  EXPECT_EQ(AllRecords(s), expected);
  EXPECT_TRUE(s.Secret);
}

TEST(DataStream, FailedInsertLeavesTheFileAsItWas) {
  std::string path = TempPath("data-rollback.dat");
  {
    TXorStream s(path, "X", fmCreate);
    s.SetRecSize(2);
    s.AppendRec("ab");
    s.AppendRec("cd");
  }
  const std::string before = kvtest::ReadFile(path);
  TXorStream s(path, "X", fmOpenReadWrite);
  s.SetRecSize(2);
  s.Secret = true;
  s.failEncoding = true;
  s.GotoRec(1);
  EXPECT_THROW(s.InsertRec("zz"), EWriteError);
  EXPECT_EQ(kvtest::ReadFile(path), before);
  EXPECT_EQ(s.RecNo(), 1);
}

// ---- Sorted record files -----------------------------------------------------------------------------

TEST(SortedDataStream, FindOnAnEmptyFile) {
  std::string path = TempPath("sorted-empty.dat");
  TSortedDataStream s(path, "SRT", fmCreate);
  s.SetRecSize(3);
  uint8_t key[2] = {1, 0};
  EXPECT_FALSE(s.FindRec(key));
  EXPECT_EQ(s.RecNo(), 0);
}

TEST(SortedDataStream, OrderedInsertsAroundEqualKeys) {
  std::string path = TempPath("sorted-equal.dat");
  TSortedDataStream s(path, "SRT", fmCreate);
  s.SetRecSize(3);
  // Keys compare as little-endian numbers: 0x0100 comes after 0x00FF.
  s.InsertRec(Rec(0x0100, 'z').data());
  s.InsertRec(Rec(0x00FF, 'y').data());
  for (char t : {'a', 'b', 'c'}) s.AppendRec(Rec(5, t).data());
  s.InsertRec(Rec(1, 'x').data());
  EXPECT_EQ(s.AppendRec(Rec(5, 'd').data()), 4);  // after the last of three equal keys
  EXPECT_EQ(s.InsertRec(Rec(5, '0').data()), 1);  // before the first of them
  std::vector<std::string> expected{Rec(1, 'x'), Rec(5, '0'), Rec(5, 'a'), Rec(5, 'b'), Rec(5, 'c'),
                                    Rec(5, 'd'), Rec(0x00FF, 'y'), Rec(0x0100, 'z')};
  EXPECT_EQ(AllRecords(s), expected);
  uint8_t key[2] = {0x80, 0};
  EXPECT_FALSE(s.FindRec(key));
  EXPECT_EQ(s.RecNo(), 6);  // the insertion point
}

TEST(SortedDataStream, ReplaceSameKey) {
  std::string path = TempPath("sorted-replace.dat");
  TSortedDataStream s(path, "", fmCreate);
  s.SetRecSize(3);
  s.ReplaceSameKey = true;
  s.AppendRec(Rec(2, 'a').data());
  s.AppendRec(Rec(3, 'a').data());
  EXPECT_EQ(s.AppendRec(Rec(2, 'b').data()), 0);
  EXPECT_EQ(s.InsertRec(Rec(3, 'b').data()), 1);
  std::vector<std::string> expected{Rec(2, 'b'), Rec(3, 'b')};
  EXPECT_EQ(AllRecords(s), expected);
}

TEST(SortedDataStream, WriteRecKeepsTheOrder) {
  std::string path = TempPath("sorted-write.dat");
  TSortedDataStream s(path, "", fmCreate);
  s.SetRecSize(3);
  for (uint16_t k : {10, 20, 30, 40}) s.AppendRec(Rec(k, '-').data());
  // Same key: overwritten in place.
  s.GotoRec(1);
  EXPECT_EQ(s.WriteRec(Rec(20, 'S').data()), 1);
  // A changed key moves the record, forwards and backwards.
  s.GotoRec(0);
  EXPECT_EQ(s.WriteRec(Rec(35, 'F').data()), 2);
  s.GotoRec(3);
  EXPECT_EQ(s.WriteRec(Rec(5, 'B').data()), 0);
  // At the end: a key not below the last is written plainly, a smaller one inserted.
  s.GotoRec(s.RecordCount());
  EXPECT_EQ(s.WriteRec(Rec(50, 'E').data()), 4);
  s.GotoRec(s.RecordCount());
  EXPECT_EQ(s.WriteRec(Rec(25, 'M').data()), 2);
  std::vector<std::string> expected{Rec(5, 'B'),  Rec(20, 'S'), Rec(25, 'M'),
                                    Rec(30, '-'), Rec(35, 'F'), Rec(50, 'E')};
  EXPECT_EQ(AllRecords(s), expected);
}

TEST(SortedDataStream, KeyLongerThanTheRecord) {
  std::string path = TempPath("sorted-key.dat");
  TSortedDataStream s(path, "", fmCreate);  // records of 1 byte, keys of 2
  EXPECT_THROW(s.AppendRec("a"), EStreamError);
  EXPECT_EQ(s.Size(), 0);
}
