// Byte-level and round-trip tests of the binary object stream.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "StreamTestClasses.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "testsupport/TempFiles.h"

using namespace kv;
using namespace kvtest;

namespace {

template <class T = TBaseObject>
std::unique_ptr<T> Read(const std::string& bytes) {
  TMemoryStream m(bytes);
  std::unique_ptr<TBaseObject> obj(StreamReadObject(m));
  if (!obj) return nullptr;
  T* typed = ObjCast<T>(obj.get());
  if (!typed) return nullptr;
  obj.release();
  return std::unique_ptr<T>(typed);
}

// The bytes of one stored property: its name string, then the value.
std::string PropBytes(std::string_view name, const std::string& value) { return Name(name) + value; }

bool Contains(const std::string& hay, const std::string& needle) { return hay.find(needle) != std::string::npos; }

}  // namespace

// ---- Single values ------------------------------------------------------------

TEST(NameStrings, ShortAndLongForms) {
  TMemoryStream m;
  StreamWriteStr(m, std::string(254, 'a'));
  EXPECT_EQ(m.Size(), 255);
  EXPECT_EQ(m.Memory()[0], 254);
  TMemoryStream l;
  StreamWriteStr(l, std::string(255, 'b'));
  EXPECT_EQ(l.Size(), 1 + 4 + 255);
  EXPECT_EQ(l.Bytes().substr(0, 5), Bytes({0xFF, 0xFF, 0, 0, 0}));
  l.SetPosition(0);
  EXPECT_EQ(StreamReadStr(l), std::string(255, 'b'));
  EXPECT_EQ(l.Position(), l.Size());
}

TEST(NameStrings, EmptyIsOneZeroByte) {
  TMemoryStream m;
  StreamWriteStr(m, "");
  EXPECT_EQ(m.Bytes(), Bytes({0}));
}

TEST(ObjectRecord, RootOfEmptyObject) {
  TEmpty e;
  EXPECT_EQ(Write(&e), "TPF0" + Name("TEmpty") + Bytes({0, 0, 0}));
}

TEST(ObjectRecord, AbsentObjectIsOneZero) {
  EXPECT_EQ(Write(nullptr), "TPF0" + Bytes({0}));
  TMemoryStream m(std::string("TPF0") + '\0');
  EXPECT_EQ(StreamReadObject(m), nullptr);
  EXPECT_EQ(m.Position(), 5);
}

TEST(ObjectRecord, IntegersUseTheSmallestTag) {
  TOneInt o;
  o.V = 100;
  EXPECT_EQ(Write(&o), "TPF0" + Name("TOneInt") + Bytes({0}) + Name("V") + Bytes({2, 100}) + Bytes({0, 0}));
  o.V = 1000;
  EXPECT_TRUE(Contains(Write(&o), Name("V") + Bytes({3, 0xE8, 0x03, 0})));
  o.V = 100000;
  EXPECT_TRUE(Contains(Write(&o), Name("V") + Bytes({4, 0xA0, 0x86, 0x01, 0x00, 0})));
  o.V = -129;
  EXPECT_TRUE(Contains(Write(&o), Name("V") + Bytes({3, 0x7F, 0xFF, 0})));
  o.V = -128;
  EXPECT_TRUE(Contains(Write(&o), Name("V") + Bytes({2, 0x80, 0})));
  o.UseByte = true;
  o.Byte = 200;  // does not fit the signed 8-bit range
  EXPECT_TRUE(Contains(Write(&o), Name("V") + Bytes({3, 0xC8, 0x00, 0})));
}

TEST(ObjectRecord, EveryPropertyTypeHasItsExactBytes) {
  TAllTypes a;
  a.P.reset(new char[4]{'a', 'b', 'c', 0});
  a.Lines.reset(new TStringList);
  a.Lines->Add("one");
  a.Lines->Add("two");
  std::string w = Write(&a);

  auto f32 = [](float v) { std::string s(4, '\0'); std::memcpy(s.data(), &v, 4); return s; };
  auto f64 = [](double v) { std::string s(8, '\0'); std::memcpy(s.data(), &v, 8); return s; };
  auto f80 = [](long double v) { std::string s(10, '\0'); std::memcpy(s.data(), &v, 10); return s; };

  EXPECT_TRUE(Contains(w, PropBytes("S", Bytes({6, 4}) + "text")));
  EXPECT_TRUE(Contains(w, PropBytes("PStr", Bytes({0x0A, 0, 0, 0, 0}))));
  EXPECT_TRUE(Contains(w, PropBytes("Lines", Bytes({1, 2, 1, 6, 3}) + "one" + Bytes({6, 3}) + "two" + Bytes({0}))));
  EXPECT_TRUE(Contains(w, PropBytes("P", Bytes({6, 3}) + "abc")));
  EXPECT_TRUE(Contains(w, PropBytes("E", Bytes({6, 5}) + "Green")));
  EXPECT_TRUE(Contains(w, PropBytes("I", Bytes({2, 0xFB}))));
  EXPECT_TRUE(Contains(w, PropBytes("SI", Bytes({2, 0x9C}))));
  EXPECT_TRUE(Contains(w, PropBytes("Sm", Bytes({3, 0x30, 0x75}))));
  EXPECT_TRUE(Contains(w, PropBytes("L", Bytes({4, 0xA0, 0x86, 0x01, 0x00}))));
  EXPECT_TRUE(Contains(w, PropBytes("B", Bytes({3, 0xC8, 0x00}))));
  EXPECT_TRUE(Contains(w, PropBytes("W", Bytes({4, 0x60, 0xEA, 0, 0}))));
  EXPECT_TRUE(Contains(w, PropBytes("C", Bytes({0x13, 0x00, 0x28, 0x6B, 0xEE, 0, 0, 0, 0}))));
  EXPECT_TRUE(Contains(w, PropBytes("Bo", Bytes({9}))));
  EXPECT_TRUE(Contains(w, PropBytes("BB", Bytes({9}))));
  EXPECT_TRUE(Contains(w, PropBytes("WB", Bytes({8}))));
  EXPECT_TRUE(Contains(w, PropBytes("LB", Bytes({9}))));
  EXPECT_TRUE(Contains(w, PropBytes("Ch", Bytes({6, 1}) + "x")));
  EXPECT_TRUE(Contains(w, PropBytes("R", Bytes({5}) + f80(1.25L))));
  EXPECT_TRUE(Contains(w, PropBytes("Sg", Bytes({0x0F}) + f32(0.5f))));
  EXPECT_TRUE(Contains(w, PropBytes("D", Bytes({5}) + f80(3.141592653589793))));
  EXPECT_TRUE(Contains(w, PropBytes("X", Bytes({5}) + f80(1.0L / 3))));
  EXPECT_TRUE(Contains(w, PropBytes("Cp", Bytes({0x0A, 8, 0, 0, 0}) + std::string(reinterpret_cast<const char*>(&a.Cp), 8))));
  EXPECT_TRUE(Contains(w, PropBytes("Dt", Bytes({0x11}) + f64(45000.5))));
  EXPECT_TRUE(Contains(w, PropBytes("Tm", Bytes({0x11}) + f64(0.25))));
  EXPECT_TRUE(Contains(w, PropBytes("DtTm", Bytes({0x11}) + f64(45000.75))));
  EXPECT_TRUE(Contains(w, PropBytes("S8", Bytes({0x0A, 1, 0, 0, 0, 0x81}))));
  EXPECT_TRUE(Contains(w, PropBytes("S16", Bytes({0x0A, 2, 0, 0, 0, 0x34, 0x12}))));
  EXPECT_TRUE(Contains(w, PropBytes("S32", Bytes({0x0A, 4, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE}))));
  EXPECT_TRUE(Contains(w, PropBytes("S64", Bytes({0x0A, 8, 0, 0, 0, 8, 7, 6, 5, 4, 3, 2, 1}))));
  EXPECT_TRUE(Contains(w, PropBytes("S128", Bytes({0x0A, 16, 0, 0, 0}) + std::string(16, '\0'))));
  EXPECT_TRUE(Contains(w, PropBytes("S256", Bytes({0x0A, 32, 0, 0, 0}) + std::string(32, '\0'))));
  EXPECT_TRUE(Contains(w, PropBytes("Short", Bytes({6, 5}) + "short")));
  EXPECT_TRUE(Contains(w, PropBytes("Set", Bytes({0x0A, 0, 0, 0, 0}))));
  // Absent objects and lists are not written at all.
  EXPECT_FALSE(Contains(w, Name("Child")));
  EXPECT_FALSE(Contains(w, Name("Items")));
}

TEST(ObjectRecord, LongTextUsesTheLongStringTag) {
  TAllTypes a;
  a.S = std::string(300, 'z');
  std::string w = Write(&a);
  EXPECT_TRUE(Contains(w, PropBytes("S", Bytes({0x0C, 0x2C, 0x01, 0, 0}) + std::string(300, 'z'))));
  a.S = std::string(255, 'y');
  EXPECT_TRUE(Contains(Write(&a), PropBytes("S", Bytes({6, 255}) + std::string(255, 'y'))));
}

TEST(ObjectRecord, ShortStringIsCutTo255) {
  TAllTypes a;
  a.Short = std::string(400, 'q');
  auto back = Read<TAllTypes>(Write(&a));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Short, std::string(255, 'q'));
}

TEST(RoundTrip, EveryTypeReadsBackEqual) {
  TAllTypes a;
  a.S = "Grüße 中文";
  a.P.reset(new char[3]{'h', 'i', 0});
  a.E = 2;
  a.I = INT32_MIN;
  a.C = UINT32_MAX;
  a.Bo = false;
  a.BB = 5;
  a.WB = 3;
  a.LB = 0;
  a.X = 1.2345678901234567890123L;
  a.S128[3] = 9;
  a.S256[31] = 0xFE;
  a.Lines.reset(new TStringList);
  a.Lines->Add("x=1");
  a.Child.reset(new TNode("kid", 7));
  a.Items.reset(new TStoredStrList);
  a.Items->AddObject("first", new TNode("n1", 1));
  a.Items->AddObject("second", new TNode("n2", 2));

  auto b = Read<TAllTypes>(Write(&a));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->S, a.S);
  EXPECT_STREQ(b->P.get(), "hi");
  EXPECT_EQ(b->E, 2);
  EXPECT_EQ(b->I, INT32_MIN);
  EXPECT_EQ(b->SI, -100);
  EXPECT_EQ(b->Sm, 30000);
  EXPECT_EQ(b->B, 200);
  EXPECT_EQ(b->W, 60000);
  EXPECT_EQ(b->C, UINT32_MAX);
  EXPECT_FALSE(b->Bo);
  EXPECT_EQ(b->BB, 0xFF);   // read back as all bits set
  EXPECT_EQ(b->WB, 0xFFFF);
  EXPECT_EQ(b->LB, 0u);
  EXPECT_EQ(b->Ch, 'x');
  EXPECT_EQ(b->X, a.X);
  EXPECT_EQ(b->D, a.D);
  EXPECT_EQ(b->Cp, a.Cp);
  EXPECT_EQ(b->S128, a.S128);
  EXPECT_EQ(b->S256, a.S256);
  EXPECT_EQ(b->S64, a.S64);
  ASSERT_TRUE(b->Lines);
  EXPECT_EQ(b->Lines->Text(), "x=1\n");
  auto* kid = ObjCast<TNode>(b->Child.get());
  ASSERT_TRUE(kid);
  EXPECT_EQ(kid->Name, "kid");
  ASSERT_TRUE(b->Items);
  ASSERT_EQ(b->Items->Count(), 2);
  EXPECT_EQ(b->Items->Strings(1), "second");
  EXPECT_EQ(static_cast<TNode*>(b->Items->GetObj(1))->Value, 2);
  // Written again, the copy gives the same bytes.
  EXPECT_EQ(Write(b.get()), Write(&a));
}

TEST(RoundTrip, AbsentPropertyKeepsItsDefaultAndOrderDoesNotMatter) {
  // Properties in a different order than declared, and "S" missing.
  std::string bytes = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("B", Bytes({2, 7})) +
                      PropBytes("I", Bytes({2, 9})) + Bytes({0, 0});
  auto a = Read<TAllTypes>(bytes);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->B, 7);
  EXPECT_EQ(a->I, 9);
  EXPECT_EQ(a->S, "text");  // constructed default
  TAllTypes empty;
  empty.S.clear();  // HasData false: not stored
  EXPECT_FALSE(Contains(Write(&empty), Name("S") + Bytes({6})));
}

TEST(RoundTrip, PropertyNamesIgnoreCase) {
  std::string bytes = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("i", Bytes({2, 42})) + Bytes({0, 0});
  auto a = Read<TAllTypes>(bytes);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->I, 42);
}

TEST(RoundTrip, UnknownEnumNameKeepsDefault) {
  std::string bytes = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("E", Bytes({6, 6}) + "Purple") + Bytes({0, 0});
  auto a = Read<TAllTypes>(bytes);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->E, 1);
}

TEST(RoundTrip, PCharAppendsToItsFormerContents) {
  // The constructed buffer is kept and the read text is appended to it.
  std::string bytes = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("P", Bytes({6, 2}) + "yz") + Bytes({0, 0});
  auto a = Read<TAllTypes>(bytes);
  ASSERT_TRUE(a);
  EXPECT_STREQ(a->P.get(), "yz");
}

// ---- Lists -------------------------------------------------------------------------

TEST(Lists, StoredStringListKeepsKeysItemsAndOrder) {
  TStoredStrList l;
  l.AddObject("b", new TNode("B", 2));
  l.AddObject("a", new TNode("A", 1));
  l.Add("no object");
  auto back = Read<TStoredStrList>(Write(&l));
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Count(), 3);
  EXPECT_EQ(back->Strings(0), "b");
  EXPECT_EQ(back->Strings(1), "a");
  EXPECT_EQ(static_cast<TNode*>(back->GetObj(0))->Name, "B");
  EXPECT_EQ(static_cast<TNode*>(back->GetObj(1))->Value, 1);
  EXPECT_EQ(back->GetObj(2), nullptr);
}

TEST(Lists, StoredStringListIsARecordWithAListChild) {
  TStoredStrList l;
  l.Add("k");
  std::string expected = "TPF0" + Name("TStoredStrList") + Bytes({0}) +          // root: empty name
                         Bytes({0}) +                                             // no plain property
                         Name("TListContainer") + Name("List") +                 // child "List"
                         PropBytes("ListType", Bytes({2, 1})) +                  // the library's string list
                         PropBytes("ListCount", Bytes({2, 1})) +
                         PropBytes("Strings", Bytes({1, 2, 1, 6, 1}) + "k" + Bytes({0})) +
                         Bytes({0, 0}) +                                          // container: no item
                         Bytes({0});                                              // end of children
  EXPECT_EQ(Write(&l), expected);
}

TEST(Lists, GapsInItemNumbers) {
  TListHolder h;
  h.Nodes.reset(new TList);
  h.Nodes->OwnsObjects = true;
  h.Nodes->Add(new TNode("zero", 0));
  h.Nodes->Add(nullptr);
  h.Nodes->Add(new TNode("two", 2));
  h.Named.reset(new TPlainStringList);
  h.Named->SetOwnsObjects(true);
  h.Named->AddObject("x", new TNode("X", 1));
  h.Named->Add("y");
  h.Named->AddObject("z", new TNode("Z", 3));
  std::string w = Write(&h);
  EXPECT_TRUE(Contains(w, Name("Object_0")));
  EXPECT_FALSE(Contains(w, Name("Object_1") + Name("TNode")));
  EXPECT_TRUE(Contains(w, Name("Object_2")));

  auto back = Read<TListHolder>(w);
  ASSERT_TRUE(back);
  // A pointer list closes the gaps...
  ASSERT_EQ(back->Nodes->Count(), 2);
  EXPECT_EQ(static_cast<TNode*>(back->Nodes->Items(1))->Name, "two");
  // ...a string list keeps its lines and leaves the gap without object.
  ASSERT_EQ(back->Named->Count(), 3);
  EXPECT_EQ(back->Named->Strings(1), "y");
  EXPECT_EQ(back->Named->Objects(1), nullptr);
  EXPECT_EQ(static_cast<TNode*>(back->Named->Objects(2))->Name, "Z");
}

TEST(Lists, StackKeepsItsEntries) {
  TListHolder h;
  h.Stack.reset(new TStack);
  h.Stack->OwnsObjects = true;
  h.Stack->Push(new TNode("bottom", 1));
  h.Stack->Push(new TNode("top", 2));
  auto back = Read<TListHolder>(Write(&h));
  ASSERT_TRUE(back && back->Stack);
  EXPECT_EQ(static_cast<TNode*>(back->Stack->Top())->Name, "top");
  EXPECT_EQ(GetListClassType(back->Stack.get()), lcStack);
}

TEST(Lists, ListClassTypesInOrder) {
  TStoredStrList s;
  TStringList z;
  TPlainStringList p;
  TStack st;
  TList l;
  TNode n;
  EXPECT_EQ(GetListClassType(&s), lcStoredStrList);
  EXPECT_EQ(GetListClassType(&z), lcZrStringList);
  EXPECT_EQ(GetListClassType(&p), lcStringList);
  EXPECT_EQ(GetListClassType(&st), lcStack);
  EXPECT_EQ(GetListClassType(&l), lcList);
  EXPECT_EQ(GetListClassType(&n), lcUserDefine);
  EXPECT_EQ(GetListClassType(nullptr), lcUnknown);
  for (int k = 0; k <= 4; ++k) {
    std::unique_ptr<TObject> made(CreateList(k));
    ASSERT_TRUE(made);
    EXPECT_EQ(GetListClassType(made.get()), k);
  }
  EXPECT_EQ(CreateList(5), nullptr);
  EXPECT_EQ(CreateList(6), nullptr);
}

// ---- Copies ------------------------------------------------------------------------

TEST(Duplicate, DeepCopyHasNewChildren) {
  TNode n("root", 1);
  n.Next.reset(new TNode("child", 2));
  auto copy = Duplicate(n);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.get(), &n);
  ASSERT_TRUE(copy->Next);
  EXPECT_NE(copy->Next.get(), n.Next.get());
  EXPECT_EQ(copy->Next->Name, "child");
  EXPECT_EQ(Write(copy.get()), Write(&n));
}

TEST(Duplicate, StoredListAssignCopiesObjects) {
  TStoredStrList a, b;
  a.AddObject("k", new TNode("N", 5));
  b.Assign(&a);
  ASSERT_EQ(b.Count(), 1);
  EXPECT_NE(b.GetObj(0), a.GetObj(0));  // each list owns its own object
  EXPECT_EQ(static_cast<TNode*>(b.GetObj(0))->Value, 5);
}

TEST(Duplicate, AssignOfUnrelatedClassFails) {
  TNode n;
  TEmpty e;
  EXPECT_THROW(n.Assign(&e), EConvertError);
}

// ---- Random trees --------------------------------------------------------------------

TEST(RoundTrip, RandomTrees) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    TListHolder h;
    h.Named.reset(new TPlainStringList);
    h.Named->SetOwnsObjects(true);
    int items = static_cast<int>(rng() % 8);
    for (int i = 0; i < items; ++i) {
      std::string key(rng() % 20, static_cast<char>('a' + rng() % 26));
      TNode* node = rng() % 4 ? new TNode(std::string(rng() % 300, 'n'), static_cast<int32_t>(rng())) : nullptr;
      TNode* tail = node;
      for (int depth = static_cast<int>(rng() % 5); tail && depth > 0; --depth) {
        tail->Next.reset(new TNode("d" + std::to_string(depth), depth));
        tail = tail->Next.get();
      }
      h.Named->AddObject(key, node);
    }
    std::string w = Write(&h);
    auto back = Read<TListHolder>(w);
    ASSERT_TRUE(back);
    EXPECT_EQ(Write(back.get()), w) << "round " << round;
  }
}

// ---- Bad input -------------------------------------------------------------------------

TEST(BadInput, WrongSignature) {
  TMemoryStream m(std::string("TPF1") + Name("TEmpty") + Bytes({0, 0, 0}));
  EXPECT_THROW(StreamReadObject(m), EReadError);
  TMemoryStream shortOne(std::string("TP"));
  EXPECT_THROW(StreamReadObject(shortOne), EReadError);
}

TEST(BadInput, UnknownClass) {
  TMemoryStream m("TPF0" + Name("TNoSuchClass") + Bytes({0, 0, 0}));
  try {
    StreamReadObject(m);
    FAIL();
  } catch (const EClassNotFound& e) {
    EXPECT_NE(std::string(e.what()).find("TNoSuchClass"), std::string::npos);
  }
}

TEST(BadInput, EveryTruncationFailsCleanly) {
  TAllTypes a;
  a.Lines.reset(new TStringList);
  a.Lines->Add("l");
  a.Child.reset(new TNode("c", 3));
  a.Items.reset(new TStoredStrList);
  a.Items->AddObject("k", new TNode("i", 4));
  std::string w = Write(&a);
  for (size_t n = 0; n < w.size(); ++n) {
    TMemoryStream m(w.substr(0, n));
    EXPECT_THROW(StreamReadObject(m), Exception) << "length " << n;
  }
}

TEST(BadInput, WrongTagForType) {
  // A boolean given as an integer, an integer given as a string.
  std::string b = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("Bo", Bytes({2, 1})) + Bytes({0, 0});
  TMemoryStream m1(b);
  EXPECT_THROW(StreamReadObject(m1), EReadError);
  std::string i = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("I", Bytes({6, 1}) + "1") + Bytes({0, 0});
  TMemoryStream m2(i);
  EXPECT_THROW(StreamReadObject(m2), EReadError);
  std::string set = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("S8", Bytes({2, 1})) + Bytes({0, 0});
  TMemoryStream m3(set);
  EXPECT_THROW(StreamReadObject(m3), EReadError);
  std::string ch = "TPF0" + Name("TAllTypes") + Bytes({0}) + PropBytes("Ch", Bytes({6, 2}) + "ab") + Bytes({0, 0});
  TMemoryStream m4(ch);
  EXPECT_THROW(StreamReadObject(m4), EReadError);
}

TEST(BadInput, HugeLengthFieldsDoNotAllocate) {
  std::string name = "TPF0" + Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + "T";
  TMemoryStream m1(name);
  EXPECT_THROW(StreamReadObject(m1), EReadError);
  std::string str = "TPF0" + Name("TAllTypes") + Bytes({0}) + Name("S") + Bytes({0x0C, 0xFF, 0xFF, 0xFF, 0xFF}) + "x";
  TMemoryStream m2(str);
  EXPECT_THROW(StreamReadObject(m2), EReadError);
  std::string bin = "TPF0" + Name("TAllTypes") + Bytes({0}) + Name("Cp") + Bytes({0x0A, 0xFF, 0xFF, 0xFF, 0xFF}) + "x";
  TMemoryStream m3(bin);
  EXPECT_THROW(StreamReadObject(m3), EReadError);
}

TEST(BadInput, BinaryLongerThanItsFieldIsRejected) {
  std::string bin = "TPF0" + Name("TAllTypes") + Bytes({0}) + Name("S8") + Bytes({0x0A, 2, 0, 0, 0, 1, 2}) + Bytes({0, 0});
  TMemoryStream m(bin);
  EXPECT_THROW(StreamReadObject(m), EReadError);
}

TEST(BadInput, UndeclaredPropertiesAreSkipped) {
  std::string bytes = "TPF0" + Name("TNode") + Bytes({0}) +
                      PropBytes("FromTheFuture", Bytes({1, 2, 5, 6, 1}) + "x" + Bytes({0x0A, 1, 0, 0, 0, 9, 0})) +
                      PropBytes("Value", Bytes({2, 8})) + PropBytes("Later", Bytes({5}) + std::string(10, '\0')) +
                      Bytes({0}) +
                      // an undeclared child record with its own child
                      Name("TNode") + Name("Other") + PropBytes("Name", Bytes({6, 1}) + "o") + Bytes({0}) +
                      Name("TNode") + Name("Next") + Bytes({0, 0}) + Bytes({0}) + Bytes({0});
  auto n = Read<TNode>(bytes);
  ASSERT_TRUE(n);
  EXPECT_EQ(n->Value, 8);
  EXPECT_FALSE(n->Next);
}

TEST(BadInput, ChildOfTheWrongClassIsRejected) {
  // "Next" must hold a TNode.
  std::string bytes = "TPF0" + Name("TNode") + Bytes({0}) + Bytes({0}) + Name("TEmpty") + Name("Next") +
                      Bytes({0, 0}) + Bytes({0});
  TMemoryStream m(bytes);
  EXPECT_THROW(StreamReadObject(m), EReadError);
  // A list of the wrong kind in a stored-string-list field.
  TStoredStrList good;
  std::string w = Write(&good);
  size_t at = w.find(PropBytes("Strings", Bytes({1, 2, 1})));
  ASSERT_NE(at, std::string::npos);
  w[at + Name("Strings").size() + 2] = 4;  // a pointer list
  TMemoryStream m2(w);
  EXPECT_THROW(StreamReadObject(m2), EReadError);
}

TEST(BadInput, DeepNestingIsRefused) {
  std::string bytes = "TPF0";
  for (int i = 0; i < 1000; ++i) bytes += Name("TNode") + Name(i ? "Next" : "") + Bytes({0});
  for (int i = 0; i < 1000; ++i) bytes += Bytes({0});
  TMemoryStream m(bytes);
  EXPECT_THROW(StreamReadObject(m), EReadError);
  // A chain within the limit reads.
  TNode root("r", 1);
  TNode* t = &root;
  for (int i = 0; i < 100; ++i) {
    t->Next.reset(new TNode("n", i));
    t = t->Next.get();
  }
  auto back = Read<TNode>(Write(&root));
  EXPECT_TRUE(back);
}

TEST(BadInput, ItemIndexOutOfRange) {
  TStoredStrList l;
  l.AddObject("k", new TNode("n", 1));
  std::string w = Write(&l);
  size_t at = w.find(Name("Object_0"));
  ASSERT_NE(at, std::string::npos);
  w.replace(at, Name("Object_0").size(), Name("Object_7"));
  TMemoryStream m(w);
  EXPECT_THROW(StreamReadObject(m), EReadError);
}

TEST(BadInput, ReaderLeavesStreamAfterLastByte) {
  TNode n("x", 1);
  std::string w = Write(&n) + "trailing";
  TMemoryStream m(w);
  StreamReadObject(m);
  EXPECT_EQ(m.Position(), static_cast<int64_t>(w.size() - 8));
}

// ---- Older layout ------------------------------------------------------------------------

TEST(OlderLayout, ReadsUntaggedValues) {
  auto raw = [](const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); };
  int32_t i = -7;
  uint8_t real48[6] = {0x81, 0, 0, 0, 0, 0x20};  // 1.25
  double d = 2.5;
  std::string bytes = Name("TAllTypes") + Name("S") + Name("old text") + Name("I") + raw(&i, 4) + Name("E") +
                      Name("Blue") + Name("R") + raw(real48, 6) + Name("D") + raw(&d, 8) + Name("Bo") + Bytes({0}) +
                      Name("P") + Bytes({2, 3}) + "abc" + Name("Lines") + Bytes({2, 1, 1, 6, 2}) + "l1" + Bytes({0}) +
                      Name("Child") + Name("TNode") + Name("Name") + Name("kid") + Bytes({0}) + Bytes({0});
  TMemoryStream m(bytes);
  std::unique_ptr<TBaseObject> obj(StreamReadObjectOld(m));
  auto* a = ObjCast<TAllTypes>(obj.get());
  ASSERT_TRUE(a);
  EXPECT_EQ(a->S, "old text");
  EXPECT_EQ(a->I, -7);
  EXPECT_EQ(a->E, 2);
  EXPECT_DOUBLE_EQ(a->R, 1.25);
  EXPECT_DOUBLE_EQ(a->D, 2.5);
  EXPECT_FALSE(a->Bo);
  EXPECT_STREQ(a->P.get(), "abc");
  ASSERT_TRUE(a->Lines);
  EXPECT_EQ(a->Lines->Strings(0), "l1");
  ASSERT_TRUE(a->Child);
  EXPECT_EQ(static_cast<TNode*>(a->Child.get())->Name, "kid");
  EXPECT_EQ(m.Position(), m.Size());
}

TEST(OlderLayout, StoredListTakesItsListEntry) {
  std::string bytes = Name("TStoredStrList") + Name("List") + Bytes({6, 1}) + "a" + Name("TNode") + Name("Value") +
                      Bytes({9, 0, 0, 0}) + Bytes({0}) + Bytes({6, 1}) + "b" + Bytes({0}) + Bytes({0}) + Bytes({0});
  TMemoryStream m(bytes);
  std::unique_ptr<TBaseObject> obj(StreamReadObjectOld(m));
  auto* l = ObjCast<TStoredStrList>(obj.get());
  ASSERT_TRUE(l);
  ASSERT_EQ(l->Count(), 2);
  EXPECT_EQ(static_cast<TNode*>(l->GetObj(0))->Value, 9);
  EXPECT_EQ(l->Strings(1), "b");
  EXPECT_EQ(l->GetObj(1), nullptr);
}

TEST(OlderLayout, AbsentAndUnknown) {
  TMemoryStream m(Bytes({0}));
  EXPECT_EQ(StreamReadObjectOld(m), nullptr);
  TMemoryStream u(Name("TNode") + Name("Nope") + Bytes({1, 2, 3}));
  EXPECT_THROW(StreamReadObjectOld(u), EReadError);
  TMemoryStream t(Name("TNode") + Name("Value") + Bytes({1, 2}));
  EXPECT_THROW(StreamReadObjectOld(t), EReadError);
}

// ---- Wide strings ------------------------------------------------------------------------

TEST(WideStrings, RoundTripAndStopAtZero) {
  TMemoryStream m;
  StreamWriteAsWideStr(m, "Aé中😀");
  // A, é, 中 one unit each; the emoji two.
  EXPECT_EQ(m.Memory()[0], 5);
  EXPECT_EQ(m.Size(), 2 + 10);
  m.SetPosition(0);
  EXPECT_EQ(StreamReadAsAnsiStr(m), "Aé中😀");
  TMemoryStream z;
  StreamWriteAsWideStr(z, std::string("ab\0cd", 5));
  z.SetPosition(0);
  EXPECT_EQ(StreamReadAsAnsiStr(z), "ab");
  TMemoryStream cut(Bytes({5, 0, 'a', 0}));
  EXPECT_THROW(StreamReadAsAnsiStr(cut), EReadError);
}

TEST(StreamToFileTest, CopiesAndRestoresPosition) {
  TMemoryStream m(std::string("hello"));
  m.SetPosition(3);
  std::string path = kvtest::TempFilePath("objstream", "stream_to_file.bin");
  EXPECT_TRUE(StreamToFile(m, path));
  EXPECT_EQ(m.Position(), 3);
  TMemoryStream back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Bytes(), "hello");
  EXPECT_FALSE(StreamToFile(m, "/nonexistent-folder/x.bin"));
  EXPECT_EQ(m.Position(), 3);
}
