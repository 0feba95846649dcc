// The function registry. Each translator has its own TFunctionList: entries
// in registration order, key = the function name in upper case, object = a
// TFuncionRegisterInfo naming the node class. Lookups ignore letter case and
// take the first entry of a name.
//
// The library's functions are declared once, process-wide, in batches: every
// source file of the function library holds a table of (name, class) pairs
// and a TFunctionBatchRegistrar that enters the table into its batch when
// the library loads. RegisterBaseFunctions then copies the base batches, in
// their fixed order, into a translator's list. See docs/expression-functions.md.
#pragma once

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "KVLib_export.h"
#include "expression/Function.h"
#include "foundation/StringLists.h"

namespace kv {

// The object of one function-list entry.
class KVLIB_EXPORT TFuncionRegisterInfo : public TObject {
  KV_CLASS(TFuncionRegisterInfo, TObject)
public:
  TFuncionRegisterInfo() = default;
  explicit TFuncionRegisterInfo(const TClassInfo* functionClass) : FunctionClass(functionClass) {}
  const TClassInfo* FunctionClass = nullptr;
};

class KVLIB_EXPORT TFunctionList : public TPlainStringList {
  KV_CLASS(TFunctionList, TPlainStringList)
public:
  TFunctionList();
  ~TFunctionList() override;

  // Appends (upper-cased name, class). A name already present is appended
  // again; the earlier entry keeps winning. Classes that do not derive from
  // TFunction are ignored.
  void AddFunction(std::string_view name, const TClassInfo* functionClass);
  // AddFunction for each pair of the two parallel lists, in order.
  void AddFunctions(const std::vector<std::string_view>& names, const std::vector<const TClassInfo*>& classes);
  // The class of the first entry for `name` (any letter case), or null.
  const TClassInfo* GetFuncClass(std::string_view name) const;
  // A new node of that class, or null.
  std::unique_ptr<TFunction> CreateFunction(std::string_view name) const;
};

// ---- Process-wide function batches --------------------------------------------------

// The batches, in the order RegisterBaseFunctions adds them.
enum TFunctionBatch : uint8_t {
  fbMath = 0,
  fbText = 1,
  fbConversion = 2,
  fbDateTime = 3,
  fbControl = 4,
  fbDataBase = 5,  // not a base batch: RegisterDBFunctions adds it
};
inline constexpr int kFunctionBatchCount = 6;

struct TFunctionDef {
  const char* Name;
  const TClassInfo* Class;
};

// Enters a table of functions into a batch when the library loads (and
// removes it when the library unloads); the classes are also entered in the
// class registry, so compiled trees can be streamed. Within a batch, tables
// are ordered by `part`, then by the order of their rows.
class KVLIB_EXPORT TFunctionBatchRegistrar {
public:
  TFunctionBatchRegistrar(TFunctionBatch batch, int part, std::initializer_list<TFunctionDef> functions);
  ~TFunctionBatchRegistrar();
  TFunctionBatchRegistrar(const TFunctionBatchRegistrar&) = delete;
  TFunctionBatchRegistrar& operator=(const TFunctionBatchRegistrar&) = delete;

private:
  std::vector<TFunctionDef> functions_;
  int id_;
};

// The functions of one batch in registration order.
KVLIB_EXPORT std::vector<TFunctionDef> FunctionBatch(TFunctionBatch batch);
// Appends one batch to `list`.
KVLIB_EXPORT void RegisterFunctionBatch(TFunctionList& list, TFunctionBatch batch);
// Appends the base batches (mathematics, text, conversion, date and time,
// control) to `list`, or to the function list of the calling thread's
// translator (nothing when the thread has none).
KVLIB_EXPORT void RegisterBaseFunctions(TFunctionList& list);
KVLIB_EXPORT void RegisterBaseFunctions();

}  // namespace kv
