// Feeds arbitrary bytes to the object stream reader, the older-layout
// reader and the binary-to-text converter. Whatever reads as an object must
// write back to bytes that read back; from the second writing on the bytes
// are stable (the first may differ: a value equal to zero is not stored and
// reads back as its default).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/Exceptions.h"
#include "foundation/ObjectStream.h"
#include "foundation/ObjectText.h"

using namespace kv;

namespace {
std::string Write(const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  return m.Bytes();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    TMemoryStream m(bytes);
    std::unique_ptr<TBaseObject> obj(StreamReadObject(m));
    if (obj) {
      std::string once = Write(obj.get());
      TMemoryStream m2(once);
      std::unique_ptr<TBaseObject> obj2(StreamReadObject(m2));
      if (!obj2) std::abort();
      std::string twice = Write(obj2.get());
      TMemoryStream m3(twice);
      std::unique_ptr<TBaseObject> obj3(StreamReadObject(m3));
      if (!obj3 || Write(obj3.get()) != twice) std::abort();
    }
  } catch (const Exception&) {
  }
  try {
    TMemoryStream m(bytes);
    std::unique_ptr<TBaseObject> obj(StreamReadObjectOld(m));
  } catch (const Exception&) {
  }
  try {
    std::string text = ObjectBinaryToText(bytes);
    // Hiding passwords reads exactly the same stream: it fails where the
    // full text fails and differs only where a password was hidden.
    std::string hidden = ObjectBinaryToTextHidingPasswords(bytes);
    if (!HoldsHiddenPassword(hidden) && hidden != text) __builtin_trap();
  } catch (const Exception&) {
  }
  return 0;
}
