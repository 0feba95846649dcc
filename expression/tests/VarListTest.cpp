// Variable lists: upper-cased keys, case-insensitive lookups, parent chains.
#include <gtest/gtest.h>

#include <memory>

#include "expression/ThreadExp.h"
#include "expression/VarList.h"

namespace kv {
namespace {

TEST(VarLists, NamesIgnoreLetterCase) {
  TVarList list;
  list.SetVarExp("price", CreateIntExp(5));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Strings(0), "PRICE");
  ASSERT_NE(list.GetVarExp("PRICE"), nullptr);
  ASSERT_NE(list.GetVarExp("Price"), nullptr);
  EXPECT_EQ(list.GetVarExp("price")->GetInteger(), 5);
  EXPECT_EQ(list.GetVarExp("prices"), nullptr);
}

TEST(VarLists, SetVarExpReplacesAndRemoves) {
  TVarList list;
  list.SetVarExp("a", CreateIntExp(1));
  TExpression* first = list.GetVarExp("a");
  list.SetVarExp("A", first);  // the same node: nothing changes
  EXPECT_EQ(list.GetVarExp("a"), first);
  list.SetVarExp("a", CreateIntExp(2));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetVarExp("a")->GetInteger(), 2);
  list.SetVarExp("a", nullptr);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.GetVarExp("a"), nullptr);
  list.SetVarExp("nothing", nullptr);
  EXPECT_EQ(list.Count(), 0);
}

TEST(VarLists, ParentChain) {
  std::unique_ptr<TVarList> parent = CreateVarList(nullptr);
  std::unique_ptr<TVarList> child = CreateVarList(parent.get());
  EXPECT_TRUE(VarListParentEnabled(child.get()));
  EXPECT_EQ(GetVarListParent(child.get()), parent.get());
  parent->SetVarExp("total", CreateIntExp(10));
  ASSERT_NE(child->GetVarExp("TOTAL"), nullptr);
  EnableVarListParent(child.get(), false);
  EXPECT_EQ(child->GetVarExp("total"), nullptr);
  EnableVarListParent(child.get(), true);

  // Setting a name that only the parent has adds it to the child.
  child->SetVarExp("total", CreateIntExp(20));
  EXPECT_EQ(child->Count(), 1);
  EXPECT_EQ(parent->GetVarExp("total")->GetInteger(), 10);
  EXPECT_EQ(child->GetVarExp("total")->GetInteger(), 20);

  SetVarListParent(child.get(), nullptr);
  EXPECT_EQ(GetVarListParent(child.get()), nullptr);
}

TEST(VarLists, ALoopOfParentsEndsTheLookup) {
  std::unique_ptr<TVarList> a = CreateVarList(nullptr);
  std::unique_ptr<TVarList> b = CreateVarList(a.get());
  a->SetVarListParent(b.get());
  EXPECT_EQ(a->GetVarExp("missing"), nullptr);
}

TEST(VarLists, NewListsDoNotFollowTheirParentUntilEnabled) {
  TVarList parent;
  parent.SetVarExp("x", CreateIntExp(1));
  TVarList child;
  child.SetVarListParent(&parent);
  EXPECT_FALSE(child.ParentEnabled());
  EXPECT_EQ(child.GetVarExp("x"), nullptr);
}

TEST(VarLists, FreeFunctions) {
  TVarList* list = CreateVarList(nullptr).release();
  SetVarExp(list, "v", CreateIntExp(3).release());
  EXPECT_EQ(GetVarExp(list, "V")->GetInteger(), 3);
  FreeVarList(list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(GetVarExp(nullptr, "v"), nullptr);
  SetVarExp(nullptr, "v", CreateIntExp(3).release());  // freed, not leaked
}

TEST(VarLists, FreeingTheTranslatorsListFallsBackToItsParent) {
  CreatePubVarList();
  TVarList* pub = GetPubVarList();
  auto mine = CreateVarList(pub);
  SetVarList(mine.get());
  EXPECT_EQ(GetVarList(), mine.get());
  mine.reset();
  EXPECT_EQ(GetVarList(), pub);
}

TEST(VarLists, PublicListHoldsYesAndNo) {
  CreatePubVarList();
  TVarList* pub = GetPubVarList();
  ASSERT_NE(pub, nullptr);
  ASSERT_NE(pub->GetVarExp("yes"), nullptr);
  EXPECT_EQ(pub->GetVarExp("YES")->DataType, etBoolean);
  EXPECT_TRUE(pub->GetVarExp("YES")->GetBoolean());
  EXPECT_FALSE(pub->GetVarExp("NO")->GetBoolean());
  EXPECT_EQ(GetTranslator()->VarList, pub);
}

}  // namespace
}  // namespace kv
