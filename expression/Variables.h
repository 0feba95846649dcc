// Variable nodes: a reference to a named variable (a bare name in an
// expression) and an assignment (name := value). Both are bound at
// translation to the translator's current variable list and look the name
// up in that list and its parents when they are evaluated.
#pragma once

#include <cstdint>
#include <string>

#include "KVLib_export.h"
#include "expression/Function.h"

namespace kv {

class TVarList;

// Child 0 is the name as a text constant. Evaluation calls the variable's
// Calculate (a database field re-reads its field) and copies its type and
// value. A name that no longer exists leaves the previous value.
class KVLIB_EXPORT TExp_VarRef : public TFunction {
  KV_CLASS(TExp_VarRef, TFunction)
public:
  // Binds to the current variable list of the translating translator; etAny.
  bool TransOverOK() override;
  bool IsConst() const override { return false; }
  void Evaluate(int32_t stamp) override;
  void Calculate() override;

  TVarList* BoundList() const noexcept { return list_; }
  void Bind(TVarList* list);
  // The variable's name as written.
  std::string VarName() const;

protected:
  void CopyStateTo(TExpression& copy) const override;
  // The variable named `name` in the bound list or its parents, or null. The
  // lookup is remembered until some variable list changes.
  TExpression* FindVar(const std::string& name);
  // The name from child 0 (read once when it is a constant).
  const std::string& Name() { return nameFixed_ ? name_ : ReadName(); }
  const std::string& ReadName();

  TVarList* list_ = nullptr;
  std::string name_;
  bool nameFixed_ = false;

private:
  uint64_t epoch_ = 0;
  const TVarList* cacheList_ = nullptr;
  int cacheIndex_ = -1;
  TExpression* cacheNode_ = nullptr;
  std::string cacheName_;
};

// A reference that stands for the definition of a variable; it evaluates
// like a reference.
class KVLIB_EXPORT TExp_VarDef : public TExp_VarRef {
  KV_CLASS(TExp_VarDef, TExp_VarRef)
};

// name := value. Child 0 is the name (read as text), child 1 the value. The
// node takes the value's type and value; the variable takes them too, or,
// when the bound list and its parents have no such variable, a new variable
// is added to the bound list with the value and a copy of its format.
class KVLIB_EXPORT TExp_VarAssign : public TExp_VarRef {
  KV_CLASS(TExp_VarAssign, TExp_VarRef)
public:
  int FixedParamCount() const override { return 2; }
  void Evaluate(int32_t stamp) override;
  void Calculate() override;
};

}  // namespace kv
