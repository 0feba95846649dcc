// The root of the libraries' class tree: run-time class information, the
// process-wide class registry through which object streams re-create objects
// by class name, and owning object slots.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "KVLib_export.h"

namespace kv {

class TObject;

// Class information: one static record per class, reached through
// `T::StaticClass()` or `obj->ClassType()`.
struct KVLIB_EXPORT TClassInfo {
  const char* Name;
  const TClassInfo* Parent;
  TObject* (*Factory)();  // the virtual constructor (a new object the caller deletes); null for abstract classes

  bool InheritsFrom(const TClassInfo* other) const noexcept;
  // A new object of this class; null for abstract classes.
  std::unique_ptr<TObject> Create() const { return std::unique_ptr<TObject>(Factory ? Factory() : nullptr); }
};

class KVLIB_EXPORT TObject {
public:
  using inherited = void;
  TObject() = default;
  virtual ~TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static const TClassInfo* StaticClass();
  virtual const TClassInfo* ClassType() const;
  const char* ClassName() const { return ClassType()->Name; }
  bool InheritsFrom(const TClassInfo* c) const { return ClassType()->InheritsFrom(c); }
  template <class T>
  bool Is() const {
    return InheritsFrom(T::StaticClass());
  }
};

// Declares the class information members; pair it with KV_IMPLEMENT_CLASS
// (or KV_IMPLEMENT_ABSTRACT_CLASS) in the class's source file.
#define KV_CLASS(Name, Base)                          \
public:                                               \
  using inherited = Base;                             \
  static const ::kv::TClassInfo* StaticClass();       \
  const ::kv::TClassInfo* ClassType() const override; \
                                                      \
private:

#define KV_IMPLEMENT_CLASS(Name, Base)                                                                             \
  const ::kv::TClassInfo* Name::StaticClass() {                                                                    \
    static const ::kv::TClassInfo info{#Name, Base::StaticClass(), []() -> ::kv::TObject* { return new Name(); }}; \
    return &info;                                                                                                  \
  }                                                                                                                \
  const ::kv::TClassInfo* Name::ClassType() const { return StaticClass(); }

#define KV_IMPLEMENT_ABSTRACT_CLASS(Name, Base)                              \
  const ::kv::TClassInfo* Name::StaticClass() {                              \
    static const ::kv::TClassInfo info{#Name, Base::StaticClass(), nullptr}; \
    return &info;                                                            \
  }                                                                          \
  const ::kv::TClassInfo* Name::ClassType() const { return StaticClass(); }

// Checked down-cast: null when `obj` is null or not of class T.
template <class T>
T* ObjCast(TObject* obj) {
  return obj && obj->Is<T>() ? static_cast<T*>(obj) : nullptr;
}
template <class T>
const T* ObjCast(const TObject* obj) {
  return obj && obj->Is<T>() ? static_cast<const T*>(obj) : nullptr;
}
// Checked down-cast of an owned object: when `obj` is of class T the result
// takes it over and `obj` is left empty; otherwise the result is null and
// `obj` keeps what it holds.
template <class T, class U>
std::unique_ptr<T> OwnedCast(std::unique_ptr<U>& obj) {
  if (!ObjCast<T>(obj.get())) return nullptr;
  return std::unique_ptr<T>(static_cast<T*>(obj.release()));
}

// Byte comparison that folds ASCII letters only (UTF-8 bytes compare as they are).
KVLIB_EXPORT bool SameTextAscii(std::string_view a, std::string_view b) noexcept;
KVLIB_EXPORT int CompareTextAscii(std::string_view a, std::string_view b) noexcept;

// ---- Class registry ---------------------------------------------------------
// Persistent classes are entered here when their library loads, so a stream
// can name the class of each object it holds. Names compare ignoring case.
KVLIB_EXPORT void RegisterClass(const TClassInfo* cls);
KVLIB_EXPORT void UnRegisterClass(const TClassInfo* cls);
KVLIB_EXPORT const TClassInfo* FindClass(std::string_view name);  // null when unknown
KVLIB_EXPORT std::vector<const TClassInfo*> GetClassList();

// Registers a class for the lifetime of the library that holds this object.
class KVLIB_EXPORT TClassRegistrar {
public:
  explicit TClassRegistrar(std::initializer_list<const TClassInfo*> classes);
  ~TClassRegistrar();
  TClassRegistrar(const TClassRegistrar&) = delete;
  TClassRegistrar& operator=(const TClassRegistrar&) = delete;

private:
  std::vector<const TClassInfo*> classes_;
};

// ---- Owning slots -------------------------------------------------------------
// A field that owns one object of a given class (or nothing): the slot deletes
// its object when it is reset or destroyed. Object streams read into it
// through the untyped base, which refuses objects of any other class, so a
// crafted file cannot put the wrong kind of object into a field. (A slot and
// not a std::unique_ptr, because the stream needs the class and the untyped
// access.)
class KVLIB_EXPORT TObjSlot {
public:
  explicit TObjSlot(const TClassInfo* type) noexcept : type_(type) {}
  ~TObjSlot();
  TObjSlot(const TObjSlot&) = delete;
  TObjSlot& operator=(const TObjSlot&) = delete;
  TObjSlot(TObjSlot&& other) noexcept : ptr_(other.ptr_), type_(other.type_) { other.ptr_ = nullptr; }

  TObject* Get() const noexcept { return ptr_; }
  const TClassInfo* Type() const noexcept { return type_; }
  bool Accepts(const TObject* obj) const noexcept { return !obj || obj->InheritsFrom(type_); }
  // Frees the current object and takes `obj`, which the slot deletes from
  // then on; the caller checks Accepts first.
  void Reset(TObject* obj = nullptr) noexcept;
  void Take(std::unique_ptr<TObject> obj) noexcept { Reset(obj.release()); }
  // Gives up the object without freeing it: the caller deletes it.
  TObject* Release() noexcept {
    TObject* p = ptr_;
    ptr_ = nullptr;
    return p;
  }

protected:
  TObject* ptr_ = nullptr;
  const TClassInfo* type_;
};

// The typed slot for fields: the std::unique_ptr interface over TObjSlot.
template <class T>
class ObjPtr : public TObjSlot {
public:
  ObjPtr() : TObjSlot(T::StaticClass()) {}
  explicit ObjPtr(T* p) : TObjSlot(T::StaticClass()) { ptr_ = p; }  // takes `p`
  ObjPtr(ObjPtr&&) noexcept = default;
  ObjPtr& operator=(ObjPtr&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }

  T* get() const noexcept { return static_cast<T*>(ptr_); }
  T* operator->() const noexcept { return get(); }
  T& operator*() const noexcept { return *get(); }
  explicit operator bool() const noexcept { return ptr_ != nullptr; }
  void reset(T* p = nullptr) noexcept { Reset(p); }  // frees the object held, takes `p`
  // Frees the object held and takes `p`.
  ObjPtr& operator=(std::unique_ptr<T> p) noexcept {
    Reset(p.release());
    return *this;
  }
  T* release() noexcept { return static_cast<T*>(Release()); }  // the caller deletes the result
  std::unique_ptr<T> Extract() noexcept { return std::unique_ptr<T>(release()); }
};

}  // namespace kv
