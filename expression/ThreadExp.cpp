#include "expression/ThreadExp.h"

#include <utility>

namespace kv {

namespace {

// Plain thread-local pointers stay readable while the thread's objects are
// torn down (a variable list freed then still asks for the translator).
thread_local TExpTranslator* t_translator = nullptr;
thread_local TVarList* t_pubVarList = nullptr;
thread_local TExpTranslator* t_active = nullptr;

// Frees the thread's translator and public list when the thread ends.
struct TThreadCleanup {
  bool armed = false;
  ~TThreadCleanup() {
    delete std::exchange(t_translator, nullptr);
    delete std::exchange(t_pubVarList, nullptr);
  }
};
thread_local TThreadCleanup t_cleanup;

void Arm() { t_cleanup.armed = true; }

TExpTranslator& EnsureTranslator() {
  if (!t_translator) {
    if (!t_pubVarList) {
      CreatePubVarList();
    } else {
      auto t = std::make_unique<TExpTranslator>();
      RegisterBaseFunctions(*t->FunctionList);
      SetTranslator(std::move(t));
    }
  }
  return *t_translator;
}

template <class Holder>
bool Validate(std::string_view text, Holder& exp) {
  exp.reset();
  TExpTranslator& t = EnsureTranslator();
  std::unique_ptr<TExpression> tree = t.Translate(text);
  exp.reset(tree.release());
  return t.Status == trOK;
}

template <class Holder>
bool Calculate(std::string_view text, Holder& exp) {
  const bool ok = Validate(text, exp);
  if (ok && exp) exp->Evaluate(NextStamp(exp->SyncFlag));
  return ok;
}

template <class Holder>
bool Check(std::string_view text, Holder& exp) {
  return Calculate(text, exp) && exp && exp->GetBoolean();
}

// A plain pointer dressed as a holder for the templates above.
struct TRawHolder {
  TExpression*& p;
  void reset(TExpression* e = nullptr) {
    if (p != e) delete p;
    p = e;
  }
  TExpression* operator->() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

}  // namespace

TExpTranslator* GetTranslator() noexcept { return t_translator; }

std::unique_ptr<TExpTranslator> SetTranslator(std::unique_ptr<TExpTranslator> translator) {
  Arm();
  std::unique_ptr<TExpTranslator> previous(t_translator);
  t_translator = translator.release();
  return previous;
}

TExpTranslator* ActiveTranslator() noexcept { return t_active ? t_active : t_translator; }

TActiveTranslatorScope::TActiveTranslatorScope(TExpTranslator* translator) noexcept : previous_(t_active) {
  t_active = translator;
}

TActiveTranslatorScope::~TActiveTranslatorScope() { t_active = previous_; }

void CreatePubVarList() {
  Arm();
  delete std::exchange(t_translator, nullptr);
  delete std::exchange(t_pubVarList, nullptr);
  auto list = std::make_unique<TVarList>();
  list->SetVarExp("YES", CreateBoolExp(true));
  list->SetVarExp("NO", CreateBoolExp(false));
  t_pubVarList = list.release();
  auto t = std::make_unique<TExpTranslator>();  // takes the public list
  RegisterBaseFunctions(*t->FunctionList);
  t_translator = t.release();
}

TVarList* GetPubVarList() noexcept { return t_pubVarList; }

TVarList* GetVarList() noexcept { return t_translator ? t_translator->VarList : nullptr; }

void SetVarList(TVarList* list) noexcept {
  if (t_translator) t_translator->VarList = list;
}

std::unique_ptr<TExpression> TranslateExp(std::string_view text) { return EnsureTranslator().Translate(text); }

TExp_TransResult GetTranslateStatus() noexcept { return t_translator ? t_translator->Status : trOK; }

std::string GetTranslateStatusMsg() { return t_translator ? t_translator->StatusMsg() : std::string(); }

std::string GetExpErrorMsg() { return t_translator ? t_translator->ErrorMsg() : std::string(); }

int GetExpErrorPos() noexcept { return t_translator ? t_translator->ErrorPos : 0; }

void SetIDFirstCharSet(const TCharSet& set) noexcept {
  if (t_translator) t_translator->IDFirstCharSet = set;
}

void SetIDCharSet(const TCharSet& set) noexcept {
  if (t_translator) t_translator->IDCharSet = set;
}

bool ValidateExp(std::string_view text, std::unique_ptr<TExpression>& exp) { return Validate(text, exp); }
bool ValidateExp(std::string_view text, ObjPtr<TExpression>& exp) { return Validate(text, exp); }
bool ValidateExp(std::string_view text, TExpression*& exp) {
  TRawHolder h{exp};
  return Validate(text, h);
}

bool CalculateExp(std::string_view text, std::unique_ptr<TExpression>& exp) { return Calculate(text, exp); }
bool CalculateExp(std::string_view text, ObjPtr<TExpression>& exp) { return Calculate(text, exp); }
bool CalculateExp(std::string_view text, TExpression*& exp) {
  TRawHolder h{exp};
  return Calculate(text, h);
}

bool CheckCondition(std::string_view text, std::unique_ptr<TExpression>& exp) { return Check(text, exp); }
bool CheckCondition(std::string_view text, ObjPtr<TExpression>& exp) { return Check(text, exp); }
bool CheckCondition(std::string_view text, TExpression*& exp) {
  TRawHolder h{exp};
  return Check(text, h);
}

}  // namespace kv
