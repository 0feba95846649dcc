// Writing a persistent object to its stored bytes and reading it back, for
// tests of stored forms.
#pragma once

#include <memory>
#include <string>

#include "foundation/BaseObject.h"
#include "foundation/ObjectStream.h"
#include "foundation/Streams.h"

namespace kvtest {

// The bytes the object stream writes for `obj`.
inline std::string WriteObjectBytes(const kv::TBaseObject& obj) {
  kv::TMemoryStream m;
  kv::StreamWriteObject(m, &obj);
  return m.Bytes();
}

// The object read from `bytes` when it is a T; null when it is another
// class. Errors of the reader pass to the caller.
template <class T>
std::unique_ptr<T> ReadObjectBytes(const std::string& bytes) {
  kv::TMemoryStream m(bytes);
  std::unique_ptr<kv::TBaseObject> obj(kv::StreamReadObject(m));
  T* typed = kv::ObjCast<T>(obj.get());
  if (!typed) return nullptr;
  obj.release();
  return std::unique_ptr<T>(typed);
}

}  // namespace kvtest
