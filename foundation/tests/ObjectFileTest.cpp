// Whole-file object operations, the clipboard and ini files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "StreamTestClasses.h"
#include "foundation/Clipboard.h"
#include "foundation/Exceptions.h"
#include "foundation/IniFile.h"
#include "foundation/ObjectStream.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using namespace kvtest;

namespace {

std::string TempPath(const std::string& name) { return kvtest::TempFilePath("objfile", name); }

// Fails while being written.
class TFailingSave : public TNode {
  KV_CLASS(TFailingSave, TNode)
public:
  void BeforeSave(TFiler&) override { throw EWriteError("disk full"); }
};
KV_IMPLEMENT_CLASS(TFailingSave, TNode)

}  // namespace

TEST(ObjectFiles, WriteAndReadBack) {
  std::string path = TempPath("node.obj");
  TNode n("file", 12);
  WriteObjectToFile(path, &n);
  std::unique_ptr<TBaseObject> back(ReadObjectFromFile(path));
  auto* node = ObjCast<TNode>(back.get());
  ASSERT_TRUE(node);
  EXPECT_EQ(node->Name, "file");
  EXPECT_EQ(node->Value, 12);
}

TEST(ObjectFiles, KeepsTheNameCase) {
  std::string path = TempPath("MixedCase.OBJ");
  TNode n("x", 1);
  WriteObjectToFile(path, &n);
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  std::unique_ptr<TBaseObject> back(ReadObjectFromFile(path));
  EXPECT_TRUE(back);
}

TEST(ObjectFiles, ReadErrorsCarryTheFixedPrefix) {
  try {
    ReadObjectFromFile(TempPath("missing.obj"));
    FAIL();
  } catch (const Exception& e) {
    std::string m = e.Message();
    EXPECT_EQ(m.rfind("打不开数据结构类文件\r\n\n", 0), 0u) << m;
    EXPECT_GT(m.size(), std::string("打不开数据结构类文件\r\n\n").size());
  }
  std::string bad = TempPath("bad.obj");
  std::ofstream(bad) << "not an object stream";
  try {
    ReadObjectFromFile(bad);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find("Invalid stream format"), std::string::npos);
  }
}

TEST(ObjectFiles, FailedWriteKeepsTheOldFile) {
  std::string path = TempPath("keep.obj");
  TNode good("good", 1);
  WriteObjectToFile(path, &good);
  std::string before = kvtest::ReadFile(path);
  TFailingSave bad;
  EXPECT_THROW(WriteObjectToFile(path, &bad), EWriteError);
  EXPECT_EQ(kvtest::ReadFile(path), before);
  EXPECT_THROW(WriteObjectToFile("/nonexistent-folder/x.obj", &good), Exception);
}

TEST(ClipboardTest, ObjectsCopyAndPaste) {
  TNode n("clip", 3);
  n.CopyToClipBoard();
  EXPECT_TRUE(Clipboard().HasObject());
  std::unique_ptr<TBaseObject> pasted(PastObjFromClipBoard());
  auto* p = ObjCast<TNode>(pasted.get());
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Name, "clip");
  TStringList l;
  l.Add("a");
  l.CopyToClipboard();
  EXPECT_FALSE(Clipboard().HasObject());  // text replaced the object
  TStringList m;
  m.PasteFromClipboard();
  EXPECT_EQ(m.Text(), "a\n");
}

TEST(IniFileTest, ValuesWithNotes) {
  TIniFile ini;
  ini.SetText("[Main]\nCount = 25 ;the count\nHex=0x1F\nBad=abc\nName=Tom;a note;more\n");
  std::string note;
  EXPECT_EQ(ini.ReadIntNote("Main", "Count", note, -1), 25);
  EXPECT_EQ(note, "the count");
  EXPECT_EQ(ini.ReadInteger("main", "HEX", 0), 31);
  EXPECT_EQ(ini.ReadInteger("Main", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Main", "Missing", 9), 9);
  EXPECT_EQ(ini.ReadString("Main", "Name", ""), "Tom");
  EXPECT_EQ(ini.ReadNote("Main", "Name"), "a note;more");
  EXPECT_TRUE(ini.ReadBool("Main", "Count", false));
  EXPECT_FALSE(ini.ReadBool("Main", "Missing", false));
}

TEST(IniFileTest, WritesGoToTheFile) {
  std::string path = TempPath("settings.ini");
  std::remove(path.c_str());
  {
    TIniFile ini(path);
    ini.WriteString("系统配置", "Server", "db1");
    ini.WriteInteger("Other", "N", 5);
  }
  TIniFile again(path);
  EXPECT_EQ(again.ReadString("系统配置", "server", "?"), "db1");
  EXPECT_EQ(again.ReadInteger("Other", "N", 0), 5);
  TPlainStringList lines;
  lines.Add("a=1");
  lines.Add("b='x=y'");
  again.WriteSection("Other", lines);
  TIniFile third(path);
  EXPECT_FALSE(third.ValueExists("Other", "N"));
  EXPECT_EQ(third.ReadString("Other", "a", ""), "1");
  EXPECT_EQ(third.ReadString("Other", "b", ""), "'x=y'");
  third.EraseSection("Other");
  EXPECT_FALSE(TIniFile(path).SectionExists("Other"));
}
