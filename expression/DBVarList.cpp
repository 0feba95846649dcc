// Dataset and field variables.
#include "expression/DBVarList.h"

#include <string>
#include <vector>

#include "expression/DBFunctions.h"

namespace kv {

KV_IMPLEMENT_CLASS(TDBVarList, TVarList)

namespace {

const TClassRegistrar g_classes{TDBVarList::StaticClass()};

// The variable name of a field: prefix + "." + field name, or the field name alone.
std::string FieldVarName(std::string_view prefix, std::string_view field) {
  if (prefix.empty()) return std::string(field);
  std::string s;
  s.reserve(prefix.size() + 1 + field.size());
  s.append(prefix).append(1, '.').append(field);
  return s;
}

// A field variable's node: handle and field name as constants, typed from the field.
std::unique_ptr<TExpression> FieldNode(int64_t handle, const TDBFieldInfo& info) {
  auto node = std::make_unique<TExp_DBField>();
  node->PutSubExp(0, CreateIntExp(handle).release());
  node->PutSubExp(1, CreateStrExp(info.Name).release());
  node->SettleType(info.Type);
  return node;
}

// Whether `node` is a field variable of `handle` stored under `key`, as
// DefineFields with `prefix` makes it.
bool IsFieldVarOf(const TExpression* node, const std::string& key, int64_t handle, std::string_view prefix) {
  if (!node || node->ClassType() != TExp_DBField::StaticClass()) return false;
  const TExpression* h = node->GetSubExp(0);
  const TExpression* f = node->GetSubExp(1);
  if (!h || !f || h->DataType != etInteger || h->GetInteger() != handle) return false;
  return VarKey(FieldVarName(prefix, f->GetString())) == key;
}

}  // namespace

std::unique_ptr<TDBVarList> CreateDBVarList(TVarList* parent) {
  auto list = std::make_unique<TDBVarList>();
  list->SetVarListParent(parent);
  list->SetParentEnabled(true);
  return list;
}

void DefineDataSet(TVarList* list, int64_t handle, std::string_view name) {
  if (!list || name.empty()) return;
  list->SetVarExp(name, CreateIntExp(handle));
}

void UndefineDataSet(TVarList* list, std::string_view name) {
  if (!list || name.empty()) return;
  list->SetVarExp(name, nullptr);
}

void DefineFields(TVarList* list, int64_t handle, std::string_view name) {
  if (!list) return;
  IDBCursor* cursor = FindDBCursor(handle);
  if (!cursor)
    throw EDBFunctionError("Cannot define the fields of dataset handle " + std::to_string(handle) +
                           ": it names no open dataset");
  // Everything is read from the cursor before the list changes, so a
  // failing cursor leaves the list as it was.
  const int count = cursor->FieldCount();
  std::vector<TDBFieldInfo> fields;
  fields.reserve(static_cast<size_t>(count > 0 ? count : 0));
  for (int i = 0; i < count; ++i) fields.push_back(cursor->FieldInfo(i));
  DefineDataSet(list, handle, name);
  for (const TDBFieldInfo& info : fields)
    if (!info.Name.empty()) list->SetVarExp(FieldVarName(name, info.Name), FieldNode(handle, info));
}

void UndefineFields(TVarList* list, int64_t handle, std::string_view name) {
  if (!list) return;
  for (int i = list->Count() - 1; i >= 0; --i) {
    const std::string key = list->Strings(i);
    if (IsFieldVarOf(list->VarAt(i), key, handle, name)) list->SetVarExp(key, nullptr);
  }
  if (name.empty()) return;
  const int i = list->IndexOfVar(name);
  const TExpression* v = i >= 0 ? list->VarAt(i) : nullptr;
  if (v && v->ClassType() == TExpression::StaticClass() && v->DataType == etInteger && v->GetInteger() == handle)
    list->SetVarExp(name, nullptr);
}

void TDBVarList::DefineDataSet(int64_t handle, std::string_view name) { kv::DefineDataSet(this, handle, name); }
void TDBVarList::UndefineDataSet(std::string_view name) { kv::UndefineDataSet(this, name); }
void TDBVarList::DefineFields(int64_t handle, std::string_view name) { kv::DefineFields(this, handle, name); }
void TDBVarList::UndefineFields(int64_t handle, std::string_view name) { kv::UndefineFields(this, handle, name); }

}  // namespace kv
