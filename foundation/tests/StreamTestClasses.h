// Persistent classes used by the object stream tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "foundation/BaseObject.h"
#include "foundation/ObjectStream.h"

namespace kvtest {

using namespace kv;

// One property of every stored kind.
class TAllTypes : public TBaseObject {
  KV_CLASS(TAllTypes, TBaseObject)
public:
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  void Assign(const TBaseObject* source) override;

  std::string S = "text";
  std::string Short = "short";
  TPChar P;
  uint8_t E = 1;  // "Red,Green,Blue"
  int32_t I = -5;
  int8_t SI = -100;
  int16_t Sm = 30000;
  int32_t L = 100000;
  uint8_t B = 200;
  uint16_t W = 60000;
  uint32_t C = 4000000000u;
  bool Bo = true;
  uint8_t BB = 1;
  uint16_t WB = 0;
  uint32_t LB = 7;
  char Ch = 'x';
  double R = 1.25;
  float Sg = 0.5f;
  double D = 3.141592653589793;
  long double X = 1.0L / 3;
  int64_t Cp = -123456789012345;
  double Dt = 45000.5;
  double Tm = 0.25;
  double DtTm = 45000.75;
  uint8_t S8 = 0x81;
  uint16_t S16 = 0x1234;
  uint32_t S32 = 0xDEADBEEF;
  uint64_t S64 = 0x0102030405060708ull;
  std::array<uint8_t, 16> S128{};
  std::array<uint8_t, 32> S256{};
  ObjPtr<TStringList> Lines;
  ObjPtr<TBaseObject> Child;
  ObjPtr<TStoredStrList> Items;
};

// A small object with a name, a number and an optional child of its own kind.
class TNode : public TBaseObject {
  KV_CLASS(TNode, TBaseObject)
public:
  TNode() = default;
  TNode(std::string name, int32_t value) : Name(std::move(name)), Value(value) {}
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  std::string Name;
  int32_t Value = 0;
  ObjPtr<TNode> Next;
};

// Holds a pointer list and a plain string list of nodes.
class TListHolder : public TBaseObject {
  KV_CLASS(TListHolder, TBaseObject)
public:
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;

  ObjPtr<TList> Nodes;
  ObjPtr<TPlainStringList> Named;
  ObjPtr<TStack> Stack;
};

// Declares one integer property of a chosen type, for exact byte checks.
class TOneInt : public TBaseObject {
  KV_CLASS(TOneInt, TBaseObject)
public:
  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override;
  int32_t V = 0;
  uint8_t Byte = 0;
  bool UseByte = false;
};

// An object with no stored property.
class TEmpty : public TBaseObject {
  KV_CLASS(TEmpty, TBaseObject)
};

// Bytes given as numbers.
inline std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

// A short name string: its length byte and its bytes.
inline std::string Name(std::string_view s) { return static_cast<char>(s.size()) + std::string(s); }

// The whole stream of an object, signature included.
inline std::string Write(const TBaseObject* obj) {
  TMemoryStream m;
  StreamWriteObject(m, obj);
  return m.Bytes();
}

}  // namespace kvtest
