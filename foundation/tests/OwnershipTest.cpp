// Handing owned objects to lists and slots, and the helpers of the stream layout.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "StreamTestClasses.h"
#include "foundation/BaseObject.h"
#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/StringLists.h"

using namespace kv;
using namespace kvtest;

namespace {

// Counts the live instances, so a test sees what was freed and what was not.
class TCounted : public TBaseObject {
public:
  TCounted() { ++live; }
  ~TCounted() override { --live; }
  static inline int live = 0;
};

// A stored list that takes nodes only, as the log list takes log records only.
class TNodesOnly : public TStoredStrList {
public:
  int AddObject(const std::string& key, TBaseObject* obj) override {
    if (obj && !obj->Is<TNode>()) throw EConvertError("not a node");
    return TStoredStrList::AddObject(key, obj);
  }
};

class OwnedAdd : public ::testing::Test {
protected:
  void SetUp() override { TCounted::live = 0; }
};

}  // namespace

// ---- Lists taking owned objects ----------------------------------------------------------

TEST_F(OwnedAdd, OwningStringListKeepsTheObjectUntilItIsFreed) {
  {
    TStringList l;
    EXPECT_EQ(l.AddOwned("a", std::make_unique<TCounted>()), 0);
    EXPECT_EQ(l.AddOwned("b", nullptr), 1);
    EXPECT_EQ(TCounted::live, 1);
    EXPECT_NE(l.Objects(0), nullptr);
    EXPECT_EQ(l.Objects(1), nullptr);
  }
  EXPECT_EQ(TCounted::live, 0);
}

TEST_F(OwnedAdd, RefusedLinesFreeTheirObject) {
  TStringList l;
  l.SetSorted(true);
  l.AddOwned("k", std::make_unique<TCounted>());
  TObject* kept = l.Objects(0);
  // An ignored duplicate: the line keeps its own object, the new one is freed.
  EXPECT_EQ(l.AddOwned("k", std::make_unique<TCounted>()), 0);
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Objects(0), kept);
  EXPECT_EQ(TCounted::live, 1);
  // A refused duplicate: an error, and the new object is freed.
  l.Duplicates = dupError;
  EXPECT_THROW(l.AddOwned("k", std::make_unique<TCounted>()), EListError);
  EXPECT_EQ(TCounted::live, 1);
  // A list that does not own its objects cannot take one.
  TPlainStringList plain;
  EXPECT_THROW(plain.AddOwned("x", std::make_unique<TCounted>()), EListError);
  EXPECT_EQ(plain.Count(), 0);
  EXPECT_EQ(plain.AddOwned("y", nullptr), 0);
  EXPECT_EQ(TCounted::live, 1);
}

TEST_F(OwnedAdd, AFailingChangeHandlerLeavesTheObjectWithTheList) {
  {
    TStringList l;
    l.OnChange = [](TPlainStringList&) { throw EListError("handler failed"); };
    EXPECT_THROW(l.AddOwned("a", std::make_unique<TCounted>()), EListError);
    ASSERT_EQ(l.Count(), 1);
    EXPECT_NE(l.Objects(0), nullptr);
    EXPECT_EQ(TCounted::live, 1);
    l.OnChange = nullptr;
  }
  EXPECT_EQ(TCounted::live, 0);  // freed once, by the list
}

TEST_F(OwnedAdd, PointerListTakesItemsOnlyWhenOwning) {
  {
    TList owning;
    owning.OwnsObjects = true;
    EXPECT_EQ(owning.AddOwned(std::make_unique<TCounted>()), 0);
    TList plain;
    EXPECT_THROW(plain.AddOwned(std::make_unique<TCounted>()), EListError);
    EXPECT_EQ(plain.Count(), 0);
    EXPECT_EQ(TCounted::live, 1);
  }
  EXPECT_EQ(TCounted::live, 0);
}

TEST_F(OwnedAdd, StoredListAddsThroughItsOwnAddObject) {
  TNodesOnly l;
  EXPECT_EQ(l.AddOwned("n", std::make_unique<TNode>("n", 1)), 0);
  EXPECT_THROW(l.AddOwned("c", std::make_unique<TCounted>()), EConvertError);
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(TCounted::live, 0);
}

// ---- Owned casts and slots ---------------------------------------------------------------

TEST_F(OwnedAdd, OwnedCastTakesOnlyTheRightClass) {
  std::unique_ptr<TBaseObject> obj = std::make_unique<TNode>("x", 2);
  EXPECT_EQ(OwnedCast<TStoredStrList>(obj), nullptr);
  ASSERT_NE(obj, nullptr);  // kept where it was
  std::unique_ptr<TNode> node = OwnedCast<TNode>(obj);
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(node->Value, 2);
  std::unique_ptr<TBaseObject> none;
  EXPECT_EQ(OwnedCast<TNode>(none), nullptr);
}

TEST_F(OwnedAdd, SlotsTakeAndGiveUpTheirObject) {
  ObjPtr<TCounted> slot;
  slot = std::make_unique<TCounted>();
  slot = std::make_unique<TCounted>();  // the first one is freed
  EXPECT_EQ(TCounted::live, 1);
  std::unique_ptr<TCounted> out = slot.Extract();
  EXPECT_FALSE(slot);
  EXPECT_EQ(TCounted::live, 1);
  TObjSlot any(TObject::StaticClass());
  any.Take(std::move(out));
  EXPECT_NE(any.Get(), nullptr);
  any.Take(nullptr);
  EXPECT_EQ(TCounted::live, 0);
}

// ---- Stream layout helpers -----------------------------------------------------------------

struct EnumNamesCase {
  const char* names;
  std::vector<std::string_view> parts;
};

class EnumNames : public ::testing::TestWithParam<EnumNamesCase> {};

TEST_P(EnumNames, SplitAtEveryComma) { EXPECT_EQ(SplitEnumNames(GetParam().names), GetParam().parts); }

INSTANTIATE_TEST_SUITE_P(Lists, EnumNames,
                         ::testing::Values(EnumNamesCase{nullptr, {""}}, EnumNamesCase{"", {""}},
                                           EnumNamesCase{"Red", {"Red"}},
                                           EnumNamesCase{"Red,Green,Blue", {"Red", "Green", "Blue"}},
                                           EnumNamesCase{"a,,b", {"a", "", "b"}}, EnumNamesCase{"a,", {"a", ""}},
                                           EnumNamesCase{",a", {"", "a"}}));

// An enumeration stored by name: a name the reader does not know keeps the
// default, and an ordinal past the names is stored as the last name.
TEST(EnumValues, UnknownNamesAndOrdinals) {
  TAllTypes a;
  a.E = 7;
  TMemoryStream m;
  StreamWriteObject(m, &a);
  std::string bytes = m.Bytes();
  std::string stored = Name("E") + Bytes({vaString, 4}) + "Blue";
  ASSERT_NE(bytes.find(stored), std::string::npos);
  std::string unknown = bytes;
  unknown.replace(unknown.find(stored), stored.size(), Name("E") + Bytes({vaString, 4}) + "Pink");
  TMemoryStream u(unknown);
  std::unique_ptr<TBaseObject> back = StreamReadObject(u);
  ASSERT_TRUE(ObjCast<TAllTypes>(back.get()));
  EXPECT_EQ(ObjCast<TAllTypes>(back.get())->E, TAllTypes().E);
}

// An old-layout item list in a string-list property is refused, and the
// objects read into it are freed with it.
TEST(OlderLayoutLists, RefusedItemListFreesItsItems) {
  std::string bytes = Name("TAllTypes") + Name("Lines") + Bytes({vaInt8, lcList, vaList}) + Name("TNode") +
                      Name("Value") + Bytes({9, 0, 0, 0}) + Bytes({0}) + Bytes({0});
  TMemoryStream m(bytes);
  try {
    StreamReadObjectOld(m);
    FAIL() << "read a pointer list into a string list";
  } catch (const EReadError& e) {
    EXPECT_NE(std::string(e.what()).find("Invalid list type TList"), std::string::npos) << e.what();
  }
}

TEST(ListContainer, TakesNothingWhenNothingWasRead) {
  TListContainer c;
  EXPECT_EQ(c.TakeList(), nullptr);
  TStringList borrowed;
  TListContainer writing(&borrowed);
  EXPECT_EQ(writing.TakeList(), nullptr);  // a list it only wraps is not handed out
}
