#include "expression/VarList.h"

#include <atomic>

#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "foundation/CharClass.h"

namespace kv {

KV_IMPLEMENT_CLASS(TVarList, TStoredStrList)

namespace {

const TClassRegistrar g_classes{TVarList::StaticClass()};

std::atomic<uint64_t> g_epoch{1};

// A parent chain longer than this is taken to be a loop and ends the lookup.
constexpr int kMaxChainLength = 4096;

}  // namespace

uint64_t VarListEpoch() noexcept { return g_epoch.load(std::memory_order_relaxed); }

void BumpVarListEpoch() noexcept { g_epoch.fetch_add(1, std::memory_order_relaxed); }

std::string VarKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = AsciiUpper(c);
  return key;
}

TVarList::TVarList() { HookList(); }

TVarList::~TVarList() {
  BumpVarListEpoch();
  if (TExpTranslator* t = GetTranslator(); t && t->VarList == this) t->VarList = parent_;
}

void TVarList::HookList() {
  if (!List) return;
  // Entries can also change through the inherited list operations; every
  // change moves the epoch so that remembered lookups are redone.
  List->OnChanging = [](TPlainStringList&) { BumpVarListEpoch(); };
  List->OnChange = [](TPlainStringList&) { BumpVarListEpoch(); };
}

void TVarList::AfterLoad(TFiler& filer) {
  inherited::AfterLoad(filer);
  HookList();
  for (int i = 0; i < Count(); ++i) {
    const std::string& key = Strings(i);
    std::string upper = VarKey(key);
    if (upper != key) SetString(i, upper);
  }
  BumpVarListEpoch();
}

int TVarList::IndexOfVar(std::string_view name) const {
  const TStringList& list = Inner();
  const int n = list.Count();
  for (int i = 0; i < n; ++i)
    if (SameTextAscii(list.Strings(i), name)) return i;
  return -1;
}

TExpression* TVarList::VarAt(int index) const {
  return index >= 0 && index < Count() ? ObjCast<TExpression>(Objects(index)) : nullptr;
}

TExpression* TVarList::GetVarExp(std::string_view name) const {
  const TVarList* list = this;
  for (int hops = 0; list && hops < kMaxChainLength; ++hops) {
    const int i = list->IndexOfVar(name);
    if (i >= 0) return list->VarAt(i);
    if (!list->parentEnabled_) break;
    list = list->parent_;
  }
  return nullptr;
}

void TVarList::SetVarExp(std::string_view name, TExpression* exp) {
  const int i = IndexOfVar(name);
  if (i >= 0) {
    if (exp) {
      if (Objects(i) != exp) SetObj(i, exp);
    } else {
      Delete(i);
    }
  } else if (exp) {
    AddObject(VarKey(name), exp);
  }
  BumpVarListEpoch();
}

void TVarList::SetVarListParent(TVarList* parent) noexcept {
  parent_ = parent;
  BumpVarListEpoch();
}

void TVarList::SetParentEnabled(bool enabled) noexcept {
  parentEnabled_ = enabled;
  BumpVarListEpoch();
}

// ---- Free functions ----------------------------------------------------------------

std::unique_ptr<TVarList> CreateVarList(TVarList* parent) {
  auto list = std::make_unique<TVarList>();
  list->SetVarListParent(parent);
  list->SetParentEnabled(true);
  return list;
}

void FreeVarList(TVarList*& list) noexcept {
  delete list;
  list = nullptr;
}

TVarList* GetVarListParent(const TVarList* list) noexcept { return list ? list->VarListParent() : nullptr; }

void SetVarListParent(TVarList* list, TVarList* parent) noexcept {
  if (list) list->SetVarListParent(parent);
}

bool VarListParentEnabled(const TVarList* list) noexcept { return list && list->ParentEnabled(); }

void EnableVarListParent(TVarList* list, bool enabled) noexcept {
  if (list) list->SetParentEnabled(enabled);
}

TExpression* GetVarExp(const TVarList* list, std::string_view name) { return list ? list->GetVarExp(name) : nullptr; }

void SetVarExp(TVarList* list, std::string_view name, TExpression* exp) {
  if (list)
    list->SetVarExp(name, exp);
  else
    delete exp;
}

}  // namespace kv
