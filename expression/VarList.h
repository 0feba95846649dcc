// Variable lists: named values that expressions read and assign. A list maps
// upper-cased names to owned TExpression nodes and may continue its lookups
// in a parent list, so lists form chains (a dataset's fields, then a DB
// link's variables, then the job's variables).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "KVLib_export.h"
#include "expression/Expression.h"
#include "foundation/BaseObject.h"

namespace kv {

class KVLIB_EXPORT TVarList : public TStoredStrList {
  KV_CLASS(TVarList, TStoredStrList)
public:
  TVarList();
  // Destroying the list that is the current list of the calling thread's
  // translator makes this list's parent the translator's current list.
  ~TVarList() override;

  // The node stored under `name` (any letter case) here or, while
  // ParentEnabled, in the parent chain; null when none. Not owned by the caller.
  TExpression* GetVarExp(std::string_view name) const;
  // This list only: the index of `name`, -1 when absent.
  int IndexOfVar(std::string_view name) const;
  // Works on this list only. Present and `exp` given: the old node is freed
  // (unless it is `exp`) and `exp` stored. Present and `exp` null: the entry
  // is removed and freed. Absent and `exp` given: added under the upper-cased
  // name. The list owns what it stores.
  virtual void SetVarExp(std::string_view name, TExpression* exp);
  void SetVarExp(std::string_view name, std::unique_ptr<TExpression> exp) { SetVarExp(name, exp.release()); }
  // The variable node at `index`.
  TExpression* VarAt(int index) const;

  TVarList* VarListParent() const noexcept { return parent_; }
  void SetVarListParent(TVarList* parent) noexcept;
  bool ParentEnabled() const noexcept { return parentEnabled_; }
  void SetParentEnabled(bool enabled) noexcept;

  void AfterLoad(TFiler& filer) override;

private:
  void HookList();
  TVarList* parent_ = nullptr;
  bool parentEnabled_ = false;
};

// A counter that moves whenever any variable list anywhere adds, removes,
// replaces or reorders entries, changes its parent or is destroyed. Compiled
// variable references compare it to decide whether a remembered lookup is
// still good.
KVLIB_EXPORT uint64_t VarListEpoch() noexcept;
KVLIB_EXPORT void BumpVarListEpoch() noexcept;

// Upper-cases the ASCII letters of a variable name (other bytes are kept).
KVLIB_EXPORT std::string VarKey(std::string_view name);

// ---- Free functions ----------------------------------------------------------------
// A new list with VarListParent = parent and ParentEnabled = true.
KVLIB_EXPORT std::unique_ptr<TVarList> CreateVarList(TVarList* parent);
// Destroys `list` if set and clears the reference.
KVLIB_EXPORT void FreeVarList(TVarList*& list) noexcept;
KVLIB_EXPORT TVarList* GetVarListParent(const TVarList* list) noexcept;
KVLIB_EXPORT void SetVarListParent(TVarList* list, TVarList* parent) noexcept;
KVLIB_EXPORT bool VarListParentEnabled(const TVarList* list) noexcept;
KVLIB_EXPORT void EnableVarListParent(TVarList* list, bool enabled) noexcept;
KVLIB_EXPORT TExpression* GetVarExp(const TVarList* list, std::string_view name);
KVLIB_EXPORT void SetVarExp(TVarList* list, std::string_view name, TExpression* exp);

}  // namespace kv
