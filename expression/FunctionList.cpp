#include "expression/FunctionList.h"

#include <algorithm>
#include <mutex>

#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/VarList.h"

namespace kv {

KV_IMPLEMENT_CLASS(TFuncionRegisterInfo, TObject)
KV_IMPLEMENT_CLASS(TFunctionList, TPlainStringList)

// ---- TFunctionList ----------------------------------------------------------------------

TFunctionList::TFunctionList() { SetOwnsObjects(true); }

TFunctionList::~TFunctionList() = default;

void TFunctionList::AddFunction(std::string_view name, const TClassInfo* functionClass) {
  if (!functionClass || !functionClass->InheritsFrom(TFunction::StaticClass())) return;
  AddObject(VarKey(name), new TFuncionRegisterInfo(functionClass));
}

void TFunctionList::AddFunctions(const std::vector<std::string_view>& names,
                                 const std::vector<const TClassInfo*>& classes) {
  const size_t n = std::min(names.size(), classes.size());
  for (size_t i = 0; i < n; ++i) AddFunction(names[i], classes[i]);
}

const TClassInfo* TFunctionList::GetFuncClass(std::string_view name) const {
  const int n = Count();
  for (int i = 0; i < n; ++i) {
    if (SameTextAscii(Strings(i), name)) {
      auto* info = ObjCast<TFuncionRegisterInfo>(Objects(i));
      return info ? info->FunctionClass : nullptr;
    }
  }
  return nullptr;
}

std::unique_ptr<TFunction> TFunctionList::CreateFunction(std::string_view name) const {
  const TClassInfo* cls = GetFuncClass(name);
  if (!cls) return nullptr;
  std::unique_ptr<TObject> obj = cls->Create();
  return OwnedCast<TFunction>(obj);
}

// ---- Batches ------------------------------------------------------------------------------

namespace {

struct TBatchTable {
  TFunctionBatch batch;
  int part;
  int id;
  const std::vector<TFunctionDef>* functions;
};

struct TCatalogue {
  std::mutex lock;
  std::vector<TBatchTable> tables;  // kept sorted by batch, part, id
  int nextId = 0;
};

TCatalogue& Catalogue() {
  static TCatalogue* c = new TCatalogue;  // outlives every registrar, whatever the unload order
  return *c;
}

}  // namespace

TFunctionBatchRegistrar::TFunctionBatchRegistrar(TFunctionBatch batch, int part,
                                                 std::initializer_list<TFunctionDef> functions)
    : functions_(functions) {
  for (const TFunctionDef& f : functions_)
    if (f.Class) RegisterClass(f.Class);
  TCatalogue& c = Catalogue();
  std::lock_guard g(c.lock);
  id_ = c.nextId++;
  TBatchTable t{batch, part, id_, &functions_};
  auto at = std::upper_bound(c.tables.begin(), c.tables.end(), t, [](const TBatchTable& a, const TBatchTable& b) {
    if (a.batch != b.batch) return a.batch < b.batch;
    if (a.part != b.part) return a.part < b.part;
    return a.id < b.id;
  });
  c.tables.insert(at, t);
}

TFunctionBatchRegistrar::~TFunctionBatchRegistrar() {
  {
    TCatalogue& c = Catalogue();
    std::lock_guard g(c.lock);
    c.tables.erase(std::remove_if(c.tables.begin(), c.tables.end(), [this](const TBatchTable& t) { return t.id == id_; }),
                   c.tables.end());
  }
  for (const TFunctionDef& f : functions_)
    if (f.Class) UnRegisterClass(f.Class);
}

std::vector<TFunctionDef> FunctionBatch(TFunctionBatch batch) {
  std::vector<TFunctionDef> out;
  TCatalogue& c = Catalogue();
  std::lock_guard g(c.lock);
  for (const TBatchTable& t : c.tables)
    if (t.batch == batch) out.insert(out.end(), t.functions->begin(), t.functions->end());
  return out;
}

void RegisterFunctionBatch(TFunctionList& list, TFunctionBatch batch) {
  list.BeginUpdate();
  for (const TFunctionDef& f : FunctionBatch(batch)) list.AddFunction(f.Name, f.Class);
  list.EndUpdate();
}

void RegisterBaseFunctions(TFunctionList& list) {
  for (TFunctionBatch b : {fbMath, fbText, fbConversion, fbDateTime, fbControl}) RegisterFunctionBatch(list, b);
}

void RegisterBaseFunctions() {
  if (TExpTranslator* t = GetTranslator()) RegisterBaseFunctions(*t->FunctionList);
}

}  // namespace kv
