// Stacks, the queue, linked nodes, both tree forms and object files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Containers.h"
#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"
#include "foundation/ObjectStream.h"
#include "foundation/Trees.h"
#include "testsupport/Errors.h"
#include "testsupport/TempFiles.h"

using namespace kv;

namespace {

std::string TempPath(const std::string& name) { return kvtest::TempFilePath("containers", name); }

template <class T>
std::unique_ptr<T> RoundTrip(const TBaseObject& obj) {
  TMemoryStream m;
  StreamWriteObject(m, &obj);
  m.SetPosition(0);
  std::unique_ptr<TBaseObject> back(StreamReadObject(m));
  T* typed = ObjCast<T>(back.get());
  if (typed) back.release();
  return std::unique_ptr<T>(typed);
}

// A persistent item to hold in containers.
class TItem : public TBaseObject {
  KV_CLASS(TItem, TBaseObject)
public:
  TItem() = default;
  explicit TItem(int v) : V(v) {}
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<ptInteger>(proc, param, V, "V");
  }
  int32_t V = 0;
};
KV_IMPLEMENT_CLASS(TItem, TBaseObject)
const TClassRegistrar g_items{TItem::StaticClass()};

void Marker() {}

// ---- tree helpers --------------------------------------------------------------

std::vector<std::string> ChildNames(TTreeStructure* n) {
  std::vector<std::string> names;
  if (!n->LeftChild) return names;
  for (int i = 0; i < n->GetChildCount(); ++i) names.push_back(n->GetChild(i)->Name);
  return names;
}

std::vector<std::string> ChildNames(const TTreeObj* n) {
  std::vector<std::string> names;
  for (int i = 0; i < n->GetChildCount(); ++i) names.push_back(n->GetChild(i)->Name);
  return names;
}

// Back links of a first-child / next-sibling tree agree with its owned links.
void ExpectStructureLinks(TTreeStructure* n) {
  TTreeStructure* prev = nullptr;
  for (TTreeStructure* c = n->LeftChild.get(); c; c = c->RightChild.get()) {
    EXPECT_EQ(c->GetParent(), n) << c->Name;
    EXPECT_EQ(c->GetLastBrother(), prev) << c->Name;
    ExpectStructureLinks(c);
    prev = c;
  }
}

// What TTree::TreeLinked must produce, computed independently: the post
// order of the (child, brother) binary tree, each node's child thread to
// its predecessor, each brother thread to its successor, the head at both ends.
void ExpectThreads(const TTree& tree) {
  TTreeObj* head = tree.Head();
  std::vector<TTreeObj*> order;
  std::vector<std::pair<TTreeObj*, bool>> st;
  if (tree.GetRoot()) st.push_back({tree.GetRoot(), false});
  while (!st.empty()) {
    auto [n, expanded] = st.back();
    st.pop_back();
    if (expanded) {
      order.push_back(n);
      continue;
    }
    st.push_back({n, true});
    if (n->BrotherTag() == kLinkTag) st.push_back({n->BrotherLink(), false});
    if (n->ChildTag() == kLinkTag) st.push_back({n->ChildLink(), false});
  }
  ASSERT_EQ(head->ChildTag(), kLinkTag);
  if (order.empty()) {
    EXPECT_EQ(head->ChildLink(), head);
    return;
  }
  EXPECT_EQ(head->ChildLink(), tree.GetRoot());
  for (size_t i = 0; i < order.size(); ++i) {
    TTreeObj* n = order[i];
    TTreeObj* pred = i == 0 ? head : order[i - 1];
    TTreeObj* succ = i + 1 == order.size() ? head : order[i + 1];
    if (n->ChildTag() == kThreadTag) {
      EXPECT_EQ(n->ChildLink(), pred) << n->Name;
    }
    if (n->BrotherTag() == kThreadTag) {
      EXPECT_EQ(n->BrotherLink(), succ) << n->Name;
    }
    for (int c = 0; c < n->GetChildCount(); ++c) EXPECT_EQ(n->GetChild(c)->GetParent(), n) << n->Name;
  }
  EXPECT_EQ(head->BrotherTag(), kThreadTag);
  EXPECT_EQ(head->BrotherLink(), order.back());
}

}  // namespace

// ---- Stacks and queue ------------------------------------------------------------------

TEST(Stacks, PushPopAndTopOnBothStacks) {
  TStack s;
  TStackLink l;
  TItem a(1), b(2);
  s.Push(&a);
  s.Push(&b);
  l.Push(&a);
  l.Push(&b);
  EXPECT_EQ(s.GetTopIndex(), 1);
  EXPECT_EQ(l.GetTopIndex(), 1);
  EXPECT_EQ(s.GetTopObj(), &b);
  s.SetTopObj(&a);
  EXPECT_EQ(s.Pop(), &a);
  EXPECT_EQ(l.Pop(), &b);
  EXPECT_EQ(s.Pop(), &a);
  EXPECT_TRUE(s.Empty());
  EXPECT_FALSE(l.Empty());
}

TEST(Stacks, EmptyStacksRaiseTheirMessages) {
  TStack s;
  TStackLink l;
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { s.Pop(); }), "栈弹出失败(栈空)");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { l.Pop(); }), "栈弹出失败(栈空)");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { s.GetTopIndex(); }), "栈空");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { s.GetTopObj(); }), "栈空");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { l.SetTopObj(nullptr); }), "栈空");
  EXPECT_EQ(s.Top(), nullptr);
}

TEST(Stacks, MethodRoundTripLeavesTheStackAsBefore) {
  TStack s;
  TItem below(7);
  s.Push(&below);
  TItem target(1);
  TMethod m{reinterpret_cast<void*>(&Marker), &target};
  s.PushMethod(m);
  EXPECT_EQ(s.Count(), 3);
  EXPECT_EQ(s.PopMethod(), m);
  EXPECT_EQ(s.Count(), 1);
  EXPECT_EQ(s.GetTopObj(), &below);
  // A lone entry is not a method: nothing is taken.
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { s.PopMethod(); }), "栈弹出失败(栈空)");
  EXPECT_EQ(s.Count(), 1);
}

TEST(Stacks, OwningStackRefusesMethods) {
  TStackLink l;
  l.OwnsObjects = true;
  EXPECT_THROW(l.PushMethod(TMethod{}), EListError);
  EXPECT_TRUE(l.Empty());
}

TEST(Queue, FrontAndRear) {
  TMyQueue q;
  TItem a(1), b(2), c(3);
  q.EnQueue(&a);
  EXPECT_EQ(q.GetFrontIndex(), 0);
  EXPECT_EQ(q.GetRearIndex(), 0);
  q.EnQueue(&b);
  q.EnQueue(&c);
  EXPECT_EQ(q.GetRearIndex(), 2);
  EXPECT_EQ(q.GetFront(), &a);
  EXPECT_EQ(q.GetRear(), &c);
  q.SetRear(&a);
  q.SetFront(&c);
  EXPECT_EQ(q.DelHeadQueue(), &c);
  EXPECT_EQ(q.DelHeadQueue(), &b);
  EXPECT_EQ(q.DelHeadQueue(), &a);
  EXPECT_TRUE(q.Empty());
}

TEST(Queue, EmptyQueueRaisesItsMessages) {
  TMyQueue q;
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { q.GetFrontIndex(); }), "队空");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { q.GetRearIndex(); }), "队空");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { q.GetFront(); }), "队空");
  EXPECT_EQ(kvtest::ErrorOf<EListError>([&] { q.DelHeadQueue(); }), "删除队头失败(队空)");
}

// ---- Linked nodes -------------------------------------------------------------------------

TEST(LinkedList, InsertKeepsTheRestAndBackLinks) {
  TLinkDataStructure list;
  EXPECT_TRUE(list.Empty());
  EXPECT_EQ(list.Root()->Name, "根接点");
  auto* a = new TLinkStructure("a");
  auto* c = new TLinkStructure("c");
  list.InsertNode(a);
  list.InsertNode(c);
  EXPECT_EQ(list.Cursor(), c);
  list.Locate(a);
  auto* b = new TLinkStructure("b");
  list.InsertNode(b);  // between a and c
  EXPECT_EQ(a->GetNext(), b);
  EXPECT_EQ(b->GetNext(), c);
  EXPECT_EQ(c->GetPrev(), b);
  EXPECT_EQ(b->GetPrev(), a);
  EXPECT_EQ(a->GetPrev(), list.Root());
  EXPECT_FALSE(list.Empty());
}

TEST(LinkedList, CursorOperations) {
  TLinkDataStructure list;
  std::vector<TLinkStructure*> nodes;
  for (int i = 0; i < 5; ++i) {
    nodes.push_back(new TLinkStructure("n" + std::to_string(i)));
    list.InsertNode(nodes.back());
  }
  EXPECT_EQ(list.Locate(nodes[2]), 3);
  EXPECT_EQ(list.Cursor(), nodes[2]);
  EXPECT_EQ(list.Length(), 2);  // n3, n4 after the cursor
  EXPECT_EQ(list.Cursor(), nodes[4]);
  EXPECT_EQ(list.Length(), 0);
  list.ResetCursor();
  EXPECT_EQ(list.GetNode(2), nodes[1]);
  EXPECT_EQ(list.GetNode(100), nodes[4]);  // stops at the last
  TLinkStructure stranger("x");
  EXPECT_EQ(list.Locate(&stranger), 5);  // not in the chain: the last node
  EXPECT_EQ(list.Cursor(), nodes[4]);
}

TEST(LinkedList, DeleteNodeUnlinksAndGuardsTheRoot) {
  TLinkDataStructure list;
  auto* a = new TLinkStructure("a");
  auto* b = new TLinkStructure("b");
  auto* c = new TLinkStructure("c");
  list.InsertNode(a);
  list.InsertNode(b);
  list.InsertNode(c);
  list.Locate(b);
  list.DeleteNode(b);  // the cursor steps back to a
  EXPECT_EQ(list.Cursor(), a);
  EXPECT_EQ(a->GetNext(), c);
  EXPECT_EQ(c->GetPrev(), a);
  list.DeleteNode(c);  // not the cursor: unlinked all the same
  EXPECT_EQ(a->GetNext(), nullptr);
  EXPECT_EQ(kvtest::ErrorOf<Exception>([&] { list.DeleteNode(list.Root()); }), "不能删除跟接点\r\n\n");
  list.DeleteNode(new TLinkStructure("free"));  // a free node is just freed
  TLinkDataStructure other;
  auto* foreign = new TLinkStructure("f");
  other.InsertNode(foreign);
  EXPECT_THROW(list.DeleteNode(foreign), EListError);
  EXPECT_EQ(other.Root()->GetNext(), foreign);
}

TEST(LinkedList, PersistsAsNestedRecords) {
  TLinkDataStructure list;
  list.InsertNode(new TLinkStructure("one"));
  list.InsertNode(new TCircleLink("two"));
  list.InsertNode(new TLinkStructure(""));
  auto back = RoundTrip<TLinkDataStructure>(list);
  ASSERT_TRUE(back);
  TLinkStructure* r = back->Root();
  EXPECT_EQ(r->Name, "根接点");
  EXPECT_EQ(back->Cursor(), r);
  ASSERT_TRUE(r->GetNext() && r->GetNext()->GetNext() && r->GetNext()->GetNext()->GetNext());
  EXPECT_EQ(r->GetNext()->Name, "one");
  EXPECT_TRUE(r->GetNext()->GetNext()->Is<TCircleLink>());
  EXPECT_EQ(r->GetNext()->GetNext()->GetPrev(), r->GetNext());
  EXPECT_EQ(r->Last()->Name, "");
  EXPECT_EQ(back->Locate(r->Last()), 3);
}

TEST(LinkedList, LongestStorableChain) {
  // The list record plus its root and 254 nodes: 256 nested records.
  TLinkDataStructure list;
  for (int i = 0; i < kMaxObjectDepth - 2; ++i) list.InsertNode(new TLinkStructure("n"));
  auto back = RoundTrip<TLinkDataStructure>(list);
  ASSERT_TRUE(back);
  back->ResetCursor();
  EXPECT_EQ(back->Length(), kMaxObjectDepth - 2);
  // One more cannot be stored, and says why.
  list.InsertNode(new TLinkStructure("n"));
  TMemoryStream m;
  try {
    StreamWriteObject(m, &list);
    FAIL() << "a chain deeper than the nesting limit was stored";
  } catch (const EWriteError& e) {
    EXPECT_NE(e.Message().find("256"), std::string::npos) << e.Message();
  }
}

TEST(LinkedList, HundredThousandNodesAreFreedAndRefusedWithoutOverflow) {
  auto list = std::make_unique<TLinkDataStructure>();
  for (int i = 0; i < 100000; ++i) list->InsertNode(new TLinkStructure("n"));
  TMemoryStream m;
  EXPECT_THROW(StreamWriteObject(m, list.get()), EWriteError);
  EXPECT_THROW(StreamWriteObject(m, list->Root()), EWriteError);
  list->ResetCursor();
  EXPECT_EQ(list->Length(), 100000);
  list.reset();  // frees the chain without recursion
}

// ---- First-child / next-sibling tree ---------------------------------------------------------

TEST(TreeStructure, ChildrenAndSiblings) {
  TTreeStructure root;
  EXPECT_EQ(root.Name, "树根");
  EXPECT_EQ(root.GetChild(0), &root);  // no child: the node itself
  auto* a = new TTreeStructure("a");
  auto* c = new TTreeStructure("c");
  root.AddChild(a);
  root.AddChild(c);
  a->InsertChild(new TTreeStructure("b"));  // between a and c: c is kept
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"a", "b", "c"}));
  c->InsertChild(new TTreeStructure("d"));  // after the last sibling
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(root.GetChild(99)->Name, "d");
  EXPECT_EQ(c->GetLastBrother()->Name, "b");
  EXPECT_EQ(a->GetLastBrother(), nullptr);
  EXPECT_EQ(a->GetNextBrother()->Name, "b");
  ExpectStructureLinks(&root);
}

TEST(TreeStructure, SetChildReplacesInPlace) {
  TTreeStructure root;
  for (const char* n : {"a", "b", "c"}) root.AddChild(new TTreeStructure(n));
  root.GetChild(1)->AddChild(new TTreeStructure("under-b"));
  root.SetChild(1, new TTreeStructure("B"));
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"a", "B", "c"}));
  EXPECT_EQ(root.GetChild(1)->GetChildCount(), 0);
  root.SetChild(0, new TTreeStructure("A"));
  root.SetChild(2, new TTreeStructure("C"));
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"A", "B", "C"}));
  ExpectStructureLinks(&root);

  auto* spare = new TTreeStructure("spare");
  EXPECT_EQ(kvtest::ErrorOf<Exception>([&] { root.SetChild(3, spare); }), "此结点不存在\r\n\n");
  EXPECT_EQ(kvtest::ErrorOf<Exception>([&] { root.SetChild(-1, spare); }), "此结点不存在\r\n\n");
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"A", "B", "C"}));
  delete spare;
  // A node already in the tree, or the node itself, is refused.
  EXPECT_THROW(root.SetChild(0, root.GetChild(1)), EListError);
  EXPECT_THROW(root.GetChild(0)->AddChild(&root), EListError);
}

TEST(TreeStructure, DeleteKeepsLaterSiblings) {
  TTreeStructure root;
  for (const char* n : {"a", "b", "c"}) root.AddChild(new TTreeStructure(n));
  root.GetChild(0)->Delete();
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"b", "c"}));
  root.GetChild(1)->Delete();
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"b"}));
  ExpectStructureLinks(&root);
  root.GetChild(0)->Delete();
  EXPECT_EQ(root.GetChildCount(), 0);
}

TEST(TreeStructure, PersistsAsLeftAndRightChildRecords) {
  TTreeStructure root;
  auto* a = new TTreeStructure("a");
  root.AddChild(a);
  root.AddChild(new TTreeStructure(""));
  a->AddChild(new TTreeStructure("a1"));
  TMemoryStream m;
  StreamWriteObject(m, &root);
  std::string bytes = m.Bytes();
  EXPECT_NE(bytes.find("LeftChild"), std::string::npos);
  EXPECT_NE(bytes.find("RightChild"), std::string::npos);
  auto back = RoundTrip<TTreeStructure>(root);
  ASSERT_TRUE(back);
  EXPECT_EQ(ChildNames(back.get()), (std::vector<std::string>{"a", ""}));  // an empty name stays empty
  EXPECT_EQ(back->GetChild(0)->GetChild(0)->Name, "a1");
  ExpectStructureLinks(back.get());
}

TEST(TreeStructure, TooManySiblingsToStore) {
  // Every sibling nests one level deeper, so 300 children are too many.
  TTreeStructure root;
  for (int i = 0; i < 300; ++i) root.AddChild(new TTreeStructure("c"));
  TMemoryStream m;
  try {
    StreamWriteObject(m, &root);
    FAIL() << "300 siblings were stored";
  } catch (const EWriteError& e) {
    EXPECT_NE(e.Message().find("nested records"), std::string::npos) << e.Message();
  }
  // Refused at the first record: none of the children was written.
  EXPECT_EQ(m.Bytes().find("RightChild"), std::string::npos);
}

TEST(TreeStructure, DeepTreeIsFreedWithoutRecursion) {
  auto root = std::make_unique<TTreeStructure>();
  TTreeStructure* n = root.get();
  for (int i = 0; i < 100000; ++i) {
    auto* c = new TTreeStructure("c");
    n->AddChild(c);
    n->InsertChild(new TTreeStructure("s"));
    n = c;
  }
  root.reset();
}

// ---- Threaded tree ---------------------------------------------------------------------------

TEST(TreeObj, NewNodeAndTwoChildren) {
  TTreeObj top("top");
  EXPECT_EQ(top.GetChildCount(), 0);
  EXPECT_EQ(top.ChildTag(), kThreadTag);
  EXPECT_EQ(top.BrotherTag(), kThreadTag);
  auto* first = new TTreeObj("first");
  auto* second = new TTreeObj("second");
  top.AddChild(first);
  top.AddChild(second);
  EXPECT_EQ(top.GetChild(1), second);
  EXPECT_EQ(second->GetFullName(), "second\\top");
  EXPECT_EQ(top.ChildTag(), kLinkTag);
  EXPECT_EQ(first->BrotherTag(), kLinkTag);
  EXPECT_EQ(second->BrotherTag(), kThreadTag);
  EXPECT_THROW(top.GetChild(2), EListError);
}

TEST(TreeObj, InsertDeleteAndRanges) {
  TTreeObj top("top");
  for (const char* n : {"a", "c"}) top.AddChild(new TTreeObj(n));
  top.InsertChild(1, new TTreeObj("b"));
  top.InsertChild(0, new TTreeObj("0"));
  EXPECT_EQ(ChildNames(&top), (std::vector<std::string>{"0", "a", "b", "c"}));
  auto* spare = new TTreeObj("x");
  EXPECT_THROW(top.InsertChild(5, spare), EListError);
  EXPECT_THROW(top.InsertChild(-1, spare), EListError);
  EXPECT_THROW(top.DeleteChild(4), EListError);
  top.DeleteChild(0);
  top.DeleteChild(1);
  EXPECT_EQ(ChildNames(&top), (std::vector<std::string>{"a", "c"}));
  top.SetChild(1, spare);
  EXPECT_EQ(ChildNames(&top), (std::vector<std::string>{"a", "x"}));
  EXPECT_EQ(spare->GetParent(), &top);
  auto* other = new TTreeObj("y");
  EXPECT_EQ(kvtest::ErrorOf<Exception>([&] { top.SetChild(2, other); }), "此结点不存在\r\n\n");
  delete other;
  EXPECT_EQ(top.IndexOf(spare), 1);
  top.GetChild(0)->Delete();
  EXPECT_EQ(ChildNames(&top), (std::vector<std::string>{"x"}));
  top.Clear();
  EXPECT_EQ(top.GetChildCount(), 0);
  EXPECT_EQ(top.IndexOf(spare), -1);
}

TEST(TreeObj, SearchesAndIdentifiers) {
  TTreeObj top("top");
  auto* a = new TTreeObj("a");
  auto* b = new TTreeObj("b");
  top.AddChild(a);
  top.AddChild(b);
  auto* deep = new TTreeObj("deep");
  b->AddChild(new TTreeObj("b0"));
  b->GetChild(0)->AddChild(deep);
  deep->SetID(7, 8);
  a->SetID(1, 2);
  top.SetID(3, 4);
  EXPECT_EQ(top.FindChildByID(7, 8), deep);  // at any depth
  EXPECT_EQ(top.FindChildByID(3, 4), &top);
  EXPECT_EQ(top.FindChildByID(9, 9), nullptr);
  EXPECT_EQ(a->FindChildByID(7, 8), nullptr);  // not below a
  EXPECT_TRUE(top.FindChild(deep));
  EXPECT_FALSE(a->FindChild(b));  // a sibling is not below a
  EXPECT_FALSE(deep->UpdateID(7, 8));
  EXPECT_TRUE(deep->UpdateID(7, 9));
  EXPECT_EQ(deep->GetFullName(), "deep\\b0\\b\\top");
  EXPECT_EQ(TTreeObj::First(&top), a);
}

TEST(TreeObj, AssignCopiesTheNameOnly) {
  TTreeObj src("src");
  src.AddChild(new TTreeObj("kid"));
  src.SetID(1, 1);
  TTreeObj dst("dst");
  dst.Assign(&src);
  EXPECT_EQ(dst.Name, "src");
  EXPECT_EQ(dst.GetChildCount(), 0);
  EXPECT_EQ(dst.ID1, 0);
}

TEST(Tree, ThreadingAnEmptyAndASmallTree) {
  TTree tree;
  tree.TreeLinked();
  EXPECT_TRUE(tree.Threaded());
  EXPECT_EQ(tree.Head()->Name, "头结点");
  EXPECT_EQ(tree.Head()->ChildLink(), tree.Head());
  EXPECT_EQ(tree.Head()->BrotherLink(), tree.Head());

  auto* root = new TTreeObj("r");
  EXPECT_EQ(tree.SetRoot(root), nullptr);
  auto* a = new TTreeObj("a");
  auto* b = new TTreeObj("b");
  root->AddChild(a);
  root->AddChild(b);
  a->AddChild(new TTreeObj("a0"));
  // Post order: a0, b, a, r. Threads are kept up by every change.
  TTreeObj* a0 = a->GetChild(0);
  EXPECT_EQ(a0->ChildLink(), tree.Head());
  EXPECT_EQ(a0->BrotherLink(), b);
  EXPECT_EQ(b->ChildLink(), a0);
  EXPECT_EQ(b->BrotherLink(), a);
  EXPECT_EQ(a->BrotherTag(), kLinkTag);
  EXPECT_EQ(root->BrotherLink(), tree.Head());
  EXPECT_EQ(tree.Head()->BrotherLink(), root);
  ExpectThreads(tree);
}

TEST(Tree, ThreadsAndParentsAfterInsertsAndDeletes) {
  TTree tree;
  tree.SetRoot(new TTreeObj("root"));
  tree.TreeLinked();
  TTreeObj* root = tree.GetRoot();
  // Grow a tree of a few levels in a fixed pseudo-random pattern, checking
  // every step against an independent computation of the threads.
  unsigned seed = 12345;
  auto next = [&seed](unsigned mod) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % mod;
  };
  std::vector<TTreeObj*> nodes{root};
  for (int step = 0; step < 60; ++step) {
    TTreeObj* parent = nodes[next(static_cast<unsigned>(nodes.size()))];
    auto* n = new TTreeObj("n" + std::to_string(step));
    parent->InsertChild(static_cast<int>(next(static_cast<unsigned>(parent->GetChildCount()) + 1)), n);
    nodes.push_back(n);
    ExpectThreads(tree);
  }
  for (int step = 0; step < 20; ++step) {
    TTreeObj* parent = nodes[next(static_cast<unsigned>(nodes.size()))];
    if (parent->GetChildCount() == 0) continue;
    int i = static_cast<int>(next(static_cast<unsigned>(parent->GetChildCount())));
    TTreeObj* gone = parent->GetChild(i);
    // Forget the freed subtree's nodes.
    std::vector<TTreeObj*> kept;
    for (TTreeObj* x : nodes)
      if (!gone->FindChild(x)) kept.push_back(x);
    nodes.swap(kept);
    parent->DeleteChild(i);
    ExpectThreads(tree);
  }
}

TEST(Tree, SelectionAndRootReplacement) {
  TTree tree;
  auto* root = new TTreeObj("root");
  tree.SetRoot(root);
  auto* a = new TTreeObj("a");
  auto* b = new TTreeObj("b");
  root->AddChild(a);
  root->AddChild(b);
  tree.SetSelNode(b);
  EXPECT_EQ(root->CurIndex, 1);
  EXPECT_EQ(tree.GetSelNode(), b);
  root->DeleteChild(1);  // the selected node goes: the selection is forgotten
  EXPECT_EQ(tree.GetSelNode(), nullptr);
  tree.SetSelNode(root);
  EXPECT_EQ(root->CurIndex, -1);
  // The previous root is handed back, not freed.
  tree.TreeLinked();
  std::unique_ptr<TTreeObj> old(tree.SetRoot(new TTreeObj("new")));
  EXPECT_EQ(old.get(), root);
  EXPECT_EQ(old->ChildLink(), a);
  EXPECT_EQ(a->ChildLink(), nullptr);  // no thread into the tree it left
  EXPECT_EQ(tree.GetSelNode(), nullptr);
  ExpectThreads(tree);
  // A node of the tree cannot become a child elsewhere.
  EXPECT_THROW(old->AddChild(tree.GetRoot()), EListError);
}

TEST(Tree, PersistsAsNestedRecords) {
  TTree tree;
  auto* root = new TTreeObj("root");
  tree.SetRoot(root);
  for (const char* n : {"a", "b", "c"}) root->AddChild(new TTreeObj(n));
  root->GetChild(1)->AddChild(new TTreeObj("b0"));
  root->GetChild(1)->Data.reset(new TItem(42));
  tree.TreeLinked();  // threads are not stored
  auto back = RoundTrip<TTree>(tree);
  ASSERT_TRUE(back && back->GetRoot());
  TTreeObj* r = back->GetRoot();
  EXPECT_EQ(ChildNames(r), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(r->GetChild(1)->GetChild(0)->GetFullName(), "b0\\b\\root");
  auto* item = ObjCast<TItem>(r->GetChild(1)->Data.get());
  ASSERT_TRUE(item);
  EXPECT_EQ(item->V, 42);
  EXPECT_FALSE(back->Threaded());
  EXPECT_EQ(r->GetChild(0)->ChildLink(), nullptr);
  back->TreeLinked();
  ExpectThreads(*back);
}

TEST(Tree, TooDeepToStoreAndFreedWithoutRecursion) {
  auto tree = std::make_unique<TTree>();
  tree->SetRoot(new TTreeObj("root"));
  TTreeObj* n = tree->GetRoot();
  for (int i = 0; i < 100000; ++i) {
    auto* c = new TTreeObj("c");
    n->AddChild(c);
    n = c;
  }
  tree->TreeLinked();
  EXPECT_EQ(TTreeObj::First(tree->GetRoot()), n);
  EXPECT_EQ(n->ChildLink(), tree->Head());  // the first in post order
  TMemoryStream m;
  EXPECT_THROW(StreamWriteObject(m, tree.get()), EWriteError);
  tree.reset();
}

// ---- Object files ------------------------------------------------------------------------------

TEST(LibFile, WriteSaveAndRead) {
  TLinkDataStructure list;
  list.InsertNode(new TLinkStructure("x"));
  std::string p1 = TempPath("libfile-write.obj");
  std::string p2 = TempPath("libfile-save.obj");
  TLibFile::WriteObject(p1, &list);
  TLibFile::SaveObject(p2, &list);
  for (const std::string& p : {p1, p2}) {
    std::unique_ptr<TBaseObject> back(TLibFile::ReadObj(p));
    auto* l = ObjCast<TLinkDataStructure>(back.get());
    ASSERT_TRUE(l);
    EXPECT_EQ(l->Root()->GetNext()->Name, "x");
  }
}

TEST(LibFile, ReadErrorsCarryTheMessagePrefix) {
  std::string missing = TempPath("libfile-missing.obj");
  try {
    TLibFile::ReadObj(missing);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().rfind(SCanotOpenFile.Text(), 0), 0u);
    EXPECT_GT(e.Message().size(), SCanotOpenFile.Text().size());
  }
  std::string junk = TempPath("libfile-junk.obj");
  {
    TFileStream f(junk, fmCreate);
    f.WriteString("not an object stream");
  }
  EXPECT_THROW(TLibFile::ReadObj(junk), Exception);
}
