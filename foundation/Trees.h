// Trees: the first-child / next-sibling tree TTreeStructure, and the
// threaded tree TTreeObj with its owner TTree.
//
// Both store a tree as nested records: a node's first child and its next
// sibling are stored inside the node's record, so every child and every
// later sibling is one level deeper than the node. Object records nest at
// most kMaxObjectDepth levels, so a tree whose deepest chain of
// (child or next sibling) steps exceeds that cannot be stored; saving it
// raises EWriteError naming the limit at the tree's first record, before
// any node below it is written. (The check runs where a save starts at a
// top node; a save started at an inner node is held by the stream's own
// nesting limit, which raises EWriteError as well.) Trees of any shape are
// freed, searched and threaded without recursion.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/BaseObject.h"

namespace kv {

class TTree;

inline constexpr const char* kTreeRootName = "树根";
inline constexpr const char* kTreeHeadName = "头结点";
inline constexpr const char* kNoSuchNode = "此结点不存在\r\n\n";

// ---- First-child / next-sibling tree ----------------------------------------------------

// A node owns its first child ("LeftChild") and its next sibling
// ("RightChild"). Parent and previous-sibling links are back links, rebuilt
// after reading.
//
// Linking a node in (AddChild, InsertChild, SetChild) takes ownership of it
// and of the siblings chained after it; the node must not be linked
// elsewhere already (EListError).
class KVLIB_EXPORT TTreeStructure : public TBaseObject {
  KV_CLASS(TTreeStructure, TBaseObject)
public:
  TTreeStructure() = default;
  explicit TTreeStructure(std::string name) : Name(std::move(name)) {}
  ~TTreeStructure() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  void AfterLoad(TFiler& filer) override;

  int GetChildCount() const;
  // Child i; the last child when i is past it; this node when it has none.
  TTreeStructure* GetChild(int i);
  // The nodes linked in by SetChild, AddChild and InsertChild belong to the
  // tree from then on: each node deletes its first child and next sibling.
  //
  // Puts `node` in place of child i and frees the old child with its
  // subtree. A position outside the children raises kNoSuchNode and
  // changes nothing.
  void SetChild(int i, TTreeStructure* node);
  // Appends `node` after the last child.
  void AddChild(TTreeStructure* node);
  // Makes `node` the next sibling of this node; the former next sibling
  // follows it (follows the end of its chain).
  void InsertChild(TTreeStructure* node);
  TTreeStructure* GetNextBrother() const { return RightChild.get(); }
  // The sibling before this node (null for a first child).
  TTreeStructure* GetLastBrother() const { return prevSibling_; }
  TTreeStructure* GetParent() const { return Parent; }
  // Unlinks this node from its parent's children (or from the sibling
  // before it) and frees it with its subtree; its later siblings stay.
  void Delete();

  std::string Name = kTreeRootName;
  ObjPtr<TTreeStructure> LeftChild;   // first child
  ObjPtr<TTreeStructure> RightChild;  // next sibling
  TTreeStructure* Parent = nullptr;   // back link, not stored

private:
  // The slot that owns this node, or null for a free node.
  ObjPtr<TTreeStructure>* OwnerSlot();
  void CheckFree(const TTreeStructure* node) const;
  // Links the chain `node`... in front of `rest` inside `slot`, with `parent`
  // and `prev` as the first node's back links.
  static void Splice(ObjPtr<TTreeStructure>& slot, TTreeStructure* node, TTreeStructure* parent, TTreeStructure* prev);
  TTreeStructure* prevSibling_ = nullptr;
};

// ---- Threaded tree -----------------------------------------------------------------------

// Tag values of a node's child and brother links.
inline constexpr uint8_t kLinkTag = 1;    // a real child or brother (owned)
inline constexpr uint8_t kThreadTag = 2;  // a thread, or nothing

// A node of a threaded tree. A real child or brother link is owned; a
// thread points along the tree's traversal order (see TTree::TreeLinked) and
// owns nothing. Stored: "Name", "Data", "Child" (the first child) and
// "Brother" (the next sibling), the last two only for real links.
//
// Threads are kept only in a tree that TTree has threaded: there every
// insert and delete leaves the threads exactly as TreeLinked makes them (the
// tree is threaded again, a linear pass). Elsewhere a tag-2 link is empty.
class KVLIB_EXPORT TTreeObj : public TBaseObject {
  KV_CLASS(TTreeObj, TBaseObject)
public:
  TTreeObj() = default;
  explicit TTreeObj(std::string name) : Name(std::move(name)) {}
  ~TTreeObj() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  void AfterLoad(TFiler& filer) override;
  // From another TTreeObj: the name only.
  void Assign(const TBaseObject* source) override;
  void AssignTo(TBaseObject* dest) const override;

  uint8_t ChildTag() const;
  uint8_t BrotherTag() const;
  // The child (or thread) and brother (or thread) links.
  TTreeObj* ChildLink() const;
  TTreeObj* BrotherLink() const;
  TTreeObj* GetParent() const { return Parent; }

  int GetChildCount() const;
  // Child i; EListError (list index) outside 0..count-1.
  TTreeObj* GetChild(int i) const;
  // Puts `node` (which this tree then owns) in place of child i and frees the
  // old child with its subtree; outside the children raises kNoSuchNode and
  // changes nothing.
  void SetChild(int i, TTreeObj* node);
  void AddChild(TTreeObj* node) { InsertItem(GetChildCount(), node); }
  // 0 <= i <= count, else EListError (list index).
  void InsertChild(int i, TTreeObj* node) { InsertItem(i, node); }
  // Links `node` (a free node, which this tree then owns) as child i and
  // sets its parent.
  void InsertItem(int i, TTreeObj* node);
  // Unlinks child i and frees it with its subtree; 0 <= i < count, else
  // EListError (list index).
  void DeleteChild(int i);
  // Unlinks child i and returns it, without threads.
  std::unique_ptr<TTreeObj> ExtractChild(int i);
  // Removes this node from its parent, which frees it; nothing without a parent.
  void Delete();
  // Deletes every child.
  void Clear();
  // Index among this node's children; -1 when absent.
  int IndexOf(const TTreeObj* node) const;
  // Whether `node` is this node or lies anywhere below it.
  bool FindChild(const TTreeObj* node) const;
  // The first node (this one included, then depth first in child order)
  // whose identifier is (a, b); null when none.
  TTreeObj* FindChildByID(int32_t a, int32_t b);
  void SetID(int32_t a, int32_t b) {
    ID1 = a;
    ID2 = b;
  }
  // Sets the identifier; returns whether it changed.
  bool UpdateID(int32_t a, int32_t b);
  // The names from this node up to the root, joined by "\" (this node first).
  std::string GetFullName() const;
  // Follows child links from `node` while they are real.
  static TTreeObj* First(TTreeObj* node);
  void SetSorted(bool flag) { Sorted = flag; }

  std::string Name;
  ObjPtr<TBaseObject> Data;
  int32_t ID1 = 0;
  int32_t ID2 = 0;
  bool Sorted = false;
  int CurIndex = -1;           // the current child, set by TTree::SetSelNode
  TTreeObj* Parent = nullptr;  // back link, not stored

private:
  friend class TTree;
  TTreeObj* ChildAt(int i) const;
  void CheckFree(const TTreeObj* node) const;
  // The tree whose threads cover this node, or null when it is not threaded.
  TTree* ThreadedTree() const;
  void AfterChange();
  // Gives `top`, its subtree and its later siblings the tree they now belong
  // to, and clears their threads.
  static void Mark(TTreeObj* top, TTree* tree);

  ObjPtr<TTreeObj> child_;          // real first child
  ObjPtr<TTreeObj> brother_;        // real next sibling
  TTreeObj* childRef_ = nullptr;    // the child thread (or, in a head node, its child link)
  TTreeObj* brotherRef_ = nullptr;  // the brother thread
  bool isHead_ = false;
  uint8_t headChildTag_ = kThreadTag;
  uint8_t headBrotherTag_ = kThreadTag;
  TTree* tree_ = nullptr;  // the TTree this node belongs to, if any
};

// Owns a root node and a head node (named kTreeHeadName) from which the tree
// is threaded. Stored: "Root".
class KVLIB_EXPORT TTree : public TBaseObject {
  KV_CLASS(TTree, TBaseObject)
public:
  TTree();
  ~TTree() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  void AfterLoad(TFiler& filer) override;

  // Takes `node` (the tree deletes it from then on) as the root and returns
  // the previous root, without threads. A threaded tree is threaded again.
  std::unique_ptr<TTreeObj> SetRoot(TTreeObj* node);
  TTreeObj* GetRoot() const { return Root.get(); }
  // Records the node and, unless it is the root, stores its index among its
  // parent's children in the parent's CurIndex.
  void SetSelNode(TTreeObj* node);
  TTreeObj* GetSelNode() const { return selNode_; }
  TTreeObj* Head() const { return head_.get(); }
  bool Threaded() const { return threaded_; }

  // Threads the whole tree below the head node. Visiting nodes in post
  // order (first child's subtree, then the brother chain, then the node),
  // with a running previous node that starts at the head: a node without a
  // child gets a child thread to the previous node; a previous node without
  // a brother gets a brother thread to the current node. The last node
  // gets a brother thread to the head, and the head's brother link becomes
  // that last node (tag 2). Parents are filled in on the way.
  void TreeLinked();

  ObjPtr<TTreeObj> Root;

private:
  friend class TTreeObj;
  void Adopt();
  // Forgets the selected node when it is `node` or lies below it (only
  // below it when `strictlyBelow`).
  void Forget(const TTreeObj* node, bool strictlyBelow);
  std::unique_ptr<TTreeObj> head_;
  TTreeObj* selNode_ = nullptr;
  bool threaded_ = false;
};

}  // namespace kv
