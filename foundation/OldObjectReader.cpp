#include "foundation/OldObjectReader.h"

#include <cmath>
#include <cstring>

#include "foundation/Exceptions.h"

namespace kv {

namespace {

// The old six-byte real: an exponent byte (0 for zero), then 39 fraction bits
// and the sign bit, least significant byte first.
long double Real48ToExtended(const uint8_t* b) {
  if (b[0] == 0) return 0.0L;
  uint64_t frac = 0;
  for (int i = 5; i >= 1; --i) frac = (frac << 8) | b[i];
  bool negative = (frac >> 39) & 1;
  frac &= (uint64_t{1} << 39) - 1;
  long double m = 1.0L + std::ldexp(static_cast<long double>(frac), -39);
  long double v = std::ldexp(m, static_cast<int>(b[0]) - 129);
  return negative ? -v : v;
}

}  // namespace

std::unique_ptr<TBaseObject> TOldObjReader::ReadObjectOld() {
  if (PeekByte() == vaNull) {
    ReadByte();
    return nullptr;
  }
  EnterNesting();
  TNestingGuard g(depth_);
  std::string className = ReadStr();
  const TClassInfo* cls = FindClass(className);
  if (!cls || !cls->Factory) throw EClassNotFound("Class " + className + " not found");
  if (!cls->InheritsFrom(TBaseObject::StaticClass())) Error("Invalid class type " + className);
  std::unique_ptr<TObject> made = cls->Create();
  std::unique_ptr<TBaseObject> obj = OwnedCast<TBaseObject>(made);
  obj->BeforeLoad(*this);
  while (!EndOfList()) {
    CurrentPropName = ReadStr();
    propConsumed_ = false;
    std::string name = CurrentPropName;
    obj->DefinePropertiesOld(*this);
    // Old values carry no tag, so an unknown one cannot be stepped over.
    if (!propConsumed_) Error("Unknown property " + name + " in " + className);
  }
  ReadByte();
  CurrentPropName.clear();
  obj->AfterLoad(*this);
  return obj;
}

void TOldObjReader::ReadStoredListOld(TStoredStrList& list) {
  list.Clear();
  while (!EndOfList()) {
    std::string key = ReadString();
    list.AddOwned(key, ReadObjectOld());
  }
  ReadByte();
}

void TOldObjReader::ReadListOld(TObjSlot& slot, bool withObjects) {
  int64_t kind = ReadInteger();
  if (ReadByte() != vaList) InvalidValue();
  std::unique_ptr<TObject> list = CreateList(kind);
  if (!list) InvalidValue();
  TPlainStringList* lines = nullptr;
  if (auto* s = ObjCast<TStoredStrList>(list.get()))
    lines = &s->Inner();
  else
    lines = ObjCast<TPlainStringList>(list.get());
  auto* items = ObjCast<TList>(list.get());
  // Item lists are always read with their objects; string lists only for ptObjects.
  if (items) items->OwnsObjects = true;
  if (lines && withObjects) lines->SetOwnsObjects(true);
  while (!EndOfList()) {
    if (lines) {
      std::string key = ReadString();
      lines->AddOwned(key, withObjects ? ReadObjectOld() : nullptr);
    } else {
      items->AddOwned(ReadObjectOld());
    }
  }
  ReadByte();
  StoreList(slot, std::move(list));
}

bool TOldObjReader::ReadPropertyOld(void* prop, std::string_view name, TPropType type, bool, const void* extra, void*) {
  if (!MatchProperty(name)) return true;
  switch (type) {
    case ptComponent:
    case ptColllection:
    case ptObject: {
      auto& slot = *static_cast<TObjSlot*>(prop);
      std::unique_ptr<TBaseObject> obj = ReadObjectOld();
      if (!slot.Accepts(obj.get())) Error(std::string("Invalid class type ") + obj->ClassName());
      slot.Take(std::move(obj));
      break;
    }
    case ptObjects: ReadListOld(*static_cast<TObjSlot*>(prop), true); break;
    case ptStrings: ReadListOld(*static_cast<TObjSlot*>(prop), false); break;
    case ptString: *static_cast<std::string*>(prop) = ReadStr(); break;
    case ptShortStr: {
      std::string s = ReadStr();
      if (s.size() > kMaxShortStringLength) s.resize(kMaxShortStringLength);
      *static_cast<std::string*>(prop) = std::move(s);
      break;
    }
    case ptPChar: {
      int64_t n = ReadInteger();
      if (n < 0) InvalidValue();
      CheckLength(static_cast<uint64_t>(n));
      std::string s(static_cast<size_t>(n), '\0');
      Read(s.data(), s.size());
      AppendPChar(prop, s);
      break;
    }
    case ptEnum: StoreEnum(prop, extra, ReadStr()); break;
    case ptReal: {
      // The old six-byte real.
      uint8_t b[6];
      Read(b, 6);
      *static_cast<double*>(prop) = static_cast<double>(Real48ToExtended(b));
      break;
    }
    case ptBoolean: *static_cast<bool*>(prop) = ReadByte() != 0; break;
    case ptExtended: {
      uint8_t b[16] = {};
      Read(b, 10);
      std::memcpy(prop, b, 10);
      break;
    }
    default: {
      uint8_t size = PropDataSize[type < kPropTypeCount ? type : 0];
      if (size && prop) Read(prop, size);
      break;
    }
  }
  return false;
}
}  // namespace kv
