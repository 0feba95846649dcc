#include "foundation/Trees.h"

#include <utility>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"

namespace kv {

KV_IMPLEMENT_CLASS(TTreeStructure, TBaseObject)
KV_IMPLEMENT_CLASS(TTreeObj, TBaseObject)
KV_IMPLEMENT_CLASS(TTree, TBaseObject)

namespace {
const TClassRegistrar g_registrar{TTreeStructure::StaticClass(), TTreeObj::StaticClass(), TTree::StaticClass()};

[[noreturn]] void ListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

// Refuses, before anything is written, a tree whose records would nest more
// than `limit` levels below `top` (`top` itself being level 1). `links`
// gives a node's two stored children: its first child and its next sibling.
// Visits only nodes within the limit, without recursion.
template <class N, class Links>
void CheckNestingFits(const N* top, int limit, Links links) {
  std::vector<std::pair<const N*, int>> pending{{top, 1}};
  while (!pending.empty()) {
    auto [n, depth] = pending.back();
    pending.pop_back();
    if (depth > limit)
      throw EWriteError(
          "The tree cannot be stored: each child and each next sibling is stored inside the node "
          "before it, and this tree needs more than " +
          std::to_string(limit) + " nested records (object records nest at most " + std::to_string(kMaxObjectDepth) +
          " levels deep)");
    auto [a, b] = links(n);
    if (a) pending.emplace_back(a, depth + 1);
    if (b) pending.emplace_back(b, depth + 1);
  }
}

// Frees the nodes given and everything they own, one node at a time: each
// node's owned links are taken out before it is freed, so no destructor
// reaches further.
template <class N, class Release>
void FreeIteratively(std::vector<N*> pending, Release release) {
  while (!pending.empty()) {
    N* n = pending.back();
    pending.pop_back();
    auto [a, b] = release(n);
    if (a) pending.push_back(a);
    if (b) pending.push_back(b);
    delete n;
  }
}

}  // namespace

// ---- TTreeStructure ---------------------------------------------------------------------

TTreeStructure::~TTreeStructure() {
  std::vector<TTreeStructure*> owned;
  if (LeftChild) owned.push_back(LeftChild.release());
  if (RightChild) owned.push_back(RightChild.release());
  FreeIteratively(std::move(owned), [](TTreeStructure* n) {
    return std::pair<TTreeStructure*, TTreeStructure*>(n->LeftChild.release(), n->RightChild.release());
  });
}

// "Name" is stored even when empty: the constructed default is kTreeRootName,
// so leaving an empty name out would read back as that default.
void TTreeStructure::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "Name", true);
  Prop<ptObject>(proc, param, LeftChild, "LeftChild", LeftChild.get() != nullptr);
  Prop<ptObject>(proc, param, RightChild, "RightChild", RightChild.get() != nullptr);
}

void TTreeStructure::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  // Checked once, at the node the save starts from.
  if (!Parent && !prevSibling_)
    CheckNestingFits(this, kMaxObjectDepth, [](const TTreeStructure* n) {
      return std::pair<const TTreeStructure*, const TTreeStructure*>(n->LeftChild.get(), n->RightChild.get());
    });
}

void TTreeStructure::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  TTreeStructure* prev = nullptr;
  for (TTreeStructure* c = LeftChild.get(); c; c = c->RightChild.get()) {
    c->Parent = this;
    c->prevSibling_ = prev;
    prev = c;
  }
  // A sibling's parent is set by the parent's own AfterLoad (it comes later).
  if (RightChild) RightChild->prevSibling_ = this;
}

int TTreeStructure::GetChildCount() const {
  int n = 0;
  for (const TTreeStructure* c = LeftChild.get(); c; c = c->RightChild.get()) ++n;
  return n;
}

TTreeStructure* TTreeStructure::GetChild(int i) {
  TTreeStructure* c = LeftChild.get();
  if (!c) return this;
  for (int k = 0; k < i && c->RightChild; ++k) c = c->RightChild.get();
  return c;
}

ObjPtr<TTreeStructure>* TTreeStructure::OwnerSlot() {
  if (prevSibling_) return &prevSibling_->RightChild;
  if (Parent) return &Parent->LeftChild;
  return nullptr;
}

void TTreeStructure::CheckFree(const TTreeStructure* node) const {
  if (!node) throw EListError("No node given");
  if (node->Parent || node->prevSibling_) throw EListError("The node is already linked into a tree");
  if (node == this) throw EListError("A node cannot be linked below itself");
  // A free node holds this one only if it has children or siblings and is
  // the top of this node's structure; walking back through earlier siblings
  // and parents reaches it then. A free leaf needs no walk.
  if (node->LeftChild || node->RightChild)
    for (const TTreeStructure* n = this; n; n = n->prevSibling_ ? n->prevSibling_ : n->Parent)
      if (n == node) throw EListError("A node cannot be linked below itself");
}

void TTreeStructure::Splice(ObjPtr<TTreeStructure>& slot, TTreeStructure* node, TTreeStructure* parent,
                            TTreeStructure* prev) {
  std::unique_ptr<TTreeStructure> rest = slot.Extract();
  slot.reset(node);
  node->prevSibling_ = prev;
  TTreeStructure* last = node;
  for (TTreeStructure* n = node; n; n = n->RightChild.get()) {
    n->Parent = parent;
    last = n;
  }
  if (rest) rest->prevSibling_ = last;
  last->RightChild = std::move(rest);
}

void TTreeStructure::SetChild(int i, TTreeStructure* node) {
  if (i < 0 || i >= GetChildCount()) throw Exception(kNoSuchNode);
  CheckFree(node);
  // Replaced in place: the new node takes the old one's position between its
  // siblings, and the old node is freed with its subtree.
  TTreeStructure* prev = GetChild(i)->prevSibling_;
  ObjPtr<TTreeStructure>& slot = prev ? prev->RightChild : LeftChild;
  std::unique_ptr<TTreeStructure> old = slot.Extract();
  slot = old->RightChild.Extract();  // the next sibling closes the gap
  if (slot) slot->prevSibling_ = prev;
  Splice(slot, node, this, prev);
}

void TTreeStructure::AddChild(TTreeStructure* node) {
  CheckFree(node);
  if (!LeftChild) {
    Splice(LeftChild, node, this, nullptr);
    return;
  }
  TTreeStructure* last = LeftChild.get();
  while (last->RightChild) last = last->RightChild.get();
  Splice(last->RightChild, node, this, last);
}

// The former next sibling is kept: it follows the inserted node (or the end
// of the chain inserted).
void TTreeStructure::InsertChild(TTreeStructure* node) {
  CheckFree(node);
  Splice(RightChild, node, Parent, this);
}

void TTreeStructure::Delete() {
  ObjPtr<TTreeStructure>* slot = OwnerSlot();
  // This node, freed on return: taken out of the slot that owns it, if any.
  std::unique_ptr<TTreeStructure> self = slot ? slot->Extract() : std::unique_ptr<TTreeStructure>(this);
  if (slot) {
    *slot = RightChild.Extract();  // the next sibling takes its place
    if (*slot) (*slot)->prevSibling_ = prevSibling_;
    Parent = nullptr;
    prevSibling_ = nullptr;
  }
}

// ---- TTreeObj ---------------------------------------------------------------------------

TTreeObj::~TTreeObj() {
  std::vector<TTreeObj*> owned;
  if (child_) owned.push_back(child_.release());
  if (brother_) owned.push_back(brother_.release());
  FreeIteratively(std::move(owned), [](TTreeObj* n) {
    return std::pair<TTreeObj*, TTreeObj*>(n->child_.release(), n->brother_.release());
  });
}

// "Brother" is declared for reading as well as for writing: a node with two
// or more children stores its later children as "Brother" records, and
// reading must take them back.
void TTreeObj::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptObject>(proc, param, Data, "Data", Data.get() != nullptr);
  Prop<ptObject>(proc, param, child_, "Child", child_.get() != nullptr);
  Prop<ptObject>(proc, param, brother_, "Brother", brother_.get() != nullptr);
}

void TTreeObj::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  // Checked once, at the node the save starts from (a tree checks its root).
  if (!Parent && !tree_)
    CheckNestingFits(this, kMaxObjectDepth, [](const TTreeObj* n) {
      return std::pair<const TTreeObj*, const TTreeObj*>(n->child_.get(), n->brother_.get());
    });
}

void TTreeObj::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  for (TTreeObj* c = child_.get(); c; c = c->brother_.get()) c->Parent = this;
}

void TTreeObj::Assign(const TBaseObject* source) {
  if (auto* s = ObjCast<TTreeObj>(source)) {
    Name = s->Name;
    return;
  }
  inherited::Assign(source);
}

void TTreeObj::AssignTo(TBaseObject* dest) const {
  if (auto* d = ObjCast<TTreeObj>(dest)) {
    d->Name = Name;
    return;
  }
  inherited::AssignTo(dest);
}

uint8_t TTreeObj::ChildTag() const { return isHead_ ? headChildTag_ : child_ ? kLinkTag : kThreadTag; }
uint8_t TTreeObj::BrotherTag() const { return isHead_ ? headBrotherTag_ : brother_ ? kLinkTag : kThreadTag; }
TTreeObj* TTreeObj::ChildLink() const { return child_ ? child_.get() : childRef_; }
TTreeObj* TTreeObj::BrotherLink() const { return brother_ ? brother_.get() : brotherRef_; }

int TTreeObj::GetChildCount() const {
  // The head's one child is the root (its child link points back to the
  // head itself in an empty tree).
  if (isHead_) return ChildTag() == kLinkTag && childRef_ && childRef_ != this ? 1 : 0;
  int n = 0;
  for (const TTreeObj* c = child_.get(); c; c = c->brother_.get()) ++n;
  return n;
}

TTreeObj* TTreeObj::ChildAt(int i) const {
  TTreeObj* c = child_.get();
  for (int k = 0; k < i; ++k) c = c->brother_.get();
  return c;
}

TTreeObj* TTreeObj::GetChild(int i) const {
  if (isHead_) {
    if (i != 0 || GetChildCount() == 0) ListIndexError(i);
    return childRef_;
  }
  if (i < 0 || i >= GetChildCount()) ListIndexError(i);
  return ChildAt(i);
}

void TTreeObj::CheckFree(const TTreeObj* node) const {
  if (isHead_) throw EListError("The head node takes no children");
  if (!node) throw EListError("No node given");
  if (node->isHead_) throw EListError("A head node cannot be linked into a tree");
  if (node->Parent || node->brother_) throw EListError("The node is already linked into a tree");
  if (node->tree_) throw EListError("The node belongs to a tree");
  if (node == this) throw EListError("A node cannot be linked below itself");
  // Only a node with children can be an ancestor of this one.
  if (node->child_)
    for (const TTreeObj* n = this; n; n = n->Parent)
      if (n == node) throw EListError("A node cannot be linked below itself");
}

TTree* TTreeObj::ThreadedTree() const { return tree_ && tree_->threaded_ ? tree_ : nullptr; }

void TTreeObj::Mark(TTreeObj* top, TTree* tree) {
  std::vector<TTreeObj*> pending{top};
  while (!pending.empty()) {
    TTreeObj* n = pending.back();
    pending.pop_back();
    n->tree_ = tree;
    n->childRef_ = nullptr;
    n->brotherRef_ = nullptr;
    if (n->child_) pending.push_back(n->child_.get());
    if (n->brother_) pending.push_back(n->brother_.get());
  }
}

void TTreeObj::AfterChange() {
  if (TTree* tree = ThreadedTree()) tree->TreeLinked();
}

void TTreeObj::InsertItem(int i, TTreeObj* node) {
  if (i < 0 || i > GetChildCount()) ListIndexError(i);
  CheckFree(node);
  Mark(node, tree_);
  ObjPtr<TTreeObj>& slot = i == 0 ? child_ : ChildAt(i - 1)->brother_;
  std::unique_ptr<TTreeObj> rest = slot.Extract();
  slot.reset(node);
  node->brother_ = std::move(rest);
  node->Parent = this;
  if (CurIndex >= i) ++CurIndex;
  AfterChange();
}

std::unique_ptr<TTreeObj> TTreeObj::ExtractChild(int i) {
  if (isHead_ || i < 0 || i >= GetChildCount()) ListIndexError(i);
  ObjPtr<TTreeObj>& slot = i == 0 ? child_ : ChildAt(i - 1)->brother_;
  std::unique_ptr<TTreeObj> c = slot.Extract();
  slot = c->brother_.Extract();  // the next brother takes its place
  if (tree_) tree_->Forget(c.get(), false);
  c->Parent = nullptr;
  if (CurIndex == i)
    CurIndex = -1;
  else if (CurIndex > i)
    --CurIndex;
  AfterChange();
  Mark(c.get(), nullptr);
  return c;
}

void TTreeObj::DeleteChild(int i) { ExtractChild(i); }  // freed here

void TTreeObj::SetChild(int i, TTreeObj* node) {
  if (i < 0 || i >= GetChildCount()) throw Exception(kNoSuchNode);
  CheckFree(node);
  Mark(node, tree_);
  // Replaced in place: the new node takes the old one's position between its
  // siblings, and the old node is freed with its subtree.
  ObjPtr<TTreeObj>& slot = i == 0 ? child_ : ChildAt(i - 1)->brother_;
  std::unique_ptr<TTreeObj> old = slot.Extract();
  slot.reset(node);
  node->brother_ = old->brother_.Extract();
  node->Parent = this;
  if (tree_) tree_->Forget(old.get(), false);
  old->Parent = nullptr;
  old.reset();
  AfterChange();
}

void TTreeObj::Delete() {
  if (Parent) Parent->DeleteChild(Parent->IndexOf(this));
}

void TTreeObj::Clear() {
  if (!child_) return;
  if (tree_) tree_->Forget(this, true);
  // All children at once, so a threaded tree is threaded again only once.
  delete child_.release();
  CurIndex = -1;
  AfterChange();
}

int TTreeObj::IndexOf(const TTreeObj* node) const {
  int i = 0;
  for (const TTreeObj* c = child_.get(); c; c = c->brother_.get(), ++i)
    if (c == node) return i;
  return -1;
}

bool TTreeObj::FindChild(const TTreeObj* node) const {
  if (!node) return false;
  std::vector<const TTreeObj*> pending{this};
  while (!pending.empty()) {
    const TTreeObj* n = pending.back();
    pending.pop_back();
    if (n == node) return true;
    if (n != this && n->brother_) pending.push_back(n->brother_.get());
    if (n->child_) pending.push_back(n->child_.get());
  }
  return false;
}

TTreeObj* TTreeObj::FindChildByID(int32_t a, int32_t b) {
  std::vector<TTreeObj*> pending{this};
  while (!pending.empty()) {
    TTreeObj* n = pending.back();
    pending.pop_back();
    if (n->ID1 == a && n->ID2 == b) return n;
    // Brother pushed first, so a node's own subtree is searched before its
    // later siblings.
    if (n != this && n->brother_) pending.push_back(n->brother_.get());
    if (n->child_) pending.push_back(n->child_.get());
  }
  return nullptr;
}

bool TTreeObj::UpdateID(int32_t a, int32_t b) {
  if (ID1 == a && ID2 == b) return false;
  SetID(a, b);
  return true;
}

std::string TTreeObj::GetFullName() const {
  std::string name = Name;
  for (const TTreeObj* p = Parent; p; p = p->Parent) name += "\\" + p->Name;
  return name;
}

TTreeObj* TTreeObj::First(TTreeObj* node) {
  while (node && node->ChildTag() == kLinkTag) {
    TTreeObj* next = node->ChildLink();
    if (!next || next == node) break;  // an empty tree's head points to itself
    node = next;
  }
  return node;
}

// ---- TTree --------------------------------------------------------------------------------

TTree::TTree() : head_(new TTreeObj(kTreeHeadName)) { head_->isHead_ = true; }

TTree::~TTree() = default;

void TTree::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, Root, "Root", Root.get() != nullptr);
  // Reading or freeing may have replaced the root.
  if (action != paWrite && (!Root || Root->tree_ != this)) Adopt();
}

void TTree::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  // The root is stored one level below this record.
  if (Root)
    CheckNestingFits(Root.get(), kMaxObjectDepth - 1, [](const TTreeObj* n) {
      return std::pair<const TTreeObj*, const TTreeObj*>(n->child_.get(), n->brother_.get());
    });
}

void TTree::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  Adopt();
}

void TTree::Adopt() {
  selNode_ = nullptr;
  if (Root) {
    TTreeObj::Mark(Root.get(), this);
    Root->Parent = nullptr;
  }
  if (threaded_) {
    TreeLinked();
  } else {
    head_->childRef_ = nullptr;
    head_->brotherRef_ = nullptr;
    head_->headChildTag_ = kThreadTag;
    head_->headBrotherTag_ = kThreadTag;
  }
}

void TTree::Forget(const TTreeObj* node, bool strictlyBelow) {
  if (!selNode_) return;
  for (const TTreeObj* n = strictlyBelow ? selNode_->Parent : selNode_; n; n = n->Parent)
    if (n == node) {
      selNode_ = nullptr;
      return;
    }
}

std::unique_ptr<TTreeObj> TTree::SetRoot(TTreeObj* node) {
  if (node == Root.get()) return nullptr;
  if (node) {
    if (node->isHead_) throw EListError("A head node cannot be a root");
    if (node->Parent || node->brother_) throw EListError("The node is already linked into a tree");
    if (node->tree_) throw EListError("The node belongs to a tree");
  }
  std::unique_ptr<TTreeObj> old = Root.Extract();
  if (old) {
    Forget(old.get(), false);
    TTreeObj::Mark(old.get(), nullptr);
  }
  Root.reset(node);
  Adopt();
  return old;
}

void TTree::SetSelNode(TTreeObj* node) {
  selNode_ = node;
  if (node && node != Root.get() && node->Parent) node->Parent->CurIndex = node->Parent->IndexOf(node);
}

void TTree::TreeLinked() {
  threaded_ = true;
  TTreeObj* head = head_.get();
  head->headChildTag_ = kLinkTag;
  head->headBrotherTag_ = kLinkTag;
  head->brotherRef_ = head;
  if (!Root) {
    head->childRef_ = head;
    return;
  }
  head->childRef_ = Root.get();
  Root->Parent = nullptr;

  // Post order without recursion: state 0 = descend to the child, 1 = to the
  // brother, 2 = visit the node.
  struct Frame {
    TTreeObj* node;
    int state;
  };
  std::vector<Frame> pending{{Root.get(), 0}};
  TTreeObj* prev = head;
  while (!pending.empty()) {
    Frame& f = pending.back();
    TTreeObj* n = f.node;
    if (f.state == 0) {
      f.state = 1;
      if (n->child_) {
        n->child_->Parent = n;
        pending.push_back({n->child_.get(), 0});
        continue;
      }
    }
    if (f.state == 1) {
      f.state = 2;
      if (n->brother_) {
        n->brother_->Parent = n->Parent;
        pending.push_back({n->brother_.get(), 0});
        continue;
      }
    }
    pending.pop_back();
    n->childRef_ = n->child_ ? nullptr : prev;
    if (prev->BrotherTag() != kLinkTag) prev->brotherRef_ = n;
    prev = n;
  }
  prev->brotherRef_ = head;
  head->headBrotherTag_ = kThreadTag;
  head->brotherRef_ = prev;
}

}  // namespace kv
