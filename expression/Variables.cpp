#include "expression/Variables.h"

#include "expression/ThreadExp.h"
#include "expression/Translator.h"
#include "expression/VarList.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExp_VarRef, TFunction)
KV_IMPLEMENT_CLASS(TExp_VarDef, TExp_VarRef)
KV_IMPLEMENT_CLASS(TExp_VarAssign, TExp_VarRef)

namespace {

const TClassRegistrar g_classes{TExp_VarRef::StaticClass(), TExp_VarDef::StaticClass(),
                                TExp_VarAssign::StaticClass()};

// A list chain longer than this is taken to be a loop.
constexpr int kMaxChainLength = 4096;

}  // namespace

bool TExp_VarRef::TransOverOK() {
  TExpTranslator* t = ActiveTranslator();
  Bind(t ? t->VarList : nullptr);
  DataType = etAny;
  return true;
}

void TExp_VarRef::Bind(TVarList* list) {
  list_ = list;
  epoch_ = 0;
  cacheNode_ = nullptr;
  nameFixed_ = false;
  name_.clear();
}

const std::string& TExp_VarRef::ReadName() {
  TExpression* n = GetSubExp(0);
  name_ = n ? n->GetString() : std::string();
  // A constant name is read once; a computed one (x := y := 1) each time.
  nameFixed_ = !n || n->ClassType() == TExpression::StaticClass();
  return name_;
}

std::string TExp_VarRef::VarName() const {
  if (nameFixed_) return name_;
  TExpression* n = GetSubExp(0);
  return n ? n->GetString() : std::string();
}

TExpression* TExp_VarRef::FindVar(const std::string& name) {
  if (!list_) return nullptr;
  const uint64_t epoch = VarListEpoch();
  if (epoch == epoch_ && (nameFixed_ || name == cacheName_)) {
    if (!cacheNode_) return nullptr;
    // No list has changed since the lookup; the entry is still checked so
    // that a list changed behind our back cannot hand out a freed node.
    if (cacheIndex_ < cacheList_->Count() && cacheList_->Objects(cacheIndex_) == cacheNode_) return cacheNode_;
  }
  epoch_ = epoch;
  cacheName_ = name;
  cacheNode_ = nullptr;
  cacheList_ = nullptr;
  cacheIndex_ = -1;
  const TVarList* list = list_;
  for (int hops = 0; list && hops < kMaxChainLength; ++hops) {
    const int i = list->IndexOfVar(name);
    if (i >= 0) {
      cacheList_ = list;
      cacheIndex_ = i;
      cacheNode_ = list->VarAt(i);
      return cacheNode_;
    }
    if (!list->ParentEnabled()) break;
    list = list->VarListParent();
  }
  return nullptr;
}

void TExp_VarRef::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  Calculate();
}

void TExp_VarRef::Calculate() {
  if (TExpression* var = FindVar(Name())) {
    var->Calculate();
    AssignValue(*var);
  }
}

void TExp_VarRef::CopyStateTo(TExpression& copy) const {
  TFunction::CopyStateTo(copy);
  if (auto* ref = ObjCast<TExp_VarRef>(&copy)) ref->Bind(list_);
}

void TExp_VarAssign::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  for (int i = 0; i < SubExpEnd(); ++i)
    if (TExpression* c = GetSubExp(i)) c->Evaluate(stamp);
  Calculate();
}

void TExp_VarAssign::Calculate() {
  TExpression* value = GetSubExp(1);
  if (!value) return;
  AssignValue(*value);
  const std::string& name = Name();
  if (TExpression* var = FindVar(name)) {
    var->AssignValue(*this);
  } else if (list_) {
    auto fresh = std::make_unique<TExpression>();
    fresh->AssignFormatValue(*value);
    list_->SetVarExp(name, fresh.release());
  }
}

}  // namespace kv
