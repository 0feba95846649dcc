#include "foundation/Containers.h"

#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"
#include "foundation/ObjectStream.h"

namespace kv {

KV_IMPLEMENT_CLASS(TMyQueue, TList)
KV_IMPLEMENT_CLASS(TLinkStructure, TBaseObject)
KV_IMPLEMENT_CLASS(TCircleLink, TLinkStructure)
KV_IMPLEMENT_CLASS(TLinkDataStructure, TBaseObject)
KV_IMPLEMENT_ABSTRACT_CLASS(TLibFile, TObject)

namespace {
const TClassRegistrar g_registrar{TLinkStructure::StaticClass(), TCircleLink::StaticClass(),
                                  TLinkDataStructure::StaticClass()};

// A chain of `length` nodes from `node` on takes that many nested records.
// Refuses, before anything is written, a chain that needs more than `limit`.
void CheckChainFits(const TLinkStructure* node, int limit) {
  int length = 0;
  for (const TLinkStructure* n = node; n; n = n->Next.get())
    if (++length > limit)
      throw EWriteError("A linked chain of more than " + std::to_string(limit) +
                        " nodes cannot be stored: each node is stored inside the one before it, and object "
                        "records nest at most " +
                        std::to_string(kMaxObjectDepth) + " levels deep");
}
}  // namespace

// ---- TMyQueue -------------------------------------------------------------------------

TObject* TMyQueue::DelHeadQueue() {
  if (Count() == 0) throw EListError(kQueueDeleteFailed);
  return Extract(0);
}

int TMyQueue::GetFrontIndex() const {
  if (Count() == 0) throw EListError(kQueueIsEmpty);
  return 0;
}

int TMyQueue::GetRearIndex() const {
  if (Count() == 0) throw EListError(kQueueIsEmpty);
  return Count() - 1;
}

// ---- TLinkStructure ---------------------------------------------------------------------

// Frees the chain after this node one node at a time: each node is taken out
// of its predecessor before it is freed, so no destructor reaches further.
TLinkStructure::~TLinkStructure() {
  TLinkStructure* n = Next.release();
  while (n) {
    TLinkStructure* after = n->Next.release();
    delete n;
    n = after;
  }
}

void TLinkStructure::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptString>(proc, param, Name, "Name", !Name.empty());
  Prop<ptObject>(proc, param, Next, "Next", Next.get() != nullptr);
}

void TLinkStructure::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  CheckChainFits(this, kMaxObjectDepth);
}

void TLinkStructure::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (Next) Next->Prev = this;
}

TLinkStructure* TLinkStructure::Last() {
  TLinkStructure* n = this;
  while (n->Next) n = n->Next.get();
  return n;
}

void TLinkStructure::InsertAfter(TLinkStructure* node) {
  if (!node) return;
  if (node->Prev) throw EListError("The node is already linked into a chain");
  // Without a predecessor, `node` could hold this node only as the head of
  // this node's own chain, which its chain then reaches.
  TLinkStructure* last = node;
  for (;;) {
    if (last == this) throw EListError("A node cannot be linked after itself");
    if (!last->Next) break;
    last = last->Next.get();
  }
  std::unique_ptr<TLinkStructure> rest = Next.Extract();
  Next.reset(node);
  node->Prev = this;
  if (rest) rest->Prev = last;
  last->Next = std::move(rest);
}

std::unique_ptr<TLinkStructure> TLinkStructure::ExtractNext() {
  std::unique_ptr<TLinkStructure> node = Next.Extract();
  if (!node) return nullptr;
  Next = node->Next.Extract();
  if (Next) Next->Prev = this;
  node->Prev = nullptr;
  return node;
}

// ---- TLinkDataStructure -------------------------------------------------------------------

TLinkDataStructure::TLinkDataStructure() {
  RootNode.reset(new TLinkStructure(kLinkRootName));
  head_ = RootNode.get();
}

void TLinkDataStructure::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
  inherited::EnumrateProperties(proc, action, param);
  Prop<ptObject>(proc, param, RootNode, "RootNode", RootNode.get() != nullptr);
  // The cursor points into the chain; freeing or reading the chain moves it
  // back to the root.
  if (action != paWrite) head_ = RootNode.get();
}

void TLinkDataStructure::BeforeSave(TFiler& filer) {
  inherited::BeforeSave(filer);
  // The root is stored one level below this record.
  CheckChainFits(RootNode.get(), kMaxObjectDepth - 1);
}

void TLinkDataStructure::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  if (RootNode) RootNode->Prev = nullptr;
  head_ = RootNode.get();
}

void TLinkDataStructure::InsertNode(TLinkStructure* node) {
  if (!node) return;
  if (!RootNode) RootNode.reset(new TLinkStructure(kLinkRootName));
  if (!head_) head_ = RootNode.get();
  head_->InsertAfter(node);
  head_ = node;
}

void TLinkDataStructure::DeleteNode(TLinkStructure* node) {
  if (!node) return;
  if (node == RootNode.get()) throw Exception(kCannotDeleteRoot);
  bool inChain = false;
  for (TLinkStructure* n = RootNode.get(); n; n = n->Next.get())
    if (n == node) {
      inChain = true;
      break;
    }
  if (!inChain) {
    if (node->Prev) throw EListError("The node belongs to another chain");
    delete node;
    return;
  }
  TLinkStructure* prev = node->Prev;
  if (head_ == node) head_ = prev;
  prev->ExtractNext();  // freed here
}

bool TLinkDataStructure::Empty() const { return !RootNode || !RootNode->Next; }

int TLinkDataStructure::Length() {
  if (!head_) head_ = RootNode.get();
  int n = 0;
  while (head_ && head_->Next) {
    head_ = head_->Next.get();
    ++n;
  }
  return n;
}

TLinkStructure* TLinkDataStructure::GetNode(int n) {
  if (!head_) head_ = RootNode.get();
  for (int i = 0; i < n && head_ && head_->Next; ++i) head_ = head_->Next.get();
  return head_;
}

int TLinkDataStructure::Locate(const TLinkStructure* node) {
  head_ = RootNode.get();
  int steps = 0;
  while (head_ && head_ != node && head_->Next) {
    head_ = head_->Next.get();
    ++steps;
  }
  return steps;
}

// ---- TLibFile ---------------------------------------------------------------------------

void TLibFile::WriteObject(const std::string& fileName, const TBaseObject* obj) {
  TFileStream f(fileName, fmCreate);
  StreamWriteObject(f, obj);
}

void TLibFile::SaveObject(const std::string& fileName, const TBaseObject* obj) { WriteObjectToFile(fileName, obj); }

std::unique_ptr<TBaseObject> TLibFile::ReadObj(const std::string& fileName) {
  try {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    return StreamReadObject(f);
  } catch (const std::exception& e) {
    throw Exception(SCanotOpenFile.Text() + e.what());
  }
}

}  // namespace kv
