// Control functions: Beep, the multi-branch choices Case and Decode, Iif,
// the wildcard matches Like and LikeAny, Not and Void.
//
// Case, Decode and LikeAny take more arguments than the ten child slots
// hold, so they keep them in lists of their own (stored as "CondExps" and
// "ResultExps", and "MorePatterns"). Case, Decode and Iif evaluate lazily:
// only the branch chosen is computed, so an assignment in a branch that is
// not taken does not happen.
#include "expression/functions/ControlFunctions.h"

#include <memory>
#include <string_view>

#include "expression/FunctionList.h"
#include "foundation/Exceptions.h"
#include "foundation/LibMessages.h"
#include "foundation/StrUtils.h"
#include "foundation/StringLists.h"
#include "foundation/UserInterface.h"

namespace kv {

KV_IMPLEMENT_CLASS(TExp_Iif, TP3Function)
KV_IMPLEMENT_CLASS(TExp_Not, TFunction)

namespace {

// The most patterns LikeAny takes after its text.
constexpr int kMaxLikeAnyPatterns = 10000;

// ---- Expression lists ------------------------------------------------------------------

// An owning list of argument nodes that the object stream can store.
class TExpList {
public:
  TExpList() { NewList(); }

  int Count() const { return list_ ? list_->Count() : 0; }
  // Entry `index`, or null when absent or not an expression (a crafted stream).
  TExpression* At(int index) const {
    return index >= 0 && index < Count() ? ObjCast<TExpression>(list_->Items(index)) : nullptr;
  }
  void Add(std::unique_ptr<TExpression> exp) {
    if (!list_) NewList();
    list_->Add(exp.release());  // the owning list frees it
  }
  // Removes the last entry and hands it over (null when it is no expression).
  std::unique_ptr<TExpression> TakeLast() {
    const int n = Count();
    if (n == 0) return nullptr;
    std::unique_ptr<TObject> last(list_->Extract(n - 1));
    if (!ObjCast<TExpression>(last.get())) return nullptr;
    return std::unique_ptr<TExpression>(static_cast<TExpression*>(last.release()));
  }
  // Copies of the entries of `other`, appended.
  void AddCopiesOf(const TExpList& other) {
    for (int i = 0; i < other.Count(); ++i)
      if (const TExpression* e = other.At(i)) Add(e->CopySelf());
  }
  bool AllConst() const {
    for (int i = 0; i < Count(); ++i)
      if (const TExpression* e = At(i); e && !e->IsConst()) return false;
    return true;
  }
  void EvaluateAll(int32_t stamp) const {
    for (int i = 0; i < Count(); ++i)
      if (TExpression* e = At(i)) e->Evaluate(stamp);
  }
  // The property slot; after reading, the list read owns its entries.
  ObjPtr<TList>& Slot() { return list_; }
  void AfterRead() {
    if (!list_)
      NewList();
    else
      list_->OwnsObjects = true;
  }

private:
  void NewList() {
    list_.reset(new TList);
    list_->OwnsObjects = true;
  }
  ObjPtr<TList> list_;
};

// ---- Case and Decode ---------------------------------------------------------------------

// The common part of Case and Decode: conditions (Case) or match values
// (Decode) in CondExps and the results that belong to them in ResultExps;
// a default result, when given, is the last entry of ResultExps, which then
// holds one entry more than CondExps. The result type at translation is the
// type of the first result; at evaluation the node takes the type and value
// of the result chosen. Never constant.
class TMultiBranchFunction : public TFunction {
  KV_CLASS(TMultiBranchFunction, TFunction)
public:
  int OptionalParamCount() const override { return kUnlimitedParams; }
  bool IsConst() const override { return false; }

  bool TransOverOK() override {
    // An odd argument after the pairs was taken as a condition: it is the default.
    if (Conds.Count() == Results.Count() + 1)
      if (std::unique_ptr<TExpression> e = Conds.TakeLast()) Results.Add(std::move(e));
    const TExpression* first = Results.At(0);
    if (Conds.Count() < 1 || !first) return false;
    DataType = first->DataType;
    return true;
  }

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<ptObjects>(proc, param, Conds.Slot(), "CondExps", Conds.Count() > 0);
    Prop<ptObjects>(proc, param, Results.Slot(), "ResultExps", Results.Count() > 0);
    if (action == paRead) {
      Conds.AfterRead();
      Results.AfterRead();
    }
  }

  TExpList Conds;
  TExpList Results;

protected:
  // Adds argument `index` (the first list argument being `first`) to the
  // list its place says: conditions at even places, results at odd ones.
  bool AddListArg(int index, int first, std::unique_ptr<TExpression> exp) {
    if (!exp) return false;
    const int place = index - first;
    if (place < 0 || place != Conds.Count() + Results.Count()) return false;
    if (place % 2 == 0)
      Conds.Add(std::move(exp));
    else
      Results.Add(std::move(exp));
    return true;
  }

  // The result of condition `index`, the default when `index` is -1; raises
  // the "no matching result" error when there is no default.
  TExpression* Chosen(int index) const {
    if (index >= 0) return Results.At(index);
    if (Results.Count() > Conds.Count()) return Results.At(Results.Count() - 1);
    throw Exception(SExpTransResult_HaveNoMatchValue.Text());
  }

  void TakeResult(TExpression* chosen, int32_t stamp) {
    if (!chosen) return;
    chosen->Evaluate(stamp);
    AssignValue(*chosen);
  }

  void CopyStateTo(TExpression& copy) const override {
    inherited::CopyStateTo(copy);
    auto& c = static_cast<TMultiBranchFunction&>(copy);
    c.Conds.AddCopiesOf(Conds);
    c.Results.AddCopiesOf(Results);
  }
};
KV_IMPLEMENT_CLASS(TMultiBranchFunction, TFunction)

// Case(C1, R1, C2, R2, ... [, E]): the result of the first condition that
// holds, else E; the conditions are evaluated in order until one holds.
class TExp_Case : public TMultiBranchFunction {
  KV_CLASS(TExp_Case, TMultiBranchFunction)
public:
  int FixedParamCount() const override { return 2; }
  bool SetSubExp(int index, std::unique_ptr<TExpression> exp) override {
    return AddListArg(index, 0, std::move(exp));
  }

  void Evaluate(int32_t stamp) override {
    if (stamp == SyncFlag) return;
    SyncFlag = stamp;
    int found = -1;
    for (int i = 0; i < Conds.Count() && found < 0; ++i) {
      TExpression* c = Conds.At(i);
      if (!c) continue;
      c->Evaluate(stamp);
      if (c->GetBoolean()) found = i;
    }
    TakeResult(Chosen(found), stamp);
  }
};
KV_IMPLEMENT_CLASS(TExp_Case, TMultiBranchFunction)

// Decode(V, M1, R1, M2, R2, ... [, E]): the result of the first match value
// whose text equals V's text (byte by byte), else E. V is argument 1 (child
// slot 0); the match values are evaluated in order until one matches.
class TExp_Decode : public TMultiBranchFunction {
  KV_CLASS(TExp_Decode, TMultiBranchFunction)
public:
  int FixedParamCount() const override { return 3; }
  bool SetSubExp(int index, std::unique_ptr<TExpression> exp) override {
    if (index == 0) return TFunction::SetSubExp(0, std::move(exp));
    return AddListArg(index, 1, std::move(exp));
  }

  void Evaluate(int32_t stamp) override {
    if (stamp == SyncFlag) return;
    SyncFlag = stamp;
    TExpression* v = Arg(0);
    if (!v) return;
    v->Evaluate(stamp);
    TTextBuffer vb;
    const std::string_view value = v->GetText(vb);
    int found = -1;
    for (int i = 0; i < Conds.Count() && found < 0; ++i) {
      TExpression* m = Conds.At(i);
      if (!m) continue;
      m->Evaluate(stamp);
      TTextBuffer mb;
      if (m->GetText(mb) == value) found = i;
    }
    TakeResult(Chosen(found), stamp);
  }
};
KV_IMPLEMENT_CLASS(TExp_Decode, TMultiBranchFunction)

// ---- The others ---------------------------------------------------------------------------

// Beep(): sounds the default beep through the user-interface hook and yields
// ''. Being constant it is computed once, at translation.
class TExp_Beep : public TStrFunction {
  KV_CLASS(TExp_Beep, TStrFunction)
public:
  int FixedParamCount() const override { return 0; }
  void Calculate() override {
    UserInterface().Beep();
    PutString(std::string_view());
  }
};
KV_IMPLEMENT_CLASS(TExp_Beep, TStrFunction)

// Like(any S, any Pattern): S's text matches the wildcard pattern ('*', '?',
// '\' escape; case-sensitive, byte by byte, without backtracking).
class TExp_Like : public TFunction {
  KV_CLASS(TExp_Like, TFunction)
public:
  int FixedParamCount() const override { return 2; }
  bool TransOverOK() override {
    DataType = etBoolean;
    return true;
  }
  void Calculate() override {
    const TExpression* s = Arg(0);
    const TExpression* p = Arg(1);
    if (!s || !p) return;
    TTextBuffer sb, pb;
    PutBoolean(Like(s->GetText(sb), p->GetText(pb)));
  }
};
KV_IMPLEMENT_CLASS(TExp_Like, TFunction)

// LikeAny(any S, any P1, ... up to 10000 patterns): S matches at least one
// pattern, tried in order. Every pattern is evaluated first. Patterns 1 to 9
// sit in the child slots, the rest in MorePatterns.
class TExp_LikeAny : public TExp_Like {
  KV_CLASS(TExp_LikeAny, TExp_Like)
public:
  int OptionalParamCount() const override { return kMaxLikeAnyPatterns - 1; }
  bool SetSubExp(int index, std::unique_ptr<TExpression> exp) override {
    if (index < kSubExpCount) return TFunction::SetSubExp(index, std::move(exp));
    if (!exp || index != kSubExpCount + More.Count()) return false;
    More.Add(std::move(exp));
    return true;
  }
  bool IsConst() const override { return TFunction::IsConst() && More.AllConst(); }

  void Evaluate(int32_t stamp) override {
    if (stamp == SyncFlag) return;
    SyncFlag = stamp;
    for (int i = 0; i < kSubExpCount; ++i)
      if (TExpression* a = Arg(i)) a->Evaluate(stamp);
    More.EvaluateAll(stamp);
    Calculate();
  }

  void Calculate() override {
    const TExpression* s = Arg(0);
    if (!s) return;
    TTextBuffer sb;
    const std::string_view text = s->GetText(sb);
    bool match = false;
    for (int i = 1; i < kSubExpCount && !match; ++i)
      if (const TExpression* p = Arg(i)) {
        TTextBuffer pb;
        match = Like(text, p->GetText(pb));
      }
    for (int i = 0; i < More.Count() && !match; ++i)
      if (const TExpression* p = More.At(i)) {
        TTextBuffer pb;
        match = Like(text, p->GetText(pb));
      }
    PutBoolean(match);
  }

  void EnumrateProperties(const TPropProcessor& proc, uint16_t action, void* param) override {
    inherited::EnumrateProperties(proc, action, param);
    Prop<ptObjects>(proc, param, More.Slot(), "MorePatterns", More.Count() > 0);
    if (action == paRead) More.AfterRead();
  }

  TExpList More;

protected:
  void CopyStateTo(TExpression& copy) const override {
    inherited::CopyStateTo(copy);
    static_cast<TExp_LikeAny&>(copy).More.AddCopiesOf(More);
  }
};
KV_IMPLEMENT_CLASS(TExp_LikeAny, TExp_Like)

// Void(0 to 10 arguments of any type): evaluates its arguments for their
// effects (assignments) and yields ''.
class TExp_Void : public TStrFunction {
  KV_CLASS(TExp_Void, TStrFunction)
public:
  int FixedParamCount() const override { return 0; }
  int OptionalParamCount() const override { return kSubExpCount; }
  void Calculate() override { PutString(std::string_view()); }
};
KV_IMPLEMENT_CLASS(TExp_Void, TStrFunction)

// The control batch, in registration order.
const TFunctionBatchRegistrar g_functions{fbControl, 0,
                                          {
                                              {"Beep", TExp_Beep::StaticClass()},
                                              {"Case", TExp_Case::StaticClass()},
                                              {"Decode", TExp_Decode::StaticClass()},
                                              {"Iif", TExp_Iif::StaticClass()},
                                              {"Like", TExp_Like::StaticClass()},
                                              {"LikeAny", TExp_LikeAny::StaticClass()},
                                              {"Not", TExp_Not::StaticClass()},
                                              {"Void", TExp_Void::StaticClass()},
                                          }};

}  // namespace

bool TExp_Iif::TransOverOK() {
  DataType = etAny;
  return true;
}

void TExp_Iif::Evaluate(int32_t stamp) {
  if (stamp == SyncFlag) return;
  SyncFlag = stamp;
  TExpression* condition = Arg(0);
  if (!condition) return;
  condition->Evaluate(stamp);
  TExpression* branch = Arg(condition->GetBoolean() ? 1 : 2);
  if (!branch) return;
  branch->Evaluate(stamp);
  AssignValue(*branch);
}

void TExp_Not::Calculate() {
  const TExpression* a = Arg(0);
  if (!a) return;  // a node without its argument (a damaged stored tree)
  if (DataType == etBoolean)
    PutBoolean(!a->GetBoolean());
  else
    PutInteger(~a->GetInteger());
}

}  // namespace kv
