// Pointer lists and string lists. `TPlainStringList` is the plain string list
// (lines with optional attached objects it does not own); the library's
// `TStringList` owns its attached objects. `TList` is the pointer list and
// `TStack` the stack built on it (with its twin `TStackLink`).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/KVObject.h"

namespace kv {

class TStream;

namespace detail {
// Adds `obj` to `list` through `add`, which stores its plain pointer. The
// list owns the object once a line holds it, even when `add` fails after
// that (a change handler); otherwise (an error, an ignored duplicate) `obj`
// still holds it and frees it.
template <class L, class T, class Add>
int AddOwnedTo(const L& list, std::unique_ptr<T>& obj, Add add) {
  auto settle = [&] {
    if (obj && list.IndexOfObject(obj.get()) >= 0) obj.release();
  };
  try {
    const int index = add(obj.get());
    settle();
    return index;
  } catch (...) {
    settle();
    throw;
  }
}
}  // namespace detail

// ---- Pointer list -------------------------------------------------------------
class KVLIB_EXPORT TList : public TObject {
  KV_CLASS(TList, TObject)
public:
  TList() = default;
  ~TList() override;

  // Who deletes the items: an owning list (OwnsObjects) deletes every item it
  // holds when the item is deleted or replaced or the list is freed; Extract
  // hands an item back to the caller. A list that does not own its items
  // only points at them.
  int Count() const { return static_cast<int>(items_.size()); }
  TObject* Items(int index) const;
  void Put(int index, TObject* item);  // frees the item it replaces when owning
  int Add(TObject* item);
  // Add for an owning list: the list takes `item` once it is added, and an
  // item not added (an error) is freed. EListError on a list that does not own its items.
  int AddOwned(std::unique_ptr<TObject> item);
  void Insert(int index, TObject* item);
  void Delete(int index);       // frees the item when owning
  TObject* Extract(int index);  // removes without freeing: the item is the caller's
  int IndexOf(const TObject* item) const;
  int Remove(TObject* item);  // Delete(IndexOf(item)); -1 when absent
  void Exchange(int a, int b);
  void Move(int from, int to);
  void Clear();
  TObject* First() const { return Items(0); }
  TObject* Last() const { return Items(Count() - 1); }
  // When set, the list frees its items when they are deleted or the list is freed.
  bool OwnsObjects = false;

protected:
  void CheckIndex(int index, int limit) const;
  std::vector<TObject*> items_;
};

// A method reference as two pointers: the code and the object it is bound to.
struct TMethod {
  void* Code = nullptr;
  void* Data = nullptr;
  bool operator==(const TMethod&) const = default;
};

// Failure messages of the stacks.
inline constexpr const char* kStackPopFailed = "栈弹出失败(栈空)";
inline constexpr const char* kStackIsEmpty = "栈空";

// A stack: the last entry of the list is the top.
class KVLIB_EXPORT TStack : public TList {
  KV_CLASS(TStack, TList)
public:
  void Push(TObject* item) { Add(item); }
  // Removes and returns the top, without freeing it (the caller's, when the
  // stack owns its items); EListError kStackPopFailed when empty.
  TObject* Pop();
  TObject* Top() const { return Count() ? Last() : nullptr; }  // null when empty
  bool IsEmpty() const { return Count() == 0; }
  bool Empty() const { return Count() == 0; }
  // The top's index; EListError kStackIsEmpty when empty (so for the next two too).
  int GetTopIndex() const;
  TObject* GetTopObj() const;
  void SetTopObj(TObject* item);  // replaces the top (freeing it when owning)
  // A method takes two entries: the code pointer, then the data pointer on
  // top of it. An owning stack refuses them, since they are no objects.
  void PushMethod(const TMethod& method);
  TMethod PopMethod();
};

// The stack's twin, with the same operations.
class KVLIB_EXPORT TStackLink : public TList {
  KV_CLASS(TStackLink, TList)
public:
  void Push(TObject* item) { Add(item); }
  TObject* Pop();  // as TStack::Pop
  TObject* Top() const { return Count() ? Last() : nullptr; }
  bool Empty() const { return Count() == 0; }
  int GetTopIndex() const;
  TObject* GetTopObj() const;
  void SetTopObj(TObject* item);
  void PushMethod(const TMethod& method);
  TMethod PopMethod();
};

// ---- String lists ---------------------------------------------------------------
enum TDuplicates : uint8_t { dupIgnore, dupAccept, dupError };

class KVLIB_EXPORT TPlainStringList : public TObject {
  KV_CLASS(TPlainStringList, TObject)
public:
  TPlainStringList() = default;
  ~TPlainStringList() override;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const;
  void SetString(int index, const std::string& s);
  TObject* Objects(int index) const;
  void SetObject(int index, TObject* obj);  // frees the replaced object when owning

  // Who deletes the attached objects: an owning list (OwnsObjects, always so
  // for TStringList) deletes each when its line is deleted, the object is
  // replaced or the list is freed; Extract hands it back to the caller. A
  // list that does not own its objects only points at them.
  int Add(const std::string& s) { return AddObject(s, nullptr); }
  virtual int AddObject(const std::string& s, TObject* obj);
  // AddObject for an owning list: the list takes `obj` once the line is
  // added; when the line is refused (an error, or an ignored duplicate) `obj`
  // is freed. EListError on a list that does not own its objects.
  int AddOwned(const std::string& s, std::unique_ptr<TObject> obj);
  void AddStrings(const TPlainStringList& other);
  void Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }
  virtual void InsertObject(int index, const std::string& s, TObject* obj);
  void Delete(int index);       // frees the attached object when owning
  TObject* Extract(int index);  // removes the line and returns its object, now the caller's, without freeing it
  void Clear();
  void Exchange(int a, int b);
  void Move(int from, int to);
  // Copies the lines and the object references of `source`. An owning list
  // takes copies of the objects (see TStringList) rather than sharing them.
  virtual void Assign(const TPlainStringList& source);
  bool Equals(const TPlainStringList& other) const;  // same lines

  int IndexOf(std::string_view s) const;
  int IndexOfObject(const TObject* obj) const;
  int IndexOfName(std::string_view name) const;
  // Binary search of a sorted list; returns whether found and the index where it is or would be.
  bool Find(std::string_view s, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TPlainStringList&, int, int)>& compare);

  // name=value lines
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  void SetValue(std::string_view name, const std::string& value);

  std::string Text() const;             // lines joined by LineBreak, each followed by it
  void SetText(std::string_view text);  // splits at CR LF, CR or LF
  std::string CommaText() const;
  void SetCommaText(std::string_view text);

  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates = dupIgnore;
  bool CaseSensitive = false;
  std::string LineBreak = "\n";
  bool OwnsObjects() const { return ownsObjects_; }
  void SetOwnsObjects(bool v) { ownsObjects_ = v; }

  std::function<void(TPlainStringList&)> OnChange;
  std::function<void(TPlainStringList&)> OnChanging;

  int CompareStrings(std::string_view a, std::string_view b) const;

protected:
  struct Item {
    std::string s;
    TObject* obj = nullptr;
  };
  void Changing();
  void Changed();
  void CheckIndex(int index, int limit) const;
  void FreeObject(TObject* obj);
  std::vector<Item> items_;
  bool sorted_ = false;
  bool ownsObjects_ = false;
  int updateCount_ = 0;
};

// The library's string list: owns the objects attached to its lines and
// frees them (from the last line to the first) when it is freed.
class KVLIB_EXPORT TStringList : public TPlainStringList {
  KV_CLASS(TStringList, TPlainStringList)
public:
  TStringList();
  ~TStringList() override;
  // Copies lines; attached persistent objects are copied deeply, since an
  // object can have only one owner.
  void Assign(const TPlainStringList& source) override;
  // Inserts the lines of `lines` at index, index + 1, ...
  void InsertStrings(int index, const TPlainStringList& lines);
  // The part after the first "=" of line `index`; empty when out of range or without "=".
  std::string GetValueByIndex(int index) const;
  // The list's text to and from the clipboard.
  void CopyToClipboard() const;
  void PasteFromClipboard();
};

}  // namespace kv
