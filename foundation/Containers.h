// General containers: a queue over the pointer list, singly linked nodes
// with a list head, and the object-file operations of TLibFile. The stacks
// (TStack, TStackLink) live with the pointer list in StringLists.h, the trees
// in Trees.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "foundation/BaseObject.h"
#include "foundation/StringLists.h"

namespace kv {

// ---- Queue ------------------------------------------------------------------------

inline constexpr const char* kQueueIsEmpty = "队空";
inline constexpr const char* kQueueDeleteFailed = "删除队头失败(队空)";

// The front is entry 0, the rear the last entry.
class KVLIB_EXPORT TMyQueue : public TList {
  KV_CLASS(TMyQueue, TList)
public:
  void EnQueue(TObject* item) { Add(item); }
  // Removes and returns the front, without freeing it (the caller's, when
  // the queue owns its items); EListError kQueueDeleteFailed when empty.
  TObject* DelHeadQueue();
  // EListError kQueueIsEmpty when empty (so for the four accessors too).
  int GetFrontIndex() const;
  int GetRearIndex() const;
  TObject* GetFront() const { return Items(GetFrontIndex()); }
  void SetFront(TObject* item) { Put(GetFrontIndex(), item); }
  TObject* GetRear() const { return Items(GetRearIndex()); }
  void SetRear(TObject* item) { Put(GetRearIndex(), item); }
  bool Empty() const { return Count() == 0; }
};

// ---- Linked nodes -------------------------------------------------------------------

// A node of a singly linked chain: it owns the node after it. Stored as
// "Name" (when not empty) and "Next" (when present), so a chain is a nest of
// records, one level per node. Object records nest at most kMaxObjectDepth
// levels, so a chain longer than that cannot be stored: saving it raises
// EWriteError naming the limit at the chain's first record, before any of its
// nodes' contents is written.
// Chains of any length are freed without recursion.
class KVLIB_EXPORT TLinkStructure : public TBaseObject {
  KV_CLASS(TLinkStructure, TBaseObject)
public:
  TLinkStructure() = default;
  explicit TLinkStructure(std::string name) : Name(std::move(name)) {}
  ~TLinkStructure() override;

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  void AfterLoad(TFiler& filer) override;

  TLinkStructure* GetNext() const { return Next.get(); }
  TLinkStructure* GetPrev() const { return Prev; }
  TLinkStructure* Last();
  // Links `node` (with any chain after it) right after this node; what
  // followed this node goes after the end of that chain. The chain owns
  // `node` from then on (each node deletes the one after it).
  void InsertAfter(TLinkStructure* node);
  // Unlinks the node after this one and returns it; what followed it is
  // linked after this node.
  std::unique_ptr<TLinkStructure> ExtractNext();

  std::string Name;
  ObjPtr<TLinkStructure> Next;     // owned: the rest of the chain
  TLinkStructure* Prev = nullptr;  // back link, not stored, not owned
};

// A node of a ring-shaped structure; the chain itself is as for its base.
class KVLIB_EXPORT TCircleLink : public TLinkStructure {
  KV_CLASS(TCircleLink, TLinkStructure)
public:
  using TLinkStructure::TLinkStructure;
};

inline constexpr const char* kLinkRootName = "根接点";
inline constexpr const char* kCannotDeleteRoot = "不能删除跟接点\r\n\n";

// A chain with a root node and a cursor that the operations move. The root
// (named kLinkRootName) is stored as "RootNode"; the cursor is not stored
// and points into the chain (it owns nothing).
class KVLIB_EXPORT TLinkDataStructure : public TBaseObject {
  KV_CLASS(TLinkDataStructure, TBaseObject)
public:
  TLinkDataStructure();

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void BeforeSave(TFiler& filer) override;
  void AfterLoad(TFiler& filer) override;

  // Links `node` right after the cursor (the rest of the chain follows it)
  // and moves the cursor to it. The list takes ownership.
  void InsertNode(TLinkStructure* node);
  // Frees `node`. A node of this chain is unlinked first (the cursor steps
  // back when it stood on it); the root raises kCannotDeleteRoot; a node
  // linked into another chain raises EListError; a free node is just freed.
  void DeleteNode(TLinkStructure* node);
  // The root has no next node.
  bool Empty() const;
  // The number of nodes after the cursor; leaves the cursor on the last node.
  int Length();
  // Moves the cursor n nodes on (stopping at the last node) and returns it.
  TLinkStructure* GetNode(int n);
  // Restarts at the root and returns the number of steps to `node`, or to
  // the last node when `node` is not in the chain; the cursor stays there.
  int Locate(const TLinkStructure* node);

  TLinkStructure* Root() const { return RootNode.get(); }
  TLinkStructure* Cursor() const { return head_; }
  void ResetCursor() { head_ = RootNode.get(); }

  ObjPtr<TLinkStructure> RootNode;

private:
  TLinkStructure* head_ = nullptr;  // the cursor
};

// ---- Object files ---------------------------------------------------------------------

// Whole-file object operations. The names are used as given (on a file
// system that tells letter case apart, a name is never changed); a bare
// name lands in the current folder.
class KVLIB_EXPORT TLibFile : public TObject {
  KV_CLASS(TLibFile, TObject)
public:
  // Creates (truncates) the file and writes the object stream into it.
  static void WriteObject(const std::string& fileName, const TBaseObject* obj);
  // As WriteObjectToFile: the old file stays untouched if writing fails.
  static void SaveObject(const std::string& fileName, const TBaseObject* obj);
  // Reads one object. Any failure raises Exception with SCanotOpenFile
  // followed by the message of the failure.
  static std::unique_ptr<TBaseObject> ReadObj(const std::string& fileName);
};

}  // namespace kv
