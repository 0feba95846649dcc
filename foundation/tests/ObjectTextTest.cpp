// The text form of object streams: text to binary, binary to text, and the
// byte-exact round trip between them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "StreamTestClasses.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"

using namespace kv;
using namespace kvtest;

namespace {

void ExpectRoundTrip(const std::string& binary) {
  std::string text = ObjectBinaryToText(binary);
  EXPECT_EQ(ObjectTextToBinary(text), binary) << text;
}

}  // namespace

TEST(TextToBinary, HeaderForms) {
  EXPECT_EQ(ObjectTextToBinary("object TEmpty end"), "TPF0" + Name("TEmpty") + Bytes({0, 0, 0}));
  EXPECT_EQ(ObjectTextToBinary("OBJECT Main: TEmpty END"), "TPF0" + Name("TEmpty") + Name("Main") + Bytes({0, 0}));
  EXPECT_EQ(ObjectTextToBinary("inherited Main: TEmpty end"),
            "TPF0" + Bytes({0xF1}) + Name("TEmpty") + Name("Main") + Bytes({0, 0}));
  EXPECT_EQ(ObjectTextToBinary("object Main: TEmpty [3] end"),
            "TPF0" + Bytes({0xF2, 2, 3}) + Name("TEmpty") + Name("Main") + Bytes({0, 0}));
}

TEST(TextToBinary, Values) {
  std::string text =
      "object TNode\n"
      "  a = 100\n"
      "  b = -1000\n"
      "  c = $FF\n"
      "  d = 'It''s' + ' more'#13#10\n"
      "  e = True\n"
      "  f = SomeIdent.Sub\n"
      "  g = (1 'x')\n"
      "  h = [one, two]\n"
      "  i = {0A0b}\n"
      "  j = 1.5S\n"
      "  k = 12.3456C\n"
      "  l = 2.5D\n"
      "  m = <item [2] x = 1 end>\n"
      "  n = 3000000000\n"
      "  o = nil\n"
      "end";
  std::string b = ObjectTextToBinary(text);
  float single = 1.5f;
  double date = 2.5;
  int64_t currency = 123456;
  std::string expected =
      "TPF0" + Name("TNode") + Bytes({0}) + Name("a") + Bytes({2, 100}) + Name("b") + Bytes({3, 0x18, 0xFC}) +
      Name("c") + Bytes({3, 0xFF, 0}) + Name("d") + Bytes({6, 11}) + "It's more\r\n" + Name("e") + Bytes({9}) +
      Name("f") + Bytes({7, 13}) + "SomeIdent.Sub" + Name("g") + Bytes({1, 2, 1, 6, 1}) + "x" + Bytes({0}) +
      Name("h") + Bytes({0x0B}) + Name("one") + Name("two") + Bytes({0}) + Name("i") + Bytes({0x0A, 2, 0, 0, 0, 10, 11}) +
      Name("j") + Bytes({0x0F}) + std::string(reinterpret_cast<char*>(&single), 4) + Name("k") + Bytes({0x10}) +
      std::string(reinterpret_cast<char*>(&currency), 8) + Name("l") + Bytes({0x11}) +
      std::string(reinterpret_cast<char*>(&date), 8) + Name("m") + Bytes({0x0E, 2, 2, 1}) + Name("x") + Bytes({2, 1}) +
      Bytes({0, 0}) + Name("n") + Bytes({0x13, 0x00, 0x5E, 0xD0, 0xB2, 0, 0, 0, 0}) + Name("o") + Bytes({0x0D}) +
      Bytes({0, 0});
  EXPECT_EQ(b, expected);
}

TEST(TextToBinary, NestedObjectsAndChineseNames) {
  std::string text = "object 表: TNode\n  名字 = '中文'\n  object Next: TNode\n    Value = 1\n  end\nend\n";
  std::string b = ObjectTextToBinary(text);
  EXPECT_EQ(b, "TPF0" + Name("TNode") + Name("表") + Name("名字") + Bytes({6, 6}) + "中文" + Bytes({0}) + Name("TNode") +
                   Name("Next") + Name("Value") + Bytes({2, 1}) + Bytes({0, 0}) + Bytes({0}));
}

TEST(TextToBinary, WideStrings) {
  std::string b = ObjectTextToBinary("object TNode s = 'a'#20013 end");
  EXPECT_EQ(b, "TPF0" + Name("TNode") + Bytes({0}) + Name("s") + Bytes({0x12, 2, 0, 0, 0, 'a', 0, 0x2D, 0x4E}) + Bytes({0, 0}));
}

TEST(TextToBinary, ParseErrors) {
  const char* bad[] = {
      "",
      "thing TNode end",
      "object TNode",
      "object TNode x = end",
      "object TNode x = 'open end",
      "object TNode x = (1 2",
      "object TNode x = {0A",
      "object TNode x = {0G} end",
      "object TNode x = 99999999999999999999999999999999999999 end",
      "object TNode x = 1 end trailing",
      "object TNode x = #99999999 end",
      "object TNode x = [a b] end",
      "object : TNode end",
      "object X: TNode end end",
      "object X: TNode a = (1 Null 2) end",
  };
  for (const char* t : bad) EXPECT_THROW(ObjectTextToBinary(t), EParserError) << t;
  // A class name whose length byte would read as a record prefix.
  EXPECT_THROW(ObjectTextToBinary("object " + std::string(241, 'T') + " end"), EParserError);
  EXPECT_NO_THROW(ObjectTextToBinary("object " + std::string(239, 'T') + " end"));
}

TEST(TextToBinary, DeepNestingIsRefused) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "object X: TNode ";
  for (int i = 0; i < 5000; ++i) text += "end ";
  EXPECT_THROW(ObjectTextToBinary(text), EParserError);
  std::string lists = "object TNode x = ";
  for (int i = 0; i < 100000; ++i) lists += "(";
  EXPECT_THROW(ObjectTextToBinary(lists), EParserError);
}

TEST(BinaryToText, ReadableForm) {
  TNode n("root", 5);
  n.Next.reset(new TNode("child", 0));
  EXPECT_EQ(ObjectBinaryToText(Write(&n)),
            "object TNode\n"
            "  Name = 'root'\n"
            "  Value = 5\n"
            "  object Next: TNode\n"
            "    Name = 'child'\n"
            "  end\n"
            "end\n");
}

TEST(BinaryToText, RoundTripOfEveryType) {
  TAllTypes a;
  a.S = std::string("ctl\x01\x7f'q") + "中" + std::string(400, 'w');
  a.P.reset(new char[2]{'p', 0});
  a.Lines.reset(new TStringList);
  a.Lines->Add("");
  a.Lines->Add("two");
  a.Child.reset(new TNode("kid", -3));
  a.Items.reset(new TStoredStrList);
  a.Items->AddObject("k", new TNode("item", 1));
  a.Items->Add("gap");
  a.Items->AddObject("k2", new TNode("item2", 2));
  ExpectRoundTrip(Write(&a));
  // Reals that need every digit, and ones that have no decimal form.
  for (long double x : {0.0L, -0.0L, 1e-4950L, 1.18973149535723176502e+4932L, 0.1L, 1.0L / 3, -2.5e-300L,
                        std::numeric_limits<long double>::infinity(), std::numeric_limits<long double>::quiet_NaN()}) {
    a.X = x;
    a.D = static_cast<double>(x);
    a.Dt = static_cast<double>(x);
    a.Sg = static_cast<float>(x);
    ExpectRoundTrip(Write(&a));
  }
}

TEST(BinaryToText, UnnormalisedExtendedKeepsItsBytes) {
  // Exponent 0 with the integer bit set: no decimal text reads back to it.
  ExpectRoundTrip(ObjectTextToBinary("object N a = (#X9F100000000000A00000) end"));
  ExpectRoundTrip(ObjectTextToBinary("object N a = #X00000000000000000180 end"));
}

TEST(BinaryToText, RoundTripOfTextOnlyValues) {
  std::string text =
      "inherited Main: TNode [7]\n  s = [a, b]\n  c = -12.0001C\n  m = <item x = 1 end item [3] end>\n  w = 'x'#1234\n"
      "  i = Ident\n  n = nil\n  l = ()\nend\n";
  ExpectRoundTrip(ObjectTextToBinary(text));
}

TEST(BinaryToText, RandomTreesRoundTrip) {
  std::mt19937 rng(7);
  for (int round = 0; round < 100; ++round) {
    TListHolder h;
    h.Nodes.reset(new TList);
    h.Nodes->OwnsObjects = true;
    for (int i = static_cast<int>(rng() % 6); i > 0; --i) {
      std::string name;
      for (int k = static_cast<int>(rng() % 40); k > 0; --k) name += static_cast<char>(rng() % 256);
      h.Nodes->Add(new TNode(name, static_cast<int32_t>(rng())));
    }
    ExpectRoundTrip(Write(&h));
  }
}

TEST(BinaryToText, BadInput) {
  EXPECT_THROW(ObjectBinaryToText("XXXX"), EReadError);
  EXPECT_THROW(ObjectBinaryToText(std::string("TPF0\0", 5)), EReadError);
  EXPECT_THROW(ObjectBinaryToText("TPF0" + Name("TNode") + Bytes({0}) + Name("x") + Bytes({0x42})), EReadError);
  TNode node("abc", 1);
  std::string good = Write(&node);
  for (size_t n = 0; n < good.size(); ++n) EXPECT_THROW(ObjectBinaryToText(good.substr(0, n)), Exception) << n;
}
