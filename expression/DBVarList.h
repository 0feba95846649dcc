// The variables a dataset gives expressions: the dataset itself (its
// handle, an etInteger constant) and one variable per field, whose value is
// read from the dataset's current record each time an expression that
// names it is evaluated. See DBFunctions.h for handles and cursors.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "KVLib_export.h"
#include "expression/VarList.h"

namespace kv {

// A variable list that holds dataset and field variables (it may hold any
// other variables too).
class KVLIB_EXPORT TDBVarList : public TVarList {
  KV_CLASS(TDBVarList, TVarList)
public:
  // The operations below are the free functions of the same names on this list.
  void DefineDataSet(int64_t handle, std::string_view name);
  void UndefineDataSet(std::string_view name);
  void DefineFields(int64_t handle, std::string_view name);
  void UndefineFields(int64_t handle, std::string_view name);
};

// A new list with VarListParent = parent and ParentEnabled = true.
KVLIB_EXPORT std::unique_ptr<TDBVarList> CreateDBVarList(TVarList* parent);

// The free functions work on any variable list; a null list does nothing.

// When `name` is not empty: the variable `name` = `handle` (an etInteger
// constant). An empty name defines nothing.
KVLIB_EXPORT void DefineDataSet(TVarList* list, int64_t handle, std::string_view name);
// When `name` is not empty: removes the variable `name`.
KVLIB_EXPORT void UndefineDataSet(TVarList* list, std::string_view name);
// DefineDataSet, then, for every field of the dataset in field order, a
// field variable named name + "." + field name (just the field name when
// `name` is empty). Its node is a TExp_DBField holding the handle and the
// field name, typed from the field now. Fields without a name get no
// variable; of fields whose variable names coincide, the last one wins.
// EDBFunctionError when `handle` names no live cursor (nothing is defined then).
KVLIB_EXPORT void DefineFields(TVarList* list, int64_t handle, std::string_view name);
// Removes the field variables that DefineFields made for `handle` and
// `name` (found by their names and the handle their nodes hold, so this
// works after the dataset is gone), and the dataset variable `name` when
// it holds `handle`.
KVLIB_EXPORT void UndefineFields(TVarList* list, int64_t handle, std::string_view name);

}  // namespace kv
