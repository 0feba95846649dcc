// Persistent objects. Every data object derives from TBaseObject (or
// TStoredStrList) and names its stored properties in one virtual operation,
// EnumrateProperties. The same declaration drives writing, reading, deep
// copying and freeing of owned values.
//
// A data class declares its properties like this (inherited ones first):
//
//   void TJobPart::EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) {
//     inherited::EnumrateProperties(proc, action, param);
//     Prop<ptString>(proc, param, Name, "Name", !Name.empty());
//     Prop<ptObject>(proc, param, Options, "Options", Options.get() != nullptr);
//   }
//
// Prop<> checks at compile time that the field fits the property type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "foundation/KVObject.h"
#include "foundation/StringLists.h"

namespace kv {

class TStream;
class TFiler;

enum TPropType : uint8_t {
  ptUnknown = 0,
  ptComponent = 1,
  ptColllection = 2,
  ptObject = 3,
  ptObjects = 4,
  ptString = 5,
  ptPString_ = 6,
  ptStrings = 7,
  ptPChar = 8,
  ptEnum = 9,
  ptInteger = 10,
  ptShortint = 11,
  ptSmallInt = 12,
  ptLongint = 13,
  ptByte = 14,
  ptWord = 15,
  ptCardinal = 16,
  ptBoolean = 17,
  ptByteBool = 18,
  ptWordBool = 19,
  ptLongBool = 20,
  ptChar = 21,
  ptReal = 22,
  ptSingle = 23,
  ptDouble = 24,
  ptExtended = 25,
  ptComp = 26,
  ptDate = 27,
  ptTime = 28,
  ptDateTime = 29,
  ptSet8 = 30,
  ptSet16 = 31,
  ptSet32 = 32,
  ptSet64 = 33,
  ptSet128 = 34,
  ptSet256 = 35,
  ptShortStr = 36,
  ptSet = 37,
};
constexpr int kPropTypeCount = 38;

// Bytes per property type, as the binary kinds and the older layout use them.
// clang-format off
inline constexpr uint8_t PropDataSize[kPropTypeCount] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 1,   // ptUnknown .. ptEnum
    4, 1, 2, 4, 1, 2, 4,            // ptInteger .. ptCardinal
    1, 1, 2, 4, 1,                  // ptBoolean .. ptChar
    6, 4, 8, 10, 8,                 // ptReal .. ptComp
    8, 8, 8,                        // ptDate .. ptDateTime
    1, 2, 4, 8, 16, 32,             // ptSet8 .. ptSet256
    0, 0};                          // ptShortStr, ptSet
// clang-format on

KVLIB_EXPORT const char* PropTypeName(TPropType type);

// The owned zero-terminated buffer of a ptPChar property.
using TPChar = std::unique_ptr<char[]>;

// What EnumrateProperties is asked to do.
enum TPropAction : uint16_t { paDestroy = 2, paWrite = 3, paRead = 4 };

// The callback EnumrateProperties calls once per stored property: the
// property's variable, its stored name, type, whether it is to be stored
// now, type-specific extra data (ptEnum: the comma-separated value names as
// a const char*), and the pass-through parameter. True means "continue".
class KVLIB_EXPORT TPropProcessor {
public:
  using Fn = bool (*)(void* self, void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                      void* param);
  TPropProcessor(void* self, Fn fn) noexcept : self_(self), fn_(fn) {}
  bool operator()(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                  void* param) const {
    return fn_(self_, prop, name, type, hasData, extra, param);
  }
  // Binds a member function with the processor's parameter list.
  template <auto Method, class C>
  static TPropProcessor Bind(C* obj) noexcept {
    return TPropProcessor(
        obj, [](void* self, void* prop, std::string_view name, TPropType type, bool hasData, const void* extra,
                void* param) { return (static_cast<C*>(self)->*Method)(prop, name, type, hasData, extra, param); });
  }

private:
  void* self_;
  Fn fn_;
};

namespace detail {
template <class F>
constexpr bool IsIntLike = std::is_integral_v<F> || std::is_enum_v<F>;

template <TPropType T, class F>
constexpr bool PropFits() {
  if constexpr (T == ptComponent || T == ptColllection || T == ptObject || T == ptObjects || T == ptStrings)
    return std::is_base_of_v<TObjSlot, F>;
  else if constexpr (T == ptString || T == ptShortStr)
    return std::is_same_v<F, std::string>;
  else if constexpr (T == ptPChar)
    return std::is_same_v<F, TPChar>;
  else if constexpr (T == ptEnum || T == ptShortint || T == ptByte || T == ptSmallInt || T == ptWord ||
                     T == ptInteger || T == ptLongint || T == ptCardinal || T == ptByteBool || T == ptWordBool ||
                     T == ptLongBool)
    return IsIntLike<F> && !std::is_same_v<F, bool> && sizeof(F) == PropDataSize[T];
  else if constexpr (T == ptBoolean)
    return std::is_same_v<F, bool>;
  else if constexpr (T == ptChar)
    return std::is_same_v<F, char>;
  else if constexpr (T == ptReal || T == ptDouble || T == ptDate || T == ptTime || T == ptDateTime)
    return std::is_same_v<F, double>;
  else if constexpr (T == ptSingle)
    return std::is_same_v<F, float>;
  else if constexpr (T == ptExtended)
    return std::is_same_v<F, long double>;
  else if constexpr (T == ptComp)
    return std::is_same_v<F, int64_t>;
  else if constexpr (T >= ptSet8 && T <= ptSet256)
    return std::is_trivially_copyable_v<F> && sizeof(F) == PropDataSize[T];
  else
    return false;
}
}  // namespace detail

class KVLIB_EXPORT TBaseObject : public TObject {
  KV_CLASS(TBaseObject, TObject)
public:
  TBaseObject() = default;
  ~TBaseObject() override;

  virtual void AssignTo(TBaseObject* dest) const;
  // Copies the content of `source`; the base raises EConvertError
  // ("Cannot assign a X to a Y") unless `source` can assign itself.
  virtual void Assign(const TBaseObject* source);
  virtual void DefineProperties(TFiler& filer);
  virtual void DefinePropertiesOld(TFiler& filer);
  virtual std::string GetObjCaption() const { return ClassName(); }
  virtual void BeforeSave(TFiler&) {}
  virtual void AfterSave(TFiler&) {}
  virtual void BeforeLoad(TFiler&) {}
  virtual void AfterLoad(TFiler&) {}
  // Frees what an owned property holds; the processor for action paDestroy.
  bool DestroyProp(void* prop, std::string_view name, TPropType type, bool hasData, const void* extra, void* param);
  virtual void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param);

  // Frees every owned property value (objects, lists, buffers).
  void DestroyProperties();
  // A new deep copy, made by writing this object to memory and reading it back.
  std::unique_ptr<TBaseObject> DuplicateSelf() const;
  void CopyToClipBoard() const;

protected:
  template <TPropType T, class F>
  static bool Prop(const TPropProcessor& proc, void* param, F& field, std::string_view name, bool hasData = true,
                   const void* extra = nullptr) {
    static_assert(detail::PropFits<T, F>(), "field does not fit the property type");
    return proc(&field, name, T, hasData, extra, param);
  }
  // Properties without a field (ptPString_, ptSet).
  static bool EmptyProp(const TPropProcessor& proc, void* param, TPropType type, std::string_view name,
                        bool hasData = true) {
    return proc(nullptr, name, type, hasData, nullptr, param);
  }
};

// Typed duplicate: `auto copy = Duplicate(job);`
template <class T>
std::unique_ptr<T> Duplicate(const T& obj) {
  std::unique_ptr<TBaseObject> copy = obj.DuplicateSelf();
  return OwnedCast<T>(copy);
}

// A keyed list of owned persistent objects, stored as its inner string list.
class KVLIB_EXPORT TStoredStrList : public TBaseObject {
  KV_CLASS(TStoredStrList, TBaseObject)
public:
  TStoredStrList();
  ~TStoredStrList() override;

  void AssignTo(TBaseObject* dest) const override;
  // From another TStoredStrList: its keys and copies of its objects.
  void Assign(const TBaseObject* source) override;
  void DefinePropertiesOld(TFiler& filer) override;
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void AfterLoad(TFiler& filer) override;

  // The objects belong to the list: SetObj, AddObject and InsertObject take
  // `obj` (the list deletes it, and SetObj deletes the one it replaces).
  virtual TBaseObject* GetObj(int index) const;
  virtual void SetObj(int index, TBaseObject* obj);
  virtual int AddObject(const std::string& key, TBaseObject* obj);
  virtual void InsertObject(int index, const std::string& key, TBaseObject* obj);
  // AddObject for an object the caller holds: the list takes it once the
  // line is added; when the line is refused (an error, or an ignored
  // duplicate) `obj` is freed.
  int AddOwned(const std::string& key, std::unique_ptr<TBaseObject> obj);

  TStringList& Inner() const { return *List; }
  int Count() const { return List->Count(); }
  const std::string& Strings(int index) const { return List->Strings(index); }
  void SetString(int index, const std::string& s) { List->SetString(index, s); }
  TObject* Objects(int index) const { return List->Objects(index); }
  int Add(const std::string& key) { return List->Add(key); }
  void AddStrings(const TPlainStringList& other) { List->AddStrings(other); }
  void Insert(int index, const std::string& key) { List->Insert(index, key); }
  void Delete(int index) { List->Delete(index); }
  TObject* Extract(int index) { return List->Extract(index); }  // the caller deletes the result
  void Clear() { List->Clear(); }
  void Exchange(int a, int b) { List->Exchange(a, b); }
  void Move(int from, int to) { List->Move(from, to); }
  int IndexOf(std::string_view key) const { return List->IndexOf(key); }
  int IndexOfObject(const TObject* obj) const { return List->IndexOfObject(obj); }
  bool Equals(const TStoredStrList& other) const { return List->Equals(*other.List); }
  std::string GetText() const { return List->Text(); }
  void SetText(std::string_view text) { List->SetText(text); }
  std::string Values(std::string_view name) const { return List->Values(name); }
  void BeginUpdate() { List->BeginUpdate(); }
  void EndUpdate() { List->EndUpdate(); }
  void Sort() { List->Sort(); }
  bool Sorted() const { return List->Sorted(); }
  void SetSorted(bool v) { List->SetSorted(v); }
  TDuplicates Duplicates() const { return List->Duplicates; }
  void SetDuplicates(TDuplicates d) { List->Duplicates = d; }
  void LoadFromFile(const std::string& fileName) { List->LoadFromFile(fileName); }
  void SaveToFile(const std::string& fileName) const { List->SaveToFile(fileName); }
  void LoadFromStream(TStream& s) { List->LoadFromStream(s); }
  void SaveToStream(TStream& s) const { List->SaveToStream(s); }

  ObjPtr<TStringList> List;  // never null outside loading
};

// The kind of a list inside a stream.
enum TListClassType : uint8_t {
  lcStoredStrList = 0,
  lcZrStringList = 1,
  lcStringList = 2,
  lcStack = 3,
  lcList = 4,
  lcUserDefine = 5,
  lcUnknown = 6,
};

KVLIB_EXPORT TListClassType GetListClassType(const TObject* obj);
// A new empty list of kinds 0-4; null for 5, 6 and any other number.
KVLIB_EXPORT std::unique_ptr<TObject> CreateList(int64_t kind);

// The record that carries a list in the stream.
class KVLIB_EXPORT TListContainer : public TBaseObject {
  KV_CLASS(TListContainer, TBaseObject)
public:
  TListContainer();
  ~TListContainer() override;
  // Writing: wraps `list` without owning it.
  explicit TListContainer(TObject* list);

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  // The list read from a stream (null when none was read).
  std::unique_ptr<TObject> TakeList();

  uint8_t ListType = lcUnknown;
  int32_t ListCount = 0;

private:
  int ItemCount() const;
  TObject* ItemAt(int index) const;
  void StoreItem(int index, std::unique_ptr<TBaseObject> obj);
  TObject* list_ = nullptr;  // the list; deleted by the container when ownsList_ (a list read, not yet taken)
  bool ownsList_ = false;
  TObjSlot readList_{TObject::StaticClass()};  // "Strings" lands here when reading
  ObjPtr<TBaseObject> item_;                   // the item being read
};

// Registers TListContainer and TStoredStrList (done when the library loads).
KVLIB_EXPORT void ClassesRegister();
KVLIB_EXPORT void ClassesUnRegister();

}  // namespace kv
